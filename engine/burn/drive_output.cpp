#include "engine/burn/drive_output.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/burn/burn_drive.h"
#include "engine/burn/session_verify.h"
#include "engine/burn/write_progress.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/polling_limits.h"

namespace scrivo {
namespace {

constexpr int kFirstWriteAttempts = 10;

std::uint64_t RoundUp(std::uint64_t value, std::uint64_t unit) { return (value + unit - 1) / unit * unit; }

}  // namespace

std::uint64_t TrackBlocks(BurnMode mode, std::uint64_t imageBlocks) {
  if (mode == BurnMode::Dvd) return RoundUp(imageBlocks, kDvdWriteUnitBlocks);
  return std::max<std::uint64_t>(imageBlocks, kCdMinimumTrackBlocks);
}

DriveOutput::DriveOutput(BurnDrive& drive, WriteProgress& progress, BurnMode mode,
                         std::function<bool()> cancelRequested)
    : drive_(drive),
      progress_(progress),
      mode_(mode),
      unitBlocks_(mode == BurnMode::Dvd ? kDvdWriteUnitBlocks : 1),
      cancelRequested_(std::move(cancelRequested)),
      buffer_(std::size_t{kBufferBlocks} * kBlockSize) {}

void DriveOutput::StartPass() { progress_.StartPass(); }

std::span<std::uint8_t> DriveOutput::Space() {
  return std::span(buffer_).subspan(std::size_t{filled_} * kBlockSize);
}

StreamStep DriveOutput::Commit(std::uint32_t blocks, bool fromSource) {
  bool cancelled = false;
  if (fromSource) {
    // The progress points among these blocks, counted from the last block
    // written: the buffer's blocks come first.
    for (std::uint32_t i = 0; i < blocks; ++i) {
      if (progress_.IsProgressPoint(filled_ + i + 1) && cancelRequested_()) {
        blocks = i + 1;
        cancelled = true;
        break;
      }
    }
  }
  filled_ += blocks;
  if (cancelled) return Flush() ? StreamStep::Stop : StreamStep::Fail;
  if (filled_ < kBufferBlocks) return StreamStep::Continue;
  return Flush() ? StreamStep::Continue : StreamStep::Fail;
}

bool DriveOutput::Flush() {
  // The blocks past the last whole unit wait for the next ones.
  const std::uint32_t whole = filled_ / unitBlocks_ * unitBlocks_;
  if (!Send(whole, whole)) return false;
  const std::uint32_t rest = filled_ - whole;
  std::memmove(buffer_.data(), buffer_.data() + std::size_t{whole} * kBlockSize, std::size_t{rest} * kBlockSize);
  filled_ = rest;
  return true;
}

bool DriveOutput::FinishTrack() {
  // The rest of the image, then zeros, in writes that continue its units.
  std::uint64_t left = TrackBlocks(mode_, blocksWritten_ + filled_) - blocksWritten_;
  for (std::uint32_t counted = std::exchange(filled_, 0); left > 0; counted = 0) {
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, kBufferBlocks));
    std::memset(buffer_.data() + std::size_t{counted} * kBlockSize, 0, std::size_t{count - counted} * kBlockSize);
    if (!Send(count, counted)) return false;
    left -= count;
  }
  return true;
}

bool DriveOutput::Send(std::uint32_t blocks, std::uint32_t counted) {
  for (std::uint32_t first = 0; first < blocks; first += kMaxWriteBlocks) {
    const auto count = std::min<std::uint32_t>(kMaxWriteBlocks, blocks - first);
    const bool written = retryFirst_ && !wroteAny_ ? WriteWithRetries(first, count) : Write(first, count);
    if (!written) return false;
    if (digests_ != nullptr) {
      digests_->Add(std::span(buffer_).subspan(std::size_t{first} * kBlockSize, std::size_t{count} * kBlockSize));
    }
    wroteAny_ = true;
    blocksWritten_ += count;
    for (std::uint32_t i = first; i < first + count && i < counted; ++i) progress_.CountBlock();
  }
  return true;
}

bool DriveOutput::Write(std::uint32_t firstBlock, std::uint32_t blocks) {
  if (drive_.WriteBlocks(std::span(buffer_).subspan(std::size_t{firstBlock} * kBlockSize,
                                                    std::size_t{blocks} * kBlockSize))) {
    return true;
  }
  // Kept now: the readiness polls of a retry fail commands of their own.
  writeFailure_ = drive_.LastFailure();
  return false;
}

bool DriveOutput::WriteWithRetries(std::uint32_t firstBlock, std::uint32_t blocks) {
  for (int attempt = 0; attempt < kFirstWriteAttempts; ++attempt) {
    if (Write(firstBlock, blocks)) return true;
    // A drive still busy with the reservation gets time; one that never
    // becomes ready ends the burn.
    if (!drive_.WaitUntilReady(kWriteRetryWait)) return false;
  }
  return false;
}

}  // namespace scrivo
