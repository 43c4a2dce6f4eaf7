// The job members: each checks that no job runs, marks the control busy and
// starts one worker, which clears the busy state as its last step.

#include "engine/control/scrivo_ctrl.h"

#include "engine/burn/burn_job.h"
#include "engine/burn/burn_session.h"
#include "engine/burn/image_file.h"
#include "engine/burn/mmc_burn_drive.h"

namespace scrivo {
namespace {

// Runs a job's drive work with the tray locked (TrayLock): the tray is
// unlocked when the work ends, done, failed or cancelled, and before the
// job clears the busy state, so no host call reaches the drive meanwhile.
template <typename Work>
auto WithTrayLocked(MmcCore& drive, Work&& work) {
  const TrayLock tray(drive);
  return work();
}

}  // namespace

bool CScrivoCtrl::StartJob(void (CScrivoCtrl::*job)(), JobKind kind, CancelReset cancel,
                           ThreadFailure onFailure) {
  busyEvent_.Set();
  ++jobNumber_;
  if (cancel == CancelReset::Yes) cancelEvent_.Clear();
  bool started = worker_.Start([this, job] { (this->*job)(); });
  if (!started) {
    busyEvent_.Clear();
    if (onFailure == ThreadFailure::Report) ReportError("Unable to create thread");
    ReportJobFailed(JobFailure::NoThread(kind));
  }
  return started;
}

void CScrivoCtrl::BurnCDData(bool bMultiSession) {
  if (RefuseWhileBusy()) return;
  burnMode_ = bMultiSession ? BurnMode::CdMultiSession : BurnMode::CdSingleSession;
  StartJob(&CScrivoCtrl::BurnJob, JobKind::Burn, CancelReset::Yes, ThreadFailure::Report);
}

void CScrivoCtrl::BurnDVDData() {
  if (RefuseWhileBusy()) return;
  burnMode_ = BurnMode::Dvd;
  StartJob(&CScrivoCtrl::BurnJob, JobKind::Burn, CancelReset::Yes, ThreadFailure::Report);
}

void CScrivoCtrl::Blank(bool bFull) {
  if (RefuseWhileBusy()) return;
  fullBlank_ = bFull ? 1 : 0;
  StartJob(&CScrivoCtrl::BlankJob, JobKind::Blank, CancelReset::No, ThreadFailure::Report);
}

void CScrivoCtrl::BlankDVD() {
  if (RefuseWhileBusy()) return;
  StartJob(&CScrivoCtrl::DvdBlankJob, JobKind::DvdFormat, CancelReset::Yes, ThreadFailure::Silent);
}

void CScrivoCtrl::CloseSession() {
  if (RefuseWhileBusy()) return;
  StartJob(&CScrivoCtrl::CloseSessionJob, JobKind::SessionClose, CancelReset::No, ThreadFailure::Report);
}

void CScrivoCtrl::SaveImageFile(const std::string& strImageFile, bool bDvd) {
  if (RefuseWhileBusy()) return;
  imageFile_ = strImageFile;
  imageDvd_ = bDvd;
  StartJob(&CScrivoCtrl::SaveImageJob, JobKind::ImageFile, CancelReset::Yes, ThreadFailure::Report);
}

void CScrivoCtrl::BurnImageFile(const std::string& strImageFile) {
  if (RefuseWhileBusy()) return;
  imageFile_ = strImageFile;
  StartJob(&CScrivoCtrl::BurnImageJob, JobKind::BurnImage, CancelReset::Yes, ThreadFailure::Report);
}

std::string CScrivoCtrl::CheckImageFile(const std::string& strImageFile) {
  // Reads the file alone: allowed while a job runs.
  return InspectIsoImage(strImageFile).problem;
}

void CScrivoCtrl::VerifyDisc() {
  if (RefuseWhileBusy()) return;
  StartJob(&CScrivoCtrl::VerifyJob, JobKind::Verify, CancelReset::Yes, ThreadFailure::Report);
}

void CScrivoCtrl::CancelBurning() {
  // Only a running job can be cancelled; a cancel with nothing running must
  // not linger and stop the next burn.
  if (busyEvent_.IsSignalled()) cancelEvent_.Set();
}

// The jobs run on the worker and clear the busy state as their last step
// but one: a failed job reports its text, clears the busy state, then says
// that it failed, and raises no event.
void CScrivoCtrl::BurnJob() {
  image_.Bind(this);
  MmcBurnDrive drive(drive_);
  BurnFailure failure;
  const bool burned = WithTrayLocked(
      drive_, [&] {
        return BurnCompilation(image_, drive, *this, burnMode_, &cancelEvent_, failure, verifyAfterBurn_);
      });
  if (!burned) ReportError("Unable to burn image.");
  busyEvent_.Clear();
  if (!burned) ReportJobFailed(JobFailure::OfBurn(failure));
}

void CScrivoCtrl::SaveImageJob() {
  image_.Bind(this);
  ImageSave save(image_, *this, &cancelEvent_);
  const bool saved = save.Run(imageFile_, imageDvd_ ? ImageMedium::Dvd : ImageMedium::Cd);
  // The compilation stays for a burn or another image; so does its label,
  // which the reset empties.
  const std::string label = image_.VolumeLabel();
  image_.ResetImage();
  image_.SetVolumeLabel(label);
  if (!saved) ReportError("Unable to save the image file.");
  busyEvent_.Clear();
  if (!saved) ReportJobFailed(JobFailure::OfImageSave(save.Failure()));
}

void CScrivoCtrl::BurnImageJob() {
  // A writable DVD in the writer is burned as a DVD (closed), anything else
  // as a single-session CD, which closes the disc as well.
  const BurnMode mode =
      (featureFlags_ & kDvdWritableCurrentMask) != 0 ? BurnMode::Dvd : BurnMode::CdSingleSession;
  MmcBurnDrive drive(drive_);
  BurnSession session(image_, drive, *this, &cancelEvent_);
  if (verifyAfterBurn_) session.VerifyAfterClose();
  const bool burned = WithTrayLocked(drive_, [&] { return session.RunImageFile(mode, imageFile_); });
  if (!burned) ReportError("Unable to burn image.");
  busyEvent_.Clear();
  if (!burned) ReportJobFailed(JobFailure::OfBurn(session.Failure(), JobKind::BurnImage));
}

// The verify job ends with VerifyFinished, or fails with its reason.
void CScrivoCtrl::VerifyJob() {
  image_.Bind(this);
  MmcBurnDrive drive(drive_);
  const std::uint64_t before = drive_.LastFailure().serial;
  std::string reason;
  const bool compared =
      WithTrayLocked(drive_, [&] { return VerifyCompilation(image_, drive, *this, &cancelEvent_, reason); });
  if (!compared) ReportError("Unable to verify the disc.");
  busyEvent_.Clear();
  if (!compared) ReportJobFailed(JobFailure::OfVerify(reason, FailureSince(before)));
}

std::optional<CommandFailure> CScrivoCtrl::FailureSince(std::uint64_t serial) const {
  if (drive_.LastFailure().serial == serial) return std::nullopt;
  return drive_.LastFailure();
}

void CScrivoCtrl::BlankJob() {
  const std::uint64_t before = drive_.LastFailure().serial;
  const bool blanked = WithTrayLocked(
      drive_, [&] { return drive_.BlankDisc(fullBlank_ ? BlankKind::Full : BlankKind::Minimal, JobProgress()); });
  if (blanked) {
    PostJobMessage(WM_BLANK_FINISHED, 0);
  } else {
    ReportError("Unable to blank disk.");
  }
  busyEvent_.Clear();
  if (!blanked) ReportJobFailed(JobFailure::OfDriveJob(JobKind::Blank, FailureSince(before)));
}

void CScrivoCtrl::DvdBlankJob() {
  // The format sequence reports its own progress marks, up to 1000; a
  // format that fails says nothing but that it failed, and why.
  const std::uint64_t before = drive_.LastFailure().serial;
  const bool formatted = WithTrayLocked(drive_, [&] { return drive_.RunDvdPlusRwFormat(JobProgress()); });
  if (formatted) PostJobMessage(WM_BLANK_FINISHED, 0);
  busyEvent_.Clear();
  if (!formatted) ReportJobFailed(JobFailure::OfDriveJob(JobKind::DvdFormat, FailureSince(before)));
}

void CScrivoCtrl::CloseSessionJob() {
  // Closing cannot be called off half way: the job runs to its end.
  const std::uint64_t before = drive_.LastFailure().serial;
  const MmcCore::SessionCloseEnd end =
      WithTrayLocked(drive_, [&] { return drive_.CloseOpenSession(featureFlags_); });
  const bool closed = end == MmcCore::SessionCloseEnd::Closed;
  if (closed) {
    PostJobMessage(WM_CLOSE_FINISHED, 0);
  } else {
    ReportError(end == MmcCore::SessionCloseEnd::NoOpenSession ? "The disc has no open session."
                                                               : "Unable to close the session.");
  }
  busyEvent_.Clear();
  if (!closed) ReportJobFailed(JobFailure::OfSessionClose(end, FailureSince(before)));
}

ProgressSink CScrivoCtrl::JobProgress() {
  return [this](std::uint32_t perMille) { PostJobMessage(WM_JOB_PROGRESS, perMille); };
}

}  // namespace scrivo
