#pragma once
// Command descriptor blocks of the MMC commands the engine sends, one builder
// per command. Every CDB travels as 12 bytes; bytes a command does not use
// are zero. Multi-byte fields are big-endian, as in every MMC table.

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/bytes/byte_order.h"

namespace scrivo {

using Cdb = std::array<std::uint8_t, 12>;

// Logical block: the unit of every read and write (MMC, 2048 bytes of user
// data per block of a data track).
constexpr std::size_t kLogicalBlockSize = 2048;
// The most blocks one WRITE(10) carries: 32 KiB, what burners send a drive
// per command, and well within what every transport takes in one transfer.
constexpr std::size_t kMaxWriteBlocks = 16;
// The most blocks one READ(10) asks for: 64 KiB, the transfer every
// transport takes in one piece.
constexpr std::size_t kMaxReadBlocks = 32;

// MODE SENSE(10) page control field (SPC, bits 7-6 of byte 2).
enum class PageControl : std::uint8_t { Current = 0x00, Changeable = 0x40, Default = 0x80, Saved = 0xC0 };

// CLOSE TRACK/SESSION close functions (byte 2, bits 2-0).
enum class CloseFunction : std::uint8_t {
  Track = 0x01,  // the track numbered in bytes 4-5
  // CD: as the Multi-session field of the write parameters says. DVD+RW:
  // stop a background format compatibly (lead-in and lead-out written, so
  // other drives read the disc).
  Session = 0x02,
  FinalizeDvdPlusR = 0x06,  // DVD+R: close the session and finalise the disc
};

// BLANK blanking types (byte 1, bits 2-0).
enum class BlankKind : std::uint8_t { Full = 0x00, Minimal = 0x01 };

// GET PERFORMANCE data type 03h: write speed descriptors.
constexpr std::uint8_t kPerformanceWriteSpeed = 0x03;

namespace cdb_detail {
constexpr void PutBE16(Cdb& c, std::size_t at, std::uint16_t v) { bytes::PutBE16(c.data() + at, v); }
constexpr void PutBE32(Cdb& c, std::size_t at, std::uint32_t v) { bytes::PutBE32(c.data() + at, v); }
}  // namespace cdb_detail

// TEST UNIT READY 00h (SPC): no fields.
constexpr Cdb TestUnitReadyCdb() { return Cdb{}; }

// INQUIRY 12h (SPC), standard data: a 6-byte command, allocation length in
// bytes 3-4.
constexpr Cdb InquiryCdb(std::uint8_t allocation) { return Cdb{0x12, 0x00, 0x00, 0x00, allocation}; }

// MODE SENSE(10) 5Ah of one page, without DBD (MMC drives return no block
// descriptor, so the page follows the 8-byte header).
constexpr Cdb ModeSense10Cdb(PageControl control, std::uint8_t page, std::uint16_t allocation) {
  Cdb c{0x5A, 0x00, static_cast<std::uint8_t>(static_cast<std::uint8_t>(control) | page)};
  cdb_detail::PutBE16(c, 7, allocation);
  return c;
}

// MODE SELECT(10) 55h with PF = 1 (the page follows the MMC page format).
constexpr Cdb ModeSelect10Cdb(std::uint16_t listLength) {
  Cdb c{0x55, 0x10};
  cdb_detail::PutBE16(c, 7, listLength);
  return c;
}

// GET CONFIGURATION 46h with RT = 10b: the header and the one named feature.
constexpr Cdb GetConfigurationCdb(std::uint16_t feature, std::uint16_t allocation) {
  Cdb c{0x46, 0x02};
  cdb_detail::PutBE16(c, 2, feature);
  cdb_detail::PutBE16(c, 7, allocation);
  return c;
}

// READ DISC INFORMATION 51h (standard disc information).
constexpr Cdb ReadDiscInformationCdb(std::uint16_t allocation) {
  Cdb c{0x51};
  cdb_detail::PutBE16(c, 7, allocation);
  return c;
}

// READ TOC/PMA/ATIP 43h, format 0010b (full TOC) with the MSF bit set:
// the descriptors give their times as MIN/SEC/FRAME. Session number 0.
constexpr Cdb ReadFullTocCdb(std::uint16_t allocation) {
  Cdb c{0x43, 0x02, 0x02};
  cdb_detail::PutBE16(c, 7, allocation);
  return c;
}

// READ TOC/PMA/ATIP 43h, format 0001b (multi-session information). Byte 1
// is clear: MSF off, so the start address comes as an LBA, and bit 0 is
// reserved (a drive that checks reserved bits refuses the command).
constexpr Cdb ReadSessionInfoCdb(std::uint16_t allocation) {
  Cdb c{0x43, 0x00, 0x01};
  cdb_detail::PutBE16(c, 7, allocation);
  return c;
}

// READ TRACK INFORMATION 52h (MMC, Address/Number Type in byte 1 bits 1-0):
// the track that holds a logical block address, a track by number, or the
// first track of a session by number.
enum class TrackAddress : std::uint8_t { Lba = 0x00, TrackNumber = 0x01, SessionNumber = 0x02 };
constexpr Cdb ReadTrackInformationCdb(TrackAddress type, std::uint32_t value, std::uint16_t allocation) {
  Cdb c{0x52, static_cast<std::uint8_t>(type)};
  cdb_detail::PutBE32(c, 2, value);
  cdb_detail::PutBE16(c, 7, allocation);
  return c;
}

// READ TRACK INFORMATION by track number; track FFh names the invisible
// track, the one the next write goes to.
constexpr std::uint32_t kInvisibleTrack = 0xFF;
constexpr Cdb ReadTrackInformationCdb(std::uint32_t track, std::uint16_t allocation) {
  return ReadTrackInformationCdb(TrackAddress::TrackNumber, track, allocation);
}

// READ FORMAT CAPACITIES 23h: the capacity list header and the current or
// maximum capacity descriptor first.
constexpr Cdb ReadFormatCapacitiesCdb(std::uint16_t allocation) {
  Cdb c{0x23};
  cdb_detail::PutBE16(c, 7, allocation);
  return c;
}

// READ(10) 28h of `blocks` blocks from `lba` (one by default).
constexpr Cdb Read10Cdb(std::uint32_t lba, std::uint16_t blocks = 1) {
  Cdb c{0x28};
  cdb_detail::PutBE32(c, 2, lba);
  cdb_detail::PutBE16(c, 7, blocks);
  return c;
}

// WRITE(10) 2Ah of `blocks` blocks from `lba`.
constexpr Cdb Write10Cdb(std::uint32_t lba, std::uint16_t blocks) {
  Cdb c{0x2A};
  cdb_detail::PutBE32(c, 2, lba);
  cdb_detail::PutBE16(c, 7, blocks);
  return c;
}

// START STOP UNIT 1Bh with LoEj = 1, Start = 0: open the tray.
constexpr Cdb EjectCdb() { return Cdb{0x1B, 0x00, 0x00, 0x00, 0x02}; }

// SET CD SPEED BBh, speeds in kB/s (FFFFh: the drive's maximum).
constexpr Cdb SetCdSpeedCdb(std::uint16_t readSpeed, std::uint16_t writeSpeed) {
  Cdb c{0xBB};
  cdb_detail::PutBE16(c, 2, readSpeed);
  cdb_detail::PutBE16(c, 4, writeSpeed);
  return c;
}

// PREVENT ALLOW MEDIUM REMOVAL 1Eh: Prevent (byte 4 bit 0) locks the tray.
constexpr Cdb PreventAllowMediumRemovalCdb(bool prevent) {
  return Cdb{0x1E, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(prevent ? 0x01 : 0x00)};
}

// Whether a long command ends at once (Immed): the drive then answers NOT
// READY while it works, and the host polls, so no transport timeout (a USB
// bridge's) cuts the flush or the close short.
enum class Immediate : bool { No = false, Yes = true };

// SYNCHRONIZE CACHE(10) 35h of the whole medium; Immed is byte 1 bit 1.
constexpr Cdb SynchronizeCacheCdb(Immediate immediate = Immediate::No) {
  return Cdb{0x35, static_cast<std::uint8_t>(immediate == Immediate::Yes ? 0x02 : 0x00)};
}

// CLOSE TRACK/SESSION 5Bh; Immed is byte 1 bit 0. The track number matters
// only when a track is closed.
constexpr Cdb CloseTrackSessionCdb(CloseFunction function, std::uint16_t track = 0,
                                   Immediate immediate = Immediate::No) {
  Cdb c{0x5B, static_cast<std::uint8_t>(immediate == Immediate::Yes ? 0x01 : 0x00),
        static_cast<std::uint8_t>(function)};
  cdb_detail::PutBE16(c, 4, track);
  return c;
}

// GET PERFORMANCE ACh from LBA 0.
constexpr Cdb GetPerformanceCdb(std::uint16_t maxDescriptors, std::uint8_t type) {
  Cdb c{0xAC};
  cdb_detail::PutBE16(c, 8, maxDescriptors);
  c[10] = type;
  return c;
}

// SET STREAMING B6h with a performance descriptor of listLength bytes.
constexpr Cdb SetStreamingCdb(std::uint16_t listLength) {
  Cdb c{0xB6};
  cdb_detail::PutBE16(c, 9, listLength);
  return c;
}

// RESERVE TRACK 53h of the given number of blocks.
constexpr Cdb ReserveTrackCdb(std::uint32_t blocks) {
  Cdb c{0x53};
  cdb_detail::PutBE32(c, 5, blocks);
  return c;
}

// REQUEST SENSE 03h (a 6-byte command: allocation length in byte 4).
constexpr Cdb RequestSenseCdb(std::uint8_t allocation) { return Cdb{0x03, 0x00, 0x00, 0x00, allocation}; }

// BLANK A1h in immediate mode from address 0.
constexpr Cdb BlankCdb(BlankKind kind) {
  constexpr std::uint8_t kImmediate = 0x10;
  return Cdb{0xA1, static_cast<std::uint8_t>(kImmediate | static_cast<std::uint8_t>(kind))};
}

// The FORMAT UNIT parameter list of a DVD+RW format (MMC, Format Unit
// parameter list and format type 26h): FOV and IMMED set, one descriptor of
// 8 bytes, number of blocks FFFFFFFFh (the whole disc, as MMC asks for this
// format type), format type 26h in bits 7-2 of byte 8.
constexpr std::array<std::uint8_t, 12> kDvdPlusRwFormatList{
    0x00, 0x82, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x26 << 2, 0x00, 0x00, 0x00};

// FORMAT UNIT 04h with FmtData = 1 and format code 001b; byte 8 carries the
// 12-byte length of the parameter list that follows.
constexpr Cdb FormatUnitCdb() {
  Cdb c{0x04, 0x11};
  c[8] = 0x0C;
  return c;
}

}  // namespace scrivo
