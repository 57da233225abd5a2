#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "base/programfolder.h"

QString sourceDir() { return QStringLiteral(VELMORA_SOURCE_DIR); }

TestHome::TestHome(bool withConfig) {
    if (withConfig) {
        QDir().mkpath(file(QStringLiteral("Config")));
        const QDir src(sourceDir() + QStringLiteral("/Config"));
        for (const QString& name : src.entryList(QDir::Files))
            QFile::copy(src.filePath(name), file(QStringLiteral("Config/") + name));
    }
    ProgramFolder::setPath(dir_.path());
}

QString TestHome::file(const QString& relative) const { return QDir(dir_.path()).filePath(relative); }

QByteArray TestHome::read(const QString& relative) const {
    QFile f(file(relative));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void TestHome::write(const QString& relative, const QByteArray& bytes) const {
    const QString path = file(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

QStringList TestHome::logMessages() const {
    QStringList out;
    const QList<QByteArray> lines = read(QStringLiteral("logfile.txt")).split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r')) line.chop(1);
        const qsizetype sep = line.indexOf(" - ");
        if (sep >= 0) out.append(QString::fromLatin1(line.mid(sep + 3)));
    }
    return out;
}
