// Queries of the drive and of the loaded disc.

#include <algorithm>
#include <array>

#include "engine/drive/feature_reply.h"
#include "engine/drive/medium_profile.h"
#include "engine/drive/mmc_core.h"
#include "platform/bytes/byte_order.h"
#include "platform/kernel/clock.h"

namespace scrivo {
namespace {

// Capabilities page 2Ah (MMC, CD/DVD Capabilities and Mechanical Status
// page), behind the 8-byte mode parameter header.
constexpr std::uint8_t kCapabilitiesPage = 0x2A;
constexpr std::size_t kPageStart = 8;
constexpr std::size_t kWriteCapabilities = kPageStart + 3;  // bit 0 CD-R, bit 1 CD-RW
constexpr std::size_t kMechanism = kPageStart + 4;          // bit 6 multi-session
constexpr std::size_t kMaxReadSpeed = kPageStart + 8;
constexpr std::size_t kMaxWriteSpeed = kPageStart + 18;

constexpr std::size_t kFeatureReplyLength = 256;

// READ DISC INFORMATION byte 2.
constexpr std::uint8_t kDiscStatusMask = 0x03;
constexpr std::uint8_t kDiscStatusEmpty = 0x00;
constexpr std::uint8_t kDiscStatusComplete = 0x02;
constexpr std::uint8_t kLastSessionShift = 2;
constexpr std::uint8_t kLastSessionMask = 0x03;
constexpr std::uint8_t kErasableBit = 0x10;
// First and Last Track Number in Last Session: LSB in bytes 5 and 6, MSB
// in bytes 10 and 11.
constexpr std::size_t kFirstTrackLsb = 5;
constexpr std::size_t kFirstTrackMsb = 10;
constexpr std::size_t kLastTrackLsb = 6;
constexpr std::size_t kLastTrackMsb = 11;

constexpr std::uint16_t kTocHeaderLength = 4;
// The largest allocation length a READ TOC CDB can carry.
constexpr std::uint16_t kMaxTocAllocation = 0xFFFF;

constexpr std::uint32_t kEjectPauseMs = 2000;

// GET CONFIGURATION header: Current Profile in bytes 6-7.
constexpr std::size_t kConfigurationHeader = 8;
constexpr std::size_t kCurrentProfile = 6;

// Track information (MMC READ TRACK INFORMATION): Free Blocks in bytes
// 16-19 of the 28-byte block every drive returns.
constexpr std::uint16_t kTrackInfoLength = 28;
constexpr std::size_t kFreeBlocks = 16;

// READ FORMAT CAPACITIES: a 4-byte list header, then the current or maximum
// capacity descriptor (number of blocks in bytes 0-3, descriptor type in
// bits 1-0 of byte 4: 01b unformatted, 10b formatted, 11b no medium).
constexpr std::uint16_t kFormatCapacitiesLength = 12;
constexpr std::size_t kCapacityBlocks = 4;
constexpr std::size_t kCapacityType = 8;
constexpr std::uint8_t kNoMediumPresent = 0x03;

}  // namespace

bool MmcCore::WaitForMedium() {
  constexpr std::uint8_t kNotReady = 0x02, kUnitAttention = 0x06;
  constexpr std::uint8_t kLogicalUnitNotReady = 0x04, kBecomingReady = 0x01;
  constexpr std::uint8_t kMediumMayHaveChanged = 0x28, kMediumNotPresent = 0x3A;
  std::uint32_t recognising = 0;  // pauses while the drive was recognising the disc
  std::uint32_t empty = 0;        // pauses while it reported no disc
  bool changeReported = false;
  for (;;) {
    if (TestUnitReady()) return true;
    const SenseCode sense = LastSense();
    if (sense.key == kUnitAttention && sense.asc == kMediumMayHaveChanged && !changeReported) {
      // Reported once, when recognition ends: the next command finds the disc.
      changeReported = true;
      continue;
    }
    PollingLimit limit{};
    std::uint32_t* used = nullptr;
    if (sense.key == kNotReady && sense.asc == kLogicalUnitNotReady && sense.ascq == kBecomingReady) {
      limit = kMediumRecognitionWait, used = &recognising;
    } else if (sense.key == kUnitAttention && sense.asc == kMediumMayHaveChanged) {
      limit = kMediumRecognitionWait, used = &recognising;
    } else if (sense.key == kNotReady && sense.asc == kMediumNotPresent) {
      limit = kMediumArrivalWait, used = &empty;
    } else {
      return false;
    }
    if (*used >= limit.maxPolls) return false;
    ++*used;
    platform::Sleep(limit.intervalMs);
  }
}

bool MmcCore::SenseCapabilities(std::span<std::uint8_t, 30> reply) {
  TestUnitReady();
  std::fill(reply.begin(), reply.end(), 0);
  return Issue(ModeSense10Cdb(PageControl::Current, kCapabilitiesPage, 30), reply, kFlagsDataIn);
}

bool MmcCore::GetFeature(std::uint16_t feature, std::span<std::uint8_t> reply) {
  const auto allocation = static_cast<std::uint16_t>(std::min<std::size_t>(reply.size(), 0xFFFF));
  return Issue(GetConfigurationCdb(feature, allocation), reply.data(), allocation, kFlagsDataIn);
}

bool MmcCore::GetCapabilities(DriveCapabilities& capabilities) {
  std::array<std::uint8_t, 30> page{};
  if (!SenseCapabilities(page)) return false;
  capabilities.cdrWrite = page[kWriteCapabilities] & 0x01;
  capabilities.cdrwWrite = (page[kWriteCapabilities] >> 1) & 0x01;
  capabilities.multiSession = (page[kMechanism] >> 6) & 0x01;
  capabilities.maxReadSpeed = bytes::GetBE16(page.data() + kMaxReadSpeed);
  capabilities.maxWriteSpeed = bytes::GetBE16(page.data() + kMaxWriteSpeed);

  // One buffer for all four queries: a failed query leaves the previous
  // reply, whose feature code does not match the one asked for.
  std::array<std::uint8_t, kFeatureReplyLength> reply{};
  FeatureFlags flags = 0;
  for (const QueriedFeature& queried : kQueriedFeatures) {
    if (!GetFeature(queried.feature, reply) || !FeatureListed(reply, queried.feature)) continue;
    flags |= queried.presentBit;
    if (FeatureCurrent(reply)) flags |= queried.currentBit;
  }
  capabilities.featureFlags = flags;
  return true;
}

bool MmcCore::ReadDiscInformation(std::span<std::uint8_t, 34> reply) {
  TestUnitReady();
  return Issue(ReadDiscInformationCdb(34), reply, kFlagsDataIn);
}

bool MmcCore::ReadTrackInformation(TrackAddress type, std::uint32_t value,
                                   std::span<std::uint8_t> reply) {
  const auto allocation = static_cast<std::uint16_t>(std::min<std::size_t>(reply.size(), 0xFFFF));
  return Issue(ReadTrackInformationCdb(type, value, allocation), reply.data(), allocation, kFlagsDataIn);
}

bool MmcCore::CurrentProfile(std::uint16_t& current) {
  std::array<std::uint8_t, kConfigurationHeader> header{};
  if (!GetFeature(0, header)) return false;
  current = bytes::GetBE16(header.data() + kCurrentProfile);
  return true;
}

bool MmcCore::ReadFreeBlocks(std::uint32_t& freeBlocks) {
  TestUnitReady();
  // A drive without profiles is asked as a CD drive is.
  std::uint16_t current = profile::kNone;
  CurrentProfile(current);
  std::uint32_t track = kInvisibleTrack;
  switch (KindOfProfile(current)) {
    case MediumKind::DvdPlusRw:
    case MediumKind::DvdMinusRwOverwrite: {
      // No tracks to ask about: the whole formatted (or formattable)
      // capacity takes the image, which is written from block 0.
      std::array<std::uint8_t, kFormatCapacitiesLength> reply{};
      if (!Issue(ReadFormatCapacitiesCdb(kFormatCapacitiesLength), reply, kFlagsDataIn)) return false;
      if ((reply[kCapacityType] & 0x03) == kNoMediumPresent) return false;
      freeBlocks = bytes::GetBE32(reply.data() + kCapacityBlocks);
      return true;
    }
    case MediumKind::DvdMinusSequential: {
      // Track FFh is not defined here: the incomplete track is the last
      // track of the last session.
      DiscInfo disc;
      if (!GetDiscInfo(disc) || disc.lastTrack == 0) return false;
      track = disc.lastTrack;
      break;
    }
    default:
      break;
  }
  std::array<std::uint8_t, kTrackInfoLength> reply{};
  if (!ReadTrackInformation(TrackAddress::TrackNumber, track, reply)) return false;
  freeBlocks = bytes::GetBE32(reply.data() + kFreeBlocks);
  return true;
}

bool MmcCore::GetDiscInfo(DiscInfo& info) {
  std::array<std::uint8_t, 34> reply{};
  if (!ReadDiscInformation(reply)) return false;
  const std::uint8_t status = reply[2] & kDiscStatusMask;
  info.blank = status == kDiscStatusEmpty;
  info.closed = status == kDiscStatusComplete;
  info.erasable = (reply[2] & kErasableBit) != 0;
  info.lastSession = static_cast<LastSessionState>((reply[2] >> kLastSessionShift) & kLastSessionMask);
  info.firstTrack = static_cast<std::uint16_t>(reply[kFirstTrackMsb] << 8 | reply[kFirstTrackLsb]);
  info.lastTrack = static_cast<std::uint16_t>(reply[kLastTrackMsb] << 8 | reply[kLastTrackLsb]);
  return true;
}

bool MmcCore::ReadFullToc(FullToc& toc) {
  std::array<std::uint8_t, kTocHeaderLength> header{};
  TestUnitReady();
  if (!Issue(ReadFullTocCdb(kTocHeaderLength), header, kFlagsDataIn)) return false;
  TestUnitReady();
  // The header and the descriptors must fit one READ TOC allocation length.
  const std::uint16_t length = std::min<std::uint16_t>(bytes::GetBE16(header.data()),
                                                       kMaxTocAllocation - kTocHeaderLength);
  toc.dataLength = length;
  toc.firstCompleteSession = header[2];
  toc.lastCompleteSession = header[3];

  // Zeroed, so that bytes the drive does not send read as zero.
  std::vector<std::uint8_t> reply(length + kTocHeaderLength, 0);
  if (!Issue(ReadFullTocCdb(static_cast<std::uint16_t>(reply.size())), reply, kFlagsDataIn)) {
    return false;
  }
  toc.descriptors.assign(reply.begin() + kTocHeaderLength, reply.end());
  return true;
}

bool MmcCore::ReadSessionInfo(std::span<std::uint8_t, 12> reply) {
  TestUnitReady();
  return Issue(ReadSessionInfoCdb(12), reply, kFlagsDataIn);
}

bool MmcCore::ReadBlock(std::int32_t lba, std::span<std::uint8_t, kLogicalBlockSize> block) {
  return Issue(Read10Cdb(static_cast<std::uint32_t>(lba)), block, kFlagsDataIn);
}

bool MmcCore::ReadBlocks(std::int32_t lba, std::span<std::uint8_t> blocks) {
  const std::size_t count = blocks.size() / kLogicalBlockSize;
  if (count == 0 || count > kMaxReadBlocks || blocks.size() % kLogicalBlockSize != 0) return false;
  return Issue(Read10Cdb(static_cast<std::uint32_t>(lba), static_cast<std::uint16_t>(count)), blocks,
               kFlagsDataIn);
}

bool MmcCore::EjectDisc() {
  // Lets a drive that has just finished a job settle before the tray moves.
  platform::Sleep(kEjectPauseMs);
  return Issue(EjectCdb(), nullptr, 0, kFlagsDataIn);
}

}  // namespace scrivo
