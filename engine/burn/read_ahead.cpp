#include "engine/burn/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

#include "engine/iso/image_block.h"

namespace scrivo {

// The output the reader's passes write into: blocks go into the piece being
// filled, which is published when it is full or anything else is queued.
class ReadAhead::Ring final : public BlockOutput {
 public:
  explicit Ring(ReadAhead& fifo) : fifo_(fifo) {}

  std::span<std::uint8_t> Space() override {
    Piece* piece = fifo_.Open();
    if (piece == nullptr) return fifo_.scratch_;
    return std::span(piece->data).subspan(std::size_t{piece->blocks} * kBlockSize);
  }
  StreamStep Commit(std::uint32_t blocks, bool fromSource) override {
    Piece* piece = fifo_.Open();
    if (piece == nullptr) return fifo_.StopStep();
    if (blocks == 0) return StreamStep::Continue;
    piece->blocks += blocks;
    if (!piece->runs.empty() && piece->runs.back().second == fromSource) {
      piece->runs.back().first += blocks;
    } else {
      piece->runs.emplace_back(blocks, fromSource);
    }
    if (piece->blocks == kPieceBlocks) fifo_.Publish();
    return StreamStep::Continue;
  }
  bool Flush() override { return fifo_.Queue(Kind::Flush); }

 private:
  ReadAhead& fifo_;
};

ReadAhead::ReadAhead(std::size_t bytes) {
  const std::size_t pieceBytes = std::size_t{kPieceBlocks} * kBlockSize;
  // Each piece's room is made when the reader first fills it: a small
  // image touches only a few.
  ring_.resize(bytes / pieceBytes);
  capacityBlocks_ = ring_.size() * kPieceBlocks;
  if (!ring_.empty()) scratch_.resize(kBlockSize);
}

ReadAhead::~ReadAhead() = default;

StreamEnd ReadAhead::Run(const Passes& passes, BlockOutput& output, const SourceChangeSink& changed,
                         const PassEnd& passEnd) {
  if (ring_.empty()) return passes(output, changed, passEnd);
  std::thread reader;
  try {
    reader = std::thread([this, &passes] {
      Ring ring(*this);
      const StreamEnd end = passes(
          ring,
          [this](const CImageNode& file, SourceChange change, int error) {
            Queue(Kind::Change, &file, change, error);
          },
          [this] { Queue(Kind::PassEnd); });
      Queue(Kind::End, nullptr, SourceChange::Unreadable, 0, end);
    });
  } catch (const std::system_error&) {
    // No thread for the reader: the passes run here, as without a FIFO.
    return passes(output, changed, passEnd);
  }
  StreamEnd result = StreamEnd::Complete;
  for (bool done = false; !done;) {
    Piece* piece = nullptr;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [this] { return count_ > 0; });
      piece = &ring_[head_];
    }
    // The piece is the writer's until it is released below.
    switch (piece->kind) {
      case Kind::Blocks:
        if (const StreamStep step = Deliver(*piece, output); step != StreamStep::Continue) {
          result = step == StreamStep::Stop ? StreamEnd::Stopped : StreamEnd::Failed;
          done = true;
        }
        break;
      case Kind::Flush:
        if (!output.Flush()) {
          result = StreamEnd::Failed;
          done = true;
        }
        break;
      case Kind::Change:
        if (changed) changed(*piece->file, piece->change, piece->error);
        break;
      case Kind::PassEnd:
        if (passEnd) passEnd();
        break;
      case Kind::End:
        result = piece->end;
        done = true;
        break;
    }
    std::lock_guard lock(mutex_);
    queuedBlocks_ -= piece->blocks;
    head_ = (head_ + 1) % ring_.size();
    --count_;
    room_.notify_one();
  }
  Stop(result);
  reader.join();
  return result;
}

std::uint32_t ReadAhead::FillPercent() const {
  if (capacityBlocks_ == 0) return 0;
  return static_cast<std::uint32_t>(queuedBlocks_.load() * 100 / capacityBlocks_);
}

ReadAhead::Piece* ReadAhead::Open() {
  std::unique_lock lock(mutex_);
  if (!filling_) {
    room_.wait(lock, [this] { return count_ < ring_.size() || stopped_; });
    if (stopped_) return nullptr;
    filling_ = true;
    Piece& piece = ring_[(head_ + count_) % ring_.size()];
    piece.kind = Kind::Blocks;
    piece.blocks = 0;
    piece.runs.clear();
    if (piece.data.empty()) piece.data.resize(std::size_t{kPieceBlocks} * kBlockSize);
  }
  if (stopped_) return nullptr;
  return &ring_[(head_ + count_) % ring_.size()];
}

void ReadAhead::Publish() {
  std::lock_guard lock(mutex_);
  if (!filling_ || stopped_) return;
  Piece& piece = ring_[(head_ + count_) % ring_.size()];
  // An empty piece of blocks stays the reader's, to be filled later.
  if (piece.kind == Kind::Blocks && piece.blocks == 0) return;
  filling_ = false;
  queuedBlocks_ += piece.blocks;
  ++count_;
  ready_.notify_one();
}

bool ReadAhead::Queue(Kind kind, const CImageNode* file, SourceChange change, int error, StreamEnd end) {
  Publish();  // the blocks before it go first
  Piece* piece = Open();  // an empty piece: the one just published, or none
  if (piece == nullptr) return false;
  piece->kind = kind;
  piece->file = file;
  piece->change = change;
  piece->error = error;
  piece->end = end;
  Publish();
  return true;
}

StreamStep ReadAhead::StopStep() {
  std::lock_guard lock(mutex_);
  return stopEnd_ == StreamEnd::Failed ? StreamStep::Fail : StreamStep::Stop;
}

StreamStep ReadAhead::Deliver(Piece& piece, BlockOutput& output) {
  std::size_t offset = 0;
  for (const auto& [blocks, fromSource] : piece.runs) {
    for (std::uint32_t left = blocks; left > 0;) {
      const std::span<std::uint8_t> space = output.Space();
      const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(left, space.size() / kBlockSize));
      std::memcpy(space.data(), piece.data.data() + offset, std::size_t{count} * kBlockSize);
      const StreamStep step = output.Commit(count, fromSource);
      if (step != StreamStep::Continue) return step;
      offset += std::size_t{count} * kBlockSize;
      left -= count;
    }
  }
  return StreamStep::Continue;
}

void ReadAhead::Stop(StreamEnd end) {
  std::lock_guard lock(mutex_);
  stopped_ = true;
  stopEnd_ = end;
  room_.notify_all();
}

}  // namespace scrivo
