// WRITE(10) (MMC 6.44), SYNCHRONIZE CACHE (MMC 6.41), CLOSE TRACK/SESSION
// (MMC 6.3) and RESERVE TRACK (MMC 6.31).

#include "platform/aspi/virtual/virtual_drive.h"

namespace wnaspi::vdrive {
namespace {

constexpr std::uint8_t kCloseFunctionMask = 0x07;
enum CloseFunction : std::uint8_t {
  kQuickStop = 0,         // DVD+RW: stop background formatting
  kCloseTrack = 1,
  kCloseSession = 2,
  kFinalizeMinimal = 5,   // DVD+R: finalise with minimal radius
  kFinalize = 6,          // DVD+R: finalise the disc
};
constexpr std::uint8_t kCloseImmed = 0x01;  // CLOSE TRACK/SESSION byte 1 bit 0
constexpr std::uint8_t kSyncImmed = 0x02;   // SYNCHRONIZE CACHE byte 1 bit 1
// MMC's least CD track: four seconds.
constexpr std::uint32_t kCdMinTrack = 300;
constexpr std::uint8_t kReserveByAddress = 0x01;  // RESERVE TRACK byte 1 bit 0 (ARSV)

bool IsDvdMinus(Medium m) { return m == Medium::DvdMinusR || m == Medium::DvdMinusRw; }

// The session a new track at `next` belongs to, opened if it is a new one.
std::uint32_t OpenSessionFor(DiscState& disc, const InvisibleTrack& next) {
  if (next.session > disc.sessions.size()) {
    disc.sessions.push_back({.number = next.session, .closed = false, .next = NextSession::None,
                             .format = 0});
  }
  return next.session;
}

}  // namespace

// Whether the write parameters page allows recording on this medium (MMC
// 7.5.4): CD in Track-at-Once with a data track mode and 2048-byte blocks,
// DVD-R/-RW incremental or disc-at-once into a reserved track. Session-at-
// once and raw CD recording need a cue sheet, which this drive does not take.
std::optional<Sense> VirtualDrive::CheckWriteMode(const DiscState& disc, const Track* track) const {
  const WriteParameters page = ReadWriteParameters(writeParameters_);
  if (disc.traits().cd) {
    if (page.writeType == write_type::kSessionAtOnce || page.writeType == write_type::kRaw) {
      return sense::kCommandSequenceError;
    }
    if (page.writeType != write_type::kTrackAtOnce || !(page.trackMode & 0x04) ||
        (page.dataBlockType != 8 && page.dataBlockType != 10)) {
      return sense::kIllegalModeForTrack;
    }
    return std::nullopt;
  }
  if (IsDvdMinus(disc.medium)) {
    if (page.writeType == write_type::kSessionAtOnce) {
      if (!track || !track->reserved) return sense::kCommandSequenceError;
    } else if (page.writeType != write_type::kIncremental) {
      return sense::kIllegalModeForTrack;
    }
  }
  return std::nullopt;
}

bool VirtualDrive::Unaligned(const DiscState& disc, std::uint32_t lba) const {
  return options_.model.strict && !disc.traits().cd && !disc.traits().randomWritable &&
         lba % kDvdEccBlock != 0;
}

bool VirtualDrive::TooShort(const DiscState& disc, const Track& track) const {
  return options_.model.strict && disc.traits().cd && !track.closed && track.recorded < kCdMinTrack;
}

std::optional<Sense> VirtualDrive::Buffer(std::uint16_t count) {
  if (!buffer_.enabled()) return std::nullopt;
  const bool protect = ReadWriteParameters(writeParameters_).bufe;
  const std::uint64_t stops = buffer_.dryStops();
  const WriteBuffer::Outcome outcome = buffer_.Write(std::uint64_t{count} * kBlockSize, protect);
  // The trace says where the host let the buffer run dry.
  if (buffer_.dryStops() != stops) {
    log_.Diagnostic(protect ? "buffer underrun: recording stopped (BUFE: the drive waits for a full buffer)"
                            : "buffer underrun: recording stopped (no BUFE: loss of streaming)");
  }
  if (outcome == WriteBuffer::Outcome::Taken) return std::nullopt;
  return sense::kLossOfStreaming;
}

// Test write: the drive goes through a recording with the laser at reading
// power. It takes the blocks at the addresses a real recording would, and
// the disc stays as it was.
ScsiOutcome VirtualDrive::SimulateWrite(const DiscState& disc, std::uint32_t lba, std::uint16_t count) {
  if (!simulatedNext_ || lba != *simulatedNext_) {
    const auto target = disc.writeTargetAt(lba);
    if (!target || count > target->limit - lba) return Fail(sense::kInvalidAddressForWrite);
    const bool newTrack = target->trackIndex == disc.tracks.size();
    if (auto problem = CheckWriteMode(disc, newTrack ? nullptr : &disc.tracks[target->trackIndex])) {
      return Fail(*problem);
    }
  }
  if (Unaligned(disc, lba)) return Fail(sense::kInvalidAddressForWrite);
  if (auto underrun = Buffer(count)) return Fail(*underrun);
  simulatedNext_ = lba + count;
  return ScsiOutcome::Good();
}

ScsiOutcome VirtualDrive::Write10(const Command& command) {
  if (command.Byte(1) & 0x01) return Fail(sense::kInvalidFieldInCdb);  // RelAdr
  const std::uint32_t lba = command.Be32(2);
  const std::uint16_t count = command.Be16(7);
  if (count == 0) return ScsiOutcome::Good();
  const auto data = command.Parameters(std::size_t{count} * kBlockSize);
  if (data.empty()) return Command::Underrun();
  DiscState& disc = *disc_;
  // A bad block stops the write there: the blocks before it are recorded.
  const std::optional<std::uint32_t> badBlock = faults_->BadBlockIn(lba, count);
  const std::uint32_t good = badBlock ? *badBlock - lba : count;
  const ScsiOutcome done =
      badBlock ? Fail(Sense{sense::kWriteError.key, sense::kWriteError.asc, sense::kWriteError.ascq, {},
                            *badBlock})
               : ScsiOutcome::Good();

  if (disc.traits().randomWritable) {
    if (!disc.formatted) return Fail(sense::kMediumNotFormatted);
    if (count > disc.capacity() || lba > disc.capacity() - count) return Fail(sense::kLbaOutOfRange);
    // A DVD+RW links losslessly: after an underrun the drive goes on where it stopped.
    (void)Buffer(count);
    if (!store_.WriteBlocks(lba, data.data(), good)) return Fail(sense::kWriteError);
    return done;
  }

  // Sequential media: only at the next writable address of an open track
  // or of the invisible track.
  if (ruined_) return Fail(sense::kLossOfStreaming);
  if (TestWriting()) return SimulateWrite(disc, lba, count);
  const auto target = disc.writeTargetAt(lba);
  if (!target) return Fail(sense::kInvalidAddressForWrite);
  if (count > target->limit - lba) {
    return Fail(target->limit == disc.capacity() ? sense::kLbaOutOfRange
                                                 : sense::kInvalidAddressForWrite);
  }
  const bool newTrack = target->trackIndex == disc.tracks.size();
  const Track* existing = newTrack ? nullptr : &disc.tracks[target->trackIndex];
  if (auto problem = CheckWriteMode(disc, existing)) return Fail(*problem);
  if (Unaligned(disc, lba)) return Fail(sense::kInvalidAddressForWrite);
  if (auto underrun = Buffer(count)) {
    ruined_ = true;
    return Fail(*underrun);
  }
  if (good == 0) return done;
  if (!store_.WriteBlocks(lba, data.data(), good)) return Fail(sense::kWriteError);

  const WriteParameters page = ReadWriteParameters(writeParameters_);
  if (newTrack) {
    const InvisibleTrack next = *disc.invisibleTrack();
    Track t;
    t.number = next.number;
    t.session = OpenSessionFor(disc, next);
    t.start = lba;
    t.mode = page.trackMode;
    disc.tracks.push_back(t);
  }
  Track& track = disc.tracks[target->trackIndex];
  if (track.recorded == 0) {
    track.sessionAtOnce = IsDvdMinus(disc.medium) && page.writeType == write_type::kSessionAtOnce;
  }
  track.recorded += good;
  return done;
}

ScsiOutcome VirtualDrive::SynchronizeCache(const Command& command) {
  // The buffer is recorded before the command ends, or, with Immed, while
  // the drive reports a long write in progress.
  buffer_.Flush();
  if (command.Byte(1) & kSyncImmed) StartImmediate(sense::kLongWriteInProgress);
  if (TestWriting()) return ScsiOutcome::Good();
  // The blocks went straight to disc.img: the drive has nothing cached. The
  // host's own cache is the file system's business, as for any file a
  // program writes; a program killed now loses nothing.
  // A DVD-R/-RW written disc-at-once is finished by the drive itself once
  // its reserved track is full: lead-out written, disc complete.
  DiscState& disc = *disc_;
  const Session* open = disc.openSession();
  if (open && IsDvdMinus(disc.medium)) {
    const Track& last = disc.lastTrackOf(*open);
    if (last.sessionAtOnce && last.reserved && last.recorded == last.reserved) {
      for (Track& t : disc.tracks) t.closed = true;
      Session& s = disc.session(open->number);
      s.closed = true;
      s.next = NextSession::None;
      disc.finalized = true;
    }
  }
  return ScsiOutcome::Good();
}

// Closes the open session. The Multi-session field of the page selected
// decides whether another session may follow (11b, and the disc has room
// for one) or the disc is finalised.
void VirtualDrive::CloseSession(DiscState& disc) {
  const WriteParameters page = ReadWriteParameters(writeParameters_);
  Session& s = disc.session(disc.openSession()->number);
  for (Track& t : disc.tracks) {
    if (t.session == s.number) t.closed = true;
  }
  s.closed = true;
  s.format = page.sessionFormat;
  if (page.multiSession == kMultiSessionNextAllowed && disc.nextSessionStart(s) < disc.capacity()) {
    s.next = NextSession::Allowed;
  } else {
    s.next = page.multiSession == kMultiSessionNoNextFf ? NextSession::NotAllowed : NextSession::None;
    disc.finalized = true;
  }
}

// A DVD+R session is closed only once each of its tracks (fragments) is:
// the drive refuses otherwise. The write parameters page has no say on this
// medium: closing the session leaves the disc open for another while room is
// left, the finalising functions close it for good.
ScsiOutcome VirtualDrive::CloseDvdPlusRSession(DiscState& disc, bool finalize) {
  if (const Session* open = disc.openSession()) {
    for (const Track& t : disc.tracks) {
      if (t.session == open->number && !t.closed) return Fail(sense::kSessionFixationIncompleteTrack);
    }
    Session& s = disc.session(open->number);
    s.closed = true;
    s.next = NextSession::Allowed;
  }
  Session& last = disc.sessions.back();
  if (finalize || disc.nextSessionStart(last) >= disc.capacity()) {
    last.next = NextSession::None;
    disc.finalized = true;
  }
  return ScsiOutcome::Good();
}

ScsiOutcome VirtualDrive::CloseTrackSession(const Command& command) {
  ScsiOutcome outcome = CloseNow(command);
  if (outcome.good() && (command.Byte(1) & kCloseImmed)) StartImmediate(sense::kOperationInProgress);
  return outcome;
}

ScsiOutcome VirtualDrive::CloseNow(const Command& command) {
  DiscState& disc = *disc_;
  buffer_.Flush();
  if (TestWriting() && !disc.traits().randomWritable) {
    // Nothing was recorded: there is nothing to close.
    simulatedNext_.reset();
    return ScsiOutcome::Good();
  }
  const std::uint8_t function = command.Byte(2) & kCloseFunctionMask;
  if (disc.traits().randomWritable) {
    // DVD+RW: these functions end a background format; there is none.
    if (function == kQuickStop || function == kCloseTrack || function == kCloseSession) {
      return ScsiOutcome::Good();
    }
    return Fail(sense::kInvalidFieldInCdb);
  }
  switch (function) {
    case kCloseTrack: {
      const std::uint16_t number = command.Be16(4);
      if (number == 0 || number > disc.tracks.size() || disc.tracks[number - 1].closed) {
        return Fail(sense::kInvalidFieldInCdb);
      }
      if (TooShort(disc, disc.tracks[number - 1])) return Fail(sense::kSessionFixationError);
      disc.tracks[number - 1].closed = true;
      return ScsiOutcome::Good();
    }
    case kCloseSession:
      if (!disc.openSession()) return Fail(sense::kCommandSequenceError);
      for (const Track& t : disc.tracks) {
        if (t.session == disc.openSession()->number && TooShort(disc, t)) {
          return Fail(sense::kSessionFixationError);
        }
      }
      ruined_ = false;
      if (disc.medium == Medium::DvdPlusR) return CloseDvdPlusRSession(disc, false);
      CloseSession(disc);
      return ScsiOutcome::Good();
    case kFinalizeMinimal:
    case kFinalize:
      if (disc.medium != Medium::DvdPlusR) return Fail(sense::kInvalidFieldInCdb);
      if (disc.tracks.empty()) return Fail(sense::kCommandSequenceError);
      return CloseDvdPlusRSession(disc, true);
    default:
      return Fail(sense::kInvalidFieldInCdb);
  }
}

ScsiOutcome VirtualDrive::ReserveTrack(const Command& command) {
  DiscState& disc = *disc_;
  if (!disc.traits().reservable) return Fail(sense::kIncompatibleMedium);
  if (command.Byte(1) & kReserveByAddress) return Fail(sense::kInvalidFieldInCdb);
  const std::uint32_t size = command.Be32(5);
  const auto next = disc.invisibleTrack();
  if (!next) return Fail(sense::kCommandSequenceError);  // complete disc, or a track being written
  if (size == 0 || size > disc.freeBlocksFrom(next->start)) return Fail(sense::kInvalidFieldInCdb);
  Track t;
  t.number = next->number;
  t.session = OpenSessionFor(disc, *next);
  t.start = next->start;
  t.reserved = size;
  t.mode = ReadWriteParameters(writeParameters_).trackMode;
  disc.tracks.push_back(t);
  return ScsiOutcome::Good();
}

}  // namespace wnaspi::vdrive
