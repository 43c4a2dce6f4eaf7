#include "tools/quillon/burner.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>

#include "host/compilation_check.h"
#include "host/desktop_bus.h"
#include "host/disc_probe.h"
#include "platform/text/codepage.h"
#include "tools/quillon/control_session.h"
#include "tools/quillon/events.h"
#include "tools/quillon/help.h"
#include "tools/quillon/job_watch.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using platform::Variant;

// An exit code when a step cannot go on, after it said why.
using Stop = std::optional<int>;

std::string WriterName(int index) { return "writer " + std::to_string(index); }

void Say(const std::string& text) { ReportMessage(text); }
// The application's own texts, shown as they are.
void Tell(const std::string& text) { ReportMessage(text, Source::Quillon, false); }

// Starts a job of the control with `member` and follows it to its end; the
// machine neither sleeps nor shuts down meanwhile (the lock is let go when
// the job has ended, however it ended).
JobResult RunJob(ControlSession& session, JobType type, quillonhost::DiscJob job,
                 std::string_view member, std::vector<Variant> args = {}, bool verify = false) {
  const auto awake = quillonhost::SleepInhibitor::Take("quillon", quillonhost::InhibitReason(job));
  session.Call(member, std::move(args));
  return WatchJob(session, type, verify);
}

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
        Tell(notReady);
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
  Say(std::string("no writer found. Check:\n"
                  "  - real drives: that you may use them. Drives such as /dev/sr0 belong to the\n"
                  "    group 'cdrom': sudo usermod -aG cdrom $USER, then log in again\n"
                  "    (the ASPI layer says above why it left a drive out);\n"
                  "  - virtual writers: WNASPI32_VIRTUAL_WRITERS, a list of MEDIUM=DIRECTORY items\n"
                  "    separated by ';' (unset: one virtual CD-RW when the machine has no\n"
                  "    optical drive; empty: none)") +
      (variable && !*variable ? ". It is set and empty now." : "."));
  return kExitFailed;
}

int ListWriters(ControlSession& session) {
  const long count = session.Number("MediaCount");
  if (count == 0) return NoWriters();
  for (long i = 0; i < count; ++i) {
    session.Call("SetCurrentDevice", {Variant::I4(static_cast<std::int32_t>(i))});
    const long hostAdapter = session.Number("HAnum"), target = session.Number("SCSIID");
    const std::string description = session.Text("MediaDesc");
    if (!JsonEvents()) {
      std::cout << '[' << hostAdapter << '.' << target << '.' << description << '\n';
      continue;
    }
    ReportFacts("writer", JsonFields()
                              .Add("writer", std::int64_t{i})
                              .Add("host_adapter", std::int64_t{hostAdapter})
                              .Add("target", std::int64_t{target})
                              .Add("description", description));
  }
  for (const std::string& text : session.TakeEngineTexts()) Say(text);
  return kExitDone;
}

