#pragma once
#include <cstdint>

namespace scrivo {

// The state of the loaded disc, from byte 2 of the READ DISC INFORMATION
// reply (Disc Status in bits 1-0, Erasable in bit 4).
struct DiscInfo {
  std::int32_t blank = 0;     // disc status 00b, empty
  std::int32_t closed = 0;    // disc status 10b, complete: no session can be added
  std::int32_t erasable = 0;  // rewritable medium
};

}  // namespace scrivo
