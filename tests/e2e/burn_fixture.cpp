#include "tests/e2e/burn_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "engine/typelib/scrivo_ids.h"
#include "platform/text/codepage.h"
#include "platform/user/message_loop.h"

namespace e2e {
namespace {

using platform::InvokeKind;
using platform::Variant;

// A guard against a job that hangs the test, not a measure of speed: every
// pause of the engine runs on the virtual clock, so a job ends in moments.
constexpr int kMaxLoopWaits = 30000;
constexpr std::chrono::milliseconds kLoopWait{10};

void SetVariable(const char* name, const std::string& value) {
  if (value.empty()) {
    ::unsetenv(name);
  } else {
    ::setenv(name, value.c_str(), 1);
  }
}

}  // namespace

std::ostream& operator<<(std::ostream& out, JobEnd end) {
  switch (end) {
    case JobEnd::Finished: return out << "Finished";
    case JobEnd::BlankFinished: return out << "BlankFinished";
    case JobEnd::CloseFinished: return out << "CloseFinished";
    case JobEnd::Failed: return out << "Failed";
    case JobEnd::NeverEnded: return out << "NeverEnded";
  }
  return out;
}

BurnTest::BurnTest() = default;

BurnTest::~BurnTest() {
  // A test that failed half-way may leave a job running; it must not outlive
  // the virtual clock it pauses on.
  for (int i = 0; i < kMaxLoopWaits && HasControl() && control().Busy(); ++i) std::this_thread::sleep_for(kLoopWait);
}

void BurnTest::SetUp() {
  control().FindConnectionPoint(scrivo::ids::kDiagnosticsInterface,
                                reinterpret_cast<platform::IConnectionPoint**>(diagnosticsPoint_.Out()));
  ASSERT_TRUE(diagnosticsPoint_);
  diagnosticsPoint_->Advise(&diagnostics, &diagnosticsCookie_);
}

void BurnTest::TearDown() {
  if (diagnosticsPoint_) diagnosticsPoint_->Unadvise(diagnosticsCookie_);
}

void BurnTest::ReleaseEveryReference() {
  diagnosticsPoint_ = nullptr;
  ReleaseControl();
}

void BurnTest::SetVariables(const std::vector<std::string>& media, const std::string& faults) {
  std::string writers;
  for (std::size_t i = 0; i < media.size(); ++i) {
    writers += (i ? ";" : "") + media[i] + "=" + WriterFolder(static_cast<int>(i)).string();
  }
  SetVariable("WNASPI32_VIRTUAL_WRITERS", writers);
  SetVariable("WNASPI32_VIRTUAL_FAULTS", faults);
  SetVariable("WNASPI32_TRACE", TraceFile().string());
  SetVariable("WNASPI32_REAL_DRIVES", "0");
  SetVariable("WNASPI32_VIRTUAL_POLLS", "");
  SetVariable("WNASPI32_DEBUG", "");
  SetVariable("WNASPI32_VIRTUAL_STRICT", "");
  SetVariable("WNASPI32_VIRTUAL_RECOGNITION", recognitionCommands ? std::to_string(recognitionCommands) : "");
}

void BurnTest::UseWriters(const std::vector<std::string>& media, const std::string& faults) {
  SetVariables(media, faults);
  Call(scrivo::DISPID_INITCONTROL);
  ASSERT_TRUE(control().Initialized());
  ASSERT_EQ(Get(scrivo::DISPID_MEDIACOUNT), Variant::I2(static_cast<std::int16_t>(media.size())));
  SelectWriter(0);
}

void BurnTest::SelectWriter(int index) { Call(scrivo::DISPID_SETCURRENTDEVICE, {Variant::I4(index)}); }

fs::path BurnTest::WriterFolder(int index) const { return work / ("writer" + std::to_string(index)); }

Variant BurnTest::Call(platform::DISPID id, std::vector<Variant> args) {
  Variant result;
  EXPECT_EQ(Invoke(id, InvokeKind::Method, std::move(args), &result), platform::S_OK) << "member " << id;
  return result;
}

Variant BurnTest::Get(platform::DISPID id) {
  Variant result;
  EXPECT_EQ(Invoke(id, InvokeKind::PropertyGet, {}, &result), platform::S_OK) << "property " << id;
  return result;
}

void BurnTest::SetLabel(const std::string& label) {
  EXPECT_EQ(Invoke(scrivo::DISPID_VOLUMELABEL, InvokeKind::PropertyPut, {Variant::Bstr(platform::NarrowToWide(label))}),
            platform::S_OK);
}

void BurnTest::AddFolder(const fs::path& folder) {
  // The application hands a folder over with its trailing separator.
  Call(scrivo::DISPID_ADDDIRECTORY, {Variant::Bstr(platform::NarrowToWide(folder.string() + "/"))});
}

void BurnTest::AddFile(const std::string& name, const fs::path& source) {
  Call(scrivo::DISPID_ADDFILE,
       {Variant::Bstr(platform::NarrowToWide(name)), Variant::Bstr(platform::NarrowToWide(source.string()))});
}

JobEnd BurnTest::BurnCd(bool multiSession) {
  Call(scrivo::DISPID_BURNCDDATA, {Variant::Bool(multiSession)});
  return WaitForJob();
}

JobEnd BurnTest::BurnDvd() {
  Call(scrivo::DISPID_BURNDVDDATA);
  return WaitForJob();
}

JobEnd BurnTest::Blank(bool full) {
  Call(scrivo::DISPID_BLANK, {Variant::Bool(full)});
  return WaitForJob();
}

JobEnd BurnTest::FormatDvd() {
  Call(scrivo::DISPID_BLANKDVD);
  return WaitForJob();
}

JobEnd BurnTest::CloseSession() {
  Call(scrivo::DISPID_CLOSESESSION);
  return WaitForJob();
}

JobEnd BurnTest::WaitForJob() {
  const std::size_t firstEvent = sink.events.size();
  const std::size_t firstNotice = diagnostics.events.size();
  auto ended = [&]() -> std::optional<JobEnd> {
    for (std::size_t i = firstEvent; i < sink.events.size(); ++i) {
      if (sink.events[i].id == scrivo::EVENTID_FINISHED) return JobEnd::Finished;
      if (sink.events[i].id == scrivo::EVENTID_BLANKFINISHED) return JobEnd::BlankFinished;
      if (sink.events[i].id == scrivo::EVENTID_CLOSEFINISHED) return JobEnd::CloseFinished;
    }
    for (std::size_t i = firstNotice; i < diagnostics.events.size(); ++i) {
      if (diagnostics.events[i].id == scrivo::DIAGID_JOBFAILED) return JobEnd::Failed;
    }
    return std::nullopt;
  };
  std::optional<JobEnd> end;
  auto& loop = platform::MessageLoop::ForThisThread();
  for (int i = 0; i < kMaxLoopWaits && !(end = ended()); ++i) loop.WaitAndDispatch(kLoopWait);
  if (!end) return JobEnd::NeverEnded;
  // The worker clears the busy state after its last post.
  for (int i = 0; i < kMaxLoopWaits && control().Busy(); ++i) std::this_thread::sleep_for(kLoopWait);
  Pump();
  return control().Busy() ? JobEnd::NeverEnded : *end;
}

std::vector<int> BurnTest::ProgressEvents() const {
  std::vector<int> percents;
  for (const auto& event : sink.events) {
    if (event.id == scrivo::EVENTID_PROGRESS) percents.push_back(event.args.at(0).AsI2());
  }
  return percents;
}

std::vector<std::string> BurnTest::EventNames() const {
  std::vector<std::string> names;
  for (const auto& event : sink.events) {
    switch (event.id) {
      case scrivo::EVENTID_PROGRESS: names.push_back("Progress " + std::to_string(event.args.at(0).AsI2())); break;
      case scrivo::EVENTID_FINISHED: names.push_back("Finished"); break;
      case scrivo::EVENTID_BLANKFINISHED: names.push_back("BlankFinished"); break;
      default: names.push_back("event " + std::to_string(event.id)); break;
    }
  }
  return names;
}

std::vector<std::string> BurnTest::DiagnosticTexts() const {
  std::vector<std::string> texts;
  for (const auto& notice : diagnostics.events) {
    if (notice.id == scrivo::DIAGID_ENGINEERROR) texts.push_back(platform::WideToNarrow(notice.args.at(0).AsBstr()));
  }
  return texts;
}

std::pair<std::string, std::string> BurnTest::LastFailedStep() const {
  std::pair<std::string, std::string> last;
  for (const auto& notice : diagnostics.events) {
    if (notice.id != scrivo::DIAGID_JOBFAILED) continue;
    last = {platform::WideToNarrow(notice.args.at(2).AsBstr()), platform::WideToNarrow(notice.args.at(1).AsBstr())};
  }
  return last;
}

void BurnTest::BurnFolderOnCd(const fs::path& source, bool multiSession) {
  AddFolder(source);
  ASSERT_EQ(BurnCd(multiSession), JobEnd::Finished) << testing::PrintToString(Errors());
}

void BurnTest::ExpectReadersSee(const fs::path& image, const fs::path& source) {
  ReaderVerdict verdict = RunReaders(image, source);
  std::fputs(verdict.output.c_str(), stdout);
  EXPECT_TRUE(verdict.Agrees()) << verdict.output;
}

void BurnTest::ExpectSessionReadersSee(const fs::path& image, const fs::path& source, std::uint32_t sessionStart) {
  ReaderVerdict verdict = RunSessionReaders(image, source, sessionStart);
  std::fputs(verdict.output.c_str(), stdout);
  EXPECT_TRUE(verdict.Agrees()) << verdict.output;
}

}  // namespace e2e
