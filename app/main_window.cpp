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
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kProgressPanelWidth = 300;
constexpr int kProgressPanelHeight = 350;
constexpr int kDesignWidth = 800;
constexpr int kDesignHeight = 575;
constexpr int kSmallWidth = 200;
constexpr int kSmallHeight = 130;
constexpr int kVolumeLabelLimit = 15;  // characters (UTF-16 units, as QLineEdit counts them)
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
}

void TFGUI::ConnectEvents(TScrivo& scrivo) {
  scrivo.OnProgress = [this](TScrivo&, std::int16_t iPos) { ScrivoProgress(iPos); };
  scrivo.OnFinished = [this](TScrivo&) { Guarded([this] { ScrivoFinished(); }); };
  scrivo.OnBlankFinished = [this](TScrivo&) { Guarded([this] { ScrivoBlankFinished(); }); };
  scrivo.OnEngineError = [this](TScrivo&, const QString& text) { ScrivoEngineError(text); };
  scrivo.OnCloseFinished = [this](TScrivo&) { Guarded([this] { ScrivoCloseFinished(); }); };
  scrivo.OnJobFailed = [this](TScrivo&, scrivo::JobKind job, const QString& reason) {
    if (job == scrivo::JobKind::SessionClose) {
      Guarded([this, reason] { ScrivoCloseFailed(reason); });
      return;
    }
    Guarded([this, job, reason] { ScrivoJobFailed(job, reason); });
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
  chkMulti = new QCheckBox("Multi Session", panel);
  chkMulti->setObjectName("chkMulti");
  chkMulti->setChecked(true);
  lower->addWidget(volumeLabel);
  lower->addWidget(edtCDVolume);
  lower->addSpacing(16);
  lower->addWidget(chkMulti);

  grid->addLayout(upper, 0, 0);
  grid->addLayout(lower, 1, 0);
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
  lblState->setGeometry(20, 14, 120, 24);
  auto* cancel = new ActionButton(actAbort, panel);
  cancel->setGeometry(146, 8, 144, 36);
  cancel->setFocusPolicy(Qt::NoFocus);
  pgbBurning = new QProgressBar(panel);
  pgbBurning->setOrientation(Qt::Vertical);
  pgbBurning->setRange(0, 100);
  pgbBurning->setValue(0);
  pgbBurning->setTextVisible(false);
  pgbBurning->setGeometry(5, 48, 290, 297);
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
  if (upgradeShownTag == 0) {
    actUpgrade->trigger();
    upgradeShownTag = 1;
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
       {actBurn, actErase, actCloseSession, actAdd, actNew, actDelete, actBurnerInfo, actDiskInfo, actExit, actEject})
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
  // Centred on the window's outer size; integer division rounds toward zero,
  // so in a window smaller than the panel it may reach past the edges.
  QRect outer = frameGeometry();
  pnlBurning->move((outer.width() - kProgressPanelWidth) / 2, (outer.height() - kProgressPanelHeight) / 2);
}

void TFGUI::closeEvent(QCloseEvent* event) {
  if (scrivo_->Tag > Idle) {
    messages_.Show("Burner is working, can not exit now!");
    event->ignore();
    return;
  }
  event->accept();
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
