#include "app/cli/cliparams.h"

#include <stdexcept>

#include "app/cli/clioutput.h"
#include "device/decoding.h"
#include "device/paramtable.h"
#include "session/session.h"

namespace {

QString sectionOf(const ParameterTable& t, int index) {
    if (index < t.count(0))
        return QStringLiteral("setup");
    if (index < t.count(1))
        return QStringLiteral("data");
    return QStringLiteral("calibration");
}

}  // namespace

bool CliParams::isWeightLike(quint32 role) {
    switch (role & 127) {
        case 3:   // setpoint 1
        case 4:   // setpoint 2
        case 21:  // hysteresis 1
        case 25:  // hysteresis 2
        case 36:  // analog full scale
        case 41:  // analog zero
            return true;
        default:
            return false;
    }
}

QString CliParams::typeName(quint8 type) {
    switch (type) {
        case 1:
            return QStringLiteral("u8");
        case 2:
            return QStringLiteral("u16");
        case 3:
            return QStringLiteral("s16");
        case 4:
            return QStringLiteral("u32");
        case 5:
            return QStringLiteral("s32");
        case 6:
            return QStringLiteral("float");
        default:
            return QStringLiteral("none");
    }
}

QString CliParams::roleText(quint32 role) {
    return role == ParameterTable::kNoRole ? QStringLiteral("-") : QString::number(role);
}

int CliParams::findSetupEntry(const ParameterTable& t, const QString& operand) {
    const QString name = operand.trimmed();
    bool numeric = false;
    const int role = name.toInt(&numeric);
    int index = -1;
    if (numeric) {
        if (role < 0 || role >= ParameterTable::kRoleCount)
            throw CliError{kExitUsage, QStringLiteral("role %1 does not exist (roles are 0 to %2)")
                                           .arg(role)
                                           .arg(ParameterTable::kRoleCount - 1)};
        index = t.findRole(role);
        if (index < 0)
            throw CliError{kExitUsage, QStringLiteral("definition %1 has no entry with role %2")
                                           .arg(t.definitionVersion)
                                           .arg(role)};
    } else {
        for (int i = 0; i < t.entryCount() && index < 0; ++i)
            if (t.entry(i).name.compare(name, Qt::CaseInsensitive) == 0)
                index = i;
        if (index < 0)
            throw CliError{kExitUsage,
                           QStringLiteral("definition %1 has no entry named \"%2\" (velmora-cli "
                                          "read lists them)")
                               .arg(t.definitionVersion, name)};
    }
    if (index >= t.setupCount())
        throw CliError{kExitUsage,
                       QStringLiteral("%1 is an entry of the %2 section; get and set reach the "
                                      "setup section (watch shows live values, backup carries "
                                      "the calibration)")
                           .arg(t.entry(index).name, sectionOf(t, index))};
    return index;
}

QString CliParams::shown(Session& session, quint32 role, const QString& value) {
    if (!isWeightLike(role) || value.isEmpty())
        return value;
    try {
        return session.decoder().decimalText(session.decoder().scaleUp(value));
    } catch (const std::exception&) {
        // A value the page could not show either is printed as stored.
        return value;
    }
}

QString CliParams::shown(Session& session, int index) {
    const ParamEntry& e = session.table().entry(index);
    return shown(session, e.role, e.value);
}

QString CliParams::toStored(Session& session, int index, const QString& typed) {
    const ParamEntry& e = session.table().entry(index);
    const QString text = typed.trimmed();
    QString stored;
    if (isWeightLike(e.role)) {
        // As the page does: format with the decimals, drop the point, scale down.
        const auto v = parseReal(text);
        if (!v)
            throw CliError{kExitUsage,
                           QStringLiteral("\"%1\" is not a number for %2").arg(text, e.name)};
        QString counts = formatFixed(*v, session.display().decimals);
        counts.remove(QLatin1Char('.'));
        if (!parseInteger(counts))
            throw CliError{kExitUsage,
                           QStringLiteral("%1 is out of range for %2").arg(text, e.name)};
        try {
            stored = session.decoder().scaleDown(counts);
        } catch (const std::exception&) {
            throw CliError{kExitUsage,
                           QStringLiteral("%1 is out of range for %2").arg(text, e.name)};
        }
    } else if (e.type == 6) {
        if (!parseReal(text))
            throw CliError{kExitUsage,
                           QStringLiteral("\"%1\" is not a number for %2").arg(text, e.name)};
        stored = text;
    } else {
        const auto n = parseInteger(text);
        if (!n)
            throw CliError{
                kExitUsage,
                QStringLiteral("\"%1\" is not a whole number, as %2 needs").arg(text, e.name)};
        stored = QString::number(*n);
    }
    const EncodedValue encoded = encodeValue(e.type, stored);
    if (!encoded.ok)
        throw CliError{kExitUsage, QStringLiteral("%1 does not fit %2 (%3): %4")
                                       .arg(text, e.name, typeName(e.type), encoded.error)};
    return stored;
}

QJsonObject CliParams::entryJson(Session& session, int index) {
    const ParamEntry& e = session.table().entry(index);
    QJsonObject o;
    o.insert(QStringLiteral("index"), index);
    o.insert(QStringLiteral("name"), e.name);
    o.insert(QStringLiteral("role"),
             e.role == ParameterTable::kNoRole ? QJsonValue() : QJsonValue(int(e.role)));
    o.insert(QStringLiteral("type"), typeName(e.type));
    o.insert(QStringLiteral("value"), e.value);
    o.insert(QStringLiteral("shown"), shown(session, index));
    return o;
}
