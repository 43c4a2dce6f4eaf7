#include "engine/drive/full_toc.h"

#include <map>

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

namespace {

constexpr std::int32_t kAbsoluteTimeOffset = 150;

std::int32_t PointTime(const std::uint8_t* d) {
  return (d[FullToc::kPMin] * 60 + d[FullToc::kPSec]) * 75 + d[FullToc::kPFrame] - kAbsoluteTimeOffset;
}

}  // namespace

std::vector<TocSession> FullToc::Sessions() const {
  struct Found {
    std::optional<std::uint8_t> firstTrack;
    std::map<std::uint8_t, std::int32_t> trackStarts;
    std::optional<std::int32_t> leadOut;
  };
  std::map<std::uint8_t, Found> found;
  for (std::size_t i = 0; i < DescriptorCount(); ++i) {
    const std::uint8_t* d = descriptors.data() + i * kDescriptorSize;
    if (d[kSession] == 0 || d[kSession] > lastCompleteSession) continue;
    Found& session = found[d[kSession]];
    if (d[kPoint] == kPointFirstTrack) session.firstTrack = d[kPMin];
    if (d[kPoint] == kPointLeadOut) session.leadOut = PointTime(d);
    if (d[kPoint] >= 1 && d[kPoint] <= kPointLastTrackNumber) session.trackStarts[d[kPoint]] = PointTime(d);
  }
  std::vector<TocSession> sessions;
  for (const auto& [number, session] : found) {
    if (!session.firstTrack || !session.leadOut) continue;
    const auto start = session.trackStarts.find(*session.firstTrack);
    if (start == session.trackStarts.end()) continue;
    sessions.push_back({number, start->second, *session.leadOut});
  }
  return sessions;
}

std::optional<std::int32_t> FullToc::LastLeadOutStart() const {
  std::optional<std::int32_t> start;
  for (std::size_t i = 0; i < DescriptorCount(); ++i) {
    const std::uint8_t* d = descriptors.data() + i * kDescriptorSize;
    if (d[kSession] != lastCompleteSession || d[kPoint] != kPointLeadOut) continue;
    start = PointTime(d);
  }
  return start;
}

}  // namespace scrivo
