#include "services/documents.h"

#include <QFileInfo>

#include "base/programfolder.h"

namespace {

QString manualPath(const QString& language) {
    return ProgramFolder::shipped(QString::fromLatin1(Documents::kManualFolder) + QLatin1Char('/') +
                                  language + QStringLiteral(".pdf"));
}

bool plainName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

bool isFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

}  // namespace

QString Documents::manualFor(const QString& language) {
    if (plainName(language)) {
        const QString own = manualPath(language);
        if (isFile(own))
            return own;
    }
    const QString fallback = manualPath(QString::fromLatin1(kFallbackLanguage));
    return isFile(fallback) ? fallback : QString();
}

QString Documents::existingFolder(const QString& relative) {
    const QString path = ProgramFolder::shipped(relative);
    return QFileInfo(path).isDir() ? path : QString();
}
