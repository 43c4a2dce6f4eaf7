#pragma once
// TFGUI, the main window: the writers the engine found, the compilation, the
// disc type, the erase mode and the volume label; the menus, buttons and
// context menu, all run by the actions of alMain; the notification-area
// icon; files dropped from file managers; and the progress panel that the
// job commands show. It hosts the engine control through TScrivo.
//
// main_window.cpp builds the window and runs its start-up, modes and close
// rule; main_window_actions.cpp makes the actions, menus and tray icon;
// job_commands.cpp holds the commands that talk to a writer and the
// handlers of the engine's events.

#include <QAction>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>

#include <QElapsedTimer>

#include <array>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

#include "app/compilation_list.h"
#include "app/message_pump.h"
#include "app/message_service.h"
#include "app/scrivolib_tlb.h"
#include "host/desktop_bus.h"
#include "app/upgrade_dll.h"
#include "host/burn_phases.h"
#include "host/verify_report.h"
#include "host/compilation_check.h"
#include "host/disc_probe.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QRadioButton;
class QShortcut;
class QSystemTrayIcon;
class QTimer;

// A push button run by an action: its caption and enabled state follow the
// action, and a click triggers it.
class ActionButton final : public QPushButton {
  Q_OBJECT

 public:
  ActionButton(QAction* action, QWidget* parent);
  QAction* Action() const { return action_; }

 private:
  QAction* action_;
};

class TFGUI final : public QMainWindow {
  Q_OBJECT

 public:
  // Creates the control (throws ScrivoCallError when it cannot) with the
  // message service and the message pump installed before it.
  explicit TFGUI(MessagePump::DebugOutput debugOutput = {});
  ~TFGUI() override;

  // The first activation's start-up: InitControl, the writer list, the
  // chosen writer's controls, the upgrade notice. Later calls do nothing,
  // so the list holds each writer once and the user's choice stays.
  void FormActivate();
  // The chosen writer's capabilities enable Start Burn, Erase, DVD Disk and
  // Multi Session.
  void cboBurnerChange();
  void SetPanelChildrenEnabled(QWidget* panel, bool enabled);
  void SetActionsEnabled(bool enabled);
  // Files and folders dropped from a file manager, in the drop's order;
  // URLs of other kinds are left out.
  void AddDroppedUrls(const QList<QUrl>& urls);

  TScrivo& Scrivo() { return *scrivo_; }
  MessageService& Messages() { return messages_; }
  CompilationList& Compilation() { return *lsvCD; }
  // Probes the chosen writer's disc again (unless a job runs) and shows
  // what it found under the list; the disc type follows the medium.
  void RefreshDisc();
  // The same from a worker, shown when the answer comes (the timer's poll).
  void PollDisc();
  // The desktop notification of a job's end while the window is not in
  // front: title and text. By default over D-Bus, when a session bus is there.
  std::function<void(const QString&, const QString&)> notify;
  // Stands a double in for the upgrade library (tests); it must outlive
  // the window.
  void SetUpgradeDll(const UpgradeDll& dll) { upgradeDll_ = &dll; }

  // Components, named as the window's design names them.
  QWidget* Panel5 = nullptr;  // top
  QWidget* Panel4 = nullptr;  // middle, holding Panel1 and the list
  QWidget* Panel1 = nullptr;
  QWidget* Panel3 = nullptr;  // bottom
  QFrame* pnlBurning = nullptr;
  QComboBox* cboBurner = nullptr;
  CompilationList* lsvCD = nullptr;
  QLineEdit* edtCDVolume = nullptr;
  QCheckBox* chkMulti = nullptr;
  QCheckBox* chkVerify = nullptr;  // the burn reads its session back and compares it
  QRadioButton* rdbCD = nullptr;
  QRadioButton* rdbDVD = nullptr;
  QRadioButton* rdbQuickErase = nullptr;
  QRadioButton* rdbFullErase = nullptr;
  QLabel* lblState = nullptr;
  QLabel* lblBuffer = nullptr;   // how full the burn's read-ahead buffer is
  QLabel* lblDetail = nullptr;   // MB written of MB, the speed, the time left; why an erase cannot be stopped
  QPushButton* btnAbort = nullptr;
  QProgressBar* pgbBurning = nullptr;
  QLabel* txtProgress = nullptr;
  QLabel* lblVolumeNote = nullptr;  // says that the label was cut to the 15 characters a disc takes
  // Under the list: the disc in the chosen writer, and the checked entries
  // against its free space.
  QLabel* lblDisc = nullptr;
  QProgressBar* pgbCapacity = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QTimer* timUpgrade = nullptr;  // polls the upgrade library while a download runs

