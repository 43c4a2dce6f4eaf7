#pragma once
// The two mode pages of a virtual writer (MMC 7.5 and the CD/DVD
// Capabilities and Mechanical Status page of MMC-3 5.5.10): the Write
// Parameters page 05h, which the initiator changes with MODE SELECT, and the
// capabilities page 2Ah, which it only reads.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/aspi/sense.h"
#include "platform/aspi/virtual/medium.h"

namespace wnaspi::vdrive {

constexpr std::uint8_t kWriteParametersPageCode = 0x05;
constexpr std::uint8_t kCapabilitiesPageCode = 0x2A;
constexpr std::uint8_t kAllPagesCode = 0x3F;

// Page code, page length 32h, 50 bytes of parameters.
constexpr std::size_t kWriteParametersPageSize = 52;
using WriteParametersPage = std::array<std::uint8_t, kWriteParametersPageSize>;

WriteParametersPage DefaultWriteParameters();
// The page another program left and saved: session at once, test write,
// BUFE off, LS_V on, packet writing of Mode 2 blocks in a CD-ROM XA
// session, PS set. Nothing of it may reach a recording of this engine.
WriteParametersPage ForeignWriteParameters();
// With `testWrite` the Test Write bit is changeable (strict mode models it).
WriteParametersPage ChangeableWriteParameters(bool testWrite = false);

// The fields of page 05h a recording depends on.
struct WriteParameters {
  std::uint8_t writeType;      // byte 2 bits 3-0: 0 packet/incremental, 1 TAO, 2 SAO/DAO, 3 raw
  bool bufe;                   // byte 2 bit 6: buffer underrun protection
  bool testWrite;              // byte 2 bit 4
  std::uint8_t multiSession;   // byte 3 bits 7-6
  std::uint8_t trackMode;      // byte 3 bits 3-0
  std::uint8_t dataBlockType;  // byte 4 bits 3-0
  std::uint8_t linkSize;       // byte 5
  std::uint8_t sessionFormat;  // byte 8
};
WriteParameters ReadWriteParameters(const WriteParametersPage& page);

namespace write_type {
constexpr std::uint8_t kIncremental = 0;
constexpr std::uint8_t kTrackAtOnce = 1;
constexpr std::uint8_t kSessionAtOnce = 2;
constexpr std::uint8_t kRaw = 3;
}  // namespace write_type
constexpr std::uint8_t kMultiSessionNextAllowed = 3;
constexpr std::uint8_t kMultiSessionNoNextFf = 1;

// Checks a page sent with MODE SELECT against the current page: only
// changeable bits may differ, and the values must be ones MMC defines. The
// page must be complete (page code 05h, page length 32h).
std::optional<Sense> CheckWriteParameters(std::span<const std::uint8_t> page,
                                          const WriteParametersPage& current,
                                          bool testWrite = false);
// What a careful drive checks besides (05/26/00 for each): PS clear, a write
// type the medium is recorded with (CD: packet, TAO, SAO, raw; DVD-R/-RW:
// incremental or disc-at-once; DVD+R/+RW take no write type and no test
// write), Mode 1 data blocks in a data track mode, a session format MMC
// defines, and a fixed packet size only with packet writing.
std::optional<Sense> CheckWriteParametersStrictly(std::span<const std::uint8_t> page,
                                                  std::optional<Medium> medium);

// Page 2Ah as this drive reports it. `medium` selects the write speed
// descriptors (those of a CD-R without a disc).
struct Speeds {
  std::uint16_t currentRead;
  std::uint16_t currentWrite;
};
std::vector<std::uint8_t> CapabilitiesPage(std::optional<Medium> medium, Speeds speeds,
                                           bool testWrite = false);
std::vector<std::uint8_t> ChangeableCapabilitiesPage(std::optional<Medium> medium);

// The drive's maximum speeds in page 2Ah's (obsolete) speed fields, kB/s: 48x CD.
constexpr std::uint16_t kMaxReadSpeed = 8467;
constexpr std::uint16_t kMaxWriteSpeed = 8467;

}  // namespace wnaspi::vdrive
