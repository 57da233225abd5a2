#include <QtTest>

#include "device/paramtable.h"
#include "support/testhome.h"

class TestDefinitions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shippedFilesMeetConstraints_data();
    void shippedFilesMeetConstraints();
    void choiceFromIdentification_data();
    void choiceFromIdentification();
    void fallbackToLowerRelease();
    void fallbackToOffline();
    void missingEverything();
    void badFiles_data();
    void badFiles();
    void positionsAndPartialSections();
    void markAndMissingSections_data();
    void markAndMissingSections();
    void goodAfterBadLeavesNoTrace_data();
    void goodAfterBadLeavesNoTrace();
    void imageAccessAndLines();
    void hexProgramCodeAndExtraEntries();
    void reloadForgetsRolesOfEarlierDefinition();
};

void TestDefinitions::shippedFilesMeetConstraints_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("setup");
    QTest::addColumn<int>("data");
    QTest::newRow("offline") << "DATV0000.def" << 82 << 51 << 6;
    QTest::newRow("program 12") << "DATV1218.def" << 73 << 42 << 15;
    QTest::newRow("program 35") << "DATV3512.def" << 82 << 51 << 6;
}

void TestDefinitions::shippedFilesMeetConstraints() {
    QFETCH(QString, file);
    QFETCH(int, entries);
    QFETCH(int, setup);
    QFETCH(int, data);
    TestHome home;
    ParameterTable t;
    const auto r = t.loadDefinition(home.file("Config/" + file));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(t.entryCount(), entries);
    QCOMPARE(t.setupCount(), setup);
    QCOMPARE(t.count(1), 57);  // calibration starts at entry 57
    QCOMPARE(t.dataCount(), data);
    QVERIFY(t.bytes(2) <= 256);
    QCOMPARE(t.entry(t.entryOfRole(51)).regOffset + t.dataBase,
             t.dataBase + t.entry(t.setupCount()).regOffset);
    QCOMPARE(t.entryOfRole(51), t.setupCount());

    auto typeOf = [&](int role) { return int(t.entry(t.entryOfRole(role)).type); };
    QCOMPARE(typeOf(5), 2);
    QCOMPARE(typeOf(6), 2);
    for (int role : {7, 3, 4, 10, 12, 13, 36})
        QVERIFY(typeOf(role) == 4 || typeOf(role) == 5);
    QCOMPARE(typeOf(41), 5);
    QCOMPARE(typeOf(39), 2);
    QCOMPARE(typeOf(40), 2);
    for (int role : {51, 52, 54})
        QCOMPARE(typeOf(role), 4);
    QCOMPARE(typeOf(53), 5);
    if (entries == 82)
        for (int role = 43; role <= 50; ++role)
            QCOMPARE(typeOf(role), 1);

    // Setup: offsets from 1, no shared register.
    QSet<int> used;
    for (int i = 0; i < t.setupCount(); ++i) {
        const auto& e = t.entry(i);
        QVERIFY2(e.regOffset >= 1, qPrintable(e.name));
        const int regs = ParameterTable::typeSize(e.type) == 4 ? 2 : 1;
        for (int k = 0; k < regs; ++k)
            QVERIFY2(!used.contains(e.regOffset + k), qPrintable(e.name));
        for (int k = 0; k < regs; ++k)
            used.insert(e.regOffset + k);
    }
    // Data: 16/32-bit, contiguous registers in image order.
    int nextReg = t.entry(t.setupCount()).regOffset;
    for (int i = t.setupCount(); i < t.count(1); ++i) {
        const auto& e = t.entry(i);
        QVERIFY(e.type >= 2 && e.type <= 5);
        QCOMPARE(e.regOffset, nextReg);
        nextReg += ParameterTable::typeSize(e.type) / 2;
    }
    QCOMPARE((t.bytes(1) - t.bytes(0)) / 2, nextReg - t.entry(t.setupCount()).regOffset);
    // Calibration: no u8, holds entry 59, fits below the read-back window at +48.
    int calRegs = 0;
    for (int i = t.count(1); i < t.count(2); ++i) {
        QVERIFY(t.entry(i).type != 1);
        calRegs =
            std::max(calRegs, t.entry(i).regOffset + ParameterTable::typeSize(t.entry(i).type) / 2);
    }
    QVERIFY(t.count(2) > ParameterTable::kCalibrationFlagEntry);
    QVERIFY(calRegs <= 48);
    QVERIFY(t.entry(0).name.size() <= 8);
}

