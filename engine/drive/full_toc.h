#pragma once
// The full TOC of a CD (READ TOC/PMA/ATIP format 0010b, addresses in MSF):
// the reply header and the 11-byte track descriptors that follow it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace scrivo {

// One complete session as the full TOC lists it.
struct TocSession {
  std::uint8_t number = 0;
  std::int32_t start = 0;  // the first block of its first track
  std::int32_t end = 0;    // where its lead-out starts
};

struct FullToc {
  static constexpr std::size_t kDescriptorSize = 11;
  // Descriptor byte offsets (MMC, Full TOC track descriptor).
  static constexpr std::size_t kSession = 0;
  static constexpr std::size_t kPoint = 3;
  static constexpr std::size_t kMin = 4;
  static constexpr std::size_t kSec = 5;
  static constexpr std::size_t kFrame = 6;
  static constexpr std::size_t kPMin = 8;
  static constexpr std::size_t kPSec = 9;
  static constexpr std::size_t kPFrame = 10;
  // POINT A2h: PMin/PSec/PFrame give the start of the session's lead-out.
  static constexpr std::uint8_t kPointLeadOut = 0xA2;
  // POINT A0h: PMin gives the session's first track number; POINT 01h-63h:
  // PMin/PSec/PFrame give that track's start.
  static constexpr std::uint8_t kPointFirstTrack = 0xA0;
  static constexpr std::uint8_t kPointLastTrackNumber = 0x63;
  // POINT B0h: Min/Sec/Frame give the start of the next possible program area.
  static constexpr std::uint8_t kPointNextProgramArea = 0xB0;

  std::uint16_t dataLength = 0;  // TOC Data Length as reported, in host order
  std::uint8_t firstCompleteSession = 0;
  std::uint8_t lastCompleteSession = 0;
  // dataLength bytes from reply byte 4 on: the descriptors (the count is
  // dataLength / 11; the two header bytes counted in dataLength leave a
  // remainder of 2, which never forms a descriptor).
  std::vector<std::uint8_t> descriptors;

  std::size_t DescriptorCount() const { return descriptors.size() / kDescriptorSize; }

  // The address where a session appended to this disc starts: the B0h
  // pointer of the last complete session (the last one listed wins), read as
  // (MIN × 60 + SEC) × 75 + FRAME. The pointer's time and the new track's
  // first user-data block coincide: the 150-block offset of absolute time is
  // taken up by the track's 150-block pre-gap. Nothing when there is no such
  // pointer (blank or finalised disc).
  std::optional<std::int32_t> NextSessionStart() const;
  // The LBA where the lead-out of the last complete session starts (its
  // A2h pointer in absolute time, less the 150-block offset): the end of the
  // blocks that session recorded. Nothing without such a pointer.
  std::optional<std::int32_t> LastLeadOutStart() const;
  // The complete sessions, first to last, each with the start of its first
  // track and of its lead-out (absolute time less 150 blocks); a session
  // without the three descriptors is left out.
  std::vector<TocSession> Sessions() const;
};

}  // namespace scrivo
