#pragma once

#include <QJsonObject>
#include <QString>

class ParameterTable;
class Session;

// Naming parameters on the command line and showing their values as the
// pages do. Weight-like entries (setpoints, hysteresis, analog full scale
// and zero) travel as integer counts of the division step; they are shown,
// and typed, with the scale's decimals.
namespace CliParams {

bool isWeightLike(quint32 role);
QString typeName(quint8 type);
QString roleText(quint32 role);

// The setup entry that a role number or an entry name (any case) names.
// Throws CliError (usage) for anything else, saying why.
int findSetupEntry(const ParameterTable& table, const QString& operand);

// A value text of an entry as the pages show it.
QString shown(Session& session, quint32 role, const QString& value);
QString shown(Session& session, int index);

// The value text that `set` hands to the write path for what was typed,
// converted as the page converts a typed field. Throws CliError (usage)
// for a value that is not a number or does not fit the entry's type.
QString toStored(Session& session, int index, const QString& typed);

// index, name, role, type, value (as stored) and shown.
QJsonObject entryJson(Session& session, int index);

}  // namespace CliParams
