#pragma once
// The burn of one session: prepare the drive, import the previous session of
// a multi-session CD, build the image, check that it fits, write it and
// close the session. Progress is posted in per mille: 10 to 50 while the
// image is built, 60 to 960 while it is written, then 900 and 1000, then
// (a burn that verifies) 1 to 1000 again while the session is read back,
// then WM_BURN_FINISHED. The image builder keeps the tree and the layout; this
// unit owns the drive's side of the job, and on a failure says which step
// failed and what it left on the disc.

#include <cstdint>
#include <string>

#include "engine/burn/burn_failure.h"
#include "engine/burn/read_ahead.h"
#include "engine/drive/burn_mode.h"
#include "engine/iso/image_builder.h"
#include "engine/iso/image_stream.h"

namespace platform {
class Event;
}  // namespace platform

namespace scrivo {

class BlockDigests;
class BurnDrive;
class CImageBuilder;
class DriveOutput;
class EngineHost;
class WriteProgress;

class BurnSession {
 public:
  BurnSession(CImageBuilder& image, BurnDrive& drive, EngineHost& host, platform::Event* cancelEvent)
      : image_(image), drive_(drive), host_(host), cancelEvent_(cancelEvent) {}

  // True when the session was closed. A failure posts nothing further and
  // leaves its reason in Failure(). The image is left as built: the caller
  // resets it.
  bool Run(BurnMode mode);
  // The burn of the ISO 9660 image file `path` as the disc's one session,
  // block for block, by the same steps and the same closing as a burn of
  // the compilation (the image is not built but read). The disc must be
  // blank: the image's addresses are those of a first session. Posts 50
  // once the file and the disc are checked, then as Run does;
  // WM_BURN_FINISHED carries kImageFileBurned.
  bool RunImageFile(BurnMode mode, const std::string& path);
  // Once the session is closed, it is read back and compared with what was
  // written; the host hears the result (ReportVerify) before the end.
  void VerifyAfterClose() { verify_ = true; }
  const BurnFailure& Failure() const { return failure_; }

 private:
  bool CheckMedium(BurnMode mode);
  bool OpenOutput(BurnMode mode);
  // Writes `total` blocks from `passes` as the session and closes it.
  bool Record(BurnMode mode, std::uint64_t total, const ReadAhead::Passes& passes, std::uintptr_t finished);
  bool ImportPreviousSession();
  // Walks back from the damaged session that starts at `lastStart` to the
  // last one that imports; reports which sessions are not carried.
  ImportResult ImportEarlierSession(std::int32_t lastStart);
  static std::string DamagedSessionsText(std::size_t damaged, std::uint8_t carried);
  void ReportLostEntries(const ImportResult& result);
  bool FitsOnDisc(std::uint64_t blocks);
  // SET STREAMING and, for DVD-R, RESERVE TRACK; whether the first write
  // is to be retried.
  bool PrepareDvdTrack(std::uint64_t blocks, bool& retryFirst);
  // The metadata, then the file data; true also when a cancel stopped it.
  bool WriteImage(DriveOutput& output, WriteProgress& progress, const ReadAhead::Passes& passes);
  void ReportSourceChange(const CImageNode& file, SourceChange change, int error);
  bool CloseOutput(BurnMode mode);
  // Reads the session back; `imageFile`: it was burned from imageFile_.
  void Verify(const BlockDigests& digests, bool imageFile);
  bool CancelRequested();
  void Post(std::uint32_t perMille);
  // Records a failed step, with the drive's failed command when one of the
  // step's own commands failed (the failure count moved past `before`).
  bool Fail(BurnStep step, std::uint64_t before);

  CImageBuilder& image_;
  BurnDrive& drive_;
  EngineHost& host_;
  platform::Event* cancelEvent_;
  BurnFailure failure_;
  bool verify_ = false;
  std::string imageFile_;  // the image file being burned, for the read-back's findings
  bool cancelled_ = false;  // a cancel was seen
};

}  // namespace scrivo
