// The documents page, the Help menu and the firmware update on the real
// main window against the virtual instrument. The desktop's opener is
// replaced by a recorder; the firmware programmer is a small script that
// runs until its stop file appears. One simulator and one window for the
// whole executable; the firmware update, which drops and remakes the link,
// runs last.
#include <QAction>
#include <QDirIterator>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include "base/eventlog.h"
#include "base/programfolder.h"
#include "boxwatcher.h"
#include "pagetraffic.h"
#include "services/firmwareupdate.h"
#include "session/writepath.h"
#include "window/aboutbox.h"
#include "window/desktopopener.h"
#include "window/documentspage.h"
#include "window/navigator.h"
#include "windowfixture.h"

namespace {
constexpr int kOnlineMs = 20000;
constexpr int kFieldbusRole = 33;

// Live processes whose command name is `name`, read straight from /proc.
int processesNamed(const QString& name) {
    int n = 0;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        if (pid.toInt() <= 0)
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!comm.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = stat.readAll();
        const qsizetype close = s.lastIndexOf(')');
        if (close > 0 && s.mid(close + 2, 1) != "Z" &&
            comm.readAll().trimmed() == name.toLocal8Bit())
            ++n;
    }
    return n;
}

// True while this process has the file open (the serial port's pty).
bool holdsOpen(const QString& path) {
    const QString wanted = QFileInfo(path).canonicalFilePath();
    for (const QFileInfo& fd :
         QDir(QStringLiteral("/proc/self/fd"))
             .entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        if (QFileInfo(fd.symLinkTarget()).canonicalFilePath() == wanted)
            return true;
    return false;
}

bool touch(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}
}  // namespace

class TestDocuments : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void manualsFolderOpensOrIsReported();
    void fieldbusFilesAreProfibusOnly();
    void manualFollowsTheLanguage();
    void aboutBoxIsOneAndGoesWhenClosed();
    void firmwareUpdateFreesThePortUntilTheProgrammerEnds();

private:
    template <typename T = QWidget>
    T* control(const char* name) {
        return f_.control<T>(name);
    }
    void showPage(int n) {
        f_.form->navigator().openPage(n);
        QVERIFY(control(qPrintable(QStringLiteral("Panel%1").arg(n)))->isVisible());
    }
    QString home(const QString& relative) const { return f_.home.file(relative); }

    WindowFixture f_;
    PageTraffic traffic_;
    QList<QUrl> opened_;
    bool openWorks_ = true;
};

void TestDocuments::initTestCase() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("this build has no velmora-sim");
    DesktopOpener::replace([this](const QUrl& url) {
        opened_ << url;
        return openWorks_;
    });
    QVERIFY2(f_.startSim({QStringLiteral("--noise"), QStringLiteral("0")}),
             qPrintable(f_.sim->errorString()));
    traffic_.sim = f_.sim.get();
    f_.writeSettings(f_.sim->ptyPath());
    QVERIFY(f_.start());
    QTRY_VERIFY_WITH_TIMEOUT(f_.session().link().parametri_caricati.load(), kOnlineMs);
}

void TestDocuments::cleanupTestCase() {
    f_.form.reset();
    DesktopOpener::replace(nullptr);
}

void TestDocuments::init() {
    opened_.clear();
    openWorks_ = true;
}

void TestDocuments::manualsFolderOpensOrIsReported() {
    showPage(10);
    QVERIFY(!QFileInfo::exists(home(QStringLiteral("Manual"))));
    BoxWatcher boxes;
    control<QPushButton>("bt_allmanuals")->click();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("File not Found!")});
    QCOMPARE(boxes.seen[0].title, QStringLiteral("Error!!"));
    QVERIFY(opened_.isEmpty());

    QVERIFY(QDir().mkpath(home(QStringLiteral("Manual"))));
    control<QPushButton>("bt_allmanuals")->click();
    QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(home(QStringLiteral("Manual")))});
    QCOMPARE(boxes.seen.size(), 1);

    // A desktop with no file manager: logged, no message.
    openWorks_ = false;
    control<QPushButton>("bt_allmanuals")->click();
    QCOMPARE(boxes.seen.size(), 1);
    QVERIFY(f_.home.logMessages().contains(QStringLiteral("Errore: Apertura di ") +
                                           home(QStringLiteral("Manual"))));
}

