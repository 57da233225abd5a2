#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The translator's tools, run by `velmora --language-template` and
// `velmora --check-language FILE` against every window of the program.
namespace LanguageTools {

// A complete language file of the design texts: every translatable
// property of every window, then every run-time text with its number.
QByteArray languageTemplate();

struct CheckResult {
    QStringList problems;
    int formProperties = 0;   // property lines read from the form sections
    int resourceStrings = 0;  // entries of the resource-string section
    // Every text the window would show in English with this file: design
    // properties it does not translate and run-time texts with neither a
    // resource string nor a form translation of the same design text.
    QStringList leftInEnglish;
    // "N form properties, M resource strings, K problems"
    QString summary() const;
};
// Loads the file with every error collected and applies each form section
// to the window it names.
CheckResult checkLanguage(const QString& file);

}  // namespace LanguageTools
