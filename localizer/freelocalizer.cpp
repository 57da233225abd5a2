#include "localizer/freelocalizer.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "base/texts.h"
#include "localizer/resourcestrings.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// Blanks in the sense of the file format: anything up to the space.
bool isBlank(QChar c) {
    return c.unicode() <= ' ';
}

// A value that cannot be decoded ends the load; kept apart from the
// reports, which epException turns into ETmlError themselves.
struct BadValue {
    QString text;
};

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Option lines are "key=value" anywhere in the file; keys compare without
// regard to case, as translators write them.
bool optionValue(const QStringList& lines, const QString& key, QString* value) {
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            *value = line.mid(eq + 1).trimmed();
            return true;
        }
    }
    return false;
}

QStringList splitLines(const QByteArray& content) {
    QString text = QString::fromUtf8(content);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& l : lines)
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    // A final line end does not start another line.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

}  // namespace

TFreeLocalizer::TFreeLocalizer() = default;

TFreeLocalizer::~TFreeLocalizer() {
    if (hooked_)
        Texts::setLookup(nullptr);
}

void TFreeLocalizer::hookTexts() {
    Texts::setLookup([this](const char* english) { return lookup(QString::fromUtf8(english)); });
    hooked_ = true;
}

void TFreeLocalizer::report(const QString& text) {
    switch (ErrorProcessing) {
        case epSilent:
            return;
        case epMessage:
            if (MessageHook)
                MessageHook(text);
            else
                qWarning().noquote() << text;
            return;
        case epException:
            throw ETmlError(text);
        case epDebug:
            qDebug().noquote() << text;
            return;
        case epErrors:
            fErrors_.append(text);
            return;
    }
}

const TResForm* TFreeLocalizer::section(const QString& className) const {
    for (const TResForm& f : resForms_)
        if (f.Name == className)
            return &f;
    return nullptr;
}