void TestDocuments::fieldbusFilesAreProfibusOnly() {
    auto* gsd = control<QPushButton>("bt_GSD");
    auto* protocol = control<QComboBox>("CBProt2");
    showPage(10);
    QVERIFY(gsd->isHidden());
    QVERIFY(control("lbGSD")->isHidden());

    showPage(5);
    choose(protocol, 1);  // PROFIBUS
    showPage(10);
    QVERIFY(gsd->isVisible());
    QVERIFY(control("lbGSD")->isVisible());
    const QString shots = qEnvironmentVariable("VELMORA_SHOT_DIR");
    if (!shots.isEmpty())
        QVERIFY(f_.form->grab().save(shots + QStringLiteral("/documents-profibus.png")));
    BoxWatcher boxes;
    gsd->click();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("File not Found!")});
    QVERIFY(opened_.isEmpty());
    QVERIFY(QDir().mkpath(home(QStringLiteral("Driver"))));
    gsd->click();
    QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(home(QStringLiteral("Driver")))});
    QCOMPARE(boxes.seen.size(), 1);

    for (int other : {3, 0}) {  // CANOPEN, NONE
        showPage(5);
        choose(protocol, other);
        showPage(10);
        QVERIFY(gsd->isHidden());
        QVERIFY(control("lbGSD")->isHidden());
    }
}

void TestDocuments::manualFollowsTheLanguage() {
    auto* manual = f_.form->findChild<QAction*>(QStringLiteral("Manual1"));
    QVERIFY(manual);
    QCOMPARE(f_.form->findChild<QMenu*>(QStringLiteral("Help1"))->actions().first(), manual);
    fdati& settings = f_.session().settings();
    const QString italian = home(QStringLiteral("Manual/Italiano.pdf"));
    const QString english = home(QStringLiteral("Manual/English.pdf"));
    QFile::remove(italian);
    QFile::remove(english);
    settings.lingua = QStringLiteral("English");

    BoxWatcher boxes;
    manual->trigger();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Help file was not found!")});
    QVERIFY(opened_.isEmpty());

    // The language has none of its own: the Italian one.
    QVERIFY(touch(italian));
    manual->trigger();
    QCOMPARE(opened_.value(0), QUrl::fromLocalFile(italian));
    QVERIFY(touch(english));
    manual->trigger();
    QCOMPARE(opened_.value(1), QUrl::fromLocalFile(english));
    // A language that is a path reaches no file outside Manual/.
    QVERIFY(touch(home(QStringLiteral("elsewhere.pdf"))));
    settings.lingua = QStringLiteral("../elsewhere");
    manual->trigger();
    QCOMPARE(opened_.value(2), QUrl::fromLocalFile(italian));
    QCOMPARE(boxes.seen.size(), 1);
    settings.lingua = QStringLiteral("Italiano");
}

void TestDocuments::aboutBoxIsOneAndGoesWhenClosed() {
    auto* about = f_.form->findChild<QAction*>(QStringLiteral("About1"));
    QVERIFY(about);
    about->trigger();
    QPointer<TFAbout> box = f_.form->findChild<TFAbout*>();
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QVERIFY(!box->isModal());
    QCOMPARE(box->windowTitle(), QStringLiteral("About.."));
    // The designed 420 x 211, with the line of folders in use below it.
    QCOMPARE(box->width(), 420);
    const auto* folders = box->findChild<QLabel*>(QStringLiteral("lbfolders"));
    QVERIFY(folders);
    QVERIFY(folders->text().contains(ProgramFolder::path()));
    QCOMPARE(box->height(), 211 + folders->height() + 14);
    QCOMPARE(box->findChild<QLabel*>(QStringLiteral("lbname"))->text(), QStringLiteral("VELMORA"));
    QVERIFY(box->findChild<QLabel*>(QStringLiteral("lbversion"))
                ->text()
                .endsWith(QLatin1String(VELMORA_VERSION)));
    QVERIFY(!box->findChild<QLabel*>(QStringLiteral("lblicense"))->text().isEmpty());
    QVERIFY(box->findChild<QLabel*>(QStringLiteral("lbfonts"))
                ->text()
                .contains(QLatin1String("Open Font License")));
    const QString shots = qEnvironmentVariable("VELMORA_SHOT_DIR");
    if (!shots.isEmpty())
        QVERIFY(box->grab().save(shots + QStringLiteral("/about.png")));
    // The font's licence travels with it.
    QVERIFY(
        TFAbout::fontLicenceText().contains(QLatin1String("SIL Open Font License, Version 1.1")));

    about->trigger();
    QCOMPARE(f_.form->findChildren<TFAbout*>().size(), 1);
    auto* chiudi = box->findChild<QPushButton*>(QStringLiteral("btChiudi"));
    QCOMPARE(chiudi->text(), QStringLiteral("&Chiudi"));
    chiudi->click();
    QTRY_VERIFY(box.isNull());
    about->trigger();
    QCOMPARE(f_.form->findChildren<TFAbout*>().size(), 1);
    f_.form->findChild<TFAbout*>()->close();
    QTRY_VERIFY(f_.form->findChildren<TFAbout*>().isEmpty());
}

