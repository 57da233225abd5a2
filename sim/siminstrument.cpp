#include "sim/siminstrument.h"

#include "base/bigendian.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

#include "sim/simvalues.h"

namespace {

constexpr double kDivisions[] = {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2,
                                 0.5,   1.0,   2.0,   5.0,  10.0, 20.0, 50.0};
constexpr int kMaxReadRegisters = 125;
constexpr int kMaxWriteRegisters = 123;
constexpr int kStateFormat = 1;

using proto::kIllegalAddress;
using proto::kIllegalFunction;
using proto::kIllegalValue;
constexpr int kDeviceFailure = 4;

quint16 wordAt(const QByteArray& body, int i) {
    return be::u16At(body, i);
}

void appendWord(QByteArray& out, quint16 w) {
    be::appendU16(out, w);
}

qint64 clampToType(quint8 type, qint64 v) {
    return std::clamp(v, simvalue::typeMin(type), simvalue::typeMax(type));
}

quint16 wordOf(quint32 bits, const RegisterSlot& slot) {
    return slot.words == 2 ? static_cast<quint16>(slot.word == 0 ? bits >> 16 : bits & 0xFFFF)
                           : static_cast<quint16>(bits & 0xFFFF);
}

}  // namespace

SimInstrument::SimInstrument(Config config)
    : config_(std::move(config)), scale_(config_.seed, config_.noiseCounts) {
    scale_.setLoad(config_.loadKg);
    storedAdcZero_ = scale_.adcZeroRef();
    storedAdcFullScale_ = scale_.adcFullScaleRef();
}

bool SimInstrument::loadDefinition(const QString& path, QString* error, QStringList* warnings) {
    const ParameterTable::LoadResult r = table_.loadDefinition(path);
    if (!r.ok) {
        if (error)
            *error = r.error;
        return false;
    }
    definitionFile_ = r.path;
    const QStringList mapWarnings = map_.build(table_);
    if (warnings) {
        if (r.path != path)
            *warnings << QStringLiteral("%1 not found, using %2").arg(path, r.path);
        *warnings << mapWarnings;
    }
    params_.reset(table_, config_.address);
    calibrationFallback_.clear();
    return true;
}

QStringList SimInstrument::loadState() {
    QStringList warnings;
    if (config_.stateFile.isEmpty() || !QFileInfo::exists(config_.stateFile))
        return warnings;
    QFile f(config_.stateFile);
    if (!f.open(QIODevice::ReadOnly)) {
        warnings << QStringLiteral("cannot read %1: %2; starting from defaults")
                        .arg(config_.stateFile, f.errorString());
        return warnings;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &parseError);
    if (!doc.isObject() || doc.object().value(QStringLiteral("format")).toInt() != kStateFormat) {
        warnings << QStringLiteral(
                        "%1 is not a state file of this simulator; starting from defaults")
                        .arg(config_.stateFile);
        return warnings;
    }
    const QJsonObject root = doc.object();
    warnings << params_.loadStored(root.value(QStringLiteral("parameters")).toObject());
    const QJsonObject adc = root.value(QStringLiteral("adc")).toObject();
    if (!adc.isEmpty()) {
        if (scale_.setAdcRefs(adc.value(QStringLiteral("zero")).toDouble(),
                              adc.value(QStringLiteral("fullScale")).toDouble())) {
            storedAdcZero_ = scale_.adcZeroRef();
            storedAdcFullScale_ = scale_.adcFullScaleRef();
        } else {
            warnings << QStringLiteral(
                "state file: converter calibration is invalid, factory values kept");
        }
    }
    return warnings;
}

