#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "base/fdati.h"

// "ISetup.dat" in the program folder: the fourteen fields of fdati, one per
// line in declaration order, CR LF, no keys. A field is written in Latin-1
// (as the old program wrote every field) unless it needs UTF-8; a line is
// read as UTF-8 when it is valid UTF-8, else as Latin-1. Applying the
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
// line feed would shift every later line.
QByteArray serialize(const fdati& values, QString* error = nullptr);
// Writes through a temporary file in the same folder that is renamed over
// the old one, so the old file stays whole whatever happens. False with
// *error set when nothing was written.
bool save(const fdati& values, QString* error = nullptr);

}  // namespace SettingsFile
