// File, Save as Image... and Burn Image...: the compilation written to an
// image file as a burn would write it, and an ISO 9660 image file burned as
// a blank disc's one session. Both run as the engine's jobs, with the
// progress panel and the end box of a burn.

#include <QApplication>
#include <QFile>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>

#include <algorithm>

#include "app/main_window.h"

namespace {
const QString kImageFilter = "ISO images (*.iso)";
}  // namespace

bool TFGUI::ExamineCheckedEntries(quillon::CompilationFacts& facts, WriteJob job) {
  // The checked entries are walked off the GUI thread, as the engine will
  // walk them, for the disc type chosen: two that would land at the disc's
  // root under one name, files too large for that disc, and folders the
  // engine would take empty are named before anything starts.
  std::vector<std::string> checked;
  for (const CompilationList::Entry& entry : lsvCD->Entries()) {
    if (entry.checked) checked.push_back(QFile::encodeName(entry.caption).toStdString());
  }
  quillon::CompilationOptions options;
  options.dvd = rdbDVD->isChecked();
  WaitOffThread([&facts, &checked, &options] { facts = quillon::ExamineCompilation(checked, options); });
  QStringList clashes, unusable;
  for (const quillon::InputProblem& problem : facts.unusablePaths) {
    const QString path = QFile::decodeName(problem.path.c_str());
    const QString line = path + ": " + QFile::decodeName(problem.reason.c_str());
    if (!problem.clashesWith.empty()) {
      clashes.append(line);
      continue;
    }
    // A checked entry that is gone or cannot be read the engine names with
    // its own reason when it is handed over, and the rest may be burned.
    const QFileInfo info(path);
    const bool entry = std::find(checked.begin(), checked.end(), problem.path) != checked.end();
    if (!entry || (info.exists() && info.isReadable())) unusable.append(line);
  }
  const bool burn = job == WriteJob::Burn;
  const QString again = burn ? "then press Start Burn." : "then choose Save as Image again.";
  const QString nothing = burn ? "Nothing was burned. " : "Nothing was written. ";
  if (!clashes.isEmpty()) {
    messages_.Show("These entries land at the disc's root under one name, and one would replace the other:", clashes,
                   nothing + "Uncheck or remove one of each pair, or rename it, " + again);
    return false;
  }
  if (!unusable.isEmpty()) {
    messages_.Show(burn ? "These files cannot be burned on the disc type chosen:"
                        : "These files cannot be written to an image of the disc type chosen:",
                   unusable, nothing + "Uncheck or remove them, " + again);
    return false;
  }
  return true;
}

bool TFGUI::HandOverForJob(const quillon::CompilationFacts& facts, WriteJob job) {
  const bool burn = job == WriteJob::Burn;
  // Links are followed: a link that leads out of what is burned is no
  // mistake, but the user should know what the disc holds in its place.
  QStringList links;
  for (const quillon::InputProblem& link : facts.outsideLinks)
    links.append(QFile::decodeName(link.path.c_str()) + " leads to " + QFile::decodeName(link.reason.c_str()));
  if (!links.isEmpty() &&
      !messages_.Ask("These links lead outside the folders being burned: the disc holds what each one leads to, "
                     "not the link.",
                     links, burn ? "Burn them so?" : "Save the image so?")) {
    return false;
  }
  jobErrors_.clear();
  scrivo_->SetVolumeLabel(edtCDVolume->text());
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const quillon::HandOverResult handedOver = HandOverCheckedEntries();
  QApplication::restoreOverrideCursor();
  // Nothing is left out without the user's word: each entry with the
  // engine's reason, and each folder it would take empty.
  QStringList refused;
  for (const quillon::RefusedEntry& entry : handedOver.refused) refused.append(QFile::decodeName(entry.reason.c_str()));
  for (const quillon::InputProblem& problem : facts.refusedEntries)
    refused.append(QFile::decodeName(problem.path.c_str()) + ": " + QFile::decodeName(problem.reason.c_str()));
  if (refused.isEmpty()) return true;
  const QString heading = burn ? "These files and folders cannot be burned:"
                               : "These files and folders cannot be written to the image:";
  if (handedOver.accepted == 0) {
    messages_.Show(heading, refused, burn ? "Nothing was burned." : "Nothing was written.");
    return false;
  }
  return messages_.Ask(heading, refused,
                       burn ? "Burn the other entries without them?" : "Save the other entries without them?");
}

