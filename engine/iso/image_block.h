#pragma once
// The logical block of the image (ECMA-119 6.1.2: 2048 bytes here) and the
// copying of ECMA-119 structures into and out of blocks.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace scrivo {

constexpr std::size_t kBlockSize = 2048;
using ImageBlock = std::array<std::uint8_t, kBlockSize>;

// Blocks needed for `bytes` bytes: 0 gives 0, 1 to 2048 give 1, 2049 gives 2.
constexpr std::uint32_t BlocksFor(std::uint64_t bytes) {
  return static_cast<std::uint32_t>((bytes + kBlockSize - 1) / kBlockSize);
}

template <class T>
T LoadFrom(const std::uint8_t* at) {
  static_assert(std::is_trivially_copyable_v<T>);
  T value;
  std::memcpy(&value, at, sizeof(T));
  return value;
}

template <class T>
void StoreAt(std::uint8_t* at, const T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  std::memcpy(at, &value, sizeof(T));
}

}  // namespace scrivo
