#include "tools/quillon/burner.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>

#include "host/compilation_check.h"
#include "host/disc_probe.h"
#include "platform/text/codepage.h"
#include "tools/quillon/control_session.h"
#include "tools/quillon/help.h"
#include "tools/quillon/job_watch.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using platform::Variant;

// An exit code when a step cannot go on, after it said why.
using Stop = std::optional<int>;

std::string WriterName(int index) { return "writer " + std::to_string(index); }

void Say(const std::string& text) { std::cerr << "quillon: " << text << '\n'; }

bool OnTerminal() { return isatty(STDOUT_FILENO) != 0; }

// The writer the command works on: selected on the control, and reachable
// by the probe for what the control does not tell.
class Writer {
 public:
  Writer(ControlSession& session, int index) : session_(session), index_(index) {}

  int index() const { return index_; }
  std::string name() const { return WriterName(index_); }
  DiscProbe& probe() { return probe_; }

  // Selects the writer. It must exist, and not be in another program's
  // hands; with `notReady` it must also hold a disc and be ready (the
  // application's text says so when it is not for another reason).
  Stop Select(const char* notReady) {
    if (index_ >= session_.Number("MediaCount")) {
      Say("there is no " + name() + " (see 'quillon writers')");
      return kExitUsage;
    }
    session_.Call("SetCurrentDevice", {Variant::I4(index_)});
    if (!probe_.Open(static_cast<int>(session_.Number("HAnum")),
                     static_cast<int>(session_.Number("SCSIID")), session_.Text("MediaDesc"))) {
      Say("cannot reach " + name() + " through the ASPI layer");
      return kExitFailed;
    }
    switch (probe_.AwaitReady()) {
      case DiscProbe::Readiness::Ready:
        return std::nullopt;
      case DiscProbe::Readiness::InUse:
        Say(name() +
            " is in use by another program: it is burning, erasing or formatting a disc. "
            "Try again when that has finished.");
        return kExitFailed;
      case DiscProbe::Readiness::Mounted:
        Say(name() + " cannot be used while the system has its disc mounted: " +
            probe_.LayerNote() + ".");
        return kExitFailed;
      case DiscProbe::Readiness::NoDisc:
        if (!notReady) return std::nullopt;
        Say("there is no disc in " + name() + ".");
        return kExitFailed;
      case DiscProbe::Readiness::NotReady:
        if (!notReady) return std::nullopt;
        std::cerr << notReady << '\n';
        return kExitFailed;
    }
    return std::nullopt;
  }

  // Selects the writer again, so the control's snapshot shows the disc as
  // it is now (after a format).
  void Refresh() { session_.Call("SetCurrentDevice", {Variant::I4(index_)}); }

 private:
  ControlSession& session_;
  int index_;
  DiscProbe probe_;
};

// Another program may have taken the writer between quillon's question and
// the job's first command that holds it: the job's failure says so by its
// sense, or the writer still answers so.
void SayIfTaken(Writer& writer, const JobResult& result) {
  if (result.writerInUse || writer.probe().TestReady() == DiscProbe::Readiness::InUse)
    Say(writer.name() + " is in use by another program.");
}

int NoWriters() {
  const char* variable = std::getenv("WNASPI32_VIRTUAL_WRITERS");
  std::cerr << "quillon: no writer found. Check:\n"
               "  - real drives: that you may use them. Drives such as /dev/sr0 belong to the\n"
               "    group 'cdrom': sudo usermod -aG cdrom $USER, then log in again\n"
               "    (the ASPI layer says above why it left a drive out);\n"
               "  - virtual writers: WNASPI32_VIRTUAL_WRITERS, a list of MEDIUM=DIRECTORY items\n"
               "    separated by ';' (unset: one virtual CD-RW when the machine has no\n"
               "    optical drive; empty: none)"
            << (variable && !*variable ? ". It is set and empty now.\n" : ".\n");
  return kExitFailed;
}

int ListWriters(ControlSession& session) {
  const long count = session.Number("MediaCount");
  if (count == 0) return NoWriters();
  for (long i = 0; i < count; ++i) {
    session.Call("SetCurrentDevice", {Variant::I4(static_cast<std::int32_t>(i))});
    std::cout << '[' << session.Number("HAnum") << '.' << session.Number("SCSIID") << '.'
              << session.Text("MediaDesc") << '\n';
  }
  for (const std::string& text : session.TakeEngineTexts()) Say(text);
  return kExitDone;
}

