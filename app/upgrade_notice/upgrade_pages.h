#pragma once
// What the library reads from the upgrade server's two pages: the first
// announces the upgrade (its title and first paragraph are shown to the
// user), the second links the installer with an <a download href="...">.

#include <QString>
#include <QUrl>

namespace novaleaf {

// The address's path and query placed on the server, below the server's own
// path: "/home/download/a.html" on "http://h:8000/mirror/" is
// "http://h:8000/mirror/home/download/a.html". Invalid for an empty address.
QUrl PageOnServer(const QUrl& server, const QString& address);

// Plain text of the page's <title> and of its first <p>; empty when absent.
QString PageTitle(const QString& html);
QString FirstParagraph(const QString& html);

// The href of the first link carrying a download attribute, resolved
// against the page's address. Empty unless it is an http or https address.
QUrl InstallerLink(const QString& html, const QUrl& pageUrl);

}  // namespace novaleaf
