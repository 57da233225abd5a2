#include <QtTest>

#include "base/programfolder.h"
#include "fulldisk.h"
#include "services/callog.h"
#include "support/testhome.h"

namespace {

const QDateTime kWhen(QDate(2015, 12, 15), QTime(9, 5, 59));

}  // namespace

class TestCalLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void loadLines_data();
    void loadLines();
    void countAndRewrite();
    void datePattern_data();
    void datePattern();
    void dateInTheDesktopLanguage_data();
    void dateInTheDesktopLanguage();
    void systemLanguageOfTheProcess_data();
    void systemLanguageOfTheProcess();
    void nonNumericCountWritesNothing_data();
    void nonNumericCountWritesNothing();
    void failedWriteKeepsOldFile();
};

void TestCalLog::loadLines_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("date");
    QTest::newRow("two lines") << QByteArray("13\r\nTuesday 15/12/2015 09:05\r\n") << "13"
                               << "Tuesday 15/12/2015 09:05";
    QTest::newRow("LF only") << QByteArray("7\nMonday 14/12/2015 10:00\n") << "7"
                             << "Monday 14/12/2015 10:00";
    QTest::newRow("one line") << QByteArray("13\r\n") << "13"
                              << "";
    QTest::newRow("one line, no end") << QByteArray("13") << "13"
                                      << "";
    QTest::newRow("empty") << QByteArray() << ""
                           << "";
    QTest::newRow("text kept as it is") << QByteArray("abc\r\nlunes \xE9\r\nthird\r\n") << "abc"
                                        << QString::fromLatin1("lunes \xE9");
}

void TestCalLog::loadLines() {
    QFETCH(QByteArray, file);
    QFETCH(QString, count);
    QFETCH(QString, date);
    TestHome home(false);
    QVERIFY(!loadcallog().has_value());  // no file: the panel keeps its texts
    home.write("Cal_log.txt", file);
    const auto log = loadcallog();
    QVERIFY(log.has_value());
    QCOMPARE(log->count, count);
    QCOMPARE(log->date, date);
}

void TestCalLog::countAndRewrite() {
    TestHome home(false);
    // No file yet: counting starts from what the panel shows.
    const CalLogSave first = salvacallog("12", kWhen);
    QVERIFY2(first.ok, qPrintable(first.error));
    QCOMPARE(first.shown.count, QStringLiteral("13"));
    QCOMPARE(first.shown.date, QStringLiteral("Tuesday 15/12/2015 09:05"));
    QCOMPARE(home.read("Cal_log.txt"), QByteArray("13\r\nTuesday 15/12/2015 09:05\r\n"));

    const auto back = loadcallog();
    QVERIFY(back.has_value());
    const CalLogSave second = salvacallog(back->count, kWhen.addDays(1));
    QVERIFY(second.ok);
    QCOMPARE(home.read("Cal_log.txt"), QByteArray("14\r\nWednesday 16/12/2015 09:05\r\n"));
    QCOMPARE(QDir(home.path()).entryList(QDir::Files), QStringList{"Cal_log.txt"});
}

void TestCalLog::datePattern_data() {
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("text");
    QTest::newRow("design example")
        << QDateTime(QDate(2014, 12, 14), QTime(14, 44)) << "Sunday 14/12/2014 14:44";
    QTest::newRow("leading zeros, midnight")
        << QDateTime(QDate(2016, 1, 1), QTime(0, 0, 30)) << "Friday 01/01/2016 00:00";
    QTest::newRow("24-hour clock")
        << QDateTime(QDate(2017, 12, 31), QTime(23, 59, 59)) << "Sunday 31/12/2017 23:59";
    QTest::newRow("afternoon") << QDateTime(QDate(2026, 8, 12), QTime(15, 7))
                               << "Wednesday 12/08/2026 15:07";
}

void TestCalLog::datePattern() {
    QFETCH(QDateTime, when);
    QFETCH(QString, text);
    // This process runs in the C locale (main); the program's own default
    // locale is not the desktop's language and must not change the text.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    const QString got = formatCalibrationDate(when);
    QLocale::setDefault(saved);
    QCOMPARE(got, text);
}

void TestCalLog::dateInTheDesktopLanguage_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::newRow("Italian") << QLocale(QLocale::Italian, QLocale::Italy)
                             << QString::fromUtf8("marted\u00EC 15/12/2015 09:05");
    QTest::newRow("German: dots between the date parts")
        << QLocale(QLocale::German, QLocale::Germany) << "Dienstag 15.12.2015 09:05";
    QTest::newRow("Finnish: dots in the time too")
        << QLocale(QLocale::Finnish, QLocale::Finland) << "tiistai 15.12.2015 09.05";
    QTest::newRow("US English") << QLocale(QLocale::English, QLocale::UnitedStates)
                                << "Tuesday 15/12/2015 09:05";
}

