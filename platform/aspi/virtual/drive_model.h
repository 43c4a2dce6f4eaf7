#pragma once
// How closely a virtual writer models a real drive, and the parts of that
// model that stand apart from the disc: the reserved bits of each command's
// CDB, the drive's clock, and its write buffer.
//
// Strict mode makes the writer check what a careful MMC drive checks: every
// reserved bit and invalid field of the CDBs it answers (05/24/00), page 05h
// against the medium (05/26/00), the track and alignment rules of the
// medium. The buffer model and media recognition are separate settings, off
// unless configured.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/aspi/sense.h"

namespace wnaspi::vdrive {

struct DriveModel {
  bool strict = true;
  // The drive holds, and reports as its default, the write parameters page
  // another program left (ForeignWriteParameters).
  bool foreignPage = false;
  std::uint32_t rateKBps = 0;    // recording rate of the buffer model; 0: no model
  std::uint32_t bufferKiB = 2048;
  std::uint32_t recognitionCommands = 0;  // 02/04/01 answers after the tray closes
};

// The drive's own time. The real one reads the monotonic clock and sleeps;
// a test installs one whose time moves only when told, so the buffer model
// runs without waiting.
class DriveClock {
 public:
  using Duration = std::chrono::nanoseconds;
  virtual ~DriveClock() = default;
  virtual Duration Now() = 0;
  // Holds the calling command until the drive's time reaches `deadline`.
  virtual void WaitUntil(Duration deadline) = 0;
  static DriveClock& Real();
};

// Whether `cdb` has a reserved bit set or a field no drive accepts, by the
// opcode's table of reserved bits. Opcodes without a table pass.
bool ReservedBitsSet(std::span<const std::uint8_t> cdb);

// Whether the start of the parameter list a command sent has a reserved bit
// set (05/26/00): the mode parameter header of MODE SELECT (its mode data
// length is reserved there), the FORMAT UNIT list header, the SET STREAMING
// performance descriptor's flags.
bool ReservedParameterBitsSet(std::uint8_t opcode, std::span<const std::uint8_t> list);

// The drive's write buffer: blocks arrive with WRITE and leave for the disc
// at the recording rate once recording has started, which it does when the
// buffer is full (or at the flush). When the buffer runs dry before the
// host's next WRITE, recording stops: with buffer underrun protection (BUFE)
// the drive waits until the buffer is full again and goes on, without it
// the track is ruined. A WRITE that finds the buffer full is held until
// there is room, as a drive holds it.
class WriteBuffer {
 public:
  WriteBuffer(std::uint32_t rateKBps, std::uint32_t bufferKiB, DriveClock& clock)
      : bytesPerSecond_(std::uint64_t{rateKBps} * 1000), capacity_(std::uint64_t{bufferKiB} * 1024),
        clock_(clock) {}
  bool enabled() const { return bytesPerSecond_ > 0; }

  enum class Outcome { Taken, Underrun };
  // `bytes` arrive; `protect` is BUFE. Holds the caller while the buffer is
  // full.
  Outcome Write(std::uint64_t bytes, bool protect);
  // SYNCHRONIZE CACHE: holds the caller until the buffer is recorded; the
  // drive stops recording.
  void Flush();
  // Recording stops with the buffer dropped (a ruined track, a new disc).
  void Reset() { level_ = 0, recording_ = false; }
  std::uint64_t underruns() const { return underruns_; }
  // Every time recording stopped because the buffer ran dry, BUFE or not.
  std::uint64_t dryStops() const { return dryStops_; }

 private:
  // Brings the level to `now`: what was recorded since the last look is
  // gone from the buffer. True when the buffer ran dry in between.
  bool Drain(DriveClock::Duration now);
  DriveClock::Duration Time(std::uint64_t bytes) const;

  std::uint64_t bytesPerSecond_;
  std::uint64_t capacity_;
  DriveClock& clock_;
  bool recording_ = false;
  std::uint64_t level_ = 0;
  DriveClock::Duration last_{};
  std::uint64_t underruns_ = 0;
  std::uint64_t dryStops_ = 0;
};

}  // namespace wnaspi::vdrive
