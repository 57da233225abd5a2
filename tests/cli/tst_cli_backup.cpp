#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include "clirun.h"

// backup, restore and diff against the virtual instrument: the file byte
// for byte, the write-all on the wire, and the link lost or interrupted
// half way.
class TestCliBackup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void backupFileLayout();
    void existingBackupIsKeptUnlessConfirmed_data();
    void existingBackupIsKeptUnlessConfirmed();
    void diffThenRestore();
    void restoreConfirmation_data();
    void restoreConfirmation();
    void notABackupFile_data();
    void notABackupFile();
    void unplugDuringBackup();
    void interrupted_data();
    void interrupted();

private:
    QStringList common(const SimProcess& sim, const TestHome& home) const {
        return {"--home", home.path(), "--port", sim.ptyPath()};
    }
    // Makes a backup of the instrument's current set at `path`.
    static bool makeBackup(const SimProcess& sim, const TestHome& home, const QString& path) {
        const CliResult r =
            runCli({"--home", home.path(), "--port", sim.ptyPath(), "-q", "backup", path, "--yes"});
        if (r.exitCode != 0)
            qWarning("%s", r.describe().constData());
        return r.exitCode == 0;
    }
    // A copy of the backup of a simulator's factory set, which every
    // simulator started here holds.
    QString factorySet(const QTemporaryDir& dir, const QString& name) const {
        const QString path = dir.filePath(name);
        QFile::copy(factory_.filePath("factory.mem"), path);
        return path;
    }

    QTemporaryDir factory_;
};

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray bigEndian(qint64 value, int size) {
    QByteArray b;
    for (int k = size - 1; k >= 0; --k)
        b.append(static_cast<char>((value >> (8 * k)) & 0xFF));
    return b;
}

// The words the instrument returned for a holding-register read.
std::optional<qint64> readValue(const QList<QJsonObject>& traffic, int reg) {
    std::optional<qint64> value;
    for (const QJsonObject& t : traffic) {
        if (t.value("function").toInt() != 3 || t.value("register").toInt() != reg ||
            t.value("answer").toString() != QLatin1String("reply"))
            continue;
        qint64 v = 0;
        for (const QJsonValue& w : t.value("values").toArray())
            v = (v << 16) | w.toInteger();
        value = v;
    }
    return value;
}

bool isSaveCommand(const QJsonObject& t, int commandRegister) {
    return t.value("function").toInt() == 0x06 && t.value("register").toInt() == commandRegister &&
           t.value("values").toArray() == QJsonArray{0x20};
}

}  // namespace

void TestCliBackup::initTestCase() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("this build has no velmora-sim");
    TestHome home;
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QVERIFY(makeBackup(sim, home, factory_.filePath("factory.mem")));
}

void TestCliBackup::backupFileLayout() {
    TestHome home;
    QTemporaryDir dir;
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const QString path = dir.filePath("unit.mem");

    const CliResult r = runCli(common(sim, home) + QStringList{"--json", "backup", path});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(r.json().value("bytes").toInt(), 384);
    QCOMPARE(r.json().value("definitionVersion").toString(), QStringLiteral("1218"));

    const QByteArray file = readFile(path);
    QCOMPARE(file.size(), 384);
    const ParameterTable def = definition1218();
    const int image = def.bytes(2);
    QVERIFY(image < 256);
    QCOMPARE(file.mid(image, 256 - image), QByteArray(256 - image, '\xFF'));
    QCOMPARE(file.mid(256, 12), QByteArray("PDAT12REL 18"));
    QCOMPARE(file.mid(268), QByteArray(116, '\xFF'));

    // The setup entries hold what the read-out received, the calibration
    // entries what the backup's reads received, most significant byte first.
    const QList<QJsonObject> traffic = sim.traffic();
    for (int i = 0; i < def.entryCount(); ++i) {
        const ParamEntry& e = def.entry(i);
        const bool setup = i < def.count(0);
        const bool calibration = i >= def.count(1);
        if (!setup && !calibration)
            continue;  // live values
        const int reg = setup ? e.regOffset : e.regOffset + def.calibrationBase + 48;
        const auto value = readValue(traffic, reg);
        const int size = ParameterTable::typeSize(e.type);
        if (i == def.entryCount() - 1) {
            // The last calibration entry is never asked for.
            QVERIFY2(!value, qPrintable(e.name));
            continue;
        }
        QVERIFY2(value, qPrintable(e.name));
        QCOMPARE(file.mid(e.imagePos, size), bigEndian(*value, size));
    }
    QVERIFY(strayFiles(dir.path(), {"unit.mem"}).isEmpty());
}

