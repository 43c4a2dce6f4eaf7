#pragma once
// The disc in a virtual writer: its medium, its sessions and tracks, whether
// it is finalised or formatted, and an immediate operation (blank, format)
// in progress. Everything a drive reports about a disc is derived from this
// record; the blocks themselves live in disc.img (disc_store.h).
//
// Layout rules (documented in the README):
// - Sequential media are written at the next writable address of a track.
//   A track is opened by its first write (or by RESERVE TRACK) and its
//   session by its first track.
// - CD: a session closed with the Multi-session field 11b leaves room for a
//   lead-out (6750 blocks after the first session, 2250 after later ones), the
//   next session's lead-in (4500) and the pre-gap of its first track (150):
//   the next track starts 11,400 blocks after the end of session 1 and 6,900
//   blocks after the end of later sessions. A following track in the same
//   session starts after a 150-block pre-gap.
// - DVD±R/-RW: a closed session is followed by a 16,384-block (32 MiB)
//   border zone, and tracks start on 16-block (ECC block) boundaries.
// - DVD+RW: once formatted, one complete session holding one track over the
//   whole disc, written anywhere.

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/aspi/virtual/medium.h"

namespace wnaspi::vdrive {

// What the last session's closing said about the next one (the Multi-session
// field of the write parameters page, MMC 7.5.4): 00b no next session, 01b no
// next session and B0h reads FF:FF:FF, 11b next session allowed.
enum class NextSession : std::uint8_t { None, NotAllowed, Allowed };

struct Track {
  std::uint32_t number = 1;   // counts across the whole disc from 1
  std::uint32_t session = 1;
  std::uint32_t start = 0;    // LBA of its first block
  std::uint32_t recorded = 0; // blocks written from start
  std::uint32_t reserved = 0; // RESERVE TRACK size; 0 = not reserved
  bool closed = false;
  bool sessionAtOnce = false; // written with write type 2 (DVD-R disc-at-once)
  std::uint8_t mode = 4;      // track mode (the CONTROL nibble of the TOC)
};

struct Session {
  std::uint32_t number = 1;
  bool closed = false;
  NextSession next = NextSession::None;
  std::uint8_t format = 0;  // session format: 00h CD-DA/CD-ROM, 20h CD-ROM XA
};

enum class BusyKind : std::uint8_t { None, Blank, Format };

// An immediate BLANK or FORMAT UNIT runs through `total` polls (TEST UNIT
// READY and REQUEST SENSE) before the drive is ready again.
struct BusyState {
  BusyKind kind = BusyKind::None;
  std::uint32_t polls = 0;
  std::uint32_t total = 0;
  bool active() const { return kind != BusyKind::None; }
};

// READ DISC INFORMATION, byte 2 bits 1-0 and 3-2 (MMC 6.22.3.1).
enum class DiscStatus : std::uint8_t { Empty = 0, Incomplete = 1, Complete = 2 };
enum class SessionState : std::uint8_t { Empty = 0, Incomplete = 1, Complete = 3 };

// Where the next write may go: an open track, or the invisible track.
struct WriteTarget {
  std::uint32_t trackIndex;  // index into tracks, or tracks.size() for a new track
  std::uint32_t address;     // its next writable address
  std::uint32_t limit;       // the first address it cannot hold
};

struct InvisibleTrack {
  std::uint32_t number = 1;
  std::uint32_t session = 1;
  std::uint32_t start = 0;
};

constexpr std::uint32_t kCdFirstLeadOut = 6750;
constexpr std::uint32_t kCdLaterLeadOut = 2250;
constexpr std::uint32_t kCdLeadIn = 4500;
constexpr std::uint32_t kCdPreGap = 150;
constexpr std::uint32_t kDvdBorderZone = 16384;
constexpr std::uint32_t kDvdEccBlock = 16;

struct DiscState {
  Medium medium = Medium::CdR;
  bool formatted = false;  // DVD+RW only
  bool finalized = false;  // no session can be added
  std::vector<Session> sessions;
  std::vector<Track> tracks;
  BusyState busy;

  // A blank disc of the medium (an unformatted disc for DVD+RW).
  static DiscState Blank(Medium medium);
  // A DVD+RW after FORMAT UNIT: one session, one track over the whole disc.
  static DiscState FormattedDvdPlusRw();
  // A finalised single-session disc holding `blocks` blocks from LBA 0.
  static DiscState Finalized(Medium medium, std::uint32_t blocks);

  const MediumTraits& traits() const { return Traits(medium); }
  std::uint32_t capacity() const { return traits().capacity; }

  DiscStatus status() const;
  SessionState lastSessionState() const;
  // Sessions counted as READ DISC INFORMATION counts them: with the empty
  // session an appendable disc offers next.
  std::uint32_t sessionCountWithNext() const;
  std::uint32_t closedSessionCount() const;

  const Session* openSession() const;
  const Session& session(std::uint32_t number) const { return sessions.at(number - 1); }
  Session& session(std::uint32_t number) { return sessions.at(number - 1); }
  const Track& firstTrackOf(const Session& s) const;
  const Track& lastTrackOf(const Session& s) const;

  // Blocks a track takes on the disc: its reservation, else what was written.
  std::uint32_t trackSize(const Track& t) const { return t.reserved ? t.reserved : t.recorded; }
  std::uint32_t trackEnd(const Track& t) const { return t.start + trackSize(t); }
  // The lead-out of a session starts at the end of its last track.
  std::uint32_t sessionEnd(const Session& s) const { return trackEnd(lastTrackOf(s)); }
  // First writable address of the session after `s` (CD: what B0h reports).
  std::uint32_t nextSessionStart(const Session& s) const;

  std::optional<InvisibleTrack> invisibleTrack() const;
  // The write target whose next writable address is `lba`, if any.
  std::optional<WriteTarget> writeTargetAt(std::uint32_t lba) const;
  // The next writable address a recorder would use first: an open track's,
  // else the invisible track's.
  std::optional<std::uint32_t> nextWritableAddress() const;

  // Every block from lba on for count blocks holds recorded data (or, on a
  // closed track, the padding of its reservation).
  bool readable(std::uint32_t lba, std::uint32_t count) const;

  std::uint32_t freeBlocksFrom(std::uint32_t lba) const {
    return lba < capacity() ? capacity() - lba : 0;
  }

  // A record can be behind the blocks of its last track when the program
  // writing them was killed: a drive that lost power mid-write finds the
  // last block written by looking. An open last track of a sequential
  // medium takes its recorded length from the blocks present (disc.img
  // holding `imageBlocks`), within what the track can hold; it never
  // shrinks.
  void FollowWrittenBlocks(std::uint64_t imageBlocks);
  // The first block past every track (reservations included): disc.img
  // holds no block there unless the record lost some of the disc.
  std::uint32_t recordedEnd() const;
};

// Where a track may start after `t` in the same session.
std::uint32_t StartAfterTrack(const DiscState& disc, const Track& t);

}  // namespace wnaspi::vdrive
