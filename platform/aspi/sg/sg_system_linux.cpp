#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/aspi/sg/sg_system.h"

namespace wnaspi::sg {
namespace {

class LinuxSystem final : public SgSystem {
 public:
  std::filesystem::path SysfsRoot() const override { return "/sys"; }
  std::filesystem::path DeviceRoot() const override { return "/dev"; }

  int Open(const std::string& path) override {
    // O_NONBLOCK: opening must not wait for a disc (sr driver, cdrom.c).
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
  }

  int OpenExclusive(const std::string& path) override {
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_EXCL);
    return fd >= 0 ? fd : -errno;
  }

  int SgIo(int handle, sg_io_hdr_t& header) override {
    while (::ioctl(handle, SG_IO, &header) != 0) {
      if (errno != EINTR) return -errno;
    }
    return 0;
  }

  void Close(int handle) override { ::close(handle); }

  void SleepMs(unsigned milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }

  std::string GroupOwning(const std::string& path) override {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    const group* entry = ::getgrgid(info.st_gid);
    return entry && entry->gr_name ? entry->gr_name : std::string();
  }

  std::string MountTable() override {
    std::ifstream in("/proc/self/mountinfo");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

}  // namespace

std::shared_ptr<SgSystem> LinuxSgSystem() { return std::make_shared<LinuxSystem>(); }

}  // namespace wnaspi::sg
