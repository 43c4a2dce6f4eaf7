// While a job runs the worker owns the drive and the compilation: every
// member that would touch either is refused with "Drive is busy", changes
// nothing and sends nothing, and the running job goes on unaffected.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "engine/typelib/scrivo_ids.h"
#include "engine/typelib/scrivo_typelib.h"
#include "platform/kernel/clock.h"
#include "tests/support/aspi_double.h"
#include "tests/support/control_fixture.h"
#include "platform/user/message_loop.h"

namespace {

namespace fs = std::filesystem;
using testsupport::RecordedRequest;
using testsupport::Reply;

constexpr std::uint8_t kBlank = 0xA1;

// A CD blank that stays in its BLANK command until the test lets it go.
class BusyRule : public testsupport::ControlFixture {
 protected:
  BusyRule() {
    aspi.SetResponder([this](const RecordedRequest& r) {
      if (r.Opcode() == kBlank) HoldBlank();
      return Reply{};
    });
    fs::create_directories(folder);
    std::ofstream(folder / "report.txt") << "report";
  }
  ~BusyRule() override {
    LetBlankGo();
    for (int i = 0; i < 1000 && control().Busy(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    fs::remove_all(folder);
  }

  void HoldBlank() {
    std::unique_lock lock(mutex_);
    held_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
  }
  bool WaitUntilBlankHeld() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return held_; });
  }
  void LetBlankGo() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  bool BlankFinished() {
    for (const auto& event : sink.events) {
      if (event.id == scrivo::EVENTID_BLANKFINISHED) return true;
    }
    return false;
  }

  testsupport::AspiDouble aspi;
  platform::VirtualClock clock;
  platform::ScopedClock clockScope{clock};
  fs::path folder = fs::temp_directory_path() / ("quillon-busy-" + std::to_string(::getpid()));

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool released_ = false;
};

TEST_F(BusyRule, MembersThatReachTheDriveOrTheCompilationAreRefusedWhileAJobRuns) {
  control().InitControl();
  control().Blank(false);
  ASSERT_TRUE(WaitUntilBlankHeld());

  struct Member {
    const char* name;
    std::function<void(scrivo::CScrivoCtrl&)> call;
  };
  const std::string file = (folder / "report.txt").string();
  const Member members[] = {
      // Direct drive members.
      {"EjectDisk", [](auto& c) { c.EjectDisk(); }},
      {"CDWriterUnitReady", [](auto& c) { EXPECT_FALSE(c.CDWriterUnitReady()); }},
      {"SetCurrentDevice", [](auto& c) { c.SetCurrentDevice(0); }},
      {"MediaCount", [](auto& c) { EXPECT_EQ(c.MediaCount(), 0); }},
      {"SetWriteSpeed", [](auto& c) { EXPECT_FALSE(c.SetWriteSpeed(8)); }},
      {"InitControl", [](auto& c) { c.InitControl(); }},
      // Compilation members.
      {"AddFile", [&file](auto& c) { c.AddFile("report.txt", file); }},
      {"AddDirectory", [this](auto& c) { c.AddDirectory(folder.string() + "/"); }},
      {"VolumeLabel", [](auto& c) { c.SetVolumeLabel("NEW LABEL"); }},
      // A second job.
      {"BurnCDData", [](auto& c) { c.BurnCDData(true); }},
      {"BurnDVDData", [](auto& c) { c.BurnDVDData(); }},
      {"Blank", [](auto& c) { c.Blank(true); }},
      {"BlankDVD", [](auto& c) { c.BlankDVD(); }},
  };
  for (const Member& member : members) {
    SCOPED_TRACE(member.name);
    const auto before = Errors();
    aspi.Clear();
    member.call(control());
    auto after = Errors();
    ASSERT_EQ(after.size(), before.size() + 1) << testing::PrintToString(after);
    EXPECT_EQ(after.back(), "Drive is busy");
    EXPECT_TRUE(aspi.Requests().empty());
    EXPECT_TRUE(control().Busy());
  }
  EXPECT_TRUE(control().Image().Root().children.empty());
  EXPECT_EQ(control().Image().VolumeLabel(), "");

  // The blank that was running ends as if nothing had been asked of it.
  aspi.Clear();
  LetBlankGo();
  for (int i = 0; i < 1000 && !BlankFinished(); ++i) {
    platform::MessageLoop::ForThisThread().WaitAndDispatch(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(BlankFinished());
  for (const auto& request : aspi.Commands()) EXPECT_NE(request.Opcode(), kBlank);
}

// Whether the control was busy when each of its events and diagnostics
// reached the host.
class BusyAtEachEvent final : public platform::EventSink {
 public:
  explicit BusyAtEachEvent(scrivo::CScrivoCtrl& control) : control_(control) {
    for (std::size_t i = 0; i < 2; ++i) Point(i)->Advise(this, &cookies_[i]);
  }
  ~BusyAtEachEvent() {
    for (std::size_t i = 0; i < 2; ++i) Point(i)->Unadvise(cookies_[i]);
  }
  std::vector<std::pair<platform::DISPID, bool>> seen;

 private:
  platform::ComPtr<platform::IConnectionPoint> Point(std::size_t i) {
    const platform::IID& iid = i == 0 ? scrivo::ids::kEventInterface : scrivo::ids::kDiagnosticsInterface;
    platform::ComPtr<platform::IConnectionPoint> point;
    control_.FindConnectionPoint(iid, reinterpret_cast<platform::IConnectionPoint**>(point.Out()));
    return point;
  }
  void OnEvent(platform::DISPID id, std::span<const platform::Variant>) override {
    seen.emplace_back(id, control_.Busy());
  }
  scrivo::CScrivoCtrl& control_;
  std::uint32_t cookies_[2] = {};
};

// A host answers the end of a job with members a busy control refuses
// (eject, a fresh look at the writer, the next job): when the end arrives,
// the job must be over. The worker is held after each post, so the host
// handles the message before the worker goes on.
TEST_F(BusyRule, TheEndOfAJobReachesTheHostOnceTheControlIsIdle) {
  struct Case {
    const char* name;
    std::uint8_t blankStatus;
    platform::DISPID end;
  };
  const Case cases[] = {{"BlankFinished", SS_COMP, scrivo::EVENTID_BLANKFINISHED},
                        {"JobFailed", SS_ERR, scrivo::DIAGID_JOBFAILED}};
  auto& loop = platform::MessageLoop::ForThisThread();
  const auto hostThread = std::this_thread::get_id();
  loop.SetWakeHandler([hostThread] {
    if (std::this_thread::get_id() != hostThread) std::this_thread::sleep_for(std::chrono::milliseconds(30));
  });
  LetBlankGo();
  control().InitControl();
  BusyAtEachEvent host(control());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    aspi.SetResponder([&c](const RecordedRequest& r) {
      Reply reply;
      if (r.Opcode() == kBlank) reply.status = c.blankStatus;
      return reply;
    });
    control().Blank(false);
    for (int i = 0; i < 500 && (host.seen.empty() || host.seen.back().first != c.end); ++i) {
      loop.WaitAndDispatch(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(host.seen.empty());
    EXPECT_EQ(host.seen.back(), std::make_pair(c.end, false));
  }
  loop.SetWakeHandler(nullptr);
}

}  // namespace
