#pragma once
// The write progress of a burn, in per mille: 60 + written × 900 / total,
// posted after every eleventh block of a pass (the metadata, then the file
// data, each counted from 0) and at the end of each pass, whenever the value
// changed. It runs from 60 to 960. While a FIFO feeds the writer, its fill
// level goes with each posted value (WM_FIFO_LEVEL, in per cent) whenever
// it changed.

#include <cstdint>

namespace scrivo {

class EngineHost;
class ReadAhead;

class WriteProgress {
 public:
  static constexpr std::uint32_t kStart = 60;
  static constexpr std::uint32_t kSpan = 900;
  static constexpr std::uint64_t kCadence = 11;  // blocks between looks at the progress

  // `total`: the blocks of the whole image. Posts nothing yet.
  WriteProgress(EngineHost& host, std::uint64_t total) : host_(host), total_(total) {}

  // Counting starts again from 0 for the next pass.
  void StartPass() { inPass_ = 0; }
  // Whether the block `ahead` blocks after the last one counted is a
  // progress point (ahead = 1: the next block).
  bool IsProgressPoint(std::uint64_t ahead) const { return (inPass_ + ahead) % kCadence == 0; }
  // One more block written; at a progress point the value is posted.
  void CountBlock();
  // Posts the value if it changed.
  void Post();
  // The FIFO whose fill level goes with the progress; none when nullptr.
  void WatchFifo(const ReadAhead* fifo = nullptr) { fifo_ = fifo; }

 private:
  EngineHost& host_;
  std::uint64_t total_;
  std::uint64_t written_ = 0;
  std::uint64_t inPass_ = 0;
  std::uint32_t last_ = kStart;
  const ReadAhead* fifo_ = nullptr;
  std::uint32_t lastFill_ = UINT32_MAX;
};

}  // namespace scrivo
