#pragma once
// Reading the reply of a GET CONFIGURATION with RT = 10b: the 8-byte feature
// header (Data Length in bytes 0-3), then the named feature's descriptor,
// if the drive has it (feature code in bytes 8-9, Current in byte 10 bit 0).

#include <cstdint>
#include <span>

#include "platform/bytes/byte_order.h"

namespace scrivo {

// True when the reply holds more than the header and its descriptor names
// the feature asked for (compared on the feature code's low byte).
inline bool FeatureListed(std::span<const std::uint8_t> reply, std::uint16_t feature) {
  if (reply.size() < 11) return false;
  return bytes::GetBE32(reply.data()) > 4 && reply[9] == (feature & 0xFF);
}

// The listed feature is active for the loaded medium.
inline bool FeatureCurrent(std::span<const std::uint8_t> reply) {
  return reply.size() >= 11 && (reply[10] & 0x01) != 0;
}

}  // namespace scrivo
