// What the window shows before a burn starts: the disc in the chosen
// writer (asked of the writer itself, as quillon asks it, while no job
// runs), the disc type chosen from it, and the checked entries against its
// free space; and the checks Start Burn makes against that disc.

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QThreadPool>
#include <QTimer>

#include <chrono>

#include "app/main_window.h"

namespace {

using Readiness = quillon::DiscProbe::Readiness;

QString Mb(std::uint64_t blocks, bool roundUp = false) {
  return QString::fromStdString(quillon::Megabytes(blocks, roundUp));
}
QString Medium(const quillon::DiscDescription& disc) {
  return QString::fromStdString(quillon::MediumName(disc.profile));
}

// About what a session holds beside the file data: the system area, the
// descriptors and path tables, and a directory record in each tree for
// every file and folder (16 records to a block). Start Burn counts exactly.
std::uint64_t SessionEstimate(const CompilationList::Selection& selection) {
  constexpr std::uint64_t kFixedBlocks = 16 + 3 + 4 + 2;
  return selection.blocks + kFixedBlocks + (2 * selection.entries + 15) / 16;
}

}  // namespace

QWidget* TFGUI::BuildCapacityRow(QWidget* parent) {
  auto* row = new QWidget(parent);
  row->setObjectName("pnlCapacity");
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 4, 0, 0);
  lblDisc = new QLabel(row);
  lblDisc->setObjectName("lblDisc");
  // The line names what stops a burn and its fix (a mounted disc's device
  // and mount point, the command that unmounts it): it wraps rather than
  // cut the fix off, and the tooltip holds it whole.
  lblDisc->setWordWrap(true);
  pgbCapacity = new QProgressBar(row);
  pgbCapacity->setObjectName("pgbCapacity");
  pgbCapacity->setTextVisible(true);
  // Neither holds the window wider than the small window's 200 pixels.
  for (QWidget* part : {static_cast<QWidget*>(lblDisc), static_cast<QWidget*>(pgbCapacity)})
    part->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  layout->addWidget(lblDisc, 1);
  layout->addWidget(pgbCapacity, 1);
  return row;
}

void TFGUI::RefreshDisc() {
  const bool ejecting = eject_.valid() && eject_.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
  if (scrivo_->Tag != Idle || cboBurner->count() == 0 || ejecting) return;
  if (poll_.valid()) poll_.wait();
  const int writer = std::max(0, cboBurner->currentIndex());
  if (writer != probedWriter_) {
    scrivo_->SetCurrentDevice(writer);
    if (!probe_.Open(scrivo_->HAnum(), scrivo_->SCSIID(), scrivo_->MediaDesc().toStdString())) {
      probedWriter_ = -1;
      probedProfile_ = 0;
      disc_.reset();
      lblDisc->setText("The writer cannot be reached.");
      UpdateCapacity();
      return;
    }
    probedWriter_ = writer;
    probedProfile_ = 0;
  }
  const std::lock_guard lock(probeMutex_);
  const Readiness readiness = probe_.TestReady();
  ShowDisc(readiness, readiness == Readiness::Ready ? probe_.Describe() : std::nullopt,
           readiness == Readiness::Mounted ? probe_.LayerNote() : std::string());
}

// The poll of the timer: the drive is asked from a worker (a drive spinning
// up takes seconds to answer), and the answer shown when it comes, unless a
// job has started or another writer was chosen meanwhile.
void TFGUI::PollDisc() {
  const auto running = [](const std::future<void>& work) {
    return work.valid() && work.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
  };
  if (scrivo_->Tag != Idle || probedWriter_ < 0 || running(eject_) || running(poll_)) return;
  const int writer = probedWriter_;
  QPointer<TFGUI> window(this);
  poll_ = std::async(std::launch::async, [this, window, writer] {
    std::unique_lock lock(probeMutex_);
    const Readiness readiness = probe_.TestReady();
    std::optional<quillon::DiscDescription> disc = readiness == Readiness::Ready ? probe_.Describe() : std::nullopt;
    std::string note = readiness == Readiness::Mounted ? probe_.LayerNote() : std::string();
    lock.unlock();
    QMetaObject::invokeMethod(qApp, [window, writer, readiness, disc, note] {
      if (!window || window->scrivo_->Tag != Idle || window->probedWriter_ != writer) return;
      window->ShowDisc(readiness, disc, note);
    });
  });
}

void TFGUI::ShowDisc(Readiness readiness, const std::optional<quillon::DiscDescription>& disc,
                     const std::string& note) {
  readiness_ = readiness;
  disc_ = disc;
  mounted_ = quillonhost::MountedDiscFromNote(note);
  const std::uint16_t profile = disc_ ? disc_->profile : 0;
  if ((disc_ && (disc_->cd() || disc_->dvd())) && profile != probedProfile_) {
    // The disc type follows a medium put in; a choice the user makes
    // afterwards stays, and Start Burn says when it does not fit the disc.
    QRadioButton* type = disc_->dvd() && rdbDVD->isEnabled() ? rdbDVD : rdbCD;
    if (!type->isChecked()) type->setChecked(true);
  }
  probedProfile_ = profile;
  UpdateCapacity();
}