int Info(ControlSession& session, const BurnerOptions& o) {
  Writer writer(session, o.writer);
  if (Stop stop = writer.Select("CD/DVD Writer not ready! Can not get the information of burner."))
    return *stop;
  const WriterFacts w{session.Flag("IsCDRWriteSupport"), session.Flag("IsCDRWWriteSupport"),
                      session.Flag("IsMultiSessionsSupport"), session.Flag("IsReadDVDSupport"),
                      session.Number("MaxWriteSpeed")};
  const DiscFacts d{session.Flag("IsDiskBlank"), session.Flag("IsDiskClosed"),
                    session.Flag("IsDiskErasable"), session.Number("MaxReadSpeed"),
                    session.Number("MaxWriteSpeed")};
  const auto disc = writer.probe().Describe();
  if (JsonEvents()) {
    ReportFacts("writer", JsonFields()
                              .Add("writer", std::int64_t{writer.index()})
                              .Add("cd_r", w.cdrWrite)
                              .Add("cd_rw", w.cdrwWrite)
                              .Add("multisession", w.multiSession)
                              .Add("reads_dvd", w.readDvd)
                              .Add("max_write_speed", std::int64_t{w.maxWriteSpeed}));
    JsonFields facts;
    facts.Add("blank", d.blank).Add("closed", d.closed).Add("erasable", d.erasable);
    facts.Add("max_read_speed", std::int64_t{d.maxReadSpeed})
        .Add("max_write_speed", std::int64_t{d.maxWriteSpeed});
    if (disc) {
      facts.Add("type", MediumName(disc->profile))
          .Add("free_blocks", std::int64_t{disc->freeBlocks})
          .Add("formatted", !disc->unformatted)
          .Add("unfinished_session", disc->unfinished);
    }
    ReportFacts("disc", facts);
    return kExitDone;
  }
  std::cout << BurnerReport(w) << '\n' << DiscReport(d);
  if (disc) {
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
    Tell(text);
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
    Tell(text);
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
  // A disc whose free space the drive does not tell is left to the engine,
  // which names a medium it does not write.
  if (disc.freeKnown && facts.blocks > disc.freeBlocks) {
    Say("the files need " + Megabytes(facts.blocks, true) + " but the disc in " + writer.name() +
        " has " + Megabytes(disc.freeBlocks) + " free. Nothing was written.");
    return kExitFailed;
  }
  return std::nullopt;
}

// How a command's input mistakes are worded: a burn burns, an image is
// written, a verify writes nothing and only compares.
struct InputWords {
  std::string verb;       // "burn"
  std::string give;       // what the command needs: "the files and folders to burn"
  std::string stopped;    // "nothing was written"
  std::string skipHint;   // what --skip-unreadable would do, empty where it does not apply
};

InputWords WordsFor(const std::string& command) {
  if (command == "verify") {
    return {"compare", "the files and folders the disc was burned from", "nothing was compared", ""};
  }
  if (command == "image") {
    return {"write", "the files and folders for the image", "nothing was written",
            "; --skip-unreadable writes the rest"};
  }
  return {"burn", "the files and folders to burn", "nothing was written",
          "; --skip-unreadable burns the rest"};
}

// Looks at the inputs before the writer is touched.
Stop CheckInputs(const std::string& command, const BurnerOptions& o, CompilationFacts& facts) {
  const InputWords words = WordsFor(command);
  if (o.paths.empty()) {
    Say("nothing to " + words.verb + ": give " + words.give);
    if (!JsonEvents()) std::cerr << CommandUsage(command);
    return kExitUsage;
  }
  if (command == "image" && o.output.empty()) {
    Say("image needs --output FILE.iso: the file to write the image to");
    if (!JsonEvents()) std::cerr << CommandUsage(command);
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
    Say(words.stopped + ".");
    return kExitUsage;
  }
  for (const InputProblem& p : facts.refusedEntries) {
    ReportRefused(p.path, p.path + ": " + p.reason, o.skipUnreadable);
  }
  if (!facts.refusedEntries.empty() && !o.skipUnreadable) {
    Say(words.stopped + words.skipHint + ".");
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
    Say("nothing to " + words.verb + ": the folders given are empty.");
    return kExitUsage;
  }
  return std::nullopt;
}

// Hands the label and the entries to the control as the application does:
// a folder's contents land at the disc's root, a file under its bare name.
// Each entry the engine refuses is named with its reason, and stops the
// burn before it starts unless the user lets the rest be burned.
Stop HandOver(ControlSession& session, const std::string& command, const BurnerOptions& o,
               const CompilationFacts& facts) {
  const InputWords words = WordsFor(command);
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
    ReportRefused(refused.path, refused.reason, o.skipUnreadable);
  }
  if (!handedOver.refused.empty() && !o.skipUnreadable) {
    Say(words.stopped + words.skipHint + ".");
    return kExitUsage;
  }
  if (handedOver.accepted == 0 || facts.entries == 0) {
    Say("nothing left to " + words.verb + ".");
    return kExitUsage;
  }
  return std::nullopt;
}

