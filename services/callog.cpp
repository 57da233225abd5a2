#include "services/callog.h"

#include <QFile>
#include <QLocale>
#include <QStringDecoder>
#include <limits>

#include "base/eventlog.h"
#include "base/programfolder.h"
#include "base/texts.h"
#include "services/atomicfile.h"

namespace {
QString callogPath() {
    return ProgramFolder::file(QStringLiteral("Cal_log.txt"));
}

// The text between the first two fields of a short pattern ("dd.MM.yy"
// gives "."): the separator the desktop puts between date or time parts.
QString separatorOf(const QString& pattern, const QString& fallback) {
    QString sep;
    bool quoted = false;
    bool seenField = false;
    for (const QChar ch : pattern) {
        if (ch == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (!quoted && ch.isLetter()) {
            // Only blanks between the fields: the month is spelt out
            // ("d MMM yyyy"), so the pattern has no separator to give.
            if (seenField && !sep.isEmpty())
                return sep.trimmed().isEmpty() ? fallback : sep;
            seenField = true;
        } else if (seenField) {
            sep += ch;
        }
    }
    return fallback;
}

QString quoted(QString literal) {
    return QLatin1Char('\'') + literal.replace(QLatin1Char('\''), QLatin1String("''")) +
           QLatin1Char('\'');
}

QString decodeLine(const QByteArray& raw) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(raw);
    return utf8.hasError() ? QString::fromLatin1(raw) : text;
}

QByteArray encodeText(const QString& text) {
    for (const QChar ch : text)
        if (ch.unicode() > 0xFF)
            return text.toUtf8();
    return text.toLatin1();
}
}  // namespace

QString formatCalibrationDate(const QDateTime& when) {
    return formatCalibrationDate(when, QLocale::system());
}

QString formatCalibrationDate(const QDateTime& when, const QLocale& locale) {
    const QString ds =
        quoted(separatorOf(locale.dateFormat(QLocale::ShortFormat), QStringLiteral("/")));
    const QString ts =
        quoted(separatorOf(locale.timeFormat(QLocale::ShortFormat), QStringLiteral(":")));
    // The day's name on its own, as a calendar heads a column ("tiistai",
    // not the inflected "tiistaina" some languages use inside a sentence).
    const QString day = locale.standaloneDayName(when.date().dayOfWeek(), QLocale::LongFormat);
    return locale.toString(when, quoted(day) + QStringLiteral(" dd") + ds + QStringLiteral("MM") +
                                     ds + QStringLiteral("yyyy HH") + ts + QStringLiteral("mm"));
}

std::optional<CalLog> loadcallog() {
    QFile file(callogPath());
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        EventLog::log(QStringLiteral("Errore: Lettura Cal_log.txt (%1)").arg(file.errorString()));
        return std::nullopt;
    }
    // Two lines are all the file holds; don't read a stray huge file whole.
    const QList<QByteArray> lines = file.read(4096).split('\n');
    auto line = [&](int n) {
        QByteArray raw = n < lines.size() ? lines[n] : QByteArray();
        if (raw.endsWith('\r'))
            raw.chop(1);
        return decodeLine(raw);
    };
    return CalLog{line(0), line(1)};
}

CalLogSave salvacallog(const QString& currentCount, const QDateTime& now) {
    CalLogSave result;
    bool ok = false;
    const qlonglong count = currentCount.trimmed().toLongLong(&ok, 10);
    if (!ok || count == std::numeric_limits<qlonglong>::max()) {
        result.error = tr_("Calibration count \"%1\" is not a number: Cal_log.txt not written")
                           .arg(currentCount);
        return result;
    }
    result.shown.count = QString::number(count + 1);
    result.shown.date = formatCalibrationDate(now);

    const QByteArray bytes =
        result.shown.count.toLatin1() + "\r\n" + encodeText(result.shown.date) + "\r\n";
    if (!writeFileAtomically(callogPath(), bytes, &result.error))
        return result;
    result.ok = true;
    return result;
}
