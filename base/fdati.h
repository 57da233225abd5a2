#pragma once

#include <QString>

// The settings record: every value is held as text, numeric ones included;
// they are converted where they are applied (the window, the port set-up).
// The in-class values are the first-run defaults, except the window position,
// which the caller supplies.
struct fdati {
    QString porta = QStringLiteral("NO");  // "NO": no port chosen
    QString velocita = QStringLiteral("19200");
    QString lingua = QStringLiteral("Italiano");
    QString f_top = QStringLiteral("0");
    QString f_left = QStringLiteral("0");
    QString f_style = QStringLiteral("0");  // 0 compact, 1 setup, 2 service layout
    QString address = QStringLiteral("1");
    QString directory;    // last backup/restore folder, with trailing separator
    QString firmwaredir;  // carried from load to save unchanged
    QString logfilename;
    QString formcolor = QStringLiteral("15389113");  // 0x00BBGGRR
    QString loginterval = QStringLiteral("1000");    // seconds, "." decimals
    QString logmode = QStringLiteral("0");           // 0 manual, 1 count, 2 time
    QString lognum = QStringLiteral("1000");
    // The network ports used last, most recent first, separated by ";"
    // (an optional fifteenth line: files without it read as none).
    QString porte_rete;

    bool operator==(const fdati&) const = default;
};
