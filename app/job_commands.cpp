// The commands that talk to a writer (Start Burn, Cancel Burn, Erase, Eject
// and the two reports), the busy and idle states of the window, and the
// handlers of the engine's events and failed jobs.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>

#include "app/main_window.h"
#include "app/reports.h"

namespace {
const QString kWriterInUse =
    "The writer is in use by another program: it is burning, erasing or formatting a disc. Try again when that "
    "has finished.";
}  // namespace

bool TFGUI::WriterReady(const QString& notReadyMessage) {
  scrivo_->SetCurrentDevice(cboBurner->currentIndex());
  if (scrivo_->CDWriterUnitReady()) return true;
  messages_.Show(notReadyMessage);
  return false;
}

// Hands every checked entry over (a folder whole, trailing "/" included; a
// file under the name after its last "/") and collects the engine's
// refusals, each with its own reason.
quillon::HandOverResult TFGUI::HandOverCheckedEntries() {
  std::vector<std::string> entries;
  for (const CompilationList::Entry& entry : lsvCD->Entries()) {
    if (entry.checked) entries.push_back(QFile::encodeName(entry.caption).toStdString());
  }
  engineHoldsEntries_ = engineHoldsEntries_ || !entries.empty();
  return scrivo_->HandOver(entries, [this] { pump_.DispatchPending(); });
}

void TFGUI::actBurnExecute() {
  if (engineHoldsEntries_) RenewControl();
  RefreshDisc();
  if (readiness_ == quillon::DiscProbe::Readiness::InUse) {
    messages_.Show(kWriterInUse);
    return;
  }
  if (!UnmountIfMounted()) return;
  if (!WriterReady("CD/DVD Writer not ready! Can not continue to burn.")) return;
  if (lsvCD->Count() == 0) {
    messages_.Show("Please select direcotry or file first before burning!");
    return;
  }
  quillon::CompilationFacts facts;
  if (!ExamineCheckedEntries(facts, WriteJob::Burn)) return;
  if (const QString refused = DiscRefusesBurn(facts); !refused.isEmpty()) {
    messages_.Show(refused);
    return;
  }
  if (!OfferFormat("press Start Burn again")) return;
  if (!HandOverForJob(facts, WriteJob::Burn)) return;
  burnFacts_ = facts;
  burnDisc_ = disc_;
  EnterBurning(false);
  if (rdbCD->isChecked()) {
    scrivo_->BurnCDData(chkMulti->isChecked());
  } else if (rdbDVD->isChecked()) {
    scrivo_->SetDvdWriteSpeed(dvdSpeed_);
    scrivo_->BurnDVDData();
  }
}

void TFGUI::actAbortExecute() {
  const bool saving = scrivo_->Tag == SavingImage;
  if (!messages_.Ask(saving ? "Cancel saving the image? No image file is left."
                            : "Cancel Burning, it will destory the CD disc, Are you sure"))
    return;
  // The job may have ended while the question was open.
  if (scrivo_->Tag != (saving ? SavingImage : Burning)) return;
  cancelRequested_ = true;
  phases_.CancelRequested();
  scrivo_->CancelBurning();
  pgbBurning->setValue(0);
  // The panels come back, their controls stay disabled: the engine closes
  // the session with what it wrote, and its Finished brings back the rest.
  for (QWidget* child : WindowChildren()) child->setEnabled(true);
  pnlBurning->setEnabled(false);
  pnlBurning->hide();
  actAbort->setEnabled(false);
}

