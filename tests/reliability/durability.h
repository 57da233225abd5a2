#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

#include "services/backupfile.h"
#include "services/settingsfile.h"

// What durabilitywriter writes, shared with tst_durability so that the test
// knows the exact content of each write. Write n differs from write n - 1
// in its counter and, where the format allows, in length and in every other
// byte: a mixture or a truncation matches neither.
namespace durability {

inline fdati settings(long n) {
    fdati f;
    f.f_top = QString::number(n);
    if (n % 2 == 0) {
        f.porta = QStringLiteral("/dev/ttyUSB0");
        f.velocita = QStringLiteral("115200");
        f.lingua = QStringLiteral("English");
        f.address = QStringLiteral("17");
    } else {
        f.lingua = QStringLiteral("Italiano");
        f.directory = QStringLiteral("/home/tecnico/backup di prova/strumenti/");
        f.logfilename = QStringLiteral("/home/tecnico/registrazioni/peso_linea_3.csv");
        f.formcolor = QStringLiteral("255");
    }
    return f;
}

inline QByteArray backup(long n) {
    QByteArray image(200, n % 2 == 0 ? '\x11' : '\xEE');
    for (int k = 0; k < 4; ++k)
        image[k] = static_cast<char>((n >> (24 - 8 * k)) & 0xFF);
    return BackupFile::makeBackupImage(
        image, n % 2 == 0 ? QStringLiteral("1218") : QStringLiteral("3512"));
}

// Write n of the calibration log counts on from n, so the file says n + 1;
// its second line is the time of writing, recognised by form.
inline bool isCallogOfWrite(const QByteArray& content, long n) {
    static const QRegularExpression date(
        QStringLiteral("^[A-Z][a-z]+day \\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d$"));
    const QByteArray head = QByteArray::number(static_cast<qlonglong>(n + 1)) + "\r\n";
    return content.startsWith(head) && content.endsWith("\r\n") && content.count("\r\n") == 2 &&
           date.match(QString::fromLatin1(content.mid(head.size()).chopped(2))).hasMatch();
}

}  // namespace durability
