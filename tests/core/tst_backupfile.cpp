#include <QtTest>

#include "device/paramtable.h"
#include "fulldisk.h"
#include "localizer/freelocalizer.h"
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
    void tagNamesTheLayoutHeld_data();
    void tagNamesTheLayoutHeld();
    void refusedFilesChangeNothing_data();
    void refusedFilesChangeNothing();
    void refusalsInTheUserLanguage_data();
    void refusalsInTheUserLanguage();
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

// Releases of program 12 beside the shipped 1218: one setup entry fewer, one more.
void writeReleasesOf12(const TestHome& home) {
    const QList<QByteArray> lines = home.read("Config/DATV1218.def").split('\n');
    QByteArray fewer;
    QByteArray more;
    for (int n = 0; n < lines.size(); ++n) {
        const QByteArray line = lines[n] + (n + 1 < lines.size() ? "\n" : "");
        if (n != 3)  // DECPT goes
            fewer += line;
        more += line;
        if (n == 0)
            more += "EXTRA=25\r\n";
    }
    home.write("Config/DATV1210.def", fewer);
    home.write("Config/DATV1230.def", more);
}

void TestBackupFile::versionChoice_data() {
    QTest::addColumn<QString>("inUse");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<bool>("instrument");       // the table is a connected instrument's
    QTest::addColumn<QString>("versionAfter");  // empty: refused as another model's
    QTest::addColumn<QString>("fileAfter");     // definition read after the load
    QTest::addColumn<int>("entriesAfter");
    // 1218 has 42 setup entries, 3512 and the offline 0000 have 51.
    QTest::newRow("same version") << "1218"
                                  << "1218" << true << "1218"
                                  << "DATV1218.def" << 73;
    QTest::newRow("same program, fewer setup entries: tag wins") << "1218"
                                                                 << "1210" << true << "1210"
                                                                 << "DATV1210.def" << 72;
    QTest::newRow("later release falls back to the shipped one") << "3512"
                                                                 << "3530" << true << "3530"
                                                                 << "DATV3512.def" << 82;
    QTest::newRow("same program, more setup entries: refused") << "1218"
                                                               << "1230" << true << ""
                                                               << "" << 0;
    QTest::newRow("another program with more entries: refused") << "1218"
                                                                << "3512" << true << ""
                                                                << "" << 0;
    QTest::newRow("another program with fewer entries: refused") << "3512"
                                                                 << "1218" << true << ""
                                                                 << "" << 0;
    QTest::newRow("offline file onto an instrument: refused") << "3512"
                                                              << "0000" << true << ""
                                                              << "" << 0;
    QTest::newRow("unknown program: refused") << "1218"
                                              << "4401" << true << ""
                                              << "" << 0;
    // Without an instrument the file is shown with its own definition.
    QTest::newRow("offline: another program is read with its own layout")
        << "0000"
        << "1218" << false << "1218"
        << "DATV1218.def" << 73;
    QTest::newRow("offline: more setup entries, still its own layout") << "1218"
                                                                       << "3512" << false << "3512"
                                                                       << "DATV3512.def" << 82;
}

void TestBackupFile::versionChoice() {
    QFETCH(QString, inUse);
    QFETCH(QString, tag);
    QFETCH(bool, instrument);
    QFETCH(QString, versionAfter);
    QFETCH(QString, fileAfter);
    QFETCH(int, entriesAfter);
    TestHome home;
    writeReleasesOf12(home);
    ParameterTable t;
    useDefinition(t, home, inUse);
    t.copyIntoImage(pattern(t.imageSize(), 5));
    const ParameterTable before = t;
    const QByteArray file = backupOf(256, tag);
    home.write("x.mem", file);

    const auto r = BackupFile::loadBackupFile(
        home.file("x.mem"), t,
        instrument ? BackupFile::Target::Instrument : BackupFile::Target::Anything);
    QCOMPARE(r.version, tag);
    if (versionAfter.isEmpty()) {
        QCOMPARE(r.status, BackupFile::LoadResult::Foreign);
        // The message names both models.
        QVERIFY2(r.error.contains(" " + tag + " ") && r.error.contains(" " + inUse + ":"),
                 qPrintable(r.error));
        QCOMPARE(t.image(), before.image());
        QCOMPARE(t.definitionVersion, before.definitionVersion);
        QCOMPARE(t.definitionPath, before.definitionPath);
        QCOMPARE(t.entryCount(), before.entryCount());
        return;
    }
    QCOMPARE(r.status, BackupFile::LoadResult::Loaded);
    QVERIFY(r.error.isEmpty());
    QCOMPARE(r.versionInUse, versionAfter);
    QCOMPARE(t.definitionVersion, versionAfter);
    QCOMPARE(t.entryCount(), entriesAfter);
    QCOMPARE(t.definitionPath, home.file("Config/" + fileAfter));
    // The first S bytes of the file, S being the image of the definition now in use.
    QCOMPARE(r.imageBytes, t.bytes(2));
    QCOMPARE(t.image().left(t.bytes(2)), file.left(t.bytes(2)));
}

