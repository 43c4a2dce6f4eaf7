// The seven entry points of libnovaleaf.so, the only symbols it exports.
// Each works only on the GUI thread of a running QApplication and lets
// nothing cross the C boundary.

#include <QApplication>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include "app/upgrade_notice/notice_dialog.h"
#include "app/upgrade_notice/novaleaf.h"
#include "app/upgrade_notice/start_up_offer.h"
#include "app/upgrade_notice/upgrade_session.h"
#include "app/upgrade_notice/upgrade_settings.h"

namespace {

using novaleaf::UpgradeSession;

QPointer<UpgradeSession>& CurrentSession() {
  static QPointer<UpgradeSession> session;
  return session;
}

// The window the last notice belonged to, the owner of the session's window
// when no window is active yet.
QPointer<QWidget>& NoticeOwner() {
  static QPointer<QWidget> owner;
  return owner;
}

QApplication* GuiApplication() {
  auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
  return application && QThread::currentThread() == application->thread() ? application : nullptr;
}

void EndSession() { delete CurrentSession().data(); }

QString Text(const char* text) { return text ? QString::fromUtf8(text) : QString(); }

template <typename Call>
void WithSession(Call call) {
  try {
    if (GuiApplication() && CurrentSession()) call(*CurrentSession());
  } catch (...) {
  }
}

}  // namespace

extern "C" {

void init_dll(int, const char* firstPage, const char* secondPage, const char* installerPath,
              char* buffer) {
  try {
    QApplication* application = GuiApplication();
    if (!application) return;
    EndSession();
    CurrentSession() = new UpgradeSession(
        {Text(firstPage), Text(secondPage), Text(installerPath), buffer}, application);
    // The session must not outlive the event loop its transfers and window need.
    QObject::connect(application, &QCoreApplication::aboutToQuit, CurrentSession(), &EndSession);
  } catch (...) {
  }
}

int ShowUpgradeNotice(const char* text) {
  const bool startUp = novaleaf::TakeStartUpOffer();
  try {
    if (!GuiApplication() || (startUp && !novaleaf::ShowAtStartup())) return NOVALEAF_NOT_ASKED;
    NoticeOwner() = QApplication::activeWindow();
    return novaleaf::AskForUpgrade(Text(text), NoticeOwner());
  } catch (...) {
    return NOVALEAF_NOT_ASKED;
  }
}

void get_information_fromhtml(void) {
  WithSession([](UpgradeSession& session) { session.FetchInformation(); });
}

void showdialog(void) {
  WithSession([](UpgradeSession& session) {
    QWidget* active = QApplication::activeWindow();
    session.ShowWindow(active ? active : NoticeOwner().data());
  });
}

void start_download(void) {
  WithSession([](UpgradeSession& session) { session.StartDownload(); });
}

bool is_done(void) {
  bool done = false;
  WithSession([&done](UpgradeSession& session) { done = session.IsDone(); });
  return done;
}

void free_dll(void) {
  try {
    if (GuiApplication()) EndSession();
  } catch (...) {
  }
}

}  // extern "C"
