#pragma once
// The loaded medium as the drive names it: the current profile of GET
// CONFIGURATION (MMC profile numbers), and the kinds of medium the engine
// tells apart by it.

#include <cstdint>

namespace scrivo {

namespace profile {
constexpr std::uint16_t kNone = 0x0000;
constexpr std::uint16_t kCdRom = 0x0008;
constexpr std::uint16_t kCdR = 0x0009;
constexpr std::uint16_t kCdRw = 0x000A;
constexpr std::uint16_t kDvdRom = 0x0010;
constexpr std::uint16_t kDvdMinusRSequential = 0x0011;
constexpr std::uint16_t kDvdRam = 0x0012;
constexpr std::uint16_t kDvdMinusRwRestrictedOverwrite = 0x0013;
constexpr std::uint16_t kDvdMinusRwSequential = 0x0014;
constexpr std::uint16_t kDvdMinusRDualLayerSequential = 0x0015;
constexpr std::uint16_t kDvdMinusRDualLayerJump = 0x0016;
constexpr std::uint16_t kDvdPlusRw = 0x001A;
constexpr std::uint16_t kDvdPlusR = 0x001B;
constexpr std::uint16_t kDvdPlusRwDualLayer = 0x002A;
constexpr std::uint16_t kDvdPlusRDualLayer = 0x002B;
constexpr std::uint16_t kBdRom = 0x0040;
constexpr std::uint16_t kBdRSequential = 0x0041;
constexpr std::uint16_t kBdRRandom = 0x0042;
constexpr std::uint16_t kBdRe = 0x0043;
}  // namespace profile

// How the free space of the medium is found and whether a burn may start.
enum class MediumKind {
  Unknown,                 // no profile (an older drive): handled as a CD
  Cd,                      // CD-R/-RW (and CD-ROM)
  DvdMinusSequential,      // DVD-R, DVD-RW in sequential recording
  DvdMinusRwOverwrite,     // DVD-RW in restricted overwrite
  DvdPlusR,                // DVD+R (also double layer)
  DvdPlusRw,               // DVD+RW (also double layer)
  OtherDvd,                // DVD-ROM, DVD-RAM
  Bd,                      // any BD
};

constexpr MediumKind KindOfProfile(std::uint16_t number) {
  switch (number) {
    case profile::kCdRom:
    case profile::kCdR:
    case profile::kCdRw:
      return MediumKind::Cd;
    case profile::kDvdMinusRSequential:
    case profile::kDvdMinusRwSequential:
    case profile::kDvdMinusRDualLayerSequential:
      return MediumKind::DvdMinusSequential;
    case profile::kDvdMinusRwRestrictedOverwrite:
      return MediumKind::DvdMinusRwOverwrite;
    case profile::kDvdPlusR:
    case profile::kDvdPlusRDualLayer:
      return MediumKind::DvdPlusR;
    case profile::kDvdPlusRw:
    case profile::kDvdPlusRwDualLayer:
      return MediumKind::DvdPlusRw;
    case profile::kDvdRom:
    case profile::kDvdRam:
    case profile::kDvdMinusRDualLayerJump:
      return MediumKind::OtherDvd;
    default:
      break;
  }
  if (number >= profile::kBdRom && number <= 0x004F) return MediumKind::Bd;
  return MediumKind::Unknown;
}

}  // namespace scrivo