  QAction* actNew = nullptr;
  QAction* actAdd = nullptr;
  QAction* actDelete = nullptr;
  QAction* actExit = nullptr;
  QAction* actBurn = nullptr;
  QAction* actAbort = nullptr;
  QAction* actErase = nullptr;
  QAction* actCloseSession = nullptr;
  QAction* actSaveImage = nullptr;
  QAction* actBurnImage = nullptr;
  QAction* actFormat = nullptr;
  QAction* actEject = nullptr;
  QAction* actBurnerInfo = nullptr;
  QAction* actDiskInfo = nullptr;
  QAction* actWindows = nullptr;
  QAction* actUpgrade = nullptr;
  QAction* actAbout = nullptr;
  int windowModeTag = 0;      // actWindows' Tag: 0 normal window, 1 small window
  int upgradeShownTag = 0;    // actUpgrade's Tag: 1 once the notice was offered

 public slots:
  void actNewExecute();
  void actAddExecute();
  void actDeleteExecute();
  void actExitExecute();
  void actWindowsExecute();
  void actUpgradeExecute();
  void actAboutExecute();
  void actBurnExecute();
  void actAbortExecute();
  void actEraseExecute();
  void actCloseSessionExecute();
  void actSaveImageExecute();
  void actBurnImageExecute();
  // Burns the image file `path` as Burn Image does once a file is chosen
  // (its checks, questions and end box); nothing while a job runs.
  void BurnImageFile(const QString& path);
  // Once the window has found its writers, as if Burn Image had been chosen
  // with `path` (the command line's --burn-image).
  void BurnImageOnStart(const QString& path) { imageOnStart_ = path; }
  void actFormatExecute();
  void actEjectExecute();
  void actDiskInfoExecute();
  void actBurnerInfoExecute();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  enum JobState { Idle = 0, Burning = 1, Erasing = 2, Closing = 3, SavingImage = 4 };

  void BuildLayout();
  QWidget* BuildTopPanel();
  QWidget* BuildBottomPanel();
  QFrame* BuildProgressPanel();
  void CreateActions();
  void CreateMenus();
  void AddTrayIcon();
  QWidget* BuildCapacityRow(QWidget* parent);
  void UpdateCapacity();
  void RestoreSettings();
  void SaveSettings();
  // Runs `work` off the GUI thread and waits for it with a busy cursor, the
  // window's events still handled.
  void WaitOffThread(const std::function<void()>& work);
  // The first reason the disc in the writer cannot take this burn, in words;
  // empty when it can.
  QString DiscRefusesBurn(const quillon::CompilationFacts& facts);
  void NotifyJobEnd(const QString& text);
  // `note` is the drive layer's note, which names a mounted disc's device.
  void ShowDisc(quillon::DiscProbe::Readiness readiness, const std::optional<quillon::DiscDescription>& disc,
                const std::string& note = {});
  // "mounted at WHERE: unmount it first (udisksctl unmount -b DEVICE)".
  QString MountedAdvice() const;
  // Opens the chosen writer's tray from a worker: the drive's pause before
  // it takes seconds, which the window does not wait for.
  void EjectInBackground();
  void StartFormat();
  // An unformatted DVD+RW: asks to format it, `retry` saying what to do
  // once it is; true when the disc needs no format.
  bool OfferFormat(const QString& retry);
  // Runs `handler` as the action's command; an error from the control ends
  // the command silently, with the mouse cursor back to the pointer.
  QAction* MakeAction(const QString& caption, void (TFGUI::*handler)(), QKeySequence shortcut = {});
  void Guarded(const std::function<void()>& command);

