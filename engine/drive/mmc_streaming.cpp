// DVD write speed: the fastest write speed the drive offers for the loaded
// medium (GET PERFORMANCE, write speed descriptors), or the fastest not
// above the one the host chose, requested for the whole recording with SET
// STREAMING. The speed is best effort: a drive that lists
// no speed, or refuses the request, records at a speed of its own choosing.

#include <algorithm>
#include <array>
#include <optional>

#include "engine/drive/mmc_core.h"
#include "platform/bytes/byte_order.h"

namespace scrivo {
namespace {

constexpr std::uint16_t kMaxSpeedDescriptors = 20;
constexpr std::size_t kPerformanceHeader = 8;
constexpr std::size_t kSpeedDescriptorLength = 16;
constexpr std::size_t kPerformanceReplyLength =
    kPerformanceHeader + kMaxSpeedDescriptors * kSpeedDescriptorLength;  // 328
// Write speed descriptor (MMC, GET PERFORMANCE type 03h): speeds in kB/s.
constexpr std::size_t kReadSpeedOffset = 8;
constexpr std::size_t kWriteSpeedOffset = 12;

constexpr std::uint16_t kStreamingDescriptorLength = 28;
// Sizes are kB per Time ms: a second's worth at the chosen speed.
constexpr std::uint32_t kStreamingTimeMs = 1000;

struct SpeedPair {
  std::uint32_t readKbps;
  std::uint32_t writeKbps;
};

// The descriptor to ask for: the one with the highest write speed, or with
// `ceilingKbps` the highest not above it (the slowest when every one is).
// Drives list the fastest first, but the order is not promised, so every
// descriptor received is looked at. Nothing when the reply holds none.
std::optional<SpeedPair> ChosenSpeedDescriptor(std::span<const std::uint8_t> reply, std::uint32_t ceilingKbps) {
  // Performance Data Length counts the bytes after itself: 4 more of header.
  const std::uint32_t dataLength = bytes::GetBE32(reply.data());
  const std::uint32_t count = dataLength >= 4 ? (dataLength - 4) / kSpeedDescriptorLength : 0;
  const auto allowed = [ceilingKbps](const SpeedPair& speed) {
    return ceilingKbps == 0 || speed.writeKbps <= ceilingKbps;
  };
  std::optional<SpeedPair> chosen;
  std::optional<SpeedPair> slowest;
  for (std::size_t i = 0; i < std::min<std::uint32_t>(count, kMaxSpeedDescriptors); ++i) {
    const std::uint8_t* d = reply.data() + kPerformanceHeader + i * kSpeedDescriptorLength;
    const SpeedPair speed{bytes::GetBE32(d + kReadSpeedOffset), bytes::GetBE32(d + kWriteSpeedOffset)};
    if (allowed(speed) && (!chosen || speed.writeKbps > chosen->writeKbps)) chosen = speed;
    if (!slowest || speed.writeKbps < slowest->writeKbps) slowest = speed;
  }
  return chosen ? chosen : slowest;
}

// Performance descriptor of SET STREAMING (MMC): WRC, RDD, Exact and RA 0,
// from LBA 0 to endLba.
std::array<std::uint8_t, kStreamingDescriptorLength> StreamingDescriptor(std::uint32_t endLba,
                                                                          SpeedPair speed) {
  std::array<std::uint8_t, kStreamingDescriptorLength> d{};
  bytes::PutBE32(d.data() + 4, 0);
  bytes::PutBE32(d.data() + 8, endLba);
  bytes::PutBE32(d.data() + 12, speed.readKbps);
  bytes::PutBE32(d.data() + 16, kStreamingTimeMs);
  bytes::PutBE32(d.data() + 20, speed.writeKbps);
  bytes::PutBE32(d.data() + 24, kStreamingTimeMs);
  return d;
}

}  // namespace

bool MmcCore::SetStreaming(std::int32_t endLba) {
  std::array<std::uint8_t, kPerformanceReplyLength> reply{};
  if (!WaitUntilReady(kStreamingSetupWait)) return false;
  // A refused GET PERFORMANCE, a reply without descriptors and a refused
  // SET STREAMING leave the drive at its own speed: the burn goes on.
  // A speed the host chose is asked for even when the drive lists none: it
  // takes the nearest it can or refuses.
  std::optional<SpeedPair> speed;
  if (Issue(GetPerformanceCdb(kMaxSpeedDescriptors, kPerformanceWriteSpeed), reply, kFlagsDataIn)) {
    speed = ChosenSpeedDescriptor(reply, dvdWriteKbps);
  }
  if (!speed && dvdWriteKbps != 0) speed = SpeedPair{dvdWriteKbps, dvdWriteKbps};
  if (!speed) return true;
  auto descriptor = StreamingDescriptor(static_cast<std::uint32_t>(endLba), *speed);
  Issue(SetStreamingCdb(kStreamingDescriptorLength), descriptor, kFlagsDataOut);
  return true;
}

}  // namespace scrivo