bool SimInstrument::saveState(QString* error) {
    storedAdcZero_ = scale_.adcZeroRef();
    storedAdcFullScale_ = scale_.adcFullScaleRef();
    if (config_.stateFile.isEmpty())
        return true;
    QJsonObject root;
    root.insert(QStringLiteral("format"), kStateFormat);
    root.insert(QStringLiteral("definition"), QFileInfo(definitionFile_).fileName());
    root.insert(QStringLiteral("parameters"), params_.storedToJson());
    root.insert(QStringLiteral("adc"),
                QJsonObject{{QStringLiteral("zero"), storedAdcZero_},
                            {QStringLiteral("fullScale"), storedAdcFullScale_}});
    // QSaveFile writes a temporary file and renames it over the old one, so
    // a crash mid-save leaves the previous state intact.
    QSaveFile f(config_.stateFile);
    if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(root).toJson()) < 0 || !f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

int SimInstrument::address() const {
    return static_cast<int>(params_.roleValue(simrole::kAddress, config_.address));
}

void SimInstrument::setInput(int index, bool on) {
    if (index >= 0 && index < 2)
        inputs_[static_cast<size_t>(index)] = on;
}

int SimInstrument::testMode() const {
    return static_cast<int>(params_.roleValue(simrole::kTestMode));
}

bool SimInstrument::output(int index) const {
    if (index < 0 || index > 1)
        return false;
    if (testMode() == kTestOutputs)
        return testCoils_[static_cast<size_t>(index)];
    const qint64 cfg =
        params_.roleValue(index == 0 ? simrole::kOutput1Config : simrole::kOutput2Config);
    const bool normallyClosed = cfg & 4;
    return setpointActive_[static_cast<size_t>(index)] != normallyClosed;
}

int SimInstrument::responseTimeMs() const {
    return static_cast<int>(params_.roleValue(simrole::kResponseTime) * 10);
}

bool SimInstrument::unsaved() const {
    return params_.unsaved() || scale_.adcZeroRef() != storedAdcZero_ ||
           scale_.adcFullScaleRef() != storedAdcFullScale_;
}

ScaleSetup SimInstrument::scaleSetup() const {
    ScaleSetup s;
    const qint64 index = params_.roleValue(simrole::kScaleDivision, 9);
    s.division = kDivisions[std::clamp<qint64>(index, 0, 14)];
    s.maxWeight = static_cast<double>(params_.roleValue(simrole::kMaxWeight, 2000));
    s.sensitivity = static_cast<double>(params_.roleValue(simrole::kSensitivity, 20000)) / 10000.0;
    s.filter = static_cast<int>(params_.roleValue(simrole::kFilter, 5));
    s.motion = static_cast<int>(params_.roleValue(simrole::kMotion, 1));
    s.fixedTare = static_cast<double>(params_.roleValue(simrole::kFixedTare, 0));
    s.calibrated = calibrationValue("CALFLAG") != 0;
    s.calZero = static_cast<qint32>(static_cast<quint32>(calibrationValue("CALZERO")));
    s.calSpan = static_cast<qint32>(static_cast<quint32>(calibrationValue("CALSPAN")));
    s.calWeight = calibrationValue("CALWGT");
    return s;
}

qint64 SimInstrument::calibrationValue(const char* name) const {
    const int entry = params_.entryNamed(QLatin1String(name));
    if (entry >= table_.count(1))
        return params_.value(entry);
    return calibrationFallback_.value(QLatin1String(name), 0);
}

void SimInstrument::setCalibrationValue(const char* name, qint64 value) {
    const int entry = params_.entryNamed(QLatin1String(name));
    if (entry >= table_.count(1))
        params_.setValue(entry, clampToType(table_.entry(entry).type, value));
    else
        calibrationFallback_.insert(QLatin1String(name), value);
}

void SimInstrument::advanceTo(qint64 ms) {
    const ScaleSetup s = scaleSetup();
    scale_.advanceTo(ms, s);
    updateOutputs(scale_.reading(s));
}

