#include "platform/aspi/virtual/drive_model.h"

#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "platform/aspi/scsi_opcodes.h"

namespace wnaspi::vdrive {
namespace {

class RealClock final : public DriveClock {
 public:
  Duration Now() override { return std::chrono::steady_clock::now().time_since_epoch(); }
  // This is the drive's own time, which passes for real while the
  // initiator waits for its request.
  void WaitUntil(Duration deadline) override {
    // The default timer slack (50 us) would be a third of a 125-us command.
    thread_local bool precise = ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
    (void)precise;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(deadline);
    const timespec until{static_cast<time_t>(seconds.count()),
                         static_cast<long>((deadline - seconds).count())};
    // steady_clock is CLOCK_MONOTONIC on Linux.
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
  }
};

// Reserved bits of one command's CDB, byte by byte up to its control byte.
// A bit set here is reserved or names something the drive does not do
// (RelAdr, a DESC format, NACA or linked commands), which a drive refuses
// with 05/24/00.
struct CdbRule {
  std::uint8_t opcode;
  std::array<std::uint8_t, 12> reserved;
};

// The control byte: vendor bits 7-6 are free; the reserved bits, NACA and
// the obsolete link bit are refused.
constexpr std::uint8_t C = 0x3D;

// Layouts of MMC-6 (SPC-4 for the primary commands).
constexpr std::array<CdbRule, 22> kCdbRules{{
    // TEST UNIT READY: bytes 1-4 reserved.
    {opcode::kTestUnitReady, {0, 0xFF, 0xFF, 0xFF, 0xFF, C}},
    // REQUEST SENSE: byte 1 bits 7-1 reserved, DESC (no descriptor format).
    {opcode::kRequestSense, {0, 0xFF, 0xFF, 0xFF, 0, C}},
    // FORMAT UNIT: byte 1 bits 7-5 reserved; byte 2 vendor; 3-4 obsolete.
    {opcode::kFormatUnit, {0, 0xE0, 0, 0, 0, C}},
    // INQUIRY: byte 1 bits 7-2 reserved and the obsolete CmdDt.
    {opcode::kInquiry, {0, 0xFE, 0, 0, 0, C}},
    // START STOP UNIT: byte 1 bits 7-1, byte 2, byte 3 bits 7-4, byte 4 bit 3.
    {opcode::kStartStopUnit, {0, 0xFE, 0xFF, 0xF0, 0x08, C}},
    // PREVENT ALLOW MEDIUM REMOVAL: bytes 1-3, byte 4 bits 7-2.
    {opcode::kPreventAllowMediumRemoval, {0, 0xFF, 0xFF, 0xFF, 0xFC, C}},
    // READ FORMAT CAPACITIES: 1-6.
    {opcode::kReadFormatCapacities, {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, C}},
    // READ(10), WRITE(10): byte 1 bits 7-5, 2, 1 and the obsolete RelAdr;
    // byte 6 bits 7-5.
    {opcode::kRead10, {0, 0xE7, 0, 0, 0, 0, 0xE0, 0, 0, C}},
    {opcode::kWrite10, {0, 0xE7, 0, 0, 0, 0, 0xE0, 0, 0, C}},
    // SYNCHRONIZE CACHE(10): byte 1 bits 7-2 and RelAdr; byte 6.
    {opcode::kSynchronizeCache, {0, 0xFD, 0, 0, 0, 0, 0xFF, 0, 0, C}},
    // READ TOC/PMA/ATIP: byte 1 bits 7-2 and 0; byte 2 bits 7-4; 3-5.
    {opcode::kReadToc, {0, 0xFD, 0xF0, 0xFF, 0xFF, 0xFF, 0, 0, 0, C}},
    // GET CONFIGURATION: byte 1 bits 7-2; 4-6.
    {opcode::kGetConfiguration, {0, 0xFC, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, C}},
    // READ DISC INFORMATION: byte 1 bits 7-3; 2-6.
    {opcode::kReadDiscInformation, {0, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, C}},
    // READ TRACK INFORMATION: byte 1 bits 7-3; 6.
    {opcode::kReadTrackInformation, {0, 0xF8, 0, 0, 0, 0, 0xFF, 0, 0, C}},
    // RESERVE TRACK: byte 1 bits 7-1; with ARSV clear bytes 2-4 (checked
    // for the size form, the only one this drive takes).
    {opcode::kReserveTrack, {0, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, C}},
    // MODE SELECT(10): byte 1 bits 7-5 and 3-1; 2-6.
    {opcode::kModeSelect10, {0, 0xEE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, C}},
    // MODE SENSE(10): byte 1 bits 7-5 and 2-0; 4-6.
    {opcode::kModeSense10, {0, 0xE7, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, C}},
    // CLOSE TRACK/SESSION: byte 1 bits 7-1; byte 2 bits 7-3; 3; 6-8.
    {opcode::kCloseTrackSession, {0, 0xFE, 0xF8, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, C}},
    // BLANK: byte 1 bits 7-5 and 3; 6-10.
    {opcode::kBlank, {0, 0xE8, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, C}},
    // GET PERFORMANCE: byte 1 bits 7-5; 6-7.
    {opcode::kGetPerformance, {0, 0xE0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, C}},
    // SET STREAMING: 1-7.
    {opcode::kSetStreaming, {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, C}},
    // SET CD SPEED: byte 1 bits 7-2; 6-10.
    {opcode::kSetCdSpeed, {0, 0xFC, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, C}},
}};

struct ParameterRule {
  std::uint8_t opcode;
  std::array<std::uint8_t, 6> reserved;
};
constexpr std::array<ParameterRule, 3> kParameterRules{{
    {opcode::kModeSelect10, {0xFF, 0xFF, 0, 0, 0xFF, 0xFF}},
    {opcode::kFormatUnit, {0xFF, 0, 0, 0, 0, 0}},
    {opcode::kSetStreaming, {0xE0, 0xFF, 0xFF, 0xFF, 0, 0}},
}};

}  // namespace

bool ReservedParameterBitsSet(std::uint8_t op, std::span<const std::uint8_t> list) {
  for (const ParameterRule& rule : kParameterRules) {
    if (rule.opcode != op) continue;
    for (std::size_t i = 0; i < std::min(list.size(), rule.reserved.size()); ++i) {
      if (list[i] & rule.reserved[i]) return true;
    }
  }
  return false;
}

DriveClock& DriveClock::Real() {
  static RealClock clock;
  return clock;
}

bool ReservedBitsSet(std::span<const std::uint8_t> cdb) {
  if (cdb.empty()) return false;
  const std::size_t length = std::min(opcode::CdbLength(cdb[0]), cdb.size());
  for (const CdbRule& rule : kCdbRules) {
    if (rule.opcode != cdb[0]) continue;
    // Bytes past the command's own length (a 6-byte CDB sent in 12) are
    // not part of it.
    for (std::size_t i = 1; i < length; ++i) {
      if (cdb[i] & rule.reserved[i]) return true;
    }
    return false;
  }
  return false;
}

DriveClock::Duration WriteBuffer::Time(std::uint64_t bytes) const {
  return std::chrono::nanoseconds(bytes * 1'000'000'000 / bytesPerSecond_);
}

bool WriteBuffer::Drain(DriveClock::Duration now) {
  const auto elapsed = std::max(now - last_, DriveClock::Duration::zero());
  const std::uint64_t recorded =
      static_cast<std::uint64_t>(elapsed.count()) * bytesPerSecond_ / 1'000'000'000;
  last_ = now;
  const bool dry = recorded > level_;
  level_ = dry ? 0 : level_ - recorded;
  return dry;
}

WriteBuffer::Outcome WriteBuffer::Write(std::uint64_t bytes, bool protect) {
  const auto now = clock_.Now();
  if (recording_ && Drain(now)) {
    // The buffer ran dry: recording stopped between two blocks.
    recording_ = false;
    ++dryStops_;
    if (!protect) {
      ++underruns_;
      Reset();
      return Outcome::Underrun;
    }
  }
  level_ += bytes;
  if (!recording_ && level_ >= capacity_) {
    // Recording starts (again) once the buffer is full.
    recording_ = true;
    last_ = now;
  }
  if (level_ > capacity_) {
    // A full buffer holds the command until the disc has taken the excess.
    const auto until = now + Time(level_ - capacity_);
    clock_.WaitUntil(until);
    Drain(until);
  }
  return Outcome::Taken;
}

void WriteBuffer::Flush() {
  if (level_ == 0) return;
  const auto now = clock_.Now();
  if (recording_) Drain(now);
  clock_.WaitUntil(now + Time(level_));
  Reset();
}

}  // namespace wnaspi::vdrive
