// The "Backup / Restore" page on the real main window against the virtual
// instrument: the file it writes, the questions and dialogs around it, what
// a restore and a factory reset put on the wire (the simulator's traffic
// file). One simulator and one window for the whole executable; the reset
// and the offline restore, which change the link, run last.
#include <QJsonArray>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "base/eventlog.h"
#include "cli/clirun.h"
#include "dialoganswers.h"
#include "services/backupfile.h"
#include "window/backuppage.h"
#include "window/navigator.h"
#include "windowfixture.h"

namespace {
constexpr int kOnlineMs = 20000;
constexpr int kTransferMs = 30000;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
int firstValue(const QJsonObject& r) {
    return r.value(QStringLiteral("values")).toArray().at(0).toInt();
}
qint64 msOf(const QJsonObject& r) {
    return QDateTime::fromString(r.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs)
        .toMSecsSinceEpoch();
}
}  // namespace

class TestBackupPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void backupEqualsCommandLineBackup();
    void restoreAnsweredNoThenBackupIsTheInstrument();
    void foreignBackupChangesNothing_data();
    void foreignBackupChangesNothing();
    void unreadCalibrationWritesNoFile();
    void overwriteAnsweredNoReadsNothing();
    void unwritableBackupIsReported();
    void restoreWritesEveryEntryInOrder_data();
    void restoreWritesEveryEntryInOrder();
    void restoreRetryNamesTheEntry();
    void restoreAnsweredNoSendsNothing();
    void missingOrBadFileIsReported();
    void resetPassword_data();
    void resetPassword();
    void offlineRestoreShowsWithoutSending();

private:
    ParameterTable& table() { return f_.session().table(); }
    const ParameterTable& table() const { return f_.form->session().table(); }
    BackupPage* page() { return qobject_cast<BackupPage*>(f_.form->navigator().page(9)); }
    template <typename T = QWidget>
    T* control(const char* name) {
        return f_.control<T>(name);
    }
    qsizetype mark() const { return f_.sim->traffic().size(); }
    QList<QJsonObject> writesSince(qsizetype m) const {
        QList<QJsonObject> out;
        for (const QJsonObject& r : f_.sim->traffic().mid(m)) {
            const int fn = r.value(QStringLiteral("function")).toInt();
            if (fn == 0x06 || fn == 0x10)
                out.append(r);
        }
        return out;
    }
    // Reads of the calibration section (a backup's), as opposed to polls.
    int calibrationReadsSince(qsizetype m) const {
        int n = 0;
        for (const QJsonObject& r : f_.sim->traffic().mid(m))
            if (r.value(QStringLiteral("function")).toInt() == 0x03 &&
                r.value(QStringLiteral("register")).toInt() >= table().calibrationBase)
                ++n;
        return n;
    }
    int entryNamed(const char* name) {
        for (int i = 0; i < table().entryCount(); ++i)
            if (table().entry(i).name == QLatin1String(name))
                return i;
        return -1;
    }
    int commandRegister() { return table().entry(table().findRole(6)).regOffset; }
    // Clicks a page button and waits for its sequence (and its dialogs) to end.
    bool click(const char* button) {
        control<QPushButton>(button)->click();
        return QTest::qWaitFor([this] { return !page()->transferRunning(); }, kTransferMs);
    }
    void put16(QByteArray& bytes, int entry, int value) {
        const int at = table().entry(entry).imagePos;
        bytes[at] = static_cast<char>((value >> 8) & 0xFF);
        bytes[at + 1] = static_cast<char>(value & 0xFF);
    }
    // A backup with the instrument's running uptime (a live value) zeroed.
    QByteArray masked(QByteArray b) {
        const int uptime = entryNamed("UPTIME");
        const int from = table().entry(uptime).imagePos;
        const int size = ParameterTable::typeSize(table().entry(uptime).type);
        return b.replace(from, size, QByteArray(size, '\0'));
    }
    // A backup of the instrument made by the page itself, with `edit` applied.
    QString backupWith(const QString& name, const std::function<void(QByteArray&)>& edit);

    WindowFixture f_;
    QTemporaryDir dir_;
    QString cliBackup_;
    DialogAnswers answers_;
};

