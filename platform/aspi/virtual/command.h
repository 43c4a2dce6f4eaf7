#pragma once
// One command as a virtual writer's handler sees it: the CDB fields, the
// data the initiator sent, and the reply. A handler answers with the data it
// has; Reply copies what the allocation length and the initiator's buffer
// allow, as a drive transfers no more than it was asked for.

#include <algorithm>
#include <cstdint>
#include <span>

#include "platform/aspi/scsi_request.h"
#include "platform/aspi/sense.h"
#include "platform/aspi/wnaspi32.h"
#include "platform/bytes/byte_order.h"

namespace wnaspi::vdrive {

inline ScsiOutcome Fail(const Sense& sense) { return ScsiOutcome::Check(FixedFormat(sense)); }

class Command {
 public:
  explicit Command(const ScsiRequest& request) : request_(request) {}

  std::uint8_t opcode() const { return Byte(0); }
  // CDB bytes beyond the CDB the initiator sent read as zero.
  std::uint8_t Byte(std::size_t i) const { return i < request_.cdb.size() ? request_.cdb[i] : 0; }
  std::uint16_t Be16(std::size_t i) const {
    return static_cast<std::uint16_t>(Byte(i) << 8 | Byte(i + 1));
  }
  std::uint32_t Be32(std::size_t i) const {
    return std::uint32_t{Be16(i)} << 16 | Be16(i + 2);
  }

  // Data in: copies at most `allocation` bytes of the reply into the buffer.
  ScsiOutcome Reply(std::span<const std::uint8_t> reply, std::size_t allocation) const {
    if (request_.direction == DataDirection::Out && request_.length > 0) {
      return ScsiOutcome::Host(HASTAT_DO_DU);
    }
    const std::size_t count =
        std::min({reply.size(), allocation, static_cast<std::size_t>(request_.length)});
    if (count > 0 && request_.data) std::copy_n(reply.begin(), count, request_.data);
    return ScsiOutcome::Good();
  }

  // Data out: the `length` bytes the initiator sent, or an empty span when
  // its buffer does not hold them (the transfer would underrun).
  std::span<const std::uint8_t> Parameters(std::size_t length) const {
    if (length == 0) return {};
    if (request_.direction == DataDirection::In || request_.length < length || !request_.data) {
      return {};
    }
    return {request_.data, length};
  }
  // The reply to a data-out command whose data did not arrive.
  static ScsiOutcome Underrun() { return ScsiOutcome::Host(HASTAT_DO_DU); }

  // Data in of whole blocks (READ): the buffer must take them all.
  std::uint8_t* BlockBuffer(std::size_t length) const {
    if (request_.direction == DataDirection::Out || request_.length < length) return nullptr;
    return request_.data;
  }

 private:
  const ScsiRequest& request_;
};

}  // namespace wnaspi::vdrive