bool TFGUI::UnmountIfMounted() {
  if (readiness_ != quillon::DiscProbe::Readiness::Mounted) return true;
  // The device and mount point as the probe just found them (RefreshDisc).
  const std::optional<quillonhost::MountedDisc> mounted = mounted_;
  // Without UDisks2 the disc's own message says how to unmount it.
  if (!mounted || !quillonhost::UdisksAvailable()) return true;
  const QString device = QFile::decodeName(mounted->device.c_str());
  const QString where = mounted->mountPoint.empty() ? QString()
                                                    : " at " + QFile::decodeName(mounted->mountPoint.c_str());
  if (!messages_.Ask("The system has the disc in the writer (" + device + ") mounted" + where +
                     ", and nothing can be written to it while it is.\r\nUnmount it and go on?")) {
    return false;
  }
  std::string problem;
  WaitOffThread([&problem, &mounted] { problem = quillonhost::UnmountWithUdisks(mounted->device); });
  if (!problem.empty()) {
    messages_.Show("The disc could not be unmounted: " + QString::fromStdString(problem) + "\r\nNothing was written.");
    return false;
  }
  RefreshDisc();
  return readiness_ != quillon::DiscProbe::Readiness::Mounted;
}

void TFGUI::actEraseExecute() {
  RefreshDisc();
  if (!UnmountIfMounted()) return;
  if (!WriterReady("CD/DVD Writer not ready! Can not continue to erase.")) return;
  if (!scrivo_->IsDiskErasable()) {
    messages_.Show("CD/DVD disk is not erasable! Can not continue to erase.");
    return;
  }
  if (!messages_.Ask("Do you want to erase the data on the current cd/dvd disk really? \r\n  Notice: this operation "
                     "will clear all data on cd/dvd disk and they can not restore! ")) {
    return;
  }
  jobErrors_.clear();
  EnterBusyState(Erasing);
  if (rdbQuickErase->isChecked()) {
    scrivo_->Blank(false);
  } else if (rdbFullErase->isChecked()) {
    scrivo_->Blank(true);
  }
}

// Closes the session a burn left open (a close the drive refused, a program
// killed, a power loss), so the disc can be read in other drives. The
// engine sends nothing that changes a disc without an open session, and
// says so.
void TFGUI::actCloseSessionExecute() {
  if (!WriterReady("CD/DVD Writer not ready! Can not close the session.")) return;
  if (!messages_.Ask("Close the open session of the disc? \r\n  Notice: the disc can then be read in other "
                     "drives; what the interrupted burn did not write stays missing.")) {
    return;
  }
  jobErrors_.clear();
  EnterBusyState(Closing);
  scrivo_->CloseSession();
}

void TFGUI::ScrivoCloseFinished() {
  ReturnToIdle();
  messages_.Show("Session closed! The disc can now be read in other drives.");
  pgbBurning->setValue(0);
  scrivo_->Tag = Idle;
  cboBurnerChange();
}

void TFGUI::ScrivoCloseFailed(const QString& reason) {
  if (scrivo_->Tag == Idle) return;
  ReturnToIdle();
  messages_.Show(reason.isEmpty() ? "The session was not closed." : "Close Session: " + reason);
  jobErrors_.clear();
  jobNotices_.clear();
  pgbBurning->setValue(0);
  scrivo_->Tag = Idle;
  cboBurnerChange();
}


// Formats a DVD+RW (the control's BlankDVD); the end comes as BlankFinished.
void TFGUI::actFormatExecute() {
  RefreshDisc();
  if (!UnmountIfMounted()) return;
  if (!WriterReady("CD/DVD Writer not ready! Can not continue to format.")) return;
  if (disc_ && !disc_->dvdPlusRw()) {
    messages_.Show("The disc in the writer is a " + QString::fromStdString(quillon::MediumName(disc_->profile)) +
                   ": only a DVD+RW is formatted here.");
    return;
  }
  if (!messages_.Ask("Format the DVD+RW in the writer? Everything on it is lost.")) return;
  StartFormat();
}

bool TFGUI::OfferFormat(const QString& retry) {
  if (!disc_ || !disc_->unformatted) return true;
  if (messages_.Ask("The DVD+RW in the writer is not formatted, and nothing can be burned on it until it is. "
                    "Format it now?\r\nFormatting takes a while; " + retry + " when it has finished.")) {
    StartFormat();
  }
  return false;
}

