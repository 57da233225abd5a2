#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "link/codec.h"
#include "sim/faultinjector.h"
#include "sim/frameassembler.h"
#include "sim/siminstrument.h"
#include "support/testhome.h"

namespace {

QByteArray body(const char* hex) {
    return QByteArray::fromHex(hex);
}

QByteArray request(quint8 function, int reg, std::initializer_list<quint16> words,
                   quint8 address = 1) {
    QByteArray b;
    b.append(static_cast<char>(address));
    b.append(static_cast<char>(function));
    b.append(static_cast<char>(reg >> 8));
    b.append(static_cast<char>(reg & 0xFF));
    for (quint16 w : words) {
        b.append(static_cast<char>(w >> 8));
        b.append(static_cast<char>(w & 0xFF));
    }
    return b;
}

// A 0x10 write of `words` registers from `reg`.
QByteArray writeMany(int reg, const QList<quint16>& words) {
    QByteArray b = request(0x10, reg, {static_cast<quint16>(words.size())});
    b.append(static_cast<char>(2 * words.size()));
    for (quint16 w : words) {
        b.append(static_cast<char>(w >> 8));
        b.append(static_cast<char>(w & 0xFF));
    }
    return b;
}

int exceptionOf(const QByteArray& reply) {
    return reply.size() == 3 && (static_cast<quint8>(reply[1]) & 0x80)
               ? static_cast<quint8>(reply[2])
               : 0;
}

// The registers of a read reply as one number (16 or 32 bits, high word first).
qint64 readValue(const QByteArray& reply) {
    qint64 v = 0;
    for (int i = 3; i < reply.size(); ++i)
        v = (v << 8) | static_cast<quint8>(reply[i]);
    return v;
}

}  // namespace

class TestSimInstrument : public QObject {
    Q_OBJECT

    std::unique_ptr<TestHome> home_;
    qint64 clock_ = 0;

    std::unique_ptr<SimInstrument> make(const QString& def = QStringLiteral("DATV1218.def"),
                                        SimInstrument::Config cfg = SimInstrument::Config()) {
        cfg.noiseCounts = 0.0;
        auto inst = std::make_unique<SimInstrument>(cfg);
        QString error;
        if (!inst->loadDefinition(home_->file(QStringLiteral("Config/") + def), &error))
            qFatal("%s", qPrintable(error));
        clock_ = 0;
        inst->advanceTo(clock_);
        return inst;
    }
    QByteArray ask(SimInstrument& inst, const QByteArray& b) {
        const SimInstrument::Result r = inst.handleRequest(b);
        if (!r.forUs)
            return {};
        return r.reply;
    }
    int reg(SimInstrument& inst, int role) {
        const ParameterTable& t = inst.table();
        return t.setupBase + t.entry(t.findRole(role)).regOffset;
    }
    int calWriteReg(SimInstrument& inst, const QString& name) {
        const ParameterTable& t = inst.table();
        return t.calibrationBase + t.entry(inst.parameters().entryNamed(name)).regOffset;
    }
    int inputReg(SimInstrument& inst, int role) {
        const ParameterTable& t = inst.table();
        return t.dataBase + t.entry(t.findRole(role)).regOffset;
    }
    int writeRole(SimInstrument& inst, int role, qint64 value) {
        const ParameterTable& t = inst.table();
        const int words = ParameterTable::typeSize(t.entry(t.findRole(role)).type) == 4 ? 2 : 1;
        const auto bits = static_cast<quint32>(value);
        const QByteArray b = words == 2
                                 ? writeMany(reg(inst, role), {quint16(bits >> 16), quint16(bits)})
                                 : request(0x06, reg(inst, role), {quint16(bits)});
        return exceptionOf(ask(inst, b));
    }
    qint64 readRole(SimInstrument& inst, int role) {
        const ParameterTable& t = inst.table();
        const int words = ParameterTable::typeSize(t.entry(t.findRole(role)).type) == 4 ? 2 : 1;
        return readValue(ask(inst, request(0x03, reg(inst, role), {quint16(words)})));
    }
    // A signed live weight from the data section and the status byte.
    qint64 liveWeight(SimInstrument& inst, int role, quint8 signBit) {
        const qint64 mag = readValue(ask(inst, request(0x04, inputReg(inst, role), {2})));
        const quint8 status = static_cast<quint8>(ask(inst, body("0107")).at(2));
        return (status & signBit) ? -mag : mag;
    }
    int command(SimInstrument& inst, int code) { return writeRole(inst, simrole::kCommand, code); }
    void settle(SimInstrument& inst) {
        clock_ += 5000;
        inst.advanceTo(clock_);
    }
    void advance(SimInstrument& inst, int ms) {
        clock_ += ms;
        inst.advanceTo(clock_);
    }

private Q_SLOTS:
    void initTestCase() { home_ = std::make_unique<TestHome>(); }
    void cleanupTestCase() { home_.reset(); }

    void identification_data();
    void identification();
    void probeAndDataSection_data();
    void probeAndDataSection();
    void setupRoundTrip_data();
    void setupRoundTrip();
    void readAcrossEntries();
    void calibrationWindow();
    void refusedRequests_data();
    void refusedRequests();
    void otherAddressesAndAddressChange();
    void tareZeroPeak();
    void calibrationCommands();
    void converterCalibration();
    void factoryResetNeedsCode();
    void workingAndStoredSets();
    void stateFilePersistence();
    void stateFileSaveFailureIsReported();
    void stateFileWithBadContent();
    void statusByte_data();
    void statusByte();
    void stabilityFollowsMotion();
    void settlingTimeAndErrorCurve();
    void outputTestAndSetpoints();
    void analogOutput_data();
    void analogOutput();
    void inputs();

