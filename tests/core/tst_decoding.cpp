#include <QtTest>

#include "device/controlmodel.h"
#include "device/decoding.h"
#include "device/paramtable.h"
#include "device/showrules.h"
#include "support/testhome.h"

namespace {

// A program folder, a loaded definition and a decoder over it.
struct Rig {
    explicit Rig(const QString& def = QStringLiteral("DATV0000.def")) {
        table.definitionPath = home.file(QStringLiteral("Config/") + def);
        const auto r = table.loadDefinition(table.definitionPath);
        if (!r.ok)
            qFatal("%s", qPrintable(r.error));
    }
    void show(int role, const QString& value) {
        const int i = table.findRole(role);
        QVERIFY2(i >= 0, "role not in the definition");
        table.entry(i).value = value;
        dec.showEntry(i);
    }
    void selectUnit(int index) {
        controls.setIndex(QStringLiteral("CBUnit"), index);
        dec.refreshDecimals();
    }

    TestHome home;
    ParameterTable table;
    DisplayState display;
    ControlModel controls;
    Decoder::LinkFlags link;
    Decoder dec{table, display, controls, [this] { return link; }};
};

}  // namespace

class TestDecoding : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void decodeTypes_data();
    void decodeTypes();
    void scaling_data();
    void scaling();
    void scaleUpOverflow();
    void shownTexts_data();
    void shownTexts();
    void comboOutOfList_data();
    void comboOutOfList();
    void outputWords_data();
    void outputWords();
    void modbusFrame_data();
    void modbusFrame();
    void scaleDivisionFallback_data();
    void scaleDivisionFallback();
    void refreshDecimalsLogs();
    void ipAssembly();
    void signsFromStatus_data();
    void signsFromStatus();
    void fieldbus_data();
    void fieldbus();
    void analogAvailability_data();
    void analogAvailability();
    void setupEntriesStopAtData();
    void defaultSelectionsFillOnlyEmpty();
    void controlModelDelivery();
    void encodeRanges_data();
    void encodeRanges();
    void ruleTableIsWhole();
    void roleTopBitIgnored();
};

// clang-format off
void TestDecoding::decodeTypes_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    // Entries of the test definition: 0 u8, 1 u16, 2 s16, 3 u32, 4 s32, 5 float, 6 no bytes.
    QTest::newRow("u8") << 0 << QByteArray("\xFF") << "255";
    QTest::newRow("u16 FF FE") << 1 << QByteArray("\xFF\xFE") << "65534";
    QTest::newRow("s16 FF FE") << 2 << QByteArray("\xFF\xFE") << "-2";
    QTest::newRow("s16 7F FF") << 2 << QByteArray("\x7F\xFF") << "32767";
    QTest::newRow("u32 max") << 3 << QByteArray("\xFF\xFF\xFF\xFF") << "4294967295";
    QTest::newRow("s32 -2") << 4 << QByteArray("\xFF\xFF\xFF\xFE") << "-2";
    QTest::newRow("s32 min") << 4 << QByteArray("\x80\x00\x00\x00", 4) << "-2147483648";
    QTest::newRow("float 1.5") << 5 << QByteArray("\x3F\xC0\x00\x00", 4) << "1.5";
    QTest::newRow("float 0.1") << 5 << QByteArray("\x3D\xCC\xCC\xCD") << "0.100000001490116";
    QTest::newRow("float 1e20") << 5 << QByteArray("\x60\xAD\x78\xEC") << "1.00000002004088E20";
    QTest::newRow("no bytes") << 6 << QByteArray() << "kept";
}
// clang-format on

void TestDecoding::decodeTypes() {
    QFETCH(int, entry);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    TestHome home;
    home.write(QStringLiteral("Config/DATV9901.def"),
               "[SETUP]=0\r\nA=12\r\nB=23\r\nC=34\r\nD=45\r\nE=57\r\nF=69\r\nG=0\r\n"
               "[DATA]=256\r\nH=41\r\n[CALIBRA]=24576\r\nI=22\r\n");
    ParameterTable table;
    QVERIFY(table.loadDefinition(home.file(QStringLiteral("Config/DATV9901.def"))).ok);
    DisplayState display;
    ControlModel controls;
    Decoder dec(table, display, controls);
    // Neighbours filled with a marker so a wrong position shows.
    for (int p = 0; p < table.imageSize(); ++p)
        table.writeImageByte(p, 0xA5);
    for (int k = 0; k < bytes.size(); ++k)
        table.writeImageByte(table.entry(entry).imagePos + k, quint8(bytes[k]));
    table.entry(entry).value = QStringLiteral("kept");
    dec.decodeEntries(entry, 1);
    QCOMPARE(table.entry(entry).value, text);
}

