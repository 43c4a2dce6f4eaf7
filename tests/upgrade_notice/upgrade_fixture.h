#pragma once
// One user's world for the upgrade library: a home folder and a
// configuration folder of its own, no upgrade server unless a test sets one,
// and no session left behind.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <functional>
#include <tuple>
#include <vector>

#include "app/upgrade_notice/novaleaf.h"
#include "app/upgrade_notice/upgrade_settings.h"

class UpgradeFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "QUILLON_UPGRADE_URL"}) {
      saved_.emplace_back(name, qgetenv(name), qEnvironmentVariableIsSet(name));
    }
    qputenv("HOME", home_.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home_.path() + "/config").toUtf8());
    qunsetenv("QUILLON_UPGRADE_URL");
  }

  void TearDown() override {
    free_dll();
    for (const auto& [name, value, set] : saved_) {
      set ? qputenv(name, value) : qunsetenv(name);
    }
  }

  QString Home() const { return home_.path(); }

  void WriteSettings(const QString& text) {
    QFile file(novaleaf::SettingsFilePath());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
  }


 public:
  // Runs the event loop until `done` holds or a generous bound passes.
  static bool PumpUntil(const std::function<bool()>& done, int milliseconds = 15'000) {
    const QDeadlineTimer deadline(milliseconds);
    while (!done()) {
      if (deadline.hasExpired()) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
  }

  // The session's window, when it is shown.
  static QWidget* SessionWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->objectName() == "novaleafWindow" && widget->isVisible()) return widget;
    }
    return nullptr;
  }

  static QString SessionStatus() {
    QWidget* window = SessionWindow();
    return window ? window->findChild<QLabel*>("status")->text() : QString();
  }

 private:
  QTemporaryDir home_;
  std::vector<std::tuple<const char*, QByteArray, bool>> saved_;
};