void SimInstrument::updateOutputs(const ScaleReading& r) {
    static constexpr int kConfig[2] = {simrole::kOutput1Config, simrole::kOutput2Config};
    static constexpr int kSetpoint[2] = {simrole::kSetpoint1, simrole::kSetpoint2};
    static constexpr int kHysteresis[2] = {simrole::kHysteresis1, simrole::kHysteresis2};
    for (size_t k = 0; k < 2; ++k) {
        const qint64 cfg = params_.roleValue(kConfig[k]);
        const qint64 mode = cfg & 3;
        qint64 w = mode == 0 ? r.net : mode == 1 ? r.gross : r.peak;
        if (cfg & 8)
            w = -w;  // "Negative": the setpoint is below zero
        const bool onlyWhenStable = (cfg >> 4) != 0;
        if (onlyWhenStable && !r.stable)
            continue;
        const qint64 sp = params_.roleValue(kSetpoint[k]);
        const qint64 hyst = params_.roleValue(kHysteresis[k]);
        if (w >= sp)
            setpointActive_[k] = true;
        else if (w < sp - hyst)
            setpointActive_[k] = false;
    }
}

qint64 SimInstrument::analogOutput() const {
    const qint64 zeroReg = params_.roleValue(simrole::kAnalogZeroRegulation, 0);
    const qint64 fullReg = params_.roleValue(simrole::kAnalogFullScaleRegulation, 65535);
    double fraction = 0.0;
    switch (testMode()) {
        case kTestAnalogZero:
            return zeroReg;
        case kTestAnalogFullScale:
            return fullReg;
        case kTestAnalog:
            fraction = static_cast<double>(params_.roleValue(simrole::kAnalogTestValue)) / 64000.0;
            break;
        default: {
            const ScaleReading r = scale_.reading(scaleSetup());
            const qint64 mode = params_.roleValue(simrole::kAnalogMode);
            const double w = static_cast<double>(mode == 0 ? r.net : mode == 1 ? r.gross : r.peak);
            const double zero = static_cast<double>(params_.roleValue(simrole::kAnalogZero));
            const double full =
                static_cast<double>(params_.roleValue(simrole::kAnalogFullScale, 2000));
            fraction = full != zero ? (w - zero) / (full - zero) : 0.0;
        }
    }
    fraction = std::clamp(fraction, 0.0, 1.0);
    return zeroReg + std::llround(fraction * static_cast<double>(fullReg - zeroReg));
}

quint8 SimInstrument::statusByte() const {
    const ScaleReading r = scale_.reading(scaleSetup());
    quint8 s = 0;
    if (r.net < 0)
        s |= 0x01;
    if (r.gross < 0)
        s |= 0x02;
    if (r.stable)
        s |= 0x04;
    if (r.signal < 0)
        s |= 0x08;
    if (r.belowMinimum)
        s |= 0x10;
    if (r.outOfRange)
        s |= 0x20;
    if (r.overload)
        s |= 0x40;
    if (r.tareActive && params_.roleValue(simrole::kFunctionalMode) == 0)
        s |= 0x80;
    return s;
}

QByteArray SimInstrument::exceptionBody(quint8 address, quint8 function, quint8 code) {
    QByteArray b;
    b.append(static_cast<char>(address));
    b.append(static_cast<char>(function | proto::kExceptionBit));
    b.append(static_cast<char>(code));
    return b;
}

