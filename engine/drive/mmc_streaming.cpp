// DVD write speed: the fastest write speed the drive offers for the loaded
// medium (GET PERFORMANCE, write speed descriptors) requested for the whole
// recording with SET STREAMING.

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

// The last descriptor received: drives list their write speeds so that the
// last one is the fastest. Nothing when the reply holds no descriptor.
std::optional<SpeedPair> LastSpeedDescriptor(std::span<const std::uint8_t> reply) {
  // Performance Data Length counts the bytes after itself: 4 more of header.
  const std::uint32_t dataLength = bytes::GetBE32(reply.data());
  const std::uint32_t count = dataLength >= 4 ? (dataLength - 4) / kSpeedDescriptorLength : 0;
  if (count == 0) return std::nullopt;
  const std::size_t last = std::min<std::uint32_t>(count, kMaxSpeedDescriptors) - 1;
  const std::uint8_t* d = reply.data() + kPerformanceHeader + last * kSpeedDescriptorLength;
  return SpeedPair{bytes::GetBE32(d + kReadSpeedOffset), bytes::GetBE32(d + kWriteSpeedOffset)};
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
  if (!Issue(GetPerformanceCdb(kMaxSpeedDescriptors, kPerformanceWriteSpeed), reply,
             kFlagsDataIn)) {
    return false;
  }
  const auto speed = LastSpeedDescriptor(reply);
  if (!speed) return false;
  auto descriptor = StreamingDescriptor(static_cast<std::uint32_t>(endLba), *speed);
  return Issue(SetStreamingCdb(kStreamingDescriptorLength), descriptor, kFlagsDataOut);
}

}  // namespace scrivo