    void faultEveryN_data();
    void faultEveryN();
    void faultSilence();
    void faultSplitAndGarbage();
    void faultRefusedRegister_data();
    void faultRefusedRegister();
    void frameAssembler_data();
    void frameAssembler();
};

void TestSimInstrument::identification_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("release");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("default 12/18") << 12 << 18 << QByteArray(":0104020C12DB\r\n");
    QTest::newRow("35/12") << 35 << 12 << QByteArray(":010402230CCA\r\n");
    QTest::newRow("hex model 171/5") << 171 << 5 << QByteArray(":010402AB0549\r\n");
}

void TestSimInstrument::identification() {
    QFETCH(int, model);
    QFETCH(int, release);
    QFETCH(QByteArray, wire);
    SimInstrument::Config cfg;
    cfg.model = model;
    cfg.release = release;
    auto inst = make(QStringLiteral("DATV1218.def"), cfg);
    QCOMPARE(codec::componi_frame(ask(*inst, body("010400050001"))), wire);
}

void TestSimInstrument::probeAndDataSection_data() {
    QTest::addColumn<QString>("def");
    QTest::addColumn<int>("registers");
    QTest::newRow("program 12") << "DATV1218.def" << 19;
    QTest::newRow("program 35") << "DATV3512.def" << 10;
}

void TestSimInstrument::probeAndDataSection() {
    QFETCH(QString, def);
    QFETCH(int, registers);
    auto inst = make(def);
    const int base = inst->table().dataBase;
    const QByteArray probe = ask(*inst, request(0x04, base, {1}));
    QCOMPARE(probe.size(), 5);
    QCOMPARE(int(probe[2]), 2);
    // The live poll reads the whole data section in one request...
    const QByteArray all = ask(*inst, request(0x04, base, {quint16(registers)}));
    QCOMPARE(all.size(), 3 + 2 * registers);
    // ...and not one register more.
    QCOMPARE(exceptionOf(ask(*inst, request(0x04, base, {quint16(registers + 1)}))), 2);

    inst->setLoad(123);
    settle(*inst);
    QCOMPARE(liveWeight(*inst, simrole::kNetWeight, 0x01), 123);
    QCOMPARE(liveWeight(*inst, simrole::kGrossWeight, 0x02), 123);
    // 123 kg on the 2000 kg, 2 mV/V cell: 0.123 mV/V, 61500 points.
    QCOMPARE(readValue(ask(*inst, request(0x04, inputReg(*inst, simrole::kSignal), {2}))), 123);
    QCOMPARE(readValue(ask(*inst, request(0x04, inputReg(*inst, simrole::kPoints), {2}))), 61500);
}

void TestSimInstrument::setupRoundTrip_data() {
    QTest::addColumn<QString>("def");
    QTest::addColumn<int>("role");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QByteArray>("readReply");
    QTest::newRow("u16 filter via 0x06")
        << "DATV1218.def" << 15 << qint64(7) << QByteArray("0103020007");
    QTest::newRow("u32 max weight via 0x10")
        << "DATV1218.def" << 10 << qint64(150000) << QByteArray("010304000249F0");
    QTest::newRow("s32 analog zero negative")
        << "DATV1218.def" << 41 << qint64(-1234) << QByteArray("010304FFFFFB2E");
    QTest::newRow("u32 setpoint above 16 bits")
        << "DATV3512.def" << 3 << qint64(70000) << QByteArray("01030400011170");
    QTest::newRow("u8 IP byte") << "DATV3512.def" << 43 << qint64(200) << QByteArray("01030200C8");
}

void TestSimInstrument::setupRoundTrip() {
    QFETCH(QString, def);
    QFETCH(int, role);
    QFETCH(qint64, value);
    QFETCH(QByteArray, readReply);
    auto inst = make(def);
    QCOMPARE(writeRole(*inst, role, value), 0);
    const ParameterTable& t = inst->table();
    const int words = ParameterTable::typeSize(t.entry(t.findRole(role)).type) == 4 ? 2 : 1;
    QCOMPARE(ask(*inst, request(0x03, reg(*inst, role), {quint16(words)})).toHex(),
             readReply.toLower());
    QVERIFY(inst->unsaved());
}

void TestSimInstrument::readAcrossEntries() {
    auto inst = make();
    // Registers 1-50 of program 12 are all setup entries; one read gets them.
    QCOMPARE(ask(*inst, request(0x03, 1, {50})).size(), 3 + 100);
    QCOMPARE(exceptionOf(ask(*inst, request(0x03, 1, {51}))), 2);
    // The filter sits at register 22 (offset 22 in the shipped file): a fixed vector.
    QCOMPARE(codec::componi_frame(ask(*inst, body("010600160007"))),
             QByteArray(":010600160007DC\r\n"));
    QCOMPARE(codec::componi_frame(ask(*inst, body("010300160001"))),
             QByteArray(":0103020007F3\r\n"));
    // The command register reads as idle.
    QCOMPARE(readRole(*inst, simrole::kCommand), 0);
}