void TestCliBackup::existingBackupIsKeptUnlessConfirmed_data() {
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("nobody to ask") << QStringList{} << QByteArray() << 2 << false;
    QTest::newRow("answered no") << QStringList{} << QByteArray("n\n") << 0 << false;
    QTest::newRow("answered yes") << QStringList{} << QByteArray("y\n") << 0 << true;
    QTest::newRow("--yes") << QStringList{"--yes"} << QByteArray() << 0 << true;
}

void TestCliBackup::existingBackupIsKeptUnlessConfirmed() {
    QFETCH(QStringList, extra);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(bool, replaced);
    TestHome home;
    QTemporaryDir dir;
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const QString path = dir.filePath("old.mem");
    const QByteArray old(384, 'x');
    writeFile(path, old);
    const CliResult r = runCli(common(sim, home) + QStringList{"backup", path} + extra, input);
    QVERIFY2(r.exitCode == exitCode, r.describe());
    QCOMPARE(readFile(path) != old, replaced);
    QVERIFY(strayFiles(dir.path(), {"old.mem"}).isEmpty());
}

void TestCliBackup::diffThenRestore() {
    TestHome home;
    QTemporaryDir dir;
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const ParameterTable def = definition1218();
    const ParamEntry& setp2 = def.entry(entryNamed(def, "SETP2"));
    const int command = def.entry(entryNamed(def, "CMDREG")).regOffset;
    const QString path = factorySet(dir, "golden.mem");

    // The golden file wants SETP2 = 1234; the instrument holds its default.
    QByteArray golden = readFile(path);
    golden.replace(setp2.imagePos, 4, bigEndian(1234, 4));
    writeFile(path, golden);
    CliResult r = runCli(common(sim, home) + QStringList{"--json", "diff", path});
    // A difference is the answer, told by the exit code as diff(1) tells it.
    QVERIFY2(r.exitCode == 1, r.describe());
    const QJsonArray differences = r.json().value("differences").toArray();
    QCOMPARE(differences.size(), 1);
    QCOMPARE(differences.at(0).toObject().value("name").toString(), QStringLiteral("SETP2"));
    QCOMPARE(differences.at(0).toObject().value("file").toString(), QStringLiteral("1234"));
    QCOMPARE(r.json().value("identical").toBool(), false);

    const qsizetype before = sim.traffic().size();
    r = runCli(common(sim, home) + QStringList{"--json", "restore", path, "--yes"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(r.json().value("complete").toBool(), true);
    // Every setup entry is written, and the save command comes last.
    const QList<QJsonObject> traffic = sim.traffic().mid(before);
    QSet<int> written;
    int saveAt = -1;
    int lastWrite = -1;
    for (int k = 0; k < traffic.size(); ++k) {
        const QJsonObject& t = traffic[k];
        if (t.value("function").toInt() == 0x10) {
            written.insert(t.value("register").toInt());
            lastWrite = k;
            if (t.value("register").toInt() == setp2.regOffset)
                QCOMPARE(t.value("values").toArray(), QJsonArray{1234});
        }
        if (isSaveCommand(t, command))
            saveAt = k;
    }
    for (int i = 0; i < def.setupCount(); ++i)
        QVERIFY2(written.contains(def.entry(i).regOffset), qPrintable(def.entry(i).name));
    QVERIFY(saveAt > lastWrite);
    QCOMPARE(sim.status().value("unsaved").toBool(), false);

    // Everything else matched already: the backup and the read-out agree.
    r = runCli(common(sim, home) + QStringList{"--json", "diff", path});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(r.json().value("identical").toBool(), true);
    QCOMPARE(r.json().value("compared").toInt(), def.setupCount() + def.calibrationCount() - 1);
}

void TestCliBackup::restoreConfirmation_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("sent");
    QTest::newRow("answered yes") << QByteArray("yes\n") << 0 << true;
    QTest::newRow("answered no") << QByteArray("n\n") << 0 << false;
    QTest::newRow("nobody to ask") << QByteArray() << 2 << false;
}

void TestCliBackup::restoreConfirmation() {
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(bool, sent);
    TestHome home;
    QTemporaryDir dir;
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const QString path = factorySet(dir, "set.mem");
    const qsizetype before = sim.traffic().size();
    const CliResult r = runCli(common(sim, home) + QStringList{"restore", path}, input);
    QVERIFY2(r.exitCode == exitCode, r.describe());
    QVERIFY(r.err.contains("Are you sure to restore the file: " + path.toUtf8() + " ?"));
    bool anyWrite = false;
    for (const QJsonObject& t : sim.traffic().mid(before))
        anyWrite |= t.value("function").toInt() == 0x10 || t.value("function").toInt() == 0x06;
    QCOMPARE(anyWrite, sent);
}

void TestCliBackup::notABackupFile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("shorter than the tag")
        << QByteArray(267, '\0') << "bad.mem is not a backup file: 267 bytes";
    QTest::newRow("tag naming no definition")
        << QByteArray(256, '\0') + QByteArray("PDAT..REL ..") + QByteArray(116, '\xFF')
        << "bad.mem is not a backup file: its version tag";
    // Another model's file would put its bytes on other registers.
    QByteArray foreign(256, '\x01');
    QTest::newRow("another model's backup")
        << foreign + QByteArray("PDAT35REL 12") + QByteArray(116, '\xFF')
        << "bad.mem is a backup of model 3512 and cannot be restored onto model 1218: nothing was "
           "changed or sent.";
    QTest::newRow("offline backup")
        << foreign + QByteArray("PDAT00REL 00") + QByteArray(116, '\xFF')
        << "bad.mem is a backup of model 0000 and cannot be restored onto model 1218";
}

