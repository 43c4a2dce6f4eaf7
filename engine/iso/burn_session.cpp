// The burn of one session: prepare the drive, import the previous session,
// build the metadata, check that the image fits, write it and close the
// session. Progress is posted in per mille: 10 to 50 while building, 60 to
// 960 while writing, then 900 and 1000.

#include "engine/drive/feature_flags.h"
#include "engine/drive/mmc_core.h"
#include "engine/host/engine_host.h"
#include "engine/iso/image_builder.h"
#include "engine/iso/session_import.h"
#include "platform/kernel/event.h"

namespace scrivo {
namespace {

constexpr std::uint32_t kWriteProgressStart = 60;
constexpr std::uint32_t kWriteProgressSpan = 900;
constexpr std::uint32_t kProgressClosing = 900;
constexpr std::uint32_t kProgressDone = 1000;

}  // namespace

bool CImageBuilder::BurnImage(BurnMode mode, platform::Event* cancelEvent) {
  jobCancel_ = cancelEvent;
  bool closed = drive_ != nullptr && host_ != nullptr && RunBurn(mode);
  // Entries read back from this disc point at its blocks: kept after a
  // failure, they would put dangling extents into the next burn, which may
  // go to another disc. The host's own entries stay.
  if (!closed) root_.RemoveEntriesFrom(kImportedSource);
  ResetImage();
  return closed;
}

bool CImageBuilder::RunBurn(BurnMode mode) {
  // A DVD burn needs a writable DVD medium in the selected writer; nothing
  // is sent otherwise.
  if (mode == BurnMode::Dvd && (host_->FeatureFlags() & kDvdWritableCurrentMask) == 0) return false;
  jobMode_ = mode;
  drive_->multiSessionField = mode == BurnMode::CdMultiSession ? 3 : 0;
  if (!OpenOutput(mode)) return false;
  if (mode == BurnMode::CdMultiSession && !ImportPreviousSession()) return false;
  auto post = [this](std::uint32_t perMille) { host_->PostJobMessage(WM_JOB_PROGRESS, perMille); };
  if (!BuildImage(post)) return false;

  progressTotal_ = VolumeSpaceSize();
  lastProgress_ = kWriteProgressStart;
  PostWriteProgress();
  // Writing until the drive refuses would leave a ruined write-once disc.
  if (!FitsOnDisc()) return false;

  bool retryFirst = false;
  if (mode == BurnMode::Dvd && !PrepareDvdTrack(retryFirst)) return false;
  if (!WriteSectorList(retryFirst) || !StreamFileData()) {
    CloseOutput(mode);
    return false;
  }
  post(kProgressClosing);
  // A session whose closing never completed is not reported as burned.
  if (!CloseOutput(mode)) return false;
  post(kProgressDone);
  host_->PostJobMessage(WM_BURN_FINISHED, 0);
  return true;
}

bool CImageBuilder::OpenOutput(BurnMode mode) {
  if (!drive_->PrepareTrack(mode)) return false;
  SetImageOrigin(static_cast<std::uint32_t>(drive_->sessionStartAddress));
  return true;
}

bool CImageBuilder::WriteSector(std::span<const std::uint8_t, kBlockSize> block) {
  return drive_->WriteBlocks(block);
}

bool CImageBuilder::CloseOutput(BurnMode mode) { return drive_->FinishSession(mode, host_->FeatureFlags()); }

bool CImageBuilder::FitsOnDisc() {
  // A drive that cannot tell its free space is trusted to refuse writes it
  // cannot take.
  std::uint32_t freeBlocks = 0;
  if (!drive_->ReadFreeBlocks(freeBlocks)) return true;
  return progressTotal_ <= freeBlocks;
}

bool CImageBuilder::PrepareDvdTrack(bool& retryFirst) {
  if (!drive_->SetStreaming(static_cast<std::int32_t>(progressTotal_))) return false;
  // A DVD-R drive may need time after RESERVE TRACK before the first write
  // succeeds; a failed reservation is not an error.
  retryFirst = (host_->FeatureFlags() & kDvdMinusRWriteCurrent) != 0 &&
               drive_->ReserveTrack(static_cast<std::int32_t>(progressTotal_));
  drive_->writeAddress = 0;
  return true;
}

void CImageBuilder::PostWriteProgress() {
  if (progressTotal_ == 0) return;
  auto written = static_cast<std::uint64_t>(drive_->writeAddress - drive_->sessionStartAddress);
  auto value = static_cast<std::uint32_t>(kWriteProgressStart + written * kWriteProgressSpan / progressTotal_);
  if (value == lastProgress_) return;
  lastProgress_ = value;
  host_->PostJobMessage(WM_JOB_PROGRESS, value);
}

}  // namespace scrivo
