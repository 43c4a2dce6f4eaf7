#pragma once
// The CD write speed a host asks for as a speed factor ("8x"), in the kB/s
// that SET CD SPEED takes: 1x is 176000 bytes per second, 171.875 kB/s.

#include <cstdint>
#include <optional>

namespace scrivo {

// SET CD SPEED's "as fast as the drive can".
constexpr std::uint16_t kCdSpeedMaximum = 0xFFFF;

// Nothing for 0 (no speed asked: nothing is sent) and for negative factors.
// Factors above 381 exceed the 16-bit field and ask for the maximum.
constexpr std::optional<std::uint16_t> CdWriteSpeedFromFactor(std::int16_t factor) {
  if (factor <= 0) return std::nullopt;
  const std::int64_t kbps = std::int64_t{factor} * 176000 / 1024;
  return kbps > kCdSpeedMaximum ? kCdSpeedMaximum : static_cast<std::uint16_t>(kbps);
}

// DVD 1x: 1,385,000 bytes per second, in the kB/s (1000 bytes) that SET
// STREAMING and GET PERFORMANCE use.
constexpr std::uint32_t kDvdSpeedFactorKbps = 1385;

}  // namespace scrivo
