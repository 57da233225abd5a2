#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>

#include "base/programfolder.h"

// A program folder for one fuzzing process: the shipped Config/ files, and an
// event log that goes to /dev/null, so millions of reader errors neither fill
// the disk nor slow the run while the logging code still runs in full.
class FuzzHome {
public:
    explicit FuzzHome(bool withConfig) {
        if (!dir_.isValid())
            std::abort();
        const QDir home(dir_.path());
        home.mkpath(QStringLiteral("Config"));
        if (withConfig) {
            const QDir src(QStringLiteral(VELMORA_SOURCE_DIR "/Config"));
            for (const QString& name : src.entryList(QDir::Files))
                QFile::copy(src.filePath(name), home.filePath(QStringLiteral("Config/") + name));
        }
        QFile::link(QStringLiteral("/dev/null"), home.filePath(QStringLiteral("logfile.txt")));
        ProgramFolder::setPath(dir_.path());
    }
    QString file(const QString& relative) const { return QDir(dir_.path()).filePath(relative); }

    static void writeFile(const QString& path, const uint8_t* data, size_t size) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        if (f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
            static_cast<qint64>(size))
            std::abort();
    }

private:
    QTemporaryDir dir_;
};

// A broken invariant is a finding: stop here so libFuzzer keeps the input.
#define FUZZ_CHECK(cond)      \
    do {                      \
        if (!(cond))          \
            __builtin_trap(); \
    } while (0)
