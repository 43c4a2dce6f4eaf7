#pragma once
// Writing Rock Ridge (SUSP 1.12 / RRIP 1.12) entries into the system use
// areas of the ISO 9660 tree's directory records: each builder appends one
// or more whole entries to a byte string, and SplitEntries divides a
// record's entries between the record itself and continuation areas.
// rock_ridge_fields.h reads what these write.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace scrivo::rrip {

using Entries = std::vector<std::uint8_t>;
// A time in the 7-byte form of a directory record's recording date
// (ECMA-119 9.1.5), the form TF carries without its LONG_FORM flag.
using ShortTime = std::array<std::uint8_t, 7>;

// Entry lengths fixed by the formats.
constexpr std::size_t kContinuationLength = 28;  // CE
constexpr std::size_t kPosixLength = 36;         // PX without a serial number, as readers expect of "RRIP_1991A"
constexpr std::size_t kLinkEntryLength = 12;     // CL and PL
constexpr std::size_t kLongestEntry = 255;       // a length byte

// SP, opening the root's "." record: no bytes skipped in other areas.
void AppendSuspIndicator(Entries& out);
// ER naming the extension; long enough that it goes to a continuation area.
void AppendExtensionReference(Entries& out);
// PX: mode, link count, owner and group 0.
void AppendPosixAttributes(Entries& out, std::uint32_t mode, std::uint32_t links);
// NM: the name's bytes, over as many entries as it needs (CONTINUE flags
// all but the last).
void AppendName(Entries& out, std::string_view name);
// TF: modification, access and attribute change times.
void AppendTimes(Entries& out, const ShortTime& modified);
// SL: the link's target split at "/" into components ("." and ".." and a
// leading "/" as their flags), over as many entries as it needs.
void AppendSymbolicLink(Entries& out, std::string_view target);
// CE pointing at a continuation area; its fields are set by SetContinuation.
void AppendContinuation(Entries& out);
void SetContinuation(std::uint8_t* ceEntry, std::uint32_t block, std::uint32_t offset, std::uint32_t length);
// RE, CL and PL of directory relocation.
void AppendRelocated(Entries& out);
void AppendChildLink(Entries& out, std::uint32_t extent);
void AppendParentLink(Entries& out, std::uint32_t extent);

// The mode a new entry is recorded with: readable by everyone, executable
// by everyone where the source had any execute bit, writable by no one;
// folders r-x for all, links as links are.
std::uint32_t SharedMode(std::uint32_t sourceMode);

// A record's entries divided: those inside the record (at most `room`
// bytes, ending with a CE when more follow), then the continuation areas,
// each at most one block and each but the last ending with a CE. Entries
// are never split.
struct SplitSystemUse {
  Entries inside;
  std::vector<Entries> areas;
};
SplitSystemUse SplitEntries(std::span<const std::uint8_t> entries, std::size_t room,
                            std::size_t areaLimit);

// The entries of a system use area one by one (each a whole entry), for
// carrying an earlier session's entries over; stops where a length does not fit.
std::vector<std::span<const std::uint8_t>> EntriesOf(std::span<const std::uint8_t> area);

}  // namespace scrivo::rrip