void TestCliBackup::notABackupFile() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    TestHome home;
    QTemporaryDir dir;
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const QString path = dir.filePath("bad.mem");
    writeFile(path, content);
    const QList<QStringList> runs = {{"restore", path, "--yes"}, {"diff", path}};
    for (const QStringList& run : runs) {
        const CliResult r = runCli(common(sim, home) + run);
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(r.err.contains(message.toUtf8()), r.describe());
    }
    for (const QJsonObject& t : sim.traffic())
        QVERIFY(t.value("function").toInt() != 0x10 && t.value("function").toInt() != 0x06);
}

void TestCliBackup::unplugDuringBackup() {
    TestHome home;
    QTemporaryDir dir;
    // Slow replies leave time to pull the cable in the middle of the read.
    SimProcess sim({"--delay-ms", "25"});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const QString path = dir.filePath("unit.mem");
    CliChild child(common(sim, home) + QStringList{"backup", path});
    QVERIFY(waitForRecord(sim, [](const QJsonObject& t) {
        return t.value("function").toInt() == 3 && t.value("register").toInt() >= 0x6000;
    }));
    QVERIFY(sim.send("unplug").startsWith("OK"));
    const CliResult r = child.wait();
    QVERIFY2(r.finished, r.describe());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("was unplugged during the backup; no file written"), r.describe());
    QVERIFY(!QFile::exists(path));
    QVERIFY(strayFiles(dir.path(), {}).isEmpty());
}

void TestCliBackup::interrupted_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("during a backup") << "backup";
    QTest::newRow("during a restore") << "restore";
}

void TestCliBackup::interrupted() {
    QFETCH(QString, command);
    TestHome home;
    QTemporaryDir dir;
    SimProcess sim({"--delay-ms", "25"});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const ParameterTable def = definition1218();
    const int commandRegister = def.entry(entryNamed(def, "CMDREG")).regOffset;
    const QString source = factorySet(dir, "source.mem");
    const QString target = dir.filePath("target.mem");
    // Up to here the simulator has seen nothing; the traffic log starts
    // with this run.
    const QByteArray original = readFile(source);
    const bool restore = command == QLatin1String("restore");
    CliChild child(common(sim, home) + (restore ? QStringList{"restore", source, "--yes"}
                                                : QStringList{"backup", target}));
    QVERIFY(waitForRecord(sim, [&](const QJsonObject& t) {
        return restore ? t.value("function").toInt() == 0x10
                       : t.value("function").toInt() == 3 && t.value("register").toInt() >= 0x6000;
    }));
    child.signal(SIGINT);
    const CliResult r = child.wait();
    QVERIFY2(r.finished, r.describe());
    // A normal exit with 130, not death by the signal: the run unwound,
    // stopped the link and closed the port itself.
    QCOMPARE(r.exitCode, 130);
    QVERIFY2(r.err.contains("interrupted during the " + command.toUtf8()), r.describe());

    // No file left behind, none half written, the source untouched.
    QCOMPARE(readFile(source), original);
    QVERIFY(!QFile::exists(target));
    QVERIFY(strayFiles(dir.path(), {"source.mem"}).isEmpty());
    if (restore) {
        // A partly written set is never saved, and the sequence stopped short.
        int writes = 0;
        for (const QJsonObject& t : sim.traffic()) {
            QVERIFY(!isSaveCommand(t, commandRegister));
            writes += t.value("function").toInt() == 0x10 ? 1 : 0;
        }
        QVERIFY2(writes < def.setupCount(), qPrintable(QString::number(writes)));
    }
}

QTEST_GUILESS_MAIN(TestCliBackup)
#include "tst_cli_backup.moc"
