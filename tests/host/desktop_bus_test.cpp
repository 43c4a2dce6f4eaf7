// The host's desktop module against UDisks2 mocked on a private system bus
// (tests/support/private_bus.py runs this program on one). The sleep lock
// on that bus is checked through quillon's jobs (tests/quillon/burner_json.py).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/desktop_bus.h"
#include "platform/user/message_box.h"

namespace {

// The calls the UDisks2 mock recorded on one block device's object.
std::string UnmountsOf(const std::string& device) {
  const std::string command = std::string("dbus-send --bus='") + std::getenv("DBUS_SYSTEM_BUS_ADDRESS") +
                              "' --print-reply --dest=org.freedesktop.UDisks2 /org/freedesktop/UDisks2/block_devices/" +
                              device + " org.freedesktop.DBus.Mock.GetCalls";
  std::string reply;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) reply += buffer;
    pclose(pipe);
  }
  return reply;
}

class DesktopBus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) GTEST_SKIP() << "run under tests/support/private_bus.py";
    platform::SetDebugSink([this](platform::DebugSource, std::string_view text) { debug_.emplace_back(text); });
  }
  void TearDown() override { platform::SetDebugSink(nullptr); }
  std::vector<std::string> debug_;
};

TEST_F(DesktopBus, UnmountReachesTheFilesystemOfThatDeviceOnly) {
  ASSERT_TRUE(quillonhost::UdisksAvailable());
  EXPECT_EQ(quillonhost::UnmountWithUdisks("/dev/sr1"), "");
  EXPECT_NE(UnmountsOf("sr1").find("\"Unmount\""), std::string::npos);
  EXPECT_EQ(UnmountsOf("sr0").find("\"Unmount\""), std::string::npos);
  EXPECT_NE(quillonhost::UnmountWithUdisks("/dev/sr7"), "");  // a device UDisks2 does not know
  EXPECT_TRUE(debug_.empty());
}

TEST_F(DesktopBus, WithoutTheBusJobsGoOnAndTheDebugChannelSaysWhy) {
  const std::string address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
  setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
  const bool held = quillonhost::SleepInhibitor::Take("quillon", "Erasing a disc").held();
  const bool udisks = quillonhost::UdisksAvailable();
  setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
  EXPECT_FALSE(held);
  EXPECT_FALSE(udisks);
  ASSERT_EQ(debug_.size(), 2u);
  EXPECT_NE(debug_[0].find("the machine may sleep during this job"), std::string::npos) << debug_[0];
}

TEST(MountNote, TheDeviceAndTheMountPoint) {
  struct Case {
    const char* note;
    const char* device;  // empty: no mounted disc named
    const char* mountPoint;
  };
  for (const Case& c : std::vector<Case>{
           {"the disc in /dev/sr0 is mounted at /media/alice/MY DISC; unmount it first: udisksctl unmount -b /dev/sr0",
            "/dev/sr0", "/media/alice/MY DISC"},
           {"unmount it first: udisksctl unmount -b /dev/sr1", "/dev/sr1", ""},
           {"the drive is held by another program", "", ""},
       }) {
    const auto disc = quillonhost::MountedDiscFromNote(c.note);
    EXPECT_EQ(disc ? disc->device : "", c.device) << c.note;
    EXPECT_EQ(disc ? disc->mountPoint : "", c.mountPoint) << c.note;
  }
}

}  // namespace
