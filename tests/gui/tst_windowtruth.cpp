// What the window tells the technician against the virtual instrument: a
// save the instrument refused, list selections across a language change,
// the fieldbus baud rate after start-up, the Analog page's "Exit", the
// test page's switches, and termination requests at awkward moments.
#include <signal.h>
#include <unistd.h>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include "device/comboitems.h"
#include "dialoganswers.h"
#include "languagefiles.h"
#include "pagetraffic.h"
#include "session/writepath.h"
#include "window/loggerpage.h"
#include "window/navigator.h"
#include "window/onoffswitch.h"
#include "window/singleinstance.h"
#include "window/statuspanels.h"
#include "window/terminationwatch.h"
#include "windowfixture.h"

namespace {
constexpr int kCommandRole = 6;
constexpr int kTestModeRole = 8;
constexpr int kUnsavedRole = 16;  // any setting the instrument takes

int commandRegister(Session& s) {
    // The command code goes to the entry's offset, without a section base.
    return s.table().entry(s.table().entryOfRole(kCommandRole)).regOffset;
}

QAction* languageItem(TForm1& form, const QString& name) {
    for (QAction* a : form.languageMenu()->actions())
        if (a->data().toString() == name)
            return a;
    return nullptr;
}

// Whether a process catches SIGTERM yet (its handler is in place).
bool catchesTerm(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

// The window started against a simulator of its own, the instrument's
// parameters read; an empty string when it was, else what went wrong.
QString startOnline(WindowFixture& f, const QStringList& simArgs = {}) {
    if (!f.startSim(simArgs))
        return f.sim->errorString();
    f.writeSettings(f.sim->ptyPath());
    if (!f.start())
        return QStringLiteral("the window did not start");
    if (!QTest::qWaitFor([&] { return f.session().link().parametri_caricati.load(); }, 20000))
        return QStringLiteral("the parameters were not read");
    return {};
}

const QStringList kEthernetModel{QStringLiteral("--model"), QStringLiteral("35"),
                                 QStringLiteral("--release"), QStringLiteral("12")};

bool simUnsaved(WindowFixture& f) {
    return f.sim->status().value(QStringLiteral("unsaved")).toBool();
}
}  // namespace

class TestWindowTruth : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void refusedSaveKeepsTheFlag();
    void refusedSaveAtCloseAsksAgain();
    void languageChangeKeepsSelections();
    void loggerRunEndsAtItsNumberAcrossALanguageChange();
    void fieldbusBaudAfterStartup();
    void analogPageExitEndsRegulation();
    void switchesShowOnToTheRight();
    void terminationClosesAStartupBox_data();
    void terminationClosesAStartupBox();
    void terminationAfterARefusedClose();
    void everyControlTheCoreNamesHasAWidget();
};

void TestWindowTruth::refusedSaveKeepsTheFlag() {
    WindowFixture f;
    QCOMPARE(startOnline(f), QString());
    StatusPanels& sb = f.form->statusBarPanels();
    f.session().writePath().write(kUnsavedRole, QStringLiteral("3"));
    QTRY_VERIFY_WITH_TIMEOUT(sb.unsaved(), 5000);
    const int reg = commandRegister(f.session());
    QVERIFY(f.sim->send(QStringLiteral("exception3 %1").arg(reg)).startsWith(QLatin1String("OK")));

    QTest::mouseClick(&sb, Qt::LeftButton, {}, QPoint(300, 10));
    // The save went out and was refused: nothing pretends it was saved.
    QTRY_COMPARE_WITH_TIMEOUT(f.requestsTo(6, reg), 1, 5000);
    QVERIFY(f.session().unsaved());
    QVERIFY(sb.unsaved());
    QVERIFY(simUnsaved(f));
    QTRY_COMPARE_WITH_TIMEOUT(sb.panelText(1),
                              QStringLiteral("Some data are not saved! (Click Here)"), 5000);
    QTest::qWait(400);  // a few live refreshes: the text stays
    QCOMPARE(sb.panelText(1), QStringLiteral("Some data are not saved! (Click Here)"));
    QVERIFY(f.home.logMessages().join('\n').contains(QLatin1String("Salvataggio parametri")));

    // Once the instrument takes it, the same click saves.
    QVERIFY(f.sim->send(QStringLiteral("exception3 off")).startsWith(QLatin1String("OK")));
    QTest::mouseClick(&sb, Qt::LeftButton, {}, QPoint(300, 10));
    QTRY_COMPARE_WITH_TIMEOUT(f.requestsTo(6, reg), 2, 5000);
    QVERIFY(!f.session().unsaved());
    QVERIFY(!simUnsaved(f));
    QTRY_COMPARE_WITH_TIMEOUT(sb.panelText(1), QStringLiteral("Data saved successfully"), 5000);
}