void TFGUI::StartFormat() {
  jobErrors_.clear();
  formatting_ = true;
  EnterBusyState(Erasing);
  scrivo_->BlankDVD();
}

void TFGUI::actEjectExecute() { EjectInBackground(); }

void TFGUI::actDiskInfoExecute() {
  if (!WriterReady("CD/DVD Writer not ready! Can not get the information of disk.")) return;
  messages_.Show(DiscReport({scrivo_->IsDiskBlank(), scrivo_->IsDiskClosed(), scrivo_->IsDiskErasable(),
                             scrivo_->MaxReadSpeed(), scrivo_->MaxWriteSpeed()}));
}

void TFGUI::actBurnerInfoExecute() {
  if (!WriterReady("CD/DVD Writer not ready! Can not get the information of burner.")) return;
  messages_.Show(BurnerReport({scrivo_->IsCDRWriteSupport(), scrivo_->IsCDRWWriteSupport(),
                               scrivo_->IsMultiSessionsSupport(), scrivo_->IsReadDVDSupport(),
                               scrivo_->MaxWriteSpeed()}));
}

void TFGUI::EnterBurning(bool image) {
  phases_ = {};
  verify_ = {};
  // A burned image's session is read back as a compilation's is.
  scrivo_->SetVerifyAfterBurn(chkVerify->isChecked());
  if (chkVerify->isChecked()) phases_.ExpectVerify();
  cancelRequested_ = false;
  burningImage_ = image;
  writeStartPercent_ = -1;
  EnterBusyState(Burning);
}

void TFGUI::EnterBusyState(JobState job) {
  for (QWidget* child : WindowChildren()) {
    SetPanelChildrenEnabled(child, false);
    child->setEnabled(false);
  }
  pnlBurning->setEnabled(true);
  lblBuffer->hide();
  pnlBurning->show();
  pnlBurning->raise();
  actAbort->setEnabled(job == Burning || job == SavingImage);
  SetActionsEnabled(false);
  busyExit_->setEnabled(true);
  timDisc->stop();
  scrivo_->Tag = job;
  using quillonhost::DiscJob;
  if (job != SavingImage) {
    awake_ = quillonhost::SleepInhibitor::Take(
        "Quillon Burner", quillonhost::InhibitReason(job == Burning   ? (rdbDVD->isChecked() ? DiscJob::BurnDvd : DiscJob::BurnCd)
                                                     : job == Closing ? DiscJob::Close
                                                     : formatting_    ? DiscJob::Format
                                                                      : DiscJob::Erase));
  }
  lblState->setText(job == Burning       ? "Burning ......"
                    : job == SavingImage ? "Saving the image......"
                    : job == Closing     ? "Closing the session......"
                    : formatting_        ? "Formatting......"
                                         : "Erasing......");
  // An erase, a format or a close works on the whole disc: it has no Cancel.
  const bool writing = job == Burning || job == SavingImage;
  btnAbort->setVisible(writing);
  lblDetail->setText(writing ? "Preparing the image..."
                             : QString("%1 cannot be stopped: a disc left half done is unusable.")
                                          .arg(job == Closing ? "Closing a session" : formatting_ ? "A format" : "An erase"));
}

void TFGUI::ReturnToIdle() {
  awake_.Release();
  messages_.CloseQuestions();  // a cancel question the job's end has made moot
  for (QWidget* child : WindowChildren()) {
    SetPanelChildrenEnabled(child, true);
    child->setEnabled(true);
  }
  pnlBurning->setEnabled(false);
  pnlBurning->hide();
  actAbort->setEnabled(false);
  SetActionsEnabled(true);
  busyExit_->setEnabled(false);
  timDisc->start();
}

