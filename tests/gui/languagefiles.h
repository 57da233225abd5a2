#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>

#include "localizer/freelocalizer.h"
#include "support/testhome.h"

// The language files and flags of the source tree, whichever are present.
inline QStringList shippedLanguages() {
    QStringList names;
    const QDir dir(sourceDir() + QStringLiteral("/languages"));
    for (const QString& f : dir.entryList({QStringLiteral("*.lng")}, QDir::Files))
        names << f.left(f.size() - 4);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return names;
}

inline QString shippedLanguageFile(const QString& name) {
    return sourceDir() + QStringLiteral("/languages/") + name + QStringLiteral(".lng");
}

inline void copyLanguages(const TestHome& home) {
    const QDir dir(sourceDir() + QStringLiteral("/languages"));
    for (const QString& f :
         dir.entryList({QStringLiteral("*.lng"), QStringLiteral("*.bmp")}, QDir::Files))
        QFile::copy(dir.filePath(f), home.file(f));
}
