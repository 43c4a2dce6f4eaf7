#include "host/drive_doctor.h"

#include <fcntl.h>
#include <pwd.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "platform/aspi/sg/mount_table.h"

namespace quillonhost {
namespace {

namespace fs = std::filesystem;
using Problem = DriveFinding::Problem;

constexpr int kScsiTypeRom = 5;  // a CD/DVD drive

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string FirstLine(const fs::path& path) {
  std::string line;
  std::ifstream in(path);
  std::getline(in, line);
  return line;
}

// One line of /etc/group or /etc/passwd, split at its colons.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, ':');) fields.push_back(field);
  if (!line.empty() && line.back() == ':') fields.emplace_back();
  return fields;
}

struct Group {
  std::string name;
  std::vector<std::string> members;
};

// The user and group databases as the files hold them (not NSS), so the
// groups are those a new login would get from them.
class Accounts {
 public:
  explicit Accounts(const fs::path& etc) {
    std::istringstream groups(ReadFile(etc / "group"));
    for (std::string line; std::getline(groups, line);) {
      const auto f = Fields(line);
      if (f.size() < 4) continue;
      Group group{f[0], {}};
      std::istringstream members(f[3]);
      for (std::string member; std::getline(members, member, ',');) group.members.push_back(member);
      groups_[Number(f[2])] = group;
    }
    std::istringstream users(ReadFile(etc / "passwd"));
    for (std::string line; std::getline(users, line);) {
      const auto f = Fields(line);
      if (f.size() < 4) continue;
      users_[Number(f[2])] = f[0];
      primaryGroups_[f[0]] = Number(f[3]);
    }
  }

  std::string UserName(unsigned uid) const {
    const auto it = users_.find(uid);
    return it != users_.end() ? it->second : "user " + std::to_string(uid);
  }
  std::string GroupName(unsigned gid) const {
    const auto it = groups_.find(gid);
    return it != groups_.end() ? it->second.name : "group " + std::to_string(gid);
  }
  // Whether a new login of `user` gets group `gid`.
  bool InGroup(const std::string& user, unsigned gid) const {
    if (const auto primary = primaryGroups_.find(user); primary != primaryGroups_.end() && primary->second == gid)
      return true;
    const auto it = groups_.find(gid);
    return it != groups_.end() &&
           std::find(it->second.members.begin(), it->second.members.end(), user) != it->second.members.end();
  }

 private:
  static unsigned Number(const std::string& text) {
    try {
      return static_cast<unsigned>(std::stoul(text));
    } catch (const std::exception&) {
      return ~0u;
    }
  }
  std::map<unsigned, Group> groups_;
  std::map<unsigned, std::string> users_;
  std::map<std::string, unsigned> primaryGroups_;
};

std::string ModeText(mode_t mode) {
  std::string text = "---------";
  const char letters[] = "rwx";
  for (int bit = 0; bit < 9; ++bit) {
    if (mode & (1u << (8 - bit))) text[static_cast<std::size_t>(bit)] = letters[bit % 3];
  }
  return text;
}

// Why the user may not open `node` for reading and writing, from its owner,
// group and mode and the user's groups now and at the next login.
void ExplainNoAccess(const fs::path& path, const std::string& node, const Accounts& accounts,
                     const DoctorIdentity& self, DriveFinding& finding) {
  finding.problem = Problem::NoAccess;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    finding.detail = "you (" + self.user + ") may not open it";
    return;
  }
  const std::string group = accounts.GroupName(info.st_gid);
  finding.detail = "you (" + self.user + ") may not open it for reading and writing: it belongs to " +
                   accounts.UserName(info.st_uid) + ", group " + group + " (" + ModeText(info.st_mode) + ")";
  const bool groupMayWrite = (info.st_mode & S_IRGRP) && (info.st_mode & S_IWGRP);
  if (!groupMayWrite) {
    finding.detail += ", and its group may not write to it";
    finding.fix = "sudo chmod g+rw " + node + " (until the next boot; a udev rule with GROUP=\"" + group +
                  "\", MODE=\"0660\" keeps it)";
    return;
  }
  const bool inProcess = std::find(self.processGroups.begin(), self.processGroups.end(), info.st_gid) !=
                         self.processGroups.end();
  if (accounts.InGroup(self.user, info.st_gid) && !inProcess) {
    finding.detail += "; you were added to group " + group + " after this login";
    finding.fix = "log out and in again (or start a shell in the group: newgrp " + group + ")";
  } else if (!inProcess) {
    finding.detail += "; you are not in group " + group;
    finding.fix = "sudo usermod -aG " + group + " " + self.user + ", then log out and in again";
  }
}