void TestWindowTruth::refusedSaveAtCloseAsksAgain() {
    WindowFixture f;
    QCOMPARE(startOnline(f), QString());
    f.session().writePath().write(kUnsavedRole, QStringLiteral("2"));
    QTRY_VERIFY_WITH_TIMEOUT(f.session().unsaved(), 5000);
    const int reg = commandRegister(f.session());
    QVERIFY(f.sim->send(QStringLiteral("exception3 %1").arg(reg)).startsWith(QLatin1String("OK")));

    {
        // Save: yes; refused; close anyway: no. The window stays, online.
        DialogAnswers answers;
        answers.yes().no();
        QVERIFY(!f.form->close());
        QCOMPARE(answers.boxTexts(),
                 (QStringList{"Data not saved, do you want to save it?",
                              "The instrument did not save the data. Close anyway?"}));
        QCOMPARE(answers.unexpected, 0);
    }
    QVERIFY(f.form->isVisible());
    QVERIFY(f.session().unsaved());
    QVERIFY(f.session().link().online);
    QVERIFY(f.session().transmitThreadRunning());
    QVERIFY(!f.home.logMessages().contains(QStringLiteral("Applicazione: Chiusura")));

    // The next close asks again, and this time the save goes through.
    QVERIFY(f.sim->send(QStringLiteral("exception3 off")).startsWith(QLatin1String("OK")));
    DialogAnswers answers;
    answers.yes();
    QVERIFY(f.form->close());
    QCOMPARE(answers.boxTexts(), QStringList{"Data not saved, do you want to save it?"});
    QTRY_COMPARE_WITH_TIMEOUT(f.requestsTo(6, reg), 2, 5000);
    QVERIFY(!simUnsaved(f));
    QVERIFY(f.home.logMessages().endsWith(QStringLiteral("Applicazione: Chiusura")));
}

void TestWindowTruth::languageChangeKeepsSelections() {
    WindowFixture f;
    copyLanguages(f.home);
    QCOMPARE(startOnline(f), QString());
    // A selection the instrument does not hold: only the window knows it.
    auto* mode = f.control<QComboBox>("CBtipologPC");
    choose(mode, 2);
    const QStringList names = Decoder::fixedCombos();
    QMap<QString, int> before;
    for (const QString& name : names)
        if (auto* box = f.form->findChild<QComboBox*>(name))
            before.insert(name, box->currentIndex());
    QCOMPARE(before.value(QStringLiteral("CBtipologPC")), 2);

    for (const QString& lang : {QStringLiteral("English"), QStringLiteral("Deutsch")}) {
        f.form->langClick(languageItem(*f.form, lang));
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            auto* box = f.form->findChild<QComboBox*>(it.key());
            QVERIFY2(box->currentIndex() == it.value(), qPrintable(lang + ": " + it.key()));
            QCOMPARE(f.session().controls().index(it.key()), it.value());
            QCOMPARE(f.session().controls().text(it.key()), box->currentText());
        }
    }
    QCOMPARE(mode->currentText(), ComboItems::items(QStringLiteral("CBtipologPC")).value(2));
    // Offline, the same: nothing falls back to a default.
    f.form->offlineModeAction()->trigger();
    QVERIFY(f.session().link().modo_offline);
    f.form->langClick(languageItem(*f.form, QStringLiteral("English")));
    QCOMPARE(mode->currentIndex(), 2);
    f.form->offlineModeAction()->trigger();
}

