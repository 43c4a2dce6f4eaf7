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
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

#include <deque>
#include <fstream>
#include <memory>

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

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir work_;
  std::unique_ptr<TFGUI> window_;
  std::deque<bool> answers_;  // given to questions in turn; Yes when none left

  QString Path(const QString& name) const { return work_.filePath(name); }
  QString Disc(const QString& writer) const { return Path(writer + "/disc.img"); }

  // A fresh window on `writers` (the ASPI layer reads them when the control
  // binds it), started as on its first activation.
  void Open(const QString& writers, const QByteArray& faults = {}) {
    window_.reset();
    qputenv("WNASPI32_VIRTUAL_WRITERS", writers.toUtf8());
    qputenv("WNASPI32_VIRTUAL_FAULTS", faults);
    window_ = std::make_unique<TFGUI>();
    window_->SetUpgradeDll(upgrade_double::kRecording);  // the start-up offer, declined
    window_->Messages().SetAnswerer([this](const MessageService::Shown& shown) {
      if (shown.kind == MessageService::Kind::Message || answers_.empty()) return true;
      bool answer = answers_.front();
      answers_.pop_front();
      return answer;
    });
    window_->FormActivate();
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
    qputenv("WNASPI32_REAL_DRIVES", "0");
    qputenv("WNASPI32_VIRTUAL_POLLS", "2");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(EnsureEngineRegistered(), QString());
  }
  void cleanup() {
    window_.reset();
    answers_.clear();
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
    QCOMPARE(W().lblState->text(), QString("Burning ......"));
    QCOMPARE(W().txtProgress->text(), QString("100 %"));  // kept on the hidden panel
    QCOMPARE(W().Compilation().Count(), 0);
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
    WaitForMessage("Blank complete!");
    QCOMPARE(W().Scrivo().Tag, 0);
    QCOMPARE(W().Compilation().Count(), 1);
  }

  // Cancel confirmed at the first progress: the panel goes at once, the
  // window stays busy until Finished, which ends the burn as usual.
  void cancelConfirmedMidBurn() {
    Open(QString("cd-r=%1").arg(Path("cancel")));
    WriteSparseFile(Path("cancel-src/large.bin"), 300 * 1024 * 1024);
    W().Compilation().AddPaths({Path("cancel-src")});
    bool cancelled = false;
    bool panelHiddenAtOnce = false, stillBusy = false;
    connect(W().pgbBurning, &QProgressBar::valueChanged, this, [&](int value) {
      if (cancelled || value == 0) return;
      cancelled = true;
      W().actAbort->trigger();
      panelHiddenAtOnce = !W().pnlBurning->isVisible() && W().pgbBurning->value() == 0;
      stillBusy = W().Scrivo().Tag == 1 && !W().actBurn->isEnabled() && !W().actExit->isEnabled();
    });
    W().actBurn->trigger();
    WaitForMessage("Burned Completed!");
    QVERIFY(Shown().contains("Cancel Burning, it will destory the CD disc, Are you sure"));
    QVERIFY(panelHiddenAtOnce);
    QVERIFY(stillBusy);
    QCOMPARE(W().Scrivo().Tag, 0);
    QCOMPARE(W().Compilation().Count(), 0);
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

  // Real modal boxes: progress goes on behind the open cancel question, a
  // No lets the burn finish, and its message box is shown in turn.
  void eventsAreHandledWhileAModalBoxIsOpen() {
    Open(QString("cd-r=%1").arg(Path("modal")));
    W().Messages().SetAnswerer({});
    WriteSparseFile(Path("modal-src/large.bin"), 200 * 1024 * 1024);
    W().Compilation().AddPaths({Path("modal-src")});
    int progressWhenAsked = -1, progressBeforeNo = -1;
    bool asked = false;
    connect(W().pgbBurning, &QProgressBar::valueChanged, this, [&](int value) {
      if (asked || value == 0) return;
      asked = true;
      progressWhenAsked = value;
      W().actAbort->trigger();  // the question's own loop runs from here
    });
    QTimer driver;
    connect(&driver, &QTimer::timeout, this, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      if (box->text().startsWith("Cancel Burning") && W().pgbBurning->value() > progressWhenAsked + 5) {
        progressBeforeNo = W().pgbBurning->value();
        box->button(QMessageBox::No)->click();
      } else if (box->text() == "Burned Completed!") {
        box->button(QMessageBox::Ok)->click();
      }
    });
    driver.start(20);
    W().actBurn->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(Shown().contains("Burned Completed!") && !QApplication::activeModalWidget(), 120000);
    QVERIFY(progressBeforeNo > progressWhenAsked);
    QCOMPARE(W().Scrivo().Tag, 0);
    QCOMPARE(W().Compilation().Count(), 0);
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
