#pragma once
// The media a virtual writer can hold and what MMC says about each: its
// profile, its capacity, and how it is recorded.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace wnaspi::vdrive {

// The last three are media the engine refuses to write (a DVD-RW in
// restricted overwrite, a BD-R, a BD-RE): a writer holds them so that the
// refusal is tried as a drive would present them.
enum class Medium : std::uint8_t { CdR, CdRw, DvdMinusR, DvdMinusRw, DvdPlusR, DvdPlusRw, DvdMinusRwOverwrite, BdR, BdRe };

struct MediumTraits {
  std::string_view name;  // as written in WNASPI32_VIRTUAL_WRITERS and the state file
  std::uint16_t profile;  // MMC profile number (GET CONFIGURATION)
  std::uint32_t capacity; // user data blocks of 2048 bytes
  bool cd;
  bool erasable;          // BLANK (CD-RW, DVD-RW) or FORMAT UNIT (DVD+RW) can erase it
  bool randomWritable;    // DVD+RW: written anywhere once formatted
  bool reservable;        // RESERVE TRACK applies (DVD-R, DVD-RW, DVD+R)
  bool blankable;         // BLANK applies (CD-RW, DVD-RW sequential)
  // Write speeds in kB/s, fastest first, as GET PERFORMANCE lists them.
  std::span<const std::uint16_t> writeSpeeds;
  std::uint16_t readSpeed; // kB/s
};

const MediumTraits& Traits(Medium medium);
std::optional<Medium> MediumFromName(std::string_view name);

// 80-minute CD: 80 × 60 × 75 blocks. Single-layer DVD±R/RW: 2,295,104 blocks.
// Single-layer BD: 12,219,392 blocks (25 GB).
constexpr std::uint32_t kCdCapacity = 360000;
constexpr std::uint32_t kDvdCapacity = 2295104;
constexpr std::uint32_t kBdCapacity = 12219392;

// MMC profile numbers (MMC-5, table 89).
namespace profile {
constexpr std::uint16_t kNone = 0x0000;
constexpr std::uint16_t kCdR = 0x0009;
constexpr std::uint16_t kCdRw = 0x000A;
constexpr std::uint16_t kDvdMinusRSequential = 0x0011;
constexpr std::uint16_t kDvdMinusRwRestrictedOverwrite = 0x0013;
constexpr std::uint16_t kDvdMinusRwSequential = 0x0014;
constexpr std::uint16_t kDvdPlusRw = 0x001A;
constexpr std::uint16_t kDvdPlusR = 0x001B;
constexpr std::uint16_t kBdRSequential = 0x0041;
constexpr std::uint16_t kBdRe = 0x0043;
}  // namespace profile

}  // namespace wnaspi::vdrive