int Info(ControlSession& session, const BurnerOptions& o) {
  Writer writer(session, o.writer);
  if (Stop stop = writer.Select("CD/DVD Writer not ready! Can not get the information of burner."))
    return *stop;
  std::cout << BurnerReport({session.Flag("IsCDRWriteSupport"), session.Flag("IsCDRWWriteSupport"),
                             session.Flag("IsMultiSessionsSupport"),
                             session.Flag("IsReadDVDSupport"), session.Number("MaxWriteSpeed")})
            << '\n'
            << DiscReport({session.Flag("IsDiskBlank"), session.Flag("IsDiskClosed"),
                           session.Flag("IsDiskErasable"), session.Number("MaxReadSpeed"),
                           session.Number("MaxWriteSpeed")});
  if (auto disc = writer.probe().Describe()) {
    std::cout << "Disc Type = " << MediumName(disc->profile) << '\n'
              << "Disc Free Space = " << Megabytes(disc->freeBlocks)
              << (disc->unformatted ? " (once formatted)" : "") << '\n';
  }
  return kExitDone;
}

std::string CloseHint(Writer& writer) {
  return "'quillon close --writer " + std::to_string(writer.index()) +
         "' closes that session, so that other drives can read the disc.";
}

// Whether the disc can take this burn, asked before anything is written.
Stop CheckDisc(ControlSession& session, Writer& writer, const DiscDescription& disc,
               const BurnerOptions& o, const CompilationFacts& facts) {
  const std::string medium = MediumName(disc.profile);
  if (disc.closed) {
    std::string text =
        "The disc in " + writer.name() + " is closed: nothing more can be written to it.";
    if (session.Flag("IsDiskErasable")) {
      text += "\nIt is rewritable: 'quillon erase --writer " + std::to_string(writer.index()) +
              "' makes it blank again (everything on it is lost).";
    }
    std::cerr << text << '\n';
    return kExitFailed;
  }
  if (disc.unfinished) {
    // The engine would start a new session where the open one starts and
    // fail, and closing that failed burn would finalise the disc.
    std::string text = "The disc in " + writer.name() +
                       " holds an unfinished session: a burn on it was interrupted (the program "
                       "was killed or the power went) or could not close the session. Nothing "
                       "more can be added to it.\n" + CloseHint(writer);
    if (session.Flag("IsDiskErasable")) {
      text += "\nIt is rewritable: 'quillon erase --writer " + std::to_string(writer.index()) +
              "' makes it blank again (everything on it is lost).";
    }
    std::cerr << text << '\n';
    return kExitFailed;
  }
  if (o.dvd && disc.cd()) {
    Say("the disc in " + writer.name() + " is a " + medium + ": burn it without --dvd.");
    return kExitUsage;
  }
  if (!o.dvd && disc.dvd()) {
    Say("the disc in " + writer.name() + " is a " + medium + ": burn it with --dvd.");
    return kExitUsage;
  }
  if (disc.unformatted && o.noFormat) {
    Say("the DVD+RW in " + writer.name() +
        " is not formatted. Format it with 'quillon format --writer " +
        std::to_string(writer.index()) +
        "', or burn without --no-format to have it formatted first.");
    return kExitFailed;
  }
  if (facts.blocks > disc.freeBlocks) {
    Say("the files need " + Megabytes(facts.blocks, true) + " but the disc in " + writer.name() +
        " has " + Megabytes(disc.freeBlocks) + " free. Nothing was written.");
    return kExitFailed;
  }
  return std::nullopt;
}

// Looks at the inputs before the writer is touched.
Stop CheckInputs(const BurnerOptions& o, CompilationFacts& facts) {
  if (o.paths.empty()) {
    Say("nothing to burn: give the files and folders to burn");
    std::cerr << CommandUsage("burn");
    return kExitUsage;
  }
  if (o.multi && o.dvd) {
    // A DVD burn is one session that closes the disc: --multi would be
    // ignored and the disc the user wants to add to closed for good.
    Say("--multi is for CDs: a DVD burn writes one session and closes the disc. "
        "Nothing was written.");
    return kExitUsage;
  }
  if (auto problem = LabelProblem(o.label)) {
    Say(*problem + ". Nothing was written.");
    return kExitUsage;
  }
  facts = ExamineCompilation(o.paths, {o.dvd, o.keepLinks});
  for (const InputProblem& p : facts.unusablePaths) Say(p.path + ": " + p.reason);
  if (!facts.unusablePaths.empty()) {
    Say("nothing was written.");
    return kExitUsage;
  }
  for (const InputProblem& p : facts.refusedEntries) {
    Say((o.skipUnreadable ? "left out: " : "") + p.path + ": " + p.reason);
  }
  if (!facts.refusedEntries.empty() && !o.skipUnreadable) {
    Say("nothing was written; --skip-unreadable burns the rest.");
    return kExitUsage;
  }
  // A link that leads out of what is burned is no mistake, but the user
  // should know what the disc will hold in its place.
  for (const InputProblem& link : facts.outsideLinks) {
    Say("notice: " + link.path + " leads outside the folders being burned, to " + link.reason +
        (o.keepLinks ? ": the disc keeps the link, which leads nowhere there" : ": what it leads to is burned"));
  }
  // Entries that are all refused are named when they are handed over.
  if (facts.entries == 0 && facts.leftToEngine == 0) {
    Say("nothing to burn: the folders given are empty.");
    return kExitUsage;
  }
  return std::nullopt;
}

