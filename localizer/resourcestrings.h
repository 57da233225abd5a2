#pragma once

#include <QList>
#include <QString>

// The numbers under which the program's run-time texts stand in the
// resource-string section of a language file. Language files are written
// against these numbers, so the table is only ever appended to: a number,
// once given, keeps its text for good.
namespace ResourceStrings {

struct Entry {
    int number;
    const char* name;     // the entry's name in a language file (ignored when read)
    const char* english;  // the built-in text, as the program passes it to tr_()
};

// Every entry, in ascending number order.
const QList<Entry>& table();
// The number of a built-in text, 0 when the program has no such text.
int numberOf(const QString& english);
// The entry of a number, nullptr when unknown.
const Entry* entry(int number);

}  // namespace ResourceStrings
