#pragma once
// The write progress of a burn, in per mille: 60 + written × 900 / total,
// posted after every eleventh block of a pass (the metadata, then the file
// data, each counted from 0) and at the end of each pass, whenever the value
// changed. It runs from 60 to 960.

#include <cstdint>

namespace scrivo {

class EngineHost;

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

 private:
  EngineHost& host_;
  std::uint64_t total_;
  std::uint64_t written_ = 0;
  std::uint64_t inPass_ = 0;
  std::uint32_t last_ = kStart;
};

}  // namespace scrivo
