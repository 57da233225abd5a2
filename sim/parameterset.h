#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include "link/protocol.h"

class ParameterTable;

// Roles the instrument gives a meaning to (the configurator's role numbers).
namespace simrole {
constexpr int kScaleDivision = proto::kRoleDivision;
constexpr int kSetpoint1 = proto::kRoleSetpoint1;
constexpr int kSetpoint2 = proto::kRoleSetpoint2;
constexpr int kPeak = proto::kRolePeak;
constexpr int kCommand = proto::kRoleCommand;
constexpr int kCommandArgument = proto::kRoleKnownWeight;
constexpr int kTestMode = proto::kRoleTestMode;
constexpr int kAnalogTestValue = proto::kRoleAnalogTest;
constexpr int kMaxWeight = proto::kRoleMaximum;
constexpr int kSensitivity = 11;
constexpr int kUsedWeight = 12;
constexpr int kFixedTare = 13;
constexpr int kFunctionalMode = 14;
constexpr int kFilter = 15;
constexpr int kMotion = 16;
constexpr int kOutput1Config = 20;
constexpr int kHysteresis1 = 21;
constexpr int kOutput2Config = 24;
constexpr int kHysteresis2 = 25;
constexpr int kAddress = 30;
constexpr int kResponseTime = 31;
constexpr int kFieldbusProtocol = 33;
constexpr int kAnalogFullScale = 36;
constexpr int kAnalogMode = 37;
constexpr int kAnalogZeroRegulation = 39;
constexpr int kAnalogFullScaleRegulation = 40;
constexpr int kAnalogZero = 41;
constexpr int kNetWeight = proto::kRoleNetWeight;
constexpr int kGrossWeight = 52;
constexpr int kPoints = 53;
constexpr int kSignal = 54;
constexpr int kInputWord = 55;
constexpr int kOutputWord = 56;
}  // namespace simrole

// The values of the setup and calibration entries of a definition as the
// instrument holds them: a working set that it runs with and that writes
// change, and a stored set that the save command fills and that a restart
// starts from. The live entries (peak, command register and argument, test
// mode and analog test value) are not parameters: they never count as
// unsaved and are never stored.
class ParameterSet {
public:
    static constexpr qint64 kFactoryResetCode = 30817;

    // Both sets := defaults for the definition in `table`, which must outlive
    // this set. `factoryAddress` is the default of the address entry.
    void reset(const ParameterTable& table, int factoryAddress);

    // True for setup and calibration entries that occupy bytes.
    bool holds(int entry) const;
    qint64 value(int entry) const;
    // Stores without any check; callers check with accepts() first.
    void setValue(int entry, qint64 value);
    // The type's range and the entry's own rule (combo index, address...).
    bool accepts(int entry, qint64 value) const;
    qint64 defaultValue(int entry) const;
    bool isLive(int entry) const;

    bool unsaved() const;
    void save();
    // A restart: the working set becomes the stored set, live entries their defaults.
    void restart();
    void factoryReset();

    // The stored set by entry name, for the state file.
    QJsonObject storedToJson() const;
    // Replaces the stored set from a state file and restarts; names the
    // definition does not know and values out of range are skipped with a
    // warning each.
    QStringList loadStored(const QJsonObject& values);

    int entryOfRole(int role) const;
    int entryNamed(const QString& name) const;
    qint64 roleValue(int role, qint64 fallback = 0) const;
    void setRoleValue(int role, qint64 value);
    int roleOf(int entry) const;

private:
    bool ruleAccepts(int entry, qint64 value) const;
    qint64 computeDefault(int entry, int factoryAddress) const;

    const ParameterTable* table_ = nullptr;
    QVector<qint64> working_;
    QVector<qint64> stored_;
    QVector<qint64> defaults_;
    QVector<bool> held_;
    QVector<bool> live_;
};
