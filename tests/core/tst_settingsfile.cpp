#include <QtTest>

#include "fulldisk.h"
#include "services/settingsfile.h"
#include "support/testhome.h"

namespace {

const QByteArray kSample =
    "/dev/ttyUSB0\r\n38400\r\nEnglish\r\n-20\r\n300\r\n2\r\n17\r\n/home/tech/backups/\r\n"
    "\xE9t\xE9 = ;\t free\rtext \r\n/home/tech/weights.csv\r\n255\r\n2.5\r\n1\r\n60\r\n";

}  // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstRunDefaultsAndLayout();
    void everyLineSurvivesLoadAndSave_data();
    void everyLineSurvivesLoadAndSave();
    void damagedFilesFallBackPerField_data();
    void damagedFilesFallBackPerField();
    void fieldsOutsideLatin1Survive_data();
    void fieldsOutsideLatin1Survive();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
};

void TestSettingsFile::firstRunDefaultsAndLayout() {
    TestHome home(false);
    const auto loaded = SettingsFile::load(120, -45);
    QVERIFY(!loaded.found);
    QVERIFY(loaded.problems.isEmpty());
    QCOMPARE(loaded.values.porta, QStringLiteral("NO"));
    QCOMPARE(loaded.values.f_top, QStringLiteral("120"));
    QCOMPARE(loaded.values.f_left, QStringLiteral("-45"));
    QVERIFY(!QFile::exists(home.file("ISetup.dat")));   // nothing written until close
    QVERIFY(!QFile::exists(home.file("logfile.txt")));  // a missing file is not an error

    QString error;
    QVERIFY2(SettingsFile::save(loaded.values, &error), qPrintable(error));
    QCOMPARE(home.read("ISetup.dat"),
             QByteArray("NO\r\n19200\r\nItaliano\r\n120\r\n-45\r\n0\r\n1\r\n\r\n\r\n\r\n"
                        "15389113\r\n1000\r\n0\r\n1000\r\n"));
    QCOMPARE(QDir(home.path()).entryList(QDir::Files), QStringList{"ISetup.dat"});
}

void TestSettingsFile::everyLineSurvivesLoadAndSave_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("CR LF") << kSample << kSample;
    QByteArray lf = kSample;
    lf.replace("\r\n", "\n");
    QTest::newRow("LF only, written back with CR LF") << lf << kSample;
    QTest::newRow("no final line end") << kSample.chopped(2) << kSample;
    QTest::newRow("extra lines dropped") << kSample + "stray\r\n" << kSample;
}

void TestSettingsFile::everyLineSurvivesLoadAndSave() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, written);
    TestHome home(false);
    home.write("ISetup.dat", file);
    const auto loaded = SettingsFile::load(0, 0);
    QVERIFY(loaded.found);
    QVERIFY2(loaded.problems.isEmpty(), qPrintable(loaded.problems.join("; ")));
    QCOMPARE(loaded.values.firmwaredir, QString::fromLatin1("\xE9t\xE9 = ;\t free\rtext "));
    QCOMPARE(loaded.values.loginterval, QStringLiteral("2.5"));
    QVERIFY(SettingsFile::save(loaded.values));
    QCOMPARE(home.read("ISetup.dat"), written);
    QVERIFY(home.logMessages().isEmpty());
}

void TestSettingsFile::damagedFilesFallBackPerField_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("defaulted");  // fields that must fall back
    QTest::addColumn<QStringList>("logged");     // texts the one log line must name

    auto lines = [](int n) {
        QList<QByteArray> all = kSample.split('\n');
        QByteArray out;
        for (int i = 0; i < n; ++i)
            out += all[i] + '\n';
        return out;
    };
    auto with = [](int line, const QByteArray& value) {
        QList<QByteArray> all = kSample.split('\n');
        all[line - 1] = value + '\r';
        return all.join('\n');
    };
    QTest::newRow("empty file") << QByteArray() << QStringList{"*"}
                                << QStringList{"righe 1-14 mancanti"};
    QTest::newRow("ten lines") << lines(10)
                               << QStringList{"formcolor", "loginterval", "logmode", "lognum"}
                               << QStringList{"righe 11-14 mancanti"};
    QTest::newRow("thirteen lines")
        << lines(13) << QStringList{"lognum"} << QStringList{"riga 14 mancante"};
    QTest::newRow("top not a number") << with(4, "abc") << QStringList{"f_top"}
                                      << QStringList{"riga 4 (f_top) non intera: \"abc\""};
    QTest::newRow("several bad fields")
        << with(11, "15389113.5").replace("\r\n17\r\n", "\r\n\r\n").replace("38400", "fast")
        << QStringList{"velocita", "address", "formcolor"}
        << QStringList{"riga 2 (velocita)", "riga 7 (address)", "riga 11 (formcolor)"};
    QTest::newRow("comma interval") << with(12, "2,5") << QStringList{"loginterval"}
                                    << QStringList{"riga 12 (loginterval) non numerica"};
    QTest::newRow("infinite interval")
        << with(12, "inf") << QStringList{"loginterval"} << QStringList{"riga 12"};
    QTest::newRow("style past int range")
        << with(6, "99999999999") << QStringList{"f_style"} << QStringList{"riga 6"};
    QTest::newRow("mode and count")
        << with(13, "x").replace("\r\n60\r\n", "\r\n6O\r\n") << QStringList{"logmode", "lognum"}
        << QStringList{"riga 13", "riga 14"};
}

