// The main window as a user drives it: the control created through the
// registry and burning onto virtual writers whose discs live in a temporary
// folder, every message box read and answered through the message service.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <sys/file.h>
#include <sys/stat.h>

#include <deque>
#include <fstream>
#include <memory>
#include <optional>
#include <utility>

#include "app/engine_registration.h"
#include "app/main_window.h"
#include "app/reports.h"
#include "upgrade_double.h"

namespace {

void WriteFile(const QString& path, std::size_t size) {
  QDir().mkpath(QFileInfo(path).path());
  std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary);
  for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>('a' + i % 23));
}

// A large file that takes no space: a long burn, to be cancelled mid-way.
void WriteSparseFile(const QString& path, qint64 size) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  QVERIFY(file.resize(size));
}

// A call on the private system bus the test runs on (the ctest entry starts
// it with tests/support/private_bus.py): the reply as dbus-send prints it.
QString BusCall(const QString& service, const QString& path, const QString& method, const QStringList& args = {}) {
  QProcess send;
  send.start("dbus-send", QStringList{"--bus=" + qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"), "--print-reply",
                                      "--dest=" + service, path, method} + args);
  send.waitForFinished(10000);
  return QString::fromUtf8(send.readAllStandardOutput());
}

// logind's locks now, each as "what|who|why|mode".
QStringList Inhibitors() {
  QStringList texts, locks;
  for (const QString& line : BusCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                     "org.freedesktop.login1.Manager.ListInhibitors").split('\n')) {
    if (line.trimmed().startsWith("string \"")) texts.append(line.trimmed().mid(8).chopped(1));
  }
  for (qsizetype i = 0; i + 4 <= texts.size(); i += 4) locks.append(texts.mid(i, 4).join('|'));
  return locks;
}

// A call of the mock's own interface on the UDisks2 mock's object of /dev/DEVICE.
QString MockBlock(const QString& device, const QString& method, const QStringList& args = {}) {
  return BusCall("org.freedesktop.UDisks2", "/org/freedesktop/UDisks2/block_devices/" + device,
                 "org.freedesktop.DBus.Mock." + method, args);
}

// The longest the GUI thread went without handling its events, since it
// was made.
class Stalls {
 public:
  Stalls() {
    QObject::connect(&ticks_, &QTimer::timeout, [this] { Tick(); });
    clock_.start();
    ticks_.start(10);
  }
  qint64 Longest() {
    Tick();
    return longest_;
  }
  qint64 Elapsed() const { return clock_.elapsed(); }

 private:
  void Tick() {
    longest_ = std::max(longest_, clock_.elapsed() - last_);
    last_ = clock_.elapsed();
  }
  QElapsedTimer clock_;
  QTimer ticks_;
  qint64 last_ = 0, longest_ = 0;
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir work_;
  std::unique_ptr<TFGUI> window_;
  std::deque<bool> answers_;  // given to questions in turn; Yes when none left
  int offGuiThread_ = 0;      // boxes asked for off the GUI thread

  QString Path(const QString& name) const { return work_.filePath(name); }
  QString Disc(const QString& writer) const { return Path(writer + "/disc.img"); }

  // A fresh window on `writers` (the ASPI layer reads them when the control
  // binds it), started as on its first activation; its burns verify as
  // `verify` says (nullopt: as the window remembers).
  void Open(const QString& writers, const QByteArray& faults = {}, std::optional<bool> verify = false) {
    window_.reset();
    qputenv("WNASPI32_VIRTUAL_WRITERS", writers.toUtf8());
    qputenv("WNASPI32_VIRTUAL_FAULTS", faults);
    window_ = std::make_unique<TFGUI>();
    window_->SetUpgradeDll(upgrade_double::kRecording);  // the start-up offer, declined
    window_->notify = {};  // nothing on the desktop of whoever runs the tests
    window_->Messages().SetAnswerer([this](const MessageService::Shown& shown) {
      offGuiThread_ += QThread::currentThread() != qApp->thread();
      if (shown.kind == MessageService::Kind::Message || answers_.empty()) return true;
      bool answer = answers_.front();
      answers_.pop_front();
      return answer;
    });
    window_->FormActivate();
    if (verify) window_->chkVerify->setChecked(*verify);
  }
  TFGUI& W() { return *window_; }
  QStringList Shown() const {
    QStringList texts;
    for (const auto& shown : window_->Messages().History()) texts.append(shown.text);
    return texts;
  }
  void WaitForMessage(const QString& text, int timeoutMs = 60000) {
    QTRY_VERIFY_WITH_TIMEOUT(Shown().contains(text) || Shown().filter("did not complete").size() > 0, timeoutMs);
    QVERIFY2(Shown().contains(text), qPrintable(Shown().join(" | ")));
  }
  QStringList Captions() {
    QStringList captions;
    for (const auto& entry : W().Compilation().Entries()) captions.append(entry.caption);
    return captions;
  }

 private slots:
  void initTestCase() {
    QVERIFY(work_.isValid());
    qputenv("XDG_DATA_HOME", Path("data").toUtf8());
    qputenv("XDG_CONFIG_HOME", Path("config").toUtf8());
    qputenv("WNASPI32_REAL_DRIVES", "0");
    qputenv("WNASPI32_VIRTUAL_POLLS", "2");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(EnsureEngineRegistered(), QString());
  }
  void cleanup() {
    window_.reset();
    answers_.clear();
    QCOMPARE(std::exchange(offGuiThread_, 0), 0);
  }