void TestWindowTruth::loggerRunEndsAtItsNumberAcrossALanguageChange() {
    WindowFixture f;
    copyLanguages(f.home);
    QCOMPARE(startOnline(f, {QStringLiteral("--load"), QStringLiteral("3")}), QString());
    QVERIFY(f.form->navigator().openPage(12));
    auto* page = f.form->findChild<LoggerPage*>();
    QVERIFY(page);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    f.control<QLineEdit>("Elogfile")->setText(path);
    choose(f.control<QComboBox>("CBtipologPC"), 1);  // Number of Logs
    typeAndLeave(f.control<QLineEdit>("ElogstopPC"), QStringLiteral("5"));
    typeAndLeave(f.control<QLineEdit>("eintervalPC"), QStringLiteral("0.2"));
    f.control<QPushButton>("btStartPC")->click();
    QVERIFY(page->logging());

    // Mid-run, another language.
    QTRY_VERIFY_WITH_TIMEOUT(f.control<QLabel>("LbPClogcount")->text().toInt() >= 1, 5000);
    f.form->langClick(languageItem(*f.form, QStringLiteral("Deutsch")));
    QCOMPARE(f.control<QComboBox>("CBtipologPC")->currentIndex(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!page->logging(), 10000);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count('\n'), 5);
    QCOMPARE(f.session().settings().logmode, QStringLiteral("1"));
}

void TestWindowTruth::fieldbusBaudAfterStartup() {
    WindowFixture f;
    QCOMPARE(startOnline(f, kEthernetModel), QString());
    // DEVICENET at 500k in the instrument, then a fresh start of the window.
    QVERIFY(f.session().writePath().write(33, QStringLiteral("2")).isAnswered());
    QVERIFY(f.session().writePath().write(35, QStringLiteral("2")).isAnswered());
    f.form.reset();  // stops the link; the instrument keeps its values
    QVERIFY(f.start());
    QTRY_VERIFY_WITH_TIMEOUT(f.session().link().parametri_caricati.load(), 20000);
    auto* baud = f.control<QComboBox>("CBBaudField");
    QCOMPARE(f.control<QComboBox>("CBProt2")->currentText(), QStringLiteral("DEVICENET"));
    QCOMPARE(baud->count(), 3);
    QCOMPARE(baud->currentText(), QStringLiteral("500k"));
    QCOMPARE(f.session().controls().index(QStringLiteral("CBBaudField")), 2);
}

void TestWindowTruth::analogPageExitEndsRegulation() {
    WindowFixture f;
    QCOMPARE(startOnline(f), QString());
    QVERIFY(f.form->navigator().openPage(6));
    QTest::keyClick(f.form.get(), Qt::Key_K, Qt::ControlModifier);
    QWidget* group = f.control("Gbanacal");
    QVERIFY(group->isVisible());
    auto* exit = group->findChild<QPushButton*>(QStringLiteral("btExitanacal"));
    QVERIFY(exit);
    QVERIFY(exit->isVisible());
    QCOMPARE(exit->text(), QStringLiteral("Exit"));

    PageTraffic traffic{f.sim.get()};
    traffic.setMark();
    f.control<QPushButton>("btanaOMM")->click();
    const int mode = registerOfRole(f.session().table(), kTestModeRole);
    QTRY_VERIFY_WITH_TIMEOUT(traffic.writesTo(mode).size() == 1, 5000);
    QVERIFY(f.session().testRunning());

    exit->click();
    QVERIFY(group->isHidden());
    QVERIFY(!f.session().testRunning());
    QTRY_COMPARE_WITH_TIMEOUT(traffic.writesTo(mode).size(), 2, 5000);
    QCOMPARE(traffic.writesTo(mode).last(), 0);
    // The page stays; Ctrl+K opens the group again.
    QCOMPARE(f.form->navigator().currentPage(), 6);
    QTest::keyClick(f.form.get(), Qt::Key_K, Qt::ControlModifier);
    QVERIFY(group->isVisible());
}

void TestWindowTruth::switchesShowOnToTheRight() {
    WindowFixture f;
    QCOMPARE(startOnline(f), QString());
    QVERIFY(f.form->navigator().openPage(11));
    auto* sw = f.control<OnOffSwitch>("SLOut1");
    QVERIFY(sw && sw->isVisible());
    auto knobSide = [sw] {
        const QImage picture = sw->grab().toImage();
        // The knob is near-white; the track around it is coloured.
        const int y = sw->height() / 2;
        const int left = sw->height() / 2;
        const int right = sw->width() - sw->height() / 2;
        auto whiteAt = [&](int x) {
            const QColor c = picture.pixelColor(x * picture.width() / sw->width(),
                                                y * picture.height() / sw->height());
            return c.red() > 230 && c.green() > 230 && c.blue() > 230;
        };
        return whiteAt(left) && !whiteAt(right) ? -1 : whiteAt(right) && !whiteAt(left) ? 1 : 0;
    };
    QVERIFY(!sw->isChecked());
    QCOMPARE(knobSide(), -1);
    sw->click();
    QVERIFY(sw->isChecked());
    QCOMPARE(knobSide(), 1);
    // The on colour fills the track on the left of the knob.
    const QImage on = sw->grab().toImage();
    QCOMPARE(on.pixelColor(on.width() / 4, on.height() / 2), OnOffSwitch::kOnColour);
    sw->click();
    QCOMPARE(knobSide(), -1);
    f.session().endRunningTests();
}