void TestSimInstrument::calibrationWindow() {
    auto inst = make();
    const int w = calWriteReg(*inst, QStringLiteral("CALWGT"));
    QCOMPARE(w, 0x6006);
    QCOMPARE(ask(*inst, writeMany(w, {0x0001, 0x86A0})), body("011060060002"));
    QCOMPARE(readValue(ask(*inst, request(0x03, w + 48, {2}))), 100000);
    // Calibration is written at +0 and read at +48, and nowhere else.
    QCOMPARE(exceptionOf(ask(*inst, request(0x03, w, {2}))), 2);
    QCOMPARE(exceptionOf(ask(*inst, writeMany(w + 48, {0, 1}))), 2);
    // The calibration flag is entry 59 and takes only 0 or 1.
    QCOMPARE(inst->parameters().entryNamed(QStringLiteral("CALFLAG")), 59);
    const int flag = calWriteReg(*inst, QStringLiteral("CALFLAG"));
    QCOMPARE(exceptionOf(ask(*inst, writeMany(flag, {2}))), 3);
    QCOMPARE(exceptionOf(ask(*inst, writeMany(flag, {1}))), 0);
}

void TestSimInstrument::refusedRequests_data() {
    QTest::addColumn<QString>("def");
    QTest::addColumn<int>("role");  // -1: the request below as it stands
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("code");
    const QString d12 = QStringLiteral("DATV1218.def");
    const QString d35 = QStringLiteral("DATV3512.def");
    QTest::newRow("filter 10") << d12 << 15 << qint64(10) << QByteArray() << 3;
    QTest::newRow("address 0") << d12 << 30 << qint64(0) << QByteArray() << 3;
    QTest::newRow("address 128") << d12 << 30 << qint64(128) << QByteArray() << 3;
    QTest::newRow("scale division 15") << d12 << 0 << qint64(15) << QByteArray() << 3;
    QTest::newRow("functional mode 3") << d12 << 14 << qint64(3) << QByteArray() << 3;
    QTest::newRow("baud index 5") << d12 << 28 << qint64(5) << QByteArray() << 3;
    QTest::newRow("protocol 7") << d12 << 29 << qint64(7) << QByteArray() << 3;
    QTest::newRow("frame 9") << d12 << 32 << qint64(9) << QByteArray() << 3;
    QTest::newRow("fieldbus protocol 7") << d12 << 33 << qint64(7) << QByteArray() << 3;
    QTest::newRow("analog mode 3") << d12 << 37 << qint64(3) << QByteArray() << 3;
    QTest::newRow("analog range 4") << d12 << 38 << qint64(4) << QByteArray() << 3;
    QTest::newRow("output word mode 3") << d12 << 20 << qint64(3) << QByteArray() << 3;
    QTest::newRow("max weight 0") << d12 << 10 << qint64(0) << QByteArray() << 3;
    QTest::newRow("negative motion as typed") << d12 << 16 << qint64(0xFFFF) << QByteArray() << 3;
    QTest::newRow("analog full-scale regulation 999")
        << d12 << 40 << qint64(999) << QByteArray() << 3;
    QTest::newRow("0 ALL 2") << d35 << 42 << qint64(2) << QByteArray() << 3;
    QTest::newRow("u8 IP byte 256") << d35 << 43 << qint64(256) << QByteArray() << 3;
    QTest::newRow("unknown command code") << d12 << 6 << qint64(0x55) << QByteArray() << 3;
    QTest::newRow("command with a high byte") << d12 << 6 << qint64(0x0120) << QByteArray() << 3;
    QTest::newRow("unknown holding register")
        << d12 << -1 << qint64(0) << QByteArray("010305000001") << 2;
    QTest::newRow("unknown input register")
        << d12 << -1 << qint64(0) << QByteArray("010400000001") << 2;
    QTest::newRow("write to the data section")
        << d12 << -1 << qint64(0) << QByteArray("010601000001") << 2;
    QTest::newRow("0x06 on half a 32-bit entry")
        << d12 << -1 << qint64(0) << QByteArray("0106000E0001") << 2;
    QTest::newRow("0x10 into the middle of an entry")
        << d12 << -1 << qint64(0) << QByteArray("0110000F00010200 01") << 2;
    QTest::newRow("0x10 byte count wrong")
        << d12 << -1 << qint64(0) << QByteArray("011000160001030007") << 3;
    QTest::newRow("read count 0") << d12 << -1 << qint64(0) << QByteArray("010300010000") << 3;
    QTest::newRow("read count 126") << d12 << -1 << qint64(0) << QByteArray("01030001007E") << 3;
    QTest::newRow("coil 2") << d12 << -1 << qint64(0) << QByteArray("01010000 0003") << 2;
    QTest::newRow("coil write outside the output test")
        << d12 << -1 << qint64(0) << QByteArray("01050000FF00") << 3;
    QTest::newRow("unknown function") << d12 << -1 << qint64(0) << QByteArray("0111") << 1;
}

void TestSimInstrument::refusedRequests() {
    QFETCH(QString, def);
    QFETCH(int, role);
    QFETCH(qint64, value);
    QFETCH(QByteArray, raw);
    QFETCH(int, code);
    auto inst = make(def);
    const bool wasUnsaved = inst->unsaved();
    if (role >= 0) {
        const qint64 before = readRole(*inst, role);
        QCOMPARE(writeRole(*inst, role, value), code);
        QCOMPARE(readRole(*inst, role), before);
    } else {
        const QByteArray b = QByteArray::fromHex(raw.replace(' ', ""));
        const QByteArray reply = ask(*inst, b);
        // Exception replies: address, function | 0x80, code.
        QCOMPARE(reply.size(), 3);
        QCOMPARE(quint8(reply[1]), quint8(b[1] | 0x80));
        QCOMPARE(int(reply[2]), code);
    }
    QCOMPARE(inst->unsaved(), wasUnsaved);
}

