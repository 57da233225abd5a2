#include "services/settingsfile.h"

#include <QFile>
#include <array>
#include <cmath>

#include "base/eventlog.h"
#include "base/programfolder.h"
#include "link/portaddress.h"
#include "services/atomicfile.h"

namespace {

enum class Kind { Text, Integer, Decimal };

struct Field {
    QString fdati::*member;
    const char* name;
    Kind kind;
};

// File order: line n holds kFields[n - 1].
const std::array<Field, SettingsFile::kLines> kFields{{
    {&fdati::porta, "porta", Kind::Text},
    {&fdati::velocita, "velocita", Kind::Integer},
    {&fdati::lingua, "lingua", Kind::Text},
    {&fdati::f_top, "f_top", Kind::Integer},
    {&fdati::f_left, "f_left", Kind::Integer},
    {&fdati::f_style, "f_style", Kind::Integer},
    {&fdati::address, "address", Kind::Integer},
    {&fdati::directory, "directory", Kind::Text},
    {&fdati::firmwaredir, "firmwaredir", Kind::Text},
    {&fdati::logfilename, "logfilename", Kind::Text},
    {&fdati::formcolor, "formcolor", Kind::Integer},
    {&fdati::loginterval, "loginterval", Kind::Decimal},
    {&fdati::logmode, "logmode", Kind::Integer},
    {&fdati::lognum, "lognum", Kind::Integer},
}};

bool valid(Kind kind, const QString& text) {
    bool ok = true;
    switch (kind) {
        case Kind::Text:
            break;
        case Kind::Integer:
            text.toInt(&ok, 10);
            break;
        case Kind::Decimal:
            ok = std::isfinite(text.toDouble(&ok)) && ok;
            break;
    }
    return ok;
}

// A bad value goes into the log quoted; keep the line readable.
QString excerpt(const QString& text) {
    QString shown = text.left(32);
    for (QChar& c : shown)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('?');
    return text.size() > shown.size() ? shown + QStringLiteral("...") : shown;
}

// Valid UTF-8 is exactly what decodes and encodes back to the same bytes.
bool isUtf8(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// A line that is valid UTF-8 was written by this program for a field
// Latin-1 cannot hold; anything else is the old program's 8-bit text.
QString decodeLine(const QByteArray& raw) {
    return isUtf8(raw) ? QString::fromUtf8(raw) : QString::fromLatin1(raw);
}

// Latin-1 keeps the file readable by the old program; UTF-8 when a field
// needs it, or when its Latin-1 bytes would read back as other UTF-8 text.
QByteArray encodeField(const QString& text) {
    for (QChar c : text)
        if (c.unicode() > 0xFF)
            return text.toUtf8();
    const QByteArray latin1 = text.toLatin1();
    for (char c : latin1)
        if (static_cast<unsigned char>(c) >= 0x80)
            return isUtf8(latin1) ? text.toUtf8() : latin1;
    return latin1;
}

void logProblems(const QStringList& problems) {
    EventLog::log(QStringLiteral("Errore: ISetup.dat ") + problems.join(QStringLiteral("; ")) +
                  QStringLiteral(", usati i valori predefiniti"));
}

}  // namespace

QString SettingsFile::path() {
    return ProgramFolder::file(QString::fromLatin1(kFileName));
}

fdati SettingsFile::defaults(int windowTop, int windowLeft) {
    fdati d;
    d.f_top = QString::number(windowTop);
    d.f_left = QString::number(windowLeft);
    return d;
}

SettingsFile::LoadResult SettingsFile::parse(const QByteArray& content, int windowTop,
                                             int windowLeft) {
    LoadResult result;
    result.found = true;
    result.values = defaults(windowTop, windowLeft);
    QList<QByteArray> lines = content.split('\n');
    // A final line end leaves one empty piece that is not a line.
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();

    for (int n = 0; n < kLines; ++n) {
        const Field& field = kFields[static_cast<size_t>(n)];
        if (n >= lines.size()) {
            result.problems.append(
                n + 1 == kLines ? QStringLiteral("riga %1 mancante").arg(n + 1)
                                : QStringLiteral("righe %1-%2 mancanti").arg(n + 1).arg(kLines));
            break;
        }
        QByteArray raw = lines[n];
        if (raw.endsWith('\r'))
            raw.chop(1);
        const QString text = decodeLine(raw);
        if (!valid(field.kind, text)) {
            result.problems.append(QStringLiteral("riga %1 (%2) non %3: \"%4\"")
                                       .arg(n + 1)
                                       .arg(QLatin1String(field.name))
                                       .arg(field.kind == Kind::Integer
                                                ? QStringLiteral("intera")
                                                : QStringLiteral("numerica"))
                                       .arg(excerpt(text)));
            continue;
        }
        result.values.*field.member = text;
    }
    // The optional fifteenth line: remembered network ports. One that does
    // not parse is dropped, the others kept.
    if (lines.size() > kLines) {
        QByteArray raw = lines[kLines];
        if (raw.endsWith('\r'))
            raw.chop(1);
        result.values.porte_rete =
            PortAddress::rememberedText(PortAddress::remembered(QString::fromLatin1(raw)));
    }
    // Lines past the fifteenth are not read; nothing depends on them.
    return result;
}

SettingsFile::LoadResult SettingsFile::load(int windowTop, int windowLeft) {
    QFile file(path());
    if (!file.exists()) {
        LoadResult result;
        result.values = defaults(windowTop, windowLeft);
        return result;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        LoadResult result;
        result.values = defaults(windowTop, windowLeft);
        result.problems.append(QStringLiteral("lettura fallita (%1)").arg(file.errorString()));
        logProblems(result.problems);
        return result;
    }
    LoadResult result = parse(file.readAll(), windowTop, windowLeft);
    if (!result.problems.isEmpty())
        logProblems(result.problems);
    return result;
}

QByteArray SettingsFile::serialize(const fdati& values, QString* error) {
    QByteArray out;
    QStringList bad;
    for (const Field& field : kFields) {
        const QString& text = values.*field.member;
        // Only LF ends a line on reading; a CR inside a field reads back as it was.
        if (text.contains(QLatin1Char('\n')))
            bad.append(QLatin1String(field.name));
        out += encodeField(text);
        out += "\r\n";
    }
    // Written only when there is something to remember, so a file of a
    // technician who never used a network port keeps its fourteen lines.
    if (!values.porte_rete.isEmpty()) {
        const QString text = values.porte_rete;
        bool storable = !text.contains(QLatin1Char('\n'));
        for (QChar c : text)
            storable = storable && c.unicode() <= 0xFF;
        if (!storable)
            bad.append(QStringLiteral("porte_rete"));
        out += text.toLatin1();
        out += "\r\n";
    }
    if (!bad.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1: a line feed cannot be stored")
                         .arg(bad.join(QStringLiteral(", ")));
        return {};
    }
    return out;
}

bool SettingsFile::save(const fdati& values, QString* error) {
    QString why;
    const QByteArray bytes = serialize(values, &why);
    if (bytes.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1 not written: %2").arg(path(), why);
        return false;
    }
    return writeFileAtomically(path(), bytes, error);
}