QString TFreeLocalizer::lookup(const QString& english) const {
    const int number = ResourceStrings::numberOf(english);
    if (number == 0)
        return english;
    QString text = resStringer_.lookup(number, english);
    // The file's line breaks are CR LF (or CR); the widgets break at LF.
    text.replace(kCrLf, QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString TFreeLocalizer::designFile(const QString& path) {
    return QFileInfo(path).dir().filePath(QStringLiteral("English.lng"));
}

QHash<QString, QString> TFreeLocalizer::formFallbacks(const QString& path) const {
    // The English file beside this one holds the design texts of each form
    // property; what this file makes of them answers for a run-time text
    // its resource-string section lacks.
    QFile file(designFile(path));
    if (QFileInfo(path).fileName() == QFileInfo(file).fileName() || !file.open(QIODevice::ReadOnly))
        return {};
    TFreeLocalizer design;
    design.designFallbacks = false;
    if (!design.loadContent(file.readAll(), file.fileName()))
        return {};
    return fallbacksFrom(design);
}

QHash<QString, QString> TFreeLocalizer::fallbacksFrom(const TFreeLocalizer& design) const {
    QHash<QString, QString> byEnglish;
    for (const TResForm& form : resForms_) {
        const TResForm* english = design.section(form.Name);
        if (!english)
            continue;
        for (qsizetype i = 0; i < form.Props.size() && i < form.Values.size(); ++i) {
            const qsizetype at = english->Props.indexOf(form.Props[i]);
            if (at < 0 || at >= english->Values.size())
                continue;
            QString key = english->Values[at];
            key.replace(kCrLf, QStringLiteral("\n"));
            key.replace(QLatin1Char('\r'), QLatin1Char('\n'));
            if (!key.isEmpty() && !byEnglish.contains(key))
                byEnglish.insert(key, form.Values[i]);
        }
    }
    return byEnglish;
}

// ---------------------------------------------------------------- values

QString TFreeLocalizer::decodeLiteral(const QString& value) {
    auto bad = [&value]() {
        throw ETmlError(QStringLiteral("Bad decoded string: ") + quoted(value));
    };
    QString result;
    QString piece;
    auto flush = [&]() {
        if (!result.isEmpty())
            result += QLatin1Char('\r');
        result += piece;
        piece.clear();
    };
    const QString& s = value;
    qsizetype i = 0;
    qsizetype end = s.size();
    while (i < end) {
        const QChar c = s[i];
        if (c == QLatin1Char('\'')) {
            ++i;
            for (;;) {
                if (i >= end)
                    bad();
                if (s[i] == QLatin1Char('\'')) {
                    if (i + 1 < end && s[i + 1] == QLatin1Char('\'')) {
                        piece += QLatin1Char('\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                piece += s[i++];
            }
        } else if (c == QLatin1Char('#')) {
            const qsizetype start = ++i;
            while (i < end && isAsciiDigit(s[i]))
                ++i;
            if (i == start)
                bad();
            bool ok = false;
            const uint code = s.mid(start, i - start).toUInt(&ok);
            // A code that is no character at all is as malformed as a missing one.
            if (!ok || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                bad();
            const char32_t ch = code;
            piece += QString::fromUcs4(&ch, 1);
            if (i < end && s[i] != QLatin1Char('#') && s[i] != QLatin1Char('\''))
                bad();
        } else {
            // Anything else ends the literal: what is decoded so far is one
            // line, and decoding starts again on the trimmed rest.
            flush();
            ++i;
            while (i < end && isBlank(s[i]))
                ++i;
            while (end > i && isBlank(s[end - 1]))
                --end;
        }
    }
    flush();
    return result;
}

QString TFreeLocalizer::encodeLiteral(const QString& text, bool resourceSection) {
    QString out;
    bool open = false;
    auto close = [&]() {
        if (open)
            out += QLatin1Char('\'');
        open = false;
    };
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            close();
            out += resourceSection ? QStringLiteral("#13#10") : QStringLiteral("#13");
        } else if (c.unicode() < 32 || c.unicode() == 127) {
            close();
            out += QLatin1Char('#') + QString::number(c.unicode());
        } else {
            if (!open)
                out += QLatin1Char('\'');
            open = true;
            if (c == QLatin1Char('\''))
                out += QLatin1Char('\'');
            out += c;
        }
    }
    close();
    if (out.isEmpty())
        out = QStringLiteral("''");
    return out;
}

QString TFreeLocalizer::decodeValue(const QString& value, bool resourceSection) const {
    if (!options_.humanize) {
        try {
            return decodeLiteral(value);
        } catch (const ETmlError& e) {
            throw BadValue{e.text()};
        }
    }
    // An empty marker would match between every two characters: it stands
    // for nothing.
    QString v = value;
    auto replace = [&v](const QString& marker, const QString& by) {
        if (!marker.isEmpty())
            v.replace(marker, by);
    };
    if (options_.cr != options_.crlf) {
        replace(options_.cr, QStringLiteral("\r"));
        replace(options_.crlf, kCrLf);
    } else {
        replace(options_.cr, resourceSection ? kCrLf : QStringLiteral("\r"));
    }
    replace(options_.lf, QStringLiteral("\n"));
    return v;
}

void TFreeLocalizer::readOptions(const QStringList& lines) {
    options_ = Options{};
    QString v;
    options_.humanize =
        optionValue(lines, QStringLiteral("Humanize"), &v) && v == QLatin1String("1");
    if (!options_.humanize)
        return;
    if (optionValue(lines, QStringLiteral("HumanizeDivider"), &v))
        options_.cr = options_.crlf = v;
    if (optionValue(lines, QStringLiteral("HumanizedCR"), &v))
        options_.cr = v;
    if (optionValue(lines, QStringLiteral("HumanizedCRLF"), &v))
        options_.crlf = v;
    if (optionValue(lines, QStringLiteral("HumanizedLF"), &v))
        options_.lf = v;
}

// ---------------------------------------------------------------- loading

bool TFreeLocalizer::setLanguageFile(const QString& name) {
    QString path = name;
    if (!LanguageDir.isEmpty()) {
        QString dir = LanguageDir;
        if (!dir.endsWith(QLatin1Char('/')) && !dir.endsWith(QDir::separator()))
            dir += QLatin1Char('/');
        path = dir + name;
    }
    if (!path.endsWith(QLatin1String(".lng"), Qt::CaseInsensitive))
        path += QStringLiteral(".lng");

    QFile file(path);
    QByteArray content;
    if (file.open(QIODevice::ReadOnly))
        content = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        if (BeforeLanguageLoad)
            BeforeLanguageLoad(*this, fLanguageFile_, path);
        resForms_.clear();
        report(QStringLiteral("Error while loading language file ") + quoted(path) + kCrLf +
               file.errorString());
        return false;
    }
    return loadContent(content, path);
}

bool TFreeLocalizer::loadContent(const QByteArray& content, const QString& path) {
    if (BeforeLanguageLoad)
        BeforeLanguageLoad(*this, fLanguageFile_, path);
    resForms_.clear();
    propertyLines_ = 0;
    resourceEntries_ = 0;

    const QStringList lines = splitLines(content);
    if (lines.isEmpty() || lines.first() != QLatin1String(kSignature)) {
        report(QStringLiteral("Bad signature in language file ") + quoted(path));
        return false;
    }
    readOptions(lines);
    bool complete = false;
    try {
        complete = interpret(lines);
    } catch (const BadValue& e) {
        report(QStringLiteral("Error while loading language file ") + quoted(path) + kCrLf +
               e.text);
        return false;
    }
    if (!complete)
        return false;
    fLanguageFile_ = path;
    resStringer_.setFallbacks(designFallbacks ? formFallbacks(path) : QHash<QString, QString>());
    if (fAutoTranslate_ && TranslateScreen)
        TranslateScreen();
    if (AfterLanguageLoad)
        AfterLanguageLoad(*this, path);
    return true;
}

bool TFreeLocalizer::interpret(const QStringList& lines) {
    TResForm* current = nullptr;
    qsizetype i = 1;
    while (i < lines.size()) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) {
            ++i;
            continue;
        }
        if (line.toUpper() == QLatin1String(kResourceStrings)) {
            i = loadResStrings(lines, i);
            current = nullptr;
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            if (line.mid(1).startsWith(QLatin1String("(x)"))) {
                report(QStringLiteral("Deleted component in language file:") + kCrLf +
                       quoted(line) + kCrLf + QStringLiteral("You have to remove it!"));
                return false;
            }
            qsizetype close = line.indexOf(QLatin1Char(']'));
            if (close < 0)
                close = line.size();
            resForms_.append(TResForm{line.mid(1, close - 1).trimmed(), {}, {}});
            current = &resForms_.last();
            ++i;
            continue;
        }
        if (!current) {
            ++i;
            continue;
        }
        if (line.startsWith(QLatin1String("(x)"))) {
            report(QStringLiteral("Obsolete line in language file:") + kCrLf + quoted(line) +
                   kCrLf + QStringLiteral("You have to remove it!"));
        } else if (line.startsWith(QLatin1String("(!)"))) {
            report(QStringLiteral("Untranslated line in language file:") + kCrLf + quoted(line) +
                   kCrLf + QStringLiteral("You have to translate it!"));
        } else if (!line.startsWith(QLatin1Char('('))) {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            QString prop = eq < 0 ? line : line.left(eq);
            const QString value = eq < 0 ? QString() : line.mid(eq + 1).trimmed();
            const qsizetype brace = prop.indexOf(QLatin1Char('{'));
            if (brace >= 0)
                prop.truncate(brace);
            prop = prop.trimmed();
            if (prop.isEmpty()) {
                report(QStringLiteral("Bad line in language file: ") + quoted(line));
                return false;
            }
            ++propertyLines_;
            const QString decoded = decodeValue(value, false);
            current->Props.append(prop);
            current->Values.append(decoded);
        }
        ++i;
    }
    return true;
}

qsizetype TFreeLocalizer::loadResStrings(const QStringList& lines, qsizetype header) {
    QList<TResStringer::ResString> strings;
    qsizetype i = header + 1;
    // What was read stays in use even when a bad value stops the load.
    struct Commit {
        TResStringer& stringer;
        QList<TResStringer::ResString>& strings;
        ~Commit() { stringer.setResStrings(strings); }
    } commit{resStringer_, strings};
    for (; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.startsWith(QLatin1Char('[')))
            break;
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1String("(x)"))) {
            report(QStringLiteral("Obsolete line in language file:") + kCrLf + quoted(line) +
                   kCrLf + QStringLiteral("You have to delete it!"));
            continue;
        }
        if (line.startsWith(QLatin1String("(!)"))) {
            report(QStringLiteral("Untranslated line in language file:") + kCrLf + quoted(line) +
                   kCrLf + QStringLiteral("You have to translate it!"));
            continue;
        }
        if (line.startsWith(QLatin1Char('(')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const QString key = eq < 0 ? line : line.left(eq);
        const qsizetype underscore = key.indexOf(QLatin1Char('_'));
        const QString numberText = underscore < 0 ? key : key.left(underscore);
        TResStringer::ResString entry;
        bool ok = false;
        const int number = numberText.trimmed().toInt(&ok);
        if (ok) {
            entry.number = number;
            entry.hasNumber = true;
        } else {
            report(QStringLiteral("Bad resource ID in language file: ") + quoted(numberText));
        }
        ++resourceEntries_;
        entry.value = decodeValue(eq < 0 ? QString() : line.mid(eq + 1).trimmed(), true);
        strings.append(entry);
    }
    return i;
}
