#include <QtTest>

#include "services/verification.h"

// The tolerance table and the verification's judgement of its readings.
class TestVerification : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void toleranceBands_data();
    void toleranceBands();
    void rowsJudged_data();
    void rowsJudged();
    void sequenceUpThenDown();
    void loadsParsed_data();
    void loadsParsed();
    void repeatability_data();
    void repeatability();
    void csvExact();
    void stableMustHold();
};

Q_DECLARE_METATYPE(AccuracyClass)
Q_DECLARE_METATYPE(VerificationKind)

void TestVerification::toleranceBands_data() {
    QTest::addColumn<AccuracyClass>("accuracy");
    QTest::addColumn<double>("load");
    QTest::addColumn<double>("initial");
    const struct {
        AccuracyClass c;
        const char* name;
        double first;
        double second;
    } classes[] = {
        {AccuracyClass::II, "II", 5000, 20000},
        {AccuracyClass::III, "III", 500, 2000},
        {AccuracyClass::IIII, "IIII", 50, 200},
    };
    for (const auto& c : classes) {
        const auto row = [&](const char* what, double load, double mpe) {
            QTest::addRow("%s %s (%g e)", c.name, what, load) << c.c << load << mpe;
        };
        row("empty", 0, 0.5);
        row("first band's top", c.first, 0.5);
        row("just above the first band", c.first + 0.01, 1.0);
        row("second band's top", c.second, 1.0);
        row("just above the second band", c.second + 0.01, 1.5);
        row("far above", c.second * 10, 1.5);
        // A load below zero is judged by its size.
        row("below zero", -(c.first + 1), 1.0);
    }
}

void TestVerification::toleranceBands() {
    QFETCH(AccuracyClass, accuracy);
    QFETCH(double, load);
    QFETCH(double, initial);
    QCOMPARE(maximumPermissibleError(accuracy, VerificationKind::Initial, load), initial);
    QCOMPARE(maximumPermissibleError(accuracy, VerificationKind::InService, load), 2 * initial);
}

void TestVerification::rowsJudged_data() {
    QTest::addColumn<double>("division");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<bool>("inService");
    QTest::addColumn<double>("applied");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("pass");
    // Class III, 1 kg division: 1500 kg is 1500 e, ±1 e.
    QTest::newRow("exact") << 1.0 << 0 << false << 1500.0 << "1500" << true;
    QTest::newRow("one e over, on the limit") << 1.0 << 0 << false << 1500.0 << "1501" << true;
    QTest::newRow("two e over") << 1.0 << 0 << false << 1500.0 << "1502" << false;
    QTest::newRow("two e under") << 1.0 << 0 << false << 1500.0 << "1498" << false;
    QTest::newRow("two e over, in service") << 1.0 << 0 << true << 1500.0 << "1502" << true;
    QTest::newRow("three e over, in service") << 1.0 << 0 << true << 1500.0 << "1503" << false;
    // 0.02 kg divisions: 10 kg is 500 e, ±0.5 e = 0.01 kg; decimal texts
    // must not fail a reading on the limit through rounding.
    QTest::newRow("half e on the limit, decimals") << 0.02 << 2 << false << 10.0 << "10.01" << true;
    QTest::newRow("one e off at 500 e") << 0.02 << 2 << false << 10.0 << "10.02" << false;
    QTest::newRow("overload is no reading") << 1.0 << 0 << false << 2000.0 << " O-L " << false;
    QTest::newRow("empty display") << 1.0 << 0 << false << 0.0 << "" << false;
}

void TestVerification::rowsJudged() {
    QFETCH(double, division);
    QFETCH(int, decimals);
    QFETCH(bool, inService);
    QFETCH(double, applied);
    QFETCH(QString, shown);
    QFETCH(bool, pass);
    Verification v(AccuracyClass::III,
                   inService ? VerificationKind::InService : VerificationKind::Initial, division,
                   decimals);
    v.record(0.0, QStringLiteral("0"), false);
    const VerificationRow& row = v.record(applied, shown, false);
    QCOMPARE(row.passed(), pass);
    QCOMPARE(v.passed(), pass);
    QCOMPARE(v.failingRows(), pass ? QList<int>{} : QList<int>{1});
}