void TestBackupPage::initTestCase() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("this build has no velmora-sim");
    QVERIFY(dir_.isValid());
    // No noise: the live values in the image stay what they were.
    QVERIFY2(f_.startSim({QStringLiteral("--noise"), QStringLiteral("0")}),
             qPrintable(f_.sim->errorString()));
    // The command line's backup first, while the port is free.
    cliBackup_ = dir_.filePath(QStringLiteral("cli.mem"));
    const CliResult r = runCli({QStringLiteral("--home"), f_.home.path(), QStringLiteral("--port"),
                                f_.sim->ptyPath(), QStringLiteral("-q"), QStringLiteral("backup"),
                                cliBackup_, QStringLiteral("--yes")});
    QVERIFY2(r.exitCode == 0, r.describe());
    f_.writeSettings(f_.sim->ptyPath());
    QVERIFY(f_.start());
    QVERIFY(QTest::qWaitFor([this] { return f_.session().link().parametri_caricati.load(); },
                            kOnlineMs));
    f_.form->navigator().form_style(Navigator::Setup);
    f_.form->navigator().AbilPannel(9);
    QVERIFY(control("Panel9")->isVisible());
    QVERIFY(control("GB_Reset")->isVisible());
}

void TestBackupPage::cleanupTestCase() {
    f_.form.reset();
}

void TestBackupPage::init() {
    answers_.clear();
}

QString TestBackupPage::backupWith(const QString& name,
                                   const std::function<void(QByteArray&)>& edit) {
    const QString path = dir_.filePath(name);
    QFile::remove(path);
    answers_.file(path).yes();
    if (!click("BtBackup") || !answers_.drained())
        return QString();
    QByteArray bytes = readAll(path);
    edit(bytes);
    answers_.clear();
    return writeAll(path, bytes) ? path : QString();
}

void TestBackupPage::backupEqualsCommandLineBackup() {
    const QString folder = dir_.path() + QLatin1Char('/');
    f_.session().settings().directory = folder;
    const QString path = dir_.filePath(QStringLiteral("sub/page.mem"));
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("sub")));
    answers_.file(path).yes();
    int largestBar = -1;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        auto* bar = control<QProgressBar>("Barg");
        if (bar->isVisible())
            largestBar = std::max(largestBar, bar->maximum());
    });
    watch.start(1);
    const qsizetype m = mark();
    QVERIFY(click("BtBackup"));
    watch.stop();

    QVERIFY2(answers_.unexpected == 0, answers_.describe().constData());
    QCOMPARE(answers_.seen.size(), 2);
    QCOMPARE(answers_.seen[0].name, QStringLiteral("Save1"));
    QCOMPARE(QDir(answers_.seen[0].directory), QDir(folder));
    QCOMPARE(answers_.seen[1].text,
             QStringLiteral("Are you sure to save the file:\r\n") + path + QStringLiteral(" ?"));
    // The folder of the chosen file is kept for the next dialog.
    QCOMPARE(f_.session().settings().directory, dir_.filePath(QStringLiteral("sub")) + '/');
    QCOMPARE(control<QLineEdit>("Efilename")->text(), path);

    // Every calibration entry but the last was read, with the bar showing.
    QCOMPARE(calibrationReadsSince(m), table().calibrationCount() - 1);
    QCOMPARE(largestBar, table().calibrationCount());
    QVERIFY(control("Barg")->isHidden());
    const QByteArray bytes = readAll(path);
    QCOMPARE(bytes.size(), BackupFile::kFileSize);
    // Byte for byte the command line's file, except the instrument's running
    // uptime among the live values, which moves on between the two backups.
    const QByteArray cli = readAll(cliBackup_);
    QCOMPARE(cli.size(), BackupFile::kFileSize);
    const int uptime = entryNamed("UPTIME");
    QVERIFY(uptime >= table().count(0) && uptime < table().count(1));
    const int from = table().entry(uptime).imagePos;
    const int size = ParameterTable::typeSize(table().entry(uptime).type);
    QCOMPARE(masked(bytes), masked(cli));
    QVERIFY(bytes.mid(from, size).toHex().toULongLong(nullptr, 16) >=
            cli.mid(from, size).toHex().toULongLong(nullptr, 16));
    QVERIFY(!f_.session().unsaved());
}

