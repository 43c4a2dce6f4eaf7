#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QRadioButton>
#include <QSettings>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include "app/desktop_notification.h"

namespace {
constexpr int kProgressPanelWidth = 300;
constexpr int kProgressPanelHeight = 350;
constexpr int kDesignWidth = 800;
constexpr int kDesignHeight = 575;
constexpr int kSmallWidth = 200;
constexpr int kSmallHeight = 130;
constexpr int kVolumeLabelLimit = 15;  // characters (UTF-16 units, as QLineEdit counts them)
constexpr int kDiscPollMilliseconds = 3000;
}  // namespace

ActionButton::ActionButton(QAction* action, QWidget* parent) : QPushButton(action->text(), parent), action_(action) {
  setEnabled(action->isEnabled());
  connect(action, &QAction::changed, this, [this] {
    setText(action_->text());
    setEnabled(action_->isEnabled());
  });
  connect(this, &QPushButton::clicked, action, &QAction::trigger);
}

TFGUI::TFGUI(MessagePump::DebugOutput debugOutput)
    : messages_(this), pump_(std::move(debugOutput)), scrivo_(std::make_unique<TScrivo>()) {
  setObjectName("FGUI");
  setWindowTitle(kApplicationTitle);
  ConnectEvents(*scrivo_);
  timUpgrade = new QTimer(this);
  timUpgrade->setInterval(upgrade::kPollMilliseconds);
  connect(timUpgrade, &QTimer::timeout, this, [this] { timUpgradeTimer(); });
  CreateActions();
  BuildLayout();
  CreateMenus();
  setAcceptDrops(true);
  AddTrayIcon();
  resize(kDesignWidth, kDesignHeight);
  // Alt+X while a job runs (Exit is disabled then) says why nothing happens.
  busyExit_ = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_X), this);
  busyExit_->setEnabled(false);
  connect(busyExit_, &QShortcut::activated, this, [this] { close(); });
  timDisc = new QTimer(this);
  timDisc->setInterval(kDiscPollMilliseconds);
  connect(timDisc, &QTimer::timeout, this, [this] { Guarded([this] { PollDisc(); }); });
  connect(lsvCD, &CompilationList::SelectionChanged, this, [this] { UpdateCapacity(); });
  notify = [](const QString& title, const QString& text) { SendDesktopNotification(title, text); };
}

void TFGUI::ConnectEvents(TScrivo& scrivo) {
  scrivo.OnProgress = [this](TScrivo&, std::int16_t iPos) { ScrivoProgress(iPos); };
  scrivo.OnFinished = [this](TScrivo&) { Guarded([this] { ScrivoFinished(); }); };
  scrivo.OnBlankFinished = [this](TScrivo&) { Guarded([this] { ScrivoBlankFinished(); }); };
  scrivo.OnEngineError = [this](TScrivo&, const QString& text) { ScrivoEngineError(text); };
  scrivo.OnEngineNotice = [this](TScrivo&, const QString& text) { ScrivoEngineNotice(text); };
  scrivo.OnVerify = [this](TScrivo&, const quillon::HostNotice& notice) { verify_.Take(notice); };
  scrivo.OnCloseFinished = [this](TScrivo&) { Guarded([this] { ScrivoCloseFinished(); }); };
  scrivo.OnImageSaved = [this](TScrivo&) { Guarded([this] { ScrivoImageSaved(); }); };
  scrivo.OnBufferLevel = [this](TScrivo&, std::int16_t iPercent) { ScrivoBufferLevel(iPercent); };
  scrivo.OnJobFailed = [this](TScrivo&, scrivo::JobKind job, const QString& reason, DiscAfterJob disc) {
    if (job == scrivo::JobKind::SessionClose) {
      Guarded([this, reason] { ScrivoCloseFailed(reason); });
      return;
    }
    Guarded([this, job, reason, disc] { ScrivoJobFailed(job, reason, disc); });
  };
}

// The engine keeps what it was handed until a burn finishes, and has no
// member that empties it: after a burn that failed or was called off before
// it started, a fresh control starts the next burn from an empty
// compilation, so entries taken off the list since cannot reach the disc.
// The fresh control is bound before the old one goes, so the ASPI library
// and the writers it holds stay loaded.
void TFGUI::RenewControl() {
  auto fresh = std::make_unique<TScrivo>();
  ConnectEvents(*fresh);
  fresh->InitControl();
  scrivo_->Release();
  scrivo_ = std::move(fresh);
  engineHoldsEntries_ = false;
}

TFGUI::~TFGUI() {
  for (std::future<void>* work : {&eject_, &poll_}) {
    if (work->valid()) work->wait();
  }
  // The control goes first: its destructor waits for a running job, and no
  // worker may post to the loop once the pump has removed its handler.
  scrivo_->Release();
  delete trayIcon_;
}

