#pragma once
// Reading directory records (ECMA-119 9.1) from a disc's blocks. The bytes
// come from a disc the engine did not necessarily write, so nothing in them
// is trusted: every length is checked against the block before it is used.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/iso/directory_records.h"
#include "engine/iso/ecma119_fields.h"
#include "engine/iso/image_block.h"

namespace scrivo {

// ECMA-119 9.1: 33 fixed bytes and an identifier of at least one byte.
constexpr std::size_t kSmallestDirectoryRecord = 34;

// One well-formed record of a directory block; `identifier` points into the
// block it was read from.
struct DiscRecord {
  std::size_t indexInBlock = 0;  // counts every record walked, from 0
  std::uint32_t extent = 0;
  std::uint32_t dataLength = 0;
  std::uint8_t fileFlags = 0;
  // Blocks of extended attributes before the data (ECMA-119 9.1.2, 6.5.3).
  std::uint8_t extendedAttributeLength = 0;
  std::span<const std::uint8_t> identifier;
  // What follows the identifier and its padding (ECMA-119 9.1.13): Rock
  // Ridge's entries, on discs that have them.
  std::span<const std::uint8_t> systemUse;
  // When the entry was recorded (ECMA-119 9.1.5), kept for the new session.
  ecma119::RecordDate recordingDate{};

  // Where the contents start: after the extended attribute record.
  std::uint64_t DataStart() const { return std::uint64_t{extent} + extendedAttributeLength; }
};

// The records of one directory block, in order. The walk ends at a zero
// length byte (the rest of the block is padding) and also at a length that
// cannot start a record (shorter than 34 bytes or odd, ECMA-119 9.1.1 and
// 9.1.12) or that runs past the block: where the next record starts is then
// unknown. A record whose identifier is empty or does not fit inside the
// record is left out, and the walk goes on after it.
std::vector<DiscRecord> ReadDirectoryBlock(std::span<const std::uint8_t, kBlockSize> block);

// The stored name of a record's identifier: a Joliet identifier is UCS-2
// big-endian converted to the narrow charset (an odd trailing byte is
// ignored), an ISO 9660 identifier is taken byte for byte, version suffix
// included. Never longer than what the record holds (at most 222 bytes, or
// three narrow bytes per Joliet unit).
std::string StoredNameOf(std::span<const std::uint8_t> identifier, ImageTree tree);
// A Joliet identifier's UCS-2 big-endian units (an odd trailing byte is
// ignored).
std::u16string JolietUnitsOf(std::span<const std::uint8_t> identifier);

}  // namespace scrivo