void TestWindowTruth::terminationClosesAStartupBox_data() {
    QTest::addColumn<bool>("secondInstance");
    QTest::addColumn<QString>("port");
    QTest::newRow("program already running") << true << "NO";
    QTest::newRow("stored port missing") << false << "/dev/velmora-no-such-port";
}

void TestWindowTruth::terminationClosesAStartupBox() {
    QFETCH(bool, secondInstance);
    QFETCH(QString, port);
    const QString program = QStringLiteral(VELMORA_BUILD_DIR "/velmora");
    if (!QFileInfo(program).isExecutable())
        QSKIP("velmora is not built");
    WindowFixture f;
    f.writeSettings(port);
    f.home.write(QStringLiteral("Italiano.lng"), QByteArray("[x]\r\n"));
    QLockFile held(SingleInstance::lockPath());
    if (secondInstance)
        QVERIFY(held.tryLock(0));

    QProcess velmora;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), f.runtime.path());
    velmora.setProcessEnvironment(env);
    velmora.start(program, {QStringLiteral("--home"), f.home.path()});
    QVERIFY(velmora.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(catchesTerm(velmora.processId()), 10000);
    // The box waits for an answer that never comes; a request to end is
    // acted on whenever it lands, before the box opens or while it waits.
    QDeadlineTimer deadline(15000);
    while (velmora.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        ::kill(pid_t(velmora.processId()), SIGTERM);
        velmora.waitForFinished(300);
    }
    QCOMPARE(velmora.state(), QProcess::NotRunning);
    QCOMPARE(velmora.exitStatus(), QProcess::NormalExit);
    QCOMPARE(velmora.exitCode(), 0);
    if (!secondInstance)
        QVERIFY(f.home.logMessages().endsWith(QStringLiteral("Applicazione: Chiusura")));
}

void TestWindowTruth::terminationAfterARefusedClose() {
    WindowFixture f;
    f.writeSettings(QStringLiteral("NO"));
    QVERIFY(f.start());
    TerminationWatch watch;
    QVERIFY(watch.install());
    watch.setWindow(f.form.get());
    QSignalSpy quit(&watch, &TerminationWatch::quitRequested);

    // The firmware programmer has the port: the close is refused.
    f.session().link().aggiornamento_fw = true;
    QCOMPARE(::kill(::getpid(), SIGTERM), 0);
    QTRY_COMPARE_WITH_TIMEOUT(watch.handled(), 1, 5000);
    QTest::qWait(100);  // the close runs from the main loop just after
    QVERIFY(f.form->isVisible());
    QCOMPARE(quit.count(), 0);

    // Once it has ended, the next request closes the window.
    f.session().link().aggiornamento_fw = false;
    QCOMPARE(::kill(::getpid(), SIGTERM), 0);
    QTRY_COMPARE_WITH_TIMEOUT(quit.count(), 1, 5000);
    QVERIFY(!f.form->isVisible());
    QVERIFY(f.home.logMessages().endsWith(QStringLiteral("Applicazione: Chiusura")));
}

void TestWindowTruth::everyControlTheCoreNamesHasAWidget() {
    WindowFixture f;
    copyLanguages(f.home);
    QCOMPARE(startOnline(f, kEthernetModel), QString());
    // Everything the core shows: the read-out, a language change, the
    // offline look and offline mode, and back.
    f.form->langClick(languageItem(*f.form, QStringLiteral("English")));
    f.form->offlineModeAction()->trigger();
    f.form->offlineModeAction()->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(f.session().link().parametri_caricati.load(), 20000);
    // The front end drops an update for a name it cannot find: a control
    // renamed in a form would go dark without a word.
    QSet<QString> names;
    for (const ControlUpdate& u : f.session().controls().snapshot())
        names.insert(u.control);
    QVERIFY(names.size() > 50);
    QStringList missing;
    for (const QString& name : names)
        if (!f.form->findChild<QWidget*>(name))
            missing << name;
    missing.sort();
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
}

QTEST_MAIN(TestWindowTruth)
#include "tst_windowtruth.moc"
