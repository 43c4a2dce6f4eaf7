// The hosting layer as the desktop application uses it: the control created
// through the registry, the program's own message-box service left alone,
// and every notice handed to the receiver while the loop is dispatched.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "engine/typelib/scrivo_typelib.h"
#include "host/control_host.h"
#include "host/entry_handover.h"
#include "platform/automation/activation.h"
#include "platform/user/message_loop.h"
#include "tests/support/capturing_ui.h"

namespace {

namespace fs = std::filesystem;
using quillon::HostNotice;

class ControlHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quillon-hosttest-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    setenv("XDG_DATA_HOME", dir_.c_str(), 1);
    setenv("WNASPI32_VIRTUAL_WRITERS", "", 1);  // no writer: every burn fails
    setenv("WNASPI32_REAL_DRIVES", "0", 1);
    void* server = dlopen((std::string(QUILLON_BIN_DIR) + "/libscrivo.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(server, nullptr) << dlerror();
    ASSERT_EQ(reinterpret_cast<platform::DllRegisterServerFn>(dlsym(server, "DllRegisterServer"))(), platform::S_OK);
  }
  void TearDown() override {
    unsetenv("XDG_DATA_HOME");
    fs::remove_all(dir_);
  }
  static void Call(quillon::ControlHost& host, const char* member, std::vector<platform::Variant> args = {}) {
    platform::DISPID id = 0;
    ASSERT_EQ(host.Control().GetIDOfName(member, &id), platform::S_OK) << member;
    ASSERT_EQ(host.Control().Invoke(id, platform::InvokeKind::Method, args, nullptr), platform::S_OK) << member;
  }

 private:
  fs::path dir_;
};

TEST_F(ControlHostTest, ReceiverTakesEachNoticeWhileTheLoopIsDispatched) {
  testsupport::CapturingUserInterface programUi;
  std::vector<HostNotice> received;
  {
    quillon::ControlHost host(quillon::HostServices::Program);
    ASSERT_EQ(host.Create(), platform::S_OK);
    ASSERT_NE(host.EventInterface(), nullptr);
    EXPECT_EQ(host.EventInterface()->name, "_DScrivoEvents");
    host.SetReceiver([&](const HostNotice& notice) { received.push_back(notice); });

    Call(host, "InitControl");
    Call(host, "BurnCDData", {platform::Variant::Bool(false)});
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((received.empty() || received.back().kind != HostNotice::Kind::JobFailed) &&
           std::chrono::steady_clock::now() < deadline) {
      platform::MessageLoop::ForThisThread().WaitAndDispatch(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(host.Pump(std::chrono::milliseconds(0)).empty()) << "nothing waits in the queue";
  }
  ASSERT_GE(received.size(), 2u);
  EXPECT_EQ(received[received.size() - 2].kind, HostNotice::Kind::EngineError);
  EXPECT_EQ(received[received.size() - 2].name, "Unable to burn image.");
  EXPECT_EQ(received.back().kind, HostNotice::Kind::JobFailed);
  EXPECT_EQ(received.back().args.at(0).AsI2(), 1) << "the burn";
  // The program's own service stays installed: the host took nothing over.
  platform::MessageBoxA("shown by the program", "caption", platform::MB_OK);
  ASSERT_EQ(programUi.messages.size(), 1u);
}

// Each refused entry comes back with the reason that applies, under the
// entry it was handed over with; the documented failure text is not all.
TEST_F(ControlHostTest, HandOverNamesEachRefusedEntryWithItsReason) {
  const fs::path work = fs::temp_directory_path() / ("quillon-handover-" + std::to_string(::getpid()));
  fs::create_directories(work / "folder");
  std::ofstream(work / "kept.txt") << "kept";
  std::ofstream(work / "folder" / "inside.txt") << "inside";
  ASSERT_EQ(::mkfifo((work / "folder" / "pipe").c_str(), 0600), 0);
  quillon::ControlHost host(quillon::HostServices::Notices);
  ASSERT_EQ(host.Create(), platform::S_OK);
  Call(host, "InitControl");
  const std::string gone = (work / "gone.txt").string(), folder = (work / "folder").string() + "/";
  const quillon::HandOverResult result =
      quillon::HandOverEntries(host.Control(), {gone, folder, (work / "kept.txt").string()}, [&] {
        auto notices = host.Pump(std::chrono::milliseconds(0));
        return std::vector<HostNotice>(notices.begin(), notices.end());
      });
  fs::remove_all(work);
  EXPECT_EQ(result.accepted, 2u) << "the folder and kept.txt";
  ASSERT_EQ(result.refused.size(), 2u);
  EXPECT_EQ(result.refused[0].entry, gone);
  EXPECT_EQ(result.refused[0].path, gone);
  EXPECT_EQ(result.refused[0].kind, static_cast<std::int16_t>(scrivo::EntryRefusalKind::SourceMissing));
  EXPECT_EQ(result.refused[0].reason, gone + ": no longer there: removed or renamed since it was added (No such file or directory)");
  EXPECT_EQ(result.refused[1].entry, folder);
  EXPECT_EQ(result.refused[1].path, folder + "pipe");
  EXPECT_EQ(result.refused[1].kind, static_cast<std::int16_t>(scrivo::EntryRefusalKind::NotRegularFile));
}

}  // namespace
