// The process list the firmware update waits on, the updater started at
// start-up and the choice of the manual: program names as a process shows
// them (a made-up /proc and real processes), the updater's command line,
// and which manual file a language reaches.
#include <QProcess>
#include <QtTest>

#include "services/documents.h"
#include "services/processlist.h"
#include "services/updater.h"
#include "support/testhome.h"

namespace {
void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
void makeExecutable(const QString& path) {
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}
}  // namespace

class TestProcessList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sameProgram_data();
    void sameProgram();
    void madeUpProcesses_data();
    void madeUpProcesses();
    void realProcessIsSeenUntilItEnds();
    void updaterGetsTheProgramName();
    void manualOfALanguage_data();
    void manualOfALanguage();
};

void TestProcessList::sameProgram_data() {
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("same");
    // clang-format off
    QTest::newRow("name") << "AvrProg" << "AvrProg" << true;
    QTest::newRow("case, .exe") << "avrprog.EXE" << "AvrProg" << true;
    QTest::newRow(".exe asked") << "AvrProg" << "AvrProg.exe" << true;
    QTest::newRow("path") << "/opt/tools/AVRPROG.exe" << "AvrProg.exe" << true;
    QTest::newRow("windows path") << "C:\\Tools\\AvrProg.exe" << "AvrProg" << true;
    QTest::newRow("longer name") << "AvrProg2" << "AvrProg" << false;
    QTest::newRow("only its folder") << "/opt/AvrProg/flash" << "AvrProg" << false;
    QTest::newRow("backup copy") << "AvrProg.exe.bak" << "AvrProg" << false;
    QTest::newRow("empty") << "" << "AvrProg" << false;
    QTest::newRow("nothing asked") << "AvrProg" << "" << false;
    QTest::newRow("only .exe") << ".exe" << ".EXE" << false;
    // clang-format on
}

void TestProcessList::sameProgram() {
    QFETCH(QString, candidate);
    QFETCH(QString, name);
    QFETCH(bool, same);
    QCOMPARE(ProcessList::sameProgram(candidate, name), same);
}

void TestProcessList::madeUpProcesses_data() {
    QTest::addColumn<QString>("exe");  // empty: unreadable, as for another user's process
    QTest::addColumn<QByteArray>("comm");
    QTest::addColumn<QByteArray>("cmdline");
    QTest::addColumn<QByteArray>("state");
    QTest::addColumn<bool>("running");
    QTest::newRow("binary") << "/opt/x/AvrProg" << QByteArray("AvrProg\n")
                            << QByteArray("/opt/x/AvrProg\0", 15) << QByteArray("S") << true;
    QTest::newRow("ended, not reaped")
        << "" << QByteArray("AvrProg\n") << QByteArray() << QByteArray("Z") << false;
    QTest::newRow("script") << "/usr/bin/dash" << QByteArray("AvrProg\n")
                            << QByteArray("/bin/sh\0/opt/x/AvrProg\0", 23) << QByteArray("S")
                            << true;
    QTest::newRow("replaced on disk") << "/opt/x/AvrProg (deleted)" << QByteArray("x\n")
                                      << QByteArray() << QByteArray("R") << true;
    QTest::newRow("another user's, by its command line")
        << "" << QByteArray("wine-preloader\n") << QByteArray("C:\\t\\AvrProg.exe\0-p\0", 20)
        << QByteArray("S") << true;
    QTest::newRow("an editor on it")
        << "/usr/bin/nano" << QByteArray("nano\n") << QByteArray("nano\0AvrProg\0", 13)
        << QByteArray("S") << false;
}

void TestProcessList::madeUpProcesses() {
    QFETCH(QString, exe);
    QFETCH(QByteArray, comm);
    QFETCH(QByteArray, cmdline);
    QFETCH(QByteArray, state);
    QFETCH(bool, running);
    QTemporaryDir root;
    // Not a process: ignored whatever it holds.
    writeFile(root.filePath(QStringLiteral("self/comm")), "AvrProg\n");
    writeFile(root.filePath(QStringLiteral("self/stat")), "1 (AvrProg) S 0");
    const QString dir = root.filePath(QStringLiteral("4242"));
    // A command name with ") Z" in it: the state is the field after the last ')'.
    writeFile(dir + QStringLiteral("/stat"), "4242 (x) Z) " + state + " 1 1");
    writeFile(dir + QStringLiteral("/comm"), comm);
    writeFile(dir + QStringLiteral("/cmdline"), cmdline);
    if (!exe.isEmpty())
        QVERIFY(QFile::link(exe, dir + QStringLiteral("/exe")));
    QCOMPARE(ProcessList::isRunning(QStringLiteral("AvrProg.exe"), root.path()), running);
    QVERIFY(!ProcessList::isRunning(QStringLiteral("Other"), root.path()));
}

