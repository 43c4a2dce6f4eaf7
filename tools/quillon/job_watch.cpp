#include "tools/quillon/job_watch.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <optional>

#include "platform/text/codepage.h"
#include "tools/quillon/events.h"
#include "tools/quillon/help.h"

namespace quillon {
namespace {

using Clock = std::chrono::steady_clock;

// Counted by the handler only; the commands remember how many they took.
volatile std::sig_atomic_t g_interrupts = 0;
std::sig_atomic_t g_taken = 0;
void OnInterrupt(int) { g_interrupts = g_interrupts + 1; }

constexpr auto kPumpSlice = std::chrono::milliseconds(50);
// Without news for this long, ask whether the job still runs.
constexpr auto kQuietBeforeAsking = std::chrono::seconds(3);
// The engine's own waits end within two hours (a blank, a format); a job
// silent for longer than this is stuck in the drive.
constexpr auto kGiveUp = std::chrono::hours(3);

// JobFailed's sense key, ASC and ASCQ (its fifth to seventh arguments) say
// NOT READY, LONG WRITE IN PROGRESS: the writer answered as one another
// program's job holds.
bool RefusedAsInUse(const std::vector<platform::Variant>& args) {
  constexpr std::size_t kSenseKeyArgument = 4;
  if (args.size() < kSenseKeyArgument + 3) return false;
  for (std::size_t i = kSenseKeyArgument; i < kSenseKeyArgument + 3; ++i) {
    if (args[i].Type() != platform::VarType::I2) return false;
  }
  return args[kSenseKeyArgument].AsI2() == 0x02 && args[kSenseKeyArgument + 1].AsI2() == 0x04 &&
         args[kSenseKeyArgument + 2].AsI2() == 0x08;
}

// JobFailed's facts as the JSON "failure" event, so that a front end can
// tell a refusal before writing from a session left open without parsing
// the message. Arguments are in the type library's order: job, text, step,
// command, sense key, ASC, ASCQ, block, errno, path, blocks written, disc.
void ReportFailureFacts(const std::vector<platform::Variant>& args) {
  if (!JsonEvents() || args.size() < 12) return;
  auto text = [&](std::size_t i) {
    return args[i].Type() == platform::VarType::BSTR ? platform::WideToNarrow(args[i].AsBstr()) : std::string();
  };
  auto number = [&](std::size_t i) -> std::int64_t {
    switch (args[i].Type()) {
      case platform::VarType::I2: return args[i].AsI2();
      case platform::VarType::I4: return args[i].AsI4();
      default: return -1;
    }
  };
  static constexpr std::string_view kDiscAfter[] = {"untouched", "session closed", "session left open"};
  const std::int64_t disc = number(11);
  JsonFields fields;
  fields.Add("step", text(2)).Add("disc", disc >= 0 && disc < 3 ? kDiscAfter[disc] : std::string_view("unknown"));
  if (const std::string command = text(3); !command.empty()) fields.Add("command", command);
  if (number(4) >= 0) fields.Add("sense_key", number(4)).Add("asc", number(5)).Add("ascq", number(6));
  if (number(7) >= 0) fields.Add("block", number(7));
  if (const std::string path = text(9); !path.empty()) fields.Add("path", path);
  if (number(8) != 0) fields.Add("errno", number(8));
  fields.Add("blocks_written", std::max<std::int64_t>(number(10), 0));
  ReportFacts("failure", fields);
}

std::string_view PhaseOf(JobType type) {
  switch (type) {
    case JobType::Erase: return "Erasing";
    case JobType::Close: return "Closing the session";
    case JobType::Image: return "Writing the image";
    case JobType::Verify: return BurnPhases::kVerifying;
    default: return "Formatting";
  }
}
std::string_view EndEventOf(JobType type) {
  switch (type) {
    case JobType::Burn: return "Finished";
    case JobType::Close: return "CloseFinished";
    case JobType::Image: return "ImageSaved";
    case JobType::Verify: return {};  // VerifyFinished ends it
    default: return "BlankFinished";
  }
}
std::string_view UninterruptibleJob(JobType type) {
  switch (type) {
    case JobType::Erase: return "an erase";
    case JobType::Close: return "closing a session";
    default: return "a format";
  }
}

class Watch {
 public:
  Watch(ControlSession& session, JobType type, bool verify) : session_(session), type_(type) {
    if (verify) phases_.ExpectVerify();
  }

  JobResult Run() {
    auto lastNews = Clock::now();
    // The first question comes at once: a worker that could not start says
    // nothing at all.
    auto nextQuestion = Clock::now();
    while (true) {
      HandleInterrupts();
      std::deque<HostNotice> notices = session_.Pump(kPumpSlice);
      if (!notices.empty()) {
        lastNews = Clock::now();
        nextQuestion = lastNews + kQuietBeforeAsking;
      }
      if (notices.empty() && Clock::now() >= nextQuestion) {
        const bool running = session_.JobRunning(notices);
        // Everything the job posted came before it stopped being busy.
        if (!running) {
          for (HostNotice& n : session_.Pump(std::chrono::milliseconds(0)))
            notices.push_back(std::move(n));
          if (notices.empty()) return Lost("the engine ended the job without saying how it went");
        }
        nextQuestion = Clock::now() + kQuietBeforeAsking;
      }
      for (const HostNotice& n : notices) {
        if (auto end = Handle(n)) return *end;
      }
      if (Clock::now() - lastNews > kGiveUp) GiveUp();
    }
  }

