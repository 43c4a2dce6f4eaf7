#pragma once
// Faults injected into the virtual writers for tests (WNASPI32_VIRTUAL_FAULTS):
//   fail=OP@N      the N-th command with opcode OP ends with CHECK CONDITION,
//                  MEDIUM ERROR (03/0C/00 WRITE ERROR for commands that record
//                  or erase, 03/11/00 UNRECOVERED READ ERROR for the others)
//   notready=OP@N  the N-th command with opcode OP ends with CHECK CONDITION,
//                  NOT READY, LOGICAL UNIT IS IN PROCESS OF BECOMING READY
//                  (02/04/01)
//   neverready     every TEST UNIT READY ends NOT READY (02/04/01)
//   button=OP@N    the user presses the tray's button as the N-th command
//                  with opcode OP arrives: unless the tray is locked (PREVENT
//                  ALLOW MEDIUM REMOVAL) it opens, so that command finds no
//                  disc, and closes again after it
//   slow=OP:MS     every command with opcode OP takes MS milliseconds longer
//                  (at most 10000), so a test can act in the middle of a job
//   badblock=LBA   the first WRITE that covers block LBA records the blocks
//                  before it and ends with CHECK CONDITION, MEDIUM ERROR,
//                  WRITE ERROR (03/0C/00), LBA in the sense data's
//                  information field
//   corrupt=LBA    block LBA reads back wrong: every READ(10) that covers it
//                  returns it with each byte inverted (what was recorded is
//                  kept as it is)
//   unreadable=LBA every READ(10) that covers block LBA ends with CHECK
//                  CONDITION, MEDIUM ERROR, UNRECOVERED READ ERROR (03/11/00),
//                  LBA in the information field, as a drive answers once its
//                  own retries are used up
//                  Both take a range too: LBA-LBA (the blocks from the first
//                  to the last).
// OP is two hexadecimal digits; N counts from 1 over the whole process and
// every virtual writer; LBA is decimal. Items are separated by commas. A
// command faulted by fail or notready has no other effect.

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/aspi/sense.h"

namespace wnaspi::vdrive {

class FaultInjector {
 public:
  FaultInjector() = default;
  // Parses the variable's value; items it cannot read are skipped and
  // described in `problems`.
  FaultInjector(const std::string& spec, std::vector<std::string>* problems);

  // What happens to a command: it fails with `sense`, or (button) the
  // tray's button is pressed as it arrives.
  struct Action {
    Sense sense;
    bool button = false;
  };
  // Counts a command and says whether something happens to it.
  std::optional<Action> OnCommand(std::uint8_t opcode);
  bool neverReady() const { return neverReady_; }
  std::chrono::milliseconds DelayFor(std::uint8_t opcode) const { return delays_[opcode]; }
  // The first bad block among `count` blocks from `lba`, if any; the
  // write it stops is its only one.
  std::optional<std::uint32_t> BadBlockIn(std::uint32_t lba, std::uint32_t count);
  // The first unreadable block among `count` blocks from `lba`, if any.
  std::optional<std::uint32_t> UnreadableIn(std::uint32_t lba, std::uint32_t count) const;
  // Spoils the corrupt blocks among the `count` blocks read from `lba` into `data`.
  void Corrupt(std::uint32_t lba, std::uint32_t count, std::uint8_t* data) const;

 private:
  struct Fault {
    std::uint8_t opcode;
    std::uint32_t occurrence;
    Action action;
  };
  std::mutex mutex_;
  std::vector<Fault> faults_;
  std::array<std::uint32_t, 256> counts_{};
  std::array<std::chrono::milliseconds, 256> delays_{};
  std::vector<std::uint32_t> badBlocks_;
  struct BlockRange {
    std::uint32_t first, last;
  };
  std::vector<BlockRange> unreadable_;
  std::vector<BlockRange> corrupt_;
  bool neverReady_ = false;
};

}  // namespace wnaspi::vdrive
