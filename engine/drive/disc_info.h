#pragma once
#include <cstdint>

namespace scrivo {

// State of Last Session, READ DISC INFORMATION byte 2 bits 3-2. On a disc
// that takes another session, the last session is the empty one it offers.
enum class LastSessionState : std::uint8_t { Empty = 0, Incomplete = 1, Damaged = 2, Complete = 3 };

// The state of the loaded disc, from the READ DISC INFORMATION reply: byte 2
// (Disc Status in bits 1-0, State of Last Session in bits 3-2, Erasable in
// bit 4) and the first and last tracks in the last session (bytes 5 and 10,
// 6 and 11).
struct DiscInfo {
  std::int32_t blank = 0;     // disc status 00b, empty
  std::int32_t closed = 0;    // disc status 10b, complete: no session can be added
  std::int32_t erasable = 0;  // rewritable medium
  LastSessionState lastSession = LastSessionState::Empty;
  std::uint16_t firstTrack = 0;
  std::uint16_t lastTrack = 0;

  // The last session was left open, or damaged, by a burn that never
  // closed it.
  bool SessionOpen() const {
    return lastSession == LastSessionState::Incomplete || lastSession == LastSessionState::Damaged;
  }

  // Something was recorded and no session is left open (or damaged).
  bool SessionsClosed() const {
    return !blank && (lastSession == LastSessionState::Empty || lastSession == LastSessionState::Complete);
  }
};

}  // namespace scrivo