void TestSimInstrument::otherAddressesAndAddressChange() {
    auto inst = make();
    QVERIFY(!inst->handleRequest(request(0x04, 5, {1}, 2)).forUs);
    QVERIFY(!inst->handleRequest(request(0x04, 5, {1}, 0)).forUs);
    // The echo of an address change still comes from the old address...
    const QByteArray echo = ask(*inst, request(0x06, reg(*inst, simrole::kAddress), {5}));
    QCOMPARE(int(echo[0]), 1);
    // ...and from the next request on only the new one is answered.
    QVERIFY(!inst->handleRequest(request(0x04, 5, {1}, 1)).forUs);
    const SimInstrument::Result r = inst->handleRequest(request(0x04, 5, {1}, 5));
    QVERIFY(r.forUs);
    QCOMPARE(int(r.reply[0]), 5);
}

void TestSimInstrument::tareZeroPeak() {
    auto inst = make();
    inst->setLoad(100);
    settle(*inst);
    QCOMPARE(command(*inst, proto::kCmdTare), 0);
    settle(*inst);
    QCOMPARE(liveWeight(*inst, simrole::kNetWeight, 0x01), 0);
    QCOMPARE(liveWeight(*inst, simrole::kGrossWeight, 0x02), 100);
    QVERIFY(inst->statusByte() & 0x80);  // net shown
    inst->setLoad(70);
    settle(*inst);
    QCOMPARE(liveWeight(*inst, simrole::kNetWeight, 0x01), -30);
    QCOMPARE(readRole(*inst, simrole::kPeak), 100);

    QCOMPARE(command(*inst, proto::kCmdPeakReset), 0);
    QCOMPARE(readRole(*inst, simrole::kPeak), 70);
    QCOMPARE(command(*inst, proto::kCmdZero), 0);
    settle(*inst);
    QCOMPARE(liveWeight(*inst, simrole::kGrossWeight, 0x02), 0);
    QCOMPARE(liveWeight(*inst, simrole::kNetWeight, 0x01), 0);
    QVERIFY(!(inst->statusByte() & 0x80));
    // Tare on an empty scale clears the tare rather than taking a negative one.
    inst->setLoad(100);
    settle(*inst);
    QCOMPARE(command(*inst, proto::kCmdTare), 0);
    QCOMPARE(liveWeight(*inst, simrole::kNetWeight, 0x01), 0);
    inst->setLoad(60);
    settle(*inst);
    QCOMPARE(command(*inst, proto::kCmdTare), 0);
    QCOMPARE(liveWeight(*inst, simrole::kNetWeight, 0x01), -10);
    QVERIFY(!(inst->statusByte() & 0x80));
    // Tare, zero and peak reset are commands, not parameter changes.
    QVERIFY(!inst->unsaved());
}

void TestSimInstrument::calibrationCommands() {
    auto inst = make();
    const auto calValue = [&](const char* name) {
        const int r = calWriteReg(*inst, QLatin1String(name)) + 48;
        const int words = QByteArray(name) == "CALFLAG" ? 1 : 2;
        return readValue(ask(*inst, request(0x03, r, {quint16(words)})));
    };
    inst->setLoad(10);
    settle(*inst);
    QCOMPARE(command(*inst, proto::kCmdCalibrationZero), 0);
    QCOMPARE(calValue("CALZERO"), 5000);
    settle(*inst);
    QCOMPARE(liveWeight(*inst, simrole::kGrossWeight, 0x02), 0);

    // Acquire refuses a known weight of nothing and a scale without load.
    QCOMPARE(writeRole(*inst, simrole::kCommandArgument, 0), 0);
    inst->setLoad(510);
    settle(*inst);
    QCOMPARE(command(*inst, proto::kCmdAcquire), 3);
    QCOMPARE(writeRole(*inst, simrole::kCommandArgument, 1000), 0);
    inst->setLoad(10);
    settle(*inst);
    QCOMPARE(command(*inst, proto::kCmdAcquire), 3);
    QCOMPARE(calValue("CALFLAG"), 0);

    // 500 kg above zero called 1000 divisions: the scale now reads double.
    inst->setLoad(510);
    settle(*inst);
    QCOMPARE(command(*inst, proto::kCmdAcquire), 0);
    QCOMPARE(calValue("CALFLAG"), 1);
    QCOMPARE(calValue("CALSPAN"), 255000);
    QCOMPARE(calValue("CALWGT"), 1000);
    QCOMPARE(liveWeight(*inst, simrole::kGrossWeight, 0x02), 1000);
    inst->setLoad(260);
    settle(*inst);
    QCOMPARE(liveWeight(*inst, simrole::kGrossWeight, 0x02), 500);
    QVERIFY(inst->unsaved());

    // The reset needs its pair: 0x13 alone is refused.
    QCOMPARE(command(*inst, proto::kCmdCalibrationReset), 3);
    QCOMPARE(calValue("CALFLAG"), 1);
    QCOMPARE(command(*inst, proto::kCmdCalibrationResetArm), 0);
    QCOMPARE(command(*inst, proto::kCmdCalibrationReset), 0);
    QCOMPARE(calValue("CALFLAG"), 0);
    QCOMPARE(calValue("CALZERO"), 0);
    settle(*inst);
    QCOMPARE(liveWeight(*inst, simrole::kGrossWeight, 0x02), 260);

    // A restored table without a slope is not used.
    const int flag = calWriteReg(*inst, QStringLiteral("CALFLAG"));
    QCOMPARE(exceptionOf(ask(*inst, writeMany(flag, {1}))), 0);
    QCOMPARE(command(*inst, proto::kCmdCalibrationRestored), 0);
    QCOMPARE(calValue("CALFLAG"), 0);
    QCOMPARE(liveWeight(*inst, simrole::kGrossWeight, 0x02), 260);
}

