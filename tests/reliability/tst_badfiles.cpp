#include <sys/fsuid.h>
#include <unistd.h>

#include <QtTest>

#include "session/connection.h"
#include "base/eventlog.h"
#include "session/session.h"
#include "services/backupfile.h"
#include "services/backupservice.h"
#include "services/callog.h"
#include "services/settingsfile.h"
#include "support/recordingpresentation.h"
#include "support/simprocess.h"
#include "support/simrig.h"
#include "support/testhome.h"

// Damaged and unwritable files met by the running program: each is refused
// or reported in a clear way, and nothing else changes. The parsers' own
// cases are in tests/core; these are the ones seen from outside them.
class TestBadFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void garbledSettings_data();
    void garbledSettings();
    void refusedBackupChangesNothingOnTheLink();
    void brokenDefinitionOfAnInstrument_data();
    void brokenDefinitionOfAnInstrument();
    void readOnlyProgramFolder_data();
    void readOnlyProgramFolder();
};

namespace {

const QByteArray kGoodSettings =
    "/dev/ttyUSB0\r\n38400\r\nEnglish\r\n-20\r\n300\r\n2\r\n17\r\n/home/tech/backups/\r\n"
    "fw\r\n/home/tech/weights.csv\r\n255\r\n2.5\r\n1\r\n60\r\n";

// Function codes of the requests the simulator received since `from`.
QList<int> functionsSince(const SimProcess& sim, qsizetype from) {
    QList<int> out;
    for (const QJsonObject& r : sim.traffic().mid(from))
        out.append(r.value(QStringLiteral("function")).toInt());
    return out;
}

using Rig = SimRig;

// The program folder turned read-only for as long as this lives. Root
// passes permission bits, so for root the calling thread's filesystem
// identity becomes an unprivileged user, which drops that override.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder) : folder_(folder) {
        QFile::setPermissions(folder_, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                           QFileDevice::ReadOther | QFileDevice::ExeOther);
        if (geteuid() == 0) {
            setfsuid(65534);
            switched_ = setfsuid(static_cast<uid_t>(-1)) == 65534;
        }
    }
    ~ReadOnlyFolder() {
        if (geteuid() == 0)
            setfsuid(0);
        QFile::setPermissions(
            folder_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    // False when running as root without the means to drop the override.
    bool effective() const { return geteuid() != 0 || switched_; }

private:
    QString folder_;
    bool switched_ = false;
};

// Every file of a folder with its bytes, to see that nothing changed.
QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> out;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        QFile f(QDir(folder).filePath(name));
        out.insert(name, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("?"));
    }
    return out;
}

}  // namespace

// Damage the parser tests do not reach: binary noise, old Mac line ends,
// a runaway line. Loading reports once and never touches the file; what is
// then saved is clean and loads back without a report.
void TestBadFiles::garbledSettings_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("reported");

    QByteArray noise;
    for (int i = 0; i < 14; ++i) {
        for (int k = 0; k < 9; ++k)
            noise.append(static_cast<char>(
                (i * 37 + k * 101 + 1) % 256 == '\n' ? 0 : (i * 37 + k * 101 + 1) % 256));
        noise.append("\r\n");
    }
    QTest::newRow("binary noise") << noise << "riga 2 (velocita)";
    QByteArray crOnly = kGoodSettings;
    crOnly.replace("\r\n", "\r");
    QTest::newRow("CR line ends only") << crOnly << "righe 2-14 mancanti";
    QByteArray runaway = kGoodSettings;
    runaway.replace("\r\n-20\r\n", "\r\n" + QByteArray(200000, '7') + "x\r\n");
    QTest::newRow("200000-character line") << runaway << "riga 4 (f_top)";
    QTest::newRow("NUL bytes only") << QByteArray(512, '\0') << "righe 2-14 mancanti";
}

void TestBadFiles::garbledSettings() {
    QFETCH(QByteArray, file);
    QFETCH(QString, reported);
    TestHome home(false);
    home.write(QStringLiteral("ISetup.dat"), file);

    const SettingsFile::LoadResult loaded = SettingsFile::load(10, 20);
    QVERIFY(loaded.found);
    QCOMPARE(home.read(QStringLiteral("ISetup.dat")), file);
    const QStringList log = home.logMessages();
    QCOMPARE(log.size(), 1);
    QVERIFY2(log[0].contains(reported), qPrintable(log[0]));
    // The report quotes a bad value, never the whole of it.
    QVERIFY2(log[0].size() < 1000, qPrintable(QString::number(log[0].size())));
    // Every number the window applies is a number.
    bool ok = false;
    for (const QString& n : {loaded.values.velocita, loaded.values.f_top, loaded.values.f_left,
                             loaded.values.f_style, loaded.values.address, loaded.values.formcolor,
                             loaded.values.logmode, loaded.values.lognum}) {
        n.toInt(&ok);
        QVERIFY2(ok, qPrintable(n.left(40)));
    }
    loaded.values.loginterval.toDouble(&ok);
    QVERIFY(ok);

    QString error;
    QVERIFY2(SettingsFile::save(loaded.values, &error), qPrintable(error));
    const QByteArray saved = home.read(QStringLiteral("ISetup.dat"));
    QCOMPARE(saved.count("\r\n"), SettingsFile::kLines);
    const SettingsFile::LoadResult again = SettingsFile::load(10, 20);
    QVERIFY(again.problems.isEmpty());
    QVERIFY(again.values == loaded.values);
    QCOMPARE(home.logMessages().size(), 1);
}