void TFGUI::UpdateCapacity() {
  const CompilationList::Selection selection = lsvCD->CheckedSelection();
  const std::uint64_t needed = selection.rows > 0 ? SessionEstimate(selection) : 0;
  QString disc;
  switch (readiness_) {
    case Readiness::InUse:
      disc = "The writer is in use by another program: it is burning, erasing or formatting a disc.";
      break;
    case Readiness::Mounted:
      disc = "The system has the disc in the writer " + MountedAdvice() + ".";
      break;
    case Readiness::NoDisc:
      disc = "There is no disc in the writer.";
      break;
    case Readiness::NotReady:
      disc = "The writer is not ready.";
      break;
    case Readiness::Ready:
      if (!disc_) {
        disc = "The disc in the writer cannot be read.";
      } else if (disc_->closed) {
        disc = Medium(*disc_) + ", closed: nothing more can be written to it.";
      } else if (disc_->unfinished) {
        disc = Medium(*disc_) + " with an unfinished session: Drive, Close Session closes it.";
      } else {
        disc = Medium(*disc_) + ": " + Mb(disc_->freeBlocks) + " free" +
               (disc_->unformatted ? " once formatted (it is not formatted yet)." : ".");
      }
      break;
  }
  lblDisc->setText(disc);
  lblDisc->setToolTip(disc);
  const bool writable = readiness_ == Readiness::Ready && disc_ && !disc_->closed && !disc_->unfinished;
  const std::uint64_t free = writable ? disc_->freeBlocks : 0;
  const bool fits = !writable || needed <= free;
  // In blocks, the bar's range held within an int.
  const std::uint64_t range = std::max<std::uint64_t>({free, needed, 1});
  const int scale = static_cast<int>(range / 0x7FFFFFFF + 1);
  pgbCapacity->setRange(0, static_cast<int>(std::max<std::uint64_t>(free, 1) / static_cast<std::uint64_t>(scale)));
  pgbCapacity->setValue(static_cast<int>(std::min(needed, std::max<std::uint64_t>(free, 1)) /
                                         static_cast<std::uint64_t>(scale)));
  QString text = selection.rows > 0 ? "Selection: about " + Mb(needed, true) : QString("Nothing checked");
  if (writable) {
    text += selection.rows > 0 ? " of " + Mb(free) + (fits ? "" : " - does not fit") : "; " + Mb(free) + " free";
  }
  if (!lsvCD->Sized()) text += " (counting...)";
  pgbCapacity->setFormat(text);
  pgbCapacity->setProperty("fits", fits);
  QPalette palette = pgbCapacity->palette();
  const QColor tooMuch(200, 30, 30);
  palette.setColor(QPalette::Highlight, fits ? QApplication::palette().color(QPalette::Highlight) : tooMuch);
  pgbCapacity->setPalette(palette);
  pgbCapacity->setToolTip(fits ? QString() : "The checked entries need more space than the disc has free.");
}

void TFGUI::EjectInBackground() {
  if (eject_.valid()) eject_.wait();
  scrivo_->SetCurrentDevice(std::max(0, cboBurner->currentIndex()));
  auto ejector = std::make_shared<quillon::DiscProbe>();
  if (cboBurner->count() == 0 ||
      !ejector->Open(scrivo_->HAnum(), scrivo_->SCSIID(), scrivo_->MediaDesc().toStdString())) {
    scrivo_->EjectDisk();  // the engine's own way, on this thread
    return;
  }
  QApplication::setOverrideCursor(Qt::BusyCursor);
  QPointer<TFGUI> window(this);
  eject_ = std::async(std::launch::async, [ejector, window] {
    ejector->Eject();
    QMetaObject::invokeMethod(qApp, [window] {
      QApplication::restoreOverrideCursor();
      if (window) window->Guarded([window] { window->RefreshDisc(); });
    });
  });
}

void TFGUI::WaitOffThread(const std::function<void()>& work) {
  QEventLoop loop;
  bool done = false;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  setEnabled(false);
  QThreadPool::globalInstance()->start([&work, &loop, &done] {
    work();
    QMetaObject::invokeMethod(&loop, [&loop, &done] {
      done = true;
      loop.quit();
    });
  });
  if (!done) loop.exec();
  setEnabled(true);
  QApplication::restoreOverrideCursor();
}

QString TFGUI::MountedAdvice() const {
  if (!mounted_) return "mounted: unmount it first (udisksctl unmount -b DEVICE)";
  const QString where =
      mounted_->mountPoint.empty() ? QString() : " at " + QFile::decodeName(mounted_->mountPoint.c_str());
  return "mounted" + where + ": unmount it first (udisksctl unmount -b " +
         QFile::decodeName(mounted_->device.c_str()) + ")";
}

QString TFGUI::DiscRefusesBurn(const quillon::CompilationFacts& facts) {
  if (readiness_ == Readiness::NoDisc) return "There is no disc in the writer. Put one in, then press Start Burn.";
  if (readiness_ == Readiness::Mounted) {
    return "The system has the disc in the writer " + MountedAdvice() + ", then press Start Burn.";
  }
  if (!disc_) return {};  // the engine says what it finds
  const QString medium = Medium(*disc_);
  const QString erase = scrivo_->IsDiskErasable() ? "\r\nIt is rewritable: Erase makes it blank again (everything "
                                                    "on it is lost)."
                                                  : QString();
  if (disc_->closed) return "The " + medium + " in the writer is closed: nothing more can be written to it." + erase;
  if (disc_->unfinished) {
    return "The " + medium + " in the writer holds an unfinished session: a burn on it was interrupted before it "
           "closed the session. Nothing more can be added to it." + erase;
  }
  if (rdbDVD->isChecked() && disc_->cd()) return "The disc in the writer is a " + medium + ": choose CD Disk.";
  if (rdbCD->isChecked() && disc_->dvd()) return "The disc in the writer is a " + medium + ": choose DVD Disk.";
  if (disc_->unformatted) return {};  // Start Burn offers to format it
  if (disc_->freeKnown && facts.blocks > disc_->freeBlocks) {
    return "The checked entries need " + Mb(facts.blocks, true) + " but the " + medium + " in the writer has " +
           Mb(disc_->freeBlocks) + " free. Nothing was written: uncheck or remove entries, or use a larger disc.";
  }
  return {};
}
