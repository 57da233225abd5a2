#include "device/paramtable.h"

#include <QFile>
#include <QFileInfo>
#include <stdexcept>

#include "base/programfolder.h"

namespace {

// Program 12: entries 0-41 hold roles 0-41, entries 42-72 roles 51-81.
std::array<quint8, 73> program12Roles() {
    std::array<quint8, 73> table{};
    for (int i = 0; i < 73; ++i)
        table[i] = static_cast<quint8>(i < 42 ? i : i + 9);
    return table;
}

// Every other program: entry i holds role i.
std::array<quint8, 82> fullRoles() {
    std::array<quint8, 82> table{};
    for (int i = 0; i < 82; ++i)
        table[i] = static_cast<quint8>(i);
    return table;
}

// Whole numbers only: no sign, no blanks, nothing after the digits.
bool parseInt(const QString& text, qint32* out) {
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (c.unicode() < '0' || c.unicode() > '9')
            return false;
    bool ok = false;
    const qint32 v = text.toInt(&ok, 10);
    if (ok)
        *out = v;
    return ok;
}

// Slot of a section header; -1 for any other key.
int sectionSlot(const QString& key) {
    if (key == QLatin1String("[SETUP]"))
        return 0;
    if (key == QLatin1String("[DATA]"))
        return 1;
    if (key == QLatin1String("[CALIBRA]"))
        return 2;
    return -1;
}

}  // namespace

DefinitionChoice chooseDefinition(int model, int release) {
    DefinitionChoice c;
    model &= 0xFF;
    release &= 0xFF;
    c.modelCode = model >= 100 ? QStringLiteral("%1").arg(model, 2, 16, QLatin1Char('0')).toUpper()
                               : QStringLiteral("%1").arg(model, 2, 10, QLatin1Char('0'));
    c.caption = QStringLiteral("Progr.") + c.modelCode + QStringLiteral(" Rel.") +
                QString::number(release / 10.0, 'f', 1);
    const QString rel = QStringLiteral("%1").arg(release, 2, 10, QLatin1Char('0')).right(2);
    c.version = c.modelCode + rel;
    c.path = ProgramFolder::definition(QStringLiteral("DATV") + c.version + QStringLiteral(".def"));
    return c;
}

QString offlineDefinitionPath() {
    return ProgramFolder::definition(QStringLiteral("DATV0000.def"));
}

ParameterTable::ParameterTable() {
    roleToEntry_.fill(0);
}

int ParameterTable::typeSize(quint8 type) {
    switch (type) {
        case 1:
            return 1;
        case 2:
        case 3:
            return 2;
        case 4:
        case 5:
        case 6:
            return 4;
        default:
            return 0;
    }
}

QString ParameterTable::programCodeOfPath(const QString& path) {
    return path.size() >= 8 ? path.mid(path.size() - 8, 2) : QString();
}

int ParameterTable::entryOfRole(int role) const {
    return findRole(role);
}

int ParameterTable::findRole(int role) const {
    if (role < 0 || role >= kMaxEntries || !rolePresent_[static_cast<size_t>(role)])
        return -1;
    return roleToEntry_[static_cast<size_t>(role)];
}

void ParameterTable::clearByteTotals() {
    for (int j = 0; j < kSections; ++j)
        bytes_[static_cast<size_t>(j)] = 0;
}

QString ParameterTable::resolveDefinitionPath(const QString& path) {
    if (QFileInfo::exists(path))
        return path;
    // Older releases of the same program: replace RR by RR-1 down to 00.
    if (path.size() >= 8 && path.endsWith(QLatin1String(".def"), Qt::CaseInsensitive)) {
        bool ok = false;
        int rr = path.mid(path.size() - 6, 2).toInt(&ok, 10);
        if (ok) {
            QString candidate = path;
            while (rr > 0) {
                --rr;
                candidate.replace(candidate.size() - 6, 2,
                                  QStringLiteral("%1").arg(rr, 2, 10, QLatin1Char('0')));
                if (QFileInfo::exists(candidate))
                    return candidate;
            }
        }
    }
    const QString offline = offlineDefinitionPath();
    return QFileInfo::exists(offline) ? offline : QString();
}

