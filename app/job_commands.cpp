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

#include "app/main_window.h"
#include "app/reports.h"

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
  if (!WriterReady("CD/DVD Writer not ready! Can not continue to burn.")) return;
  if (lsvCD->Count() == 0) {
    messages_.Show("Please select direcotry or file first before burning!");
    return;
  }
  jobErrors_.clear();
  scrivo_->SetVolumeLabel(edtCDVolume->text());
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const quillon::HandOverResult handedOver = HandOverCheckedEntries();
  QApplication::restoreOverrideCursor();
  // Nothing is left out of a disc without the user's word.
  if (!handedOver.refused.empty()) {
    QStringList refused;
    for (const quillon::RefusedEntry& entry : handedOver.refused) refused.append(QFile::decodeName(entry.reason.c_str()));
    const QString list = "These files and folders cannot be burned:\r\n" + refused.join("\r\n");
    if (handedOver.accepted == 0) {
      messages_.Show(list + "\r\nNothing was burned.");
      return;
    }
    if (!messages_.Ask(list + "\r\nBurn the other entries without them?")) return;
  }
  EnterBusyState(Burning);
  if (rdbCD->isChecked()) {
    scrivo_->BurnCDData(chkMulti->isChecked());
  } else if (rdbDVD->isChecked()) {
    scrivo_->BurnDVDData();
  }
}

void TFGUI::actAbortExecute() {
  if (!messages_.Ask("Cancel Burning, it will destory the CD disc, Are you sure")) return;
  scrivo_->CancelBurning();
  pgbBurning->setValue(0);
  // The panels come back, their controls stay disabled: the engine closes
  // the session with what it wrote, and its Finished brings back the rest.
  for (QWidget* child : WindowChildren()) child->setEnabled(true);
  pnlBurning->setEnabled(false);
  pnlBurning->hide();
  actAbort->setEnabled(false);
}

void TFGUI::actEraseExecute() {
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
  pgbBurning->setValue(0);
  scrivo_->Tag = Idle;
  cboBurnerChange();
}

void TFGUI::actEjectExecute() { scrivo_->EjectDisk(); }

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

void TFGUI::EnterBusyState(JobState job) {
  for (QWidget* child : WindowChildren()) {
    SetPanelChildrenEnabled(child, false);
    child->setEnabled(false);
  }
  pnlBurning->setEnabled(true);
  pnlBurning->show();
  pnlBurning->raise();
  actAbort->setEnabled(job == Burning);
  SetActionsEnabled(false);
  scrivo_->Tag = job;
  lblState->setText(job == Burning ? "Burning ......" : job == Closing ? "Closing the session......" : "Erasing......");
}

void TFGUI::ReturnToIdle() {
  for (QWidget* child : WindowChildren()) {
    SetPanelChildrenEnabled(child, true);
    child->setEnabled(true);
  }
  pnlBurning->setEnabled(false);
  pnlBurning->hide();
  actAbort->setEnabled(false);
  SetActionsEnabled(true);
}

void TFGUI::ScrivoProgress(std::int16_t iPos) {
  if (scrivo_->Tag == Burning) lblState->setText("Burning ......");
  if (scrivo_->Tag == Erasing) lblState->setText("Erasing ......");
  pgbBurning->setValue(iPos);
  txtProgress->setText(QString::number(iPos) + " %");
}

void TFGUI::ScrivoFinished() {
  engineHoldsEntries_ = false;  // the engine empties its compilation after Finished
  ReturnToIdle();
  messages_.Show("Burned Completed!");
  // Files that vanished or changed while they were read: the session is
  // closed, but it does not hold them as they are now.
  if (!jobErrors_.isEmpty()) {
    messages_.Show("The disc does not hold these files as they are now:\r\n" + jobErrors_.join("\r\n"));
    jobErrors_.clear();
  }
  pgbBurning->setValue(0);
  scrivo_->EjectDisk();
  scrivo_->Tag = Idle;
  lsvCD->clear();
  cboBurnerChange();
}

void TFGUI::ScrivoBlankFinished() {
  ReturnToIdle();
  messages_.Show("Blank complete!");
  scrivo_->EjectDisk();
  pgbBurning->setValue(0);
  scrivo_->Tag = Idle;
  cboBurnerChange();
}

void TFGUI::ScrivoEngineError(const QString& text) {
  if (scrivo_->Tag != Idle) jobErrors_.append(text);
}

// A job that failed raises no event: the window returns to idle here and
// says why, with the engine's own texts and, under them, what failed and
// what the disc holds now. The disc stays in and the list is kept, so the
// user can try again.
void TFGUI::ScrivoJobFailed(scrivo::JobKind job, const QString& reason) {
  if (scrivo_->Tag == Idle) return;
  ReturnToIdle();
  QString what = job == scrivo::JobKind::Burn ? "The burn did not complete." : "The erase did not complete.";
  QStringList reasons = jobErrors_;
  reasons.removeDuplicates();
  if (!reason.isEmpty()) reasons.append(reason);
  messages_.Show(reasons.isEmpty() ? what : what + "\r\n" + reasons.join("\r\n"));
  jobErrors_.clear();
  pgbBurning->setValue(0);
  scrivo_->Tag = Idle;
  cboBurnerChange();
}
