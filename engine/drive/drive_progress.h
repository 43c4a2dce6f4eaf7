#pragma once
// The progress indication a drive reports while it runs an immediate-mode
// operation (SPC, sense-key specific bytes 16-17 of fixed-format sense data:
// 0 to 65535), as the per-mille value posted to the host.

#include <cstdint>
#include <functional>

namespace scrivo {

// Receives a long operation's progress in per mille.
using ProgressSink = std::function<void(std::uint32_t perMille)>;

constexpr std::uint32_t ProgressPerMille(std::uint32_t indication) {
  return indication * 1000 / 65535;
}

}  // namespace scrivo
