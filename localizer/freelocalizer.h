#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <stdexcept>

#include "localizer/resstringer.h"

// What the localizer does with a problem it finds in a language file.
enum TErrorProcessing {
    epSilent = 0,     // ignore it: the program's setting, a file is applied as far as it goes
    epMessage = 1,    // hand it to the message hook (a message box in the window layer)
    epException = 2,  // throw ETmlError out of the call that found it
    epDebug = 3,      // qDebug()
    epErrors = 4,     // collect it in Errors(): the translator's tools
};

class ETmlError : public std::runtime_error {
public:
    explicit ETmlError(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}
    QString text() const { return text_; }

private:
    QString text_;
};

// An unknown property path: reported like any error, but a window being
// translated goes on with its next property.
class ETmlSilentError : public ETmlError {
public:
    using ETmlError::ETmlError;
};

// One form section: the property paths of a window class and their
// decoded values, at equal positions.
struct TResForm {
    QString Name;
    QStringList Props;
    QStringList Values;
};

// The language-file reader. It knows nothing of widgets: the window layer
// installs the hook that applies the form sections to the open windows.
class TFreeLocalizer {
public:
    static constexpr const char* kSignature = "; Trelvan's Mirrel Localizer Language File.";
    static constexpr const char* kResourceStrings = "[RESOURCESTRINGS]";

    TFreeLocalizer();
    ~TFreeLocalizer();
    TFreeLocalizer(const TFreeLocalizer&) = delete;
    TFreeLocalizer& operator=(const TFreeLocalizer&) = delete;

    // Routes every tr_() through lookup() until this localizer goes.
    void hookTexts();

    // Loads a language file (the name with LanguageDir in front, ".lng"
    // added when missing). True when the whole file was read: it is then
    // the current language and, with AutoTranslate on, every open window
    // has been translated. A load that stops early keeps the sections read
    // so far but changes neither the current file nor any window.
    bool setLanguageFile(const QString& name);
    QString languageFile() const { return fLanguageFile_; }
    // The same on a file's content already in memory (tests, fuzzing, the
    // checker); `path` is the name the messages give.
    bool loadContent(const QByteArray& content, const QString& path);

    bool autoTranslate() const { return fAutoTranslate_; }
    void setAutoTranslate(bool on) { fAutoTranslate_ = on; }
    bool translateResourceStrings() const { return resStringer_.translate(); }
    void setTranslateResourceStrings(bool on) { resStringer_.setTranslate(on); }

    TErrorProcessing ErrorProcessing = epSilent;
    QStringList Errors() const { return fErrors_; }
    void ClearErrors() { fErrors_.clear(); }
    // A problem found here or by the window layer, handled as ErrorProcessing says.
    void report(const QString& text);

    QString LanguageDir;  // empty: the name given is the path

    std::function<void(TFreeLocalizer&, const QString& oldFile, const QString& newFile)>
        BeforeLanguageLoad;
    std::function<void(TFreeLocalizer&, const QString& file)> AfterLanguageLoad;
    // Set by the window layer: Translate on every open window.
    std::function<void()> TranslateScreen;
    // Set by the window layer for epMessage.
    std::function<void(const QString&)> MessageHook;

    const QList<TResForm>& ResForms() const { return resForms_; }
    // The section of a window class, nullptr when the file has none.
    const TResForm* section(const QString& className) const;
    TResStringer& resStringer() { return resStringer_; }
    const TResStringer& resStringer() const { return resStringer_; }

    // The translation of a run-time text, keyed by its English form; when
    // the language has no entry for it, what the language's form sections
    // made of the same design text; else the English text.
    QString lookup(const QString& english) const;
    // Off: no form-section fallback (the design file itself is read so).
    bool designFallbacks = true;
    // The file whose form sections hold the design texts: English.lng
    // beside a language file.
    static QString designFile(const QString& path);
    // Translations by English design text: for each form property this
    // file and `design` both hold, the design's value gives this file's.
    QHash<QString, QString> fallbacksFrom(const TFreeLocalizer& design) const;

    // Counters of the last load, for the checker.
    int propertyLinesRead() const { return propertyLines_; }
    int resourceEntriesRead() const { return resourceEntries_; }

    // Values with Humanize off: quoted pieces, doubled quotes, #codes.
    // Throws ETmlError ("Bad decoded string: ...") on a malformed literal.
    static QString decodeLiteral(const QString& value);
    // The literal that decodes back to `text` (a '\n' written as CR, or as
    // CR LF in the resource-string section).
    static QString encodeLiteral(const QString& text, bool resourceSection = false);

private:
    struct Options {
        bool humanize = false;
        QString cr = QStringLiteral("\\");
        QString crlf = QStringLiteral("\\");
        QString lf = QStringLiteral("\\");
    };
    enum class Stop { None, Stopped };

    void readOptions(const QStringList& lines);
    QString decodeValue(const QString& value, bool resourceSection) const;
    // Reads the resource-string section that starts after line `header`;
    // returns the index of the line that ended it.
    qsizetype loadResStrings(const QStringList& lines, qsizetype header);
    QHash<QString, QString> formFallbacks(const QString& path) const;
    bool interpret(const QStringList& lines);

    QList<TResForm> resForms_;
    TResStringer resStringer_;
    Options options_;
    QString fLanguageFile_;
    bool fAutoTranslate_ = false;
    QStringList fErrors_;
    int propertyLines_ = 0;
    int resourceEntries_ = 0;
    bool hooked_ = false;
};
