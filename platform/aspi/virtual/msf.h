#pragma once
// CD addresses as minutes, seconds and frames (75 frames a second). An
// absolute time counts from the start of the program area's pre-gap, so a
// logical block address is 150 frames (2 seconds) less than its time
// (MMC, "Logical Block Address to MSF conversion").

#include <cstdint>

namespace wnaspi::vdrive {

struct Msf {
  std::uint8_t minute = 0, second = 0, frame = 0;
};

constexpr std::uint32_t kFramesPerSecond = 75;
constexpr std::uint32_t kFramesPerMinute = 60 * kFramesPerSecond;
constexpr std::uint32_t kMsfOffset = 150;

// The time whose plain frame count, (M × 60 + S) × 75 + F, is the value.
constexpr Msf FramesToMsf(std::uint32_t frames) {
  return {static_cast<std::uint8_t>(frames / kFramesPerMinute),
          static_cast<std::uint8_t>(frames / kFramesPerSecond % 60),
          static_cast<std::uint8_t>(frames % kFramesPerSecond)};
}

constexpr std::uint32_t MsfToFrames(Msf msf) {
  return (msf.minute * 60u + msf.second) * kFramesPerSecond + msf.frame;
}

// The absolute time of a logical block address.
constexpr Msf LbaToMsf(std::uint32_t lba) { return FramesToMsf(lba + kMsfOffset); }

static_assert(MsfToFrames(FramesToMsf(56606)) == 56606);
static_assert(LbaToMsf(0).second == 2 && LbaToMsf(0).frame == 0);

}  // namespace wnaspi::vdrive
