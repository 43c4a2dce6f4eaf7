#pragma once
// The ASPI layer of one process: its host adapters with the devices on them,
// and the handling of the request blocks. The machine's drives come first,
// on adapters 0, 1, ... (sg/sg_discovery.h); the virtual writers follow on
// the next adapter (targets 0, 1, ... in the order configured, LUN 0), the
// implied default writer only when the machine has no optical drive. A
// rescan (SC_RESCAN_SCSI_BUS) adds the drives plugged in since on adapters
// after those there are and drops the drives gone, so the writers that stay
// keep their addresses. Every request completes before SendASPI32Command
// returns; SRB_PostProc is never used.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
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

  std::size_t adapterCount() const;
  // The note of the device at an address (ScsiDevice::Note); empty when
  // there is none, or no device.
  std::string DeviceNote(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun) const;

 private:
  static constexpr std::size_t kTargets = 8, kLuns = 8;
  struct Adapter {
    std::string identifier;  // HA_Identifier
    std::array<std::shared_ptr<ScsiDevice>, kTargets * kLuns> devices;
  };
  struct Place {
    std::uint8_t hostAdapter, target, lun;
  };

  // The drives sg_ finds in its sysfs that the layer does not have yet, as
  // host adapters after those there are; returns how many drives sysfs
  // lists, usable or not. Called with mutex_ held.
  std::size_t AddRealDrives();
  void Rescan();
  void HostAdapterInquiry(SRB_HAInquiry& srb);
  void DeviceType(SRB_GDEVBlock& srb);
  void Execute(SRB_ExecSCSICmd& srb);
  // A request holds on to its device, so a rescan never pulls it away.
  std::shared_ptr<ScsiDevice> DeviceAt(std::uint8_t hostAdapter, std::uint8_t target,
                                       std::uint8_t lun) const;

  std::unique_ptr<Log> log_;  // outlives the devices, which log through it
  std::shared_ptr<sg::SgSystem> sg_;  // null: no real drives
  mutable std::mutex mutex_;          // adapters_ and realDrives_, not the requests
  std::vector<Adapter> adapters_;
  std::map<std::string, Place> realDrives_;  // device node -> where the layer has it
};

}  // namespace wnaspi
