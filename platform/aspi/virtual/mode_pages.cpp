#include "platform/aspi/virtual/mode_pages.h"

#include <algorithm>

#include "platform/bytes/byte_order.h"

namespace wnaspi::vdrive {
namespace {

// Write Parameters page bytes (MMC-5 7.5.4).
constexpr std::size_t kWriteTypeByte = 2;    // BUFE 6, LS_V 5, Test Write 4, Write Type 3-0
constexpr std::size_t kTrackModeByte = 3;    // Multi-session 7-6, FP 5, Copy 4, Track Mode 3-0
constexpr std::size_t kDataBlockByte = 4;    // Data Block Type 3-0
constexpr std::size_t kLinkSizeByte = 5;
constexpr std::size_t kAppCodeByte = 7;      // Initiator Application Code 5-0
constexpr std::size_t kSessionFormatByte = 8;
constexpr std::size_t kPacketSizeByte = 10;  // 4 bytes
constexpr std::size_t kAudioPauseByte = 14;  // 2 bytes
constexpr std::size_t kMcnByte = 16;         // MCN, ISRC, sub-header: 16 + 16 + 4 bytes

constexpr std::uint8_t kBufe = 0x40;
constexpr std::uint8_t kLsV = 0x20;
constexpr std::uint8_t kTestWrite = 0x10;
constexpr std::uint16_t kDefaultAudioPause = 150;

bool ValidDataBlockType(std::uint8_t type) { return type <= 3 || (type >= 8 && type <= 13); }

}  // namespace

WriteParametersPage DefaultWriteParameters() {
  WriteParametersPage page{};
  page[0] = kWriteParametersPageCode;
  page[1] = kWriteParametersPageSize - 2;
  page[kWriteTypeByte] = kBufe | write_type::kTrackAtOnce;
  page[kTrackModeByte] = 4;  // data track, recorded uninterrupted
  page[kDataBlockByte] = 8;  // mode 1, 2048 bytes
  bytes::PutBE16(&page[kAudioPauseByte], kDefaultAudioPause);
  return page;
}

WriteParametersPage ForeignWriteParameters() {
  constexpr std::uint8_t kPs = 0x80;
  constexpr std::uint8_t kFixedPacket = 0x20;
  WriteParametersPage page = DefaultWriteParameters();
  page[0] |= kPs;
  page[kWriteTypeByte] = kLsV | kTestWrite | write_type::kSessionAtOnce;
  page[kTrackModeByte] = (kMultiSessionNoNextFf << 6) | kFixedPacket | 5;
  page[kDataBlockByte] = 10;  // mode 2, 2336 bytes
  page[kLinkSizeByte] = 7;
  page[kSessionFormatByte] = 0x20;  // CD-ROM XA
  bytes::PutBE32(&page[kPacketSizeByte], 16);
  return page;
}

WriteParametersPage ChangeableWriteParameters(bool testWrite) {
  WriteParametersPage page{};
  page[0] = kWriteParametersPageCode;
  page[1] = kWriteParametersPageSize - 2;
  page[kWriteTypeByte] = kBufe | kLsV | (testWrite ? kTestWrite : 0) | 0x0F;
  page[kTrackModeByte] = 0xFF;
  page[kDataBlockByte] = 0x0F;
  page[kLinkSizeByte] = 0xFF;
  page[kAppCodeByte] = 0x3F;
  page[kSessionFormatByte] = 0xFF;
  std::fill(page.begin() + kPacketSizeByte, page.begin() + kPacketSizeByte + 4, 0xFF);
  std::fill(page.begin() + kAudioPauseByte, page.begin() + kAudioPauseByte + 2, 0xFF);
  std::fill(page.begin() + kMcnByte, page.end(), 0xFF);
  return page;
}

WriteParameters ReadWriteParameters(const WriteParametersPage& page) {
  return {
      .writeType = static_cast<std::uint8_t>(page[kWriteTypeByte] & 0x0F),
      .bufe = (page[kWriteTypeByte] & kBufe) != 0,
      .testWrite = (page[kWriteTypeByte] & kTestWrite) != 0,
      .multiSession = static_cast<std::uint8_t>(page[kTrackModeByte] >> 6),
      .trackMode = static_cast<std::uint8_t>(page[kTrackModeByte] & 0x0F),
      .dataBlockType = static_cast<std::uint8_t>(page[kDataBlockByte] & 0x0F),
      .linkSize = page[kLinkSizeByte],
      .sessionFormat = page[kSessionFormatByte],
  };
}

std::optional<Sense> CheckWriteParameters(std::span<const std::uint8_t> page,
                                          const WriteParametersPage& current, bool testWrite) {
  if (page.size() != kWriteParametersPageSize || (page[0] & 0x3F) != kWriteParametersPageCode ||
      page[1] != kWriteParametersPageSize - 2) {
    return sense::kInvalidFieldInParameterList;
  }
  // Bits the drive does not let the initiator change must keep their value
  // (SPC, MODE SELECT). Byte 0 bit 7 (PS) is reserved in MODE SELECT.
  const WriteParametersPage changeable = ChangeableWriteParameters(testWrite);
  for (std::size_t i = 2; i < kWriteParametersPageSize; ++i) {
    if ((page[i] ^ current[i]) & ~changeable[i]) return sense::kInvalidFieldInParameterList;
  }
  const std::uint8_t writeType = page[kWriteTypeByte] & 0x0F;
  const std::uint8_t multiSession = page[kTrackModeByte] >> 6;
  if (writeType > write_type::kRaw || multiSession == 2 ||
      !ValidDataBlockType(page[kDataBlockByte] & 0x0F)) {
    return sense::kInvalidFieldInParameterList;
  }
  return std::nullopt;
}

std::optional<Sense> CheckWriteParametersStrictly(std::span<const std::uint8_t> page,
                                                  std::optional<Medium> medium) {
  constexpr std::uint8_t kPs = 0x80;
  constexpr std::uint8_t kFixedPacket = 0x20;  // FP, byte 3 bit 5
  const std::uint8_t writeType = page[kWriteTypeByte] & 0x0F;
  const std::uint8_t trackMode = page[kTrackModeByte] & 0x0F;
  const std::uint8_t sessionFormat = page[kSessionFormatByte];
  const bool fixedPacket = page[kTrackModeByte] & kFixedPacket;
  const std::uint32_t packetSize = bytes::GetBE32(&page[kPacketSizeByte]);
  const bool invalid =
      (page[0] & kPs) ||
      // A data track (bit 2), never four-channel audio (bit 3), of Mode 1 blocks.
      (trackMode & 0x0C) != 0x04 || (page[kDataBlockByte] & 0x0F) != 8 ||
      (sessionFormat != 0x00 && sessionFormat != 0x10 && sessionFormat != 0x20) ||
      // A fixed packet size belongs to packet writing, and only there.
      (fixedPacket && (writeType != write_type::kIncremental || packetSize == 0)) ||
      (!fixedPacket && packetSize != 0);
  if (invalid) return sense::kInvalidFieldInParameterList;
  if (!medium) return std::nullopt;
  switch (*medium) {
    case Medium::CdR:
    case Medium::CdRw:
      break;
    case Medium::DvdMinusR:
    case Medium::DvdMinusRw:
      if (writeType != write_type::kIncremental && writeType != write_type::kSessionAtOnce) {
        return sense::kInvalidFieldInParameterList;
      }
      break;
    case Medium::DvdPlusR:
    case Medium::DvdPlusRw:
    case Medium::DvdMinusRwOverwrite:
    case Medium::BdR:
    case Medium::BdRe:
      if (page[kWriteTypeByte] & kTestWrite) return sense::kInvalidFieldInParameterList;
      break;
  }
  return std::nullopt;
}

namespace {

// Capabilities page bytes (MMC-3 5.5.10).
constexpr std::size_t kReadBitsByte = 2;      // DVD-R read 4, DVD-ROM read 3, Method 2, CD-RW read, CD-R read
constexpr std::size_t kWriteBitsByte = 3;     // DVD-R write 4, Test Write 2, CD-RW write 1, CD-R write 0
constexpr std::size_t kFeatureBitsByte = 4;   // BUF 7, Multi-session 6, Mode 2 Form 2 5, Form 1 4
constexpr std::size_t kMechanismByte = 6;     // Loading Mechanism Type 7-5, Eject 3
constexpr std::size_t kMaxReadSpeedByte = 8;
constexpr std::size_t kBufferSizeByte = 12;
constexpr std::size_t kCurrentReadSpeedByte = 14;
constexpr std::size_t kMaxWriteSpeedByte = 18;
constexpr std::size_t kCurrentWriteSpeedByte = 20;
constexpr std::size_t kCurrentWriteSpeedSelectedByte = 28;
constexpr std::size_t kDescriptorCountByte = 30;
constexpr std::size_t kFixedCapabilitiesBytes = 32;

constexpr std::uint8_t kTestWriteCapability = 0x04;
constexpr std::uint8_t kTrayLoading = 0x01 << 5;
constexpr std::uint8_t kEject = 0x08;
constexpr std::uint16_t kBufferKiB = 2048;

std::span<const std::uint16_t> WriteSpeedsOf(std::optional<Medium> medium) {
  return Traits(medium.value_or(Medium::CdR)).writeSpeeds;
}

}  // namespace

std::vector<std::uint8_t> CapabilitiesPage(std::optional<Medium> medium, Speeds speeds,
                                           bool testWrite) {
  const auto writeSpeeds = WriteSpeedsOf(medium);
  std::vector<std::uint8_t> page(kFixedCapabilitiesBytes + 4 * writeSpeeds.size(), 0);
  page[0] = kCapabilitiesPageCode;
  page[1] = static_cast<std::uint8_t>(page.size() - 2);
  page[kReadBitsByte] = 0x1F;   // DVD-R, DVD-ROM, Method 2, CD-RW and CD-R read
  page[kWriteBitsByte] = 0x13 | (testWrite ? kTestWriteCapability : 0);  // DVD-R, CD-RW, CD-R write
  page[kFeatureBitsByte] = 0xF0;  // BUF, Multi-session, Mode 2 Form 2 and Form 1
  page[kMechanismByte] = kTrayLoading | kEject;
  bytes::PutBE16(&page[kMaxReadSpeedByte], kMaxReadSpeed);
  bytes::PutBE16(&page[kBufferSizeByte], kBufferKiB);
  bytes::PutBE16(&page[kCurrentReadSpeedByte], speeds.currentRead);
  bytes::PutBE16(&page[kMaxWriteSpeedByte], kMaxWriteSpeed);
  bytes::PutBE16(&page[kCurrentWriteSpeedByte], speeds.currentWrite);
  bytes::PutBE16(&page[kCurrentWriteSpeedSelectedByte], speeds.currentWrite);
  bytes::PutBE16(&page[kDescriptorCountByte], static_cast<std::uint16_t>(writeSpeeds.size()));
  for (std::size_t i = 0; i < writeSpeeds.size(); ++i) {
    // Logical unit write speed performance descriptor: reserved, rotation
    // control (00b CLV), write speed.
    bytes::PutBE16(&page[kFixedCapabilitiesBytes + 4 * i + 2], writeSpeeds[i]);
  }
  return page;
}

std::vector<std::uint8_t> ChangeableCapabilitiesPage(std::optional<Medium> medium) {
  std::vector<std::uint8_t> page(kFixedCapabilitiesBytes + 4 * WriteSpeedsOf(medium).size(), 0);
  page[0] = kCapabilitiesPageCode;
  page[1] = static_cast<std::uint8_t>(page.size() - 2);
  return page;
}

}  // namespace wnaspi::vdrive
