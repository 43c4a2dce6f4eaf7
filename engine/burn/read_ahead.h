#pragma once
// The burn's FIFO: the image's passes (metadata, file contents) are read on
// a thread of their own into a ring of pieces, ahead of the writer, so that
// a source that stalls (a slow disk, a network folder, a busy machine) does
// not stall the drive while the ring holds blocks. The writer's thread takes
// the pieces in order and hands them to its output as the passes would have
// handed them: the same blocks in the same commits, each source change
// reported where the reader met it, each pass's flush where it fell. A
// cancel or a failed write seen by the writer stops the reader at its next
// commit; blocks it read past that point are dropped.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "engine/iso/image_stream.h"

namespace scrivo {

class ReadAhead {
 public:
  // 16 MiB: at DVD 16x (22 MB/s) the drive is fed for about 0.75 s from it.
  static constexpr std::size_t kDefaultBytes = std::size_t{16} << 20;
  // The ring is made of pieces of this many blocks (256 KiB).
  static constexpr std::uint32_t kPieceBlocks = 128;

  // What the writer does where a pass ends.
  using PassEnd = std::function<void()>;
  // The passes: blocks into `output`, source changes to `changed`, and
  // `passEnd` between passes. With a ring they run on the reader's thread
  // and these three queue what they are given.
  using Passes = std::function<StreamEnd(BlockOutput& output, const SourceChangeSink& changed,
                                         const PassEnd& passEnd)>;

  // `bytes`: the ring's size; less than a piece runs the passes on the
  // writer's thread, as without a FIFO.
  explicit ReadAhead(std::size_t bytes = kDefaultBytes);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Runs `passes` on the reader's thread and delivers what they produce to
  // `output`, `changed` and `passEnd` on this one. Returns how the passes
  // ended as the writer saw them: Stopped or Failed when `output` said so.
  // Once per object.
  StreamEnd Run(const Passes& passes, BlockOutput& output, const SourceChangeSink& changed,
                const PassEnd& passEnd);

  // The share of the ring that holds blocks not yet handed to the output,
  // in per cent; readable from any thread.
  std::uint32_t FillPercent() const;

 private:
  enum class Kind { Blocks, Flush, Change, PassEnd, End };
  struct Piece {
    Kind kind = Kind::Blocks;
    std::vector<std::uint8_t> data;
    std::uint32_t blocks = 0;
    std::vector<std::pair<std::uint32_t, bool>> runs;  // blocks, fromSource
    const CImageNode* file = nullptr;
    SourceChange change = SourceChange::Unreadable;
    int error = 0;
    StreamEnd end = StreamEnd::Complete;
  };

  class Ring;
  // Reader side.
  Piece* Open();  // the piece being filled; nullptr once the writer stopped
  void Publish();
  bool Queue(Kind kind, const CImageNode* file = nullptr, SourceChange change = SourceChange::Unreadable,
             int error = 0, StreamEnd end = StreamEnd::Complete);
  StreamStep StopStep();
  // Writer side.
  StreamStep Deliver(Piece& piece, BlockOutput& output);
  void Stop(StreamEnd end);

  std::vector<Piece> ring_;
  std::mutex mutex_;
  std::condition_variable room_;
  std::condition_variable ready_;
  std::size_t head_ = 0;   // the next piece for the writer
  std::size_t count_ = 0;  // pieces published and not yet taken
  bool filling_ = false;   // the reader holds the piece after the published ones
  bool stopped_ = false;   // the writer takes no more
  StreamEnd stopEnd_ = StreamEnd::Complete;
  std::atomic<std::uint64_t> queuedBlocks_{0};
  std::size_t capacityBlocks_ = 0;
  std::vector<std::uint8_t> scratch_;  // room the reader fills once the writer stopped
};

}  // namespace scrivo