// A restore of a file the program refuses, on a live link: the reason is
// given, nothing goes to the instrument, and the image, the definition in
// use and the link stay as they were.
void TestBadFiles::refusedBackupChangesNothingOnTheLink() {
    Rig rig;
    QVERIFY2(rig.start(), qPrintable(rig.sim.errorString()));
    QVERIFY(rig.session.waitUntil(
        [&] { return rig.session.link().online && rig.session.link().parametri_caricati; }, 10000));
    ParameterTable& t = rig.session.table();
    BackupService service(rig.session);
    int questions = 0;
    service.askContinue = [&](const QString&) {
        ++questions;
        return false;
    };

    const QByteArray good = BackupFile::makeBackupImage(t);
    QVERIFY(!good.isEmpty());
    QByteArray unknownTag = good;
    unknownTag.replace(260, 2, "Q7");
    QByteArray lowerHex = good;
    lowerHex.replace(266, 2, "1f");
    // Another model's file: its bytes would land on other registers.
    QByteArray foreign = good;
    foreign.replace(260, 2, "35").replace(266, 2, "12");
    const QList<std::pair<QString, QByteArray>> files = {
        {QStringLiteral("empty.mem"), QByteArray()},
        {QStringLiteral("short100.mem"), good.left(100)},
        {QStringLiteral("short267.mem"), good.left(267)},
        {QStringLiteral("unknown.mem"), unknownTag},
        {QStringLiteral("lowerhex.mem"), lowerHex},
        {QStringLiteral("foreign.mem"), foreign},
    };
    // The data section changes with every poll; the rest must not change.
    const auto fixedPart = [&t] { return t.image().left(t.bytes(0)) + t.image().mid(t.bytes(1)); };
    const QByteArray image = fixedPart();
    const QString version = t.definitionVersion;
    const QString path = t.definitionPath;
    const int entries = t.entryCount();
    const QString setpoint = t.entry(t.entryOfRole(3)).value;
    const qsizetype mark = rig.sim.traffic().size();
    const QStringList logBefore = rig.home.logMessages();

    for (const auto& [name, bytes] : files) {
        rig.home.write(name, bytes);
        QString error;
        QVERIFY2(!service.restore(rig.home.file(name), true, &error), qPrintable(name));
        QVERIFY2(error.contains(name), qPrintable(error));
    }
    QString error;
    QVERIFY(!service.restore(rig.home.file(QStringLiteral("absent.mem")), true, &error));
    QVERIFY2(error.contains(QLatin1String("not found")), qPrintable(error));

    rig.session.mySleep(300);
    for (int f : functionsSince(rig.sim, mark))
        QVERIFY2(f != 0x06 && f != 0x10, qPrintable(QString::number(f)));
    QCOMPARE(fixedPart(), image);
    QCOMPARE(t.definitionVersion, version);
    QCOMPARE(t.definitionPath, path);
    QCOMPARE(t.entryCount(), entries);
    QCOMPARE(t.entry(t.entryOfRole(3)).value, setpoint);
    QCOMPARE(questions, 0);
    QVERIFY(rig.session.link().online && rig.session.link().parametri_caricati);
    QCOMPARE(rig.home.logMessages(), logBefore);
}

