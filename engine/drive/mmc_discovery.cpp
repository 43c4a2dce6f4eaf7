// The writer scan: every host adapter the ASPI layer reports, targets 0-7,
// LUNs 0-7. An address holds a writer when a device answers there and its
// capabilities page reports a maximum write speed.

#include <algorithm>
#include <array>

#include "engine/drive/mmc_core.h"
#include "platform/bytes/byte_order.h"

namespace scrivo {
namespace {

constexpr std::uint8_t kTargets = 8;
constexpr std::uint8_t kLuns = 8;
// Maximum Write Speed, capabilities page bytes 18-19 behind the 8-byte header.
constexpr std::size_t kMaxWriteSpeedOffset = 26;

// Puts the current device address back when a scan ends, so that a count
// or a failed look-up leaves the selected writer addressed.
class DeviceAddressKeeper {
 public:
  explicit DeviceAddressKeeper(MmcCore& core) : core_(core), saved_(core.CurrentDevice()) {}
  ~DeviceAddressKeeper() {
    if (restore_) core_.SetDevice(saved_.hostAdapter, saved_.target, saved_.lun);
  }
  DeviceAddressKeeper(const DeviceAddressKeeper&) = delete;
  DeviceAddressKeeper& operator=(const DeviceAddressKeeper&) = delete;
  void Keep() { restore_ = false; }

 private:
  MmcCore& core_;
  DeviceAddress saved_;
  bool restore_ = true;
};

}  // namespace

bool MmcCore::IsWriterAt(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun) {
  SetDevice(hostAdapter, target, lun);
  std::uint8_t deviceType = 0;
  if (!GetDeviceType(deviceType)) return false;  // nothing answers here
  SetDevice(hostAdapter, target, lun);
  std::array<std::uint8_t, 30> page{};
  if (!SenseCapabilities(page)) return false;
  return bytes::GetBE16(page.data() + kMaxWriteSpeedOffset) != 0;
}

template <typename Visitor>
std::int32_t MmcCore::ScanWriters(Visitor&& visitor) {
  std::array<std::uint8_t, 50> adapterInfo{};
  if (!HostAdapterInquiry(adapterInfo)) return 0;
  const std::uint8_t adapterCount = adapterInfo[0];  // HA_Count
  std::int32_t found = 0;
  for (std::uint8_t ha = 0; ha < adapterCount; ++ha) {
    SetDevice(ha, 0, 0);
    if (!HostAdapterInquiry(adapterInfo)) continue;
    for (std::uint8_t target = 0; target < kTargets; ++target) {
      for (std::uint8_t lun = 0; lun < kLuns; ++lun) {
        if (!IsWriterAt(ha, target, lun)) continue;
        if (visitor(found, DeviceAddress{ha, target, lun})) return found + 1;
        ++found;
      }
    }
  }
  return found;
}

std::int32_t MmcCore::CountWriters() {
  DeviceAddressKeeper keeper(*this);
  return ScanWriters([](std::int32_t, DeviceAddress) { return false; });
}

bool MmcCore::RescanBus() {
  if (!sendCommand_) return false;
  SRB_Header rescan{};
  rescan.SRB_Cmd = SC_RESCAN_SCSI_BUS;
  sendCommand_(&rescan);
  return rescan.SRB_Status == SS_COMP;
}

bool MmcCore::GetWriter(std::int32_t index, WriterEntry& entry) {
  DeviceAddressKeeper keeper(*this);
  bool found = false;
  ScanWriters([&](std::int32_t position, DeviceAddress address) {
    if (position != index) return false;
    WriterEntry writer{address.hostAdapter, address.target, address.lun, {}};
    // A writer whose INQUIRY fails keeps an empty description.
    Inquiry(address.hostAdapter, address.target, address.lun, writer.description.data());
    entry = writer;
    found = true;
    return true;
  });
  if (found) {
    SetDevice(entry.hostAdapter, entry.target, entry.lun);
    keeper.Keep();
  }
  return found;
}

}  // namespace scrivo