void TestProcessList::realProcessIsSeenUntilItEnds() {
    QTemporaryDir dir;
    // A real executable under the tool's name, with a name of its own in
    // exe and comm.
    const QString copy = dir.filePath(QStringLiteral("AvrProgLongName"));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), copy));
    makeExecutable(copy);
    QVERIFY(!ProcessList::isRunning(QStringLiteral("avrproglongname.exe")));
    QProcess p;
    p.start(copy, {QStringLiteral("30")});
    QVERIFY(p.waitForStarted());
    QVERIFY(ProcessList::isRunning(QStringLiteral("avrproglongname.exe")));
    p.kill();
    QVERIFY(p.waitForFinished(5000));
    QVERIFY(!ProcessList::isRunning(QStringLiteral("avrproglongname.exe")));
}

void TestProcessList::updaterGetsTheProgramName() {
    TestHome home(false);
    QVERIFY(Updater::path().isEmpty());
    QVERIFY(!Updater::startIfPresent());

    // Not executable: reported, the start-up goes on.
    home.write(QStringLiteral("Update.exe"), "not a program");
    QCOMPARE(Updater::path(), home.file(QStringLiteral("Update")) + QStringLiteral(".exe"));
    QVERIFY(!Updater::startIfPresent());
    QVERIFY(home.logMessages().contains(QStringLiteral("Errore: Avvio di ") +
                                        home.file(QStringLiteral("Update.exe"))));

    home.write(QStringLiteral("Update"),
               "#!/bin/sh\necho \"$(pwd) $*\" > \"$(dirname \"$0\")/ran.tmp\"\n"
               "mv \"$(dirname \"$0\")/ran.tmp\" \"$(dirname \"$0\")/ran.txt\"\n");
    makeExecutable(home.file(QStringLiteral("Update")));
    QCOMPARE(Updater::path(), home.file(QStringLiteral("Update")));
    QVERIFY(Updater::startIfPresent());
    QTRY_VERIFY(QFileInfo::exists(home.file(QStringLiteral("ran.txt"))));
    QCOMPARE(home.read(QStringLiteral("ran.txt")).trimmed(),
             (QDir(home.path()).canonicalPath() + QStringLiteral(" velmora")).toLocal8Bit());
}

void TestProcessList::manualOfALanguage_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("withItalian");
    QTest::addColumn<QString>("opened");  // relative; empty for none
    QTest::newRow("own") << "English" << true << "Manual/English.pdf";
    QTest::newRow("own, no Italian") << "English" << false << "Manual/English.pdf";
    QTest::newRow("none of its own") << "Deutsch" << true << "Manual/Italiano.pdf";
    QTest::newRow("neither") << "Deutsch" << false << "";
    QTest::newRow("no language") << "" << true << "Manual/Italiano.pdf";
    QTest::newRow("a path out") << "../secret" << true << "Manual/Italiano.pdf";
    QTest::newRow("a path in") << "sub/English" << true << "Manual/Italiano.pdf";
    QTest::newRow("a folder named .pdf") << "Folder" << true << "Manual/Italiano.pdf";
}

void TestProcessList::manualOfALanguage() {
    QFETCH(QString, language);
    QFETCH(bool, withItalian);
    QFETCH(QString, opened);
    TestHome home(false);
    home.write(QStringLiteral("Manual/English.pdf"), "%PDF-");
    home.write(QStringLiteral("Manual/sub/English.pdf"), "%PDF-");
    home.write(QStringLiteral("secret.pdf"), "%PDF-");
    QVERIFY(QDir().mkpath(home.file(QStringLiteral("Manual/Folder.pdf"))));
    if (withItalian)
        home.write(QStringLiteral("Manual/Italiano.pdf"), "%PDF-");
    QCOMPARE(Documents::manualFor(language), opened.isEmpty() ? QString() : home.file(opened));
}

QTEST_GUILESS_MAIN(TestProcessList)
#include "tst_processlist.moc"