 private:
  std::optional<JobResult> Handle(const HostNotice& n) {
    switch (n.kind) {
      case HostNotice::Kind::Event:
        if (n.name == "Progress" && !n.args.empty()) {
          ShowProgress(n.args[0].AsI2());
        } else if (n.name == EndEventOf(type_)) {
          if (type_ != JobType::Burn) ReportProgress(PhaseOf(type_), 100);
          EndProgressLine();
          JobResult result{JobResult::End::Completed};
          result.cancelled =
              type_ == JobType::Burn && cancelRequested_ && !phases_.wroteEverything();
          result.writtenShare = phases_.writtenShare();
          result.interrupted = interrupted_;
          result.reports = reports_;
          result.verify = verify_;
          return result;
        }
        break;
      case HostNotice::Kind::VerifyMismatch:
      case HostNotice::Kind::VerifyFinished:
        verify_.Take(n);
        if (type_ == JobType::Verify && verify_.finished()) {
          EndProgressLine();
          JobResult result{JobResult::End::Completed};
          result.interrupted = interrupted_;
          result.reports = reports_;
          result.verify = verify_;
          return result;
        }
        break;
      case HostNotice::Kind::EngineError:
        ReportMessage(n.name, Source::Engine);
        ++reports_;
        break;
      case HostNotice::Kind::EngineNotice:
      case HostNotice::Kind::MessageBox:
        ReportNotice(n.name);
        break;
      case HostNotice::Kind::EntryRefused:
        break;  // entries are handed over before a job starts
      case HostNotice::Kind::BufferLevel:
        if (type_ == JobType::Burn && !phases_.closing()) ReportBuffer(n.args[0].AsI2());
        break;
      case HostNotice::Kind::JobFailed: {
        EndProgressLine();
        // What failed and what the disc holds now, after the engine's text.
        if (!n.name.empty()) ReportMessage(n.name, Source::Engine);
        ReportFailureFacts(n.args);
        JobResult failed{JobResult::End::Failed};
        failed.interrupted = interrupted_;
        failed.writerInUse = RefusedAsInUse(n.args);
        return failed;
      }
    }
    return std::nullopt;
  }

  void ShowProgress(int percent) {
    if (type_ != JobType::Burn) {
      ReportProgress(PhaseOf(type_), percent);
      return;
    }
    const BurnPhases::Step step = phases_.OnProgress(percent);
    ReportProgress(step.phase, step.percent);
  }

  void HandleInterrupts() {
    if (TakeInterrupts() == 0) return;
    interrupted_ = true;
    if (type_ == JobType::Verify || phases_.verifying()) {
      if (!cancelRequested_) session_.Call("CancelBurning");
      cancelRequested_ = true;
      ReportMessage("cancelling the read-back: the disc is not compared whole.");
    } else if (type_ == JobType::Image) {
      if (!cancelRequested_) {
        cancelRequested_ = true;
        ReportMessage("cancelling: no image file is left behind.");
        session_.Call("CancelBurning");
      }
    } else if (type_ != JobType::Burn) {
      ReportMessage(std::string(UninterruptibleJob(type_)) +
                    " cannot be interrupted: the drive is working on the whole disc, and a disc "
                    "left half done is unusable. quillon ends when the drive has finished.");
    } else if (!cancelRequested_) {
      cancelRequested_ = true;
      phases_.CancelRequested();
      ReportMessage("cancelling: the session is closed with what has been written so far.");
      session_.Call("CancelBurning");
    } else {
      ReportMessage("the session is being closed; closing cannot be interrupted without leaving "
                    "the disc unreadable. Waiting for the drive to finish.");
    }
  }

  static JobResult Lost(const char* why) {
    EndProgressLine();
    ReportMessage(std::string(why) + "; the disc may be incomplete.");
    return JobResult{JobResult::End::Lost};
  }

  [[noreturn]] void GiveUp() {
    ReportMessage("no word from the engine or the drive for three hours; giving up. "
                  "The disc may be incomplete.");
    ReportResult(kExitFailed);
    // The worker is stuck in the drive: leave without waiting for it. The
    // writer is given back with the process.
    std::_Exit(kExitFailed);
  }

  ControlSession& session_;
  JobType type_;
  BurnPhases phases_;
  VerifyReport verify_;
  bool cancelRequested_ = false;
  bool interrupted_ = false;
  std::size_t reports_ = 0;
};

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // A closed terminal (SIGHUP) and a plain kill (SIGTERM) are answered as
  // Ctrl-C is: dying mid-burn would leave the session open, unreadable in
  // other drives, where a cancel closes it with what was written.
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool Interrupted() { return g_interrupts != g_taken; }

int TakeInterrupts() {
  const std::sig_atomic_t seen = g_interrupts;
  const int count = seen - g_taken;
  g_taken = seen;
  return count;
}

JobResult WatchJob(ControlSession& session, JobType type, bool verify) {
  return Watch(session, type, verify).Run();
}

}  // namespace quillon