void TestSettingsFile::damagedFilesFallBackPerField() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, defaulted);
    QFETCH(QStringList, logged);
    TestHome home(false);
    home.write("ISetup.dat", file);
    const auto loaded = SettingsFile::load(77, 88);
    QVERIFY(loaded.found);

    const fdati good = SettingsFile::parse(kSample, 0, 0).values;
    const fdati fallback = SettingsFile::defaults(77, 88);
    const fdati& got = loaded.values;
    const QList<std::pair<const char*, QString fdati::*>> fields = {
        {"porta", &fdati::porta},
        {"velocita", &fdati::velocita},
        {"lingua", &fdati::lingua},
        {"f_top", &fdati::f_top},
        {"f_left", &fdati::f_left},
        {"f_style", &fdati::f_style},
        {"address", &fdati::address},
        {"directory", &fdati::directory},
        {"firmwaredir", &fdati::firmwaredir},
        {"logfilename", &fdati::logfilename},
        {"formcolor", &fdati::formcolor},
        {"loginterval", &fdati::loginterval},
        {"logmode", &fdati::logmode},
        {"lognum", &fdati::lognum}};
    for (const auto& [name, member] : fields) {
        const bool toDefault =
            defaulted.contains(QLatin1String(name)) || defaulted == QStringList{"*"};
        QVERIFY2(got.*member == (toDefault ? fallback.*member : good.*member),
                 qPrintable(QStringLiteral("%1 = \"%2\"").arg(QLatin1String(name), got.*member)));
    }

    const QStringList log = home.logMessages();
    QCOMPARE(log.size(), 1);
    QVERIFY(log[0].startsWith("Errore: ISetup.dat "));
    for (const QString& text : logged)
        QVERIFY2(log[0].contains(text), qPrintable(log[0]));
}

void TestSettingsFile::fieldsOutsideLatin1Survive_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QByteArray>("languageLine");  // the bytes on line 3
    QTest::addColumn<QByteArray>("folderLine");    // the bytes on line 8
    QTest::newRow("Greek language, Polish folder")
        << QString::fromUtf8("\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC")
        << QString::fromUtf8(
               "/home/tech/Kopie zapasowe \xC5\x81\xC3\xB3"
               "d\xC5\xBA/")
        << QByteArray("\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC")
        << QByteArray(
               "/home/tech/Kopie zapasowe \xC5\x81\xC3\xB3"
               "d\xC5\xBA/");
    // Latin-1 fields stay Latin-1, as the old program reads them.
    QTest::newRow("Latin-1 only") << QString::fromLatin1("Fran\xE7\x61is")
                                  << QString::fromLatin1("/home/t\xE9\x63h/")
                                  << QByteArray("Fran\xE7\x61is")
                                  << QByteArray("/home/t\xE9\x63h/");
    // Latin-1 bytes that happen to be valid UTF-8 would read back as other
    // text: such a field is written in UTF-8.
    QTest::newRow("Latin-1 text that looks like UTF-8")
        << QString::fromLatin1("\xC3\xA9t\xC3\xA9") << QString::fromUtf8("/\xD0\x94\xD0\xB0/")
        << QByteArray("\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9") << QByteArray("/\xD0\x94\xD0\xB0/");
}

void TestSettingsFile::fieldsOutsideLatin1Survive() {
    QFETCH(QString, language);
    QFETCH(QString, folder);
    QFETCH(QByteArray, languageLine);
    QFETCH(QByteArray, folderLine);
    TestHome home(false);
    home.write("ISetup.dat", kSample);
    fdati changed = SettingsFile::load(0, 0).values;
    changed.lingua = language;
    changed.directory = folder;
    QString error;
    QVERIFY2(SettingsFile::save(changed, &error), qPrintable(error));
    const QList<QByteArray> lines = home.read("ISetup.dat").split('\n');
    QCOMPARE(lines.value(2), languageLine + "\r");
    QCOMPARE(lines.value(7), folderLine + "\r");
    // The other fields, the old program's Latin-1 among them, are as they were.
    const QList<QByteArray> before = kSample.split('\n');
    for (int n : {0, 1, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13})
        QCOMPARE(lines.value(n), before.value(n));

    const auto loaded = SettingsFile::load(0, 0);
    QVERIFY2(loaded.problems.isEmpty(), qPrintable(loaded.problems.join("; ")));
    QVERIFY(loaded.values == changed);
    QVERIFY(SettingsFile::save(loaded.values));
    QCOMPARE(home.read("ISetup.dat").split('\n'), lines);
}

void TestSettingsFile::failedWriteKeepsOldFile_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("disk full") << "full";
    QTest::newRow("line break in a field") << "newline";
}

void TestSettingsFile::failedWriteKeepsOldFile() {
    QFETCH(QString, how);
    TestHome home(false);
    home.write("ISetup.dat", kSample);
    fdati changed = SettingsFile::load(0, 0).values;
    changed.porta = "/dev/ttyACM3";
    if (how == "newline")
        changed.logfilename = "/tmp/a\nb.csv";

    bool ok = true;
    QString error;
    {
        std::optional<FullDisk> full;
        if (how == "full")
            full.emplace();
        ok = SettingsFile::save(changed, &error);
    }
    QVERIFY(!ok);
    QVERIFY(!error.isEmpty());
    if (how != "full")
        QVERIFY2(error.contains("logfilename"), qPrintable(error));
    QCOMPARE(home.read("ISetup.dat"), kSample);
    QCOMPARE(QDir(home.path()).entryList(QDir::Files), QStringList{"ISetup.dat"});  // no temp left
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
