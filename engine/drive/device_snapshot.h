#pragma once
// What the control keeps about the selected writer and its disc: copies taken
// when the writer is selected, in 16-bit signed fields (so a speed above
// 32767 kB/s reads back negative, as hosts of the control have always seen).

#include <cstdint>

#include "engine/drive/feature_flags.h"

namespace scrivo {

class MmcCore;

struct DeviceSnapshot {
  // Capabilities.
  std::int16_t cdrWrite = 0;
  std::int16_t cdrwWrite = 0;
  std::int16_t multiSession = 0;
  std::int16_t maxReadSpeed = 0;
  std::int16_t maxWriteSpeed = 0;
  FeatureFlags featureFlags = 0;
  // The loaded disc.
  std::int16_t blank = 0;
  std::int16_t closed = 0;
  std::int16_t erasable = 0;
};

// Refreshes the snapshot from the current device: the capabilities, then the
// disc. A failed query keeps the old values of its part (and a failed
// capabilities query skips the disc).
void RefreshDeviceInfo(MmcCore& drive, DeviceSnapshot& snapshot);

}  // namespace scrivo
