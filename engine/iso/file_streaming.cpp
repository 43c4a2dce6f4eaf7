// Writing a built image to the drive, one block per WRITE(10): first the
// metadata blocks of sectorList, then the contents of every new file in
// fileMap order. Progress is looked at every eleventh block, and a cancel
// only while file data is read from its sources.

#include "engine/drive/mmc_core.h"
#include "engine/drive/polling_limits.h"
#include "engine/iso/image_builder.h"
#include "engine/iso/image_stream.h"
#include "platform/kernel/event.h"

namespace scrivo {
namespace {

constexpr std::uint32_t kProgressCadence = 10;  // a post after every eleventh block
constexpr int kFirstBlockAttempts = 10;

}  // namespace

bool CImageBuilder::CountWrittenBlock(std::uint32_t& counter) {
  if (++counter <= kProgressCadence) return false;
  counter = 0;
  PostWriteProgress();
  return true;
}

bool CImageBuilder::CancelRequested() {
  // The test consumes the request (an auto-reset event).
  return jobCancel_ != nullptr && jobCancel_->Wait(std::chrono::milliseconds(0));
}

bool CImageBuilder::WriteFirstBlockWithRetries(std::span<const std::uint8_t, kBlockSize> block) {
  for (int attempt = 0; attempt < kFirstBlockAttempts; ++attempt) {
    if (WriteSector(block)) return true;
    // A drive still busy with the reservation gets time; one that never
    // becomes ready ends the burn.
    if (!drive_->WaitUntilReady(kWriteRetryWait)) return false;
  }
  return false;
}

bool CImageBuilder::WriteSectorList(bool retryFirst) {
  std::uint32_t counter = 0;
  for (std::size_t i = 0; i < sectorList_.size(); ++i) {
    if (!sectorList_[i]) return false;
    const ImageBlock& block = *sectorList_[i];
    bool written = (retryFirst && i == 0) ? WriteFirstBlockWithRetries(block) : WriteSector(block);
    if (!written) return false;
    ReleaseBlock(i);
    CountWrittenBlock(counter);
  }
  PostWriteProgress();
  return true;
}

bool CImageBuilder::StreamFileData() {
  std::uint32_t counter = 0;
  auto write = [&](std::span<const std::uint8_t, kBlockSize> block, bool fromSource) {
    // Zero blocks standing in for a vanished source fail the burn like any
    // other write that fails.
    if (!WriteSector(block)) return StreamStep::Fail;
    bool posted = CountWrittenBlock(counter);
    if (posted && fromSource && CancelRequested()) return StreamStep::Stop;
    return StreamStep::Continue;
  };
  for (const auto& [firstBlock, file] : fileMap_) {
    switch (StreamFileBlocks(*file, write)) {
      case FileStreamEnd::Complete: break;
      case FileStreamEnd::Stopped: return true;  // cancelled: the session is closed with what was written
      case FileStreamEnd::Failed: return false;
    }
  }
  PostWriteProgress();
  return true;
}

}  // namespace scrivo