SimInstrument::Result SimInstrument::handleRequest(const QByteArray& body) {
    Result res;
    if (body.size() < 2)
        return res;
    res.request.address = static_cast<quint8>(body[0]);
    res.request.function = static_cast<quint8>(body[1]);
    // Address 0 (broadcast) is not served: the configurator never uses it.
    if (res.request.address != address())
        return res;

    Result out;
    switch (res.request.function) {
        case proto::kReadCoils:
            out = readBits(body, true);
            break;
        case proto::kReadInputs:
            out = readBits(body, false);
            break;
        case proto::kReadHolding:
            out = readHolding(body);
            break;
        case proto::kReadInputRegisters:
            out = readInput(body);
            break;
        case proto::kWriteCoil:
            out = writeCoil(body);
            break;
        case proto::kWriteRegister:
            out = writeSingle(body);
            break;
        case proto::kReadStatus:
            out = readStatus(body);
            break;
        case proto::kWriteMultiple:
            out = writeMultiple(body);
            break;
        default:
            out.exceptionCode = proto::kIllegalFunction;
            break;
    }
    out.forUs = true;
    out.request.address = res.request.address;
    out.request.function = res.request.function;
    if (out.exceptionCode != 0)
        out.reply = exceptionBody(static_cast<quint8>(body[0]), static_cast<quint8>(body[1]),
                                  static_cast<quint8>(out.exceptionCode));
    return out;
}

SimInstrument::Result SimInstrument::readBits(const QByteArray& body, bool coils) {
    Result r;
    if (body.size() != 6) {
        r.exceptionCode = kIllegalValue;
        return r;
    }
    r.request.reg = wordAt(body, 2);
    r.request.count = wordAt(body, 4);
    if (r.request.count < 1 || r.request.count > 2000) {
        r.exceptionCode = kIllegalValue;
        return r;
    }
    if (r.request.reg + r.request.count > 2) {
        r.exceptionCode = kIllegalAddress;
        return r;
    }
    quint8 bits = 0;
    for (int k = 0; k < r.request.count; ++k) {
        const int n = r.request.reg + k;
        const bool on = coils ? output(n) : input(n);
        if (on)
            bits |= static_cast<quint8>(1u << k);
        r.request.values << (on ? 1 : 0);
    }
    r.reply = body.left(2);
    r.reply.append(char(1));
    r.reply.append(static_cast<char>(bits));
    return r;
}

quint32 SimInstrument::holdingBits(int entry) const {
    const quint8 type = table_.entry(entry).type;
    switch (params_.roleOf(entry)) {
        case simrole::kPeak:
            return simvalue::toBits(type, clampToType(type, scale_.reading(scaleSetup()).peak));
        case simrole::kCommand:
            return 0;  // a command runs at once; the register reads as idle
        default:
            return simvalue::toBits(type, params_.value(entry));
    }
}

SimInstrument::Result SimInstrument::readHolding(const QByteArray& body) {
    Result r;
    if (body.size() != 6) {
        r.exceptionCode = kIllegalValue;
        return r;
    }
    r.request.reg = wordAt(body, 2);
    r.request.count = wordAt(body, 4);
    if (r.request.count < 1 || r.request.count > kMaxReadRegisters) {
        r.exceptionCode = kIllegalValue;
        return r;
    }
    QByteArray data;
    for (int k = 0; k < r.request.count; ++k) {
        const RegisterSlot* slot = map_.holdingRead(r.request.reg + k);
        if (!slot) {
            r.exceptionCode = kIllegalAddress;
            r.request.values.clear();
            return r;
        }
        const quint16 w = wordOf(holdingBits(slot->entry), *slot);
        appendWord(data, w);
        r.request.values << w;
    }
    r.reply = body.left(2);
    r.reply.append(static_cast<char>(data.size()));
    r.reply.append(data);
    return r;
}

