#include "platform/aspi/virtual/medium.h"

#include <array>

namespace wnaspi::vdrive {
namespace {

// Speeds in kB/s: CD 1x = 176.4 kB/s (48x = 8467), DVD 1x = 1385 kB/s.
constexpr std::array<std::uint16_t, 5> kCdRSpeeds{8467, 7056, 5645, 4234, 2822};
constexpr std::array<std::uint16_t, 4> kCdRwSpeeds{4234, 2822, 1764, 706};
constexpr std::array<std::uint16_t, 3> kDvdRSpeeds{22160, 11080, 5540};
constexpr std::array<std::uint16_t, 3> kDvdMinusRwSpeeds{8310, 5540, 2770};
constexpr std::array<std::uint16_t, 2> kDvdPlusRwSpeeds{11080, 5540};
// BD 1x = 4495 kB/s.
constexpr std::array<std::uint16_t, 2> kBdSpeeds{26970, 8990};
constexpr std::uint16_t kCdReadSpeed = 8467;
constexpr std::uint16_t kDvdReadSpeed = 22160;

constexpr std::array<MediumTraits, 9> kTraits{{
    {"cd-r", profile::kCdR, kCdCapacity, true, false, false, false, false, kCdRSpeeds,
     kCdReadSpeed},
    {"cd-rw", profile::kCdRw, kCdCapacity, true, true, false, false, true, kCdRwSpeeds,
     kCdReadSpeed},
    {"dvd-r", profile::kDvdMinusRSequential, kDvdCapacity, false, false, false, true, false,
     kDvdRSpeeds, kDvdReadSpeed},
    {"dvd-rw", profile::kDvdMinusRwSequential, kDvdCapacity, false, true, false, true, true,
     kDvdMinusRwSpeeds, kDvdReadSpeed},
    {"dvd+r", profile::kDvdPlusR, kDvdCapacity, false, false, false, true, false, kDvdRSpeeds,
     kDvdReadSpeed},
    {"dvd+rw", profile::kDvdPlusRw, kDvdCapacity, false, true, true, false, false,
     kDvdPlusRwSpeeds, kDvdReadSpeed},
    {"dvd-rw-ro", profile::kDvdMinusRwRestrictedOverwrite, kDvdCapacity, false, false, true, false, false,
     kDvdMinusRwSpeeds, kDvdReadSpeed},
    {"bd-r", profile::kBdRSequential, kBdCapacity, false, false, false, true, false, kBdSpeeds, kBdSpeeds[0]},
    {"bd-re", profile::kBdRe, kBdCapacity, false, true, true, false, false, kBdSpeeds, kBdSpeeds[0]},
}};

}  // namespace

const MediumTraits& Traits(Medium medium) { return kTraits[static_cast<std::size_t>(medium)]; }

std::optional<Medium> MediumFromName(std::string_view name) {
  for (std::size_t i = 0; i < kTraits.size(); ++i) {
    if (kTraits[i].name == name) return static_cast<Medium>(i);
  }
  return std::nullopt;
}

}  // namespace wnaspi::vdrive
