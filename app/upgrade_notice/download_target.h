#pragma once
// Where a downloaded installer is saved: the user's download folder, under
// the file name of the installer path the application passed (a path of
// another system, such as "c:/emberlysetup.exe"). An existing file is never
// replaced.

#include <QString>

namespace novaleaf {

// The last part of the path after "/" or "\", without leading dots or
// control characters; "quillon-upgrade" when nothing is left.
QString InstallerFileName(const QString& installerPath);

// The user's download folder (XDG user directory, else the home folder).
QString DownloadFolder();

// `folder`/`fileName`, or "name (1).ext", "name (2).ext"... : the first path
// where neither the file nor its partial download exists. Empty when the
// folder is that full of copies.
QString FreeDownloadPath(const QString& folder, const QString& fileName);

// The file the download is written to until it is complete.
QString PartialPath(const QString& path);

}  // namespace novaleaf
