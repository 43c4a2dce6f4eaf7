#pragma once
// Typed fields of ECMA-119 structures. Each type holds the field's bytes in
// disc order, so a structure built from them has the exact on-disc layout,
// and each has exactly one setter that writes the whole field from one value.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/bytes/byte_order.h"

namespace scrivo::ecma119 {

// ECMA-119 7.3.3: 32-bit value, little-endian half then big-endian half.
class BothEndian32 {
 public:
  constexpr void Set(std::uint32_t value) { bytes::PutBoth32(bytes_.data(), value); }
  // The little-endian half is the one readers trust.
  constexpr std::uint32_t Value() const { return bytes::GetLE32(bytes_.data()); }

 private:
  std::array<std::uint8_t, 8> bytes_{};
};

// ECMA-119 7.2.3: 16-bit value in both byte orders.
class BothEndian16 {
 public:
  constexpr void Set(std::uint16_t value) { bytes::PutBoth16(bytes_.data(), value); }
  constexpr std::uint16_t Value() const { return bytes::GetLE16(bytes_.data()); }

 private:
  std::array<std::uint8_t, 4> bytes_{};
};

// ECMA-119 7.3.1 / 7.3.2: single byte-order 32-bit fields of the path table
// locations and of type L / type M path table records.
class LittleEndian32 {
 public:
  constexpr void Set(std::uint32_t value) { bytes::PutLE32(bytes_.data(), value); }
  constexpr std::uint32_t Value() const { return bytes::GetLE32(bytes_.data()); }

 private:
  std::array<std::uint8_t, 4> bytes_{};
};

class BigEndian32 {
 public:
  constexpr void Set(std::uint32_t value) { bytes::PutBE32(bytes_.data(), value); }
  constexpr std::uint32_t Value() const { return bytes::GetBE32(bytes_.data()); }

 private:
  std::array<std::uint8_t, 4> bytes_{};
};

// ECMA-119 7.2.1 / 7.2.2.
class LittleEndian16 {
 public:
  constexpr void Set(std::uint16_t value) { bytes::PutLE16(bytes_.data(), value); }
  constexpr std::uint16_t Value() const { return bytes::GetLE16(bytes_.data()); }

 private:
  std::array<std::uint8_t, 2> bytes_{};
};

class BigEndian16 {
 public:
  constexpr void Set(std::uint16_t value) { bytes::PutBE16(bytes_.data(), value); }
  constexpr std::uint16_t Value() const { return bytes::GetBE16(bytes_.data()); }

 private:
  std::array<std::uint8_t, 2> bytes_{};
};

static_assert(sizeof(BothEndian32) == 8 && sizeof(BothEndian16) == 4);
static_assert(sizeof(LittleEndian32) == 4 && sizeof(BigEndian32) == 4);
static_assert(sizeof(LittleEndian16) == 2 && sizeof(BigEndian16) == 2);

// A fixed-length text field (a- or d-characters, or UCS-2 big-endian units).
template <std::size_t N>
using TextField = std::array<std::uint8_t, N>;

template <std::size_t N>
constexpr TextField<N> FilledWith(std::uint8_t byte) {
  TextField<N> field{};
  field.fill(byte);
  return field;
}

// Copies `text` to the start of `field`, at most N bytes; the rest is kept.
template <std::size_t N>
void WriteText(TextField<N>& field, std::string_view text) {
  std::memcpy(field.data(), text.data(), text.size() < N ? text.size() : N);
}

}  // namespace scrivo::ecma119
