#pragma once
#include <cstdint>

namespace scrivo {

// Host adapter, target and LUN of a drive; 255/255/255 selects no device.
struct DeviceAddress {
  std::uint8_t hostAdapter = 255;
  std::uint8_t target = 255;
  std::uint8_t lun = 255;
  friend bool operator==(const DeviceAddress&, const DeviceAddress&) = default;
};

constexpr DeviceAddress kNoDevice{255, 255, 255};

}  // namespace scrivo