// clang-format off
void TestDecoding::scaling_data() {
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("scaledDown");
    QTest::newRow("0.002") << 1 << 3 << 2 << "500" << "1.000" << "1000" << "500";
    QTest::newRow("20") << 13 << 0 << 20 << "7" << "140" << "140" << "7";
    QTest::newRow("truncated") << 1 << 3 << 2 << "5" << "0.010" << "1001" << "500";
    QTest::newRow("negative truncated") << 1 << 3 << 2 << "-5" << "-0.010" << "-1001" << "-500";
    QTest::newRow("0.001 small") << 0 << 3 << 1 << "5" << "0.005" << "5" << "5";
    QTest::newRow("0.001 negative") << 0 << 3 << 1 << "-5" << "-0.005" << "-5" << "-5";
    QTest::newRow("0.05") << 5 << 2 << 5 << "2469" << "123.45" << "12345" << "2469";
    QTest::newRow("0.5") << 8 << 1 << 5 << "3" << "1.5" << "16" << "3";
}
// clang-format on

void TestDecoding::scaling() {
    QFETCH(int, unit);
    QFETCH(int, decimals);
    QFETCH(int, step);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(QString, scaledDown);
    Rig rig;
    rig.show(0, QString::number(unit));
    QCOMPARE(rig.controls.text(QStringLiteral("CBUnit")), Decoder::scaleDivisions().at(unit));
    QCOMPARE(rig.display.decimals, decimals);
    QCOMPARE(rig.display.divisionStep, step);
    rig.show(3, stored);
    QCOMPARE(rig.controls.text(QStringLiteral("EVal1")), shown);
    rig.show(36, stored);
    QCOMPARE(rig.controls.text(QStringLiteral("EanaFS")), shown);
    QCOMPARE(rig.dec.scaleDown(typed), scaledDown);
}

void TestDecoding::scaleUpOverflow() {
    Rig rig;
    rig.selectUnit(14);  // "50"
    QCOMPARE(rig.dec.scaleUp(QStringLiteral("42949672")), QStringLiteral("2147483600"));
    QVERIFY_THROWS_EXCEPTION(DecodeError, rig.dec.scaleUp(QStringLiteral("42949673")));
    QVERIFY_THROWS_EXCEPTION(DecodeError, rig.dec.scaleUp(QStringLiteral("-42949673")));
    // A live weight that overflows reaches the caller and leaves the old value.
    rig.display.netWeight = 17;
    QVERIFY_THROWS_EXCEPTION(DecodeError, rig.show(51, QStringLiteral("42949673")));
    QCOMPARE(rig.display.netWeight, 17);
}

// clang-format off
void TestDecoding::shownTexts_data() {
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::newRow("sensitivity") << 9 << 11 << "20012" << "ESensibility" << "2.0012";
    QTest::newRow("autozero") << 9 << 17 << "25" << "EAutozero" << "2.5";
    QTest::newRow("timer") << 9 << 22 << "7" << "ETime1" << "0.7";
    QTest::newRow("delay 2") << 9 << 27 << "120" << "EDelay2" << "12.0";
    QTest::newRow("response time") << 9 << 31 << "5" << "Eritardorisp" << "0.05";
    QTest::newRow("hysteresis step 2") << 4 << 25 << "15" << "EHys2" << "0.30";
    QTest::newRow("analog zero negative") << 7 << 41 << "-3" << "Eanazero" << "-0.6";
    QTest::newRow("max weight raw") << 1 << 10 << "3000" << "Eportata_max" << "3000";
    QTest::newRow("used weight raw") << 3 << 12 << "150" << "Efs" << "150";
    QTest::newRow("address") << 9 << 30 << "17" << "Eaddcom" << "17";
    QTest::newRow("filter") << 9 << 15 << "7" << "CbFilter" << "7";
    QTest::newRow("baud") << 9 << 28 << "4" << "CBBaud1" << "115200";
    QTest::newRow("range") << 9 << 38 << "1" << QStringLiteral("CBRange")
        << QStringLiteral("4÷20mA");
    QTest::newRow("0 ALL") << 9 << 42 << "1" << "CBAll" << "ON";
}
// clang-format on