quint32 SimInstrument::inputBits(int entry) const {
    const ParamEntry& e = table_.entry(entry);
    const ScaleReading rd = scale_.reading(scaleSetup());
    qint64 v = 0;
    const int role = params_.roleOf(entry);
    if (role == simrole::kNetWeight) {
        v = std::abs(rd.net);
    } else if (role == simrole::kGrossWeight) {
        v = std::abs(rd.gross);
    } else if (role == simrole::kPoints) {
        v = rd.points;
    } else if (role == simrole::kSignal) {
        v = std::abs(rd.signal);
    } else if (role == simrole::kInputWord) {
        v = (inputs_[0] ? 1 : 0) | (inputs_[1] ? 2 : 0);
    } else if (role == simrole::kOutputWord) {
        v = (output(0) ? 1 : 0) | (output(1) ? 2 : 0);
    } else if (e.name == QLatin1String("ANAOUT")) {
        v = analogOutput();
    } else if (e.name == QLatin1String("TEMP")) {
        v = 25;  // degrees C
    } else if (e.name == QLatin1String("SUPPLY")) {
        v = 1200;  // 12.00 V
    } else if (e.name == QLatin1String("ERRCODE")) {
        v = (rd.outOfRange ? 1 : 0) | (rd.overload ? 2 : 0);
    } else if (e.name == QLatin1String("TARE")) {
        v = std::abs(rd.gross - rd.net);
    } else if (e.name == QLatin1String("CALCNT")) {
        v = calibrationCount_;
    } else if (e.name == QLatin1String("UPTIME")) {
        v = std::max<qint64>(0, scale_.now() / 1000);
    } else if (e.name == QLatin1String("LASTCMD")) {
        v = lastCommand_;
    } else if (e.name == QLatin1String("SERNO")) {
        v = 4242;
    }
    return simvalue::toBits(e.type, clampToType(e.type, v));
}

SimInstrument::Result SimInstrument::readInput(const QByteArray& body) {
    Result r;
    if (body.size() != 6) {
        r.exceptionCode = kIllegalValue;
        return r;
    }
    r.request.reg = wordAt(body, 2);
    r.request.count = wordAt(body, 4);
    if (r.request.count < 1 || r.request.count > kMaxReadRegisters) {
        r.exceptionCode = kIllegalValue;
        return r;
    }
    QByteArray data;
    for (int k = 0; k < r.request.count; ++k) {
        const int reg = r.request.reg + k;
        quint16 w = 0;
        if (reg == RegisterMap::kIdentificationRegister) {
            w = static_cast<quint16>(((config_.model & 0xFF) << 8) | (config_.release & 0xFF));
        } else if (const RegisterSlot* slot = map_.input(reg)) {
            w = wordOf(inputBits(slot->entry), *slot);
        } else {
            r.exceptionCode = kIllegalAddress;
            r.request.values.clear();
            return r;
        }
        appendWord(data, w);
        r.request.values << w;
    }
    r.reply = body.left(2);
    r.reply.append(static_cast<char>(data.size()));
    r.reply.append(data);
    return r;
}

SimInstrument::Result SimInstrument::readStatus(const QByteArray& body) {
    Result r;
    if (body.size() != 2) {
        r.exceptionCode = kIllegalValue;
        return r;
    }
    const quint8 s = statusByte();
    r.request.values << s;
    r.reply = body.left(2);
    r.reply.append(static_cast<char>(s));
    return r;
}

SimInstrument::Result SimInstrument::writeCoil(const QByteArray& body) {
    Result r;
    if (body.size() != 6) {
        r.exceptionCode = kIllegalValue;
        return r;
    }
    r.request.reg = wordAt(body, 2);
    r.request.count = 1;
    const quint16 v = wordAt(body, 4);
    r.request.values << v;
    if (r.request.reg > 1) {
        r.exceptionCode = kIllegalAddress;
    } else if ((v != 0xFF00 && v != 0x0000) || testMode() != kTestOutputs) {
        // Outputs follow their setpoints unless the output test is on.
        r.exceptionCode = kIllegalValue;
    } else {
        testCoils_[static_cast<size_t>(r.request.reg)] = v == 0xFF00;
        r.reply = body;
    }
    return r;
}

