#pragma once
// One upgrade session, from init_dll to free_dll: reads the two pages from
// the configured server, shows its window, downloads the installer into the
// user's download folder and tells the application when it is done. All of
// it runs on the GUI thread through Qt's event loop; the session starts no
// threads of its own, and deleting it stops its transfers, removes a partial
// download and closes its window.

#include <QFile>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QWidget;

namespace novaleaf {

class UpgradeWindow;

struct SessionArguments {
  QString firstPage;
  QString secondPage;
  QString installerPath;
  char* buffer = nullptr;  // the caller's, NOVALEAF_BUFFER_SIZE bytes
};

class UpgradeSession final : public QObject {
 public:
  UpgradeSession(SessionArguments arguments, QObject* parent);
  ~UpgradeSession() override;

  void FetchInformation();
  void ShowWindow(QWidget* owner);
  void StartDownload();
  // True once the installer is saved and the user has closed the window;
  // the first time, the saved path goes into the caller's buffer.
  bool IsDone();

 private:
  enum class State { Idle, Fetching, NoUpgrade, Ready, Downloading, Saved, Failed, Stopped };

  QNetworkReply* Get(const QUrl& url, qint64 mostBytes);
  void PageArrived(QNetworkReply* reply, QString& html);
  void ConcludeFetch();
  void BeginDownload();
  void InstallerArrived(QNetworkReply* reply);
  void WriteReceived(QNetworkReply* reply);
  void Fail(State state, const QString& reason);
  void StopTransfers();
  void WindowClosed();
  void UpdateWindow();
  QString Heading() const;

  SessionArguments arguments_;
  QNetworkAccessManager* network_;
  QList<QPointer<QNetworkReply>> replies_;
  QPointer<UpgradeWindow> window_;
  State state_ = State::Idle;
  bool downloadWanted_ = false;
  bool acknowledged_ = false;
  bool pathHandedOver_ = false;
  int pagesPending_ = 0;
  QUrl offerPage_;
  QString announcementHtml_;
  QString offerHtml_;
  QString offerError_;
  QString title_;
  QString description_;
  QUrl installer_;
  QString reason_;
  QString target_;
  std::unique_ptr<QFile> partial_;
  qint64 received_ = 0;
  qint64 total_ = 0;
};

}  // namespace novaleaf
