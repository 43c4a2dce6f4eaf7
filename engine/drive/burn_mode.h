#pragma once
#include <cstdint>

namespace scrivo {

// What a burn records: the value travels from the control's burn members
// through the burn job to the drive.
enum class BurnMode : std::uint32_t {
  CdSingleSession = 1,  // the session closes the disc
  CdMultiSession = 3,   // the disc stays appendable
  Dvd = 16,
};

}  // namespace scrivo
