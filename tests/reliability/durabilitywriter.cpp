// Child process of tst_durability: rewrites one of the program's files with
// the program's own writers, a new content each time (durability.h), until
// it is killed. Prints one "+" after each write that has returned.
//   durabilitywriter <program folder> settings|backup|callog
#include <unistd.h>

#include <cstdio>

#include "base/programfolder.h"
#include "durability.h"
#include "services/callog.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <folder> settings|backup|callog\n", argv[0]);
        return 2;
    }
    ProgramFolder::setPath(QString::fromLocal8Bit(argv[1]));
    const QByteArray kind = argv[2];
    const QString backupPath = ProgramFolder::file(QStringLiteral("backup.mem"));
    for (long n = 0;; ++n) {
        QString error;
        bool ok = false;
        if (kind == "settings") {
            ok = SettingsFile::save(durability::settings(n), &error);
        } else if (kind == "backup") {
            ok = BackupFile::writeBackupFile(backupPath, durability::backup(n), &error);
        } else if (kind == "callog") {
            const CalLogSave saved = salvacallog(QString::number(n));
            ok = saved.ok;
            error = saved.error;
        } else {
            error = QStringLiteral("unknown file kind");
        }
        if (!ok) {
            std::fprintf(stderr, "durabilitywriter: %s\n", qPrintable(error));
            return 1;
        }
        if (::write(STDOUT_FILENO, "+", 1) != 1)
            return 1;
    }
}