void TestVerification::sequenceUpThenDown() {
    QCOMPARE(Verification::sequence({0, 500, 1000, 1500, 2000}),
             (QList<double>{0, 500, 1000, 1500, 2000, 1500, 1000, 500, 0}));
    // Typed in any order, with a repeat: applied once each way.
    QCOMPARE(Verification::sequence({100, 0, 50, 100}), (QList<double>{0, 50, 100, 50, 0}));
    QCOMPARE(Verification::sequence({7}), QList<double>{7});
    QCOMPARE(Verification::defaultLoads(2000, 1), (QList<double>{0, 500, 1000, 1500, 2000}));
    // 25 % of 30 kg is 7.5 kg; on a 2 kg division the load is 8 kg.
    QCOMPARE(Verification::defaultLoads(30, 2), (QList<double>{0, 8, 16, 22, 30}));
}

void TestVerification::loadsParsed_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QList<double>>("loads");
    QTest::newRow("plain") << "0,500,1000" << true << QList<double>{0, 500, 1000};
    QTest::newRow("spaces and decimals") << " 0 , 2.5" << true << QList<double>{0, 2.5};
    QTest::newRow("negative") << "0,-5" << false << QList<double>{};
    QTest::newRow("comma decimal") << "0;2,5" << false << QList<double>{};
    QTest::newRow("empty item") << "0,,5" << false << QList<double>{};
    QTest::newRow("word") << "zero" << false << QList<double>{};
}

void TestVerification::loadsParsed() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QList<double>, loads);
    const auto parsed = Verification::parseLoads(text);
    QCOMPARE(parsed.has_value(), ok);
    if (ok)
        QCOMPARE(*parsed, loads);
}

void TestVerification::repeatability_data() {
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<bool>("pass");
    // 1000 kg on a 1 kg class III scale: ±1 kg.
    QTest::newRow("same each time") << QStringList{"1000", "1000", "1000"} << true;
    QTest::newRow("spread of one e") << QStringList{"1000", "1001", "1000"} << true;
    QTest::newRow("spread of two e") << QStringList{"999", "1001", "1000"} << false;
    QTest::newRow("a reading missing") << QStringList{"1000", " O-L ", "1000"} << false;
    QTest::newRow("only two readings") << QStringList{"1000", "1000"} << false;
}

void TestVerification::repeatability() {
    QFETCH(QStringList, readings);
    QFETCH(bool, pass);
    Verification v(AccuracyClass::III, VerificationKind::Initial, 1.0, 0);
    v.record(1000, QStringLiteral("1000"), false);
    v.startRepeatability(1000);
    for (const QString& r : readings)
        v.recordRepeatability(r);
    QCOMPARE(v.repeatability()->passed(), pass);
    // The whole verification fails with its repeatability.
    QCOMPARE(v.passed(), pass);
}

void TestVerification::csvExact() {
    Verification v(AccuracyClass::III, VerificationKind::Initial, 0.5, 1);
    v.record(0, QStringLiteral("0.0"), false);
    v.record(750, QStringLiteral("751.0"), false);
    v.record(750, QStringLiteral(" O-L "), true);
    v.record(0, QStringLiteral("-0.0"), true);
    QCOMPARE(v.csv(), QByteArray("applied;shown;error;tolerance;verdict\n"
                                 "0.0;0.0;0.0;0.25;pass\n"
                                 "750.0;751.0;1.0;0.50;fail\n"
                                 "750.0;;;0.50;fail\n"
                                 "0.0;0.0;0.0;0.25;pass\n"));
}

void TestVerification::stableMustHold() {
    StableWatch w(2000);
    w.feed(0, true, QStringLiteral("0"));
    w.feed(1900, true, QStringLiteral("1"));
    QVERIFY(!w.settled());
    // One unstable reading starts the wait again.
    w.feed(1950, false, QStringLiteral("7"));
    w.feed(2000, true, QStringLiteral("1"));
    w.feed(3990, true, QStringLiteral("1"));
    QVERIFY(!w.settled());
    w.feed(4000, true, QStringLiteral("2"));
    QVERIFY(w.settled());
    QCOMPARE(w.shown(), QStringLiteral("2"));
    // A new load: what was stable before does not count.
    w.restart();
    QVERIFY(!w.settled());
    w.feed(4100, true, QStringLiteral("500"));
    QVERIFY(!w.settled());
    QCOMPARE(w.stableForMs(), 0);
}

QTEST_GUILESS_MAIN(TestVerification)
#include "tst_verification.moc"
