#include "engine/iso/rock_ridge_fields.h"

#include "platform/bytes/byte_order.h"

namespace scrivo::rrip {
namespace {

// SUSP 5.1: every entry starts with a two-byte signature, its length
// (header included) and a version.
constexpr std::size_t kEntryHeader = 4;
// SP's check bytes (SUSP 5.3).
constexpr std::uint8_t kCheck0 = 0xBE;
constexpr std::uint8_t kCheck1 = 0xEF;
// NM flags (RRIP 4.1.4): CURRENT and PARENT name no entry. A name split
// over several NM entries (CONTINUE) is their bytes joined in order.
constexpr std::uint8_t kNameCurrentOrParent = 0x06;

bool Is(std::span<const std::uint8_t> entry, const char (&signature)[3]) {
  return entry[0] == signature[0] && entry[1] == signature[1];
}

// A both-byte-order 32-bit field (ECMA-119 7.3.3) at `at` of `entry`;
// the little-endian half is read.
std::optional<std::uint32_t> Both32(std::span<const std::uint8_t> entry, std::size_t at) {
  if (at + 8 > entry.size()) return std::nullopt;
  return bytes::GetLE32(entry.data() + at);
}

}  // namespace

std::optional<std::uint8_t> SuspIndicatorSkip(std::span<const std::uint8_t> rootSystemUse) {
  // SP: "SP", length 7, version 1, BE EF, LEN_SKP.
  if (rootSystemUse.size() < 7 || !Is(rootSystemUse, "SP") || rootSystemUse[2] < 7 ||
      rootSystemUse[4] != kCheck0 || rootSystemUse[5] != kCheck1) {
    return std::nullopt;
  }
  return rootSystemUse[6];
}

void ReadEntries(std::span<const std::uint8_t> area, RecordFields& fields) {
  while (area.size() >= kEntryHeader) {
    const std::size_t length = area[2];
    if (length < kEntryHeader || length > area.size()) return;
    const auto entry = area.first(length);
    area = area.subspan(length);
    if (Is(entry, "ST")) return;
    if (Is(entry, "PX") || Is(entry, "PN") || Is(entry, "SL") || Is(entry, "NM") || Is(entry, "TF")) {
      fields.carried.insert(fields.carried.end(), entry.begin(), entry.end());
    }
    if (Is(entry, "NM") && length >= 5) {
      const std::uint8_t flags = entry[4];
      if ((flags & kNameCurrentOrParent) != 0) continue;  // "." or "..": not a name
      fields.hasName = true;
      fields.name.append(entry.begin() + 5, entry.end());
    } else if (Is(entry, "PX")) {
      fields.mode = Both32(entry, 4);
    } else if (Is(entry, "CL")) {
      fields.childLink = Both32(entry, 4);
    } else if (Is(entry, "RE")) {
      fields.relocated = true;
    } else if (Is(entry, "CE")) {
      const auto block = Both32(entry, 4);
      const auto offset = Both32(entry, 12);
      const auto size = Both32(entry, 20);
      if (block && offset && size) fields.continuation = RecordFields::Continuation{*block, *offset, *size};
    }
  }
}

FileType TypeOf(std::uint32_t mode) {
  switch (mode & 0170000) {
    case 0100000: return FileType::Regular;
    case 0040000: return FileType::Directory;
    case 0120000: return FileType::SymbolicLink;
    case 0010000: return FileType::Fifo;
    case 0020000:
    case 0060000: return FileType::Device;
    case 0140000: return FileType::Socket;
    default: return FileType::Unknown;
  }
}

const char* Describe(FileType type) {
  switch (type) {
    case FileType::SymbolicLink: return "a symbolic link";
    case FileType::Fifo: return "a FIFO";
    case FileType::Device: return "a device";
    case FileType::Socket: return "a socket";
    case FileType::Regular:
    case FileType::Directory:
    case FileType::Unknown: break;
  }
  return "a special file";
}

}  // namespace scrivo::rrip
