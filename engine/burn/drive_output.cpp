#include "engine/burn/drive_output.h"

#include <algorithm>
#include <utility>

#include "engine/burn/burn_drive.h"
#include "engine/burn/write_progress.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/polling_limits.h"

namespace scrivo {
namespace {

constexpr int kFirstWriteAttempts = 10;

}  // namespace

DriveOutput::DriveOutput(BurnDrive& drive, WriteProgress& progress,
                         std::function<bool()> cancelRequested)
    : drive_(drive),
      progress_(progress),
      cancelRequested_(std::move(cancelRequested)),
      buffer_(std::size_t{kBufferBlocks} * kBlockSize) {}

void DriveOutput::StartPass() {
  filled_ = 0;
  progress_.StartPass();
}

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
  const std::uint32_t blocks = std::exchange(filled_, 0);
  for (std::uint32_t first = 0; first < blocks; first += kMaxWriteBlocks) {
    const auto count = std::min<std::uint32_t>(kMaxWriteBlocks, blocks - first);
    const bool written = retryFirst_ && !wroteAny_ ? WriteWithRetries(first, count) : Write(first, count);
    if (!written) return false;
    wroteAny_ = true;
    blocksWritten_ += count;
    for (std::uint32_t i = 0; i < count; ++i) progress_.CountBlock();
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