SimInstrument::Result SimInstrument::writeSingle(const QByteArray& body) {
    Result r;
    if (body.size() != 6) {
        r.exceptionCode = kIllegalValue;
        return r;
    }
    r.request.reg = wordAt(body, 2);
    r.request.count = 1;
    const quint16 w = wordAt(body, 4);
    r.request.values << w;
    const RegisterSlot* slot = map_.holdingWrite(r.request.reg);
    // Half of a 32-bit entry cannot be written on its own.
    if (!slot || slot->words != 1) {
        r.exceptionCode = kIllegalAddress;
        return r;
    }
    const qint64 value = simvalue::fromBits(table_.entry(slot->entry).type, w);
    if (table_.entry(slot->entry).type == 1 && w > 0xFF) {
        r.exceptionCode = kIllegalValue;
        return r;
    }
    r.exceptionCode = writeEntries({{slot->entry, value}});
    if (r.exceptionCode == 0)
        r.reply = body;
    return r;
}

SimInstrument::Result SimInstrument::writeMultiple(const QByteArray& body) {
    Result r;
    if (body.size() < 7) {
        r.exceptionCode = kIllegalValue;
        return r;
    }
    r.request.reg = wordAt(body, 2);
    r.request.count = wordAt(body, 4);
    const int byteCount = static_cast<quint8>(body[6]);
    if (r.request.count < 1 || r.request.count > kMaxWriteRegisters ||
        byteCount != 2 * r.request.count || body.size() != 7 + byteCount) {
        r.exceptionCode = kIllegalValue;
        return r;
    }
    QList<QPair<int, qint64>> writes;
    bool wideByte = false;
    for (int k = 0; k < r.request.count;) {
        const RegisterSlot* slot = map_.holdingWrite(r.request.reg + k);
        // Each entry must be written whole, from its first register on.
        if (!slot || slot->word != 0 || k + slot->words > r.request.count) {
            r.exceptionCode = kIllegalAddress;
            return r;
        }
        quint32 bits = wordAt(body, 7 + 2 * k);
        if (slot->words == 2)
            bits = (bits << 16) | wordAt(body, 9 + 2 * k);
        const quint8 type = table_.entry(slot->entry).type;
        if (type == 1 && bits > 0xFF)
            wideByte = true;
        const qint64 value = simvalue::fromBits(type, bits);
        writes.append({slot->entry, value});
        r.request.values << value;
        k += slot->words;
    }
    r.exceptionCode = wideByte ? int(kIllegalValue) : writeEntries(writes);
    if (r.exceptionCode == 0)
        r.reply = body.left(6);
    return r;
}

int SimInstrument::writeEntries(const QList<QPair<int, qint64>>& writes) {
    for (const auto& [entry, value] : writes)
        if (!params_.accepts(entry, value))
            return kIllegalValue;
    int result = 0;
    for (const auto& [entry, value] : writes) {
        const int role = entry < table_.setupCount() ? params_.roleOf(entry) : -1;
        if (role == simrole::kCommand) {
            result = executeCommand(value);
            continue;
        }
        if (role == simrole::kPeak) {
            scale_.setPeak(value);
            continue;
        }
        if (role == simrole::kTestMode && value == kTestOutputs && testMode() != kTestOutputs)
            testCoils_ = {};
        params_.setValue(entry, value);
    }
    return result;
}

