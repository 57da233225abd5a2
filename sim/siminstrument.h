#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>

#include "device/paramtable.h"
#include "link/protocol.h"
#include "sim/parameterset.h"
#include "sim/registermap.h"
#include "sim/weighingmodel.h"

struct SimConfig {
    int model = 12;
    int release = 18;
    int address = 1;  // the factory address
    double noiseCounts = 10.0;
    quint32 seed = 1;
    double loadKg = 0.0;
    QString stateFile;  // empty: nothing survives a restart
};

// The instrument behind the wire: Modbus functions 0x01-0x07 and 0x10 over
// the register map of a definition file, the command register, test modes,
// the weighing model and the working/stored parameter sets. It knows nothing
// of ptys, frames or timing: it takes a request body (address, function,
// data; no LRC) and gives the reply body, so tests can drive it directly.
class SimInstrument {
public:
    using Config = SimConfig;

    // What a request asked, for the traffic log. For reads `values` are the
    // registers or bits returned, for writes the values written.
    struct Request {
        int address = -1;
        int function = -1;
        int reg = -1;
        int count = -1;
        QList<qint64> values;
    };

    struct Result {
        bool forUs = false;  // false: another address, nothing to answer
        QByteArray reply;    // reply body without LRC
        int exceptionCode = 0;
        Request request;
    };

    // Command codes are the protocol's (proto::Command).
    using Command = proto::Command;

    enum TestMode {
        kTestNone = 0,
        kTestAnalogZero = 3,
        kTestAnalogFullScale = 4,
        kTestOutputs = 5,
        kTestAnalog = 6
    };

    explicit SimInstrument(Config config = Config());

    // Loads the register map and resets both parameter sets to defaults.
    bool loadDefinition(const QString& path, QString* error, QStringList* warnings = nullptr);
    // Reads the stored set from the state file, when there is one, and
    // restarts from it. Returns warnings (unreadable file, bad entries).
    QStringList loadState();

    Result handleRequest(const QByteArray& body);
    // Instrument time in milliseconds; the weighing model runs up to it.
    void advanceTo(qint64 ms);

    int address() const;
    int model() const { return config_.model; }
    int release() const { return config_.release; }
    void setLoad(double kg) { scale_.setLoad(kg); }
    double load() const { return scale_.load(); }
    void setInput(int index, bool on);
    bool input(int index) const { return inputs_.at(static_cast<size_t>(index)); }
    bool output(int index) const;
    int testMode() const;
    // The configured response time (role 31, hundredths of a second) in ms.
    int responseTimeMs() const;
    quint8 statusByte() const;
    qint64 analogOutput() const;
    bool unsaved() const;
    QJsonObject status() const;

    const ParameterTable& table() const { return table_; }
    // The definition file actually read (after any fallback to a lower release).
    QString definitionFile() const { return definitionFile_; }
    ParameterSet& parameters() { return params_; }
    const ParameterSet& parameters() const { return params_; }
    const RegisterMap& registers() const { return map_; }
    WeighingModel& scale() { return scale_; }
    ScaleSetup scaleSetup() const;

    static QByteArray exceptionBody(quint8 address, quint8 function, quint8 code);

private:
    Result readBits(const QByteArray& body, bool coils);
    Result readHolding(const QByteArray& body);
    Result readInput(const QByteArray& body);
    Result writeCoil(const QByteArray& body);
    Result writeSingle(const QByteArray& body);
    Result writeMultiple(const QByteArray& body);
    Result readStatus(const QByteArray& body);

    // Checks every value, then stores them and runs their side effects (a
    // command code, a test mode). Returns a Modbus exception code or 0.
    int writeEntries(const QList<QPair<int, qint64>>& writes);
    int executeCommand(qint64 value);
    bool saveState(QString* error);

    quint32 holdingBits(int entry) const;
    quint32 inputBits(int entry) const;
    void updateOutputs(const ScaleReading& r);
    qint64 calibrationValue(const char* name) const;
    void setCalibrationValue(const char* name, qint64 value);

    Config config_;
    ParameterTable table_;
    QString definitionFile_;
    ParameterSet params_;
    RegisterMap map_;
    WeighingModel scale_;
    std::array<bool, 2> inputs_{};
    std::array<bool, 2> setpointActive_{};
    std::array<bool, 2> testCoils_{};
    quint8 lastCommand_ = 0;
    int calibrationCount_ = 0;
    double storedAdcZero_;
    double storedAdcFullScale_;
    // Calibration values a definition without those entries keeps here.
    QHash<QString, qint64> calibrationFallback_;
};