void TestBackupFile::tagNamesTheLayoutHeld_data() {
    QTest::addColumn<QString>("reported");  // the version the instrument reported
    QTest::addColumn<QString>("read");      // the definition file actually read
    QTest::addColumn<QByteArray>("tag");
    QTest::newRow("instrument with its own definition")
        << "1218"
        << "DATV1218.def" << QByteArray("PDAT12REL 18");
    // Offline mode keeps the default "1218" with the offline definition's layout.
    QTest::newRow("offline definition") << "1218"
                                        << "DATV0000.def" << QByteArray("PDAT00REL 00");
    QTest::newRow("release fallen back") << "3530"
                                         << "DATV3512.def" << QByteArray("PDAT35REL 12");
}

void TestBackupFile::tagNamesTheLayoutHeld() {
    QFETCH(QString, reported);
    QFETCH(QString, read);
    QFETCH(QByteArray, tag);
    TestHome home;
    ParameterTable t;
    t.definitionPath = home.file("Config/" + read);
    QVERIFY(t.loadDefinition(t.definitionPath).ok);
    t.definitionVersion = reported;
    t.copyIntoImage(pattern(t.imageSize(), 9));
    const QByteArray file = BackupFile::makeBackupImage(t);
    QCOMPARE(file.mid(256, 12), tag);

    // Restored onto the definition it names, every byte is where it was.
    ParameterTable target;
    useDefinition(target, home, QString::fromLatin1(tag.mid(4, 2) + tag.mid(10, 2)));
    home.write("t.mem", file);
    const auto r = BackupFile::loadBackupFile(home.file("t.mem"), target);
    QCOMPARE(r.status, BackupFile::LoadResult::Loaded);
    QCOMPARE(target.bytes(2), t.bytes(2));
    QCOMPARE(target.image().left(t.bytes(2)), t.image().left(t.bytes(2)));
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
        << backupOf(256, "3501") << true << int(R::BadDefinition) << "DATV3501.def";
}

void TestBackupFile::refusedFilesChangeNothing() {
    QFETCH(QByteArray, file);
    QFETCH(bool, exists);
    QFETCH(int, status);
    QFETCH(QString, message);
    TestHome home;
    home.write("Config/DATV3501.def", "[SETUP]=0\r\nA=22\r\nB=2x\r\n");
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

void TestBackupFile::refusalsInTheUserLanguage_data() {
    QTest::addColumn<QString>("language");
    for (const char* name : {"Italiano", "Deutsch", "Fran\u00e7ais", "Espa\u00f1ol"})
        QTest::newRow(name) << QString::fromUtf8(name);
}

void TestBackupFile::refusalsInTheUserLanguage() {
    QFETCH(QString, language);
    TestHome home;
    home.write("short.mem", QByteArray(100, '\x01'));
    home.write("notag.mem", QByteArray(384, '\xFF'));
    home.write("foreign.mem", backupOf(256, "3512"));
    QStringList files{"absent.mem", "short.mem", "notag.mem", "foreign.mem"};
    auto refusals = [&] {
        QStringList out;
        for (const QString& f : files) {
            ParameterTable t;
            useDefinition(t, home, "1218");
            out << BackupFile::loadBackupFile(home.file(f), t).error;
        }
        QString error;
        BackupFile::writeBackupFile(home.file("x.mem"), QByteArray(10, '\0'), &error);
        return out << error;
    };
    const QStringList english = refusals();
    TFreeLocalizer l;
    QVERIFY(l.setLanguageFile(QStringLiteral(VELMORA_SOURCE_DIR "/languages/") + language));
    l.hookTexts();
    const QStringList translated = refusals();
    for (qsizetype i = 0; i < english.size(); ++i) {
        QVERIFY(!english[i].isEmpty());
        QVERIFY2(translated[i] != english[i], qPrintable(translated[i]));
    }
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