int SimInstrument::executeCommand(qint64 value) {
    if (value < 0 || value > 0xFF)
        return kIllegalValue;
    const auto code = static_cast<quint8>(value);
    const quint8 previous = lastCommand_;
    const ScaleSetup s = scaleSetup();
    switch (code) {
        case proto::kCmdNone:
            return 0;  // a restored command register: nothing to run
        case proto::kCmdTare:
            scale_.tare(s);
            break;
        case proto::kCmdZero:
            scale_.zero(s);
            break;
        case proto::kCmdPeakReset:
            scale_.resetPeak(s);
            break;
        case proto::kCmdCalibrationZero:
            setCalibrationValue("CALZERO", static_cast<quint32>(scale_.reading(s).points));
            scale_.clearZeroAndTare();
            break;
        case proto::kCmdAcquire: {
            const qint64 known = params_.roleValue(simrole::kCommandArgument);
            const qint32 zero =
                static_cast<qint32>(static_cast<quint32>(calibrationValue("CALZERO")));
            const qint32 points = scale_.reading(s).points;
            // A known weight of nothing, or no more signal than at zero,
            // would give a scale without a slope.
            if (known <= 0 || static_cast<qint64>(points) - zero <= 0)
                return kIllegalValue;
            setCalibrationValue("CALSPAN", static_cast<quint32>(points));
            setCalibrationValue("CALWGT", known);
            setCalibrationValue("CALFLAG", 1);
            ++calibrationCount_;
            break;
        }
        case proto::kCmdCalibrationResetArm:
            break;
        case proto::kCmdCalibrationReset:
            // Only as the second half of the pair, so a stray code cannot erase it.
            if (previous != proto::kCmdCalibrationResetArm)
                return kIllegalValue;
            for (const char* name : {"CALZERO", "CALSPAN", "CALWGT", "CALFLAG"})
                setCalibrationValue(name, 0);
            scale_.clearZeroAndTare();
            break;
        case proto::kCmdAdcZero:
            scale_.adcZero();
            break;
        case proto::kCmdAdcFullScale:
            if (!scale_.adcFullScale())
                return kIllegalValue;
            break;
        case proto::kCmdFactoryReset: {
            if (params_.roleValue(simrole::kCommandArgument) != ParameterSet::kFactoryResetCode)
                return kIllegalValue;
            params_.factoryReset();
            calibrationFallback_.clear();
            scale_.clearZeroAndTare();
            testCoils_ = {};
            lastCommand_ = code;
            return saveState(nullptr) ? 0 : int(kDeviceFailure);
        }
        case proto::kCmdSave:
            params_.save();
            lastCommand_ = code;
            // A save that did not reach the disk must not look like one that did.
            return saveState(nullptr) ? 0 : int(kDeviceFailure);
        case proto::kCmdCalibrationRestored: {
            // A restored table that cannot describe a slope falls back to
            // the theoretical calibration instead of dividing by zero.
            const bool usable = calibrationValue("CALSPAN") != calibrationValue("CALZERO") &&
                                calibrationValue("CALWGT") > 0;
            if (!usable)
                setCalibrationValue("CALFLAG", 0);
            scale_.clearZeroAndTare();
            break;
        }
        default:
            return kIllegalValue;
    }
    lastCommand_ = code;
    return 0;
}

QJsonObject SimInstrument::status() const {
    const ScaleReading r = scale_.reading(scaleSetup());
    QJsonObject o;
    o.insert(QStringLiteral("address"), address());
    o.insert(QStringLiteral("model"), config_.model);
    o.insert(QStringLiteral("release"), config_.release);
    o.insert(QStringLiteral("definition"), QFileInfo(definitionFile_).fileName());
    o.insert(QStringLiteral("load"), scale_.load());
    o.insert(QStringLiteral("gross"), static_cast<double>(r.gross));
    o.insert(QStringLiteral("net"), static_cast<double>(r.net));
    o.insert(QStringLiteral("peak"), static_cast<double>(r.peak));
    o.insert(QStringLiteral("points"), r.points);
    o.insert(QStringLiteral("signal"), r.signal);
    o.insert(QStringLiteral("stable"), r.stable);
    o.insert(QStringLiteral("statusByte"), statusByte());
    o.insert(QStringLiteral("unsaved"), unsaved());
    o.insert(QStringLiteral("testMode"), testMode());
    o.insert(QStringLiteral("analogOutput"), static_cast<double>(analogOutput()));
    o.insert(QStringLiteral("inputs"), QJsonArray{inputs_[0], inputs_[1]});
    o.insert(QStringLiteral("outputs"), QJsonArray{output(0), output(1)});
    o.insert(QStringLiteral("lastCommand"), lastCommand_);
    o.insert(QStringLiteral("calibrated"), calibrationValue("CALFLAG") != 0);
    return o;
}
