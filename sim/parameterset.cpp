#include "sim/parameterset.h"

#include <QJsonValue>
#include <cmath>
#include <optional>

#include "device/paramtable.h"
#include "sim/simvalues.h"

namespace {

struct Range {
    qint64 min;
    qint64 max;
};

// The instrument's own limits on setup values, by role. Roles without an
// entry here take anything their type holds.
std::optional<Range> roleRange(int role) {
    switch (role) {
        case 0:
            return Range{0, 14};  // index into "0.001" .. "50"
        case 3:
        case 4:
        case 21:
        case 25:
        case 36:
            return Range{0, 9999999};  // divisions
        case 8:
            return Range{0, 6};  // test modes
        case 9:
            return Range{0, 64000};  // 0..100 % of the analog range
        case 10:
            return Range{1, 999999};  // a zero capacity would divide by zero
        case 11:
            return Range{1, 65535};  // likewise the sensitivity
        case 12:
        case 13:
            return Range{0, 999999};
        case 14:
            return Range{0, 2};  // Net, Gross, Peak
        case 15:
            return Range{0, 9};
        case 16:
        case 18:
            return Range{0, 4};
        case 17:
            return Range{0, 1000};  // tenths of a percent
        case 19:
            return Range{0, 200};
        case 28:
            return Range{0, 4};  // baud list
        case 29:
            return Range{0, 6};  // serial protocols
        case 30:
            return Range{1, 127};  // Modbus addresses
        case 31:
            return Range{0, 999};  // hundredths of a second
        case 32:
            return Range{0, 8};  // frame formats
        case 33:
            return Range{0, 6};  // fieldbus protocols
        case 35:
            return Range{0, 8};  // longest fieldbus baud list
        case 37:
            return Range{0, 2};
        case 38:
            return Range{0, 3};
        case 39:
            return Range{0, 60000};
        case 40:
            return Range{1000, 65535};
        case 41:
            return Range{-9999999, 9999999};
        case 42:
            return Range{0, 1};
        default:
            break;
    }
    if (role >= 43 && role <= 50)
        return Range{0, 255};
    return std::nullopt;
}

qint64 roleDefault(int role, int factoryAddress) {
    switch (role) {
        case 0:
            return 9;  // division 1
        case 3:
            return 1000;
        case 4:
            return 1500;
        case 10:
        case 12:
        case 36:
            return 2000;
        case 11:
            return 20000;  // 2.0000 mV/V
        case 15:
            return 5;
        case 16:
            return 1;
        case 17:
            return 20;
        case 21:
        case 25:
            return 1;
        case 28:
            return 3;  // 38400
        case 29:
            return 5;  // Modbus
        case 30:
            return factoryAddress;
        case 32:
            return 5;  // N-8-1
        case 34:
            return 1;
        case 38:
            return 1;  // 4-20 mA
        case 39:
            return 1000;
        case 40:
            return 50000;
        case 43:
            return 192;
        case 44:
            return 168;
        case 45:
            return 1;
        case 46:
            return 100;
        case 47:
        case 48:
        case 49:
            return 255;
        default:
            return 0;
    }
}

qint64 calibrationDefault(const QString& name) {
    if (name == QLatin1String("ADCGAIN"))
        return 10000;
    if (name.startsWith(QLatin1String("ANA")) && name.endsWith(QLatin1Char('Z')))
        return 1000;
    if (name.startsWith(QLatin1String("ANA")) && name.endsWith(QLatin1Char('F')))
        return 50000;
    return 0;
}

bool isLiveRole(int role) {
    return role == simrole::kPeak || role == simrole::kCommand ||
           role == simrole::kCommandArgument || role == simrole::kTestMode ||
           role == simrole::kAnalogTestValue;
}

}  // namespace

void ParameterSet::reset(const ParameterTable& table, int factoryAddress) {
    table_ = &table;
    const int n = table.entryCount();
    working_.fill(0, n);
    stored_.fill(0, n);
    defaults_.fill(0, n);
    held_.fill(false, n);
    live_.fill(false, n);
    for (int i = 0; i < n; ++i) {
        const bool inSetup = i < table.setupCount();
        const bool inCalibration = i >= table.count(1);
        held_[i] = (inSetup || inCalibration) && simvalue::registerCount(table.entry(i).type) > 0;
        if (!held_[i])
            continue;
        live_[i] = inSetup && isLiveRole(roleOf(i));
        defaults_[i] = computeDefault(i, factoryAddress);
    }
    factoryReset();
}

qint64 ParameterSet::computeDefault(int entry, int factoryAddress) const {
    const ParamEntry& e = table_->entry(entry);
    const qint64 v = entry < table_->setupCount() ? roleDefault(roleOf(entry), factoryAddress)
                                                  : calibrationDefault(e.name);
    return simvalue::fitsType(e.type, v) ? v : 0;
}