void TestDecoding::shownTexts() {
    QFETCH(int, unit);
    QFETCH(int, role);
    QFETCH(QString, value);
    QFETCH(QString, control);
    QFETCH(QString, text);
    Rig rig;
    rig.selectUnit(unit);
    rig.controls.takeUpdates();
    rig.show(role, value);
    QCOMPARE(rig.controls.text(control), text);
    // The front end is told, and told to set that very control.
    const auto updates = rig.controls.takeUpdates();
    QVERIFY(std::any_of(updates.begin(), updates.end(),
                        [&](const ControlUpdate& u) { return u.control == control; }));
    if (role == 30) {
        QCOMPARE(rig.controls.text(QStringLiteral("Eaddress")), text);
        QCOMPARE(rig.display.commAddress, value.toInt());
    }
    if (role == 12) {
        QCOMPARE(rig.display.usedWeight, 150.0);
        QCOMPARE(rig.display.usedWeightCounts, 15000);
    }
}

// clang-format off
void TestDecoding::comboOutOfList_data() {
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("value");
    QTest::newRow("mode 3") << 14 << "3";
    QTest::newRow("filter 10") << 15 << "10";
    QTest::newRow("baud -1") << 28 << "-1";
    QTest::newRow("not a number") << 37 << "x";
    QTest::newRow("output mode 3") << 20 << "3";
    QTest::newRow("frame 9") << 32 << "9";
    QTest::newRow("address text") << 30 << "";
}
// clang-format on

void TestDecoding::comboOutOfList() {
    QFETCH(int, role);
    QFETCH(QString, value);
    Rig rig;
    rig.controls.setIndex(QStringLiteral("CBMode1"), 2);
    QVERIFY_THROWS_EXCEPTION(DecodeError, rig.show(role, value));
    // Nothing half-shown: the output word's boxes keep their selection.
    QCOMPARE(rig.controls.index(QStringLiteral("CBMode1")), 2);
}

// clang-format off
void TestDecoding::outputWords_data() {
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("OUT 1 29") << 20 << "29"
        << QStringList{"Gross", "N. Closed", "Negative", "Stable"};
    QTest::newRow("OUT 2 2") << 24 << "2" << QStringList{"Peak", "N. Open", "Positive", "Normal"};
    QTest::newRow("OUT 2 third item") << 24 << "32"
        << QStringList{"Net", "N. Open", "Positive", ""};
}
// clang-format on

void TestDecoding::outputWords() {
    QFETCH(int, role);
    QFETCH(QString, value);
    QFETCH(QStringList, texts);
    Rig rig;
    const QStringList boxes = role == 20 ? QStringList{"CBMode1", "CbType1", "CBSign1", "CBStab1"}
                                         : QStringList{"CBMode2", "CBType2", "CBSign2", "CBStab2"};
    rig.show(role, value);
    for (int k = 0; k < 4; ++k)
        QCOMPARE(rig.controls.text(boxes[k]), texts[k]);
    QCOMPARE(rig.controls.index(boxes[3]), value.toInt() >> 4);
}

// clang-format off
void TestDecoding::modbusFrame_data() {
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Modbus, 7 bits") << "5" << "2" << "N-8-1";
    QTest::newRow("Modbus, 8 bits") << "5" << "7" << "E-8-1";
    QTest::newRow("Slave, 7 bits") << "4" << "2" << "E-7-2";
}
// clang-format on

void TestDecoding::modbusFrame() {
    QFETCH(QString, protocol);
    QFETCH(QString, frame);
    QFETCH(QString, shown);
    Rig rig;
    rig.show(29, protocol);
    rig.show(32, frame);
    QCOMPARE(rig.controls.text(QStringLiteral("cbframe")), shown);
}

// clang-format off
void TestDecoding::scaleDivisionFallback_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("past the list") << "15";
    QTest::newRow("negative") << "-1";
    QTest::newRow("fraction") << "1.5";
    QTest::newRow("text") << "abc";
}
// clang-format on

