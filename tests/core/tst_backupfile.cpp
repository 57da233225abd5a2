#include <QtTest>

#include "device/paramtable.h"
#include "fulldisk.h"
#include "services/backupfile.h"
#include "support/testhome.h"

namespace {

QByteArray pattern(int size, int seed = 7) {
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = static_cast<char>((i * seed + 3) & 0xFF);
    return out;
}

// A table in the state the program keeps after identifying an instrument.
void useDefinition(ParameterTable& t, const TestHome& home, const QString& version) {
    t.definitionPath = home.file("Config/DATV" + version + ".def");
    QVERIFY(t.loadDefinition(t.definitionPath).ok);
    t.definitionVersion = version;
}

QByteArray backupOf(int size, const QString& version, int seed = 7) {
    return BackupFile::makeBackupImage(pattern(size, seed), version);
}

}  // namespace

class TestBackupFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layout_data();
    void layout();
    void imageOfTableLeavesSpareByteOut();
    void writeAndLoadBack();
    void versionChoice_data();
    void versionChoice();
    void refusedFilesChangeNothing_data();
    void refusedFilesChangeNothing();
    void longerFileUsesOnlyTheLayout();
    void failedWriteKeepsOldFile();
};

void TestBackupFile::layout_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QByteArray>("tag");
    QTest::newRow("200-byte image") << 200 << "1218" << QByteArray("PDAT12REL 18");
    QTest::newRow("full 256 bytes") << 256 << "3512" << QByteArray("PDAT35REL 12");
    QTest::newRow("hex program") << 100 << "AB05" << QByteArray("PDATABREL 05");
    QTest::newRow("no version set") << 0 << "" << QByteArray("PDAT12REL 18");
}

void TestBackupFile::layout() {
    QFETCH(int, size);
    QFETCH(QString, version);
    QFETCH(QByteArray, tag);
    const QByteArray image = pattern(size);
    const QByteArray file = BackupFile::makeBackupImage(image, version);
    QCOMPARE(file.size(), 384);
    QCOMPARE(file.left(size), image);
    QCOMPARE(file.mid(size, 256 - size), QByteArray(256 - size, '\xFF'));
    QCOMPARE(file.mid(256, 12), tag);
    QCOMPARE(file.mid(268), QByteArray(116, '\xFF'));
}

void TestBackupFile::imageOfTableLeavesSpareByteOut() {
    TestHome home;
    ParameterTable t;
    useDefinition(t, home, "1218");
    QCOMPARE(t.imageSize(), t.bytes(2) + 1);  // the loader's spare byte
    t.copyIntoImage(QByteArray(t.imageSize(), '\x11'));
    const QByteArray file = BackupFile::makeBackupImage(t);
    QCOMPARE(file.left(t.bytes(2)), QByteArray(t.bytes(2), '\x11'));
    QCOMPARE(static_cast<quint8>(file[t.bytes(2)]), quint8(0xFF));

    QVERIFY(BackupFile::makeBackupImage(pattern(257), "1218").isEmpty());  // would overlap the tag
    QVERIFY(BackupFile::makeBackupImage(pattern(10), "121").isEmpty());
}

void TestBackupFile::writeAndLoadBack() {
    TestHome home;
    ParameterTable saved;
    useDefinition(saved, home, "3512");
    saved.copyIntoImage(pattern(saved.imageSize(), 13));
    const QString path = home.file("plant A.mem");
    QString error;
    QVERIFY2(BackupFile::writeBackupFile(path, BackupFile::makeBackupImage(saved), &error),
             qPrintable(error));
    QCOMPARE(QFileInfo(path).size(), 384);

    ParameterTable restored;
    useDefinition(restored, home, "3512");
    const auto r = BackupFile::loadBackupFile(path, restored);
    QCOMPARE(r.status, BackupFile::LoadResult::Loaded);
    QCOMPARE(r.version, QStringLiteral("3512"));
    QCOMPARE(r.imageBytes, saved.bytes(2));
    QCOMPARE(restored.image().left(saved.bytes(2)), saved.image().left(saved.bytes(2)));

    QVERIFY(!BackupFile::writeBackupFile(path, QByteArray(383, '\0'), &error));  // not the layout
    QCOMPARE(home.read("plant A.mem"), BackupFile::makeBackupImage(saved));
}

void TestBackupFile::versionChoice_data() {
    QTest::addColumn<QString>("inUse");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("versionAfter");
    QTest::addColumn<QString>("fileAfter");  // definition read after the load
    QTest::addColumn<int>("entriesAfter");
    // 1218 has 42 setup entries, 3512 and the offline 0000 have 51.
    QTest::newRow("same version") << "1218"
                                  << "1218"
                                  << "1218"
                                  << "DATV1218.def" << 73;
    QTest::newRow("tag with more setup entries: in use stays") << "1218"
                                                               << "3512"
                                                               << "1218"
                                                               << "DATV1218.def" << 73;
    QTest::newRow("tag with fewer setup entries: tag wins") << "3512"
                                                            << "1218"
                                                            << "1218"
                                                            << "DATV1218.def" << 73;
    QTest::newRow("tag with as many: tag wins") << "3512"
                                                << "0000"
                                                << "0000"
                                                << "DATV0000.def" << 82;
    QTest::newRow("later release falls back to the shipped one") << "3512"
                                                                 << "3530"
                                                                 << "3530"
                                                                 << "DATV3512.def" << 82;
    QTest::newRow("unknown program falls back to offline, more entries") << "1218"
                                                                         << "4401"
                                                                         << "1218"
                                                                         << "DATV1218.def" << 73;
}

