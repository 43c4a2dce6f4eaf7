#pragma once
// A machine whose optical drives are virtual writers: a sysfs tree made in a
// temporary directory lists them as sr0, sr1, … (SCSI host 1, target N), and
// each SG_IO is answered by the virtual writer's command handler. With it
// the real-drive path (discovery in sysfs, the SG backend with its exclusive
// open, retries and sense handling) runs end to end against the drive model
// (WNASPI32_VIRTUAL_VIA_SG).

#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/aspi/scsi_request.h"
#include "platform/aspi/sg/sg_system.h"

namespace wnaspi::sg {

class ModelSgSystem final : public SgSystem {
 public:
  // `drives[i]` becomes sr<i> at kernel address 1:0:i:0; a null entry
  // leaves its target empty. The tree is removed with the object.
  explicit ModelSgSystem(std::vector<std::unique_ptr<ScsiDevice>> drives);
  ~ModelSgSystem() override;
  // Whether the sysfs tree could be made; without it no drive is found.
  bool ready() const { return !root_.empty(); }

  std::filesystem::path SysfsRoot() const override { return root_ / "sys"; }
  std::filesystem::path DeviceRoot() const override { return root_ / "dev"; }
  int Open(const std::string& path) override;
  int OpenExclusive(const std::string& path) override;
  int SgIo(int handle, sg_io_hdr_t& header) override;
  void Close(int handle) override;
  // The model's busy states count polls, not time: the backend's pauses
  // between retries cost nothing.
  void SleepMs(unsigned) override {}
  std::string GroupOwning(const std::string&) override { return "cdrom"; }
  // The model's discs are never mounted.
  std::string MountTable() override { return {}; }

 private:
  // The drive index of a node, or -1.
  int IndexOf(const std::string& path) const;

  std::filesystem::path root_;
  std::vector<std::unique_ptr<ScsiDevice>> drives_;
  std::mutex mutex_;
  std::vector<bool> exclusive_;  // held by an exclusive open
};

}  // namespace wnaspi::sg
