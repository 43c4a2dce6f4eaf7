#include "engine/burn/burn_job.h"

#include "engine/burn/burn_drive.h"
#include "engine/burn/burn_session.h"
#include "engine/burn/engine_host.h"
#include "engine/burn/session_verify.h"
#include "engine/iso/ecma119_structures.h"
#include "engine/iso/image_builder.h"
#include "engine/iso/session_import.h"
#include "platform/kernel/event.h"

namespace scrivo {
namespace {

// The creation date of the primary descriptor of the session at `start`.
std::optional<ecma119::FileTime> BurnTimeOf(BurnDrive& drive, std::int32_t start) {
  std::vector<std::uint8_t> block(kBlockSize);
  if (!drive.ReadBlocks(start + 16, block)) return std::nullopt;
  const auto descriptor = LoadFrom<ecma119::VolumeDescriptor>(block.data());
  if (descriptor.type != ecma119::kPrimaryDescriptorType) return std::nullopt;
  ecma119::VolumeDate date{};
  std::copy(descriptor.creationDate.begin(), descriptor.creationDate.end(), date.begin());
  return ecma119::DecodeVolumeDate(date);
}

bool Compare(CImageBuilder& image, BurnDrive& drive, EngineHost& host, platform::Event* cancelEvent,
             std::string& failure) {
  const std::int32_t start = drive.LastSessionStart();
  if (start < 0) {
    failure = "The disc holds no session to verify.";
    return false;
  }
  image.SetImageOrigin(static_cast<std::uint32_t>(start));
  // The session's directories carry the time it was burned: the layout
  // compared with it takes that time from its primary descriptor.
  const std::optional<ecma119::FileTime> earlier = image.FixedBurnTime();
  if (const auto burned = BurnTimeOf(drive, start)) image.FixBurnTime(burned);
  const bool built = image.BuildImage();
  image.FixBurnTime(earlier);
  if (!built) {
    failure = "The files could not be laid out as a burn would lay them out.";
    return false;
  }
  // The blocks a burn would write, taken from the sources now.
  BlockDigests digests;
  DigestOutput output(digests);
  const auto changed = [&host](const CImageNode& file, SourceChange change, int) {
    if (change != SourceChange::CameUpShort) {
      host.ReportError("The file \"" + file.sourcePath + "\" is not as it was when it was added.");
    }
  };
  if (StreamMetadata(image, output) != StreamEnd::Complete ||
      StreamFileContents(image, output, changed) != StreamEnd::Complete) {
    failure = "A file to compare could not be read whole.";
    return false;
  }
  const auto progress = [&host](std::uint32_t perMille) { host.PostJobMessage(WM_JOB_PROGRESS, perMille); };
  const auto cancelled = [cancelEvent] {
    return cancelEvent != nullptr && cancelEvent->Wait(std::chrono::milliseconds(0));
  };
  host.ReportVerify(VerifySession(drive, image, digests, progress, cancelled));
  return true;
}

}  // namespace

bool BurnCompilation(CImageBuilder& image, BurnDrive& drive, EngineHost& host, BurnMode mode,
                     platform::Event* cancelEvent, BurnFailure& failure, bool verify) {
  BurnSession session(image, drive, host, cancelEvent);
  if (verify) session.VerifyAfterClose();
  const bool closed = session.Run(mode);
  failure = session.Failure();
  // Entries read back from this disc point at its blocks: kept after a
  // failure, they would put dangling extents into the next burn, which may
  // go to another disc. The host's own entries stay.
  if (!closed) image.Root().RemoveEntriesFrom(kImportedSource);
  image.ResetImage();
  return closed;
}

bool VerifyCompilation(CImageBuilder& image, BurnDrive& drive, EngineHost& host,
                       platform::Event* cancelEvent, std::string& failure) {
  const bool compared = Compare(image, drive, host, cancelEvent, failure);
  image.ResetImage();
  return compared;
}

}  // namespace scrivo
