#pragma once
// What the SG_IO backend needs from the operating system, behind one small
// interface so tests can put a fake machine in its place (a sysfs tree in a
// temporary directory and scripted SG_IO answers).

#include <scsi/sg.h>

#include <filesystem>
#include <memory>
#include <string>

namespace wnaspi::sg {

class SgSystem {
 public:
  virtual ~SgSystem() = default;
  // Root of the sysfs tree ("/sys") and of the device nodes ("/dev").
  virtual std::filesystem::path SysfsRoot() const = 0;
  virtual std::filesystem::path DeviceRoot() const = 0;
  // open(2) of a device node for reading and writing: a handle >= 0, or
  // -errno.
  virtual int Open(const std::string& path) = 0;
  // The same, exclusively (O_EXCL): -EBUSY while another program has the
  // drive open exclusively (another burner's job) or mounted.
  virtual int OpenExclusive(const std::string& path) = 0;
  // ioctl(SG_IO): 0, or -errno when the request could not be submitted.
  virtual int SgIo(int handle, sg_io_hdr_t& header) = 0;
  virtual void Close(int handle) = 0;
  virtual void SleepMs(unsigned milliseconds) = 0;
  // Name of the group owning a device node, for the permission hint; empty
  // when unknown.
  virtual std::string GroupOwning(const std::string& path) = 0;
  // The process's mount table in the format of /proc/self/mountinfo, to
  // tell a mounted disc from another program's hold; empty when unreadable.
  virtual std::string MountTable() = 0;
};

// The machine itself.
std::shared_ptr<SgSystem> LinuxSgSystem();

}  // namespace wnaspi::sg
