// One instance at a time: a second start shows its message and ends without
// touching the first; a lock left by a crashed run does not block a start.
#include <signal.h>
#include <QLockFile>
#include <QProcess>
#include <QtTest>

#include "boxwatcher.h"
#include "window/singleinstance.h"
#include "windowfixture.h"

class TestInstance : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void secondInstanceEndsAlone();
    void staleLockDoesNotBlock();
    void liveLockBlocks();
};

void TestInstance::secondInstanceEndsAlone() {
    const QString program = QStringLiteral(VELMORA_BUILD_DIR "/velmora");
    if (!QFileInfo(program).isExecutable())
        QSKIP("velmora is not built");
    WindowFixture f;
    f.writeSettings(QStringLiteral("NO"));
    // With its language present the first instance logs nothing after its start.
    f.home.write(QStringLiteral("Italiano.lng"), QByteArray("[x]\r\n"));
    const QByteArray settingsBefore = f.home.read(SettingsFile::kFileName);

    // The first instance: the real program, in its own process.
    QProcess first;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), f.runtime.path());
    first.setProcessEnvironment(env);
    first.start(program, {QStringLiteral("--home"), f.home.path()});
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(f.home.logMessages().contains(QStringLiteral("Applicazione: Avvio")),
                             10000);
    const QByteArray logBefore = f.home.read(QStringLiteral("logfile.txt"));

    // The second: this process, through the same start-up.
    BoxWatcher boxes(BoxWatcher::Ok);
    TForm1 second;
    QVERIFY(!second.FormCreate());
    QVERIFY(second.alreadyRunning());
    QCOMPARE(boxes.texts(), QStringList{"Program is already running"});
    second.finishStartup(nullptr);  // does nothing for a second instance
    QVERIFY(!second.isVisible());
    QVERIFY(second.close());
    QVERIFY(!second.session().port().isOpen());
    QCOMPARE(f.home.read(QStringLiteral("logfile.txt")), logBefore);
    QCOMPARE(f.home.read(SettingsFile::kFileName), settingsBefore);
    QCOMPARE(first.state(), QProcess::Running);

    // The first still closes in order on a termination request.
    QCOMPARE(::kill(pid_t(first.processId()), SIGTERM), 0);
    QVERIFY(first.waitForFinished(10000));
    QCOMPARE(first.exitCode(), 0);
    QVERIFY(f.home.logMessages().endsWith(QStringLiteral("Applicazione: Chiusura")));
    QCOMPARE(f.home.read(SettingsFile::kFileName).count('\n'), 14);
}

void TestInstance::staleLockDoesNotBlock() {
    WindowFixture f;
    // A lock as a crashed run leaves it: it names a process that has ended.
    QProcess gone;
    qint64 pid = 0;
    connect(&gone, &QProcess::started, this, [&] { pid = gone.processId(); });
    gone.start(QStringLiteral("/bin/true"));
    QVERIFY(gone.waitForFinished());
    QVERIFY(pid > 0);
    QFile lock(SingleInstance::lockPath());
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(pid) + "\nvelmora\n" + QSysInfo::machineHostName().toUtf8() +
               "\n");
    lock.close();

    BoxWatcher boxes(BoxWatcher::Ok);
    TForm1 form;
    QVERIFY(form.FormCreate());
    QVERIFY(boxes.seen.isEmpty());
}

void TestInstance::liveLockBlocks() {
    WindowFixture f;
    // An old lock of a running program is not stale: age alone never counts.
    QLockFile held(SingleInstance::lockPath());
    QVERIFY(held.tryLock(0));
    QFile file(SingleInstance::lockPath());
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-2),
                             QFileDevice::FileModificationTime));
    file.close();
    SingleInstance other;
    QVERIFY(!other.acquire());
    held.unlock();
    QVERIFY(other.acquire());
}

QTEST_MAIN(TestInstance)
#include "tst_instance.moc"