void TestDecoding::scaleDivisionFallback() {
    QFETCH(QString, value);
    Rig rig;
    rig.selectUnit(4);
    for (int i = 0; i < ParameterTable::kMaxEntries; ++i)
        rig.table.entry(i).value = QStringLiteral("9");
    rig.controls.setText(QStringLiteral("EVal1"), QStringLiteral("1.5"));
    rig.show(0, value);
    for (int i = 0; i < ParameterTable::kMaxEntries; ++i)
        QCOMPARE(rig.table.entry(i).value, QStringLiteral("0"));
    // The selection stays, and the decimals are refreshed from it.
    QCOMPARE(rig.controls.index(QStringLiteral("CBUnit")), 4);
    QCOMPARE(rig.controls.text(QStringLiteral("EVal1")), QStringLiteral("1.50"));
}

void TestDecoding::refreshDecimalsLogs() {
    Rig rig;
    rig.selectUnit(1);
    rig.controls.setText(QStringLiteral("EVal1"), QStringLiteral("2"));
    rig.controls.setText(QStringLiteral("EVal2"), QStringLiteral("junk"));
    rig.controls.setText(QStringLiteral("EHys1"), QStringLiteral("3"));
    // A division that is no number, or rounds to no step, keeps the old step.
    rig.controls.setText(QStringLiteral("CBUnit"), QStringLiteral("x"));
    rig.dec.refreshDecimals();
    rig.controls.setText(QStringLiteral("CBUnit"), QStringLiteral("0.0001"));
    rig.dec.refreshDecimals();
    QCOMPARE(rig.display.divisionStep, 2);
    QCOMPARE(rig.display.decimalsMask, QStringLiteral("0.000"));
    QCOMPARE(rig.dec.scaleDown(QStringLiteral("7")), QStringLiteral("3"));
    QCOMPARE(rig.controls.text(QStringLiteral("EVal1")), QStringLiteral("2.000"));
    QCOMPARE(rig.controls.text(QStringLiteral("EHys1")), QStringLiteral("3"));  // after the failure
    QCOMPARE(
        rig.home.logMessages(),
        (QStringList{"Errore: Val div_errato(x)", "Errore: Aggiornamento virgole errato",
                     "Errore: Val div_errato(0.0001)", "Errore: Aggiornamento virgole errato"}));
}

void TestDecoding::ipAssembly() {
    Rig rig;
    const QStringList ip{"192", "168", "1", "10"};
    const QStringList mask{"255", "255", "0", "0"};
    for (int k = 0; k < 4; ++k)
        rig.show(43 + k, ip[k]);
    for (int k = 0; k < 4; ++k)
        rig.show(47 + k, mask[k]);
    QCOMPARE(rig.controls.text(QStringLiteral("MEIP")), QStringLiteral("192.168.1.10"));
    QCOMPARE(rig.controls.text(QStringLiteral("MESNET")), QStringLiteral("255.255.0.0"));
    // A second address starts afresh at its first byte.
    for (int k = 0; k < 4; ++k)
        rig.show(43 + k, QString::number(k));
    QCOMPARE(rig.controls.text(QStringLiteral("MEIP")), QStringLiteral("0.1.2.3"));
}

// clang-format off
void TestDecoding::signsFromStatus_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("net");
    QTest::addColumn<int>("gross");
    QTest::addColumn<int>("signal");
    QTest::newRow("all positive") << 0x00 << 200 << 400 << 1500;
    QTest::newRow("net negative") << 0x01 << -200 << 400 << 1500;
    QTest::newRow("gross negative") << 0x02 << 200 << -400 << 1500;
    QTest::newRow("signal negative") << 0x08 << 200 << 400 << -1500;
    QTest::newRow("other bits") << 0xF4 << 200 << 400 << 1500;
}
// clang-format on

void TestDecoding::signsFromStatus() {
    QFETCH(int, status);
    QFETCH(int, net);
    QFETCH(int, gross);
    QFETCH(int, signal);
    Rig rig;
    rig.selectUnit(1);  // step 2
    rig.display.statusFlags = status;
    rig.show(51, QStringLiteral("100"));
    rig.show(52, QStringLiteral("200"));
    rig.show(54, QStringLiteral("1500"));
    rig.show(53, QStringLiteral("-77"));
    rig.show(5, QStringLiteral("9"));
    QCOMPARE(rig.display.netWeight, net);
    QCOMPARE(rig.display.grossWeight, gross);
    QCOMPARE(rig.display.signal, signal);
    QCOMPARE(rig.display.adPoints, -77);
    QCOMPARE(rig.display.peakWeight, 18);
}

