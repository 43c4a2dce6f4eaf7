#include "app/upgrade_notice/upgrade_session.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <algorithm>
#include <cstring>
#include <utility>

#include "app/upgrade_notice/download_target.h"
#include "app/upgrade_notice/novaleaf.h"
#include "app/upgrade_notice/upgrade_pages.h"
#include "app/upgrade_notice/upgrade_settings.h"
#include "app/upgrade_notice/upgrade_window.h"

namespace novaleaf {
namespace {

// A stalled transfer (no byte for this long) ends as failed, so a missing
// network never leaves the session waiting for ever.
constexpr int kTransferTimeoutMs = 20'000;
constexpr qint64 kMostPageBytes = qint64{1} << 20;
constexpr qint64 kMostInstallerBytes = qint64{1} << 30;
constexpr const char* kTooLarge = "tooLarge";

QString ErrorOf(const QNetworkReply& reply) {
  if (reply.property(kTooLarge).toBool()) return QStringLiteral("The file is larger than expected.");
  // Qt numbers the errors below the HTTP layer (no connection, no name, no
  // answer in time) under 100.
  const bool unreachable = reply.error() < QNetworkReply::ContentAccessDenied;
  return (unreachable ? "The upgrade server could not be reached (" : "The upgrade server refused (") +
         reply.errorString() + ").";
}

}  // namespace

UpgradeSession::UpgradeSession(SessionArguments arguments, QObject* parent)
    : QObject(parent), arguments_(std::move(arguments)), network_(new QNetworkAccessManager(this)) {
  if (arguments_.buffer) arguments_.buffer[0] = '\0';
}

UpgradeSession::~UpgradeSession() {
  StopTransfers();
  if (window_) {
    window_->disconnect(this);
    // While the application itself is being torn down, its widgets go with it.
    if (!QCoreApplication::closingDown()) delete window_.data();
  }
}

void UpgradeSession::FetchInformation() {
  if (state_ != State::Idle) return;
  const QUrl server = ConfiguredServer();
  if (server.isEmpty()) {
    return Fail(State::NoUpgrade, "No upgrade server is set up in " + SettingsFilePath() + ".");
  }
  offerPage_ = PageOnServer(server, arguments_.secondPage);
  if (!offerPage_.isValid()) return Fail(State::NoUpgrade, "The upgrade's page is not known.");

  state_ = State::Fetching;
  const QUrl announcement = PageOnServer(server, arguments_.firstPage);
  if (announcement.isValid()) {
    QNetworkReply* reply = Get(announcement, kMostPageBytes);
    ++pagesPending_;
    connect(reply, &QNetworkReply::finished, this,
            [this, reply] { PageArrived(reply, announcementHtml_); });
  }
  QNetworkReply* offer = Get(offerPage_, kMostPageBytes);
  ++pagesPending_;
  connect(offer, &QNetworkReply::finished, this, [this, offer] {
    if (offer->error() != QNetworkReply::NoError) offerError_ = ErrorOf(*offer);
    PageArrived(offer, offerHtml_);
  });
  UpdateWindow();
}

void UpgradeSession::ShowWindow(QWidget* owner) {
  if (!window_) {
    window_ = new UpgradeWindow(owner);
    connect(window_, &QDialog::finished, this, [this] { WindowClosed(); });
  }
  UpdateWindow();
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void UpgradeSession::StartDownload() {
  downloadWanted_ = true;
  if (state_ == State::Ready) BeginDownload();
}

bool UpgradeSession::IsDone() {
  if (state_ != State::Saved || !acknowledged_) return false;
  if (!pathHandedOver_ && arguments_.buffer) {
    const QByteArray path = QFile::encodeName(target_);
    const std::size_t length = std::min(static_cast<std::size_t>(path.size()), std::size_t{NOVALEAF_BUFFER_SIZE - 1});
    std::memcpy(arguments_.buffer, path.constData(), length);
    arguments_.buffer[length] = '\0';
  }
  pathHandedOver_ = true;
  return true;
}

QNetworkReply* UpgradeSession::Get(const QUrl& url, qint64 mostBytes) {
  QNetworkRequest request(url);
  request.setTransferTimeout(kTransferTimeoutMs);
  request.setHeader(QNetworkRequest::UserAgentHeader, "Quillon-Upgrade/1.0");
  QNetworkReply* reply = network_->get(request);
  replies_.append(reply);
  connect(reply, &QNetworkReply::downloadProgress, this, [reply, mostBytes](qint64 received, qint64) {
    if (received <= mostBytes) return;
    reply->setProperty(kTooLarge, true);
    reply->abort();
  });
  return reply;
}

void UpgradeSession::PageArrived(QNetworkReply* reply, QString& html) {
  reply->disconnect(this);
  replies_.removeAll(reply);
  reply->deleteLater();
  if (reply->error() == QNetworkReply::NoError) html = QString::fromUtf8(reply->readAll());
  if (--pagesPending_ == 0) ConcludeFetch();
}

void UpgradeSession::ConcludeFetch() {
  if (offerHtml_.isEmpty()) {
    return Fail(State::NoUpgrade,
                offerError_.isEmpty() ? QStringLiteral("The upgrade's page is empty.") : offerError_);
  }
  installer_ = InstallerLink(offerHtml_, offerPage_);
  if (installer_.isEmpty()) return Fail(State::NoUpgrade, "The upgrade's page offers no installer.");
  title_ = PageTitle(announcementHtml_);
  if (title_.isEmpty()) title_ = PageTitle(offerHtml_);
  description_ = FirstParagraph(announcementHtml_);
  state_ = State::Ready;
  if (downloadWanted_) return BeginDownload();
  UpdateWindow();
}

void UpgradeSession::BeginDownload() {
  const QString folder = DownloadFolder();
  QDir().mkpath(folder);
  target_ = FreeDownloadPath(folder, InstallerFileName(arguments_.installerPath));
  if (target_.isEmpty()) return Fail(State::Failed, "There is no free file name in " + folder + ".");
  auto file = std::make_unique<QFile>(PartialPath(target_));
  if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
    return Fail(State::Failed, file->errorString());
  }
  partial_ = std::move(file);
  state_ = State::Downloading;
  QNetworkReply* reply = Get(installer_, kMostInstallerBytes);
  connect(reply, &QNetworkReply::readyRead, this, [this, reply] { WriteReceived(reply); });
  connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
    received_ = received;
    total_ = total;
    UpdateWindow();
  });
  connect(reply, &QNetworkReply::finished, this, [this, reply] { InstallerArrived(reply); });
  UpdateWindow();
}