  // Job commands.
  void ConnectEvents(TScrivo& scrivo);
  void RenewControl();
  bool WriterReady(const QString& notReadyMessage);
  // A disc the system has mounted: where UDisks2 runs, offers to unmount it;
  // false when the user says no or it stays mounted (nothing is written).
  bool UnmountIfMounted();
  quillon::HandOverResult HandOverCheckedEntries();
  void EnterBusyState(JobState job);
  // A burn (of the compilation, or of an image file when `image`) starts:
  // its phases, read-back and cancel start afresh.
  void EnterBurning(bool image);
  void ReturnToIdle();
  void timUpgradeTimer();

  void ScrivoProgress(std::int16_t iPos);
  void ScrivoBufferLevel(std::int16_t iPercent);
  void ScrivoFinished();
  void ScrivoBlankFinished();
  void ScrivoCloseFinished();
  void ScrivoImageSaved();
  // The words of the burn (Start Burn) and of Save as Image in the boxes
  // that stop them.
  enum class WriteJob { Burn, Image };
  // The checked entries walked as the engine will walk them; false, after
  // saying why, when two would land at the root under one name.
  bool ExamineCheckedEntries(quillon::CompilationFacts& facts, WriteJob job);
  // The label and the checked entries handed to the engine; false when the
  // user does not go on without the entries it refuses.
  bool HandOverForJob(const quillon::CompilationFacts& facts, WriteJob job);
  // Why the disc cannot take the image file of `blocks` blocks; empty when it can.
  QString DiscRefusesImage(std::uint64_t blocks);
  void ScrivoCloseFailed(const QString& reason);
  void ScrivoEngineError(const QString& text);
  void ScrivoEngineNotice(const QString& text);
  void ScrivoJobFailed(scrivo::JobKind job, const QString& reason, DiscAfterJob disc);
  QString CancelledBurnReport();
  void ShowBurnDetail(int percent);
  QList<QWidget*> WindowChildren() const;

  // Members in the order they must be made: the service and the pump before
  // the control, and the control released before them.
  MessageService messages_;
  MessagePump pump_;
  std::unique_ptr<TScrivo> scrivo_;
  QPointer<QSystemTrayIcon> trayIcon_;
  bool startedUp_ = false;
  const UpgradeDll* upgradeDll_ = &LinkedUpgradeDll();
  // The upgrade library's buffer: one for the window's life, as the library
  // may write to it until the window goes.
  std::array<char, upgrade::kBufferSize> upgradeBuffer_{};
  // The engine's failure texts since the running job's command started.
  QStringList jobErrors_;
  QStringList jobNotices_;  // shown after the job's end
  // The engine holds handed-over entries: from the first hand-over until a
  // burn finishes (the next burn then starts from a fresh control).
  bool engineHoldsEntries_ = false;

  // The chosen writer's disc as last probed.
  quillon::DiscProbe probe_;
  int probedWriter_ = -1;
  std::uint16_t probedProfile_ = 0;  // the medium last seen there
  quillon::DiscProbe::Readiness readiness_ = quillon::DiscProbe::Readiness::NotReady;
  std::optional<quillon::DiscDescription> disc_;
  QTimer* timDisc = nullptr;  // probes again now and then while no job runs

  // The running burn: its phases, what it needs, and whether the user
  // cancelled it; the disc as it was before it started.
  quillon::BurnPhases phases_;
  quillon::VerifyReport verify_;  // what the read-back found
  quillon::CompilationFacts burnFacts_;
  std::optional<quillon::DiscDescription> burnDisc_;
  bool cancelRequested_ = false;
  bool formatting_ = false;
  // The running burn is of an image file: the list is not what it burned.
  bool burningImage_ = false;
  QString imageFile_;  // the image file being saved or burned
  QString imageOnStart_;  // --burn-image, until the window has started up
  std::int16_t dvdSpeed_ = 0;  // Tools, DVD Write Speed; 0: the fastest
  QElapsedTimer writeClock_;
  int writeStartPercent_ = -1;
  QShortcut* busyExit_ = nullptr;  // Alt+X while a job runs: says why it does nothing
  std::future<void> eject_;         // the tray opening, waited for when the window goes
  std::future<void> poll_;          // the timer's question to the drive, likewise
  std::mutex probeMutex_;           // probe_ is asked from one thread at a time
  // logind's lock against sleep and shutdown, held from a job's start to
  // its end, however it ends.
  quillonhost::SleepInhibitor awake_;
  std::optional<quillonhost::MountedDisc> mounted_;  // as the last probe found it
};
