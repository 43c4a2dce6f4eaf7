// The main window's dialogs and its upgrade notice: the add-files dialog's
// rules over real folders, the about box, and the calls the window makes to
// a recording double of the upgrade library.

#include <QDBusConnection>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <fstream>
#include <functional>
#include <memory>

#include "app/add_dialog.h"
#include "app/desktop_notification.h"
#include "app/engine_registration.h"
#include "app/location_box.h"
#include "app/main_window.h"
#include "upgrade_double.h"

namespace {

void WriteFile(const QString& path, std::size_t size) {
  QDir().mkpath(QFileInfo(path).path());
  std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary);
  out << std::string(size, 'q');
}

// Calls `handle` with the next modal dialog once it is on the screen.
void OnNextModal(QObject* context, std::function<void(QWidget&)> handle) {
  auto* timer = new QTimer(context);
  QObject::connect(timer, &QTimer::timeout, context, [timer, handle] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    timer->deleteLater();
    timer->stop();
    handle(*modal);
  });
  timer->start(10);
}

// Plays the desktop's notification service: records what it is asked to show.
class NotificationService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  QStringList shown;

 public slots:
  uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body, const QStringList&,
              const QVariantMap&, int) {
    shown << summary + ": " + body;
    return 1;
  }
};

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir work_;
  std::unique_ptr<TFGUI> window_;
  QProcess bus_;  // a session bus of the test's own
  QString busAddress_;

  TFGUI& W() { return *window_; }
  QString Path(const QString& name) const { return work_.filePath(name); }
  QStringList Shown() const {
    QStringList texts;
    for (const auto& shown : window_->Messages().History()) texts.append(shown.text);
    return texts;
  }
  QStringList Captions() {
    QStringList captions;
    for (const auto& entry : W().Compilation().Entries()) captions.append(entry.caption);
    return captions;
  }

  // The dialog showing `folder` once its list shows `names`, in order.
  std::unique_ptr<TfrmAdd> AddDialogOn(const QString& folder, const QStringList& names) {
    auto dialog = std::make_unique<TfrmAdd>(&W(), W().Compilation(), &W().Messages());
    if (!dialog->ShowFolder(folder)) return nullptr;
    const QListView& list = *dialog->lvwFiles;
    const auto shown = [&list] {
      QStringList items;
      for (int row = 0; row < list.model()->rowCount(list.rootIndex()); ++row) {
        items << list.model()->index(row, 0, list.rootIndex()).data().toString();
      }
      return items;
    };
    return QTest::qWaitFor([&] { return shown() == names; }) ? std::move(dialog) : nullptr;
  }
  // The test folder as the list shows it: folders first, then by name.
  static QStringList AddFolderNames() { return {"emptydir", "folder", "big.bin", "empty.txt"}; }
  static void Select(TfrmAdd& dialog, const QStringList& names) {
    QListView& list = *dialog.lvwFiles;
    for (int row = 0; row < list.model()->rowCount(list.rootIndex()); ++row) {
      const QModelIndex item = list.model()->index(row, 0, list.rootIndex());
      if (names.contains(item.data().toString())) {
        list.selectionModel()->select(item, QItemSelectionModel::Select);
      }
    }
  }

 private slots:
  void initTestCase() {
    QVERIFY(work_.isValid());
    qputenv("XDG_DATA_HOME", Path("data").toUtf8());
    qputenv("XDG_CONFIG_HOME", Path("config").toUtf8());
    bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    if (bus_.waitForStarted() && bus_.waitForReadyRead(5000)) {
      busAddress_ = QString::fromUtf8(bus_.readLine()).trimmed();
      qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress_.toUtf8());
    }
    qputenv("WNASPI32_REAL_DRIVES", "0");
    qputenv("WNASPI32_VIRTUAL_WRITERS", "");
    QCOMPARE(EnsureEngineRegistered(), QString());
    WriteFile(Path("add/big.bin"), 1234567);
    WriteFile(Path("add/empty.txt"), 0);
    WriteFile(Path("add/folder/inside.txt"), 10);
    QDir().mkpath(Path("add/emptydir"));
  }
  void init() {
    upgrade_double::Reset();
    window_ = std::make_unique<TFGUI>();
    window_->SetUpgradeDll(upgrade_double::kRecording);
    window_->Messages().SetAnswerer([](const MessageService::Shown&) { return true; });
  }
  void cleanup() {
    window_->Scrivo().Tag = 0;
    window_.reset();
  }

  // Add takes the file list's selection wherever the focus is, the tree's
  // folder when the tree has it, or says that nothing is selected; the
  // browser never renames a file.
  void addTakesTheSelectionWhereverItIs() {
    auto dialog = AddDialogOn(Path("add"), AddFolderNames());
    QVERIFY(dialog);
    dialog->actSelectAll->trigger();
    dialog->actUnselect->trigger();
    Select(*dialog, {"big.bin"});
    dialog->actSelInv->trigger();
    QCOMPARE(dialog->lvwFiles->selectionModel()->selectedIndexes().size(), 3);
    dialog->actSelectAll->trigger();

    dialog->ShellComboBox1->lineEdit()->setFocus();
    dialog->actAdd->trigger();
    QCOMPARE(Captions(), (QStringList{Path("add/emptydir/"), Path("add/folder/"),
                                      Path("add/big.bin"), Path("add/empty.txt")}));
    const QStringList sizes{"", "10", "1,234,567", ""};  // grouped as for a drop, nothing for 0
    for (int row = 0; row < 4; ++row) {
      QTRY_COMPARE(W().lsvCD->topLevelItem(row)->text(1), sizes[row]);
      QVERIFY(W().Compilation().Entries()[row].checked);
    }
    QVERIFY(dialog->lvwFiles->selectionModel()->selectedIndexes().isEmpty());
    dialog->lvwFiles->setFocus();
    dialog->actAdd->trigger();
    QCOMPARE(W().Compilation().Count(), 4);
    QVERIFY(Shown().last().startsWith("Nothing is selected: "));

    W().lsvCD->clear();
    dialog->ShowFolder(Path("add/folder"));
    dialog->tvwDir->setFocus();
    dialog->actAdd->trigger();
    QCOMPARE(Captions(), QStringList{Path("add/folder/")});

    // F2 on a selected file opens no editor, and the file keeps its name.
    dialog = AddDialogOn(Path("add"), AddFolderNames());
    QVERIFY(dialog);
    dialog->show();
    Select(*dialog, {"big.bin"});
    dialog->lvwFiles->setFocus();
    const QModelIndex big = dialog->lvwFiles->selectionModel()->selectedIndexes().value(0);
    dialog->lvwFiles->setCurrentIndex(big);
    QTest::keyClick(dialog->lvwFiles, Qt::Key_F2);
    QVERIFY(dialog->lvwFiles->viewport()->findChildren<QLineEdit*>().isEmpty());
    QVERIFY(!(dialog->lvwFiles->model()->flags(big) & Qt::ItemIsEditable));
    QVERIFY(!dialog->lvwFiles->model()->setData(big, "renamed.bin"));
    QVERIFY(QFile::exists(Path("add/big.bin")));
  }

  void aFolderAddedHereAndDroppedIsOneEntryAndTheRootKeepsItsSlash() {
    W().AddDroppedUrls({QUrl::fromLocalFile(Path("add/folder"))});
    W().lsvCD->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    auto dialog = AddDialogOn(Path("add"), AddFolderNames());
    QVERIFY(dialog);
    Select(*dialog, {"folder", "big.bin"});
    dialog->lvwFiles->setFocus();
    dialog->actAdd->trigger();
    QCOMPARE(Captions(), (QStringList{Path("add/folder/"), Path("add/big.bin")}));
    QVERIFY(!W().Compilation().Entries()[0].checked);

    // The computer shows the root folder; its caption is "/" as when it is
    // dropped (put in first, so that no size of the whole disk is counted).
    new QTreeWidgetItem(W().lsvCD, QStringList{"/"});
    auto computer = AddDialogOn("", {"/"});
    QVERIFY(computer);
    Select(*computer, {"/"});
    computer->lvwFiles->setFocus();
    computer->actAdd->trigger();
    QCOMPARE(W().Compilation().Count(), 3);
  }

  void typedLocationsOpenFolders() {
    auto dialog = AddDialogOn(Path("add"), AddFolderNames());
    QVERIFY(dialog);
    QLineEdit* location = dialog->ShellComboBox1->lineEdit();
    location->setText(Path("add/folder") + "/");
    QTest::keyClick(location, Qt::Key_Return);
    QTRY_COMPARE(dialog->lvwFiles->model()->rowCount(dialog->lvwFiles->rootIndex()), 1);
    QCOMPARE(location->text(), Path("add/folder"));
    location->setText(Path("add/big.bin"));  // no folder: the list stays
    QTest::keyClick(location, Qt::Key_Return);
    QCOMPARE(location->text(), Path("add/folder"));
  }

  void addAndAboutAreModalAndNewAtEachOpening() {
    W().show();
    QVERIFY(QTest::qWaitForWindowExposed(&W()));
    QPointer<QWidget> add;
    QString title;
    OnNextModal(this, [&](QWidget& dialog) {
      add = &dialog;
      title = dialog.windowTitle();
      static_cast<TfrmAdd&>(dialog).ShowFolder(Path("add/folder"));
      QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    W().actAdd->trigger();
    QCOMPARE(title, QString("Add"));
    QVERIFY(add.isNull());
    // The next opening starts where this one ended (kept in the settings).
    QString shown;
    OnNextModal(this, [&](QWidget& dialog) {
      shown = static_cast<TfrmAdd&>(dialog).Shown();
      QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    W().actAdd->trigger();
    QCOMPARE(shown, Path("add/folder"));

    QStringList labels;
    OnNextModal(this, [&](QWidget& dialog) {
      title = dialog.windowTitle();
      for (const QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
      QTest::keyClick(&dialog, Qt::Key_Return);
    });
    W().actAbout->trigger();
    QCOMPARE(title, QString("About"));
    QVERIFY(labels.contains("Application Name: Quillon CD & DVD Burner"));
    QVERIFY(labels.contains("Application Version: 1.24"));
  }

  // A message box grows with its text: every line shows whole, a short
  // one and a path too long for one line alike.
  void messageBoxesShowTheirWholeText_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("one line") << QString("CD/DVD disk is not erasable! Can not continue to erase.");
  }

  // A list of any length is shown one entry a line, whole, in a box that
  // scrolls, between the text and the question.
  void aListOfEntriesScrollsInItsBox() {
    QStringList items;
    for (int i = 0; i < 40; ++i)
      items << "/tmp/" + QString(60, 'd') + "/" + QString(60, 'e') + QString("/name%1.txt: removed").arg(i);
    W().Messages().SetAnswerer({});
    bool whole = false, scrolls = false;
    OnNextModal(this, [&](QWidget& box) {
      auto* list = box.findChild<QPlainTextEdit*>("messageItems");
      QVERIFY(list && list->toPlainText().split('\n') == items);
      QVERIFY(list->geometry().bottom() < box.height());
      scrolls = list->verticalScrollBar()->maximum() > 0;
      whole = list->lineWrapMode() == QPlainTextEdit::NoWrap;
      QTest::keyClick(&box, Qt::Key_Escape);
    });
    QVERIFY(!W().Messages().Ask("These files and folders cannot be burned:", items,
                                "Burn the other entries without them?"));
    QVERIFY(whole && scrolls);
    QCOMPARE(Shown().last(), "These files and folders cannot be burned:\r\n" + items.join("\r\n") +
                                 "\r\nBurn the other entries without them?");
  }
  void messageBoxesShowTheirWholeText() {
    QFETCH(QString, text);
    W().Messages().SetAnswerer({});
    bool whole = false;
    OnNextModal(this, [&](QWidget& box) {
      const QLabel* label = box.findChild<QLabel*>("qt_msgbox_label");
      QVERIFY(label && label->text() == text);
      whole = label->geometry().right() < box.width();
      if (label->wordWrap()) {
        whole = whole && label->heightForWidth(label->width()) <= label->height();
      } else {
        for (const QString& line : text.split("\r\n")) {
          whole = whole && label->fontMetrics().horizontalAdvance(line) <= label->contentsRect().width();
        }
      }
      QTest::keyClick(&box, Qt::Key_Return);
    });
    W().Messages().Show(text);
    QVERIFY(whole);
  }

  void upgradeCallSequences_data() {
    QTest::addColumn<int>("choice");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<bool>("polling");
    QTest::newRow("declined") << 2 << QStringList{"free_dll"} << false;
    QTest::newRow("not asked") << 0 << QStringList{"free_dll"} << false;
    QTest::newRow("accepted") << 1
                              << QStringList{"get_information_fromhtml", "showdialog timer on",
                                             "start_download"}
                              << true;
    QTest::newRow("unknown answer") << 7 << QStringList{} << false;
  }
  void upgradeCallSequences() {
    QFETCH(int, choice);
    QFETCH(QStringList, after);
    QFETCH(bool, polling);
    upgrade_double::choice = choice;
    upgrade_double::atShowDialog = [this] {
      return W().timUpgrade->isActive() ? QString(" timer on") : QString(" timer off");
    };
    const QStringList once = QStringList{
        "init_dll 0 /home/download/emberly.html /home/download/quillonburner-pro.html "
        "c:/emberlysetup.exe buffer",
        "ShowUpgradeNotice %0A%0A"} + after;
    W().actUpgrade->trigger();
    QCOMPARE(upgrade_double::calls, once);
    QCOMPARE(W().timUpgrade->isActive(), polling);
    W().actUpgrade->trigger();  // initialised anew
    QCOMPARE(upgrade_double::calls, once + once);
  }

  void theFirstActivationOffersTheUpgradeOnce() {
    W().FormActivate();
    W().FormActivate();
    QCOMPARE(upgrade_double::calls.filter("init_dll").size(), 1);
  }

  void aDoneUpgradeClosesTheWindowUnlessAJobRuns() {
    upgrade_double::choice = 1;
    W().show();
    W().actUpgrade->trigger();
    QCOMPARE(W().timUpgrade->interval(), 1000);
    W().Scrivo().Tag = 1;  // burning
    upgrade_double::done = true;
    QTRY_VERIFY_WITH_TIMEOUT(!W().timUpgrade->isActive(), 3000);
    QCOMPARE(Shown(), QStringList{"Burner is working, can not exit now!"});
    QTest::qWait(1500);
    QCOMPARE(Shown().size(), 1);
    QVERIFY(W().isVisible());

    W().Scrivo().Tag = 0;
    W().actUpgrade->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!W().isVisible(), 3000);
    QVERIFY(!W().timUpgrade->isActive());
  }

  // A job's end reaches the desktop's notification service over the
  // session bus (a private one here, the service played by the test).
  void notificationsReachTheDesktopsService() {
    if (bus_.state() != QProcess::Running) QSKIP("dbus-daemon is not installed");
    QDBusConnection service = QDBusConnection::connectToBus(busAddress_, "notifications");
    NotificationService received;
    QVERIFY(service.registerObject("/org/freedesktop/Notifications", &received, QDBusConnection::ExportAllSlots));
    SendDesktopNotification(kApplicationTitle, "Burned Completed!");  // nobody serves the name yet: nothing
    QVERIFY(service.registerService("org.freedesktop.Notifications"));
    SendDesktopNotification(kApplicationTitle, "Blank complete!");
    QTRY_COMPARE(received.shown, QStringList{"Quillon CD & DVD Burner: Blank complete!"});
    QDBusConnection::disconnectFromBus("notifications");
  }
};


QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
