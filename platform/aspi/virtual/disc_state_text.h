#pragma once
// The state file beside disc.img (disc.state): a few lines of key=value
// pairs that a person can read. Example of a CD with one closed session and
// a second one being written:
//
//   # Quillon virtual writer: the disc in this directory (blocks in disc.img)
//   version=2
//   medium=cd-r
//   formatted=no
//   finalized=no
//   busy=none
//   session=1 closed=yes next=allowed format=00
//   session=2 closed=no next=none format=00
//   track=1 session=1 start=0 recorded=5000 reserved=0 closed=yes dao=no mode=4
//   track=2 session=2 start=16400 recorded=37 reserved=0 closed=no dao=no mode=4
//
//   end checksum=5D2A0C41
//
// An operation in progress reads "busy=blank polls=3 total=20". The last
// line holds the CRC-32 of every byte before it: a file cut short, or
// changed by hand, is refused instead of being taken for a shorter disc.
// Files of version 1, written before the end line existed, are still read;
// every number is checked against its range either way, and the disc
// store checks the record against disc.img.

#include <optional>
#include <string>
#include <string_view>

#include "platform/aspi/virtual/disc_state.h"

namespace wnaspi::vdrive {

std::string SerializeDiscState(const DiscState& disc);
// Parses and checks a state file; on failure says why in `error`.
std::optional<DiscState> ParseDiscState(std::string_view text, std::string* error);

}  // namespace wnaspi::vdrive
