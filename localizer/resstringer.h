#pragma once

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

// The translated run-time texts of the loaded language: the entries of the
// resource-string section, in file order, each tagged with its number.
// Lookups search them by halving, so a file must list them in ascending
// order; one that does not simply has texts that are not found.
//
// Lookups may come from any thread (a status text composed off the main
// thread), while a load replaces the list on the main thread.
class TResStringer {
public:
    struct ResString {
        int number = 0;
        bool hasNumber = false;  // false: the text before "_" was not a number
        QString value;
    };

    // Replaces the list. An empty list answers nothing; the on/off switch
    // is the program's and is not changed by a load.
    void setResStrings(QList<ResString> strings);
    QList<ResString> resStrings() const;
    int count() const;

    // The translation of resource string `number`, or `builtin` when
    // translation is off or the number is not in the list.
    QString lookup(int number, const QString& builtin) const;

    bool translate() const;
    void setTranslate(bool on);

private:
    mutable QMutex mutex_;
    QList<ResString> strings_;
    bool translate_ = true;
};