void TestSimInstrument::converterCalibration() {
    auto inst = make();
    const auto signal = [&] { return liveWeight(*inst, simrole::kSignal, 0x08); };
    inst->setLoad(500);
    settle(*inst);
    QCOMPARE(signal(), 500);
    // Calling 0.5 mV/V "0 mV" shifts the reading by that much.
    QCOMPARE(command(*inst, proto::kCmdAdcZero), 0);
    QCOMPARE(signal(), 0);
    inst->setLoad(0);
    settle(*inst);
    QCOMPARE(signal(), -500);
    QVERIFY(inst->statusByte() & 0x08);
    // A full-scale reference at or below the zero reference is refused.
    QCOMPARE(command(*inst, proto::kCmdAdcFullScale), 3);
    inst->setLoad(1500);
    settle(*inst);
    QCOMPARE(command(*inst, proto::kCmdAdcFullScale), 0);
    QCOMPARE(signal(), 2000);
    QVERIFY(inst->unsaved());
}

void TestSimInstrument::factoryResetNeedsCode() {
    QTemporaryDir dir;
    SimInstrument::Config cfg;
    cfg.stateFile = dir.filePath(QStringLiteral("state.json"));
    auto inst = make(QStringLiteral("DATV1218.def"), cfg);
    QCOMPARE(writeRole(*inst, simrole::kFilter, 7), 0);
    QCOMPARE(command(*inst, proto::kCmdSave), 0);
    QCOMPARE(writeRole(*inst, simrole::kCommandArgument, 1234), 0);
    QCOMPARE(command(*inst, proto::kCmdFactoryReset), 3);
    QCOMPARE(readRole(*inst, simrole::kFilter), 7);
    QCOMPARE(writeRole(*inst, simrole::kCommandArgument, ParameterSet::kFactoryResetCode), 0);
    QCOMPARE(command(*inst, proto::kCmdFactoryReset), 0);
    QCOMPARE(readRole(*inst, simrole::kFilter), 5);
    QCOMPARE(readRole(*inst, simrole::kCommandArgument), 0);
    QVERIFY(!inst->unsaved());
    // The stored set was reset too, on disk as well.
    auto again = make(QStringLiteral("DATV1218.def"), cfg);
    QVERIFY(again->loadState().isEmpty());
    QCOMPARE(readRole(*again, simrole::kFilter), 5);
}

void TestSimInstrument::workingAndStoredSets() {
    auto inst = make();
    QVERIFY(!inst->unsaved());
    QCOMPARE(writeRole(*inst, simrole::kFilter, 7), 0);
    QVERIFY(inst->unsaved());
    inst->parameters().restart();
    QCOMPARE(readRole(*inst, simrole::kFilter), 5);

    QCOMPARE(writeRole(*inst, simrole::kFilter, 7), 0);
    QCOMPARE(writeRole(*inst, simrole::kMaxWeight, 3000), 0);
    QCOMPARE(command(*inst, proto::kCmdSave), 0);
    QVERIFY(!inst->unsaved());
    // Test modes and command arguments are not parameters: no "unsaved".
    QCOMPARE(writeRole(*inst, simrole::kTestMode, 6), 0);
    QCOMPARE(writeRole(*inst, simrole::kAnalogTestValue, 640), 0);
    QCOMPARE(writeRole(*inst, simrole::kCommandArgument, 5), 0);
    QVERIFY(!inst->unsaved());
    inst->parameters().restart();
    QCOMPARE(readRole(*inst, simrole::kFilter), 7);
    QCOMPARE(readRole(*inst, simrole::kMaxWeight), 3000);
    QCOMPARE(readRole(*inst, simrole::kTestMode), 0);
}

void TestSimInstrument::stateFilePersistence() {
    QTemporaryDir dir;
    SimInstrument::Config cfg;
    cfg.stateFile = dir.filePath(QStringLiteral("state.json"));
    {
        auto inst = make(QStringLiteral("DATV3512.def"), cfg);
        QVERIFY(inst->loadState().isEmpty());  // no file yet: defaults, no complaint
        QCOMPARE(writeRole(*inst, simrole::kFilter, 7), 0);
        QCOMPARE(writeRole(*inst, 43, 10), 0);
        QVERIFY(!QFile::exists(cfg.stateFile));
    }
    {
        // Not saved: the next run starts from defaults.
        auto inst = make(QStringLiteral("DATV3512.def"), cfg);
        inst->loadState();
        QCOMPARE(readRole(*inst, simrole::kFilter), 5);
        QCOMPARE(writeRole(*inst, simrole::kFilter, 7), 0);
        QCOMPARE(writeRole(*inst, 43, 10), 0);
        QCOMPARE(writeRole(*inst, simrole::kAnalogZero, -42), 0);
        QCOMPARE(command(*inst, proto::kCmdSave), 0);
        QCOMPARE(writeRole(*inst, simrole::kFilter, 3), 0);  // after the save: lost
    }
    auto inst = make(QStringLiteral("DATV3512.def"), cfg);
    QVERIFY(inst->loadState().isEmpty());
    QCOMPARE(readRole(*inst, simrole::kFilter), 7);
    QCOMPARE(readRole(*inst, 43), 10);
    QCOMPARE(qint32(readRole(*inst, simrole::kAnalogZero)), -42);
    QVERIFY(!inst->unsaved());
    // Written by rename: nothing but the state file is left in its folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"state.json"});
}

