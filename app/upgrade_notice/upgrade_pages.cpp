#include "app/upgrade_notice/upgrade_pages.h"

#include <QRegularExpression>
#include <QTextDocumentFragment>

namespace novaleaf {
namespace {

constexpr auto kOptions =
    QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption;

QString PlainTextOf(const QString& html, const QRegularExpression& element) {
  const QRegularExpressionMatch match = element.match(html);
  if (!match.hasMatch()) return {};
  return QTextDocumentFragment::fromHtml(match.captured(1)).toPlainText().simplified();
}

bool IsWebAddress(const QUrl& url) {
  return url.isValid() && (url.scheme() == "http" || url.scheme() == "https") &&
         !url.host().isEmpty();
}

}  // namespace

QUrl PageOnServer(const QUrl& server, const QString& address) {
  const QUrl given(address.trimmed());
  if (address.trimmed().isEmpty() || !given.isValid()) return {};
  QString path = given.path();
  if (!path.startsWith('/')) path.prepend('/');
  QString base = server.path();
  while (base.endsWith('/')) base.chop(1);
  QUrl page = server;
  page.setPath(base + path);
  page.setQuery(given.query());
  page.setFragment({});
  return page;
}

QString PageTitle(const QString& html) {
  static const QRegularExpression title(R"(<title\b[^>]*>(.*?)</title>)", kOptions);
  return PlainTextOf(html, title);
}

QString FirstParagraph(const QString& html) {
  static const QRegularExpression paragraph(R"(<p\b[^>]*>(.*?)</p>)", kOptions);
  return PlainTextOf(html, paragraph);
}

QUrl InstallerLink(const QString& html, const QUrl& pageUrl) {
  static const QRegularExpression anchor(R"(<a\s([^>]*)>)", kOptions);
  static const QRegularExpression download(R"((^|\s)download(\s|=|/|$))", kOptions);
  static const QRegularExpression href(R"re((?:^|\s)href\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s"'>]+)))re",
                                       kOptions);
  for (const QRegularExpressionMatch& link : anchor.globalMatch(html)) {
    const QString attributes = link.captured(1);
    if (!download.match(attributes).hasMatch()) continue;
    const QRegularExpressionMatch target = href.match(attributes);
    if (!target.hasMatch()) continue;
    QString value = target.captured(1) + target.captured(2) + target.captured(3);
    value.replace("&amp;", "&");
    const QUrl resolved = pageUrl.resolved(QUrl(value.trimmed()));
    return IsWebAddress(resolved) ? resolved : QUrl();
  }
  return {};
}

}  // namespace novaleaf
