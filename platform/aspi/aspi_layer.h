#pragma once
// The ASPI layer of one process: its host adapters with the devices on them,
// and the handling of the three request blocks. Host adapter 0 holds the
// virtual writers (targets 0, 1, ... in the order configured, LUN 0); the
// machine's drives follow on adapters 1, 2, ... (sg/sg_discovery.h). Every
// request completes before SendASPI32Command returns; SRB_PostProc is never
// used.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/aspi/config.h"
#include "platform/aspi/scsi_request.h"
#include "platform/aspi/sg/sg_system.h"
#include "platform/aspi/trace.h"
#include "platform/aspi/wnaspi32.h"

namespace wnaspi {

class AspiLayer {
 public:
  // `sg` null: no real drives.
  AspiLayer(const Config& config, std::shared_ptr<sg::SgSystem> sg);
  ~AspiLayer();
  AspiLayer(const AspiLayer&) = delete;
  AspiLayer& operator=(const AspiLayer&) = delete;

  std::uint32_t SupportInfo() const;
  std::uint32_t Send(void* srb);

  std::size_t adapterCount() const { return adapters_.size(); }
  // The note of the device at an address (ScsiDevice::Note); empty when
  // there is none, or no device.
  std::string DeviceNote(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun) const;

 private:
  static constexpr std::size_t kTargets = 8, kLuns = 8;
  struct Adapter {
    std::string identifier;  // HA_Identifier
    std::array<std::unique_ptr<ScsiDevice>, kTargets * kLuns> devices;
  };

  // The drives `sg` finds in its sysfs, as host adapters after those there are.
  void AddRealDrives(std::shared_ptr<sg::SgSystem> sg);
  void HostAdapterInquiry(SRB_HAInquiry& srb);
  void DeviceType(SRB_GDEVBlock& srb);
  void Execute(SRB_ExecSCSICmd& srb);
  ScsiDevice* DeviceAt(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun) const;

  std::unique_ptr<Log> log_;  // outlives the devices, which log through it
  std::vector<Adapter> adapters_;
};

}  // namespace wnaspi