void TestDefinitions::choiceFromIdentification_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("release");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("version");
    QTest::newRow("5/12") << 5 << 12 << "Progr.05 Rel.1.2"
                          << "0512";
    QTest::newRow("12/18") << 12 << 18 << "Progr.12 Rel.1.8"
                           << "1218";
    QTest::newRow("99") << 0x63 << 5 << "Progr.99 Rel.0.5"
                        << "9905";
    QTest::newRow("100 is hex") << 0x64 << 123 << "Progr.64 Rel.12.3"
                                << "6423";
    QTest::newRow("171") << 171 << 18 << "Progr.AB Rel.1.8"
                         << "AB18";
}

void TestDefinitions::choiceFromIdentification() {
    QFETCH(int, model);
    QFETCH(int, release);
    QFETCH(QString, caption);
    QFETCH(QString, version);
    TestHome home(false);
    const DefinitionChoice c = chooseDefinition(model, release);
    QCOMPARE(c.caption, caption);
    QCOMPARE(c.version, version);
    QCOMPARE(c.path, home.file("Config/DATV" + version + ".def"));
}

void TestDefinitions::fallbackToLowerRelease() {
    TestHome home;
    QFile::copy(home.file("Config/DATV1218.def"), home.file("Config/DATV1209.def"));
    ParameterTable t;
    t.definitionPath = home.file("Config/DATV1211.def");
    const auto r = t.loadDefinition(t.definitionPath);
    QVERIFY(r.ok);
    QCOMPARE(r.path, home.file("Config/DATV1209.def"));
    QCOMPARE(t.definitionPath, r.path);
    QCOMPARE(t.entryCount(), 73);
    QCOMPARE(t.entryOfRole(51), 42);  // program 12 roles
}

void TestDefinitions::fallbackToOffline() {
    TestHome home;
    ParameterTable t;
    const auto r = t.loadDefinition(home.file("Config/DATV1203.def"));
    QVERIFY(r.ok);
    QCOMPARE(r.path, home.file("Config/DATV0000.def"));
    QCOMPARE(t.entryOfRole(51), 51);
}

void TestDefinitions::missingEverything() {
    TestHome home(false);
    ParameterTable t;
    const auto r = t.loadDefinition(home.file("Config/DATV1218.def"));
    QVERIFY(!r.ok);
    QVERIFY(r.error.contains(QLatin1String("DATV0000.def")));
    QCOMPARE(t.entryCount(), 0);
}

void TestDefinitions::badFiles_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("entriesRead");
    const QByteArray head = "[SETUP]=0\r\nA=22\r\nB=43\r\n";
    QTest::newRow("blank line") << head + "\r\nC=25\r\n" << "line 4" << 2;
    QTest::newRow("no equals") << head + "C25\r\n" << "no \"=\"" << 2;
    QTest::newRow("bad offset") << head + "C=2x\r\n" << "register offset" << 2;
    QTest::newRow("bad base") << head + "[DATA]=1o\r\n" << "base register" << 2;
    QTest::newRow("fourth section") << head + "[DATA]=0\r\n[CALIBRA]=0\r\n[DATA]=0\r\n" << "line 6: section [DATA] out of order" << 2;
    QTest::newRow("sections swapped") << head + "[CALIBRA]=0\r\n[DATA]=0\r\n" << "line 5: section [DATA] out of order" << 2;
    QTest::newRow("header in other case") << head + "[Data]=256\r\n" << "line 4: \"[Data]\" is not a section header" << 2;
    QTest::newRow("header with a blank") << head + "[DATA] =256\r\n" << "line 4: \"[DATA] \" is not a section header" << 2;
    QTest::newRow("offset with a blank") << head + "C=2 2\r\n" << "line 4: register offset \" 2\" is not a whole number" << 2;
    QTest::newRow("offset with a trailing blank") << head + "C=22 \r\n" << "line 4: register offset \"2 \" is not a whole number" << 2;
    QTest::newRow("offset with a plus") << head + "C=2+2\r\n" << "line 4: register offset \"+2\"" << 2;
    QTest::newRow("offset with a minus") << head + "C=2-3\r\n" << "line 4: register offset \"-3\"" << 2;
    QTest::newRow("base with a blank") << head + "[DATA]=25 6\r\n" << "line 4: base register \"25 6\" is not a whole number" << 2;
    QByteArray many = "[SETUP]=0\r\n";
    for (int i = 0; i < 302; ++i)
        many += "P" + QByteArray::number(i) + "=2" + QByteArray::number(i + 2) + "\r\n";
    QTest::newRow("302 parameters") << many << "more than 301" << 301;
}