void TestBackupPage::restoreAnsweredNoThenBackupIsTheInstrument() {
    // A file with every setup value changed, answered No: the next backup
    // still holds the instrument's own values, as the command line's does.
    const int setup = table().bytes(0);
    const QString path = backupWith(QStringLiteral("other.mem"), [&](QByteArray& b) {
        for (int k = 0; k < setup; ++k)
            b[k] = static_cast<char>(b[k] ^ 0x5A);
    });
    QVERIFY(!path.isEmpty());
    const QByteArray image = table().image();
    answers_.file(path).no();
    const qsizetype m = mark();
    QVERIFY(click("btRestore"));
    QCOMPARE(answers_.unexpected, 0);
    QVERIFY(writesSince(m).isEmpty());
    QCOMPARE(table().image().left(setup), image.left(setup));

    answers_.clear();
    const QString after = dir_.filePath(QStringLiteral("after-no.mem"));
    answers_.file(after).yes();
    QVERIFY(click("BtBackup"));
    QCOMPARE(answers_.unexpected, 0);
    QCOMPARE(masked(readAll(after)), masked(readAll(cliBackup_)));
}

void TestBackupPage::foreignBackupChangesNothing_data() {
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<QString>("model");
    QTest::newRow("another program") << QByteArray("PDAT35REL 12") << "3512";
    QTest::newRow("made offline") << QByteArray("PDAT00REL 00") << "0000";
}

void TestBackupPage::foreignBackupChangesNothing() {
    QFETCH(QByteArray, tag);
    QFETCH(QString, model);
    const QString path = dir_.filePath(QStringLiteral("foreign.mem"));
    QVERIFY(writeAll(path, QByteArray(256, '\x07') + tag + QByteArray(116, '\xFF')));
    const ParameterTable& t = table();
    const QByteArray image = t.image();
    const QString version = t.definitionVersion;
    answers_.file(path);
    const qsizetype m = mark();
    QVERIFY(click("btRestore"));
    QVERIFY2(answers_.unexpected == 0, answers_.describe().constData());
    // No restore question: the refusal, naming both models, is all.
    QCOMPARE(answers_.boxTexts(),
             QStringList{QStringLiteral("foreign.mem is a backup of model %1 and cannot be "
                                        "restored onto model %2: nothing was changed or sent.")
                             .arg(model, version)});
    QVERIFY(writesSince(m).isEmpty());
    QCOMPARE(t.definitionVersion, version);
    QCOMPARE(t.image().left(t.bytes(0)), image.left(t.bytes(0)));
    QCOMPARE(t.image().mid(t.bytes(1), t.bytes(2) - t.bytes(1)),
             image.mid(t.bytes(1), t.bytes(2) - t.bytes(1)));
}

void TestBackupPage::unreadCalibrationWritesNoFile() {
    // The instrument refuses its first calibration entry four times over.
    const ParameterTable& t = table();
    const int first = t.count(1);
    const int reg = t.calibrationBase + t.entry(first).regOffset + 48;
    QVERIFY(f_.sim->send(QStringLiteral("exception3 %1").arg(reg)).startsWith(QLatin1String("OK")));
    const QString path = dir_.filePath(QStringLiteral("half.mem"));
    answers_.file(path).yes();
    QVERIFY(click("BtBackup"));
    QVERIFY(f_.sim->send(QStringLiteral("exception3 off")).startsWith(QLatin1String("OK")));
    QCOMPARE(answers_.unexpected, 0);
    const QStringList texts = answers_.boxTexts();
    QCOMPARE(texts.size(), 2);
    QVERIFY2(texts.last().startsWith(QStringLiteral("Backup not saved!\r\nThe instrument did not "
                                                    "answer; these calibration entries could "
                                                    "not be read: ") +
                                     t.entry(first).name + QStringLiteral(", ") +
                                     t.entry(first + 1).name),
             qPrintable(texts.last()));
    QVERIFY(texts.last().endsWith(t.entry(t.entryCount() - 2).name +
                                  QStringLiteral(". No file was written.")));
    QVERIFY(!QFileInfo::exists(path));
}

