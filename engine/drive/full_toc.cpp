#include "engine/drive/full_toc.h"

namespace scrivo {

std::optional<std::int32_t> FullToc::NextSessionStart() const {
  std::optional<std::int32_t> start;
  for (std::size_t i = 0; i < DescriptorCount(); ++i) {
    const std::uint8_t* d = descriptors.data() + i * kDescriptorSize;
    if (d[kSession] != lastCompleteSession || d[kPoint] != kPointNextProgramArea) continue;
    start = (d[kMin] * 60 + d[kSec]) * 75 + d[kFrame];
  }
  return start;
}

}  // namespace scrivo
