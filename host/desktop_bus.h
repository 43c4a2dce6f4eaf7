#pragma once
// What a burner asks of the desktop over the system bus: that the machine
// neither sleeps nor shuts down while a job works on a disc (systemd-logind's
// inhibitor lock), and that UDisks2 unmounts a disc the system mounted before
// a job writes to it. Both are courtesies: without a system bus, logind or
// UDisks2 the jobs run as before, and the debug channel says why.

#include <optional>
#include <string>
#include <string_view>

namespace quillonhost {

// A held "sleep:shutdown" block lock of logind; released when destroyed,
// whichever way the job ended.
class SleepInhibitor {
 public:
  SleepInhibitor() = default;
  ~SleepInhibitor() { Release(); }
  SleepInhibitor(SleepInhibitor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  SleepInhibitor& operator=(SleepInhibitor&& other) noexcept;
  SleepInhibitor(const SleepInhibitor&) = delete;
  SleepInhibitor& operator=(const SleepInhibitor&) = delete;

  // Asks logind for the lock: `who` is the program, `why` names the job
  // ("Burning a DVD"). An empty inhibitor when logind cannot be asked.
  static SleepInhibitor Take(std::string_view who, std::string_view why);

  bool held() const { return fd_ >= 0; }
  void Release();

 private:
  explicit SleepInhibitor(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// The lock's reason for each job: "Burning a CD", "Erasing a disc", ...
enum class DiscJob { BurnCd, BurnDvd, BurnImage, Erase, Format, Close };
std::string InhibitReason(DiscJob job);

// A mounted disc as the ASPI layer's note names it ("the disc in /dev/sr0 is
// mounted at /media/...; unmount it first: udisksctl unmount -b /dev/sr0").
struct MountedDisc {
  std::string device;      // the block device, /dev/sr0
  std::string mountPoint;  // where it is mounted; empty when the note does not say
};
std::optional<MountedDisc> MountedDiscFromNote(std::string_view note);

// Whether UDisks2 answers on the system bus (running, or started on demand).
bool UdisksAvailable();
// Has UDisks2 unmount the filesystem on `device`; empty on success, else
// why not (the service's own error text).
std::string UnmountWithUdisks(const std::string& device);

}  // namespace quillonhost
