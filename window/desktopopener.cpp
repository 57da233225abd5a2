#include "window/desktopopener.h"

#include <QDesktopServices>

#include "base/eventlog.h"

namespace {
DesktopOpener::Opener& current() {
    static DesktopOpener::Opener opener;
    return opener;
}
}  // namespace

bool DesktopOpener::open(const QString& path) {
    const QUrl url = QUrl::fromLocalFile(path);
    const bool opened = current() ? current()(url) : QDesktopServices::openUrl(url);
    if (!opened)
        EventLog::log(QStringLiteral("Errore: Apertura di ") + path);
    return opened;
}

DesktopOpener::Opener DesktopOpener::replace(Opener opener) {
    Opener previous = std::move(current());
    current() = std::move(opener);
    return previous;
}