ParameterTable::LoadResult ParameterTable::loadDefinition(const QString& requested) {
    LoadResult result;
    const QString path = resolveDefinitionPath(requested);
    if (path.isEmpty()) {
        result.ok = false;
        result.error = QStringLiteral("Definition file %1 not found, and no Config/DATV0000.def")
                           .arg(QFileInfo(requested).fileName());
        return result;
    }
    result.path = path;
    if (path != requested)
        definitionPath = path;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.ok = false;
        result.error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return result;
    }
    QByteArray content = file.readAll();
    // A byte-order mark some editors put before the first line is no part of it.
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3);
    QList<QByteArray> lines = content.split('\n');
    // A final line end leaves one empty piece that is not a line.
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();

    int i = 0;
    int b = 0;
    int j = 0;
    int lineNo = 0;
    // Slots from..to end at the totals so far: a section the file does not
    // reach is empty, never the earlier definition's.
    auto closeSlots = [&](int from, int to) {
        for (int k = from; k <= to; ++k) {
            counts_[static_cast<size_t>(k)] = i;
            bytes_[static_cast<size_t>(k)] = b;
        }
    };
    // Bases the file does not name are those of program start.
    setupBase = 0;
    calibrationBase = 0x6000;
    dataBase = 0;
    closeSlots(0, kSections - 1);

    auto fail = [&](int lineNo, const QString& what) {
        closeSlots(j, kSections - 1);
        // The totals count the entries read so far; the image must hold
        // them, or a later byte access would run past its end.
        const int counted = std::max({bytes_[0], bytes_[1], bytes_[2]});
        if (image_.size() < counted)
            image_.append(QByteArray(counted - image_.size(), '\0'));
        result.ok = false;
        result.error =
            QStringLiteral("%1, line %2: %3").arg(QFileInfo(path).fileName()).arg(lineNo).arg(what);
        return result;
    };

    bool setupSeen = false;
    for (QByteArray raw : lines) {
        ++lineNo;
        if (raw.endsWith('\r'))
            raw.chop(1);
        const QString line = QString::fromLatin1(raw);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            return fail(lineNo, QStringLiteral("no \"=\" in \"%1\"").arg(line));
        const QString key = line.left(eq);
        const QString value = line.mid(eq + 1);
        if (value.isEmpty() || value[0].unicode() < '0' || value[0].unicode() > '9')
            return fail(lineNo,
                        QStringLiteral("\"%1\" does not start with a type digit").arg(value));

        const int slot = sectionSlot(key);
        // "[Setup]" or "[SETUP] " would otherwise become an entry and shift
        // every role after it by one.
        if (slot < 0 && key.trimmed().startsWith(QLatin1Char('[')))
            return fail(lineNo, QStringLiteral(
                                    "\"%1\" is not a section header: [SETUP], [DATA] or [CALIBRA]")
                                    .arg(key));
        if (slot >= 0) {
            qint32 base = 0;
            if (!parseInt(value, &base))
                return fail(
                    lineNo,
                    QStringLiteral("base register \"%1\" is not a whole number").arg(value));
            if (slot == 0 ? (setupSeen || j > 0) : slot <= j)
                return fail(lineNo,
                            QStringLiteral("section %1 out of order: [SETUP], [DATA] and [CALIBRA] "
                                           "come once each, in this order")
                                .arg(key));
            if (slot == 0) {
                setupSeen = true;
                setupBase = base;
                continue;
            }
            closeSlots(j, slot);
            j = slot;
            if (slot == 2)
                calibrationBase = base;
            else
                dataBase = base;
            continue;
        }

        if (i >= kMaxEntries)
            return fail(lineNo, QStringLiteral("more than %1 parameter lines").arg(kMaxEntries));
        qint32 offset = 0;
        if (value.size() > 1) {
            if (!parseInt(value.mid(1), &offset))
                return fail(lineNo, QStringLiteral("register offset \"%1\" is not a whole number")
                                        .arg(value.mid(1)));
            offset -= 1;
        }
        ParamEntry& e = entries_[static_cast<size_t>(i)];
        e.name = key;
        e.type = static_cast<quint8>(value[0].unicode() - '0');
        e.regOffset = offset;
        e.imagePos = b;
        b += typeSize(e.type);
        ++i;
        counts_[static_cast<size_t>(j)] = i;
        bytes_[static_cast<size_t>(j)] = b;
    }
    closeSlots(j, kSections - 1);

    if (i == 0)
        return fail(lineNo, QStringLiteral("no parameter lines"));

    if (image_.size() <= 64) {
        image_ = QByteArray(bytes_[2] + 1, '\0');
    } else if (image_.size() < bytes_[2]) {
        // The image is sized by the first definition; a larger one must still
        // fit, or later byte access would run past its end.
        image_.append(QByteArray(bytes_[2] - image_.size(), '\0'));
    }
    assignRoles(path);
    return result;
}

void ParameterTable::assignRoles(const QString& path) {
    // A role the new definition lacks must not keep pointing at the entry an
    // earlier definition gave it: that index now holds another parameter.
    rolePresent_.fill(false);
    roleToEntry_.fill(0);
    for (int i = counts_[2]; i < kMaxEntries; ++i)
        entries_[static_cast<size_t>(i)].role = kNoRole;
    const bool program12 = programCodeOfPath(path) == QLatin1String("12");
    static const auto table12 = program12Roles();
    static const auto table82 = fullRoles();
    const quint8* table = program12 ? table12.data() : table82.data();
    const int tableSize =
        program12 ? static_cast<int>(table12.size()) : static_cast<int>(table82.size());
    for (int i = 0; i < counts_[2]; ++i) {
        ParamEntry& e = entries_[static_cast<size_t>(i)];
        // Entries past the end of the role table have no role.
        const quint8 role = i < tableSize ? table[i] : static_cast<quint8>(kNoRole);
        e.role = role;
        if (role == kNoRole)
            continue;
        roleToEntry_[role] = i;
        rolePresent_[role] = true;
    }
}

quint8 ParameterTable::readImageByte(int position) const {
    if (position < 0 || position >= image_.size())
        throw std::out_of_range("image position " + std::to_string(position) +
                                " is outside the image");
    return static_cast<quint8>(image_[position]);
}

void ParameterTable::writeImageByte(int position, quint8 value) {
    if (position < 0 || position >= image_.size())
        throw std::out_of_range("image position " + std::to_string(position) +
                                " is outside the image");
    image_[position] = static_cast<char>(value);
}

void ParameterTable::copyIntoImage(const QByteArray& bytes) {
    const qsizetype n = std::min(bytes.size(), image_.size());
    for (qsizetype k = 0; k < n; ++k)
        image_[k] = bytes[k];
}

QStringList ParameterTable::imageLines() const {
    QStringList lines;
    const QByteArray hex = image_.toHex().toUpper();
    for (qsizetype k = 0; k < hex.size(); k += 32)
        lines.append(QString::fromLatin1(hex.mid(k, 32)));
    return lines;
}