// clang-format off
void TestDecoding::fieldbus_data() {
    QTest::addColumn<QString>("def");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("protocols");
    QTest::addColumn<QStringList>("bauds");
    QTest::addColumn<QString>("shown");  // b baud, a address, i ip
    QTest::addColumn<int>("limit");
    QTest::newRow("12 DEVICENET") << "DATV1218.def" << "2" << 4
        << QStringList{"125k", "250k", "500k"} << "ba" << 63;
    QTest::newRow("12 CANOPEN") << "DATV1218.def" << "3" << 4
        << QStringList{"LSS", "20k", "50k", "125k", "250k", "500k", "800k", "1 M", "AUTO"} << "ba"
        << 126;
    QTest::newRow("PROFIBUS") << "DATV3512.def" << "1" << 7 << QStringList{} << "a" << 126;
    QTest::newRow("PROFINET") << "DATV3512.def" << "4" << 7 << QStringList{} << "i" << 99;
    QTest::newRow("ETHERNET/IP") << "DATV0000.def" << "5" << 7 << QStringList{} << "i" << 99;
    QTest::newRow("ETHERNET") << "DATV0000.def" << "6" << 7 << QStringList{} << "" << 99;
    QTest::newRow("NONE") << "DATV0000.def" << "0" << 7 << QStringList{} << "" << 99;
}
// clang-format on

void TestDecoding::fieldbus() {
    QFETCH(QString, def);
    QFETCH(QString, protocol);
    QFETCH(int, protocols);
    QFETCH(QStringList, bauds);
    QFETCH(QString, shown);
    QFETCH(int, limit);
    Rig rig(def);
    rig.display.fieldbusAddressLimit = 99;
    int captions = 0;
    rig.dec.fieldbusChanged = [&] { ++captions; };
    rig.show(33, protocol);
    QCOMPARE(captions, 1);
    QCOMPARE(rig.controls.items(QStringLiteral("CBProt2")).size(), protocols);
    QCOMPARE(rig.controls.index(QStringLiteral("CBProt2")), protocol.toInt());
    QCOMPARE(rig.controls.visible(QStringLiteral("CBAll")), protocols == 7);
    QCOMPARE(rig.controls.visible(QStringLiteral("lball")), protocols == 7);
    QCOMPARE(rig.controls.items(QStringLiteral("CBBaudField")), bauds);
    QCOMPARE(rig.controls.index(QStringLiteral("CBBaudField")), bauds.isEmpty() ? -1 : 0);
    QCOMPARE(rig.controls.visible(QStringLiteral("CBBaudField")), shown.contains('b'));
    QCOMPARE(rig.controls.visible(QStringLiteral("lbBaudField")), shown.contains('b'));
    QCOMPARE(rig.controls.visible(QStringLiteral("Echannel")), shown.contains('a'));
    QCOMPARE(rig.controls.visible(QStringLiteral("lbaddress2")), shown.contains('a'));
    QCOMPARE(rig.controls.visible(QStringLiteral("MEIP")), shown.contains('i'));
    QCOMPARE(rig.controls.visible(QStringLiteral("MESNET")), shown.contains('i'));
    QCOMPARE(rig.display.fieldbusAddressLimit, limit);
    // A baud rate arriving for a protocol without one selects nothing.
    rig.show(35, QStringLiteral("1"));
    QCOMPARE(rig.controls.text(QStringLiteral("CBBaudField")), bauds.value(1));
}

// clang-format off
void TestDecoding::analogAvailability_data() {
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<bool>("online");
    QTest::addColumn<bool>("offline");
    QTest::addColumn<bool>("available");
    QTest::newRow("online, no fieldbus") << "0" << true << false << true;
    QTest::newRow("offline mode") << "0" << false << true << true;
    QTest::newRow("no instrument") << "0" << false << false << false;
    QTest::newRow("fieldbus") << "1" << true << false << false;
}
// clang-format on

void TestDecoding::analogAvailability() {
    QFETCH(QString, protocol);
    QFETCH(bool, online);
    QFETCH(bool, offline);
    QFETCH(bool, available);
    Rig rig;
    rig.link.online = online;
    rig.link.offlineMode = offline;
    rig.show(33, protocol);
    QCOMPARE(rig.controls.enabled(QStringLiteral("Button6")), available);
    for (const char* name : {"lbanalog", "lbanalog1", "lbanalog2", "lbana1", "lbana2", "lbscr5",
                             "GBanatest", "GB_Anacal"})
        QCOMPARE(rig.controls.visible(QString::fromLatin1(name)), available);
}

