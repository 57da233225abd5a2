#include <QtTest>

#include "base/programfolder.h"
#include "device/paramtable.h"

// Where an installed program and a build tree keep their files, and which
// definition file wins when the technician adds one of a shipped name.
class TestProgramFolder : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layouts_data();
    void layouts();
    void userDataFolderFollowsXdg_data();
    void userDataFolderFollowsXdg();
    void installedFolderIsCreatedPrivate();
    void ownDefinitionWinsOverShipped();
    void oneFolderUnlessInstalled();
};

namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

}  // namespace

void TestProgramFolder::layouts_data() {
    QTest::addColumn<QString>("exeDir");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("shipped");  // relative to the scratch root; "" = data folder

    const QStringList tree{"build/velmora", "build/Config/DATV1218.def"};
    const QStringList fhs{"usr/bin/velmora", "usr/share/velmora/Config/DATV1218.def"};
    QTest::newRow("build tree") << "build" << true << tree << false << "build";
    QTest::newRow("read-only copied folder") << "build" << false << tree << true << "build";
    QTest::newRow("package, technician") << "usr/bin" << false << fhs << true
                                         << "usr/share/velmora";
    // The administrator may write into /usr/bin; that must not make it the
    // place for the logs and the settings.
    QTest::newRow("package, administrator") << "usr/bin" << true << fhs << true
                                            << "usr/share/velmora";
    QTest::newRow("read-only folder, nothing shipped")
        << "opt/x" << false << QStringList{"opt/x/velmora"} << true << "opt/x";
    QTest::newRow("folder of its own beside a package")
        << "usr/bin" << true << (fhs + QStringList{"usr/bin/Config/DATV1218.def"}) << false
        << "usr/bin";
}

void TestProgramFolder::layouts() {
    QFETCH(QString, exeDir);
    QFETCH(bool, writable);
    QFETCH(QStringList, files);
    QFETCH(bool, installed);
    QFETCH(QString, shipped);
    QTemporaryDir root;
    for (const QString& f : files)
        touch(root.filePath(f));
    const QString data = root.filePath(QStringLiteral("home/.local/share/velmora"));

    const ProgramFolder::Folders got =
        ProgramFolder::locate(root.filePath(exeDir) + QStringLiteral("/"), writable, data);
    QCOMPARE(got.installed, installed);
    QCOMPARE(got.home, installed ? data : root.filePath(exeDir));
    QCOMPARE(got.shipped, root.filePath(shipped));
    // Locating changes nothing on disk; use() creates the folder.
    QVERIFY(!QFileInfo::exists(data));
}

void TestProgramFolder::userDataFolderFollowsXdg_data() {
    QTest::addColumn<QByteArray>("xdg");
    QTest::addColumn<QString>("expected");
    QTest::newRow("set") << QByteArray("/srv/tech/data/") << "/srv/tech/data/velmora";
    QTest::newRow("unset") << QByteArray() << "HOME/.local/share/velmora";
    // Relative values are invalid and ignored.
    QTest::newRow("relative") << QByteArray("data") << "HOME/.local/share/velmora";
}

void TestProgramFolder::userDataFolderFollowsXdg() {
    QFETCH(QByteArray, xdg);
    QFETCH(QString, expected);
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    if (xdg.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", xdg);
    const QString got = ProgramFolder::userDataFolder();
    qputenv("HOME", oldHome);
    if (oldXdg.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", oldXdg);
    QCOMPARE(got, QString(expected).replace(QStringLiteral("HOME"), home.path()));
}

void TestProgramFolder::installedFolderIsCreatedPrivate() {
    QTemporaryDir root;
    const QString data = root.filePath(QStringLiteral("home/.local/share/velmora"));
    QVERIFY(ProgramFolder::use({data, root.path(), true}));
    QVERIFY(QFileInfo(data + QStringLiteral("/Config")).isDir());
    QCOMPARE(QFileInfo(data).permissions() & (QFile::ReadGroup | QFile::ReadOther |
                                               QFile::WriteGroup | QFile::WriteOther),
             QFile::Permissions());
    // A second start finds it there.
    QVERIFY(ProgramFolder::use({data, root.path(), true}));

    // A folder that cannot be made is reported, not assumed.
    touch(root.filePath(QStringLiteral("blocker")));
    QString error;
    QVERIFY(!ProgramFolder::use({root.filePath(QStringLiteral("blocker/velmora")), root.path(),
                                 true},
                                &error));
    QVERIFY(error.contains(QStringLiteral("blocker/velmora")));
}

void TestProgramFolder::ownDefinitionWinsOverShipped() {
    QTemporaryDir own;
    QTemporaryDir ship;
    QVERIFY(ProgramFolder::use({own.path(), ship.path(), true}));
    touch(ship.filePath(QStringLiteral("Config/DATV1218.def")));
    touch(ship.filePath(QStringLiteral("Config/DATV0000.def")));
    touch(own.filePath(QStringLiteral("Config/DATV1218.def")));

    // The instrument's definition and the offline one come through the same lookup.
    QCOMPARE(chooseDefinition(12, 18).path, own.filePath(QStringLiteral("Config/DATV1218.def")));
    QCOMPARE(offlineDefinitionPath(), ship.filePath(QStringLiteral("Config/DATV0000.def")));
    QCOMPARE(ProgramFolder::definition(QStringLiteral("DATV3512.def")),
             own.filePath(QStringLiteral("Config/DATV3512.def")));
    QCOMPARE(ProgramFolder::shipped(QStringLiteral("Manual")), ship.filePath(QStringLiteral("Manual")));
    QCOMPARE(ProgramFolder::file(QStringLiteral("ISetup.dat")),
             own.filePath(QStringLiteral("ISetup.dat")));
}

void TestProgramFolder::oneFolderUnlessInstalled() {
    QTemporaryDir a;
    QTemporaryDir b;
    ProgramFolder::setPath(a.path());
    QCOMPARE(ProgramFolder::shippedPath(), a.path());
    QCOMPARE(ProgramFolder::foldersInUse().size(), 1);
    QCOMPARE(ProgramFolder::foldersInUse().first().second, a.path());
    QVERIFY(ProgramFolder::use({a.path(), b.path(), true}));
    const auto rows = ProgramFolder::foldersInUse();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].second, a.path());
    QCOMPARE(rows[1].second, b.path());
    // --home names one folder for both again.
    ProgramFolder::setPath(b.path());
    QCOMPARE(ProgramFolder::path(), b.path());
    QCOMPARE(ProgramFolder::shippedPath(), b.path());
}

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
