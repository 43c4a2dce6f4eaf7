#pragma once
#include <array>
#include <cstdint>

namespace scrivo {

// One writer found by the scan.
struct WriterEntry {
  std::uint8_t hostAdapter = 0;
  std::uint8_t target = 0;
  std::uint8_t lun = 0;
  // 27 characters of INQUIRY data and a NUL; empty when the INQUIRY failed.
  std::array<char, 28> description{};
};

}  // namespace scrivo
