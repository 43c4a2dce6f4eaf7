// Upgrade sessions through the seven entry points, as the application makes
// them: the notice and its start-up box, no server or no network, and a
// download from a web server on the loopback interface.

#include <QCheckBox>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>
#include <array>
#include <optional>

#include "app/upgrade_notice/start_up_offer.h"
#include "upgrade_fixture.h"

namespace {

constexpr const char* kFirstPage = "/home/download/emberly.html";
constexpr const char* kSecondPage = "/home/download/quillonburner-pro.html";
constexpr const char* kInstaller = "c:/emberlysetup.exe";

// Answers the next notice by setting the start-up box (when asked) and
// clicking `button`.
class NoticeAnswer {
 public:
  NoticeAnswer(const QString& button, std::optional<bool> startUpBox) {
    QObject::connect(&timer_, &QTimer::timeout, [this, button, startUpBox] {
      QWidget* notice = QApplication::activeModalWidget();
      if (!notice || notice->objectName() != "novaleafNotice") return;
      timer_.stop();
      text_ = notice->findChild<QLabel*>("text")->text();
      if (startUpBox) notice->findChild<QCheckBox*>("startUp")->setChecked(*startUpBox);
      for (QPushButton* candidate : notice->findChildren<QPushButton*>()) {
        if (candidate->text() == button) candidate->click();
      }
    });
    timer_.start(10);
  }
  // The notice's text, or null when no notice was shown.
  const QString& Text() const { return text_; }

 private:
  QTimer timer_;
  QString text_;
};

void StartSession(char* buffer) {
  init_dll(0, kFirstPage, kSecondPage, kInstaller, buffer);
  get_information_fromhtml();
  showdialog();
  start_download();
}

void CloseSessionWindow() {
  QWidget* window = UpgradeFixture::SessionWindow();
  ASSERT_NE(window, nullptr);
  window->findChild<QPushButton*>()->click();
}

TEST_F(UpgradeFixture, TheStartUpOfferFollowsTheBoxAndTheUpgradeCommandAlwaysAsks) {
  novaleaf::testing::ForgetStartUpOffer();
  {
    NoticeAnswer answer("Not now", true);
    EXPECT_EQ(ShowUpgradeNotice("\n\nHello, an upgrade is ready."), NOVALEAF_DECLINED);
    EXPECT_EQ(answer.Text(), "Hello, an upgrade is ready.");
  }
  QFile settings(novaleaf::SettingsFilePath());
  ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
  EXPECT_TRUE(settings.readAll().contains("show-at-startup=false"));

  novaleaf::testing::ForgetStartUpOffer();  // the application's next run
  {
    NoticeAnswer answer("Upgrade", std::nullopt);
    EXPECT_EQ(ShowUpgradeNotice("\n\nHello"), NOVALEAF_NOT_ASKED);
    EXPECT_TRUE(answer.Text().isNull()) << "not shown at start-up";
  }
  {
    NoticeAnswer answer("Upgrade", false);
    EXPECT_EQ(ShowUpgradeNotice("\n\nHello"), NOVALEAF_UPGRADE) << "the Upgrade command asks";
    EXPECT_FALSE(answer.Text().isNull());
  }
  EXPECT_TRUE(novaleaf::ShowAtStartup());
}

TEST_F(UpgradeFixture, WithoutAServerOrANetworkNoUpgradeIsAvailableAndTheSessionIsNeverDone) {
  const char* cases[][2] = {
      {"", "No upgrade server is set up in "},
      {"http://127.0.0.1:1/", "Connection refused"},  // nothing listens there
  };
  for (const auto& [server, reason] : cases) {
    SCOPED_TRACE(server);
    qputenv("QUILLON_UPGRADE_URL", server);
    std::array<char, NOVALEAF_BUFFER_SIZE> buffer;
    buffer.fill('x');
    StartSession(buffer.data());
    EXPECT_EQ(buffer[0], '\0');
    ASSERT_TRUE(PumpUntil([] { return SessionStatus().startsWith("No upgrade is available."); }))
        << SessionStatus().toStdString();
    EXPECT_TRUE(SessionStatus().contains(reason)) << SessionStatus().toStdString();
    EXPECT_FALSE(is_done());
    CloseSessionWindow();
    EXPECT_FALSE(is_done());
    free_dll();
    EXPECT_EQ(SessionWindow(), nullptr);
    EXPECT_FALSE(is_done());
  }
  EXPECT_FALSE(QFileInfo::exists(Home() + "/Downloads")) << "nothing downloaded";
}

// python3's web server on a free loopback port, serving `folder`.
class LoopbackServer {
 public:
  explicit LoopbackServer(const QString& folder) {
    process_.start("python3", {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
                               "--directory", folder});
    static const QRegularExpression port(R"(port (\d+))");
    QByteArray said;
    while (process_.waitForReadyRead(10'000)) {
      said += process_.readAllStandardOutput();
      const QRegularExpressionMatch match = port.match(QString::fromUtf8(said));
      if (match.hasMatch()) {
        address_ = "http://127.0.0.1:" + match.captured(1) + "/";
        break;
      }
    }
  }
  ~LoopbackServer() {
    process_.kill();
    process_.waitForFinished();
  }
  const QString& Address() const { return address_; }

 private:
  QProcess process_;
  QString address_;
};

void WriteFile(const QString& path, const QByteArray& content) {
  ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(content);
}

TEST_F(UpgradeFixture, AnAcceptedUpgradeSavesTheInstallerUnrunAndIsDoneOnceTheWindowCloses) {
  const QString site = Home() + "/site/home/download/";
  WriteFile(site + "emberly.html",
            "<title>Quillon Burner Pro</title><p>Burns twice as many discs.</p>");
  WriteFile(site + "quillonburner-pro.html", R"(<a download href="files/pro-setup.run">Get it</a>)");
  QByteArray installer(300'000, '\0');
  QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(installer.data()), installer.size() / 4);
  WriteFile(site + "files/pro-setup.run", installer);
  const LoopbackServer server(Home() + "/site");
  ASSERT_FALSE(server.Address().isEmpty()) << "python3's web server did not start";
  WriteSettings("[upgrade]\nserver=" + server.Address() + "\n");

  std::array<char, NOVALEAF_BUFFER_SIZE> buffer{};
  StartSession(buffer.data());
  free_dll();  // ended while its pages are on their way: nothing is left behind
  EXPECT_EQ(SessionWindow(), nullptr);
  PumpUntil([] { return false; }, 100);
  EXPECT_FALSE(QFileInfo::exists(Home() + "/Downloads/emberlysetup.exe.part"));

  StartSession(buffer.data());
  ASSERT_TRUE(PumpUntil([] { return SessionStatus().startsWith("The installer has been saved"); }))
      << SessionStatus().toStdString();
  EXPECT_EQ(SessionWindow()->findChild<QLabel*>("heading")->text(), "Quillon Burner Pro");

  const QString saved = Home() + "/Downloads/emberlysetup.exe";
  QFile file(saved);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll() == installer);
  EXPECT_FALSE(file.permissions() & (QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
  EXPECT_FALSE(QFileInfo::exists(saved + ".part"));

  EXPECT_FALSE(is_done()) << "the user has not closed the window yet";
  EXPECT_EQ(buffer[0], '\0');
  CloseSessionWindow();
  EXPECT_TRUE(is_done());
  EXPECT_EQ(QString::fromUtf8(buffer.data()), saved);
}

}  // namespace