void TestDecoding::setupEntriesStopAtData() {
    Rig rig(QStringLiteral("DATV1218.def"));
    QCOMPARE(rig.table.setupCount(), 42);
    for (int i = 0; i < rig.table.entryCount(); ++i)
        rig.table.entry(i).value = QStringLiteral("1");
    rig.table.entry(0).value = QStringLiteral("9");
    rig.table.entry(42).value = QStringLiteral("777");  // net weight, first data entry
    rig.table.entry(41).value = QStringLiteral("25");   // analog zero, last setup entry
    rig.dec.showSetupEntries();
    QCOMPARE(rig.display.netWeight, 0);
    QCOMPARE(rig.controls.text(QStringLiteral("Eanazero")), QStringLiteral("25"));
    QCOMPARE(rig.controls.text(QStringLiteral("CBUnit")), QStringLiteral("1"));
}

void TestDecoding::defaultSelectionsFillOnlyEmpty() {
    Rig rig;
    rig.dec.fillComboLists();
    rig.controls.setIndex(QStringLiteral("CBpeak"), 2);
    rig.controls.takeUpdates();
    rig.dec.defaultSelections();
    QCOMPARE(rig.controls.text(QStringLiteral("CBUnit")), QStringLiteral("1"));
    QCOMPARE(rig.controls.text(QStringLiteral("CBBaud1")), QStringLiteral("38400"));
    QCOMPARE(rig.controls.text(QStringLiteral("CbFilter")), QStringLiteral("5"));
    QCOMPARE(rig.controls.text(QStringLiteral("CBtipologPC")), QStringLiteral("Manual control"));
    QCOMPARE(rig.controls.text(QStringLiteral("CBpeak")), QStringLiteral("Peak"));
    const auto updates = rig.controls.takeUpdates();
    QVERIFY(std::none_of(updates.begin(), updates.end(), [](const ControlUpdate& u) {
        return u.control == QLatin1String("CBpeak");
    }));
}

void TestDecoding::controlModelDelivery() {
    ControlModel m;
    m.publish(ControlUpdate::setItems(QStringLiteral("C"), {"a", "b"}));
    m.publish(ControlUpdate::setIndex(QStringLiteral("C"), 5));
    QCOMPARE(m.index(QStringLiteral("C")), -1);
    m.setIndex(QStringLiteral("C"), 1);  // the user's own change is not echoed
    QCOMPARE(m.takeUpdates().size(), 2);
    QVERIFY(m.takeUpdates().isEmpty());

    m.publish(ControlUpdate::setText(QStringLiteral("E"), QStringLiteral("x")));
    QList<ControlUpdate> live;
    m.setHook([&](const ControlUpdate& u) { live.append(u); });
    m.publish(ControlUpdate::setVisible(QStringLiteral("E"), false));
    QCOMPARE(live.size(), 2);
    QCOMPARE(live[0], ControlUpdate::setText(QStringLiteral("E"), QStringLiteral("x")));
    QVERIFY(m.takeUpdates().isEmpty());

    // A fresh mirror fed the snapshot ends in the same state.
    ControlModel copy;
    for (const ControlUpdate& u : m.snapshot())
        copy.apply(u);
    for (const QString& name : {QStringLiteral("C"), QStringLiteral("E")}) {
        QCOMPARE(copy.text(name), m.text(name));
        QCOMPARE(copy.index(name), m.index(name));
        QCOMPARE(copy.visible(name), m.visible(name));
    }
}