void TestBackupPage::overwriteAnsweredNoReadsNothing() {
    const QString path = dir_.filePath(QStringLiteral("keep.mem"));
    const QByteArray old("not replaced");
    QVERIFY(writeAll(path, old));
    answers_.file(path).yes().no();
    const qsizetype m = mark();
    QVERIFY(click("BtBackup"));
    QCOMPARE(answers_.unexpected, 0);
    QCOMPARE(answers_.boxTexts().value(1), QStringLiteral("File exist, overwrite it?"));
    QCOMPARE(readAll(path), old);
    QCOMPARE(calibrationReadsSince(m), 0);

    // The same question answered yes replaces it.
    answers_.clear();
    answers_.file(path).yes().yes();
    QVERIFY(click("BtBackup"));
    QCOMPARE(readAll(path).size(), BackupFile::kFileSize);

    // Cancelling the dialog asks nothing and reads nothing.
    answers_.clear();
    answers_.file(QString());
    const qsizetype m2 = mark();
    QVERIFY(click("BtBackup"));
    QCOMPARE(answers_.boxTexts(), QStringList());
    QCOMPARE(calibrationReadsSince(m2), 0);
}

void TestBackupPage::unwritableBackupIsReported() {
    // A folder that is not there cannot take the file.
    const QString path = dir_.filePath(QStringLiteral("gone/unit.mem"));
    answers_.file(path).yes();
    QVERIFY(click("BtBackup"));
    QCOMPARE(answers_.unexpected, 0);
    const QStringList texts = answers_.boxTexts();
    QCOMPARE(texts.size(), 2);
    QVERIFY2(texts.last().startsWith(QStringLiteral("Backup not saved!\r\n")),
             qPrintable(texts.last()));
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(!f_.home.logMessages().filter(QStringLiteral("Errore: Backup non salvato")).isEmpty());
}

void TestBackupPage::restoreWritesEveryEntryInOrder_data() {
    QTest::addColumn<int>("calibrationFlag");
    QTest::newRow("setup only") << 0;
    QTest::newRow("with calibration") << 1;
}

void TestBackupPage::restoreWritesEveryEntryInOrder() {
    QFETCH(int, calibrationFlag);
    ParameterTable& t = table();
    const int flag = ParameterTable::kCalibrationFlagEntry;
    const int setp2 = entryNamed("SETP2");
    QVERIFY(setp2 >= 0 && setp2 < t.setupCount());
    const QString path = backupWith(QStringLiteral("restore.mem"), [&](QByteArray& b) {
        put16(b, flag, calibrationFlag);
        // A setpoint of its own, to see the file's value arrive.
        const int at = t.entry(setp2).imagePos;
        const int size = ParameterTable::typeSize(t.entry(setp2).type);
        for (int k = 0; k < size; ++k)
            b[at + k] = static_cast<char>(k == size - 1 ? 77 : 0);
    });
    QVERIFY(!path.isEmpty());

    answers_.file(path).yes();
    const qsizetype m = mark();
    QVERIFY(click("btRestore"));
    QCOMPARE(answers_.unexpected, 0);
    QCOMPARE(answers_.boxTexts(),
             QStringList{QStringLiteral("Are you sure to restore the file:\r\n") + path +
                         QStringLiteral(" ?")});
    QCOMPARE(answers_.seen[0].name, QStringLiteral("Open1"));

    const QList<QJsonObject> w = writesSince(m);
    int k = 0;
    for (int p = 0; p < t.setupCount(); ++p, ++k) {
        QVERIFY2(k < w.size(), "setup writes missing");
        QCOMPARE(w[k].value(QStringLiteral("register")).toInt(), t.entry(p).regOffset);
        if (p == setp2)
            QCOMPARE(w[k].value(QStringLiteral("values")).toArray().last().toInt(), 77);
    }
    QCOMPARE(w.value(k).value(QStringLiteral("register")).toInt(), t.entry(0).regOffset);
    const qint64 entry0Again = msOf(w[k++]);
    if (calibrationFlag) {
        for (int q = 0; q < t.calibrationCount(); ++q, ++k) {
            QVERIFY2(k < w.size(), "calibration writes missing");
            QCOMPARE(w[k].value(QStringLiteral("register")).toInt(),
                     t.calibrationBase + t.entry(t.count(1) + q).regOffset);
        }
        QCOMPARE(w.value(k).value(QStringLiteral("register")).toInt(), commandRegister());
        QCOMPARE(firstValue(w[k++]), 0x30);
    }
    QCOMPARE(w.size(), k + 1);
    QCOMPARE(w[k].value(QStringLiteral("register")).toInt(), commandRegister());
    QCOMPARE(firstValue(w[k]), 0x20);
    if (calibrationFlag)
        QVERIFY(msOf(w[k]) - entry0Again >= 2000);
    QVERIFY(control("Barg")->isHidden());
    QVERIFY(!f_.session().unsaved());
    QCOMPARE(t.entry(setp2).value, QStringLiteral("77"));
}