// The programs that have `nodes` open, from /proc/PID/fd: "NAME (PID N)".
std::vector<std::string> Holders(const fs::path& proc, const std::vector<std::string>& nodes) {
  std::vector<std::string> holders;
  std::error_code error;
  for (const auto& process : fs::directory_iterator(proc, error)) {
    const std::string pid = process.path().filename();
    if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit) || pid == std::to_string(getpid()))
      continue;
    std::error_code fdError;
    for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
      std::error_code linkError;
      const std::string target = fs::read_symlink(fd.path(), linkError);
      if (linkError || std::find(nodes.begin(), nodes.end(), target) == nodes.end()) continue;
      holders.push_back(FirstLine(process.path() / "comm") + " (PID " + pid + ")");
      break;
    }
  }
  return holders;
}

// The drive's other node: the block device (srN) of an sg node, the sg node
// of a block device; empty when sysfs does not tell.
std::string SiblingOf(const DoctorRoots& roots, const std::string& name) {
  const fs::path dir = name.starts_with("sg") ? roots.sys / "class" / "scsi_generic" / name / "device" / "block"
                                              : roots.sys / "class" / "block" / name / "device" / "scsi_generic";
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) return entry.path().filename();
  return {};
}

// The CD/DVD nodes: every srN, and the sgN whose device sysfs calls a
// CD/DVD drive (or does not describe), in order.
std::vector<std::string> OpticalNodes(const DoctorRoots& roots) {
  static const std::regex kNode("s[rg][0-9]+");
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(roots.dev, error)) {
    const std::string name = entry.path().filename();
    if (!std::regex_match(name, kNode)) continue;
    if (name.starts_with("sg")) {
      const std::string type = FirstLine(roots.sys / "class" / "scsi_generic" / name / "device" / "type");
      if (!type.empty() && type != std::to_string(kScsiTypeRom)) continue;
    }
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return a.substr(0, 2) != b.substr(0, 2) ? a < b : std::stoi(a.substr(2)) < std::stoi(b.substr(2));
  });
  return names;
}

DriveFinding Examine(const DoctorRoots& roots, DoctorSystem& system, const Accounts& accounts,
                     const DoctorIdentity& self, const std::string& mounts, const std::string& name) {
  DriveFinding finding;
  finding.node = "/dev/" + name;
  const fs::path path = roots.dev / name;
  const std::string sibling = SiblingOf(roots, name);
  const std::string blockNode = name.starts_with("sr") ? finding.node : sibling.empty() ? "" : "/dev/" + sibling;

  const int handle = system.Open(path, false);
  if (handle == -EACCES || handle == -EPERM) {
    ExplainNoAccess(path, finding.node, accounts, self, finding);
    return finding;
  }
  if (handle < 0) {
    finding.problem = Problem::OpenFailed;
    finding.detail = std::string("it cannot be opened: ") + std::strerror(-handle);
    if (handle == -ENXIO || handle == -ENODEV || handle == -ENOENT)
      finding.detail += " (no drive answers at this node: removed, or its driver is not loaded)";
    return finding;
  }
  const int inquiry = system.Inquiry(handle);
  system.Close(handle);
  if (inquiry < 0) {
    finding.problem = Problem::SgIoRefused;
    finding.detail = std::string("the kernel refuses SCSI commands (SG_IO) to it: ") + std::strerror(-inquiry);
    finding.fix = "SG_IO needs the node opened for writing; a container's device rules or a security module "
                  "(AppArmor, SELinux) that refuse it must allow it";
    return finding;
  }
  if (!blockNode.empty()) {
    if (const auto mountPoint = wnaspi::sg::MountPointOf(mounts, blockNode)) {
      finding.problem = Problem::Mounted;
      finding.detail = "the disc in it is mounted at " + *mountPoint;
      finding.fix = "udisksctl unmount -b " + blockNode;
      return finding;
    }
  }
  const int exclusive = system.Open(path, true);
  if (exclusive >= 0) {
    system.Close(exclusive);
    return finding;
  }
  if (exclusive == -EBUSY) {
    finding.problem = Problem::Busy;
    std::vector<std::string> nodes{finding.node};
    if (!sibling.empty()) nodes.push_back("/dev/" + sibling);
    const auto holders = Holders(roots.proc, nodes);
    finding.detail = "another program holds the drive";
    for (std::size_t i = 0; i < holders.size(); ++i) finding.detail += (i ? ", " : ": ") + holders[i];
    finding.fix = holders.empty() ? "wait until that program's job ends, or close it"
                                  : "wait until its job ends, or close it";
    return finding;
  }
  finding.problem = Problem::OpenFailed;
  finding.detail = std::string("it cannot be opened exclusively: ") + std::strerror(-exclusive);
  return finding;
}