// Hands the label and the entries to the control as the application does:
// a folder's contents land at the disc's root, a file under its bare name.
// Each entry the engine refuses is named with its reason, and stops the
// burn before it starts unless the user lets the rest be burned.
Stop HandOver(ControlSession& session, const BurnerOptions& o, const CompilationFacts& facts) {
  session.Set("VolumeLabel", Variant::Bstr(platform::NarrowToWide(o.label)));
  if (auto texts = session.TakeEngineTexts(); !texts.empty()) {
    for (const std::string& text : texts) Say(text + ": \"" + o.label + "\"");
    return kExitUsage;
  }
  session.Set("KeepLinks", Variant::Bool(o.keepLinks));
  std::vector<std::string> entries;
  for (const std::string& path : o.paths) {
    std::error_code ec;
    const bool folder = fs::is_directory(path, ec);
    entries.push_back(folder && !path.ends_with('/') ? path + "/" : path);
  }
  const HandOverResult handedOver = session.HandOver(entries);
  for (const RefusedEntry& refused : handedOver.refused) {
    Say((o.skipUnreadable ? "left out: " : "") + refused.reason);
  }
  if (!handedOver.refused.empty() && !o.skipUnreadable) {
    Say("nothing was written; --skip-unreadable burns the rest.");
    return kExitUsage;
  }
  if (handedOver.accepted == 0 || facts.entries == 0) {
    Say("nothing left to burn.");
    return kExitUsage;
  }
  return std::nullopt;
}

Stop FormatFirst(ControlSession& session, Writer& writer) {
  std::cout << "The DVD+RW in " << writer.name() << " is not formatted: formatting it first.\n";
  session.Call("BlankDVD");
  ProgressView progress(std::cout, OnTerminal());
  const JobResult result = WatchJob(session, JobType::Format, progress);
  if (result.end != JobResult::End::Completed) {
    SayIfTaken(writer, result);
    Say("the DVD+RW could not be formatted; nothing was burned.");
    return kExitFailed;
  }
  // Ctrl-C during the format was answered with "quillon ends when the
  // drive has finished": the burn the user called off does not start.
  if (result.interrupted) {
    Say("the DVD+RW is formatted; cancelled before the burn started, nothing was burned.");
    return kExitCancelled;
  }
  writer.Refresh();
  return std::nullopt;
}

// What a cancelled burn left on the disc: the drive knows for a disc
// written in sequence; for one written in place the progress tells.
std::uint64_t WrittenBlocks(Writer& writer, const DiscDescription& disc,
                            const CompilationFacts& facts, const JobResult& result) {
  if (!disc.overwritable) {
    if (auto recorded = writer.probe().RecordedFrom(disc.nextWritable)) return *recorded;
  }
  return static_cast<std::uint64_t>(result.writtenShare * static_cast<double>(facts.blocks));
}

int Burn(ControlSession& session, const BurnerOptions& o, const CompilationFacts& facts) {
  Writer writer(session, o.writer);
  if (Stop stop = writer.Select("CD/DVD Writer not ready! Can not continue to burn.")) return *stop;
  const auto disc = writer.probe().Describe();
  if (!disc) {
    Say("cannot read the disc in " + writer.name() + ".");
    return kExitFailed;
  }
  if (Stop stop = CheckDisc(session, writer, *disc, o, facts)) return *stop;
  if (Stop stop = HandOver(session, o, facts)) return *stop;
  if (disc->unformatted) {
    if (Stop stop = FormatFirst(session, writer)) return *stop;
  }
  if (Interrupted()) {
    Say("cancelled before the burn started; nothing was burned.");
    return kExitCancelled;
  }

  if (o.dvd) {
    session.Call("BurnDVDData");
  } else {
    session.Call("BurnCDData", {Variant::Bool(o.multi)});
  }
  ProgressView progress(std::cout, OnTerminal());
  const JobResult result = WatchJob(session, JobType::Burn, progress);
  if (result.end != JobResult::End::Completed) {
    if (result.writerInUse || writer.probe().TestReady() == DiscProbe::Readiness::InUse) {
      Say(writer.name() + " is in use by another program.");
    } else if (auto now = writer.probe().Describe(); now && now->unfinished) {
      Say("the session was left open. " + CloseHint(writer));
    }
    return kExitFailed;
  }
  if (result.cancelled) {
    std::cout << "Burn cancelled: the session was closed with "
              << Megabytes(WrittenBlocks(writer, *disc, facts, result)) << " written.\n";
    return kExitCancelled;
  }
  if (result.reports > 0) {
    // Files read while they were burned that were no longer as they had
    // been: the disc is closed, but it does not hold them as they are.
    Say("the burn completed, but the disc does not hold the files named above as they "
        "are now.");
    if (o.eject) session.Call("EjectDisk");
    return kExitFailed;
  }
  std::cout << "Burned Completed!\n";
  if (o.eject) session.Call("EjectDisk");
  return kExitDone;
}

