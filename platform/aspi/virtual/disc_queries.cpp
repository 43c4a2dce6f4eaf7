// READ DISC INFORMATION (MMC 6.22), READ TRACK INFORMATION (MMC 6.27) and
// READ(10) (MMC 6.15).

#include <array>

#include "platform/aspi/virtual/msf.h"
#include "platform/aspi/virtual/virtual_drive.h"

namespace wnaspi::vdrive {
namespace {

constexpr std::size_t kDiscInformationLength = 34;
constexpr std::size_t kTrackInformationLength = 48;
constexpr std::uint32_t kNoAddress = 0xFFFFFFFF;
// Start of the lead-in as the ATIP of an 80-minute disc gives it (97:15:00).
constexpr Msf kAtipLeadInStart{97, 15, 0};

// CD addresses in disc information are MSF (00h M S F); DVD addresses LBAs.
void PutAddress(std::uint8_t* out, const DiscState& disc, std::uint32_t lba) {
  if (!disc.traits().cd) {
    bytes::PutBE32(out, lba);
    return;
  }
  const Msf msf = LbaToMsf(lba);
  out[0] = 0;
  out[1] = msf.minute;
  out[2] = msf.second;
  out[3] = msf.frame;
}

// Where the lead-in of the last (open or next) session starts.
void PutLastLeadIn(std::uint8_t* out, const DiscState& disc) {
  const std::uint32_t lastClosed = disc.closedSessionCount();
  if (lastClosed == 0) {
    if (disc.traits().cd) {
      out[1] = kAtipLeadInStart.minute;
      out[2] = kAtipLeadInStart.second;
      out[3] = kAtipLeadInStart.frame;
    }
    return;
  }
  const Session& previous = disc.session(lastClosed);
  if (disc.traits().cd) {
    const std::uint32_t leadOut = previous.number == 1 ? kCdFirstLeadOut : kCdLaterLeadOut;
    PutAddress(out, disc, disc.sessionEnd(previous) + leadOut);
  } else {
    PutAddress(out, disc, disc.sessionEnd(previous));
  }
}

void PutTrackNumber(std::uint8_t* lsb, std::uint8_t* msb, std::uint32_t number) {
  *lsb = static_cast<std::uint8_t>(number);
  *msb = static_cast<std::uint8_t>(number >> 8);
}

// Track information of a track on the disc.
std::array<std::uint8_t, kTrackInformationLength> DescribeTrack(const DiscState& disc,
                                                                 const Track& t) {
  std::array<std::uint8_t, kTrackInformationLength> info{};
  const bool dvdSequential = !disc.traits().cd && !disc.traits().randomWritable;
  const bool open = !t.closed && (!t.reserved || t.recorded < t.reserved);
  const bool overwritable = disc.traits().randomWritable;
  const std::uint32_t nwa = overwritable ? 0 : t.start + t.recorded;
  std::uint32_t free = 0;
  if (overwritable) {
    free = disc.trackSize(t);
  } else if (open) {
    free = t.reserved ? t.reserved - t.recorded : disc.freeBlocksFrom(nwa);
  }
  PutTrackNumber(&info[2], &info[32], t.number);
  PutTrackNumber(&info[3], &info[33], t.session);
  info[5] = t.mode & 0x0F;
  info[6] = static_cast<std::uint8_t>((t.reserved ? 0x80 : 0) |
                                      (dvdSequential && !t.sessionAtOnce ? 0x20 : 0) | 0x01);
  info[7] = static_cast<std::uint8_t>((t.recorded ? 0x02 : 0) | (open || overwritable ? 0x01 : 0));
  bytes::PutBE32(&info[8], t.start);
  bytes::PutBE32(&info[12], open || overwritable ? nwa : 0);
  bytes::PutBE32(&info[16], free);
  bytes::PutBE32(&info[20], dvdSequential ? kDvdEccBlock : 0);
  bytes::PutBE32(&info[24], t.closed || t.reserved ? disc.trackSize(t) : t.recorded + free);
  bytes::PutBE32(&info[28], t.recorded ? t.start + t.recorded - 1 : 0);
  return info;
}

// Track information of the invisible (blank) track. An unformatted DVD+RW
// reports its one track blank and not writable until formatted.
std::array<std::uint8_t, kTrackInformationLength> DescribeBlankTrack(const DiscState& disc,
                                                                     const InvisibleTrack& t,
                                                                     bool writable) {
  std::array<std::uint8_t, kTrackInformationLength> info{};
  const std::uint32_t free = disc.freeBlocksFrom(t.start);
  PutTrackNumber(&info[2], &info[32], t.number);
  PutTrackNumber(&info[3], &info[33], t.session);
  info[5] = disc.traits().cd ? 0x04 : 0x05;
  info[6] = 0x40 | 0x0F;  // Blank; data mode unknown until written
  info[7] = writable ? 0x01 : 0x00;
  bytes::PutBE32(&info[8], t.start);
  bytes::PutBE32(&info[12], writable ? t.start : 0);
  bytes::PutBE32(&info[16], free);
  bytes::PutBE32(&info[20], !disc.traits().cd ? kDvdEccBlock : 0);
  bytes::PutBE32(&info[24], free);
  return info;
}

enum AddressType : std::uint8_t { kLba = 0, kTrackNumber = 1, kSessionNumber = 2 };
constexpr std::uint32_t kInvisibleTrackNumber = 0xFF;

}  // namespace

ScsiOutcome VirtualDrive::ReadDiscInformation(const Command& command) {
  if ((command.Byte(1) & 0x07) != 0) return Fail(sense::kInvalidFieldInCdb);  // standard info only
  const DiscState& disc = *disc_;
  std::array<std::uint8_t, kDiscInformationLength> info{};
  bytes::PutBE16(&info[0], kDiscInformationLength - 2);
  const DiscStatus status = disc.status();
  info[2] = static_cast<std::uint8_t>((disc.traits().erasable ? 0x10 : 0) |
                                      static_cast<std::uint8_t>(disc.lastSessionState()) << 2 |
                                      static_cast<std::uint8_t>(status));
  info[3] = 1;  // first track on the disc

  const std::uint32_t sessions = disc.sessionCountWithNext();
  std::uint32_t firstInLast = 1, lastInLast = 1;
  if (auto invisible = disc.invisibleTrack()) {
    lastInLast = invisible->number;
    firstInLast = disc.openSession() ? disc.firstTrackOf(*disc.openSession()).number : invisible->number;
  } else if (!disc.sessions.empty()) {
    const Session& last = disc.sessions.back();
    firstInLast = disc.firstTrackOf(last).number;
    lastInLast = disc.lastTrackOf(last).number;
  }
  PutTrackNumber(&info[4], &info[9], sessions);
  PutTrackNumber(&info[5], &info[10], firstInLast);
  PutTrackNumber(&info[6], &info[11], lastInLast);
  info[7] = 0x20;  // URU: unrestricted use
  if (disc.traits().randomWritable) info[7] |= disc.formatted ? 0x03 : 0x00;  // background format complete
  info[8] = disc.traits().cd && !disc.sessions.empty() ? disc.sessions.front().format : 0x00;

  if (disc.traits().randomWritable) {
    bytes::PutBE32(&info[16], 0);
    bytes::PutBE32(&info[20], disc.capacity());
  } else if (status == DiscStatus::Complete) {
    bytes::PutBE32(&info[16], kNoAddress);
    bytes::PutBE32(&info[20], kNoAddress);
  } else {
    PutLastLeadIn(&info[16], disc);
    PutAddress(&info[20], disc, disc.capacity());  // last possible lead-out start
  }
  return command.Reply(info, command.Be16(7));
}

ScsiOutcome VirtualDrive::ReadTrackInformation(const Command& command) {
  const DiscState& disc = *disc_;
  const std::uint32_t value = command.Be32(2);
  const auto invisible = disc.invisibleTrack();
  const bool unformatted = disc.traits().randomWritable && !disc.formatted;
  std::optional<std::array<std::uint8_t, kTrackInformationLength>> info;

  auto describeNumber = [&](std::uint32_t number) {
    if (number >= 1 && number <= disc.tracks.size()) {
      info = DescribeTrack(disc, disc.tracks[number - 1]);
    } else if (invisible && invisible->number == number) {
      info = DescribeBlankTrack(disc, *invisible, true);
    } else if (unformatted && number == 1) {
      info = DescribeBlankTrack(disc, InvisibleTrack{}, false);
    }
  };

  switch (command.Byte(1) & 0x03) {
    case kLba:
      for (const Track& t : disc.tracks) {
        const std::uint32_t extent = t.closed || t.reserved ? disc.trackSize(t) : t.recorded;
        if (value >= t.start && value < t.start + extent) info = DescribeTrack(disc, t);
      }
      if (!info && invisible && value >= invisible->start && value < disc.capacity()) {
        info = DescribeBlankTrack(disc, *invisible, true);
      }
      if (!info) return Fail(sense::kLbaOutOfRange);
      break;
    case kTrackNumber:
      if (value == kInvisibleTrackNumber && options_.model.strict && !disc.traits().cd &&
          disc.medium != Medium::DvdPlusR) {
        // MMC names track FFh only on CD and DVD+R.
        return Fail(sense::kInvalidFieldInCdb);
      }
      if (value == kInvisibleTrackNumber) {
        // The invisible track, else the incomplete one, else (DVD+RW) the only one.
        if (invisible) {
          info = DescribeBlankTrack(disc, *invisible, true);
        } else if (!disc.tracks.empty() && !disc.finalized) {
          info = DescribeTrack(disc, disc.tracks.back());
        } else if (disc.traits().randomWritable) {
          describeNumber(1);
        }
      } else {
        describeNumber(value);
      }
      break;
    case kSessionNumber:
      if (value >= 1 && value <= disc.sessions.size()) {
        info = DescribeTrack(disc, disc.firstTrackOf(disc.session(value)));
      } else if (invisible && invisible->session == value) {
        info = DescribeBlankTrack(disc, *invisible, true);
      }
      break;
    default:
      break;
  }
  if (!info) return Fail(sense::kInvalidFieldInCdb);
  return command.Reply(*info, command.Be16(7));
}

ScsiOutcome VirtualDrive::ReadFormatCapacities(const Command& command) {
  // The capacity list header and the current capacity descriptor only: the
  // whole disc, formatted (a formatted DVD+RW) or not.
  constexpr std::uint8_t kUnformatted = 0x01, kFormatted = 0x02;
  std::array<std::uint8_t, 12> list{};
  list[3] = 8;  // capacity list length
  bytes::PutBE32(&list[4], disc_->capacity());
  list[8] = disc_->traits().randomWritable && disc_->formatted ? kFormatted : kUnformatted;
  list[10] = kBlockSize >> 8;  // block length 2048, bytes 9-11
  return command.Reply(list, command.Be16(7));
}

ScsiOutcome VirtualDrive::Read10(const Command& command) {
  if (command.Byte(1) & 0x01) return Fail(sense::kInvalidFieldInCdb);  // RelAdr
  const std::uint32_t lba = command.Be32(2);
  const std::uint16_t count = command.Be16(7);
  if (count == 0) return ScsiOutcome::Good();
  std::uint8_t* buffer = command.BlockBuffer(std::size_t{count} * kBlockSize);
  if (!buffer) return Command::Underrun();
  if (!disc_->readable(lba, count)) return Fail(sense::kLbaOutOfRange);
  if (const auto bad = faults_->UnreadableIn(lba, count)) {
    const Sense& error = sense::kUnrecoveredReadError;
    return Fail(Sense{error.key, error.asc, error.ascq, {}, *bad});
  }
  if (!store_.ReadBlocks(lba, buffer, count)) return Fail(sense::kUnrecoveredReadError);
  faults_->Corrupt(lba, count, buffer);
  return ScsiOutcome::Good();
}

}  // namespace wnaspi::vdrive
