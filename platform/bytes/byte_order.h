#pragma once
// Byte-order helpers for on-disc (ECMA-119) and on-wire (MMC) structures.
// MMC fields are big-endian; ECMA-119 uses little-endian, big-endian and
// "both-byte-order" fields (7.2.3 and 7.3.3: little-endian half first, then
// the big-endian half of the same value).

#include <bit>
#include <cstddef>
#include <cstdint>

namespace bytes {

constexpr std::uint16_t Swap16(std::uint16_t v) {
  return static_cast<std::uint16_t>((v >> 8) | (v << 8));
}

constexpr std::uint32_t Swap32(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

// Host order <-> big-endian. The same function converts both ways.
constexpr std::uint16_t HostToBig16(std::uint16_t v) {
  return std::endian::native == std::endian::little ? Swap16(v) : v;
}
constexpr std::uint32_t HostToBig32(std::uint32_t v) {
  return std::endian::native == std::endian::little ? Swap32(v) : v;
}

constexpr void PutBE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
constexpr void PutBE24(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 16);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v);
}
constexpr void PutBE32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}
constexpr void PutLE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
constexpr void PutLE32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

constexpr std::uint16_t GetBE16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
constexpr std::uint32_t GetBE24(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}
constexpr std::uint32_t GetBE32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
constexpr std::uint16_t GetLE16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
constexpr std::uint32_t GetLE32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

// Both-byte-order fields: the one writer fills both halves from one value, so
// no caller can set one half and forget the other.
constexpr void PutBoth16(std::uint8_t* p, std::uint16_t v) {
  PutLE16(p, v);
  PutBE16(p + 2, v);
}
constexpr void PutBoth32(std::uint8_t* p, std::uint32_t v) {
  PutLE32(p, v);
  PutBE32(p + 4, v);
}

// Reading a both-byte-order field. Readers trust the little-endian half (some
// mastering programs get the big half wrong) and can report a mismatch.
struct BothRead32 {
  std::uint32_t value;  // the little-endian half
  bool consistent;      // both halves agree
};
constexpr BothRead32 GetBoth32(const std::uint8_t* p) {
  return {GetLE32(p), GetLE32(p) == GetBE32(p + 4)};
}
struct BothRead16 {
  std::uint16_t value;
  bool consistent;
};
constexpr BothRead16 GetBoth16(const std::uint8_t* p) {
  return {GetLE16(p), GetLE16(p) == GetBE16(p + 2)};
}

}  // namespace bytes
