// quillon doctor against faked machines: a /dev, /sys, /proc and /etc tree
// in a temporary folder per case, and the kernel's answers (open, exclusive
// open, SG_IO) scripted per node.

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include <gtest/gtest.h>

#include "host/drive_doctor.h"

namespace {

namespace fs = std::filesystem;
using quillonhost::DriveFinding;
using Problem = DriveFinding::Problem;

struct Answers {
  int open = 0;  // 0 or -errno
  int inquiry = 0;
  int exclusive = 0;
};

class FakeSystem final : public quillonhost::DoctorSystem {
 public:
  std::map<std::string, Answers> answers;  // by node name
  quillonhost::DoctorIdentity self;
  int Open(const std::string& node, bool exclusive) override {
    const Answers& a = answers[fs::path(node).filename()];
    const int result = exclusive ? a.exclusive : a.open;
    return result < 0 ? result : 3;
  }
  int Inquiry(int) override { return inquiry; }
  void Close(int) override {}
  quillonhost::DoctorIdentity Self() override { return self; }
  int inquiry = 0;  // of every node
};

fs::path TemporaryFolder() {
  std::string name = (fs::temp_directory_path() / "doctor.XXXXXX").string();
  return mkdtemp(name.data());
}

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

struct Case {
  const char* name;
  const char* node;        // the drive's node: sr0, or sg0 whose block device is sr0
  mode_t mode;             // of the node
  const char* members;     // of the node's group, "cdrom", in /etc/group
  bool groupInProcess;     // whether this login has that group
  Answers answers;
  const char* mountinfo;   // /proc/self/mountinfo
  Problem problem;
  const char* detailHas;
  const char* fixHas;
};

const Case kCases[] = {
    {"usable", "sr0", 0660, "alice", true, {}, "", Problem::None, "", ""},
    {"not in the group", "sr0", 0660, "bob", false, {-EACCES, 0, 0}, "", Problem::NoAccess,
     "you are not in group cdrom", "sudo usermod -aG cdrom alice, then log out and in again"},
    {"added after this login", "sr0", 0660, "bob,alice", false, {-EACCES, 0, 0}, "", Problem::NoAccess,
     "added to group cdrom after this login", "newgrp cdrom"},
    {"the group may not write", "sg0", 0640, "alice", true, {-EACCES, 0, 0}, "", Problem::NoAccess,
     "group cdrom (rw-r-----), and its group may not write", "sudo chmod g+rw /dev/sg0"},
    {"no drive behind the node", "sr0", 0660, "alice", true, {-ENXIO, 0, 0}, "", Problem::OpenFailed,
     "no drive answers", ""},
    {"SG_IO refused", "sg0", 0660, "alice", true, {0, -EPERM, 0}, "", Problem::SgIoRefused,
     "refuses SCSI commands (SG_IO)", "security module"},
    {"mounted", "sr0", 0660, "alice", true, {0, 0, -EBUSY},
     "36 25 11:0 / /media/alice/MY\\040DISC ro,nosuid shared:1 - iso9660 /dev/sr0 ro\n", Problem::Mounted,
     "mounted at /media/alice/MY DISC", "udisksctl unmount -b /dev/sr0"},
    {"mounted, seen from its sg node", "sg0", 0660, "alice", true, {0, 0, -EBUSY},
     "36 25 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n", Problem::Mounted, "mounted at /media/cd",
     "udisksctl unmount -b /dev/sr0"},
    {"held by another program", "sr0", 0660, "alice", true, {0, 0, -EBUSY},
     "36 25 8:1 / / rw - ext4 /dev/sda1 rw\n", Problem::Busy, "another program holds the drive: othburn (PID 777)",
     "wait until its job ends"},
};

class DriveDoctor : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    root_ = TemporaryFolder();
    roots_ = {root_ / "dev", root_ / "sys", root_ / "proc", root_ / "etc"};
    // The nodes belong to whoever runs the test; /etc names that user
    // "root" and its group "cdrom", and the doctor's user is alice.
    Write(roots_.etc / "passwd", "root:x:" + std::to_string(getuid()) + ":0::/root:/bin/sh\nalice:x:4242:4242::/home/alice:/bin/sh\n");
    Write(roots_.etc / "group", "alice:x:4242:\ncdrom:x:" + std::to_string(getgid()) + ":" + GetParam().members + "\n");
    system_.self = {4242, "alice", {4242}};
    if (GetParam().groupInProcess) system_.self.processGroups.push_back(getgid());
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path root_;
  quillonhost::DoctorRoots roots_;
  FakeSystem system_;
};

TEST_P(DriveDoctor, NamesWhatStandsInTheWayAndItsFix) {
  const Case& c = GetParam();
  Write(roots_.dev / c.node, "");
  fs::permissions(roots_.dev / c.node, static_cast<fs::perms>(c.mode));
  // A disk's sg node is no CD/DVD drive and is left out.
  Write(roots_.dev / "sg7", "");
  Write(roots_.sys / "class/scsi_generic/sg7/device/type", "0\n");
  if (std::string(c.node) == "sg0") {
    Write(roots_.sys / "class/scsi_generic/sg0/device/type", "5\n");
    fs::create_directories(roots_.sys / "class/scsi_generic/sg0/device/block/sr0");
  }
  Write(roots_.proc / "self/mountinfo", c.mountinfo);
  Write(roots_.proc / "777/comm", "othburn\n");
  fs::create_directories(roots_.proc / "777/fd");
  fs::create_symlink("/dev/sr0", roots_.proc / "777/fd/5");
  system_.answers[c.node] = c.answers;
  system_.inquiry = c.answers.inquiry;

  const auto findings = quillonhost::ExamineDrives(roots_, system_);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].node, "/dev/" + std::string(c.node));
  EXPECT_EQ(findings[0].problem, c.problem) << findings[0].detail;
  EXPECT_NE(findings[0].detail.find(c.detailHas), std::string::npos) << findings[0].detail;
  EXPECT_NE(findings[0].fix.find(c.fixHas), std::string::npos) << findings[0].fix;
  const std::string text = quillonhost::DescribeFindings(findings);
  EXPECT_NE(text.find(c.problem == Problem::None ? "1 of 1 drive nodes can be used" : "0 of 1"), std::string::npos)
      << text;
}

INSTANTIATE_TEST_SUITE_P(Cases, DriveDoctor, testing::ValuesIn(kCases), [](const auto& param) {
  std::string name;
  for (const char* p = param.param.name; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  return name;
});

TEST(DriveDoctorTree, WithoutDrivesSaysSo) {
  FakeSystem system;
  const auto root = TemporaryFolder();
  fs::create_directories(root / "dev");
  const auto findings = quillonhost::ExamineDrives({root / "dev", root / "sys", root / "proc", root / "etc"}, system);
  fs::remove_all(root);
  EXPECT_TRUE(findings.empty());
  EXPECT_NE(quillonhost::DescribeFindings(findings).find("No CD/DVD drive was found"), std::string::npos);
}

}  // namespace
