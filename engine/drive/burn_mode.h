#pragma once
#include <cstdint>

namespace scrivo {

// What a burn records: the value travels from the control's burn members
// through the burn job to the drive.
enum class BurnMode : std::uint32_t {
  CdSingleSession = 1,  // the session closes the disc
  CdMultiSession = 3,   // the disc stays appendable
  Dvd = 16,
};

// A CD track is at least 300 blocks (four seconds) long: a drive closes no
// shorter one.
constexpr std::uint32_t kCdMinimumTrackBlocks = 300;

// What padding the disc's open track found: no recorded track that still
// takes writes, one as long as asked (padded or already so), or padding the
// drive refused.
enum class TrackPadding { NoOpenTrack, Padded, Refused };

}  // namespace scrivo