int Erase(ControlSession& session, const BurnerOptions& o) {
  Writer writer(session, o.writer);
  if (Stop stop = writer.Select("CD/DVD Writer not ready! Can not continue to erase."))
    return *stop;
  // A DVD+RW has no blank command: the drive refuses it, and the way to a
  // clean DVD+RW is a format.
  if (auto disc = writer.probe().Describe(); disc && disc->dvdPlusRw()) {
    Say("the disc in " + writer.name() + " is a DVD+RW: it is not erased but formatted, with "
        "'quillon format --writer " + std::to_string(writer.index()) +
        "' (everything on it is lost).");
    return kExitFailed;
  }
  if (!session.Flag("IsDiskErasable")) {
    std::cerr << "CD/DVD disk is not erasable! Can not continue to erase.\n";
    return kExitFailed;
  }
  session.Call("Blank", {Variant::Bool(o.full)});
  ProgressView progress(std::cout, OnTerminal());
  if (const JobResult result = WatchJob(session, JobType::Erase, progress);
      result.end != JobResult::End::Completed) {
    SayIfTaken(writer, result);
    return kExitFailed;
  }
  std::cout << "Blank complete!\n";
  return kExitDone;
}

int Format(ControlSession& session, const BurnerOptions& o) {
  Writer writer(session, o.writer);
  if (Stop stop = writer.Select("CD/DVD Writer not ready! Can not continue to format."))
    return *stop;
  if (auto disc = writer.probe().Describe(); disc && !disc->dvdPlusRw()) {
    Say("the disc in " + writer.name() + " is a " + MediumName(disc->profile) +
        ": only a DVD+RW can be formatted.");
    return kExitFailed;
  }
  session.Call("BlankDVD");
  ProgressView progress(std::cout, OnTerminal());
  if (const JobResult result = WatchJob(session, JobType::Format, progress);
      result.end != JobResult::End::Completed) {
    SayIfTaken(writer, result);
    Say("the disc could not be formatted.");
    return kExitFailed;
  }
  std::cout << "Format complete!\n";
  return kExitDone;
}

int Close(ControlSession& session, const BurnerOptions& o) {
  Writer writer(session, o.writer);
  if (Stop stop = writer.Select("CD/DVD Writer not ready! Can not continue to close the session."))
    return *stop;
  if (auto disc = writer.probe().Describe(); disc && !disc->unfinished) {
    Say("the disc in " + writer.name() + " has no open session: there is nothing to close. "
        "Nothing was sent to it.");
    return kExitFailed;
  }
  session.Call("CloseSession");
  ProgressView progress(std::cout, OnTerminal());
  if (WatchJob(session, JobType::Close, progress).end != JobResult::End::Completed) {
    return kExitFailed;
  }
  std::cout << "Session closed: the disc can be read in other drives.\n";
  return kExitDone;
}

int Eject(ControlSession& session, const BurnerOptions& o) {
  Writer writer(session, o.writer);
  if (Stop stop = writer.Select(nullptr)) return *stop;
  session.Call("EjectDisk");
  for (const std::string& text : session.TakeEngineTexts()) Say(text);
  return kExitDone;
}

}  // namespace

int RunBurnerCommand(const std::string& command, const BurnerOptions& options) {
  InstallInterruptHandler();
  // A burn's inputs are looked at before the writer is touched.
  CompilationFacts facts;
  if (command == "burn") {
    if (Stop stop = CheckInputs(options, facts)) return *stop;
    if (Interrupted()) {
      Say("cancelled; nothing was written.");
      return kExitCancelled;
    }
  }
  ControlSession session;
  if (!session.Open()) return kExitFailed;
  if (command == "writers") return ListWriters(session);
  if (command == "info") return Info(session, options);
  if (command == "burn") return Burn(session, options, facts);
  if (command == "erase") return Erase(session, options);
  if (command == "format") return Format(session, options);
  if (command == "close") return Close(session, options);
  if (command == "eject") return Eject(session, options);
  Say("unknown command '" + command + "'");
  return kExitUsage;
}

}  // namespace quillon
