#include <QtTest>

#include "durability.h"
#include "support/testhome.h"

// The settings file, a backup file and the calibration log are each
// rewritten by a child process that is killed (SIGKILL) at a random moment,
// again and again. Whenever it dies the file must hold the last write that
// returned or the one in progress, whole: never a mixture, a truncation or
// an older content.
class TestDurability : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedWriterLeavesOldOrNew_data();
    void killedWriterLeavesOldOrNew();
};

namespace {
constexpr int kKills = 50;
// Kills land up to this long after the child's second write returned.
constexpr int kMaxDelayUs = 20000;

bool holdsWrite(const QString& kind, const QByteArray& content, long n) {
    if (n < 0)
        return false;
    if (kind == QLatin1String("settings"))
        return content == SettingsFile::serialize(durability::settings(n));
    if (kind == QLatin1String("backup"))
        return content == durability::backup(n);
    return durability::isCallogOfWrite(content, n);
}
}  // namespace

void TestDurability::killedWriterLeavesOldOrNew_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file");
    QTest::newRow("settings file") << "settings"
                                   << "ISetup.dat";
    QTest::newRow("backup file") << "backup"
                                 << "backup.mem";
    QTest::newRow("calibration log") << "callog"
                                     << "Cal_log.txt";
}

void TestDurability::killedWriterLeavesOldOrNew() {
    QFETCH(QString, kind);
    QFETCH(QString, file);
#ifndef DURABILITY_WRITER
    QFAIL("built without durabilitywriter");
#else
    const QString writer = QStringLiteral(DURABILITY_WRITER);
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator rng(seed);
    long writes = 0;
    int inProgressLanded = 0;

    for (int kill = 0; kill < kKills; ++kill) {
        TestHome home(false);
        QProcess child;
        child.start(writer, {home.path(), kind});
        QVERIFY2(child.waitForStarted(10000), qPrintable(child.errorString()));
        QByteArray done;
        while (done.size() < 2) {
            QVERIFY2(child.waitForReadyRead(20000),
                     qPrintable(QString::fromLocal8Bit(child.readAllStandardError())));
            done += child.readAllStandardOutput();
        }
        QThread::usleep(rng.bounded(kMaxDelayUs));
        child.kill();
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        done += child.readAllStandardOutput();

        // Writes 0 .. returned-1 have returned; write `returned` was under way.
        const long returned = done.count('+');
        const QByteArray content = home.read(file);
        const bool last = holdsWrite(kind, content, returned - 1);
        const bool next = holdsWrite(kind, content, returned);
        QVERIFY2(
            last || next,
            qPrintable(QStringLiteral("kill %1 (seed %2) after %3 writes: %4 holds %5 bytes: %6")
                           .arg(kill)
                           .arg(seed)
                           .arg(returned)
                           .arg(file)
                           .arg(content.size())
                           .arg(QString::fromLatin1(content.left(48).toHex(' ')))));
        writes += returned;
        inProgressLanded += next ? 1 : 0;
    }
    qInfo("%s: %d kills (seed %u), %.1f writes per child, %d found the write in progress done",
          qPrintable(file), kKills, seed, double(writes) / kKills, inProgressLanded);
#endif
}

QTEST_GUILESS_MAIN(TestDurability)
#include "tst_durability.moc"