void TestSimInstrument::stateFileSaveFailureIsReported() {
    QTemporaryDir dir;
    SimInstrument::Config cfg;
    cfg.stateFile = dir.filePath(QStringLiteral("missing-folder/state.json"));
    auto inst = make(QStringLiteral("DATV1218.def"), cfg);
    QCOMPARE(writeRole(*inst, simrole::kFilter, 7), 0);
    QCOMPARE(command(*inst, proto::kCmdSave), 4);
}

void TestSimInstrument::stateFileWithBadContent() {
    QTemporaryDir dir;
    SimInstrument::Config cfg;
    cfg.stateFile = dir.filePath(QStringLiteral("state.json"));
    QFile f(cfg.stateFile);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(
        R"({"format":1,"parameters":{"FILTER":12,"MAXWGT":2500,"NOSUCH":1,"FBPROT":2,"FBADDR":100,
              "SENS":1.5,"DIVIS":3},"adc":{"zero":5,"fullScale":1}})");
    f.close();
    auto inst = make(QStringLiteral("DATV1218.def"), cfg);
    const QStringList warnings = inst->loadState();
    QCOMPARE(warnings.size(), 5);  // FILTER, NOSUCH, SENS, FBADDR (above DeviceNet's 63), adc
    QCOMPARE(readRole(*inst, simrole::kFilter), 5);
    QCOMPARE(readRole(*inst, simrole::kMaxWeight), 2500);
    QCOMPARE(readRole(*inst, simrole::kScaleDivision), 3);
    QCOMPARE(readRole(*inst, 34), 1);
    QCOMPARE(readRole(*inst, simrole::kSensitivity), 20000);

    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("not json");
    f.close();
    auto fresh = make(QStringLiteral("DATV1218.def"), cfg);
    QCOMPARE(fresh->loadState().size(), 1);
    QCOMPARE(readRole(*fresh, simrole::kMaxWeight), 2000);
}

void TestSimInstrument::statusByte_data() {
    QTest::addColumn<double>("load");
    QTest::addColumn<bool>("tare");
    QTest::addColumn<int>("status");
    QTest::newRow("empty, stable") << 0.0 << false << 0x04;
    QTest::newRow("at capacity + 9 divisions") << 2009.0 << false << 0x04;
    QTest::newRow("overload") << 2010.0 << false << 0x44;
    QTest::newRow("negative: signs and below minimum") << -20.0 << false << 0x1F;
    QTest::newRow("negative, within minimum") << -9.0 << false << 0x0F;
    QTest::newRow("converter out of range") << 4000.0 << false << 0x60;
    QTest::newRow("tared, net shown") << 100.0 << true << 0x84;
}

void TestSimInstrument::statusByte() {
    QFETCH(double, load);
    QFETCH(bool, tare);
    QFETCH(int, status);
    auto inst = make();
    inst->setLoad(load);
    settle(*inst);
    if (tare)
        QCOMPARE(command(*inst, proto::kCmdTare), 0);
    settle(*inst);
    QCOMPARE(codec::componi_frame(ask(*inst, body("0107"))),
             codec::componi_frame(QByteArray("\x01\x07", 2) + char(status)));
}

void TestSimInstrument::stabilityFollowsMotion() {
    auto inst = make();
    settle(*inst);
    QVERIFY(inst->statusByte() & 0x04);
    inst->setLoad(500);
    advance(*inst, 100);
    QVERIFY(!(inst->statusByte() & 0x04));
    settle(*inst);
    QVERIFY(inst->statusByte() & 0x04);
    // With the filter at 0 the weight jumps; it is stable once the window has passed.
    QCOMPARE(writeRole(*inst, simrole::kFilter, 0), 0);
    inst->setLoad(800);
    advance(*inst, 100);
    QVERIFY(!(inst->statusByte() & 0x04));
    advance(*inst, WeighingModel::kStabilityWindowMs + 20);
    QVERIFY(inst->statusByte() & 0x04);
}