Stop FormatFirst(ControlSession& session, Writer& writer) {
  ReportOutput("The DVD+RW in " + writer.name() + " is not formatted: formatting it first.");
  const JobResult result =
      RunJob(session, JobType::Format, quillonhost::DiscJob::Format, "BlankDVD");
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

// What the read-back found: "Verified: ..." when the disc holds what was
// meant; otherwise each file that differs or cannot be read, and a damaged
// directory, are named (exit 1); a read-back cut short by Ctrl-C exits 130.
int SayVerified(const VerifyReport& report) {
  if (report.identical()) {
    ReportOutput(report.Summary());
    return kExitDone;
  }
  if (report.finished() && !report.complete()) {
    ReportOutput(report.Summary());
    return kExitCancelled;
  }
  for (const std::string& finding : report.findings()) Say(finding);
  Say(report.Summary());
  return kExitFailed;
}

// Selects the writer for a burn and reads what its disc is; nothing, with
// `stop` set, when it cannot be burned.
std::optional<DiscDescription> DiscToBurn(Writer& writer, Stop& stop) {
  stop = writer.Select("CD/DVD Writer not ready! Can not continue to burn.");
  if (stop) return std::nullopt;
  auto disc = writer.probe().Describe();
  if (!disc) {
    Say("cannot read the disc in " + writer.name() + ".");
    stop = kExitFailed;
  }
  return disc;
}

int Burn(ControlSession& session, const BurnerOptions& o, const CompilationFacts& facts) {
  Writer writer(session, o.writer);
  Stop stop;
  const auto disc = DiscToBurn(writer, stop);
  if (stop) return *stop;
  if ((stop = CheckDisc(session, writer, *disc, o, facts))) return *stop;
  if ((stop = HandOver(session, "burn", o, facts))) return *stop;
  if (disc->unformatted) {
    if ((stop = FormatFirst(session, writer))) return *stop;
  }
  if (Interrupted()) {
    Say("cancelled before the burn started; nothing was burned.");
    return kExitCancelled;
  }

  // The speed is best effort: a drive that does not take it writes at one
  // of its own.
  if (o.speed > 0) {
    const auto factor = static_cast<std::int16_t>(o.speed);
    session.Call(o.dvd ? "SetDvdWriteSpeed" : "SetWriteSpeed", {Variant::I2(factor)});
  }
  session.Set("VerifyAfterBurn", Variant::Bool(o.verify));
  const JobResult result =
      o.dvd ? RunJob(session, JobType::Burn, quillonhost::DiscJob::BurnDvd, "BurnDVDData", {}, o.verify)
            : RunJob(session, JobType::Burn, quillonhost::DiscJob::BurnCd, "BurnCDData",
                     {Variant::Bool(o.multi)}, o.verify);
  if (result.end != JobResult::End::Completed) {
    if (result.writerInUse || writer.probe().TestReady() == DiscProbe::Readiness::InUse) {
      Say(writer.name() + " is in use by another program.");
    } else if (auto now = writer.probe().Describe(); now && now->unfinished) {
      Say("the session was left open. " + CloseHint(writer));
    }
    return kExitFailed;
  }
  if (result.cancelled) {
    ReportOutput("Burn cancelled: the session was closed with " +
                 Megabytes(WrittenBlocks(writer, *disc, facts, result)) + " written.");
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
  ReportOutput("Burned Completed!");
  const int verified = o.verify ? SayVerified(result.verify) : kExitDone;
  if (o.eject) session.Call("EjectDisk");
  return verified;
}

int Verify(ControlSession& session, const BurnerOptions& o, const CompilationFacts& facts) {
  Writer writer(session, o.writer);
  if (Stop stop = writer.Select("CD/DVD Writer not ready! Can not continue to verify.")) return *stop;
  if (Stop stop = HandOver(session, "verify", o, facts)) return *stop;
  session.Call("VerifyDisc");
  const JobResult result = WatchJob(session, JobType::Verify);
  if (result.end != JobResult::End::Completed) return kExitFailed;
  return SayVerified(result.verify);
}

int SaveImage(ControlSession& session, const BurnerOptions& o, const CompilationFacts& facts) {
  if (Stop stop = HandOver(session, "image", o, facts)) return *stop;
  if (Interrupted()) {
    Say("cancelled before the image was written; nothing was written.");
    return kExitCancelled;
  }
  session.Call("SaveImageFile", {Variant::Bstr(platform::NarrowToWide(o.output)), Variant::Bool(o.dvd)});
  const JobResult result = WatchJob(session, JobType::Image);
  if (result.end != JobResult::End::Completed) return result.interrupted ? kExitCancelled : kExitFailed;
  std::error_code ec;
  const auto bytes = fs::file_size(o.output, ec);
  if (result.reports > 0) {
    Say("the image was saved, but it does not hold the files named above as they are now.");
    return kExitFailed;
  }
  ReportOutput("Image saved: " + o.output + " (" + Megabytes(ec ? 0 : bytes / 2048) + ").");
  return kExitDone;
}

// An image holds the addresses of a first session: the disc must be blank
// (or be written in place, as a DVD+RW is), and hold the whole file.
Stop CheckDiscForImage(ControlSession& session, Writer& writer, const DiscDescription& disc,
                       std::uint64_t imageBlocks) {
  const std::string erase = session.Flag("IsDiskErasable")
                                ? "\nIt is rewritable: 'quillon erase --writer " + std::to_string(writer.index()) +
                                      "' makes it blank again (everything on it is lost)."
                                : "";
  if (disc.closed || disc.unfinished || (!disc.overwritable && !session.Flag("IsDiskBlank"))) {
    Tell("The disc in " + writer.name() +
         " is not blank: an image file holds the addresses of a disc's first session, so it "
         "is burned only onto a blank disc. Nothing was written." + erase);
    return kExitFailed;
  }
  if (imageBlocks > disc.freeBlocks) {
    Say("the image needs " + Megabytes(imageBlocks, true) + " but the disc in " + writer.name() + " has " +
        Megabytes(disc.freeBlocks) + " free. Nothing was written.");
    return kExitFailed;
  }
  return std::nullopt;
}

int BurnImage(ControlSession& session, const BurnerOptions& o) {
  const std::string& image = o.paths.front();
  const std::string problem =
      platform::WideToNarrow(session.Call("CheckImageFile", {Variant::Bstr(platform::NarrowToWide(image))}).AsBstr());
  if (!problem.empty()) {
    Say(problem + " Nothing was written.");
    return kExitUsage;
  }
  Writer writer(session, o.writer);
  Stop stop;
  const auto disc = DiscToBurn(writer, stop);
  if (stop) return *stop;
  std::error_code ec;
  const std::uint64_t blocks = fs::file_size(image, ec) / 2048;
  if ((stop = CheckDiscForImage(session, writer, *disc, blocks))) return *stop;
  if (disc->unformatted) {
    if ((stop = FormatFirst(session, writer))) return *stop;
  }
  if (Interrupted()) {
    Say("cancelled before the burn started; nothing was burned.");
    return kExitCancelled;
  }
  session.Set("VerifyAfterBurn", Variant::Bool(o.verify));
  const JobResult result = RunJob(session, JobType::Burn, quillonhost::DiscJob::BurnImage, "BurnImageFile",
                                  {Variant::Bstr(platform::NarrowToWide(image))}, o.verify);
  if (result.end != JobResult::End::Completed) {
    SayIfTaken(writer, result);
    return kExitFailed;
  }
  if (result.cancelled) {
    ReportOutput("Burn cancelled: the session was closed with " +
                 Megabytes(static_cast<std::uint64_t>(result.writtenShare * static_cast<double>(blocks))) +
                 " written.");
    return kExitCancelled;
  }
  ReportOutput("Burned Completed!");
  return o.verify ? SayVerified(result.verify) : kExitDone;
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
    Tell("CD/DVD disk is not erasable! Can not continue to erase.");
    return kExitFailed;
  }
  if (const JobResult result = RunJob(session, JobType::Erase, quillonhost::DiscJob::Erase, "Blank",
                                     {Variant::Bool(o.full)});
      result.end != JobResult::End::Completed) {
    SayIfTaken(writer, result);
    return kExitFailed;
  }
  ReportOutput("Blank complete!");
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
  if (const JobResult result =
          RunJob(session, JobType::Format, quillonhost::DiscJob::Format, "BlankDVD");
      result.end != JobResult::End::Completed) {
    SayIfTaken(writer, result);
    Say("the disc could not be formatted.");
    return kExitFailed;
  }
  ReportOutput("Format complete!");
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
  if (RunJob(session, JobType::Close, quillonhost::DiscJob::Close, "CloseSession").end !=
      JobResult::End::Completed) {
    return kExitFailed;
  }
  ReportOutput("Session closed: the disc can be read in other drives.");
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
  if (command == "burn-image" && options.paths.size() != 1) {
    Say(options.paths.empty() ? "burn-image needs the image file to burn" : "burn-image burns one image file");
    if (!JsonEvents()) std::cerr << CommandUsage(command);
    return kExitUsage;
  }
  if (command == "burn" || command == "image" || command == "verify") {
    if (Stop stop = CheckInputs(command, options, facts)) return *stop;
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
  if (command == "image") return SaveImage(session, options, facts);
  if (command == "burn-image") return BurnImage(session, options);
  if (command == "verify") return Verify(session, options, facts);
  if (command == "erase") return Erase(session, options);
  if (command == "format") return Format(session, options);
  if (command == "close") return Close(session, options);
  if (command == "eject") return Eject(session, options);
  Say("unknown command '" + command + "'");
  return kExitUsage;
}

}  // namespace quillon
