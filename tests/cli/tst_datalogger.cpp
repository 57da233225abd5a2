#include <QtTest>

#include "services/datalogger.h"
#include "support/testhome.h"

// The data logger's file format and stop rules, without a window.
class TestDataLogger : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void intervalEdit_data();
    void intervalEdit();
    void stopRules_data();
    void stopRules();
    void lineFormat();
    void appendOrOverwriteAndCount_data();
    void appendOrOverwriteAndCount();
    void vanishedFileIsCreatedAgain();
    void unwritableFileIsReported();
};

void TestDataLogger::intervalEdit_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("timerMs");
    QTest::newRow("below the minimum") << "0.05"
                                       << "0.2" << 200;
    QTest::newRow("half rounds away from zero") << "2.25"
                                                << "2.3" << 2300;
    QTest::newRow("whole seconds") << "1"
                                   << "1.0" << 1000;
    QTest::newRow("rounds to the minimum") << "0.15"
                                           << "0.2" << 200;
    QTest::newRow("negative") << "-4"
                              << "0.2" << 200;
    QTest::newRow("spaces around") << " 10.04 "
                                   << "10.0" << 10000;
    QTest::newRow("longer than a timer holds") << "1e8"
                                               << "100000000.0" << 2147483647;
    QTest::newRow("not a number") << "1,5"
                                  << "" << 0;
    QTest::newRow("empty") << ""
                           << "" << 0;
}

void TestDataLogger::intervalEdit() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, timerMs);
    const auto normalized = DataLogger::normalizeInterval(typed);
    if (shown.isEmpty()) {
        QVERIFY(!normalized);
        return;
    }
    QVERIFY(normalized);
    QCOMPARE(*normalized, shown);
    QCOMPARE(DataLogger::intervalMs(*normalized), timerMs);
}

void TestDataLogger::stopRules_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<qint64>("added");
    QTest::addColumn<qint64>("stopValue");
    QTest::addColumn<double>("interval");
    QTest::addColumn<bool>("stops");
    QTest::newRow("count: one short") << 1 << qint64(9) << qint64(10) << 1.0 << false;
    QTest::newRow("count: the tenth line") << 1 << qint64(10) << qint64(10) << 1.0 << true;
    QTest::newRow("time: 59 of 60 s") << 2 << qint64(59) << qint64(60) << 1.0 << false;
    QTest::newRow("time: 60 of 60 s") << 2 << qint64(60) << qint64(60) << 1.0 << true;
    // 2.3 s counts as 2 s a line: 30 lines for 60 s.
    QTest::newRow("time: fraction dropped, 29") << 2 << qint64(29) << qint64(60) << 2.3 << false;
    QTest::newRow("time: fraction dropped, 30") << 2 << qint64(30) << qint64(60) << 2.3 << true;
    QTest::newRow("time: below one second") << 2 << qint64(100000) << qint64(60) << 0.5 << false;
    QTest::newRow("manual never") << 0 << qint64(100000) << qint64(1) << 1.0 << false;
}

void TestDataLogger::stopRules() {
    QFETCH(int, mode);
    QFETCH(qint64, added);
    QFETCH(qint64, stopValue);
    QFETCH(double, interval);
    QFETCH(bool, stops);
    QCOMPARE(
        DataLogger::limitReached(static_cast<DataLogger::Mode>(mode), added, stopValue, interval),
        stops);
}

void TestDataLogger::lineFormat() {
    // A day-month-year locale, as in the file example; the zone the long
    // time format carries is not written.
    const DataLogger logger(QLocale(QLocale::English, QLocale::UnitedKingdom));
    const QDateTime at(QDate(2015, 5, 24), QTime(14, 3, 27));
    QCOMPARE(logger.lineFor(at, QStringLiteral("125.5")),
             QByteArray("24/05/2015;14:03:27;125.5\r\n"));
    // The display's text exactly, padding of the overload text included.
    QCOMPARE(logger.lineFor(at, QStringLiteral(" O-L ")),
             QByteArray("24/05/2015;14:03:27; O-L \r\n"));
}

void TestDataLogger::appendOrOverwriteAndCount_data() {
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<qint64>("startCount");
    QTest::newRow("overwrite empties the file") << true << qint64(0);
    QTest::newRow("no: new lines are appended") << false << qint64(5);
}

void TestDataLogger::appendOrOverwriteAndCount() {
    QFETCH(bool, overwrite);
    QFETCH(qint64, startCount);
    TestHome home(false);
    const QString path = home.file(QStringLiteral("weights.csv"));
    // Four whole lines and one without its line end: five lines, as counted.
    home.write(QStringLiteral("weights.csv"), "a\r\nb\r\nc\r\nd\r\ne");
    QCOMPARE(DataLogger::countLines(path), qint64(5));

    DataLogger logger(QLocale::c());
    QVERIFY(logger.start(path, overwrite));
    QCOMPARE(logger.count(), startCount);
    QCOMPARE(logger.startCount(), startCount);
    const QDateTime at(QDate(2020, 1, 2), QTime(3, 4, 5));
    for (int i = 0; i < 10; ++i)
        QVERIFY(logger.tick(at, QString::number(i)));
    QCOMPARE(logger.added(), qint64(10));
    QCOMPARE(logger.count(), startCount + 10);
    const QByteArray content = home.read(QStringLiteral("weights.csv"));
    QVERIFY(content.endsWith(logger.lineFor(at, QStringLiteral("9"))));
    if (overwrite)
        QVERIFY(content.startsWith(logger.lineFor(at, QStringLiteral("0"))));
    else
        QVERIFY(content.startsWith("a\r\nb\r\n"));
}

void TestDataLogger::vanishedFileIsCreatedAgain() {
    TestHome home(false);
    const QString path = home.file(QStringLiteral("log.csv"));
    DataLogger logger(QLocale::c());
    QVERIFY(logger.start(path, true));
    const QDateTime at = QDateTime::currentDateTime();
    QVERIFY(logger.tick(at, QStringLiteral("1")));
    QVERIFY(logger.tick(at, QStringLiteral("2")));
    QVERIFY(QFile::remove(path));
    QVERIFY(logger.tick(at, QStringLiteral("3")));
    // The count goes on; the file holds the line written since.
    QCOMPARE(logger.count(), qint64(3));
    QCOMPARE(DataLogger::countLines(path), qint64(1));
}

void TestDataLogger::unwritableFileIsReported() {
    TestHome home(false);
    const QString path = home.file(QStringLiteral("missing-folder/log.csv"));
    DataLogger logger(QLocale::c());
    QString error;
    QVERIFY(!logger.start(path, true, &error));
    QVERIFY(error.contains(QStringLiteral("log.csv")));
    // Appending never creates folders either: the tick fails and counts nothing.
    QVERIFY(logger.start(path, false));
    QVERIFY(!logger.tick(QDateTime::currentDateTime(), QStringLiteral("1"), &error));
    QCOMPARE(logger.count(), qint64(0));
}

QTEST_GUILESS_MAIN(TestDataLogger)
#include "tst_datalogger.moc"