  void startUpListsWritersOnceAndEnablesFromCapabilities() {
    Open(QString("cd-r=%1;cd-rw=%2").arg(Path("r"), Path("rw")));
    QCOMPARE(W().cboBurner->count(), 2);
    QCOMPARE(W().cboBurner->itemText(0), QString("[0.0.QUILLON VIRTUAL DRIVE 0 1.0"));
    QCOMPARE(W().cboBurner->itemText(1), QString("[0.1.QUILLON VIRTUAL DRIVE 1 1.0"));
    QCOMPARE(W().cboBurner->currentIndex(), 0);
    QVERIFY(W().actBurn->isEnabled());
    QVERIFY(W().actErase->isEnabled());
    QVERIFY(W().rdbDVD->isEnabled());
    QVERIFY(W().chkMulti->isEnabled() && W().chkMulti->isChecked());
    QVERIFY(!W().actAbort->isEnabled());

    // The user picks the second writer; a later activation keeps the list
    // and the choice.
    W().cboBurner->setCurrentIndex(1);
    emit W().cboBurner->activated(1);
    W().FormActivate();
    QCOMPARE(W().cboBurner->count(), 2);
    QCOMPARE(W().cboBurner->currentIndex(), 1);

    Open("");
    QCOMPARE(W().cboBurner->count(), 0);
    QVERIFY(!W().actBurn->isEnabled());
    QVERIFY(!W().actErase->isEnabled());
    QVERIFY(W().actEject->isEnabled());
  }

  void dropsAddEachPathWholeAndOnce() {
    Open("");
    const QString folder = Path("drops/Folder");
    const QString longPath = Path("drops/" + QString(40, 'd') + "/" + QString(60, 'e') + "/" + QString(80, 'f') +
                                  "/" + QString(90, 'g') + ".bin");
    QVERIFY(QFile::encodeName(longPath).size() > 255);
    WriteFile(folder + "/inside.txt", 1234567);
    WriteFile(longPath, 10);
    WriteFile(Path("drops/empty"), 0);
    QDir().mkpath(Path("drops/folder"));

    W().AddDroppedUrls({QUrl::fromLocalFile(folder), QUrl::fromLocalFile(folder),
                        QUrl::fromLocalFile(folder + "/inside.txt"), QUrl::fromLocalFile(Path("drops/folder")),
                        QUrl::fromLocalFile(longPath), QUrl("https://example.org/page"),
                        QUrl::fromLocalFile(Path("drops/empty"))});

    QCOMPARE(Captions(), (QStringList{folder + "/", folder + "/inside.txt", Path("drops/folder/"), longPath,
                                      Path("drops/empty")}));
    auto* list = W().lsvCD;
    QTRY_VERIFY(W().Compilation().Sized());
    QCOMPARE(list->topLevelItem(0)->text(1), QString("1,234,567"));
    QCOMPARE(list->topLevelItem(1)->text(1), QString("1,234,567"));
    QCOMPARE(list->topLevelItem(2)->text(1), QString());  // an empty folder
    QCOMPARE(list->topLevelItem(4)->text(1), QString());  // a zero-byte file
    QCOMPARE(list->topLevelItem(3)->checkState(0), Qt::Checked);
  }

