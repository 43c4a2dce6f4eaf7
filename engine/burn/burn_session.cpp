#include "engine/burn/burn_session.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "engine/burn/burn_drive.h"
#include "engine/burn/drive_output.h"
#include "engine/burn/engine_host.h"
#include "engine/burn/image_file.h"
#include "engine/burn/read_ahead.h"
#include "engine/burn/session_verify.h"
#include "engine/burn/write_progress.h"
#include "engine/drive/feature_flags.h"
#include "engine/iso/image_builder.h"
#include "engine/iso/image_stream.h"
#include "engine/iso/source_file.h"
#include "platform/kernel/event.h"

namespace scrivo {
namespace {

constexpr std::uint32_t kProgressClosing = 900;
constexpr std::uint32_t kProgressDone = 1000;

// The FIFO's size: ReadAhead's default, or QUILLON_FIFO_KIB (0: the sources
// are read on the burn's thread, as a comparison for the benchmark).
std::size_t FifoBytes() {
  const char* kib = std::getenv("QUILLON_FIFO_KIB");
  if (kib == nullptr || *kib == '\0') return ReadAhead::kDefaultBytes;
  return static_cast<std::size_t>(std::strtoull(kib, nullptr, 10)) * 1024;
}

}  // namespace

bool BurnSession::CheckMedium(BurnMode mode) {
  // A medium the burn does not write is named before anything is sent that
  // changes the disc (a BD or a DVD-RW in restricted overwrite offers no
  // DVD writing the burn knows, so this comes first).
  const std::uint64_t beforeMedium = drive_.LastFailure().serial;
  failure_.mediumRefusal = drive_.MediumRefusal(mode);
  if (!failure_.mediumRefusal.empty()) return Fail(BurnStep::CheckMedium, beforeMedium);
  // A DVD burn needs a writable DVD medium in the selected writer; nothing
  // is sent otherwise.
  if (mode == BurnMode::Dvd && (host_.WriterFeatures() & kDvdWritableCurrentMask) == 0) {
    return Fail(BurnStep::CheckMedium, drive_.LastFailure().serial);
  }
  return true;
}

bool BurnSession::Run(BurnMode mode) {
  failure_ = {};
  if (!CheckMedium(mode) || !OpenOutput(mode)) return false;
  if (mode == BurnMode::CdMultiSession && !ImportPreviousSession()) return false;
  const std::uint64_t beforeBuild = drive_.LastFailure().serial;
  // A DVD records a file of 4 GiB or more in sections; a CD never holds one.
  image_.AllowMultiExtentFiles(mode == BurnMode::Dvd);
  if (!image_.BuildImage([this](std::uint32_t perMille) { Post(perMille); })) {
    return Fail(BurnStep::BuildImage, beforeBuild);
  }
  // The passes, read ahead of the drive on a thread of their own: metadata
  // blocks are released once the ring holds their copy.
  const auto passes = [this](BlockOutput& out, const SourceChangeSink& changed,
                             const ReadAhead::PassEnd& passEnd) {
    const StreamEnd metadata =
        StreamMetadata(image_, out, [this](std::size_t index) { image_.ReleaseBlock(index); });
    if (metadata != StreamEnd::Complete) return StreamEnd::Failed;
    passEnd();
    return StreamFileContents(image_, out, changed);
  };
  return Record(mode, image_.VolumeSpaceSize(), passes, 0);
}

bool BurnSession::RunImageFile(BurnMode mode, const std::string& path) {
  failure_ = {};
  imageFile_ = path;
  const IsoImageFacts facts = InspectIsoImage(path);
  if (!facts.problem.empty()) {
    failure_.imageProblem = facts.problem;
    return Fail(BurnStep::CheckImageFile, drive_.LastFailure().serial);
  }
  if (!CheckMedium(mode) || !OpenOutput(mode)) return false;
  // The image's directories point at absolute blocks from 0: written
  // anywhere else, it reads as garbage.
  if (drive_.SessionStart() != 0 || (mode != BurnMode::Dvd && !drive_.DiscBlank())) {
    return Fail(BurnStep::UsedDisc, drive_.LastFailure().serial);
  }
  std::optional<SourceFile> source = SourceFile::OpenForReading(path);
  if (!source) {
    failure_.imageProblem = "\"" + path + "\" cannot be read: " + std::strerror(errno) + ".";
    return Fail(BurnStep::CheckImageFile, drive_.LastFailure().serial);
  }
  Post(50);
  CImageNode named;
  named.sourcePath = path;
  const auto passes = [&](BlockOutput& out, const SourceChangeSink& changed, const ReadAhead::PassEnd&) {
    return StreamImageFile(*source, facts.blocks, named, out, changed);
  };
  return Record(mode, facts.blocks, passes, kImageFileBurned);
}

bool BurnSession::Record(BurnMode mode, std::uint64_t total, const ReadAhead::Passes& passes,
                         std::uintptr_t finished) {
  // The track is the image padded as the medium needs (DriveOutput): the
  // space it takes and the reservation cover the padding.
  const std::uint64_t track = TrackBlocks(mode, total);
  // Writing until the drive refuses would leave a ruined write-once disc.
  if (!FitsOnDisc(track)) return false;
  bool retryFirst = false;
  if (mode == BurnMode::Dvd && !PrepareDvdTrack(track, retryFirst)) return false;

  WriteProgress progress(host_, total);
  DriveOutput output(drive_, progress, mode, [this] { return CancelRequested(); });
  if (retryFirst) output.RetryFirstWrite();
  BlockDigests digests;
  if (verify_) output.KeepDigests(&digests);
  if (!WriteImage(output, progress, passes)) {
    if (failure_.step == BurnStep::None) {
      failure_.step = BurnStep::Write;
      failure_.command = output.WriteFailure();
    }
    // What was written is closed as a session, as a cancel would close it;
    // a CD track a refused write left short is padded first, as a drive
    // closes no track under 300 blocks. The drive may hold blocks of the
    // refused write that the burn did not count: the disc is untouched only
    // when it names no open track either.
    const bool trackOpen = mode != BurnMode::Dvd && output.WriteFailure() &&
                           drive_.PadOpenTrack(kCdMinimumTrackBlocks) != TrackPadding::NoOpenTrack;
    const bool closed = CloseOutput(mode);
    failure_.blocksWritten = output.BlocksWritten();
    failure_.disc = failure_.blocksWritten == 0 && !trackOpen ? DiscAfterFailure::Untouched
                    : closed                    ? DiscAfterFailure::SessionClosed
                                                : DiscAfterFailure::SessionLeftOpen;
    return false;
  }
  Post(kProgressClosing);
  // A session whose closing never completed is not reported as burned.
  const std::uint64_t beforeClose = drive_.LastFailure().serial;
  if (!CloseOutput(mode)) {
    Fail(BurnStep::CloseSession, beforeClose);
    failure_.blocksWritten = output.BlocksWritten();
    failure_.disc = DiscAfterFailure::SessionLeftOpen;
    return false;
  }
  Post(kProgressDone);
  // A cancelled burn closed its session on part of the image: there is
  // nothing whole to compare.
  if (verify_ && !cancelled_) Verify(digests, finished == kImageFileBurned);
  host_.PostJobMessage(WM_BURN_FINISHED, finished);
  return true;
}

bool BurnSession::Fail(BurnStep step, std::uint64_t before) {
  failure_.step = step;
  if (drive_.LastFailure().serial != before) failure_.command = drive_.LastFailure();
  return false;
}

bool BurnSession::OpenOutput(BurnMode mode) {
  const std::uint64_t before = drive_.LastFailure().serial;
  if (!drive_.PrepareTrack(mode)) {
    failure_.refusal = drive_.Refusal();
    return Fail(failure_.refusal == DiscRefusal::WriteParameters ? BurnStep::SetWriteParameters
                                                                  : BurnStep::PrepareTrack,
                before);
  }
  image_.SetImageOrigin(static_cast<std::uint32_t>(drive_.SessionStart()));
  return true;
}

bool BurnSession::ImportPreviousSession() {
  const std::uint64_t beforeQuery = drive_.LastFailure().serial;
  const std::int32_t start = drive_.LastSessionStart();
  if (start == kNoPreviousSession) {
    // A blank disc has no session; any other disc has, and a new session
    // built without its files would hide them all.
    if (drive_.DiscBlank()) return true;
    return Fail(BurnStep::ReadPreviousSession, beforeQuery);
  }
  // A disc whose sessions end before a file's contents would list blocks
  // that were never written: files past the last lead-out are left out.
  std::uint64_t dataEnd = UINT64_MAX;
  if (const auto end = drive_.PreviousSessionEnd(); end && *end > 0) dataEnd = static_cast<std::uint64_t>(*end);
  const std::uint64_t before = drive_.LastFailure().serial;
  if (start == kUnusableSessionStart) return Fail(BurnStep::ReadPreviousSession, before);
  ImportResult result = image_.ImportSession(drive_, start, dataEnd);
  if (result.outcome == ImportOutcome::Damaged) result = ImportEarlierSession(start);
  switch (result.outcome) {
    case ImportOutcome::Imported:
      return true;
    case ImportOutcome::EntriesLost:
      ReportLostEntries(result);
      return Fail(BurnStep::CarryPreviousSession, before);
    case ImportOutcome::Failed:
    case ImportOutcome::Damaged:
      break;
  }
  return Fail(BurnStep::ReadPreviousSession, before);
}

ImportResult BurnSession::ImportEarlierSession(std::int32_t lastStart) {
  // The last session holds no volume that reads back whole (a write failed
  // in its metadata): the new session is built on the last one before it
  // that does, and says so. The TOC gives the sessions and their ends.
  ImportResult result;
  const auto sessions = drive_.RecordedSessions();
  // Failed when the TOC cannot be read or names no session: building on
  // nothing would hide sessions the burn could not look at.
  if (!sessions || sessions->empty()) return result;
  std::size_t damaged = 1;  // the last session
  for (auto session = sessions->rbegin(); session != sessions->rend(); ++session) {
    if (session->start >= lastStart) continue;
    result = image_.ImportSession(drive_, session->start, static_cast<std::uint64_t>(session->end));
    if (result.outcome == ImportOutcome::Imported) {
      host_.ReportNotice(DamagedSessionsText(damaged, session->number));
    }
    if (result.outcome != ImportOutcome::Damaged) return result;
    ++damaged;
  }
  // No session reads back whole: there are no files to carry.
  host_.ReportNotice(DamagedSessionsText(damaged, 0));
  result.outcome = ImportOutcome::Imported;
  return result;
}

std::string BurnSession::DamagedSessionsText(std::size_t damaged, std::uint8_t carried) {
  const std::string which = damaged <= 1 ? "The disc's last session holds"
                                         : "The disc's last " + std::to_string(damaged) +
                                               " sessions hold";
  std::string text = which + " no file system that reads back whole (a write failed in it, or "
                             "another program made it): the files written in " +
                     (damaged <= 1 ? "it" : "them") + " are not carried into the new session";
  if (carried == 0) return text + ", and no earlier session holds files to carry.";
  return text + ", which shows the files of session " + std::to_string(carried) + " instead.";
}

void BurnSession::ReportLostEntries(const ImportResult& result) {
  // Each entry the new session would not show is named: nothing is
  // written, so the disc keeps showing them.
  for (const EntryRefusal& lost : result.lost) {
    host_.ReportError("\"" + lost.path + "\", already on the disc, cannot be carried into the new session: " +
                      lost.Reason() + ".");
  }
  if (result.lostCount > result.lost.size()) {
    host_.ReportError(std::to_string(result.lostCount - result.lost.size()) +
                      " more entries already on the disc cannot be carried into the new session.");
  }
}

bool BurnSession::FitsOnDisc(std::uint64_t blocks) {
  // A drive that cannot tell its free space is trusted to refuse writes it
  // cannot take.
  std::uint32_t freeBlocks = 0;
  if (!drive_.ReadFreeBlocks(freeBlocks) || blocks <= freeBlocks) return true;
  failure_.step = BurnStep::CheckFreeSpace;
  failure_.blocksNeeded = blocks;
  failure_.blocksFree = freeBlocks;
  return false;
}

bool BurnSession::PrepareDvdTrack(std::uint64_t blocks, bool& retryFirst) {
  const std::uint64_t before = drive_.LastFailure().serial;
  // The speed is best effort: only a drive that never becomes ready stops
  // the burn here.
  if (!drive_.SetStreaming(static_cast<std::int32_t>(blocks))) return Fail(BurnStep::PrepareDvdTrack, before);
  // A DVD-R drive may need time after RESERVE TRACK before the first write
  // succeeds; a failed reservation is not an error.
  retryFirst = (host_.WriterFeatures() & kDvdMinusRWriteCurrent) != 0 &&
               drive_.ReserveTrack(static_cast<std::int32_t>(blocks));
  drive_.SetWriteAddress(0);
  return true;
}

bool BurnSession::WriteImage(DriveOutput& output, WriteProgress& progress, const ReadAhead::Passes& passes) {
  const auto changed = [this](const CImageNode& file, SourceChange change, int error) {
    ReportSourceChange(file, change, error);
  };
  // The value once more at the end of each pass; the file data counts from 0.
  const auto passEnd = [&] {
    progress.Post();
    output.StartPass();
  };
  output.StartPass();
  ReadAhead fifo(FifoBytes());
  progress.WatchFifo(&fifo);
  const StreamEnd end = fifo.Run(passes, output, changed, passEnd);
  progress.WatchFifo();
  switch (end) {
    case StreamEnd::Complete:
      if (!output.FinishTrack()) return false;
      progress.Post();
      return true;
    case StreamEnd::Stopped:
      // Cancelled: the session is closed with what was written, its track
      // padded as a complete one is.
      return output.FinishTrack();
    case StreamEnd::Failed:
      // A source that came up short: what was read before it is sent, and
      // the track padded so that its session can be closed.
      if (!output.WriteFailure()) output.FinishTrack();
      break;
  }
  return false;
}

void BurnSession::ReportSourceChange(const CImageNode& file, SourceChange change, int error) {
  // The burn goes on past a file that is gone or resized (the layout is on
  // the disc already), but the host learns which files the disc does not
  // hold as they are now. A file that ends early fails the burn.
  switch (change) {
    case SourceChange::Unreadable:
    case SourceChange::SizeChanged:
      host_.ReportError(SourceChangeText(file.sourcePath, file.size, change == SourceChange::Unreadable,
                                         "burning", "the disc"));
      break;
    case SourceChange::CameUpShort:
      failure_.step = BurnStep::ReadSource;
      failure_.sourcePath = file.sourcePath;
      failure_.sourceError = error;
      break;
  }
}

void BurnSession::Verify(const BlockDigests& digests, bool imageFile) {
  // The burn is done whatever the read-back finds: the host learns what
  // differs, and a cancel stops the reading only.
  const auto progress = [this](std::uint32_t perMille) { Post(perMille); };
  const auto cancelled = [this] { return CancelRequested(); };
  host_.ReportVerify(imageFile ? VerifyImageFile(drive_, imageFile_, digests, progress, cancelled)
                               : VerifySession(drive_, image_, digests, progress, cancelled));
}

bool BurnSession::CloseOutput(BurnMode mode) { return drive_.FinishSession(mode, host_.WriterFeatures()); }

bool BurnSession::CancelRequested() {
  // The test consumes the request (an auto-reset event).
  const bool requested = cancelEvent_ != nullptr && cancelEvent_->Wait(std::chrono::milliseconds(0));
  cancelled_ = cancelled_ || requested;
  return requested;
}

void BurnSession::Post(std::uint32_t perMille) { host_.PostJobMessage(WM_JOB_PROGRESS, perMille); }

}  // namespace scrivo
