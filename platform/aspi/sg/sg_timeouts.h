#pragma once
// Command timeouts for real drives, in milliseconds. Ordinary commands get
// tens of seconds; commands that may wait for the disc get minutes: a
// WRITE can stall while the drive calibrates its laser, SYNCHRONIZE CACHE
// and CLOSE TRACK/SESSION write lead-outs and finalise DVDs, and BLANK and
// FORMAT UNIT sent without the immediate bit run until the disc is erased.

#include <cstdint>

namespace wnaspi::sg {

constexpr unsigned kOrdinaryTimeoutMs = 30'000;
constexpr unsigned kReadTimeoutMs = 60'000;
constexpr unsigned kMechanismTimeoutMs = 60'000;  // START STOP UNIT: tray and spin-up
constexpr unsigned kReserveTimeoutMs = 120'000;
constexpr unsigned kWriteTimeoutMs = 180'000;
constexpr unsigned kSynchronizeTimeoutMs = 600'000;
constexpr unsigned kCloseTimeoutMs = 900'000;
constexpr unsigned kEraseTimeoutMs = 5'400'000;  // an 80-minute CD-RW blanked at 1x

unsigned CommandTimeoutMs(std::uint8_t opcode);

}  // namespace wnaspi::sg