class LinuxSystem final : public DoctorSystem {
 public:
  int Open(const std::string& node, bool exclusive) override {
    // O_NONBLOCK: opening must not wait for a disc.
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | (exclusive ? O_EXCL : 0));
    return fd >= 0 ? fd : -errno;
  }

  int Inquiry(int handle) override {
    unsigned char command[6] = {0x12, 0, 0, 0, 36, 0};
    unsigned char answer[36] = {};
    unsigned char sense[32] = {};
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.dxfer_direction = SG_DXFER_FROM_DEV;
    header.cmd_len = sizeof command;
    header.cmdp = command;
    header.dxfer_len = sizeof answer;
    header.dxferp = answer;
    header.mx_sb_len = sizeof sense;
    header.sbp = sense;
    header.timeout = 5000;
    while (::ioctl(handle, SG_IO, &header) != 0) {
      if (errno != EINTR) return -errno;
    }
    return 0;
  }

  void Close(int handle) override { ::close(handle); }

  DoctorIdentity Self() override {
    DoctorIdentity self;
    self.uid = ::getuid();
    const passwd* entry = ::getpwuid(self.uid);
    self.user = entry && entry->pw_name ? entry->pw_name : std::to_string(self.uid);
    self.processGroups.push_back(::getegid());
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) self.processGroups.push_back(groups[static_cast<std::size_t>(i)]);
    return self;
  }
};

}  // namespace

std::unique_ptr<DoctorSystem> LinuxDoctorSystem() { return std::make_unique<LinuxSystem>(); }

std::vector<DriveFinding> ExamineDrives(const DoctorRoots& roots, DoctorSystem& system) {
  const Accounts accounts(roots.etc);
  const DoctorIdentity self = system.Self();
  const std::string mounts = ReadFile(roots.proc / "self" / "mountinfo");
  std::vector<DriveFinding> findings;
  for (const std::string& name : OpticalNodes(roots))
    findings.push_back(Examine(roots, system, accounts, self, mounts, name));
  return findings;
}

std::string DescribeFindings(const std::vector<DriveFinding>& findings) {
  if (findings.empty())
    return "No CD/DVD drive was found (no /dev/sr* or optical /dev/sg* node); virtual writers need none "
           "(quillon writers).\n";
  std::string text;
  std::size_t usable = 0;
  for (const DriveFinding& finding : findings) {
    if (finding.problem == Problem::None) {
      ++usable;
      text += finding.node + ": nothing stands in the way\n";
      continue;
    }
    text += finding.node + ": " + finding.detail + '\n';
    if (!finding.fix.empty()) text += "  fix: " + finding.fix + '\n';
  }
  text += std::to_string(usable) + " of " + std::to_string(findings.size()) + " drive nodes can be used.\n";
  return text;
}

}  // namespace quillonhost
