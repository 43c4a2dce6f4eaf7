#pragma once
// 'quillon doctor': what stands between this user and burning on each
// CD/DVD drive of the machine (/dev/sr* and the optical /dev/sg* nodes): a
// node the user may not open, SCSI commands the kernel refuses, a mounted
// disc, another program holding the drive; each with the command that fixes
// it. The trees it reads (/dev, /sys, /proc, /etc) are replaceable and the
// calls that need the kernel sit behind DoctorSystem, so tests put a faked
// machine in their place.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace quillonhost {

struct DoctorRoots {
  std::filesystem::path dev = "/dev";
  std::filesystem::path sys = "/sys";
  std::filesystem::path proc = "/proc";
  std::filesystem::path etc = "/etc";  // group and passwd
};

// The user running the program, as the kernel sees the process.
struct DoctorIdentity {
  unsigned uid = 0;
  std::string user;
  std::vector<unsigned> processGroups;  // the effective group and the supplementary ones
};

class DoctorSystem {
 public:
  virtual ~DoctorSystem() = default;
  // open(2) read-write without waiting for a disc, plainly or exclusively
  // (O_EXCL): a handle >= 0 or -errno.
  virtual int Open(const std::string& node, bool exclusive) = 0;
  // An INQUIRY through ioctl(SG_IO): 0, or -errno when it was refused.
  virtual int Inquiry(int handle) = 0;
  virtual void Close(int handle) = 0;
  virtual DoctorIdentity Self() = 0;
};

std::unique_ptr<DoctorSystem> LinuxDoctorSystem();

struct DriveFinding {
  enum class Problem { None, NoAccess, OpenFailed, SgIoRefused, Mounted, Busy };
  std::string node;  // "/dev/sr0"
  Problem problem = Problem::None;
  std::string detail;  // what is in the way, for this user
  std::string fix;     // the command or step that removes it; empty when none is known
};

std::vector<DriveFinding> ExamineDrives(const DoctorRoots& roots, DoctorSystem& system);

// The findings as 'quillon doctor' prints them.
std::string DescribeFindings(const std::vector<DriveFinding>& findings);

}  // namespace quillonhost