void TestDocuments::firmwareUpdateFreesThePortUntilTheProgrammerEnds() {
    Session& s = f_.session();
    LinkState& link = s.link();
    QVERIFY(link.online);
    const QString pty = f_.sim->ptyPath();
    QVERIFY(holdsOpen(pty));

    // The instrument takes PROFIBUS behind the window's back: the read-out
    // after the update must show it on the documents page, which stays open.
    QVERIFY(s.writePath().write(kFieldbusRole, QStringLiteral("1")).isAnswered());
    showPage(10);
    QVERIFY(control("bt_GSD")->isHidden());

    const QString tool = home(QStringLiteral("AvrProg/AvrProg"));
    f_.home.write(QStringLiteral("AvrProg/AvrProg"),
                  "#!/bin/sh\n"
                  "# Runs until its stop file appears.\n"
                  "stop=\"${1:-$0.stop}\"\n"
                  "while [ ! -e \"$stop\" ]; do sleep 0.05; done\n");
    QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(FirmwareUpdate::toolPath(), tool);
    QCOMPARE(processesNamed(QStringLiteral("AvrProg")), 0);

    // One started by hand before the click.
    const QString handStop = home(QStringLiteral("hand.stop"));
    QProcess hand;
    hand.start(tool, {handStop});
    QVERIFY(hand.waitForStarted());
    QTRY_COMPARE(processesNamed(QStringLiteral("AvrProg")), 1);

    f_.form->BtFirmwareClick();
    QVERIFY(link.aggiornamento_fw);
    QVERIFY(!link.online);
    QVERIFY(!s.port().isOpen());
    QVERIFY(!holdsOpen(pty));
    QVERIFY(!s.tRecover().isActive());
    QVERIFY(!f_.form->searchAction()->isEnabled());
    QTRY_COMPARE(processesNamed(QStringLiteral("AvrProg")), 2);
    traffic_.setMark();

    // No way out while it runs.
    QVERIFY(!f_.form->close());
    QVERIFY(f_.form->isVisible());

    // The Update button (usable offline) once more: a second programmer,
    // still one wait.
    auto* update = control<QPushButton>("BtFirmware");
    QVERIFY(update->isEnabled());
    update->click();
    QTRY_COMPARE(processesNamed(QStringLiteral("AvrProg")), 3);
    QVERIFY(f_.form->firmwareUpdate().waiting());

    // Both copies the window started end; the one started by hand keeps it
    // waiting, and the recovery timer, if anything starts it, leaves the
    // port alone.
    QVERIFY(touch(tool + QStringLiteral(".stop")));
    QTRY_COMPARE(processesNamed(QStringLiteral("AvrProg")), 1);
    QTest::qWait(3 * FirmwareUpdate::kCheckIntervalMs);
    const int recoverMs = s.tRecover().interval();
    QSignalSpy ticks(&s.tRecover(), &QTimer::timeout);
    s.tRecover().start(20);
    QTRY_VERIFY(ticks.size() >= 3);
    s.tRecover().stop();
    s.tRecover().setInterval(recoverMs);
    QVERIFY(link.aggiornamento_fw);
    QVERIFY(f_.form->firmwareUpdate().waiting());
    QVERIFY(!s.port().isOpen());
    QVERIFY(!holdsOpen(pty));
    QVERIFY(!f_.form->close());

    QSignalSpy finished(&f_.form->firmwareUpdate(), &FirmwareUpdate::finished);
    QVERIFY(touch(handStop));
    QVERIFY(hand.waitForFinished(5000));
    QVERIFY(finished.wait(2000));
    QCOMPARE(finished.size(), 1);
    QVERIFY(!link.aggiornamento_fw);
    QVERIFY(s.tRecover().isActive());
    // Nothing went over the line while the programmer had it.
    QCOMPARE(traffic_.since().size(), 0);

    QTRY_VERIFY_WITH_TIMEOUT(link.online && link.parametri_caricati, kOnlineMs);
    QVERIFY(holdsOpen(pty));
    QVERIFY(!traffic_.since().isEmpty());
    QVERIFY(f_.form->searchAction()->isEnabled());
    QTRY_VERIFY(control("bt_GSD")->isVisible());
    QCOMPARE(finished.size(), 1);
    const QStringList log = f_.home.logMessages();
    QCOMPARE(log.count(QStringLiteral("Applicazione: Aggiornamento firmware")), 1);
    QCOMPARE(log.count(QStringLiteral("Applicazione: Fine aggiornamento firmware")), 1);
}

QTEST_MAIN(TestDocuments)
#include "tst_documents.moc"