void TFGUI::actSaveImageExecute() {
  if (lsvCD->Count() == 0) {
    messages_.Show("Please select direcotry or file first before saving an image!");
    return;
  }
  QString path = QFileDialog::getSaveFileName(this, "Save as Image", QString(), kImageFilter);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += ".iso";
  if (engineHoldsEntries_) RenewControl();
  quillon::CompilationFacts facts;
  if (!ExamineCheckedEntries(facts, WriteJob::Image) || !HandOverForJob(facts, WriteJob::Image)) return;
  imageFile_ = path;
  cancelRequested_ = false;
  EnterBusyState(SavingImage);
  scrivo_->SaveImageFile(path, rdbDVD->isChecked());
}

void TFGUI::ScrivoImageSaved() {
  ReturnToIdle();
  const QString text = "Image saved: " + imageFile_ + " (" +
                       QString::fromStdString(quillon::Megabytes(static_cast<std::uint64_t>(QFileInfo(imageFile_).size()) / 2048)) +
                       ").";
  NotifyJobEnd(text);
  messages_.Show(text);
  if (!jobErrors_.isEmpty()) {
    messages_.Show("The image does not hold these files as they are now:", jobErrors_);
    jobErrors_.clear();
  }
  pgbBurning->setValue(0);
  scrivo_->Tag = Idle;
  cboBurnerChange();
}

QString TFGUI::DiscRefusesImage(std::uint64_t blocks) {
  if (readiness_ == quillon::DiscProbe::Readiness::NoDisc)
    return "There is no disc in the writer. Put a blank one in, then try again.";
  if (!disc_) return {};  // the engine says what it finds
  const QString medium = QString::fromStdString(quillon::MediumName(disc_->profile));
  if (disc_->closed || disc_->unfinished || (!disc_->overwritable && !scrivo_->IsDiskBlank())) {
    return "The " + medium + " in the writer is not blank: an image file holds the addresses of a disc's first "
           "session, so it is burned only onto a blank disc. Nothing was written." +
           (scrivo_->IsDiskErasable() ? "\r\nIt is rewritable: Erase makes it blank again (everything on it is lost)."
                                      : QString());
  }
  if (!disc_->unformatted && blocks > disc_->freeBlocks) {
    return "The image needs " + QString::fromStdString(quillon::Megabytes(blocks, true)) + " but the " + medium +
           " in the writer has " + QString::fromStdString(quillon::Megabytes(disc_->freeBlocks)) +
           " free. Nothing was written.";
  }
  return {};
}

void TFGUI::actBurnImageExecute() {
  const QString path = QFileDialog::getOpenFileName(this, "Burn Image", QString(), kImageFilter);
  if (!path.isEmpty()) BurnImageFile(path);
}

void TFGUI::BurnImageFile(const QString& path) {
  if (scrivo_->Tag != Idle) return;
  if (const QString problem = scrivo_->CheckImageFile(path); !problem.isEmpty()) {
    messages_.Show(problem);
    return;
  }
  RefreshDisc();
  if (readiness_ == quillon::DiscProbe::Readiness::InUse) {
    messages_.Show("The writer is in use by another program: it is burning, erasing or formatting a disc. Try again "
                   "when that has finished.");
    return;
  }
  if (!UnmountIfMounted()) return;
  if (!WriterReady("CD/DVD Writer not ready! Can not continue to burn.")) return;
  const auto blocks = static_cast<std::uint64_t>(QFileInfo(path).size()) / 2048;
  if (const QString refused = DiscRefusesImage(blocks); !refused.isEmpty()) {
    messages_.Show(refused);
    return;
  }
  if (!OfferFormat("choose Burn Image again")) return;
  jobErrors_.clear();
  imageFile_ = path;
  burnFacts_ = {};
  burnFacts_.blocks = blocks;
  burnDisc_ = disc_;
  EnterBurning(true);
  scrivo_->BurnImageFile(path);
}