void TFGUI::BuildLayout() {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  Panel5 = BuildTopPanel();
  Panel4 = new QWidget(central);
  Panel4->setObjectName("Panel4");
  auto* middle = new QVBoxLayout(Panel4);
  middle->setContentsMargins(6, 0, 6, 0);
  Panel1 = new QWidget(Panel4);
  Panel1->setObjectName("Panel1");
  middle->addWidget(Panel1);
  auto* listLayout = new QVBoxLayout(Panel1);
  listLayout->setContentsMargins(0, 0, 0, 0);
  lsvCD = new CompilationList(Panel1);
  listLayout->addWidget(lsvCD);
  listLayout->addWidget(BuildCapacityRow(Panel1));
  Panel3 = BuildBottomPanel();
  column->addWidget(Panel5);
  column->addWidget(Panel4, 1);
  column->addWidget(Panel3);
  setCentralWidget(central);
  pnlBurning = BuildProgressPanel();
}

QWidget* TFGUI::BuildTopPanel() {
  auto* panel = new QWidget;
  panel->setObjectName("Panel5");
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(8, 6, 8, 6);
  auto* burnerLabel = new QLabel("Burner ", panel);
  cboBurner = new QComboBox(panel);
  cboBurner->setObjectName("cboBurner");
  cboBurner->setMinimumWidth(286);
  cboBurner->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  burnerLabel->setBuddy(cboBurner);
  connect(cboBurner, &QComboBox::activated, this, [this] { Guarded([this] { cboBurnerChange(); }); });

  auto* upper = new QHBoxLayout;
  upper->addWidget(burnerLabel);
  upper->addWidget(cboBurner, 1);
  upper->addSpacing(12);
  for (QAction* action : {actBurnerInfo, actDiskInfo, actUpgrade, actExit}) {
    auto* button = new ActionButton(action, panel);
    button->setCursor(Qt::PointingHandCursor);
    button->setMinimumWidth(103);
    upper->addWidget(button);
  }

  auto* lower = new QHBoxLayout;
  for (QAction* action : {actNew, actAdd, actDelete}) {
    auto* button = new ActionButton(action, panel);
    button->setMinimumWidth(80);
    lower->addWidget(button);
  }
  lower->addStretch(1);
  auto* volumeLabel = new QLabel(QString::fromUtf8("Volume Label \uFF1A"), panel);
  edtCDVolume = new QLineEdit("NEW", panel);
  edtCDVolume->setObjectName("edtCDVolume");
  // The engine refuses a longer label, and the disc would get its default
  // name instead of the one typed.
  edtCDVolume->setMaxLength(kVolumeLabelLimit);
  edtCDVolume->setFixedWidth(140);
  volumeLabel->setBuddy(edtCDVolume);
  // A key the box turns away at the limit, or a paste it cut, is said at once.
  lblVolumeNote = new QLabel(panel);
  lblVolumeNote->setObjectName("lblVolumeNote");
  const QString cut = QString("A disc's label holds %1 characters: the rest is left out.").arg(kVolumeLabelLimit);
  lblVolumeNote->hide();
  connect(edtCDVolume, &QLineEdit::inputRejected, this, [this, cut] {
    lblVolumeNote->setText(cut);
    lblVolumeNote->show();
    QToolTip::showText(edtCDVolume->mapToGlobal(QPoint(0, edtCDVolume->height())), cut, edtCDVolume);
  });
  connect(edtCDVolume, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (text.size() < kVolumeLabelLimit) lblVolumeNote->hide();
  });
  chkMulti = new QCheckBox("Multi Session", panel);
  chkMulti->setObjectName("chkMulti");
  chkMulti->setChecked(true);
  lower->addWidget(volumeLabel);
  lower->addWidget(edtCDVolume);
  lower->addSpacing(16);
  lower->addWidget(chkMulti);
  chkVerify = new QCheckBox("Verify after burn", panel);
  chkVerify->setObjectName("chkVerify");
  chkVerify->setToolTip("Read the disc back once it is burned and compare it with the files");
  chkVerify->setChecked(true);
  lower->addSpacing(16);
  lower->addWidget(chkVerify);

  grid->addLayout(upper, 0, 0);
  grid->addLayout(lower, 1, 0);
  grid->addWidget(lblVolumeNote, 2, 0, Qt::AlignRight);
  return panel;
}