void TestBackupFile::versionChoice() {
    QFETCH(QString, inUse);
    QFETCH(QString, tag);
    QFETCH(QString, versionAfter);
    QFETCH(QString, fileAfter);
    QFETCH(int, entriesAfter);
    TestHome home;
    ParameterTable t;
    useDefinition(t, home, inUse);
    const QByteArray file = backupOf(256, tag);
    home.write("x.mem", file);

    const auto r = BackupFile::loadBackupFile(home.file("x.mem"), t);
    QCOMPARE(r.status, BackupFile::LoadResult::Loaded);
    QVERIFY(r.error.isEmpty());
    QCOMPARE(r.version, tag);
    QCOMPARE(r.versionInUse, versionAfter);
    QCOMPARE(t.definitionVersion, versionAfter);
    QCOMPARE(t.entryCount(), entriesAfter);
    QCOMPARE(t.definitionPath, home.file("Config/" + fileAfter));
    // The first S bytes of the file, S being the image of the definition now in use.
    QCOMPARE(r.imageBytes, t.bytes(2));
    QCOMPARE(t.image().left(t.bytes(2)), file.left(t.bytes(2)));
}

void TestBackupFile::refusedFilesChangeNothing_data() {
    QTest::addColumn<QByteArray>("file");  // empty name column below means: no file at all
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    using R = BackupFile::LoadResult;
    const QByteArray good = backupOf(256, "1218");
    QTest::newRow("missing") << QByteArray() << false << int(R::NotFound) << "not found";
    QTest::newRow("0 bytes") << QByteArray() << true << int(R::TooShort) << "0 bytes";
    QTest::newRow("100 bytes") << good.left(100) << true << int(R::TooShort) << "100 bytes";
    QTest::newRow("267 bytes") << good.left(267) << true << int(R::TooShort) << "267 bytes";
    QByteArray letters = good;
    letters.replace(260, 2, "ZZ");
    QTest::newRow("tag ZZ18") << letters << true << int(R::BadTag) << "ZZ18";
    QTest::newRow("all filler") << QByteArray(384, '\xFF') << true << int(R::BadTag) << "\\xff";
    QByteArray lower = good;
    lower.replace(266, 2, "1a");
    QTest::newRow("lower-case digit") << lower << true << int(R::BadTag) << "121a";
    QTest::newRow("broken definition")
        << backupOf(256, "4501") << true << int(R::BadDefinition) << "DATV4501.def";
}

void TestBackupFile::refusedFilesChangeNothing() {
    QFETCH(QByteArray, file);
    QFETCH(bool, exists);
    QFETCH(int, status);
    QFETCH(QString, message);
    TestHome home;
    home.write("Config/DATV4501.def", "[SETUP]=0\r\nA=22\r\nB=2x\r\n");
    ParameterTable t;
    useDefinition(t, home, "3512");
    t.copyIntoImage(pattern(t.imageSize(), 5));
    t.entry(3).value = "1234";
    const ParameterTable before = t;
    if (exists)
        home.write("bad.mem", file);

    const auto r = BackupFile::loadBackupFile(home.file("bad.mem"), t);
    QCOMPARE(int(r.status), status);
    QVERIFY2(r.error.contains(message), qPrintable(r.error));
    QCOMPARE(r.versionInUse, QStringLiteral("3512"));

    QCOMPARE(t.image(), before.image());
    QCOMPARE(t.definitionVersion, before.definitionVersion);
    QCOMPARE(t.definitionPath, before.definitionPath);
    QCOMPARE(t.entryCount(), before.entryCount());
    QCOMPARE(t.setupCount(), before.setupCount());
    for (int i = 0; i < ParameterTable::kMaxEntries; ++i) {
        QCOMPARE(t.entry(i).name, before.entry(i).name);
        QCOMPARE(t.entry(i).value, before.entry(i).value);
    }
    QCOMPARE(t.setupBase, before.setupBase);
    QCOMPARE(t.calibrationBase, before.calibrationBase);
}

void TestBackupFile::longerFileUsesOnlyTheLayout() {
    TestHome home;
    ParameterTable t;
    useDefinition(t, home, "1218");
    home.write("long.mem", backupOf(256, "1218", 3) + QByteArray(100000, 'x'));
    const auto r = BackupFile::loadBackupFile(home.file("long.mem"), t);
    QCOMPARE(r.status, BackupFile::LoadResult::Loaded);
    QCOMPARE(t.image().left(t.bytes(2)), pattern(t.bytes(2), 3));
}

void TestBackupFile::failedWriteKeepsOldFile() {
    TestHome home;
    const QByteArray old = backupOf(200, "1218", 1);
    home.write("a.mem", old);
    bool ok = true;
    QString error;
    {
        FullDisk full;
        ok = BackupFile::writeBackupFile(home.file("a.mem"), backupOf(200, "1218", 2), &error);
    }
    QVERIFY(!ok);
    QVERIFY(!error.isEmpty());
    QCOMPARE(home.read("a.mem"), old);
    QCOMPARE(QDir(home.path()).entryList(QDir::Files), QStringList{"a.mem"});
}

QTEST_GUILESS_MAIN(TestBackupFile)
#include "tst_backupfile.moc"
