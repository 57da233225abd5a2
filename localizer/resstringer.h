#pragma once

#include <QHash>
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

    // The translation of resource string `number`; when the list lacks it,
    // the fallback for `builtin`, else `builtin` itself. `builtin` alone
    // when translation is off.
    QString lookup(int number, const QString& builtin) const;
    // Whether the list holds resource string `number`.
    bool has(int number) const;
    // Translations keyed by English text, for the numbers the list lacks:
    // what the language's form sections made of the same design text.
    void setFallbacks(QHash<QString, QString> byEnglish);
    QHash<QString, QString> fallbacks() const;

    bool translate() const;
    void setTranslate(bool on);

private:
    mutable QMutex mutex_;
    const ResString* find(int number) const;

    QList<ResString> strings_;
    QHash<QString, QString> fallbacks_;
    bool translate_ = true;
};