void TestDefinitions::badFiles() {
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QFETCH(int, entriesRead);
    TestHome home;
    home.write("Config/DATV4401.def", content);
    ParameterTable t;
    const auto r = t.loadDefinition(home.file("Config/DATV4401.def"));
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(error), qPrintable(r.error));
    QCOMPARE(t.count(0), entriesRead);
    QCOMPARE(t.entry(1).name, entriesRead == 301 ? QStringLiteral("P1") : QStringLiteral("B"));
    // Every byte the totals count can be read.
    const int counted = std::max({t.bytes(0), t.bytes(1), t.bytes(2)});
    QVERIFY(t.imageSize() >= counted);
    t.readImageByte(counted - 1);
}

void TestDefinitions::positionsAndPartialSections() {
    TestHome home;
    // Types 1, 3, 6 give positions 0, 1, 3; a header's value sets its base.
    home.write("Config/DATV4401.def",
               "[SETUP]=10\nA=12\nB=33\nC=64\n[DATA]=300\nD=41\n[CALIBRA]=4096\nE=22\n");
    ParameterTable t;
    QVERIFY(t.loadDefinition(home.file("Config/DATV4401.def")).ok);
    QCOMPARE(t.entry(0).imagePos, 0);
    QCOMPARE(t.entry(1).imagePos, 1);
    QCOMPARE(t.entry(2).imagePos, 3);
    QCOMPARE(t.entry(2).regOffset, 3);
    QCOMPARE(t.entry(3).imagePos, 7);
    QCOMPARE(t.entry(3).regOffset, 0);
    QCOMPARE(t.setupBase, 10);
    QCOMPARE(t.dataBase, 300);
    QCOMPARE(t.calibrationBase, 4096);
    QCOMPARE(t.bytes(2), 13);
    QCOMPARE(t.imageSize(), 14);  // total + 1 zero bytes

    // A last section without parameters is empty: it does not keep the
    // totals of the earlier definition, whose entries would then count.
    home.write("Config/DATV4402.def", "[SETUP]=0\nA=22\n[DATA]=0\nD=41\n[CALIBRA]=24576\n");
    QVERIFY(t.loadDefinition(home.file("Config/DATV4402.def")).ok);
    QCOMPARE(t.count(0), 1);
    QCOMPARE(t.count(1), 2);
    QCOMPARE(t.count(2), 2);
    QCOMPARE(t.bytes(2), t.bytes(1));
    QCOMPARE(t.calibrationCount(), 0);
}

