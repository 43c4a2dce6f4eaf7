#include "engine/drive/device_snapshot.h"

#include "engine/drive/mmc_core.h"

namespace scrivo {
namespace {

// Keeps the low 16 bits, as the control's caches always have.
std::int16_t Cache16(std::int32_t value) { return static_cast<std::int16_t>(value); }

}  // namespace

void RefreshDeviceInfo(MmcCore& drive, DeviceSnapshot& snapshot) {
  DriveCapabilities capabilities;
  if (!drive.GetCapabilities(capabilities)) return;
  snapshot.cdrWrite = Cache16(capabilities.cdrWrite);
  snapshot.cdrwWrite = Cache16(capabilities.cdrwWrite);
  snapshot.multiSession = Cache16(capabilities.multiSession);
  snapshot.maxReadSpeed = Cache16(capabilities.maxReadSpeed);
  snapshot.maxWriteSpeed = Cache16(capabilities.maxWriteSpeed);
  snapshot.featureFlags = static_cast<FeatureFlags>(capabilities.featureFlags);

  DiscInfo disc;
  if (!drive.GetDiscInfo(disc)) return;  // no disc: the disc part stays
  snapshot.blank = Cache16(disc.blank);
  snapshot.closed = Cache16(disc.closed);
  snapshot.erasable = Cache16(disc.erasable);
}

}  // namespace scrivo