// clang-format off
void TestDecoding::encodeRanges_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("u8 255") << 1 << "255" << true << QByteArray("\xFF");
    QTest::newRow("u8 256") << 1 << "256" << false << QByteArray();
    QTest::newRow("u8 -1") << 1 << "-1" << false << QByteArray();
    QTest::newRow("u16 65535") << 2 << "65535" << true << QByteArray("\xFF\xFF");
    QTest::newRow("u16 65536") << 2 << "65536" << false << QByteArray();
    QTest::newRow("s16 -2") << 3 << "-2" << true << QByteArray("\xFF\xFE");
    QTest::newRow("s16 -32768") << 3 << "-32768" << true << QByteArray("\x80\x00", 2);
    QTest::newRow("s16 32768") << 3 << "32768" << false << QByteArray();
    QTest::newRow("u32 max") << 4 << "2147483647" << true << QByteArray("\x7F\xFF\xFF\xFF");
    QTest::newRow("u32 -1") << 4 << "-1" << false << QByteArray();
    QTest::newRow("s32 -1") << 5 << "-1" << true << QByteArray("\xFF\xFF\xFF\xFF");
    QTest::newRow("s32 beyond") << 5 << "2147483648" << false << QByteArray();
    QTest::newRow("s32 200000") << 5 << "200000" << true << QByteArray("\x00\x03\x0D\x40", 4);
    QTest::newRow("fraction") << 2 << "10.5" << false << QByteArray();
    QTest::newRow("empty") << 2 << "" << false << QByteArray();
    QTest::newRow("float 1.5") << 6 << "1.5" << true << QByteArray("\x3F\xC0\x00\x00", 4);
    QTest::newRow("float too big") << 6 << "1e39" << false << QByteArray();
    QTest::newRow("float text") << 6 << "abc" << false << QByteArray();
    QTest::newRow("no bytes") << 0 << "5" << true << QByteArray();
}
// clang-format on

void TestDecoding::encodeRanges() {
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QByteArray, bytes);
    const EncodedValue r = encodeValue(type, text);
    QCOMPARE(r.ok, ok);
    QCOMPARE(r.bytes, bytes);
    QCOMPARE(r.error.isEmpty(), ok);
}

void TestDecoding::ruleTableIsWhole() {
    // One row per shown role, found by its role; the roles without a row are
    // exactly those that nothing shows.
    const QList<int> unshown = {1, 2, 6, 7, 8, 9, 39, 40};
    QSet<int> seen;
    for (const ShowRule& rule : Decoder::showRules()) {
        QVERIFY2(!seen.contains(rule.role), qPrintable(QString::number(rule.role)));
        seen.insert(rule.role);
        QCOMPARE(Decoder::showRuleFor(rule.role), &rule);
    }
    for (int role = 0; role < 128; ++role)
        QCOMPARE(seen.contains(role), role <= 54 && !unshown.contains(role));
    QCOMPARE(Decoder::showRuleFor(-1), nullptr);
    QCOMPARE(Decoder::showRuleFor(128), nullptr);

    // Each row names what it needs: a selection goes to a box the decoder
    // has items for, a live value to a display field, a handler exists.
    QStringList combos = Decoder::fixedCombos();
    combos << QStringLiteral("CBProt2") << QStringLiteral("CBBaudField");
    using Kind = ShowRule::Kind;
    for (const ShowRule& rule : Decoder::showRules()) {
        const QString at = QStringLiteral("role %1").arg(rule.role);
        const int named = int(std::count_if(rule.controls.begin(), rule.controls.end(),
                                            [](const char* c) { return c != nullptr; }));
        switch (rule.kind) {
            case Kind::Combo:
                QVERIFY2(combos.contains(QLatin1String(rule.controls[0])), qPrintable(at));
                break;
            case Kind::OutputWord:
                QCOMPARE(named, 4);
                for (const char* c : rule.controls)
                    QVERIFY2(combos.contains(QLatin1String(c)), qPrintable(at));
                break;
            case Kind::Live:
                QVERIFY2(rule.live != nullptr && named == 0, qPrintable(at));
                break;
            case Kind::IpFirst:
            case Kind::IpNext:
                QCOMPARE(named, 0);
                break;
            case Kind::Special:
                QVERIFY2(rule.special != nullptr && named > 0, qPrintable(at));
                break;
            default:
                QVERIFY2(named == 1, qPrintable(at));
        }
    }
}

void TestDecoding::roleTopBitIgnored() {
    Rig rig;
    rig.selectUnit(4);  // "0.02"
    const int i = rig.table.findRole(3);
    rig.table.entry(i).role |= 128;
    rig.table.entry(i).value = QStringLiteral("15");
    rig.dec.showEntry(i);
    QCOMPARE(rig.controls.text(QStringLiteral("EVal1")), QStringLiteral("0.30"));
}

QTEST_GUILESS_MAIN(TestDecoding)
#include "tst_decoding.moc"
