#pragma once
// The limits of what a compilation can hold, in one place: the image
// library enforces them, and hosts that look at their inputs before they
// hand them over read them from here rather than keeping copies.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/iso/image_block.h"

namespace scrivo::limits {

// A logical block of the image: the unit of every address and every write.
using scrivo::kBlockSize;
// Blocks before the first volume descriptor (ECMA-119 6.2.1).
constexpr std::uint32_t kSystemAreaBlocks = 16;
// A volume label holds at most this many characters.
constexpr std::size_t kVolumeLabelLength = 15;
// A stored name (the name the user gave) holds at most this many bytes,
// what a name on Linux holds and Rock Ridge carries whole.
constexpr std::size_t kStoredNameLength = 255;
// A Joliet identifier holds at most this many UTF-16 units (the long-Joliet
// length of other tools, 33 + 206 bytes of record); a longer name is
// shortened there.
constexpr std::size_t kJolietNameUnits = 103;
// The version of every ISO 9660 file identifier (ECMA-119 7.5.1).
constexpr std::string_view kVersionSuffix = ";1";
// The size field of a directory record is 32 bits (ECMA-119 9.1.4): a
// file of 4 GiB or more is recorded in sections (ECMA-119 6.5.1), each of
// whole blocks but the last, and only where the disc is a DVD; a CD never
// holds one.
constexpr std::uint64_t kLargestSingleExtent = 0xFFFFFFFFu;
constexpr std::uint32_t kSectionSize = 0xFFFFF800u;  // 4 GiB - 2 KiB
// The largest file a compilation takes at all: one that fits the range of
// block addresses a drive command can name.
constexpr std::uint64_t kLargestFileSize = (std::uint64_t{1} << 31) * kBlockSize - 1;
// ISO 9660 directories deeper than this are not laid out (ECMA-119 6.8.2.1:
// at most eight levels, the root being level 1); the Joliet tree holds them.
constexpr std::int32_t kIsoDepthLimit = 8;
// Where the ISO 9660 tree lists folders deeper than kIsoDepthLimit (its
// Rock Ridge name; RR_MOVED in plain ISO 9660).
constexpr std::string_view kRelocationFolderName = "rr_moved";
// Folders a disc can hold, the root included: the path tables number them,
// and a folder's number is 16 bits (ECMA-119 9.4.5).
constexpr std::uint64_t kFolderLimit = 0xFFFF;
// An image must end by this address: a drive command names a block by a
// non-negative 32-bit number.
constexpr std::uint64_t kAddressLimit = std::uint64_t{1} << 31;

}  // namespace scrivo::limits