QWidget* TFGUI::BuildBottomPanel() {
  auto* panel = new QWidget;
  panel->setObjectName("Panel3");
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(8, 6, 8, 8);

  auto* discGroup = new QGroupBox(panel);
  discGroup->setObjectName("GroupBox2");
  auto* discRow = new QHBoxLayout(discGroup);
  rdbCD = new QRadioButton("CD Disk", discGroup);
  rdbDVD = new QRadioButton("DVD Disk", discGroup);
  rdbCD->setChecked(true);
  discRow->addWidget(rdbCD);
  discRow->addWidget(rdbDVD);

  auto* eraseGroup = new QGroupBox(panel);
  eraseGroup->setObjectName("GroupBox1");
  auto* eraseRow = new QHBoxLayout(eraseGroup);
  rdbQuickErase = new QRadioButton("&Quick Erase", eraseGroup);
  rdbFullErase = new QRadioButton("&Full Erase", eraseGroup);
  // Alt+F belongs to the File menu, as a menu bar's letters come first on
  // this desktop; the button keeps its caption.
  rdbFullErase->setShortcut(QKeySequence());
  rdbQuickErase->setChecked(true);
  eraseRow->addWidget(rdbQuickErase);
  eraseRow->addWidget(rdbFullErase);

  auto* burnButton = new ActionButton(actBurn, panel);
  auto* eraseButton = new ActionButton(actErase, panel);
  for (auto* button : {burnButton, eraseButton}) button->setMinimumSize(113, 36);
  row->addWidget(discGroup);
  row->addWidget(burnButton);
  row->addSpacing(24);
  row->addWidget(eraseGroup);
  row->addWidget(eraseButton);
  row->addStretch(1);
  return panel;
}

QFrame* TFGUI::BuildProgressPanel() {
  auto* panel = new QFrame(this);
  panel->setObjectName("pnlBurning");
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Raised);
  panel->setLineWidth(2);
  panel->setAutoFillBackground(true);
  panel->setFixedSize(kProgressPanelWidth, kProgressPanelHeight);
  lblState = new QLabel("Burning ......", panel);
  lblState->setObjectName("lblState");
  lblState->setGeometry(12, 14, 132, 24);
  btnAbort = new ActionButton(actAbort, panel);
  btnAbort->setGeometry(146, 8, 144, 36);
  btnAbort->setFocusPolicy(Qt::NoFocus);
  lblDetail = new QLabel(panel);
  lblDetail->setObjectName("lblDetail");
  lblDetail->setWordWrap(true);
  lblDetail->setGeometry(12, 46, 278, 40);
  pgbBurning = new QProgressBar(panel);
  pgbBurning->setOrientation(Qt::Vertical);
  pgbBurning->setRange(0, 100);
  pgbBurning->setValue(0);
  pgbBurning->setTextVisible(false);
  pgbBurning->setGeometry(5, 90, 290, 232);
  // The burn's read-ahead buffer, once the engine says how full it is.
  lblBuffer = new QLabel(panel);
  lblBuffer->setObjectName("lblBuffer");
  lblBuffer->setGeometry(12, 326, 278, 18);
  lblBuffer->hide();
  txtProgress = new QLabel(panel);
  txtProgress->setAlignment(Qt::AlignCenter);
  QFont font = txtProgress->font();
  font.setPixelSize(16);
  font.setBold(true);
  txtProgress->setFont(font);
  txtProgress->setAutoFillBackground(true);
  txtProgress->setBackgroundRole(QPalette::Highlight);
  txtProgress->setForegroundRole(QPalette::HighlightedText);
  txtProgress->setGeometry(114, 179, 72, 25);
  panel->hide();
  panel->setEnabled(false);
  return panel;
}

void TFGUI::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) Guarded([this] { FormActivate(); });
}

void TFGUI::FormActivate() {
  if (startedUp_) return;
  startedUp_ = true;
  scrivo_->InitControl();
  timDisc->start();
  const int count = scrivo_->MediaCount();
  {
    QSignalBlocker quiet(cboBurner);
    for (int i = 0; i < count; ++i) {
      scrivo_->SetCurrentDevice(i);
      cboBurner->addItem(QString("[%1.%2.%3").arg(scrivo_->HAnum()).arg(scrivo_->SCSIID()).arg(scrivo_->MediaDesc()));
    }
    scrivo_->SetCurrentDevice(0);
    // With no entry chosen yet, the burner change selects no writer (-1) and
    // so sets the controls from writer 0's capabilities.
    cboBurner->setCurrentIndex(-1);
  }
  cboBurnerChange();
  {
    QSignalBlocker quiet(cboBurner);
    cboBurner->setCurrentIndex(cboBurner->count() > 0 ? 0 : -1);
  }
  RestoreSettings();
  if (upgradeShownTag == 0) {
    actUpgrade->trigger();
    upgradeShownTag = 1;
  }
  if (!imageOnStart_.isEmpty()) {
    QTimer::singleShot(0, this, [this, path = std::exchange(imageOnStart_, {})] { Guarded([&] { BurnImageFile(path); }); });
  }
}

