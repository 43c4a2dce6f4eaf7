#pragma once
// Directory records (ECMA-119 9.1) of both trees and how a directory's
// records are packed into its 2048-byte blocks.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/iso/ecma119_fields.h"
#include "engine/iso/image_node.h"
#include "engine/iso/rock_ridge_writer.h"

namespace scrivo {

enum class ImageTree { Iso9660, Joliet };

constexpr std::size_t kDotRecordLength = 34;  // "." and "..": 33 bytes + 1-byte identifier
// A record must leave at least the last byte of its block free.
constexpr std::size_t kLastRecordEnd = 2047;
// The longest record: its length is one byte, and even (ECMA-119 9.1.1).
constexpr std::size_t kLongestRecord = 254;

constexpr bool RecordFits(std::size_t offset, std::size_t length) {
  return offset + length <= kLastRecordEnd;
}

// The length of a record up to its system use area: 33 fixed bytes, the
// identifier, and a zero byte after an even identifier (ECMA-119 9.1.12).
constexpr std::size_t RecordHeadLength(std::size_t identifierLength) {
  return 33 + identifierLength + (identifierLength + 1) % 2;
}

// The identifier an entry carries in `tree` (given by AssignDiscNames): its
// ISO 9660 name, or its Joliet name as UCS-2 big-endian.
std::vector<std::uint8_t> EntryIdentifier(const CImageNode& entry, ImageTree tree);
// A directory's entries in the order of their identifiers in `tree`
// (ECMA-119 9.3), the order of its records and path table records.
std::vector<CImageNode*> EntriesInOrder(const CImageNode& directory, ImageTree tree);

enum class RecordRole { Self, Parent, Entry };

// One record a directory lists, before it is placed: the directory itself,
// its parent, or an entry (a file of several sections has one record for
// each), with the system use entries it carries.
struct ListedRecord {
  const CImageNode* entry;
  RecordRole role = RecordRole::Entry;
  std::vector<std::uint8_t> identifier;
  std::size_t section = 0;
  std::vector<std::uint8_t> systemUse;
};

// Where one record goes within its directory's blocks, and where the
// system use entries that did not fit in it go: continuation areas in the
// blocks that follow the directory's own.
struct RecordPlacement {
  ListedRecord listed;
  std::uint32_t block = 0;  // index within the directory's extent
  std::size_t offset = 0;
  std::size_t length = 0;
  std::vector<std::uint8_t> inside;  // the system use area in the record
  struct Continued {
    std::vector<std::uint8_t> bytes;
    std::uint32_t block = 0;  // index among the directory's continuation blocks
    std::size_t offset = 0;
  };
  std::vector<Continued> continued;
};

struct DirectoryPlan {
  std::vector<RecordPlacement> records;  // in the order listed
  std::uint32_t blockCount = 1;
  std::uint32_t continuationBlocks = 0;
};

// Packs the records in order: a record that would not end by byte 2047
// starts the next block; system use entries that do not fit a record of
// kLongestRecord bytes go to continuation areas, packed into whole blocks.
DirectoryPlan PlanDirectory(std::vector<ListedRecord> listed);

struct RecordFields {
  std::size_t recordLength = 0;
  std::uint32_t extent = 0;
  std::uint32_t dataLength = 0;
  std::uint8_t fileFlags = 0;
  std::span<const std::uint8_t> identifier;
  ecma119::RecordDate recordingDate{};
  std::span<const std::uint8_t> systemUse;
};

// Writes one record at `at`, whose bytes up to the record's end must be zero.
void PutDirectoryRecord(std::uint8_t* at, const RecordFields& fields);

// The one-byte identifiers of "." and ".." (ECMA-119 6.8.2.2).
constexpr std::uint8_t kSelfIdentifier[1] = {0x00};
constexpr std::uint8_t kParentIdentifier[1] = {0x01};

}  // namespace scrivo