  void deleteNewAndWindowModes() {
    Open(QString("cd-r=%1;cd-rw=%2").arg(Path("r"), Path("rw")));
    QStringList paths;
    for (int i = 1; i <= 5; ++i) {
      paths.append(Path(QString("rows/%1").arg(i)));
      WriteFile(paths.back(), static_cast<std::size_t>(i));
    }
    W().Compilation().AddPaths(paths);
    W().lsvCD->topLevelItem(1)->setSelected(true);
    W().lsvCD->topLevelItem(3)->setSelected(true);
    W().lsvCD->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    W().actDelete->trigger();
    QCOMPARE(Captions(), (QStringList{paths[0], paths[2], paths[4]}));
    QVERIFY(!W().Compilation().Entries()[1].checked);

    W().cboBurner->setCurrentIndex(1);
    W().rdbDVD->setChecked(true);
    W().rdbFullErase->setChecked(true);
    W().edtCDVolume->setText("PHOTOS");
    W().actNew->trigger();
    QCOMPARE(W().Compilation().Count(), 0);
    QCOMPARE(W().edtCDVolume->text(), QString("NEW"));
    QCOMPARE(W().cboBurner->currentIndex(), 1);
    QVERIFY(W().rdbDVD->isChecked() && W().rdbFullErase->isChecked() && W().chkMulti->isChecked());

    W().showMaximized();
    W().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&W()));
    QTest::keyClick(&W(), Qt::Key_F12);
    QCOMPARE(W().actWindows->text(), QString("Normal Window"));
    QVERIFY(W().Panel5->isHidden() && W().Panel3->isHidden());
    QVERIFY(W().windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(W().size(), QSize(200, 130));
    QTest::keyClick(&W(), Qt::Key_F12);
    QCOMPARE(W().actWindows->text(), QString("Small Window"));
    QVERIFY(!W().Panel5->isHidden() && !W().Panel3->isHidden());
    QVERIFY(!(W().windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(W().windowState() & Qt::WindowMaximized);
  }

  // The checks a command makes before it hands anything to the engine.
  void refusalsAndReports() {
    Open(QString("cd-r=%1").arg(Path("refusals")));
    W().actBurn->trigger();
    QCOMPARE(Shown(), QStringList{"Please select direcotry or file first before burning!"});
    QCOMPARE(W().Scrivo().Tag, 0);
    QVERIFY(!W().pnlBurning->isVisible());

    W().actErase->setEnabled(true);  // a CD-R writer can erase; its disc cannot
    W().actErase->trigger();
    QCOMPARE(Shown().last(), QString("CD/DVD disk is not erasable! Can not continue to erase."));

    W().actBurnerInfo->trigger();
    QStringList burner = Shown().last().split("\r\n");
    QCOMPARE(burner.size(), 5);
    QCOMPARE(burner.mid(0, 3),
             (QStringList{"CD-R Writer Support = Yes", "CD-RW Writer Support = Yes", "Multisessions Support = Yes"}));
    QVERIFY(burner[3].startsWith("Disc Max Write Speed:") && burner[3].back().isDigit());
    QCOMPARE(burner[4], QString("Read DVD Support = Yes"));
    W().actDiskInfo->trigger();
    QStringList disc = Shown().last().split("\r\n");
    QCOMPARE(disc.mid(0, 3), (QStringList{"Disc Blank = Yes", "Disc Closed = No", "Disc Erasable = No"}));
    QVERIFY(disc[3].startsWith("Disk Max Read Speed: ") && disc[4].startsWith("Disk Max Write Speed: "));
    QCOMPARE(BurnerReport({true, false, false, false, 0}).split("\r\n")[1], QString("CD-RW Writer Support = No"));

    Open(QString("cd-rw=%1").arg(Path("never")), "neverready");
    W().Compilation().AddPaths({Path("rows/1")});
    const QList<std::pair<QAction*, QString>> notReady = {
        {W().actBurn, "CD/DVD Writer not ready! Can not continue to burn."},
        {W().actErase, "CD/DVD Writer not ready! Can not continue to erase."},
        {W().actDiskInfo, "CD/DVD Writer not ready! Can not get the information of disk."},
        {W().actBurnerInfo, "CD/DVD Writer not ready! Can not get the information of burner."}};
    for (const auto& [action, text] : notReady) {
      action->trigger();
      QCOMPARE(Shown().last(), text);
    }
    QCOMPARE(W().Scrivo().Tag, 0);
  }

  void burnOfTheCheckedEntriesReadsBack() {
    Open(QString("cd-r=%1").arg(Path("burn")));
    const QString source = Path("burn-src");
    WriteFile(source + "/hello.txt", 6);
    WriteFile(source + "/sub folder/odd.bin", 2049);
    WriteFile(Path("left-out.txt"), 3);
    W().Compilation().AddPaths({source, Path("left-out.txt")});
    W().lsvCD->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    QTest::keyClicks(W().edtCDVolume, "_PHOTOS_OF_2026");  // the box stops at the 15 the engine takes
    QCOMPARE(W().lblVolumeNote->text(), QString("A disc's label holds 15 characters: the rest is left out."));
    QVERIFY(!W().lblVolumeNote->isHidden());
    QStringList notified;
    W().notify = [&](const QString&, const QString& text) { notified << text; };
    QStringList details;
    connect(W().pgbBurning, &QProgressBar::valueChanged, this, [&] { details << W().lblDetail->text(); });

    QList<int> values;
    connect(W().pgbBurning, &QProgressBar::valueChanged, this, [&](int value) {
      if (value > 0) values.append(value);
    });
    W().actBurn->trigger();
    QCOMPARE(W().Scrivo().Tag, 1);
    QVERIFY(!W().actBurn->isEnabled() && !W().actExit->isEnabled() && W().actAbort->isEnabled());

    // Closing is refused while the burn runs.
    QVERIFY(!W().close());
    QCOMPARE(Shown().last(), QString("Burner is working, can not exit now!"));

    WaitForMessage("Burned Completed!");
    QVERIFY(values.size() > 3 && values.last() == 100);
    // The phases, and the megabytes written of those the burn needs.
    QVERIFY2(details.filter(QRegularExpression("^Writing: [0-9.]+ MB of [0-9.]+ MB")).size() > 0 &&
                 details.contains("Closing the session..."),
             qPrintable(details.join(" | ")));
    QCOMPARE(notified, QStringList{"Burned Completed!"});  // the window is not in front
    // The tray opens after the drive's pause of seconds, which the window
    // does not wait for.
    Stalls stalls;
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::overrideCursor(), 10000);
    QVERIFY2(stalls.Elapsed() > 1000 && stalls.Longest() < 500,
             qPrintable(QString("held for %1 ms").arg(stalls.Longest())));
    QTRY_COMPARE(W().lblDisc->text(), QString("There is no disc in the writer."));  // the tray is open
    QCOMPARE(W().lblState->text(), QString("Burning ......"));
    QCOMPARE(W().txtProgress->text(), QString("100 %"));  // kept on the hidden panel
    QCOMPARE(W().Compilation().Count(), 0);
    QVERIFY2(W().pgbCapacity->text().startsWith("Nothing checked"), qPrintable(W().pgbCapacity->text()));
    QCOMPARE(W().edtCDVolume->text(), QString("NEW_PHOTOS_OF_2"));
    QCOMPARE(W().Scrivo().Tag, 0);
    QVERIFY(W().actBurn->isEnabled() && !W().pnlBurning->isVisible());

    QProcess readers;
    readers.start("/usr/bin/python3", {QUILLON_SOURCE_DIR "/tests/iso/check_readers.py", Disc("burn"), source});
    QVERIFY(readers.waitForFinished(120000));
    QVERIFY2(readers.exitCode() == 0, readers.readAllStandardOutput() + readers.readAllStandardError());
    QVERIFY2(!readers.readAllStandardError().contains("pycdlib is not installed"), "pycdlib read the disc");
    QFile disc(Disc("burn"));
    QVERIFY(disc.open(QIODevice::ReadOnly) && disc.seek(16 * 2048 + 40));
    QCOMPARE(disc.read(32).trimmed(), QByteArray("NEW_PHOTOS_OF_2"));  // the first volume descriptor's label
  }

  void eraseAnsweredNoThenYes() {
    Open(QString("cd-rw=%1").arg(Path("erase")));
    W().Compilation().AddPaths({Path("rows/1")});
    answers_ = {false};
    W().actErase->trigger();
    QVERIFY(Shown().last().startsWith("Do you want to erase the data on the current cd/dvd disk really? \r\n  Notice:"));
    QCOMPARE(W().Scrivo().Tag, 0);
    QVERIFY(W().actBurn->isEnabled());

    W().rdbFullErase->setChecked(true);
    W().actErase->trigger();
    QCOMPARE(W().Scrivo().Tag, 2);
    QCOMPARE(W().lblState->text(), QString("Erasing......"));
    QVERIFY(!W().actAbort->isEnabled());
    QVERIFY(W().btnAbort->isHidden());
    QCOMPARE(W().lblDetail->text(), QString("An erase cannot be stopped: a disc left half done is unusable."));
    WaitForMessage("Blank complete!");
    QCOMPARE(W().Scrivo().Tag, 0);
    QCOMPARE(W().Compilation().Count(), 1);
  }

  // Cancel confirmed at the first progress: the panel goes at once, the
  // window stays busy until Finished, which says that the burn was
  // cancelled and how much the session holds; the list is kept. Before
  // that, Alt+X says why the window stays, and in the smallest window the
  // panel's top, with Cancel Burn, is in view.
  void cancelConfirmedMidBurn() {
    Open(QString("cd-r=%1").arg(Path("cancel")), "slow=2A:2");
    WriteSparseFile(Path("cancel-src/large.bin"), 300 * 1024 * 1024);
    W().Compilation().AddPaths({Path("cancel-src")});
    QTRY_VERIFY(W().Compilation().Sized());
    bool cancelled = false;
    bool panelHiddenAtOnce = false, stillBusy = false;
    connect(W().pgbBurning, &QProgressBar::valueChanged, this, [&](int value) {
      if (cancelled || value < 10) return;
      cancelled = true;
      W().actAbort->trigger();
      panelHiddenAtOnce = !W().pnlBurning->isVisible() && W().pgbBurning->value() == 0;
      stillBusy = W().Scrivo().Tag == 1 && !W().actBurn->isEnabled() && !W().actExit->isEnabled();
    });
    W().show();
    W().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&W()));
    W().actBurn->trigger();
    QTest::keyClick(&W(), Qt::Key_X, Qt::AltModifier);
    QCOMPARE(Shown().value(Shown().size() - 1), QString("Burner is working, can not exit now!"));
    W().resize(W().minimumSizeHint());
    QTRY_VERIFY(W().pnlBurning->y() >= 0 && W().pnlBurning->x() >= 0);
    const QRect cancel(W().btnAbort->mapTo(&W(), QPoint(0, 0)), W().btnAbort->size());
    QVERIFY2(W().rect().contains(cancel), qPrintable(QString("%1x%2").arg(W().width()).arg(W().height())));
    QTRY_VERIFY_WITH_TIMEOUT(W().Scrivo().Tag == 0, 60000);
    QVERIFY(!Shown().contains("Burned Completed!"));
    const QString end = Shown().last();
    QRegularExpression written("^Burn cancelled: the session was closed with ([0-9.]+) MB written\\.\r\n");
    const auto match = written.match(end);
    QVERIFY2(match.hasMatch() && end.contains("More can be added to the disc in a new session.") &&
                 end.contains("The list is kept"),
             qPrintable(end));
    // The drive's own count: more than nothing, less than the 300 MB file.
    const double megabytes = match.captured(1).toDouble();
    QVERIFY2(megabytes > 0 && megabytes < 300, qPrintable(end));
    QVERIFY(Shown().contains("Cancel Burning, it will destory the CD disc, Are you sure"));
    QVERIFY(panelHiddenAtOnce);
    QVERIFY(stillBusy);
    QCOMPARE(W().Compilation().Count(), 1);
  }

  // Two folders that each hold notes.txt: both are named, nothing is
  // written until the user takes one out.
  void twoEntriesOfOneNameAtTheRootAreNamedAndNothingIsBurned() {
    Open(QString("cd-r=%1").arg(Path("clash")));
    WriteFile(Path("clash-a/notes.txt"), 10);
    WriteFile(Path("clash-b/notes.txt"), 20);
    W().Compilation().AddPaths({Path("clash-a"), Path("clash-b")});
    W().actBurn->trigger();
    const QString shown = Shown().last();
    QVERIFY2(shown.startsWith("These entries land at the disc's root under one name") &&
                 shown.contains(Path("clash-a/notes.txt")) && shown.contains(Path("clash-b/notes.txt")) &&
                 shown.endsWith("Nothing was burned. Uncheck or remove one of each pair, or rename it, then press "
                                "Start Burn."),
             qPrintable(shown));
    QCOMPARE(W().Scrivo().Tag, 0);
    QCOMPARE(QFileInfo(Disc("clash")).size(), 0);
    W().lsvCD->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    W().actBurn->trigger();
    WaitForMessage("Burned Completed!");
  }

  // What the disc in the writer is, shown before anything starts, and the
  // burns it cannot take refused with the reason.
  void theDiscIsToldBeforeAnythingStarts_data() {
    QTest::addColumn<QString>("medium");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("shown");    // under the list
    QTest::addColumn<QString>("refusal");  // Start Burn's answer
    QTest::newRow("too large") << "cd-r" << "800 MB" << "CD-R: 703 MB free."
                               << "The checked entries need 801 MB but the CD-R in the writer has 703 MB free. "
                                  "Nothing was written: uncheck or remove entries, or use a larger disc.";
    QTest::newRow("a DVD while CD is chosen") << "dvd-r" << "choose CD" << "DVD-R: 4482 MB free."
                                              << "The disc in the writer is a DVD-R: choose DVD Disk.";
    QTest::newRow("closed") << "cd-rw" << "closed" << "CD-RW, closed: nothing more can be written to it."
                            << "The CD-RW in the writer is closed: nothing more can be written to it.\r\nIt is "
                               "rewritable: Erase makes it blank again (everything on it is lost).";
    QTest::newRow("in use") << "cd-r" << "in use"
                            << "The writer is in use by another program: it is burning, erasing or formatting a disc."
                            << "The writer is in use by another program: it is burning, erasing or formatting a "
                               "disc. Try again when that has finished.";
    QTest::newRow("unformatted DVD+RW") << "dvd+rw" << ""
                                        << "DVD+RW: 4482 MB free once formatted (it is not formatted yet)."
                                        << "The DVD+RW in the writer is not formatted, and nothing can be burned on it "
                                           "until it is. Format it now?\r\nFormatting takes a while; press Start Burn "
                                           "again when it has finished.";
  }
  void theDiscIsToldBeforeAnythingStarts() {
    QFETCH(QString, medium);
    QFETCH(QString, setup);
    QFETCH(QString, shown);
    QFETCH(QString, refusal);
    const QString writer = Path("facts-" + QString(QTest::currentDataTag()).replace(' ', '-'));
    QDir().mkpath(writer);
    if (setup == "closed") WriteFile(writer + "/disc.img", 100 * 2048);  // an image put in: a finalised disc
    QFile lock(writer + "/writer.lock");
    if (setup == "in use") {
      QVERIFY(lock.open(QIODevice::ReadWrite) && ::flock(lock.handle(), LOCK_EX) == 0);  // another program's job
    }
    Open(QString("%1=%2").arg(medium, writer));
    WriteSparseFile(Path("facts-src/large.bin"), setup == "800 MB" ? 800 * 1024 * 1024 : 1000);
    W().Compilation().AddPaths({Path("facts-src")});
    QTRY_VERIFY(W().Compilation().Sized());
    QCOMPARE(W().lblDisc->text(), shown);
    QCOMPARE(W().rdbDVD->isChecked(), medium.startsWith("dvd"));  // the disc type follows the medium
    QCOMPARE(W().pgbCapacity->property("fits").toBool(), setup != "800 MB");
    if (setup == "800 MB") QVERIFY(W().pgbCapacity->text().endsWith(" of 703 MB - does not fit"));
    if (setup == "choose CD") W().rdbCD->setChecked(true);
    answers_ = {true};
    W().actBurn->trigger();
    QCOMPARE(Shown().value(Shown().size() - 1), refusal);
    if (medium != "dvd+rw") {
      QCOMPARE(W().Scrivo().Tag, 0);
      return;
    }
    // Yes formats the disc; then it takes the burn.
    WaitForMessage("Format complete!");
    QCOMPARE(W().lblDisc->text(), QString("DVD+RW: 4482 MB free."));
    W().actBurn->trigger();
    WaitForMessage("Burned Completed!");
  }

  // Adding a large folder never holds the GUI thread for more than 100 ms:
  // its size is counted elsewhere and filled in when it is known.
  void addingALargeFolderKeepsTheWindowAnswering() {
    Open("");
    Stalls stalls;
    W().AddDroppedUrls({QUrl::fromLocalFile("/usr/share")});
    QCOMPARE(W().lsvCD->topLevelItem(0)->text(1), QString("..."));
    QTRY_VERIFY_WITH_TIMEOUT(W().Compilation().Sized(), 120000);
    const qint64 longest = stalls.Longest();
    QVERIFY2(longest < 100, qPrintable(QString("the GUI thread was held for %1 ms").arg(longest)));
    QVERIFY(W().lsvCD->topLevelItem(0)->text(1).size() > 7);  // more than a megabyte
  }

  // The disc is asked again now and then, from a worker: another program
  // taking the writer shows up without a click, and a drive slow to answer
  // does not hold the window.
  void theDiscIsAskedAgainOffTheGuiThread() {
    Open(QString("cd-r=%1").arg(Path("polled")), "slow=00:300");  // TEST UNIT READY
    QCOMPARE(W().lblDisc->text(), QString("CD-R: 703 MB free."));
    QFile lock(Path("polled/writer.lock"));
    QVERIFY(lock.open(QIODevice::ReadWrite) && ::flock(lock.handle(), LOCK_EX) == 0);
    Stalls stalls;
    QTRY_COMPARE_WITH_TIMEOUT(W().lblDisc->text(),
                              QString("The writer is in use by another program: it is burning, erasing or formatting "
                                      "a disc."),
                              10000);
    QVERIFY2(stalls.Longest() < 100, qPrintable(QString("held for %1 ms").arg(stalls.Longest())));
  }

  // The writer, the disc type, Multi Session, the label and the window's
  // size come back at the next start.
  void choicesAreRememberedPerUser() {
    QSettings("quillon", "quillonburner").clear();
    // The second writer holds no disc (its folder cannot be made), so the
    // disc type is the user's.
    const QString writers = QString("cd-r=%1;cd-rw=%2").arg(Path("remember"), "/dev/null/nothing");
    Open(writers);
    W().cboBurner->setCurrentIndex(1);
    emit W().cboBurner->activated(1);
    W().rdbDVD->setChecked(true);
    W().chkMulti->setChecked(false);
    W().edtCDVolume->setText("HOLIDAY");
    W().resize(900, 640);
    QVERIFY(W().close());
    Open(writers);
    QCOMPARE(W().cboBurner->currentIndex(), 1);
    QVERIFY(W().rdbDVD->isChecked() && !W().chkMulti->isChecked());
    QCOMPARE(W().edtCDVolume->text(), QString("HOLIDAY"));
    QCOMPARE(W().size(), QSize(900, 640));
    QCOMPARE(W().lblDisc->text(), QString("There is no disc in the writer."));
    QSettings("quillon", "quillonburner").clear();
  }

  // A file removed while the burn runs, before its turn: the burn ends as
  // usual, and the user is told which file the disc does not hold.
  void aFileThatVanishesDuringTheBurnIsNamedAfterIt() {
    Open(QString("cd-r=%1").arg(Path("vanish")), "slow=2A:1");
    WriteSparseFile(Path("vanish-src/a-large.bin"), 20 * 1024 * 1024);
    WriteFile(Path("vanish-src/z-small.bin"), 3000);
    W().Compilation().AddPaths({Path("vanish-src")});
    connect(W().pgbBurning, &QProgressBar::valueChanged, this, [this](int value) {
      if (value > 0) QFile::remove(Path("vanish-src/z-small.bin"));
    });
    W().actBurn->trigger();
    WaitForMessage("Burned Completed!");
    const QString last = Shown().last();
    QVERIFY2(last.startsWith("The disc does not hold these files as they are now:\r\n") &&
                 last.contains("z-small.bin"),
             qPrintable(last));
    QCOMPARE(W().Scrivo().Tag, 0);
  }

  // The engine's WRITE fails part-way: no event comes, the window returns
  // to idle through the diagnostics and says why.
  void failedBurnReturnsToIdleWithTheEnginesReason() {
    Open(QString("cd-r=%1").arg(Path("failed")), "fail=2A@3");  // the third of about eight writes
    WriteFile(Path("failed-src/data.bin"), 200000);
    W().Compilation().AddPaths({Path("failed-src")});
    W().actBurn->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(W().Scrivo().Tag == 0, 60000);
    const QString last = Shown().last();
    // The engine's text, and under it which write failed and what the disc
    // holds now.
    QVERIFY2(last.startsWith("The burn did not complete.\r\nUnable to burn image.\r\nThe writer refused "
                             "the write at block ") &&
                 last.contains("write error (03/0C/00). The session was closed with"),
             qPrintable(last));
    QVERIFY(W().actBurn->isEnabled() && W().actExit->isEnabled() && !W().pnlBurning->isVisible());
    QCOMPARE(W().Compilation().Count(), 1);
    QVERIFY(W().close());
  }

  // Close Session closes what a burn whose every close the drive refused
  // left open; a second one finds nothing to close.
  void closeSessionClosesWhatAFailedBurnLeftOpen() {
    Open(QString("cd-r=%1").arg(Path("open")), "fail=5B@1,fail=5B@2,fail=5B@3");
    WriteFile(Path("open-src/data.bin"), 200000);
    W().Compilation().AddPaths({Path("open-src")});
    for (QAction* action : {W().actBurn, W().actCloseSession, W().actCloseSession}) {
      action->trigger();
      QTRY_VERIFY_WITH_TIMEOUT(W().Scrivo().Tag == 0, 60000);
    }
    const QStringList shown = Shown().filter(QRegularExpression("complete|[Ss]ession"));
    QCOMPARE(shown.size(), 5);  // the failed burn, then each close asked and answered
    QVERIFY(shown[0].startsWith("The burn did not complete."));
    QCOMPARE(shown[2], QString("Session closed! The disc can now be read in other drives."));
    QVERIFY2(shown[4].startsWith("Close Session: The disc has no open session"), qPrintable(shown[4]));
  }

  // An entry the engine refuses is named before anything is written, and a
  // No burns nothing; the next burn holds the list as it is then, not what
  // the engine was handed before (extra.txt, taken off the list).
  void refusedEntriesAreNamedAndNothingIsBurnedWithoutTheUsersWord() {
    Open(QString("cd-r=%1").arg(Path("refused")));
    const QString source = Path("refused-src");
    WriteFile(source + "/kept.txt", 5);
    WriteFile(Path("extra.txt"), 7);
    WriteFile(Path("gone.txt"), 4);
    QVERIFY(::mkfifo(QFile::encodeName(source + "/pipe").constData(), 0600) == 0);
    W().Compilation().AddPaths({source, Path("extra.txt"), Path("gone.txt")});
    QVERIFY(QFile::remove(Path("gone.txt")));
    answers_ = {false};
    W().actBurn->trigger();
    const QString question = Shown().last();
    // Each entry with its own reason, not the engine's bare failure text.
    QCOMPARE(question, "These files and folders cannot be burned:\r\n" + source +
                           "/pipe: not a file whose contents can be burned (a device, FIFO or socket)\r\n" +
                           Path("gone.txt") +
                           ": no longer there: removed or renamed since it was added (No such file or "
                           "directory)\r\nBurn the other entries without them?");
    QCOMPARE(W().Scrivo().Tag, 0);
    QCOMPARE(QFileInfo(Disc("refused")).size(), 0);

    W().lsvCD->topLevelItem(1)->setSelected(true);
    W().lsvCD->topLevelItem(2)->setSelected(true);
    W().actDelete->trigger();
    QVERIFY(QFile::remove(source + "/pipe"));
    W().actBurn->trigger();
    WaitForMessage("Burned Completed!");
    QCOMPARE(Shown().filter("cannot be burned").size(), 1);  // no question the second time
    QProcess readers;
    readers.start("/usr/bin/python3", {QUILLON_SOURCE_DIR "/tests/iso/check_readers.py", Disc("refused"), source});
    QVERIFY(readers.waitForFinished(120000));
    QVERIFY2(readers.exitCode() == 0, readers.readAllStandardOutput() + readers.readAllStandardError());
  }

  // The burn reads the disc back: on by default and remembered; the
  // progress shows the read-back, and the end box says the disc was
  // verified, or names the file and the directory blocks that read back
  // wrong or not at all.
  void verifyAfterBurnSaysWhatDiffers() {
    QSettings("quillon", "quillonburner").remove("verifyAfterBurn");  // earlier windows kept theirs
    WriteFile(Path("verify-src/photo.jpg"), 300000);
    const QString told = "Burned Completed!\r\nVerified: 1 file, 0.3 MB";
    const struct {
      QByteArray faults;
      QString end;
    } cases[] = {
        {{}, told + ", identical."},
        {"corrupt=100,unreadable=16",
         told + ": 1 file differs or cannot be read, and the disc's directory is damaged.\r\n"
                "The disc's directory is damaged: it cannot be read (1 block from block 16).\r\n\"/photo.jpg\" (from \"" +
             Path("verify-src/photo.jpg") + "\") differs from its source (1 block from block 100)."},
    };
    for (const auto& c : cases) {
      Open(QString("cd-r=%1").arg(Path("verify" + QString::number(c.faults.size()))), c.faults, std::nullopt);
      QVERIFY(W().chkVerify->isChecked());
      QStringList details;
      connect(W().pgbBurning, &QProgressBar::valueChanged, this, [&] { details << W().lblDetail->text(); });
      W().Compilation().AddPaths({Path("verify-src/photo.jpg")});
      W().actBurn->trigger();
      QTRY_VERIFY_WITH_TIMEOUT(W().Scrivo().Tag == 0, 60000);
      QCOMPARE(Shown().last(), c.end);
      QVERIFY2(details.contains("Verifying..."), qPrintable(details.join(" | ")));
    }
    W().chkVerify->setChecked(false);
    QVERIFY(W().close());
    Open("", {}, std::nullopt);
    QVERIFY(!W().chkVerify->isChecked());
  }

  // Real modal boxes: progress goes on behind the open cancel question, and
  // the question, never answered, closes when the burn ends (also a short
  // one, whose last messages were all queued when the question opened): the
  // end's box is the only one left.
  void eventsAreHandledWhileAModalBoxIsOpen() {
    Open(QString("cd-r=%1").arg(Path("modal")));
    W().Messages().SetAnswerer({});
    WriteFile(Path("modal-src/small.bin"), 300000);
    W().Compilation().AddPaths({Path("modal-src")});
    int progressWhenAsked = -1, progressBehind = -1;
    connect(W().pgbBurning, &QProgressBar::valueChanged, this, [&](int value) {
      if (progressWhenAsked >= 0 || value == 0) {
        progressBehind = std::max(progressBehind, value);
        return;
      }
      progressWhenAsked = value;
      W().actAbort->trigger();  // the question's own loop runs from here
    });
    QStringList openAtTheEnd;
    QTimer driver;
    connect(&driver, &QTimer::timeout, this, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || box->text() != "Burned Completed!") return;
      for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* other = qobject_cast<QMessageBox*>(top); other && other->isVisible() && other != box)
          openAtTheEnd << other->text();
      }
      box->button(QMessageBox::Ok)->click();
    });
    driver.start(20);
    W().actBurn->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(Shown().contains("Burned Completed!") && !QApplication::activeModalWidget(), 60000);
    QVERIFY(progressBehind > progressWhenAsked && progressWhenAsked > 0);
    QCOMPARE(openAtTheEnd, QStringList());
    QCOMPARE(W().Scrivo().Tag, 0);
    QCOMPARE(W().Compilation().Count(), 0);
  }

  // Each job holds logind's sleep and shutdown lock, naming the job, from
  // its start to its end, however it ends.
  void eachJobHoldsTheSleepLockUntilItEnds_data() {
    QTest::addColumn<QString>("medium");
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("why");
    QTest::newRow("burn") << "cd-r" << QByteArray() << "burn" << "Burning a CD";
    QTest::newRow("DVD burn") << "dvd-r" << QByteArray() << "burn" << "Burning a DVD";
    QTest::newRow("erase") << "cd-rw" << QByteArray() << "erase" << "Erasing a disc";
    QTest::newRow("format") << "dvd+rw" << QByteArray() << "format" << "Formatting a DVD+RW";
    QTest::newRow("cancelled burn") << "cd-r" << QByteArray("slow=2A:2") << "cancel" << "Burning a CD";
    QTest::newRow("failed burn") << "cd-r" << QByteArray("fail=2A@3") << "burn" << "Burning a CD";
  }
  void eachJobHoldsTheSleepLockUntilItEnds() {
    if (qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS")) QSKIP("run under tests/support/private_bus.py");
    QFETCH(QString, medium);
    QFETCH(QByteArray, faults);
    QFETCH(QString, action);
    QFETCH(QString, why);
    Open(QString("%1=%2").arg(medium, Path("awake-" + QString(QTest::currentDataTag()).replace(' ', '-'))), faults);
    WriteSparseFile(Path("awake-src/data.bin"), action == "cancel" ? 300 * 1024 * 1024 : 200000);
    W().Compilation().AddPaths({Path("awake-src")});
    QTRY_VERIFY(W().Compilation().Sized());
    connect(W().pgbBurning, &QProgressBar::valueChanged, this, [&](int value) {
      if (action == "cancel" && value >= 10 && W().actAbort->isEnabled()) W().actAbort->trigger();
    });
    (action == "erase" ? W().actErase : action == "format" ? W().actFormat : W().actBurn)->trigger();
    QVERIFY(W().Scrivo().Tag != 0);
    QCOMPARE(Inhibitors(), QStringList{"sleep:shutdown|Quillon Burner|" + why + "|block"});
    QTRY_VERIFY_WITH_TIMEOUT(W().Scrivo().Tag == 0, 120000);
    QTRY_COMPARE(Inhibitors(), QStringList());
    QVERIFY2(Shown().filter(QRegularExpression("^(Burned|Blank|Format) [Cc]omplete|^Burn cancelled|did not complete"))
                     .size() == 1,
             qPrintable(Shown().join(" | ")));
  }

  // A disc the system has mounted in the chosen writer (the second: /dev/sr1
  // to UDisks2): Start Burn, Erase and Format ask first; Yes has UDisks2 unmount
  // that device and the job goes on, No leaves the disc and starts nothing.
  void aMountedDiscIsUnmountedOnlyWithTheUsersWord_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("answer");
    QTest::newRow("burn, yes") << "burn" << true;
    QTest::newRow("burn, no") << "burn" << false;
    QTest::newRow("erase, yes") << "erase" << true;
    QTest::newRow("erase, no") << "erase" << false;
    QTest::newRow("format, yes") << "format" << true;
  }
  void aMountedDiscIsUnmountedOnlyWithTheUsersWord() {
    if (qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS")) QSKIP("run under tests/support/private_bus.py");
    QFETCH(QString, action);
    QFETCH(bool, answer);
    const QString writer = Path("mounted-" + QString(QTest::currentDataTag()).replace(", ", "-"));
    const QString mounted = writer + "/mounted";
    WriteFile(Path("mounted-src/file.txt"), 100);
    Open(QString("cd-rw=%1;%2=%3").arg(Path("not-mounted"), action == "format" ? "dvd+rw" : "cd-rw", writer));
    QFile note(mounted);
    QVERIFY(note.open(QIODevice::WriteOnly) && note.write("/dev/sr1 /media/tester/OLD DISC\n") > 0);
    note.close();
    // The mock's Unmount of /dev/sr1 takes the disc out of the mount table.
    for (const char* device : {"sr0", "sr1"}) MockBlock(device, "ClearCalls");
    MockBlock("sr1", "AddMethod",
              {"string:org.freedesktop.UDisks2.Filesystem", "string:Unmount", "string:a{sv}", "string:",
               "string:__import__('os').remove('" + mounted + "')"});
    W().cboBurner->setCurrentIndex(1);
    emit W().cboBurner->activated(1);
    QCOMPARE(W().lblDisc->text(), QString("The system has the disc in the writer mounted at /media/tester/OLD DISC: "
                                          "unmount it first (udisksctl unmount -b /dev/sr1)."));
    W().Compilation().AddPaths({Path("mounted-src")});
    answers_ = {answer};
    (action == "burn" ? W().actBurn : action == "erase" ? W().actErase : W().actFormat)->trigger();
    const QString question = "The system has the disc in the writer (/dev/sr1) mounted at /media/tester/OLD DISC, "
                             "and nothing can be written to it while it is.\r\nUnmount it and go on?";
    QCOMPARE(Shown().filter("mounted at").value(0), question);
    QCOMPARE(MockBlock("sr1", "GetCalls").contains("\"Unmount\""), answer);
    QVERIFY(!MockBlock("sr0", "GetCalls").contains("\"Unmount\""));
    QCOMPARE(QFile::exists(mounted), !answer);
    if (!answer) {
      QCOMPARE(Shown().last(), question);
      QCOMPARE(W().Scrivo().Tag, 0);
      return;
    }
    QCOMPARE(W().Scrivo().Tag, action == "burn" ? 1 : 2);
    WaitForMessage(action == "burn" ? "Burned Completed!" : action == "erase" ? "Blank complete!" : "Format complete!");
  }

  // The check before a burn is made for the disc type chosen: a file of
  // 4 GiB or more stops a CD burn before the writer is touched and passes
  // on a DVD; a link that leads outside the folders is named first.
  void theCheckFollowsTheDiscTypeAndNamesOutsideLinks_data() {
    QTest::addColumn<QString>("medium");
    QTest::addColumn<QString>("entry");  // what the folder holds
    QTest::addColumn<QString>("shown");  // the last box: %1 the entry, %2 where a link leads
    QTest::newRow("4 GiB + 1 on CD") << "cd-r" << "large"
                                     << "These files cannot be burned on the disc type chosen:\r\n%1: 4 GiB or larger: "
                                        "only a DVD holds a file this large\r\nNothing was burned. Uncheck or remove "
                                        "them, then press Start Burn.";
    QTest::newRow("4 GiB + 1 on DVD") << "dvd-r" << "large" << "";
    QTest::newRow("outside link") << "cd-r" << "link"
                                  << "These links lead outside the folders being burned: the disc holds what each "
                                     "one leads to, not the link.\r\n%1 leads to %2\r\nBurn them so?";
  }
  void theCheckFollowsTheDiscTypeAndNamesOutsideLinks() {
    QFETCH(QString, medium);
    QFETCH(QString, entry);
    QFETCH(QString, shown);
    const QString tag = QString(QTest::currentDataTag()).replace(' ', '-');
    const QString source = Path("check-src-" + tag), target = Path("check-outside.txt");
    if (entry == "large") WriteSparseFile(source + "/large.bin", (qint64{4} << 30) + 1);
    if (entry == "link") {
      WriteFile(target, 10);
      QDir().mkpath(source);
      QVERIFY(QFile::link(target, source + "/link.txt"));
    }
    Open(QString("%1=%2").arg(medium, Path("check-" + tag)));
    W().Compilation().AddPaths({source});
    QTRY_VERIFY(W().Compilation().Sized());
    answers_ = {false};  // the outside link's question
    W().actBurn->trigger();
    if (shown.isEmpty()) {
      // Passed: the burn runs; it is cancelled rather than written whole.
      QCOMPARE(W().Scrivo().Tag, 1);
      answers_ = {true};
      W().actAbort->trigger();
      QTRY_VERIFY_WITH_TIMEOUT(W().Scrivo().Tag == 0, 120000);
      QCOMPARE(Shown().filter("cannot be burned").size(), 0);
      return;
    }
    QCOMPARE(Shown().last(), QString(shown)
                                 .replace("%1", source + (entry == "large" ? "/large.bin" : "/link.txt"))
                                 .replace("%2", QFileInfo(target).canonicalFilePath()));
    QCOMPARE(W().Scrivo().Tag, 0);
    QCOMPARE(QFileInfo(Disc("check-" + tag)).size(), 0);
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
