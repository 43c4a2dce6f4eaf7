#pragma once
// The ECMA-119 structures this engine writes, each declared once with its
// exact byte layout. Every member is a byte array or a typed field of byte
// arrays, so the structures have alignment 1 and no padding; they are built
// as values and copied into (or out of) 2048-byte blocks with memcpy.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/iso/ecma119_fields.h"

namespace scrivo::ecma119 {

constexpr std::uint8_t kPrimaryDescriptorType = 1;        // 8.4.1
constexpr std::uint8_t kSupplementaryDescriptorType = 2;  // 8.5.1
constexpr std::uint8_t kTerminatorDescriptorType = 255;   // 8.3.1
constexpr std::string_view kStandardIdentifier = "CD001";

// ECMA-119 8.4 (primary) and 8.5 (supplementary) volume descriptor: the two
// share one layout; byte 7 and bytes 88-119 are unused in the primary one.
struct VolumeDescriptor {
  std::uint8_t type;
  TextField<5> standardIdentifier;
  std::uint8_t version;
  std::uint8_t volumeFlags;
  TextField<32> systemIdentifier;
  TextField<32> volumeIdentifier;
  TextField<8> unused72;
  BothEndian32 volumeSpaceSize;
  TextField<32> escapeSequences;
  BothEndian16 volumeSetSize;
  BothEndian16 volumeSequenceNumber;
  BothEndian16 logicalBlockSize;
  BothEndian32 pathTableSize;
  LittleEndian32 typeLPathTable;
  LittleEndian32 optionalTypeLPathTable;
  BigEndian32 typeMPathTable;
  BigEndian32 optionalTypeMPathTable;
  TextField<34> rootDirectoryRecord;
  TextField<128> volumeSetIdentifier;
  TextField<128> publisherIdentifier;
  TextField<128> dataPreparerIdentifier;
  TextField<128> applicationIdentifier;
  TextField<37> copyrightFileIdentifier;
  TextField<37> abstractFileIdentifier;
  TextField<37> bibliographicFileIdentifier;
  TextField<17> creationDate;
  TextField<17> modificationDate;
  TextField<17> expirationDate;
  TextField<17> effectiveDate;
  std::uint8_t fileStructureVersion;
  std::uint8_t reserved882;
  TextField<512> applicationUse;
  TextField<653> reserved1395;
};
static_assert(sizeof(VolumeDescriptor) == 2048);
static_assert(offsetof(VolumeDescriptor, volumeSpaceSize) == 80);
static_assert(offsetof(VolumeDescriptor, pathTableSize) == 132);
static_assert(offsetof(VolumeDescriptor, rootDirectoryRecord) == 156);
static_assert(offsetof(VolumeDescriptor, applicationIdentifier) == 574);
static_assert(offsetof(VolumeDescriptor, creationDate) == 813);
static_assert(offsetof(VolumeDescriptor, fileStructureVersion) == 881);
static_assert(offsetof(VolumeDescriptor, reserved1395) == 1395);

// ECMA-119 9.1: the fixed part of a directory record; the file identifier
// and its padding byte follow it.
struct DirectoryRecordHeader {
  std::uint8_t recordLength;
  std::uint8_t extendedAttributeLength;
  BothEndian32 extent;
  BothEndian32 dataLength;
  TextField<7> recordingDate;
  std::uint8_t fileFlags;
  std::uint8_t fileUnitSize;
  std::uint8_t interleaveGapSize;
  BothEndian16 volumeSequenceNumber;
  std::uint8_t identifierLength;
};
static_assert(sizeof(DirectoryRecordHeader) == 33);
static_assert(offsetof(DirectoryRecordHeader, extent) == 2);
static_assert(offsetof(DirectoryRecordHeader, fileFlags) == 25);
static_assert(offsetof(DirectoryRecordHeader, identifierLength) == 32);

constexpr std::size_t kDirectoryRecordExtentOffset = offsetof(DirectoryRecordHeader, extent);

// ECMA-119 9.1.6 file flags.
constexpr std::uint8_t kFlagHidden = 0x01;
constexpr std::uint8_t kFlagDirectory = 0x02;
constexpr std::uint8_t kFlagAssociated = 0x04;
constexpr std::uint8_t kFlagMultiExtent = 0x80;

// ECMA-119 9.4: the fixed part of a path table record; type L tables hold
// the numbers little-endian, type M tables big-endian.
template <class Field32, class Field16>
struct PathTableRecordHeader {
  std::uint8_t identifierLength;
  std::uint8_t extendedAttributeLength;
  Field32 extent;
  Field16 parentNumber;
};
using PathTableRecordL = PathTableRecordHeader<LittleEndian32, LittleEndian16>;
using PathTableRecordM = PathTableRecordHeader<BigEndian32, BigEndian16>;
static_assert(sizeof(PathTableRecordL) == 8 && sizeof(PathTableRecordM) == 8);

}  // namespace scrivo::ecma119