void TestCalLog::dateInTheDesktopLanguage() {
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QCOMPARE(formatCalibrationDate(kWhen, locale), text);
}

void TestCalLog::systemLanguageOfTheProcess_data() {
    QTest::addColumn<QString>("lcAll");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("text");
    QTest::newRow("de_DE") << "de_DE.UTF-8" << QByteArray("Dienstag 15.12.2015 09:05")
                           << "Dienstag 15.12.2015 09:05";
    // Latin-1 as the files have always been.
    QTest::newRow("it_IT") << "it_IT.UTF-8" << QByteArray("marted\xEC 15/12/2015 09:05")
                           << QString::fromUtf8("marted\u00EC 15/12/2015 09:05");
    // A day name Latin-1 cannot hold goes as UTF-8, never as question marks.
    QTest::newRow("el_GR") << "el_GR.UTF-8"
                           << QByteArray(
                                  "\xCE\xA4\xCF\x81\xCE\xAF\xCF\x84\xCE\xB7 15/12/2015 09:05")
                           << QString::fromUtf8("\u03A4\u03C1\u03AF\u03C4\u03B7 15/12/2015 09:05");
}

void TestCalLog::systemLanguageOfTheProcess() {
    QFETCH(QString, lcAll);
    QFETCH(QByteArray, line);
    QFETCH(QString, text);
    // The desktop's language reaches a program through its environment; this
    // executable started again under another one writes the log.
    TestHome home(false);
    home.write("Cal_log.txt", "12\r\nMonday 14/12/2014 14:44\r\n");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", lcAll);
    env.insert("LANG", lcAll);
    env.insert("CALLOG_CHILD_HOME", home.path());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(home.read("Cal_log.txt"), "13\r\n" + line + "\r\n");
    // And it reads back as the text the panel showed.
    const auto log = loadcallog();
    QVERIFY(log.has_value());
    QCOMPARE(log->date, text);
}

void TestCalLog::nonNumericCountWritesNothing_data() {
    QTest::addColumn<QString>("count");
    QTest::newRow("empty") << "";
    QTest::newRow("letters") << "abc";
    QTest::newRow("trailing letter") << "12a";
    QTest::newRow("decimal") << "1.5";
    QTest::newRow("design date in the count") << "Monday 14/12/2014 14:44";
    QTest::newRow("at the top of the range") << "9223372036854775807";
}

void TestCalLog::nonNumericCountWritesNothing() {
    QFETCH(QString, count);
    TestHome home(false);
    home.write("Cal_log.txt", "old\r\nfile\r\n");
    const CalLogSave r = salvacallog(count, kWhen);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains("not a number"), qPrintable(r.error));
    QVERIFY(r.shown.count.isEmpty());
    QCOMPARE(home.read("Cal_log.txt"), QByteArray("old\r\nfile\r\n"));
}

void TestCalLog::failedWriteKeepsOldFile() {
    TestHome home(false);
    home.write("Cal_log.txt", "12\r\nMonday 14/12/2015 10:00\r\n");
    CalLogSave r;
    {
        FullDisk full;
        r = salvacallog("12", kWhen);
    }
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
    QCOMPARE(r.shown.count, QStringLiteral("13"));  // the calibration did happen
    QCOMPARE(home.read("Cal_log.txt"), QByteArray("12\r\nMonday 14/12/2015 10:00\r\n"));
    QCOMPARE(QDir(home.path()).entryList(QDir::Files), QStringList{"Cal_log.txt"});
}

int main(int argc, char** argv) {
    // Started by systemLanguageOfTheProcess: one calibration counted in the
    // program folder it is given, in this process's desktop language.
    const QString childHome = qEnvironmentVariable("CALLOG_CHILD_HOME");
    if (!childHome.isEmpty()) {
        QCoreApplication app(argc, argv);
        ProgramFolder::setPath(childHome);
        const auto log = loadcallog();
        return log && salvacallog(log->count, kWhen).ok ? 0 : 1;
    }
    // Expected texts here are the C locale's, whatever desktop runs the suite.
    qputenv("LC_ALL", "C");
    qputenv("LANG", "C");
    QCoreApplication app(argc, argv);
    TestCalLog test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_callog.moc"
