#pragma once
#include <cstdint>

#include "engine/drive/feature_flags.h"

namespace scrivo {

// What the writer reports in its capabilities mode page (2Ah) and through
// GET CONFIGURATION. Speeds are kB/s, as reported.
struct DriveCapabilities {
  std::int32_t cdrWrite = 0;
  std::int32_t cdrwWrite = 0;
  std::int32_t multiSession = 0;
  std::int32_t maxReadSpeed = 0;
  std::int32_t maxWriteSpeed = 0;
  std::int32_t featureFlags = 0;  // a FeatureFlags word
};

}  // namespace scrivo