void TestSimInstrument::settlingTimeAndErrorCurve() {
    auto inst = make();
    settle(*inst);
    // A platform that swings for 3 s: the filter has long settled, yet
    // the weight is not stable before then.
    inst->scale().setSettlingMs(3000);
    inst->setLoad(500);
    advance(*inst, 2900);
    QVERIFY(!(inst->statusByte() & 0x04));
    QCOMPARE(inst->status().value("gross").toInt(), 500);
    advance(*inst, 200);
    QVERIFY(inst->statusByte() & 0x04);
    // The same load again does not start a new swing.
    inst->setLoad(500);
    advance(*inst, 10);
    QVERIFY(inst->statusByte() & 0x04);

    // 2 divisions too heavy at 1500 kg, none at 1000 and 2000, linear between.
    inst->scale().setSettlingMs(0);
    inst->scale().setErrorCurve({{1000, 0}, {1500, 2}, {2000, 0}});
    for (const auto& [load, shown] : std::vector<std::pair<double, int>>{
             {500, 500}, {1250, 1251}, {1500, 1502}, {1800, 1801}}) {
        inst->setLoad(load);
        settle(*inst);
        QCOMPARE(inst->status().value("gross").toInt(), shown);
    }
    inst->scale().setErrorCurve({});
    settle(*inst);
    QCOMPARE(inst->status().value("gross").toInt(), 1800);
}

void TestSimInstrument::outputTestAndSetpoints() {
    auto inst = make();
    const auto coils = [&] { return int(ask(*inst, body("010100000002")).at(3)); };
    // Setpoint 1 at 1000 with hysteresis 1 (defaults), mode Net.
    for (const auto& [load, expected] : std::vector<std::pair<double, int>>{
             {999, 0}, {1000, 1}, {999, 1}, {998, 0}, {1600, 3}, {1498, 1}}) {
        inst->setLoad(load);
        settle(*inst);
        QCOMPARE(coils(), expected);
    }
    // Normally closed output 1: inverted.
    QCOMPARE(writeRole(*inst, simrole::kOutput1Config, 4), 0);
    QCOMPARE(coils(), 0);

    // Output test: the coils follow 0x05 writes and nothing else.
    QCOMPARE(writeRole(*inst, simrole::kTestMode, 5), 0);
    QCOMPARE(coils(), 0);
    QCOMPARE(ask(*inst, body("01050001FF00")), body("01050001FF00"));
    QCOMPARE(coils(), 2);
    QCOMPARE(exceptionOf(ask(*inst, body("010500001234"))), 3);
    QCOMPARE(ask(*inst, body("01050000FF00")), body("01050000FF00"));
    QCOMPARE(coils(), 3);
    QCOMPARE(readValue(ask(*inst, request(0x04, inputReg(*inst, simrole::kOutputWord), {1}))), 3);
    QCOMPARE(ask(*inst, body("010500010000")), body("010500010000"));
    QCOMPARE(coils(), 1);
    // Leaving the test gives the outputs back to their setpoints.
    QCOMPARE(writeRole(*inst, simrole::kTestMode, 0), 0);
    QCOMPARE(coils(), 0);
}

void TestSimInstrument::analogOutput_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("testValue");
    QTest::addColumn<double>("load");
    QTest::addColumn<int>("expected");
    // Regulation values 1000 (zero) and 50000 (full scale) by default.
    QTest::newRow("normal, empty") << 0 << 0 << 0.0 << 1000;
    QTest::newRow("normal, half of 2000") << 0 << 0 << 1000.0 << 25500;
    QTest::newRow("normal, beyond full scale") << 0 << 0 << 3000.0 << 50000;
    QTest::newRow("zero regulation") << 3 << 0 << 1000.0 << 1000;
    QTest::newRow("full-scale regulation") << 4 << 0 << 0.0 << 50000;
    QTest::newRow("analog test 50 %") << 6 << 32000 << 0.0 << 25500;
    QTest::newRow("analog test 100 %") << 6 << 64000 << 0.0 << 50000;
}

void TestSimInstrument::analogOutput() {
    QFETCH(int, mode);
    QFETCH(int, testValue);
    QFETCH(double, load);
    QFETCH(int, expected);
    auto inst = make();
    inst->setLoad(load);
    settle(*inst);
    QCOMPARE(writeRole(*inst, simrole::kTestMode, mode), 0);
    QCOMPARE(writeRole(*inst, simrole::kAnalogTestValue, testValue), 0);
    const int anaout =
        inst->table().dataBase + inst->table().entry(inst->parameters().entryOfRole(57)).regOffset;
    QCOMPARE(inst->table().entry(inst->parameters().entryOfRole(57)).name,
             QStringLiteral("ANAOUT"));
    QCOMPARE(readValue(ask(*inst, request(0x04, anaout, {1}))), expected);
}

void TestSimInstrument::inputs() {
    auto inst = make();
    QCOMPARE(ask(*inst, body("010200000002")), body("01020100"));
    inst->setInput(1, true);
    QCOMPARE(ask(*inst, body("010200000002")), body("01020102"));
    inst->setInput(0, true);
    QCOMPARE(ask(*inst, body("010200010001")), body("01020101"));
    QCOMPARE(readValue(ask(*inst, request(0x04, inputReg(*inst, simrole::kInputWord), {1}))), 3);
}

void TestSimInstrument::faultEveryN_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("every");
    QTest::newRow("corrupt LRC every 3") << "corrupt-lrc" << 3;
    QTest::newRow("wrong address every 2") << "wrong-address" << 2;
    QTest::newRow("garbage every 1") << "garbage" << 1;
    QTest::newRow("garbage every 4") << "garbage" << 4;
}