void TestBackupPage::restoreRetryNamesTheEntry() {
    // A filter value the instrument refuses: the retry question names the
    // entry and the file's value; YES sends it again, NO gives the group up
    // while entry 0 and the save still follow.
    ParameterTable& t = table();
    const int filter = t.findRole(15);
    QVERIFY(filter >= 0 && filter < t.setupCount());
    QCOMPARE(ParameterTable::typeSize(t.entry(filter).type), 2);
    const QString path = backupWith(QStringLiteral("refused.mem"), [&](QByteArray& b) {
        put16(b, ParameterTable::kCalibrationFlagEntry, 0);
        put16(b, filter, 50);
    });
    QVERIFY(!path.isEmpty());
    answers_.file(path).yes().yes().no();
    const qsizetype m = mark();
    QVERIFY(click("btRestore"));
    QCOMPARE(answers_.unexpected, 0);
    const QString question = QStringLiteral("Communication error, continue? ") +
                             t.entry(filter).name + QStringLiteral("=50");
    QCOMPARE(answers_.boxTexts().mid(1), (QStringList{question, question}));

    const QList<QJsonObject> w = writesSince(m);
    QList<int> registers;
    for (const QJsonObject& r : w)
        registers << r.value(QStringLiteral("register")).toInt();
    QCOMPARE(registers.count(t.entry(filter).regOffset), 2);
    // Nothing after the refused entry in the setup group; entry 0, then 0x20.
    QCOMPARE(registers.size(), filter + 2 + 2);
    QCOMPARE(registers.at(registers.size() - 2), t.entry(0).regOffset);
    QCOMPARE(firstValue(w.last()), 0x20);
}

void TestBackupPage::restoreAnsweredNoSendsNothing() {
    const QString path = dir_.filePath(QStringLiteral("restore.mem"));
    QVERIFY(QFile::exists(path));
    answers_.file(path).no();
    const qsizetype m = mark();
    QVERIFY(click("btRestore"));
    QCOMPARE(answers_.unexpected, 0);
    QCOMPARE(answers_.boxTexts().size(), 1);
    QVERIFY(writesSince(m).isEmpty());
}

