#pragma once
// The DVD features the engine asks a writer about with GET CONFIGURATION, and
// the 16-bit word it keeps for the selected writer: per feature one bit that
// the drive lists it and one bit that it is Current, i.e. active for the
// loaded medium (MMC, Feature Descriptor byte 2 bit 0).

#include <array>
#include <cstdint>

namespace scrivo {

using FeatureFlags = std::uint16_t;

// MMC feature numbers.
constexpr std::uint16_t kFeatureDvdRead = 0x1F;
constexpr std::uint16_t kFeatureDvdPlusRw = 0x2A;
constexpr std::uint16_t kFeatureDvdPlusR = 0x2B;
constexpr std::uint16_t kFeatureDvdMinusRWrite = 0x2F;  // DVD-R/-RW Write

struct QueriedFeature {
  std::uint16_t feature;
  FeatureFlags presentBit;
  FeatureFlags currentBit;
};

// In the order the writer is asked.
constexpr std::array<QueriedFeature, 4> kQueriedFeatures{{
    {kFeatureDvdRead, 0x0001, 0x0100},
    {kFeatureDvdPlusRw, 0x0004, 0x0400},
    {kFeatureDvdPlusR, 0x0008, 0x0800},
    {kFeatureDvdMinusRWrite, 0x0010, 0x1000},
}};

constexpr FeatureFlags kDvdReadPresent = 0x0001;
// A DVD burn needs one of the writable DVD features current.
constexpr FeatureFlags kDvdWritableCurrentMask = 0x1C00;
// DVD-R/-RW: the burn reserves its track and writes with track mode 5.
constexpr FeatureFlags kDvdMinusRWriteCurrent = 0x1000;
// DVD+R: the burn closes its track and session and finalises the disc.
constexpr FeatureFlags kDvdPlusRCurrent = 0x0800;
// DVD+RW: one session over the whole disc, never closed by a burn.
constexpr FeatureFlags kDvdPlusRwCurrent = 0x0400;

}  // namespace scrivo
