#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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

    bool operator==(const fdati&) const = default;
};

// "ISetup.dat" in the program folder: the fourteen fields of fdati, one per
// line in declaration order, CR LF, 8-bit Latin-1, no keys. Applying the
// values to the window is the window's business, not this file's.
namespace SettingsFile {

constexpr int kLines = 14;
constexpr const char* kFileName = "ISetup.dat";

QString path();
fdati defaults(int windowTop, int windowLeft);

struct LoadResult {
    fdati values;
    bool found = false;    // false: no file, values are the defaults
    QStringList problems;  // one text per field that fell back to its default
};

// Reads the file's text. Missing lines and numeric fields that do not parse
// (integers for lines 2, 4-7, 11, 13, 14; a decimal number for line 12) take
// that field's default; every other line is kept as it is, byte for byte.
LoadResult parse(const QByteArray& content, int windowTop, int windowLeft);
// Reads the program folder's file, or the defaults when it does not exist.
// A damaged file costs one event-log line naming every field that fell back.
LoadResult load(int windowTop, int windowLeft);

// The file's bytes; empty with *error set when a field cannot be stored: a
// line feed would shift every later line, a character outside Latin-1 would
// come back as another one.
QByteArray serialize(const fdati& values, QString* error = nullptr);
// Writes through a temporary file in the same folder that is renamed over
// the old one, so the old file stays whole whatever happens. False with
// *error set when nothing was written.
bool save(const fdati& values, QString* error = nullptr);

}  // namespace SettingsFile
