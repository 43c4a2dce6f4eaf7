#pragma once
// A disc served from memory through the ASPI double: READ(10) of one block
// from a sparse block map, READ TOC format 1 with the last session's start,
// TEST UNIT READY. Tests and the import fuzz target read discs through it,
// so every read goes through MmcCore as on a real drive.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "tests/support/aspi_double.h"

namespace testsupport {

class VirtualDisc {
 public:
  using Block = std::vector<std::uint8_t>;  // 2048 bytes

  // Blocks 0 to capacity - 1 can be read; those never put read as zeros.
  // nullopt: the drive refuses the session query, as for a blank disc.
  std::optional<std::int32_t> lastSessionStart;
  std::int64_t capacity = 360000;
  // Reads of these blocks fail (a damaged area).
  std::set<std::int64_t> unreadable;

  void PutBlock(std::int64_t lba, std::span<const std::uint8_t> bytes);
  // Consecutive blocks from `lba` on; a short last block is zero-padded.
  void PutBlocks(std::int64_t lba, std::span<const std::uint8_t> bytes);
  // Drops every block and the read log.
  void Clear();

  // Reads block `lba` into `out` (2048 bytes) as READ(10) would, logging
  // the read; false outside the capacity and for an unreadable block.
  bool Read(std::int64_t lba, std::span<std::uint8_t> out);

  // The responder to install in an AspiDouble.
  Reply Answer(const RecordedRequest& request);
  // The addresses of the READ(10) commands, in order.
  const std::vector<std::int64_t>& Reads() const { return reads_; }
  void ClearReads() { reads_.clear(); }

 private:
  Reply ReadBlock(const RecordedRequest& request);
  Reply SessionInfo() const;
  std::map<std::int64_t, Block> blocks_;
  std::vector<std::int64_t> reads_;
};

}  // namespace testsupport
