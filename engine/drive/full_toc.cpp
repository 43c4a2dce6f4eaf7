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

std::optional<std::int32_t> FullToc::LastLeadOutStart() const {
  constexpr std::int32_t kAbsoluteTimeOffset = 150;
  std::optional<std::int32_t> start;
  for (std::size_t i = 0; i < DescriptorCount(); ++i) {
    const std::uint8_t* d = descriptors.data() + i * kDescriptorSize;
    if (d[kSession] != lastCompleteSession || d[kPoint] != kPointLeadOut) continue;
    start = (d[kPMin] * 60 + d[kPSec]) * 75 + d[kPFrame] - kAbsoluteTimeOffset;
  }
  return start;
}

}  // namespace scrivo