void TestDefinitions::markAndMissingSections_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<int>>("counts");  // count(0), count(1), count(2)
    QTest::addColumn<int>("dataBase");
    QTest::addColumn<int>("calibrationBase");
    QTest::newRow("byte-order mark before [SETUP]")
        << QByteArray("\xEF\xBB\xBF[SETUP]=0\r\nA=22\r\n[DATA]=9\r\nD=41\r\n[CALIBRA]=77\r\nE=22\r\n")
        << QList<int>{1, 2, 3} << 9 << 77;
    QTest::newRow("no [CALIBRA]") << QByteArray("[SETUP]=0\r\nA=22\r\n[DATA]=9\r\nD=41\r\n")
                                  << QList<int>{1, 2, 2} << 9 << 0x6000;
    QTest::newRow("no [DATA]") << QByteArray("[SETUP]=0\r\nA=22\r\n[CALIBRA]=77\r\nE=22\r\n")
                               << QList<int>{1, 1, 2} << 0 << 77;
    QTest::newRow("setup only") << QByteArray("[SETUP]=0\r\nA=22\r\nB=23\r\n")
                                << QList<int>{2, 2, 2} << 0 << 0x6000;
    QTest::newRow("empty setup") << QByteArray("[SETUP]=0\r\n[DATA]=9\r\nD=41\r\n")
                                 << QList<int>{0, 1, 1} << 9 << 0x6000;
}

void TestDefinitions::markAndMissingSections() {
    QFETCH(QByteArray, content);
    QFETCH(QList<int>, counts);
    QFETCH(int, dataBase);
    QFETCH(int, calibrationBase);
    TestHome home;
    // The offline definition first: nothing of it may stay.
    ParameterTable t;
    QVERIFY(t.loadDefinition(home.file("Config/DATV0000.def")).ok);
    QVERIFY(t.calibrationCount() > 0);
    home.write("Config/DATV4401.def", content);
    const auto r = t.loadDefinition(home.file("Config/DATV4401.def"));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE((QList<int>{t.count(0), t.count(1), t.count(2)}), counts);
    QCOMPARE(t.entry(0).name, counts[0] > 0 ? QStringLiteral("A") : QStringLiteral("D"));
    QCOMPARE(t.entry(0).role, 0u);
    QCOMPARE(t.findRole(counts[2]), -1);
    QCOMPARE(t.dataBase, dataBase);
    QCOMPARE(t.calibrationBase, calibrationBase);
}

void TestDefinitions::goodAfterBadLeavesNoTrace_data() {
    QTest::addColumn<QByteArray>("bad");
    QTest::newRow("bad header after sections")
        << QByteArray("[SETUP]=5\r\nA=22\r\n[DATA]=9\r\nD=41\r\n[CALIBRA]=7\r\nE=22\r\n[Setup]=0\r\n");
    QTest::newRow("bad offset in the data section")
        << QByteArray("[SETUP]=5\r\nA=22\r\n[DATA]=9\r\nD=4 1\r\n");
    QTest::newRow("bad first line") << QByteArray("[SETUP ]=0\r\nA=22\r\n");
}

void TestDefinitions::goodAfterBadLeavesNoTrace() {
    QFETCH(QByteArray, bad);
    TestHome home;
    home.write("Config/DATV4401.def", bad);
    ParameterTable fresh;
    QVERIFY(fresh.loadDefinition(home.file("Config/DATV1218.def")).ok);
    ParameterTable t;
    QVERIFY(t.loadDefinition(home.file("Config/DATV0000.def")).ok);
    const auto r = t.loadDefinition(home.file("Config/DATV4401.def"));
    QVERIFY(!r.ok);
    QVERIFY2(r.error.startsWith("DATV4401.def, line "), qPrintable(r.error));
    QVERIFY(t.loadDefinition(home.file("Config/DATV1218.def")).ok);
    for (int k = 0; k < ParameterTable::kSections; ++k) {
        QCOMPARE(t.count(k), fresh.count(k));
        QCOMPARE(t.bytes(k), fresh.bytes(k));
    }
    QCOMPARE(t.setupBase, fresh.setupBase);
    QCOMPARE(t.dataBase, fresh.dataBase);
    QCOMPARE(t.calibrationBase, fresh.calibrationBase);
    for (int i = 0; i < t.entryCount(); ++i) {
        QCOMPARE(t.entry(i).name, fresh.entry(i).name);
        QCOMPARE(t.entry(i).role, fresh.entry(i).role);
        QCOMPARE(t.entry(i).imagePos, fresh.entry(i).imagePos);
    }
    for (int role = 0; role < ParameterTable::kRoleCount; ++role)
        QCOMPARE(t.findRole(role), fresh.findRole(role));
}

