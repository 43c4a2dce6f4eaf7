#include "engine/iso/burn_session.h"

#include "engine/host/engine_host.h"
#include "engine/drive/feature_flags.h"
#include "engine/drive/mmc_core.h"
#include "engine/iso/drive_output.h"
#include "engine/iso/image_builder.h"
#include "engine/iso/image_stream.h"
#include "engine/iso/session_import.h"
#include "engine/iso/write_progress.h"
#include "platform/kernel/event.h"

namespace scrivo {
namespace {

constexpr std::uint32_t kProgressClosing = 900;
constexpr std::uint32_t kProgressDone = 1000;

}  // namespace

bool BurnSession::Run(BurnMode mode) {
  // A DVD burn needs a writable DVD medium in the selected writer; nothing
  // is sent otherwise.
  if (mode == BurnMode::Dvd && (host_.FeatureFlags() & kDvdWritableCurrentMask) == 0) return false;
  drive_.multiSessionField = mode == BurnMode::CdMultiSession ? 3 : 0;
  if (!OpenOutput(mode)) return false;
  if (mode == BurnMode::CdMultiSession && !image_.ImportPreviousSession()) return false;
  if (!image_.BuildImage([this](std::uint32_t perMille) { Post(perMille); })) return false;

  const std::uint64_t total = image_.VolumeSpaceSize();
  // Writing until the drive refuses would leave a ruined write-once disc.
  if (!FitsOnDisc(total)) return false;
  bool retryFirst = false;
  if (mode == BurnMode::Dvd && !PrepareDvdTrack(total, retryFirst)) return false;

  WriteProgress progress(host_, total);
  DriveOutput output(drive_, progress, [this] { return CancelRequested(); });
  if (retryFirst) output.RetryFirstWrite();
  if (!WriteImage(output, progress)) {
    CloseOutput(mode);
    return false;
  }
  Post(kProgressClosing);
  // A session whose closing never completed is not reported as burned.
  if (!CloseOutput(mode)) return false;
  Post(kProgressDone);
  host_.PostJobMessage(WM_BURN_FINISHED, 0);
  return true;
}

bool BurnSession::OpenOutput(BurnMode mode) {
  if (!drive_.PrepareTrack(mode)) return false;
  image_.SetImageOrigin(static_cast<std::uint32_t>(drive_.sessionStartAddress));
  return true;
}

bool BurnSession::FitsOnDisc(std::uint64_t blocks) {
  // A drive that cannot tell its free space is trusted to refuse writes it
  // cannot take.
  std::uint32_t freeBlocks = 0;
  if (!drive_.ReadFreeBlocks(freeBlocks)) return true;
  return blocks <= freeBlocks;
}

bool BurnSession::PrepareDvdTrack(std::uint64_t blocks, bool& retryFirst) {
  if (!drive_.SetStreaming(static_cast<std::int32_t>(blocks))) return false;
  // A DVD-R drive may need time after RESERVE TRACK before the first write
  // succeeds; a failed reservation is not an error.
  retryFirst = (host_.FeatureFlags() & kDvdMinusRWriteCurrent) != 0 &&
               drive_.ReserveTrack(static_cast<std::int32_t>(blocks));
  drive_.writeAddress = 0;
  return true;
}

bool BurnSession::WriteImage(DriveOutput& output, WriteProgress& progress) {
  // Metadata blocks are released once the output holds their copy.
  output.StartPass();
  const StreamEnd metadata =
      StreamMetadata(image_, output, [this](std::size_t index) { image_.ReleaseBlock(index); });
  if (metadata != StreamEnd::Complete) return false;
  // The value once more at the end of each pass.
  progress.Post();
  output.StartPass();
  // The burn goes on (the layout is on the disc already), but the host
  // learns which files the disc does not hold as they are now.
  const auto changed = [this](const CImageNode& file, SourceChange change) {
    host_.ReportError(change == SourceChange::Unreadable
                          ? "Unable to read the file \"" + file.sourcePath +
                                "\" while burning: its place on the disc holds zeros."
                          : "The file \"" + file.sourcePath +
                                "\" changed size while burning (it had " + std::to_string(file.size) +
                                " bytes when it was added).");
  };
  switch (StreamFileContents(image_, output, changed)) {
    case StreamEnd::Complete:
      progress.Post();
      return true;
    case StreamEnd::Stopped:
      return true;  // cancelled: the session is closed with what was written
    case StreamEnd::Failed:
      break;
  }
  return false;
}

bool BurnSession::CloseOutput(BurnMode mode) { return drive_.FinishSession(mode, host_.FeatureFlags()); }

bool BurnSession::CancelRequested() {
  // The test consumes the request (an auto-reset event).
  return cancelEvent_ != nullptr && cancelEvent_->Wait(std::chrono::milliseconds(0));
}

void BurnSession::Post(std::uint32_t perMille) { host_.PostJobMessage(WM_JOB_PROGRESS, perMille); }

bool CImageBuilder::BurnImage(BurnMode mode, platform::Event* cancelEvent) {
  const bool closed =
      drive_ != nullptr && host_ != nullptr && BurnSession(*this, *drive_, *host_, cancelEvent).Run(mode);
  // Entries read back from this disc point at its blocks: kept after a
  // failure, they would put dangling extents into the next burn, which may
  // go to another disc. The host's own entries stay.
  if (!closed) root_.RemoveEntriesFrom(kImportedSource);
  ResetImage();
  return closed;
}

}  // namespace scrivo
