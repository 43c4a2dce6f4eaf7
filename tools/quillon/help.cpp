#include "tools/quillon/help.h"

namespace quillon {
namespace {

constexpr std::string_view kSummary = "burn data discs (ISO 9660 + Joliet) on CD/DVD writers";

constexpr std::string_view kGeneralExamples =
    "  quillon writers\n"
    "  quillon burn --label HOLIDAY ~/Pictures/2024 ~/notes.txt\n"
    "  quillon image --output holiday.iso ~/Pictures/2024\n"
    "  quillon erase --writer 1\n";

constexpr std::string_view kExitCodes =
    "Exit status:\n"
    "  0    done\n"
    "  1    the job or the drive failed, or the disc cannot take the job\n"
    "  2    the command line or an input was wrong; nothing was written\n"
    "  130  cancelled with Ctrl-C\n";

constexpr std::string_view kJsonNote =
    "'quillon --json COMMAND ...' prints every report as one JSON object a line,\n"
    "the same in every locale. Its schema is quillon-events.schema.json, installed\n"
    "in share/quillon beside the program's share/man (docs/ in the source).\n";

const std::vector<CommandText> kCommands{
    {"writers", "writers",
     "Lists the CD/DVD writers, one a line, numbered from 0 in this order: the\n"
     "number is what --writer takes. With none, says what to check.\n"
     "\n"
     "Example:\n"
     "  quillon writers\n"},
    {"info", "info [--writer N]",
     "Says what the writer can do and what the disc in it is: blank, closed,\n"
     "erasable, its type and how much free space it has.\n"
     "\n"
     "Options:\n"
     "  --writer N   the writer (see 'quillon writers'; default 0)\n"
     "\n"
     "Example:\n"
     "  quillon info --writer 1\n"},
    {"burn",
     "burn [--writer N] [--label TEXT] [--dvd] [--multi] [--eject]\n"
     "                    [--no-format] [--skip-unreadable] [--speed N] [--no-verify]\n"
     "                    [--keep-links] PATH...",
     "Burns files and folders onto the disc as one session (ISO 9660 with Joliet\n"
     "names). A folder's contents land at the root of the disc; a file lands at\n"
     "the root under its own name.\n"
     "\n"
     "Nothing is written after a mistake: every PATH and the label are checked,\n"
     "the engine must accept every entry, and the disc is asked what it is\n"
     "(closed, too small, unformatted, in use by another program) before the\n"
     "burn starts. An unformatted DVD+RW is formatted first.\n"
     "\n"
     "Options:\n"
     "  --writer N          the writer (see 'quillon writers'; default 0)\n"
     "  --label TEXT        the volume label, at most 15 characters (default NEW)\n"
     "  --dvd               burn a DVD; without it the disc must be a CD\n"
     "  --multi             CD: keep the files of earlier sessions and leave the\n"
     "                      disc open for more sessions (not with --dvd)\n"
     "  --eject             open the tray when the burn has completed\n"
     "  --no-format         stop instead of formatting an unformatted DVD+RW\n"
     "  --skip-unreadable   burn the rest when the engine refuses some entries\n"
     "                      (they are listed)\n"
     "  --keep-links        record symbolic links inside the folders as links\n"
     "                      (Rock Ridge) instead of burning what they lead to\n"
     "  --speed N           write at N x (CD 1x: 176 kB/s, DVD 1x: 1385 kB/s), or\n"
     "                      the drive's nearest speed below; default the fastest\n"
     "  --no-verify         do not read the session back once it is closed\n"
     "\n"
     "Once the session is closed it is read back and compared with what was\n"
     "written ('Verifying'): 'Verified: N files, M MB, identical.', or each file\n"
     "that differs or cannot be read is named (and a damaged directory said),\n"
     "exit 1.\n"
     "\n"
     "Ctrl-C cancels the burn: the session is closed with what was written so\n"
     "far and quillon exits with 130. Closing the session cannot be interrupted.\n"
     "A closed terminal (SIGHUP) or a kill (SIGTERM) is taken as Ctrl-C.\n"
     "\n"
     "Examples:\n"
     "  quillon burn ~/Documents\n"
     "  quillon burn --label HOLIDAY ~/Pictures/2024 ~/notes.txt\n"
     "  quillon burn --writer 1 --dvd --label BACKUP ~/Projects\n"
     "  quillon burn --multi ~/Pictures/new\n"},
    {"image", "image --output FILE.iso [--label TEXT] [--dvd] [--skip-unreadable] PATH...",
     "Writes the image that 'quillon burn' would write onto a blank disc to a\n"
     "file instead, with no writer: the same blocks, and the same checks before\n"
     "anything is written (every PATH, the label, the entries the engine refuses,\n"
     "and the size: at most a CD's 703 MB, or a DVD's 4.4 GB with --dvd).\n"
     "\n"
     "The image is written to a hidden file beside FILE.iso that takes its name\n"
     "only once it is complete: a failure or Ctrl-C leaves no FILE.iso. An output\n"
     "inside a folder being imaged, or a file system without room for the image,\n"
     "is refused.\n"
     "\n"
     "Options:\n"
     "  --output FILE   the image file to write (replaced when it exists)\n"
     "  --label TEXT    the volume label, at most 15 characters (default NEW)\n"
     "  --dvd           an image for a DVD: up to 4.4 GB instead of a CD's 703 MB\n"
     "  --skip-unreadable   image the rest when the engine refuses some entries\n"
     "\n"
     "Examples:\n"
     "  quillon image --output ~/holiday.iso --label HOLIDAY ~/Pictures/2024\n"
     "  quillon burn-image ~/holiday.iso\n"},
    {"burn-image", "burn-image [--writer N] [--no-verify] FILE.iso",
     "Burns an ISO 9660 image file as the disc's one session, block for block,\n"
     "and closes the disc as a DVD burn does. The file must be an ISO 9660\n"
     "image (the primary volume descriptor at block 16, whole 2048-byte blocks,\n"
     "a volume space size that matches the file), it must fit the disc's free\n"
     "space, and the disc must be blank: an image holds the addresses of a first\n"
     "session, so it cannot be added to a disc that holds one. An unformatted\n"
     "DVD+RW is formatted first; a DVD+RW is overwritten.\n"
     "\n"
     "Ctrl-C cancels as it does a burn: the session is closed with what was\n"
     "written. The session is then read back and compared with the file, as a\n"
     "burn's is.\n"
     "\n"
     "Options:\n"
     "  --writer N   the writer (see 'quillon writers'; default 0)\n"
     "  --no-verify  do not read the session back\n"
     "\n"
     "Examples:\n"
     "  quillon burn-image ~/holiday.iso\n"
     "  quillon burn-image --writer 1 debian.iso\n"},
    {"verify", "verify [--writer N] [--label TEXT] PATH...",
     "Compares the disc's last session with files and folders, laid out as\n"
     "'quillon burn' with the same PATHs (and label) would lay them out: every\n"
     "block is read back and compared. Says 'Verified: N files, M MB,\n"
     "identical.', or names each file that differs or cannot be read, and says\n"
     "when the disc's directory is damaged (exit 1). A session that also\n"
     "carries the files of earlier sessions (--multi) does not compare equal.\n"
     "\n"
     "Options:\n"
     "  --writer N   the writer (see 'quillon writers'; default 0)\n"
     "  --label TEXT the label the disc was burned with (default NEW)\n"
     "\n"
     "Example:\n"
     "  quillon verify --label HOLIDAY ~/Pictures/2024 ~/notes.txt\n"},
    {"erase", "erase [--writer N] [--full]",
     "Erases a rewritable CD: everything on it is lost. A quick erase makes the\n"
     "disc blank in a minute or two; --full overwrites all of it and takes longer.\n"
     "Once started, an erase cannot be interrupted. A DVD+RW is not erased but\n"
     "formatted ('quillon format').\n"
     "\n"
     "Options:\n"
     "  --writer N   the writer (see 'quillon writers'; default 0)\n"
     "  --full       erase the whole disc, not only its table of contents\n"
     "\n"
     "Example:\n"
     "  quillon erase --writer 1\n"},
    {"format", "format [--writer N]",
     "Formats a DVD+RW so that it can be burned: everything on it is lost. Once\n"
     "started, a format cannot be interrupted. ('quillon burn --dvd' formats an\n"
     "unformatted DVD+RW itself.)\n"
     "\n"
     "Options:\n"
     "  --writer N   the writer (see 'quillon writers'; default 0)\n"
     "\n"
     "Example:\n"
     "  quillon format --writer 1\n"},
    {"close", "close [--writer N]",
     "Closes the session that a burn left open on the disc (the drive refused\n"
     "to close it, quillon was killed, or the power went), so that other drives\n"
     "can read the disc. A CD stays open for more sessions; a DVD-R or DVD+R\n"
     "is closed as a DVD burn closes it. A disc without an open session is not\n"
     "touched. Once started, closing cannot be interrupted.\n"
     "\n"
     "Options:\n"
     "  --writer N   the writer (see 'quillon writers'; default 0)\n"
     "\n"
     "Example:\n"
     "  quillon close --writer 1\n"},
    {"eject", "eject [--writer N]",
     "Opens the writer's tray.\n"
     "\n"
     "Options:\n"
     "  --writer N   the writer (see 'quillon writers'; default 0)\n"
     "\n"
     "Example:\n"
     "  quillon eject\n"},
    {"shell", "shell",
     "Drives the engine control directly, one command a line from standard\n"
     "input: 'Member' reads a property or calls a method, 'Member arg ...' calls\n"
     "a method, 'Member = value' sets a property, 'wait Event [seconds]' and\n"
     "'pump [ms]' run the message loop. See the README for the output lines.\n"
     "\n"
     "Example:\n"
     "  printf 'InitControl\\nMediaCount\\n' | quillon shell\n"},
    {"register", "register [LIBRARY]",
     "Registers the engine control for this user (default: libscrivo.so beside\n"
     "quillon), so that programs can create it.\n"
     "\n"
     "Example:\n"
     "  quillon register\n"},
    {"unregister", "unregister [LIBRARY]",
     "Removes the engine control's registration.\n"
     "\n"
     "Example:\n"
     "  quillon unregister\n"},
    {"doctor", "doctor",
     "Looks at every CD/DVD drive of the machine (/dev/sr* and the optical\n"
     "/dev/sg* nodes) and says what stands between you and burning on it: a\n"
     "device you may not open (its owner and group, whether you are in that\n"
     "group and whether you must log in again), SCSI commands the kernel\n"
     "refuses, a mounted disc, another program holding the drive. Each problem\n"
     "comes with the command that fixes it. Exits 0 when at least one drive\n"
     "can be used.\n"
     "\n"
     "Example:\n"
     "  quillon doctor\n"},
};

const CommandText* Find(std::string_view name) {
  for (const CommandText& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

}  // namespace

const std::vector<CommandText>& Commands() { return kCommands; }
std::string_view Summary() { return kSummary; }
std::string_view ExitCodes() { return kExitCodes; }
std::string_view GeneralExamples() { return kGeneralExamples; }
std::string_view JsonNote() { return kJsonNote; }

std::string GeneralHelp() {
  std::string text = "quillon: " + std::string(kSummary) + ".\n\nCommands:\n";
  for (const CommandText& command : kCommands) {
    text += "  quillon ";
    text += command.usage;
    text += '\n';
  }
  text +=
      "  quillon help [COMMAND]\n"
      "\n"
      "'quillon help COMMAND' or 'quillon COMMAND --help' describes a command and\n"
      "its options, with examples.\n"
      "\n"
      "\n";
  text += kJsonNote;
  text += "\n";
  text += kExitCodes;
  text += "\nExamples:\n";
  text += kGeneralExamples;
  return text;
}

std::optional<std::string> CommandHelp(std::string_view name) {
  const CommandText* command = Find(name);
  if (!command) return std::nullopt;
  std::string text = "usage: quillon ";
  text += command->usage;
  text += "\n\n";
  text += command->body;
  text += '\n';
  text += kExitCodes;
  return text;
}

std::string CommandUsage(std::string_view name) {
  const CommandText* command = Find(name);
  if (!command) {
    std::string text = "usage: quillon COMMAND [OPTIONS]; the commands:\n";
    for (const CommandText& each : kCommands) text += "  quillon " + std::string(each.usage) + '\n';
    return text + "See 'quillon --help'.\n";
  }
  return "usage: quillon " + std::string(command->usage) + "\nSee 'quillon help " +
         std::string(command->name) + "'.\n";
}

}  // namespace quillon