void TFGUI::ScrivoProgress(std::int16_t iPos) {
  if (scrivo_->Tag == Burning) {
    ShowBurnDetail(iPos);
    lblState->setText(phases_.verifying() ? "Verifying ......" : "Burning ......");
  }
  if (scrivo_->Tag == Erasing) lblState->setText(formatting_ ? "Formatting ......" : "Erasing ......");
  if (scrivo_->Tag == SavingImage) lblDetail->setText(iPos <= 5 ? "Preparing the image..." : "Writing the image file...");
  pgbBurning->setValue(iPos);
  txtProgress->setText(QString::number(iPos) + " %");
}

void TFGUI::ScrivoBufferLevel(std::int16_t iPercent) {
  if (scrivo_->Tag != Burning) return;
  lblBuffer->setText(QString("Buffer: %1 % full").arg(iPercent));
  lblBuffer->show();
}

// The phase, the megabytes written of those the burn needs, the speed and
// the time left, from the engine's percentages and the clock.
void TFGUI::ShowBurnDetail(int percent) {
  const quillon::BurnPhases::Step step = phases_.OnProgress(percent);
  const QString phase = QString::fromUtf8(step.phase.data(), static_cast<qsizetype>(step.phase.size()));
  if (step.phase != quillon::BurnPhases::kWriting) {
    lblDetail->setText(phase + "...");
    return;
  }
  const std::uint64_t total = burnFacts_.blocks;
  const auto written = static_cast<std::uint64_t>(phases_.writtenShare() * static_cast<double>(total));
  if (writeStartPercent_ < 0) {
    writeStartPercent_ = percent;
    writeClock_.start();
  }
  QString text = phase + ": " + QString::fromStdString(quillon::Megabytes(written)) + " of " +
                 QString::fromStdString(quillon::Megabytes(total));
  const double seconds = static_cast<double>(writeClock_.elapsed()) / 1000.0;
  if (seconds > 1.0 && written > 0) {
    const double blocksPerSecond = static_cast<double>(written) / seconds;
    const double megabytesPerSecond = blocksPerSecond * 2048.0 / (1024.0 * 1024.0);
    const int left = static_cast<int>(static_cast<double>(total - std::min(total, written)) / blocksPerSecond);
    text += QString(", %1 MB/s, %2:%3 left")
                .arg(megabytesPerSecond, 0, 'f', 1)
                .arg(left / 60)
                .arg(left % 60, 2, 10, QChar('0'));
  }
  lblDetail->setText(text);
}

// The end of a job while the window is not in front is told on the desktop.
void TFGUI::NotifyJobEnd(const QString& text) {
  if (!isActiveWindow() && notify) notify(kApplicationTitle, text);
}

// What a cancelled burn left: how much the drive recorded in the new
// session (the progress tells for a disc written in place), and what that
// means for the disc, as it is now.
QString TFGUI::CancelledBurnReport() {
  const std::lock_guard lock(probeMutex_);
  std::uint64_t written =
      static_cast<std::uint64_t>(phases_.writtenShare() * static_cast<double>(burnFacts_.blocks));
  if (burnDisc_ && !burnDisc_->overwritable && probedWriter_ >= 0) {
    if (auto recorded = probe_.RecordedFrom(burnDisc_->nextWritable)) written = *recorded;
  }
  QStringList lines{"Burn cancelled: the session was closed with " +
                    QString::fromStdString(quillon::Megabytes(written)) + " written.",
                    "The disc holds only what was written before the cancel: a file cut off by it cannot be read "
                    "whole, and the files after it are not on the disc."};
  const std::optional<quillon::DiscDescription> now =
      probedWriter_ >= 0 ? probe_.Describe() : std::optional<quillon::DiscDescription>();
  if (now && now->closed) {
    lines.append("The disc is closed: nothing more can be added to it.");
  } else if (now && !now->overwritable) {
    lines.append("More can be added to the disc in a new session.");
  }
  if (scrivo_->IsDiskErasable()) lines.append("It is rewritable: Erase makes it blank again.");
  lines.append("The list is kept: Start Burn writes it again.");
  return lines.join("\r\n");
}