void TestBackupPage::missingOrBadFileIsReported() {
    const QByteArray image = table().image();
    const QString missing = dir_.filePath(QStringLiteral("absent.mem"));
    answers_.file(missing);
    const qsizetype m = mark();
    QVERIFY(click("btRestore"));
    QCOMPARE(answers_.boxTexts(), QStringList{QStringLiteral("File not Found!\r\nabsent.mem")});
    QCOMPARE(control<QLineEdit>("Efilename")->text(), missing);

    // A file too short to be a backup is refused the same way, image untouched.
    const QString shortFile = dir_.filePath(QStringLiteral("short.mem"));
    QVERIFY(writeAll(shortFile, QByteArray(100, '\x01')));
    answers_.clear();
    answers_.file(shortFile);
    QVERIFY(click("btRestore"));
    QVERIFY2(answers_.unexpected == 0, answers_.describe().constData());
    QCOMPARE(answers_.seen.size(), 2);
    QCOMPARE(answers_.boxTexts().size(), 1);
    QVERIFY(answers_.boxTexts().first().contains(QStringLiteral("short.mem")));
    // The setup and calibration sections as they were (the live values
    // between them go on with the polls).
    const ParameterTable& t = table();
    QCOMPARE(t.image().left(t.bytes(0)), image.left(t.bytes(0)));
    QCOMPARE(t.image().mid(t.bytes(1), t.bytes(2) - t.bytes(1)),
             image.mid(t.bytes(1), t.bytes(2) - t.bytes(1)));
    QVERIFY(writesSince(m).isEmpty());
}

void TestBackupPage::resetPassword_data() {
    QTest::addColumn<QString>("typed");  // null: the box cancelled
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("reset");
    QTest::newRow("cancelled") << QString() << QString() << false;
    QTest::newRow("wrong number") << QStringLiteral("30818") << QString() << false;
    QTest::newRow("not a number") << QStringLiteral("3o817") << QStringLiteral("Invalid password!")
                                  << false;
    QTest::newRow("leading zero") << QStringLiteral("030817") << QString() << true;
}

void TestBackupPage::resetPassword() {
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(bool, reset);
    ParameterTable& t = table();
    answers_.yes().input(typed);
    const int argument = t.findRole(7);
    const qsizetype m = mark();
    QVERIFY(click("btReset"));
    QCOMPARE(answers_.unexpected, 0);
    QCOMPARE(answers_.boxTexts().value(0), QStringLiteral("Are you sure to reset the instrument?"));
    QCOMPARE(answers_.boxTexts().value(1), message);
    const DialogAnswers::Seen input = answers_.seen.value(1);
    QCOMPARE(input.kind, QStringLiteral("input"));
    QCOMPARE(input.title, QStringLiteral("Input Password"));
    QCOMPARE(input.text, QStringLiteral("Password"));
    QVERIFY(input.echoHidden);

    const QList<QJsonObject> w = writesSince(m);
    if (!reset) {
        QVERIFY(w.isEmpty());
        return;
    }
    QCOMPARE(w.size(), 2);
    QCOMPARE(w[0].value(QStringLiteral("register")).toInt(), t.entry(argument).regOffset);
    QCOMPARE(firstValue(w[0]), 30817);
    QCOMPARE(t.entry(argument).value, QStringLiteral("030817"));
    QCOMPARE(w[1].value(QStringLiteral("register")).toInt(), commandRegister());
    QCOMPARE(firstValue(w[1]), 0x18);
}

void TestBackupPage::offlineRestoreShowsWithoutSending() {
    ParameterTable& t = table();
    const int setp1 = entryNamed("SETP1");
    QVERIFY(setp1 >= 0);
    const QString path = backupWith(QStringLiteral("offline.mem"), [&](QByteArray& b) {
        const int at = t.entry(setp1).imagePos;
        const int size = ParameterTable::typeSize(t.entry(setp1).type);
        for (int k = 0; k < size; ++k)
            b[at + k] = static_cast<char>(k == size - 1 ? 42 : 0);
    });
    QVERIFY(!path.isEmpty());
    f_.form->testModeClick(true);
    QVERIFY(f_.session().link().modo_offline);
    answers_.file(path);
    const qsizetype m = mark();
    QVERIFY(click("btRestore"));
    // No question, no traffic: the file's values are on the page.
    QCOMPARE(answers_.unexpected, 0);
    QCOMPARE(answers_.boxTexts(), QStringList());
    QCOMPARE(f_.sim->traffic().size(), m);
    QCOMPARE(t.entry(setp1).value, QStringLiteral("42"));
    QCOMPARE(readAll(path).left(t.bytes(2)), t.image().left(t.bytes(2)));
}

QTEST_MAIN(TestBackupPage)
#include "tst_backuppage.moc"
