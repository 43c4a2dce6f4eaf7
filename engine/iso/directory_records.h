#pragma once
// Directory records (ECMA-119 9.1) of both trees and how a directory's
// records are packed into its 2048-byte blocks.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/iso/ecma119_fields.h"
#include "engine/iso/image_node.h"

namespace scrivo {

enum class ImageTree { Iso9660, Joliet };

constexpr std::size_t kDotRecordLength = 34;  // "." and "..": 33 bytes + 1-byte identifier
constexpr std::size_t kFirstEntryOffset = 2 * kDotRecordLength;
// A record must leave at least the last byte of its block free.
constexpr std::size_t kLastRecordEnd = 2047;

constexpr bool RecordFits(std::size_t offset, std::size_t length) {
  return offset + length <= kLastRecordEnd;
}

// The length of an entry's record: 33 fixed bytes, the identifier, and
// zero bytes to an even length (ECMA-119 9.1.12 pads an even identifier with
// one byte); an odd identifier is followed by two zero bytes of system use
// area, so every entry record is 34 + n rounded up to even.
constexpr std::size_t EntryRecordLength(std::size_t identifierLength) {
  return 34 + identifierLength + identifierLength % 2;
}

// The identifier an entry carries in `tree` (given by AssignDiscNames): its
// ISO 9660 name, or its Joliet name as UCS-2 big-endian.
std::vector<std::uint8_t> EntryIdentifier(const CImageNode& entry, ImageTree tree);
// A directory's entries in the order of their identifiers in `tree`
// (ECMA-119 9.3), the order of its records and path table records.
std::vector<CImageNode*> EntriesInOrder(const CImageNode& directory, ImageTree tree);

// Where one entry's record goes within its directory's blocks.
struct RecordPlacement {
  CImageNode* entry;
  std::vector<std::uint8_t> identifier;
  std::uint32_t block;  // index within the directory's extent
  std::size_t offset;
  std::size_t length;
  std::size_t section = 0;  // which section of a file of several
};

struct DirectoryPlan {
  std::vector<RecordPlacement> records;  // in the order of the stored names
  std::uint32_t blockCount = 1;
};

// Packs the records of `directory`'s entries after "." and "..": a record
// that would not end by byte 2047 starts the next block.
DirectoryPlan PlanDirectory(const CImageNode& directory, ImageTree tree);

struct RecordFields {
  std::size_t recordLength = 0;
  std::uint32_t extent = 0;
  std::uint32_t dataLength = 0;
  std::uint8_t fileFlags = 0;
  std::span<const std::uint8_t> identifier;
  ecma119::RecordDate recordingDate{};
};

// Writes one record at `at`, whose bytes up to the record's end must be zero.
void PutDirectoryRecord(std::uint8_t* at, const RecordFields& fields);

// The one-byte identifiers of "." and ".." (ECMA-119 6.8.2.2).
constexpr std::uint8_t kSelfIdentifier[1] = {0x00};
constexpr std::uint8_t kParentIdentifier[1] = {0x01};

}  // namespace scrivo