void TFGUI::ScrivoFinished() {
  // The engine empties its compilation after the Finished of a burn of it;
  // the burn of an image file leaves it.
  if (!burningImage_) engineHoldsEntries_ = false;
  ReturnToIdle();
  // A cancel that came before the writing reached the end: the session
  // holds part of the compilation.
  const bool cancelled = cancelRequested_ && !phases_.wroteEverything();
  const QString report = cancelled ? CancelledBurnReport() : QString("Burned Completed!");
  NotifyJobEnd(cancelled ? report.section("\r\n", 0, 0) : report);
  if (!cancelled && verify_.finished()) {
    // The box says the disc was verified, or names each file that differs
    // or cannot be read, and a damaged directory.
    QStringList findings;
    for (const std::string& finding : verify_.findings()) findings.append(QString::fromStdString(finding));
    messages_.Show(report + "\r\n" + QString::fromStdString(verify_.Summary()), findings);
  } else {
    messages_.Show(report);
  }
  if (!jobNotices_.isEmpty()) messages_.Show(jobNotices_.join("\r\n"));
  jobNotices_.clear();
  // Files that vanished or changed while they were read: the session is
  // closed, but it does not hold them as they are now.
  if (!jobErrors_.isEmpty()) {
    messages_.Show("The disc does not hold these files as they are now:", jobErrors_);
    jobErrors_.clear();
  }
  pgbBurning->setValue(0);
  scrivo_->Tag = Idle;
  EjectInBackground();
  if (!cancelled && !burningImage_) lsvCD->clear();
  cancelRequested_ = false;
  burningImage_ = false;
  cboBurnerChange();
}

void TFGUI::ScrivoBlankFinished() {
  ReturnToIdle();
  const QString text = formatting_ ? "Format complete!" : "Blank complete!";
  NotifyJobEnd(text);
  messages_.Show(text);
  pgbBurning->setValue(0);
  scrivo_->Tag = Idle;
  if (!formatting_) EjectInBackground();  // a formatted DVD+RW stays in for the burn
  formatting_ = false;
  cboBurnerChange();
}

void TFGUI::ScrivoEngineError(const QString& text) {
  if (scrivo_->Tag != Idle) jobErrors_.append(text);
}

void TFGUI::ScrivoEngineNotice(const QString& text) {
  if (scrivo_->Tag != Idle) jobNotices_.append(text);
}

// A job that failed raises no event: the window returns to idle here and
// says why, with the engine's own texts and, under them, what failed, what
// the disc holds now and what to do with it. The disc stays in and the list
// is kept, so the user can try again.
void TFGUI::ScrivoJobFailed(scrivo::JobKind job, const QString& reason, DiscAfterJob disc) {
  if (scrivo_->Tag == Idle) return;
  ReturnToIdle();
  QString what = job == scrivo::JobKind::Burn || job == scrivo::JobKind::BurnImage ? "The burn did not complete."
                 : job == scrivo::JobKind::ImageFile ? "The image file was not saved."
                 : job == scrivo::JobKind::DvdFormat ? "The format did not complete."
                                                     : "The erase did not complete.";
  QStringList reasons = jobErrors_;
  reasons.removeDuplicates();
  if (!reason.isEmpty()) reasons.append(reason);
  // Another program may have taken the writer meanwhile.
  if (probedWriter_ >= 0) {
    const std::lock_guard lock(probeMutex_);
    if (probe_.TestReady() == quillon::DiscProbe::Readiness::InUse)
      reasons.append("The writer is in use by another program.");
  }
  if (job == scrivo::JobKind::Burn && disc == DiscAfterJob::Untouched)
    reasons.append("The list is kept: Start Burn tries again.");
  NotifyJobEnd(what);
  messages_.Show(reasons.isEmpty() ? what : what + "\r\n" + reasons.join("\r\n"));
  jobErrors_.clear();
  formatting_ = false;
  cancelRequested_ = false;
  burningImage_ = false;
  pgbBurning->setValue(0);
  scrivo_->Tag = Idle;
  cboBurnerChange();
}
