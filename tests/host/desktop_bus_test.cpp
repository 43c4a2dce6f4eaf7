// The host's desktop module against logind and UDisks2 mocked on a private
// system bus (tests/support/private_bus.py runs this program on one).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "host/desktop_bus.h"
#include "platform/user/message_box.h"

namespace {

using quillonhost::MountedDiscFromNote;
using quillonhost::SleepInhibitor;

// A method call on the private bus with dbus-send; its printed reply.
std::string Call(const std::string& service, const std::string& path, const std::string& method) {
  const std::string command = std::string("dbus-send --bus='") + std::getenv("DBUS_SYSTEM_BUS_ADDRESS") +
                              "' --print-reply --dest=" + service + " " + path + " " + method;
  std::string reply;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) reply += buffer;
    pclose(pipe);
  }
  return reply;
}

std::string Inhibitors() {
  return Call("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager.ListInhibitors");
}

// logind lets a lock go when it sees its descriptor closed: soon, not at once.
bool NoLockWithin(std::chrono::milliseconds limit) {
  for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
    if (Inhibitors().find("string") == std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
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

TEST_F(DesktopBus, TheLockNamesTheJobAndEndsWithItsHolder) {
  ASSERT_TRUE(NoLockWithin(std::chrono::seconds(1)));
  {
    SleepInhibitor lock = SleepInhibitor::Take("quillon", quillonhost::InhibitReason(quillonhost::DiscJob::BurnDvd));
    ASSERT_TRUE(lock.held());
    SleepInhibitor moved = std::move(lock);
    EXPECT_FALSE(lock.held());
    const std::string held = Inhibitors();
    for (const char* part : {"\"sleep:shutdown\"", "\"quillon\"", "\"Burning a DVD\"", "\"block\""})
      EXPECT_NE(held.find(part), std::string::npos) << part << " in " << held;
  }
  EXPECT_TRUE(NoLockWithin(std::chrono::seconds(2)));
  EXPECT_TRUE(debug_.empty());
}

TEST_F(DesktopBus, WithoutTheBusTheJobGoesOnAndTheDebugChannelSaysWhy) {
  const std::string address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
  setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
  const bool held = SleepInhibitor::Take("quillon", "Erasing a disc").held();
  const bool udisks = quillonhost::UdisksAvailable();
  setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
  EXPECT_FALSE(held);
  EXPECT_FALSE(udisks);
  ASSERT_EQ(debug_.size(), 2u);
  EXPECT_NE(debug_[0].find("the machine may sleep during this job"), std::string::npos) << debug_[0];
}

TEST_F(DesktopBus, UnmountReachesTheFilesystemOfThatDeviceOnly) {
  ASSERT_TRUE(quillonhost::UdisksAvailable());
  EXPECT_EQ(quillonhost::UnmountWithUdisks("/dev/sr1"), "");
  const std::string blocks = "/org/freedesktop/UDisks2/block_devices/";
  EXPECT_NE(Call("org.freedesktop.UDisks2", blocks + "sr1", "org.freedesktop.DBus.Mock.GetCalls").find("\"Unmount\""),
            std::string::npos);
  EXPECT_EQ(Call("org.freedesktop.UDisks2", blocks + "sr0", "org.freedesktop.DBus.Mock.GetCalls").find("\"Unmount\""),
            std::string::npos);
  EXPECT_NE(quillonhost::UnmountWithUdisks("/dev/sr7"), "");
}

TEST(MountNote, TheDeviceAndTheMountPoint) {
  struct Case {
    const char* note;
    bool found;
    const char* device;
    const char* mountPoint;
  };
  for (const Case& c : std::vector<Case>{
           {"the disc in /dev/sr0 is mounted at /media/alice/MY DISC; unmount it first: udisksctl unmount -b /dev/sr0",
            true, "/dev/sr0", "/media/alice/MY DISC"},
           {"unmount it first: udisksctl unmount -b /dev/sr1", true, "/dev/sr1", ""},
           {"", false, "", ""},
           {"the drive is held by another program", false, "", ""},
       }) {
    const auto disc = MountedDiscFromNote(c.note);
    ASSERT_EQ(disc.has_value(), c.found) << c.note;
    if (!disc) continue;
    EXPECT_EQ(disc->device, c.device);
    EXPECT_EQ(disc->mountPoint, c.mountPoint);
  }
}

}  // namespace
