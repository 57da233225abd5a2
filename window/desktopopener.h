#pragma once

#include <QString>
#include <QUrl>
#include <functional>

// The shell's "open": a file or folder goes to the desktop's default
// application (a PDF reader, the file manager). Replaceable, so tests can
// record what would have been opened instead of starting programs.
namespace DesktopOpener {

using Opener = std::function<bool(const QUrl& url)>;

// Opens a local file or folder; false, with a log line, when the desktop
// had no application for it.
bool open(const QString& path);
// Installs another opener and returns the one it replaces; an empty one
// restores the desktop's.
Opener replace(Opener opener);

}  // namespace DesktopOpener