void TestDefinitions::imageAccessAndLines() {
    TestHome home;
    ParameterTable t;
    QVERIFY(t.loadDefinition(home.file("Config/DATV1218.def")).ok);
    const int size = t.imageSize();
    QCOMPARE(size, t.bytes(2) + 1);
    t.writeImageByte(31, 0xAB);
    t.writeImageByte(32, 0x0C);
    const QStringList lines = t.imageLines();
    QCOMPARE(lines.size(), (size + 15) / 16);
    QVERIFY(lines[1].endsWith(QLatin1String("AB")));
    QVERIFY(lines[2].startsWith(QLatin1String("0C")));
    QCOMPARE(lines[0].size(), 32);
    QCOMPARE(t.readImageByte(31), quint8(0xAB));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, t.readImageByte(size));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, t.writeImageByte(-1, 0));

    // A second definition keeps the image (the bytes are the instrument's).
    QVERIFY(t.loadDefinition(home.file("Config/DATV0000.def")).ok);
    QCOMPARE(t.readImageByte(31), quint8(0xAB));
    QVERIFY(t.imageSize() >= t.bytes(2));
}

void TestDefinitions::hexProgramCodeAndExtraEntries() {
    TestHome home;
    QFile::copy(home.file("Config/DATV3512.def"), home.file("Config/DATVAB18.def"));
    ParameterTable t;
    const auto r = t.loadDefinition(chooseDefinition(171, 18).path);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(t.entryOfRole(81), 81);
    QCOMPARE(t.findRole(42), 42);

    // More entries than the table: the extras have no role and nothing fails.
    QByteArray content = "[SETUP]=0\r\n";
    for (int i = 0; i < 80; ++i)
        content += "P" + QByteArray::number(i) + "=2" + QByteArray::number(i + 2) + "\r\n";
    content += "[DATA]=0\r\n[CALIBRA]=24576\r\n";
    home.write("Config/DATV1201.def", content);
    QVERIFY(t.loadDefinition(home.file("Config/DATV1201.def")).ok);
    QCOMPARE(t.entry(72).role, 81u);
    QCOMPARE(t.entry(73).role, ParameterTable::kNoRole);
    QCOMPARE(t.findRole(42), -1);  // program 12 has no role 42
}

void TestDefinitions::reloadForgetsRolesOfEarlierDefinition() {
    TestHome home;
    ParameterTable t;
    QVERIFY(t.loadDefinition(home.file("Config/DATV0000.def")).ok);
    QCOMPARE(t.entryCount(), 82);
    QCOMPARE(t.entryOfRole(45), 45);
    QCOMPARE(t.entry(80).role, 80u);
    QVERIFY(t.loadDefinition(home.file("Config/DATV1218.def")).ok);
    QCOMPARE(t.entryCount(), 73);
    // Entry 45 now holds role 54; role 45 belongs to no entry.
    QCOMPARE(t.findRole(45), -1);
    QCOMPARE(t.entryOfRole(45), ParameterTable::kAbsent);
    QCOMPARE(t.entry(45).role, 54u);
    QCOMPARE(t.findRole(54), 45);
    // Entries past the new definition's end hold no role either.
    QCOMPARE(t.entry(80).role, ParameterTable::kNoRole);

    // A small definition: only the roles it has lead anywhere.
    home.write("Config/DATV3501.def",
               "[SETUP]=0\r\nA=22\r\nB=23\r\n[DATA]=0\r\nC=24\r\n[CALIBRA]=24576\r\n");
    QVERIFY(t.loadDefinition(home.file("Config/DATV3501.def")).ok);
    QCOMPARE(t.findRole(2), 2);
    QCOMPARE(t.findRole(3), -1);
    QCOMPARE(t.entryOfRole(51), ParameterTable::kAbsent);
}

QTEST_GUILESS_MAIN(TestDefinitions)
#include "tst_definitions.moc"