void UpgradeSession::WriteReceived(QNetworkReply* reply) {
  if (!partial_) return;
  const QByteArray data = reply->readAll();
  if (partial_->write(data) != data.size()) Fail(State::Failed, partial_->errorString());
}

void UpgradeSession::InstallerArrived(QNetworkReply* reply) {
  reply->disconnect(this);
  replies_.removeAll(reply);
  reply->deleteLater();
  if (reply->error() != QNetworkReply::NoError) return Fail(State::Failed, ErrorOf(*reply));
  WriteReceived(reply);
  if (state_ != State::Downloading) return;
  if (!partial_->flush()) return Fail(State::Failed, partial_->errorString());
  partial_->close();
  // rename() never replaces a file that appeared meanwhile.
  if (!partial_->rename(target_)) return Fail(State::Failed, partial_->errorString());
  partial_.reset();
  state_ = State::Saved;
  UpdateWindow();
}

void UpgradeSession::Fail(State state, const QString& reason) {
  StopTransfers();
  state_ = state;
  reason_ = reason;
  UpdateWindow();
}

void UpgradeSession::StopTransfers() {
  for (const QPointer<QNetworkReply>& reply : std::exchange(replies_, {})) {
    if (!reply) continue;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
  }
  pagesPending_ = 0;
  if (partial_) {
    partial_->remove();
    partial_.reset();
  }
}

void UpgradeSession::WindowClosed() {
  if (state_ == State::Saved) {
    acknowledged_ = true;
    return;
  }
  downloadWanted_ = false;
  if (state_ == State::Idle || state_ == State::Fetching || state_ == State::Ready ||
      state_ == State::Downloading) {
    StopTransfers();
    state_ = State::Stopped;
  }
}

QString UpgradeSession::Heading() const {
  return title_.isEmpty() ? QStringLiteral("Upgrade") : title_;
}

void UpgradeSession::UpdateWindow() {
  if (!window_) return;
  const QString described = description_.isEmpty() ? QString() : description_ + "\n\n";
  switch (state_) {
    case State::Idle:
    case State::Fetching:
      return window_->ShowProgress(Heading(), "Looking for an upgrade...", 0, 0);
    case State::NoUpgrade:
      return window_->ShowMessage(Heading(), "No upgrade is available.\n\n" + reason_);
    case State::Ready:
      return window_->ShowMessage(Heading(), described + "The installer is ready to download.");
    case State::Downloading:
      return window_->ShowProgress(
          Heading(), described + "Downloading " + QFileInfo(target_).fileName() + "...", received_,
          total_);
    case State::Saved:
      return window_->ShowMessage(
          Heading(), "The installer has been saved as\n" + target_ +
                         "\n\nIt has not been run. The application closes when you close this "
                         "window, so that you can install the upgrade.");
    case State::Failed:
      return window_->ShowMessage(Heading(), "The download did not complete.\n\n" + reason_);
    case State::Stopped:
      return window_->ShowMessage(Heading(), "The upgrade was stopped.");
  }
}

}  // namespace novaleaf