// The instrument names a definition whose file is damaged. The load error
// is logged; the link must not go on against a half-loaded table.
void TestBadFiles::brokenDefinitionOfAnInstrument_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");

    QFile src(sourceDir() + QStringLiteral("/Config/DATV3512.def"));
    QVERIFY(src.open(QIODevice::ReadOnly));
    const QByteArray good = src.readAll();
    auto broken = [&](const QByteArray& from, const QByteArray& to) {
        QByteArray b = good;
        const qsizetype at = b.indexOf(from);
        b.replace(at, from.size(), to);
        return b;
    };
    // Damage after the first few setup lines, so part of the table loads.
    const QList<QByteArray> lines = good.split('\n');
    const QByteArray fifth = lines[5] + '\n';
    QTest::newRow("blank line") << broken(fifth, "\r\n" + fifth) << "line 6: no \"=\"";
    QTest::newRow("no equals sign") << broken(fifth, "GARBAGE\r\n" + fifth) << "line 6: no \"=\"";
    QTest::newRow("no type digit") << broken(fifth, "X=A5\r\n" + fifth) << "type digit";
    QTest::newRow("offset not a number") << broken(fifth, "X=2x7\r\n" + fifth) << "register offset";
    QTest::newRow("base not a number") << broken("[DATA]=", "[DATA]=9x") << "base register";
    QTest::newRow("fourth section") << good + "[DATA]=0\r\n" << "section [DATA] out of order";
    QTest::newRow("header in other case")
        << broken("[DATA]=", "[Data]=") << "\"[Data]\" is not a section header";
    QTest::newRow("offset with a blank")
        << broken(fifth, "X=2 7\r\n" + fifth) << "line 6: register offset \" 7\"";
    QByteArray many = good;
    for (int i = 0; i < 240; ++i)
        many += "X" + QByteArray::number(i) + "=2" + QByteArray::number(i + 100) + "\r\n";
    QTest::newRow("more than 301 parameters") << many << "more than 301";
    QTest::newRow("empty file") << QByteArray() << "";
}

void TestBadFiles::brokenDefinitionOfAnInstrument() {
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    Rig rig({QStringLiteral("--def"), sourceDir() + QStringLiteral("/Config/DATV3512.def"),
             QStringLiteral("--model"), QStringLiteral("44"), QStringLiteral("--release"),
             QStringLiteral("1")});
    rig.home.write(QStringLiteral("Config/DATV4401.def"), content);
    // As after the search dialog closed without an instrument: a table is
    // in use when the damaged one is read over it.
    rig.session.connection().loadOfflineDefinition();
    QVERIFY2(rig.start(), qPrintable(rig.sim.errorString()));
    LinkState& link = rig.session.link();
    rig.session.mySleep(1500);

    const QStringList log = rig.home.logMessages();
    const QStringList reports = log.filter(QStringLiteral("DATV4401.def"));
    QVERIFY2(!reports.isEmpty(), qPrintable(log.join(QLatin1Char('\n'))));
    QVERIFY2(reports[0].startsWith(QLatin1String("Modbus: ")), qPrintable(reports[0]));
    if (!error.isEmpty())
        QVERIFY2(reports[0].contains(error), qPrintable(reports[0]));
    // A definition that fails to load leaves the instrument offline: no
    // read-out and no polls run on a half-loaded table.
    QVERIFY2(!(link.online && link.parametri_caricati),
             qPrintable(QStringLiteral("connected with a damaged definition; log:\n") +
                        log.join(QLatin1Char('\n'))));
    QVERIFY(rig.session.tRecover().isActive());
}

void TestBadFiles::readOnlyProgramFolder_data() {
    QTest::addColumn<QString>("writer");
    QTest::newRow("event log") << "log";
    QTest::newRow("settings file") << "settings";
    QTest::newRow("calibration log") << "callog";
    QTest::newRow("backup file") << "backup";
}

// Every writer of the program folder fails with a reason and leaves the
// folder exactly as it was: old files whole, no temporary behind.
void TestBadFiles::readOnlyProgramFolder() {
    QFETCH(QString, writer);
    TestHome home(false);
    home.write(QStringLiteral("ISetup.dat"), kGoodSettings);
    home.write(QStringLiteral("Cal_log.txt"), "12\r\nMonday 14/12/2014 14:44\r\n");
    home.write(QStringLiteral("saved.mem"),
               BackupFile::makeBackupImage(QByteArray(100, '\x5A'), "1218"));
    const QMap<QString, QByteArray> before = snapshot(home.path());

    bool ok = true;
    QString error;
    {
        ReadOnlyFolder readOnly(home.path());
        if (!readOnly.effective())
            QSKIP("running as root without the right to drop file permissions");
        if (writer == QLatin1String("log")) {
            ok = EventLog::log(QStringLiteral("Applicazione: Avvio"));
            error = EventLog::lastError();
        } else if (writer == QLatin1String("settings")) {
            fdati changed = SettingsFile::parse(kGoodSettings, 0, 0).values;
            changed.porta = QStringLiteral("/dev/ttyACM1");
            ok = SettingsFile::save(changed, &error);
        } else if (writer == QLatin1String("callog")) {
            const CalLogSave saved = salvacallog(QStringLiteral("12"));
            ok = saved.ok;
            error = saved.error;
            // The panel still counts the calibration.
            QCOMPARE(saved.shown.count, QStringLiteral("13"));
        } else {
            ok = BackupFile::writeBackupFile(
                home.file(QStringLiteral("saved.mem")),
                BackupFile::makeBackupImage(QByteArray(100, '\x33'), "1218"), &error);
        }
    }
    QVERIFY(!ok);
    QVERIFY(!error.isEmpty());
    QCOMPARE(snapshot(home.path()), before);
}

QTEST_MAIN(TestBadFiles)
#include "tst_badfiles.moc"