void TestSimInstrument::faultEveryN() {
    QFETCH(QString, fault);
    QFETCH(int, every);
    FaultOptions o;
    if (fault == "corrupt-lrc")
        o.corruptLrcEvery = every;
    if (fault == "wrong-address")
        o.wrongAddressEvery = every;
    if (fault == "garbage")
        o.garbageEvery = every;
    FaultInjector inj(o);
    const QByteArray reply = body("0104020C12");
    for (int n = 1; n <= 3 * every; ++n) {
        const FaultInjector::Delivery d = inj.deliver(reply);
        QCOMPARE(d.pieces.size(), 1);
        const QByteArray wire = d.pieces.first();
        const bool hit = n % every == 0;
        QCOMPARE(d.faults.contains(fault), hit);
        const qsizetype colon = wire.indexOf(':');
        QCOMPARE(colon > 0, hit && fault == "garbage");
        QVERIFY(wire.left(colon).count('\r') + wire.left(colon).count('\n') == 0);
        QVERIFY(wire.endsWith("\r\n"));
        const QByteArray decoded = codec::hex2bin(wire.mid(colon + 1).chopped(2));
        QCOMPARE(codec::verifica_lrc(decoded), !(hit && fault == "corrupt-lrc"));
        QCOMPARE(int(decoded[0]), hit && fault == "wrong-address" ? 2 : 1);
        QCOMPARE(decoded.mid(1, reply.size() - 1), reply.mid(1));
    }
}

void TestSimInstrument::faultSilence() {
    FaultOptions after;
    after.silentAfter = 2;
    FaultInjector a(after);
    QCOMPARE((QList<bool>{a.silences(), a.silences(), a.silences(), a.silences()}),
             (QList<bool>{false, false, true, true}));
    FaultOptions always;
    always.silent = true;
    FaultInjector s(always);
    QVERIFY(s.silences());
}

void TestSimInstrument::faultSplitAndGarbage() {
    FaultOptions o;
    o.splitReplies = true;
    o.garbageEvery = 2;
    FaultInjector inj(o, 7);
    const QByteArray reply = body("010304000249F0");
    for (int n = 1; n <= 20; ++n) {
        const FaultInjector::Delivery d = inj.deliver(reply);
        QVERIFY(d.pieces.size() >= 2);
        QByteArray joined;
        for (int i = 0; i < d.pieces.size(); ++i) {
            QVERIFY(!d.pieces[i].isEmpty());
            // Only the last piece finishes the frame.
            QCOMPARE(d.pieces[i].contains('\n'), i == d.pieces.size() - 1);
            joined += d.pieces[i];
        }
        QCOMPARE(joined.mid(joined.indexOf(':')), codec::componi_frame(reply));
    }
}

void TestSimInstrument::faultRefusedRegister_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("refused");
    QTest::newRow("read from it") << QByteArray("0103000F0001") << true;
    QTest::newRow("read across it") << QByteArray("0103000E0002") << true;
    QTest::newRow("read ending before it") << QByteArray("0103000D0002") << false;
    QTest::newRow("read starting after it") << QByteArray("010300100001") << false;
    QTest::newRow("single write") << QByteArray("0106000F0001") << true;
    QTest::newRow("block write across it") << QByteArray("0110000E0002040000000A") << true;
    QTest::newRow("input registers") << QByteArray("0104000F0001") << true;
    QTest::newRow("coil 15 is not a register") << QByteArray("0105000FFF00") << false;
    QTest::newRow("status") << QByteArray("0107") << false;
}

void TestSimInstrument::faultRefusedRegister() {
    QFETCH(QByteArray, request);
    QFETCH(bool, refused);
    FaultOptions o;
    o.exception3Register = 15;
    QCOMPARE(FaultInjector(o).refuses(QByteArray::fromHex(request)), refused);
}

void TestSimInstrument::frameAssembler_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<int>("unterminated");
    QTest::newRow("one frame") << QList<QByteArray>{":0107F8\r\n"} << QList<QByteArray>{"0107F8"}
                               << 0;
    QTest::newRow("noise first") << QList<QByteArray>{"\x11#?:0107F8\r\n"}
                                 << QList<QByteArray>{"0107F8"} << 0;
    QTest::newRow("split in three")
        << QList<QByteArray>{":01", "07F", "8\r\n"} << QList<QByteArray>{"0107F8"} << 0;
    QTest::newRow("colon restarts")
        << QList<QByteArray>{":0104:0107F8\r\n"} << QList<QByteArray>{"0107F8"} << 0;
    QTest::newRow("two in one chunk") << QList<QByteArray>{":0107F8\r\n:0207F7\r\n"}
                                      << QList<QByteArray>{"0107F8", "0207F7"} << 0;
    QTest::newRow("LF without CR")
        << QList<QByteArray>{":0107F8\n"} << QList<QByteArray>{"0107F8"} << 1;
    QTest::newRow("line end without a colon")
        << QList<QByteArray>{"0107F8\r\n"} << QList<QByteArray>{} << 0;
    QTest::newRow("overlong frame dropped")
        << QList<QByteArray>{":" + QByteArray(FrameAssembler::kMaxFrameChars + 1, 'A'), "00\r\n"}
        << QList<QByteArray>{} << 0;
}

void TestSimInstrument::frameAssembler() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, frames);
    QFETCH(int, unterminated);
    FrameAssembler fa;
    QList<QByteArray> got;
    int open = 0;
    for (const QByteArray& c : chunks)
        for (const FrameAssembler::Frame& f : fa.feed(c)) {
            got << f.text;
            if (!f.terminated)
                ++open;
        }
    QCOMPARE(got, frames);
    QCOMPARE(open, unterminated);
}

QTEST_GUILESS_MAIN(TestSimInstrument)
#include "tst_siminstrument.moc"