void TFGUI::cboBurnerChange() {
  if (cboBurner->count() == 0) return;
  scrivo_->SetCurrentDevice(cboBurner->currentIndex());
  actBurn->setEnabled(scrivo_->IsCDRWriteSupport());
  actErase->setEnabled(scrivo_->IsCDRWWriteSupport());
  rdbDVD->setEnabled(scrivo_->IsReadDVDSupport());
  chkMulti->setChecked(scrivo_->IsMultiSessionsSupport());
  chkMulti->setEnabled(scrivo_->IsMultiSessionsSupport());
  RefreshDisc();
}

void TFGUI::SetPanelChildrenEnabled(QWidget* panel, bool enabled) {
  for (QWidget* child : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    // A button run by an action is usable only while its action is.
    auto* button = qobject_cast<ActionButton*>(child);
    child->setEnabled(enabled && (!button || button->Action()->isEnabled()));
  }
}

void TFGUI::SetActionsEnabled(bool enabled) {
  for (QAction* action :
       {actBurn, actErase, actFormat, actCloseSession, actAdd, actNew, actDelete, actBurnerInfo, actDiskInfo, actExit,
        actEject})
    action->setEnabled(enabled);
}

QList<QWidget*> TFGUI::WindowChildren() const { return {Panel5, Panel4, Panel3, pnlBurning}; }

void TFGUI::actNewExecute() {
  lsvCD->clear();
  edtCDVolume->setText("NEW");
}

void TFGUI::actDeleteExecute() { lsvCD->DeleteSelected(); }

void TFGUI::actWindowsExecute() {
  if (windowModeTag == 0) {
    Panel5->hide();
    Panel3->hide();
    // The window's minimum size follows its layout, which would otherwise
    // take the hidden panels out only later and hold the window at their width.
    centralWidget()->layout()->activate();
    layout()->activate();
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    showNormal();
    resize(kSmallWidth, kSmallHeight);
    actWindows->setText("Normal Window");
    windowModeTag = 1;
  } else {
    Panel5->show();
    Panel3->show();
    setWindowFlag(Qt::WindowStaysOnTopHint, false);
    showMaximized();
    actWindows->setText("Small Window");
    windowModeTag = 0;
  }
}

void TFGUI::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  // Centred on the window's outer size, but never above or left of the
  // window's edge: in a window smaller than the panel its top, with Cancel
  // Burn, stays in view.
  QRect outer = frameGeometry();
  pnlBurning->move(std::max(0, (outer.width() - kProgressPanelWidth) / 2),
                   std::max(0, (outer.height() - kProgressPanelHeight) / 2));
}

void TFGUI::closeEvent(QCloseEvent* event) {
  if (scrivo_->Tag > Idle) {
    messages_.Show("Burner is working, can not exit now!");
    event->ignore();
    return;
  }
  SaveSettings();
  event->accept();
}

// Per user: the writer, the disc type, Multi Session, Verify after burn, the label, the
// window's size, and the last folder Add showed.
void TFGUI::RestoreSettings() {
  QSettings settings("quillon", "quillonburner");
  const int writer = cboBurner->findText(settings.value("writer").toString());
  if (writer >= 0 && writer != cboBurner->currentIndex()) {
    cboBurner->setCurrentIndex(writer);
    cboBurnerChange();
  }
  if (settings.contains("dvd") && rdbDVD->isEnabled() && !disc_) {
    (settings.value("dvd").toBool() ? rdbDVD : rdbCD)->setChecked(true);
  }
  if (settings.contains("multiSession") && chkMulti->isEnabled())
    chkMulti->setChecked(settings.value("multiSession").toBool());
  if (settings.contains("verifyAfterBurn")) chkVerify->setChecked(settings.value("verifyAfterBurn").toBool());
  if (settings.contains("label")) edtCDVolume->setText(settings.value("label").toString());
  const QSize size = settings.value("windowSize").toSize();
  if (size.isValid() && windowModeTag == 0) resize(size);
}

void TFGUI::SaveSettings() {
  QSettings settings("quillon", "quillonburner");
  settings.setValue("writer", cboBurner->currentText());
  settings.setValue("dvd", rdbDVD->isChecked());
  settings.setValue("multiSession", chkMulti->isChecked());
  settings.setValue("verifyAfterBurn", chkVerify->isChecked());
  settings.setValue("label", edtCDVolume->text());
  if (windowModeTag == 0 && !isMaximized()) settings.setValue("windowSize", size());
}

void TFGUI::contextMenuEvent(QContextMenuEvent* event) { PopupMenu1->popup(event->globalPos()); }

void TFGUI::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFGUI::dropEvent(QDropEvent* event) {
  AddDroppedUrls(event->mimeData()->urls());
  event->acceptProposedAction();
}

void TFGUI::AddDroppedUrls(const QList<QUrl>& urls) {
  QStringList paths;
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) paths.append(url.toLocalFile());
  }
  lsvCD->AddPaths(paths);
}

void TFGUI::actExitExecute() { close(); }