int ParameterSet::roleOf(int entry) const {
    if (!table_ || entry < 0 || entry >= table_->entryCount())
        return -1;
    const quint32 role = table_->entry(entry).role;
    return role == ParameterTable::kNoRole ? -1 : static_cast<int>(role);
}

bool ParameterSet::holds(int entry) const {
    return entry >= 0 && entry < held_.size() && held_[entry];
}

qint64 ParameterSet::value(int entry) const {
    return holds(entry) ? working_[entry] : 0;
}

void ParameterSet::setValue(int entry, qint64 value) {
    if (holds(entry))
        working_[entry] = value;
}

qint64 ParameterSet::defaultValue(int entry) const {
    return holds(entry) ? defaults_[entry] : 0;
}

bool ParameterSet::isLive(int entry) const {
    return holds(entry) && live_[entry];
}

bool ParameterSet::accepts(int entry, qint64 value) const {
    if (!holds(entry))
        return false;
    if (!simvalue::fitsType(table_->entry(entry).type, value))
        return false;
    return ruleAccepts(entry, value);
}

bool ParameterSet::ruleAccepts(int entry, qint64 value) const {
    if (entry >= table_->setupCount()) {
        // Calibration: only the flag has a meaning the instrument checks.
        if (table_->entry(entry).name == QLatin1String("CALFLAG"))
            return value == 0 || value == 1;
        return true;
    }
    const int role = roleOf(entry);
    if (role == simrole::kOutput1Config || role == simrole::kOutput2Config) {
        // Mode in bits 0-1 (Net, Gross, Peak), type bit 2, sign bit 3,
        // stable index from bit 4 (at most three items).
        return (value & 3) <= 2 && (value >> 4) <= 2;
    }
    if (role == 34) {
        // DeviceNet stops at 63; the other fieldbuses at 126.
        const qint64 limit = roleValue(simrole::kFieldbusProtocol) == 2 ? 63 : 126;
        return value >= 0 && value <= limit;
    }
    const auto range = roleRange(role);
    return !range || (value >= range->min && value <= range->max);
}

bool ParameterSet::unsaved() const {
    for (int i = 0; i < working_.size(); ++i)
        if (held_[i] && !live_[i] && working_[i] != stored_[i])
            return true;
    return false;
}

void ParameterSet::save() {
    for (int i = 0; i < working_.size(); ++i)
        if (held_[i] && !live_[i])
            stored_[i] = working_[i];
}

void ParameterSet::restart() {
    for (int i = 0; i < working_.size(); ++i)
        if (held_[i])
            working_[i] = live_[i] ? defaults_[i] : stored_[i];
}

void ParameterSet::factoryReset() {
    working_ = defaults_;
    stored_ = defaults_;
}

QJsonObject ParameterSet::storedToJson() const {
    QJsonObject out;
    for (int i = 0; i < stored_.size(); ++i)
        if (held_[i] && !live_[i])
            out.insert(table_->entry(i).name, static_cast<double>(stored_[i]));
    return out;
}

QStringList ParameterSet::loadStored(const QJsonObject& values) {
    QStringList warnings;
    stored_ = defaults_;
    for (auto it = values.begin(); it != values.end(); ++it) {
        const int entry = entryNamed(it.key());
        if (entry < 0 || isLive(entry)) {
            warnings << QStringLiteral("state file: %1 is not a parameter of this definition")
                            .arg(it.key());
            continue;
        }
        const double d = it.value().toDouble(std::nan(""));
        const auto v = static_cast<qint64>(d);
        if (!it.value().isDouble() || static_cast<double>(v) != d ||
            !simvalue::fitsType(table_->entry(entry).type, v)) {
            warnings << QStringLiteral("state file: %1 has an invalid value, default kept")
                            .arg(it.key());
            continue;
        }
        stored_[entry] = v;
    }
    // Rules may look at other entries (the fieldbus address at the protocol),
    // so they are checked once the whole set is in place.
    restart();
    for (int i = 0; i < stored_.size(); ++i) {
        if (!held_[i] || live_[i] || ruleAccepts(i, working_[i]))
            continue;
        warnings << QStringLiteral("state file: %1 is out of range, default kept")
                        .arg(table_->entry(i).name);
        stored_[i] = working_[i] = defaults_[i];
    }
    return warnings;
}

int ParameterSet::entryOfRole(int role) const {
    return table_ ? table_->findRole(role) : -1;
}

int ParameterSet::entryNamed(const QString& name) const {
    if (!table_)
        return -1;
    for (int i = 0; i < table_->entryCount(); ++i)
        if (held_[i] && table_->entry(i).name == name)
            return i;
    return -1;
}

qint64 ParameterSet::roleValue(int role, qint64 fallback) const {
    const int entry = entryOfRole(role);
    return holds(entry) ? working_[entry] : fallback;
}

void ParameterSet::setRoleValue(int role, qint64 value) {
    setValue(entryOfRole(role), value);
}
