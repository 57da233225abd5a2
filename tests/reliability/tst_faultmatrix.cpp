#include <QtTest>
#include <memory>

#include "session/hotplug.h"
#include "session/requests.h"
#include "session/session.h"
#include "session/writepath.h"
#include "support/recordingpresentation.h"
#include "support/simprocess.h"
#include "support/testhome.h"

// The real link (port, transmit thread, reader, dispatcher, connect
// procedure, hot-plug) against velmora-sim with one fault at a time. Every
// row checks that the link settles where it is designed to within its
// bounds, that nothing damaged, late or foreign is taken as a reply, and
// that it comes back when the fault ends.
namespace {

constexpr int kLoadKg = 250;
// Designed waits of the link, in ms.
constexpr int kPollWait = 500;
constexpr int kDirectWait = 1500;
constexpr int kWriteWait = 3500;
constexpr int kRetryPause = 300;
constexpr int kRecoverTick = 3000;
// Slack on every bound: the machine is shared and sanitizer builds are slow.
constexpr int kSlackMs = 6000;

// A presentation that can act when the read-out reaches an entry.
class Recorder : public RecordingPresentation {
public:
    void setProgress(int value) override {
        RecordingPresentation::setProgress(value);
        if (onProgress)
            onProgress(value);
    }
    std::function<void(int)> onProgress;
};

// A session on a simulator reached through a fixed link path, so that the
// instrument can be unplugged, replugged or power-cycled under it, with both
// hot-plug channels watching as in the window.
struct Rig {
    bool startSim(const QStringList& faults) {
        sim.reset();  // a running one quits first and takes its link along
        sim = std::make_unique<SimProcess>(
            faults + QStringList{QStringLiteral("--link"), linkPath, QStringLiteral("--noise"),
                                 QStringLiteral("0"), QStringLiteral("--load"),
                                 QString::number(kLoadKg)});
        return sim->start();
    }
    // Opens the port as the window does once start-up is complete; the
    // connect procedure runs inside. Returns how long that took.
    qint64 connectSession() {
        session.settings().porta = linkPath;
        session.settings().velocita = QStringLiteral("115200");
        session.setStartupComplete(true);
        watch = std::make_unique<PortWatch>(session);
        watch->start();
        watch->cercacom();
        QElapsedTimer clock;
        clock.start();
        session.impostacom();
        return clock.elapsed();
    }
    bool connected() { return session.link().online && session.link().parametri_caricati; }
    bool waitConnected(int ms) {
        return session.waitUntil([this] { return connected(); }, ms);
    }
    bool waitOffline(int ms) {
        return session.waitUntil([this] { return !session.link().online; }, ms);
    }
    QString send(const QString& command) { return sim->send(command); }

    TestHome home;
    QTemporaryDir linkDir;
    QString linkPath = linkDir.filePath(QStringLiteral("ttyVELMORA"));
    std::unique_ptr<SimProcess> sim;
    Recorder view;
    Session session{&view};
    std::unique_ptr<PortWatch> watch;
};

// What the link did while it was left running.
struct Watched {
    bool everOnline = false;
    bool everOffline = false;
    bool everConnected = false;  // online with the parameters loaded
    QList<qint32> wrongWeights;  // live weights other than the one on the scale
};

Watched observe(Rig& rig, int ms) {
    Watched w;
    Session& s = rig.session;
    s.waitUntil(
        [&] {
            (s.link().online ? w.everOnline : w.everOffline) = true;
            w.everConnected = w.everConnected || rig.connected();
            const qint32 g = s.display().grossWeight;
            if (g != 0 && g != kLoadKg && !w.wrongWeights.contains(g))
                w.wrongWeights.append(g);
            return false;
        },
        ms);
    return w;
}

bool imageUntouched(const ParameterTable& t, int entry) {
    const ParamEntry& e = t.entry(entry);
    for (int k = 0; k < ParameterTable::typeSize(e.type); ++k)
        if (t.readImageByte(e.imagePos + k) != 0)
            return false;
    return true;
}

QString logText(const Rig& rig) {
    return rig.home.logMessages().join(QLatin1Char('\n'));
}

}  // namespace

class TestFaultMatrix : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void faultsOnTheWire_data();
    void faultsOnTheWire();
    void unplugAndReplug_data();
    void unplugAndReplug();
    void lateReplyToAResendIsNotTheNextAnswer();

private:
    // The first entry in [from, to) whose value differs from what the
    // fault-free instrument reports; empty when they all agree.
    QString differsFromReference(Rig& rig, int from, int to, int except = -1) const;

    QStringList reference_;
    ParameterTable table_;
    QTemporaryDir defDir_;
};

void TestFaultMatrix::initTestCase() {
    Rig rig;
    QVERIFY2(rig.startSim({}), qPrintable(rig.sim->errorString()));
    rig.connectSession();
    QVERIFY(rig.waitConnected(10000));
    table_ = rig.session.table();
    for (int i = 0; i < table_.setupCount(); ++i)
        reference_.append(table_.entry(i).value);
    QVERIFY(
        rig.session.waitUntil([&] { return rig.session.display().grossWeight == kLoadKg; }, 5000));
}

QString TestFaultMatrix::differsFromReference(Rig& rig, int from, int to, int except) const {
    const ParameterTable& t = rig.session.table();
    for (int i = from; i < to; ++i) {
        if (i != except && t.entry(i).value != reference_[i])
            return QStringLiteral("%1 (entry %2) = \"%3\", the instrument holds \"%4\"")
                .arg(t.entry(i).name)
                .arg(i)
                .arg(t.entry(i).value, reference_[i]);
    }
    return {};
}

// expect:
//   online          connects and stays online, every value right
//   no-answer       the identification goes unanswered: offline, stato_link 2,
//                   TRecover running
//   readout-stops   a read-out entry goes unanswered: the read-out ends there,
//                   the port is closed, offline, TRecover running
//   polls-stop      connects, then the polls go unanswered: offline,
//                   stato_link 2, TRecover running
void TestFaultMatrix::faultsOnTheWire_data() {
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QString>("expect");
    QTest::addColumn<int>("connectBoundMs");
    QTest::addColumn<int>("answered");  // read-out entries that must hold the instrument's value
    QTest::addColumn<int>("refused");   // an entry whose image must stay untouched, or -1
    QTest::addColumn<QStringList>("logged");
    QTest::addColumn<QStringList>("notLogged");
    QTest::addColumn<QString>("status");  // a status text that must have been shown
    QTest::addColumn<QString>("recovery");

    const int setup = table_.setupCount();
    const int readout = 300 + setup * 100 + 500;  // a healthy read-out, generously
    const QStringList noErrors{QStringLiteral("RX Error"), QStringLiteral("Modbus:"),
                               QStringLiteral("Errore")};

    QTest::newRow("silent instrument")
        << QStringList{QStringLiteral("--silent")} << "no-answer"
        << 300 + 2 * kPollWait + kRetryPause + 500 + kSlackMs << 0 << -1 << QStringList{}
        << QStringList{QStringLiteral("Errore: Ricezione")} << "0|Status: Retry 2 C:V"
        << "silent off";

    // Frames 1 (identification) to 10 are answered: entries 0 to 8.
    QTest::newRow("silence after 10 frames, in the read-out")
        << QStringList{QStringLiteral("--silent-after"), QStringLiteral("10")} << "readout-stops"
        << readout + 3 * kDirectWait + kSlackMs << 9 << 9 << QStringList{} << QStringList{}
        << "0|Status: Retry 3 C:Y"
        << "restart";

    // Late enough that tstato, started by the identification, has long
    // turned the status back to ready when the polls fail.
    QTest::newRow("silence after 100 frames, in polling")
        << QStringList{QStringLiteral("--silent-after"), QStringLiteral("100")} << "polls-stop"
        << readout + kSlackMs << setup << -1 << QStringList{}
        << QStringList{QStringLiteral("Errore: Ricezione")} << "Status: Retry 2 C:"
        << "restart";

    QTest::newRow("every 4th reply with a bad LRC")
        << QStringList{QStringLiteral("--corrupt-lrc-every"), QStringLiteral("4")} << "online"
        << readout + kSlackMs << setup << -1 << QStringList{QStringLiteral("CHKSUM RX Error:")}
        << QStringList{QStringLiteral("Errore"), QStringLiteral("Modbus:")} << ""
        << "";

    // A foreign reply is only logged: the exchange waits out its timeout.
    QTest::newRow("every 11th reply from another address")
        << QStringList{QStringLiteral("--wrong-address-every"), QStringLiteral("11")} << "online"
        << readout + 4 * kDirectWait + kSlackMs << setup << -1
        << QStringList{QStringLiteral("CH RX Error:")}
        << QStringList{QStringLiteral("Errore"), QStringLiteral("Modbus:")} << ""
        << "";

    QTest::newRow("noise before every 3rd reply")
        << QStringList{QStringLiteral("--garbage-every"), QStringLiteral("3")} << "online"
        << readout + kSlackMs << setup << -1 << QStringList{} << noErrors << ""
        << "";

    QTest::newRow("replies split into pieces")
        << QStringList{QStringLiteral("--split-replies")} << "online"
        << readout + setup * 3 * 30 + kSlackMs << setup << -1 << QStringList{} << noErrors << ""
        << "";

    // Exception 3 ends the exchange at once and brings no data: the refused
    // entry must not take the bytes of the reply before it. Pick one whose
    // neighbour holds something, so a stale copy would show.
    int refused = -1;
    for (int i = 1; i < setup && refused < 0; ++i)
        if (reference_[i] != QLatin1String("0") && reference_[i - 1] != QLatin1String("0") &&
            reference_[i] != reference_[i - 1] && table_.entry(i).type == table_.entry(i - 1).type)
            refused = i;
    QVERIFY(refused > 0);
    QTest::newRow("exception 3 on a setup register")
        << QStringList{QStringLiteral("--exception3-on-register"),
                       QString::number(table_.entry(refused).regOffset + table_.setupBase)}
        << "online" << readout + kSlackMs << setup << refused
        << QStringList{QStringLiteral("Errore Comando:Y"), QStringLiteral("Errore:3")}
        << QStringList{QStringLiteral("Errore: Ricezione")} << ""
        << "";

    // Exception 2: the instrument's map lacks a register the definition
    // names (entry 5 moved away in the simulator's copy). It is retried and
    // then ends the read-out like silence.
    const int missing = 5;
    QFile src(sourceDir() + QStringLiteral("/Config/DATV1218.def"));
    QVERIFY(src.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = src.readAll().split('\n');
    int parameter = -1;
    for (QByteArray& line : lines) {
        if (line.startsWith('[') || !line.contains('='))
            continue;
        if (++parameter == missing) {
            const qsizetype eq = line.indexOf('=');
            line = line.left(eq + 2) + "20481\r";  // same type, register 0x5000
        }
    }
    const QString def = defDir_.filePath(QStringLiteral("DATV1218.def"));
    QFile out(def);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(lines.join('\n'));
    out.close();
    QTest::newRow("exception 2 on a register the instrument lacks")
        << QStringList{QStringLiteral("--def"), def} << "readout-stops"
        << readout + 3 * kDirectWait + kSlackMs << missing << missing
        << QStringList{QStringLiteral("Errore Comando:Y"), QStringLiteral(" Errore:2")}
        << QStringList{} << "0|Status: Retry 3 C:Y"
        << "restart";

    // Both identification replies come after the exchange has been given
    // up: they are logged and change nothing.
    QTest::newRow("replies slower than the timeout")
        << QStringList{QStringLiteral("--delay-ms"), QStringLiteral("2500")} << "no-answer"
        << 300 + 2 * kPollWait + kRetryPause + 500 + kSlackMs << 0 << -1
        << QStringList{QStringLiteral("Modbus: tipocomando 0")} << QStringList{}
        << "0|Status: Retry 2 C:V"
        << "restart";
}

void TestFaultMatrix::faultsOnTheWire() {
    QFETCH(QStringList, faults);
    QFETCH(QString, expect);
    QFETCH(int, connectBoundMs);
    QFETCH(int, answered);
    QFETCH(int, refused);
    QFETCH(QStringList, logged);
    QFETCH(QStringList, notLogged);
    QFETCH(QString, status);
    QFETCH(QString, recovery);

    Rig rig;
    QVERIFY2(rig.startSim(faults), qPrintable(rig.sim->errorString()));
    const qint64 took = rig.connectSession();
    QVERIFY2(
        took <= connectBoundMs,
        qPrintable(QStringLiteral("connect took %1 ms, bound %2").arg(took).arg(connectBoundMs)));
    LinkState& link = rig.session.link();
    const ParameterTable& t = rig.session.table();
    const int setup = t.setupCount();

    if (expect == QLatin1String("polls-stop")) {
        QVERIFY(rig.connected());
        // Up to 57 answered polls, then two sends of one poll, each with its
        // wait, and offline with the failure shown.
        QVERIFY(rig.waitOffline(60 * 150 + 2 * kPollWait + kRetryPause + kSlackMs));
        QCOMPARE(link.stato_link.load(), 2);
    }
    // Left running until just before TRecover's first try: it must stay
    // where the fault puts it.
    const Watched w = observe(rig, kRecoverTick - 500);
    if (!w.wrongWeights.isEmpty())
        QFAIL(qPrintable(QStringLiteral("live weight %1 shown, the scale holds %2")
                             .arg(w.wrongWeights.first())
                             .arg(kLoadKg)));

    if (expect == QLatin1String("online")) {
        QVERIFY2(!w.everOffline, "the link dropped");
        QVERIFY(rig.connected());
        QCOMPARE(rig.view.looks.last(), true);
        QVERIFY(rig.session.waitUntil([&] { return rig.session.display().grossWeight == kLoadKg; },
                                      3000));
    } else {
        // Later tries of TRecover may identify the instrument again, but
        // the link never counts as connected while the fault lasts.
        if (expect == QLatin1String("no-answer"))
            QVERIFY2(!w.everOnline,
                     qPrintable(QStringLiteral("an answer came through after the exchange was "
                                               "given up; log:\n") +
                                logText(rig)));
        QVERIFY2(!w.everConnected, "connected although the fault lasts");
        QVERIFY(!link.online);
        QVERIFY(!link.parametri_caricati);
        QVERIFY(rig.session.tRecover().isActive() ||
                rig.session.settings().porta == QLatin1String("NO"));
        QCOMPARE(rig.view.looks.last(), false);
        QCOMPARE(rig.view.status[0], QStringLiteral("Status: Offline"));
        if (expect == QLatin1String("no-answer"))
            QCOMPARE(link.stato_link.load(), 2);
        if (expect == QLatin1String("readout-stops")) {
            QVERIFY(rig.view.progress < setup);
            QVERIFY(!rig.session.port().isOpen());
        }
    }
    if (!status.isEmpty())
        QVERIFY2(!rig.view.statusTexts.filter(status).isEmpty(),
                 qPrintable(rig.view.statusTexts.join(QLatin1Char('\n'))));

    // Values: the instrument's own where answered; never another reply's
    // bytes where not.
    QString wrong = differsFromReference(rig, 0, answered, refused);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    if (refused >= 0)
        QVERIFY2(imageUntouched(t, refused), qPrintable(t.entry(refused).name));
    for (int i = answered; i < setup; ++i)
        if (i != refused && expect != QLatin1String("online"))
            QVERIFY2(imageUntouched(t, i), qPrintable(t.entry(i).name));

    const QString log = logText(rig);
    for (const QString& text : logged)
        QVERIFY2(log.contains(text), qPrintable(text + QStringLiteral(" missing from:\n") + log));
    for (const QString& text : notLogged)
        QVERIFY2(!log.contains(text), qPrintable(text + QStringLiteral(" in:\n") + log));
    if (log.contains(QLatin1String("CH RX Error:")))
        for (const QString& line : rig.home.logMessages().filter(QStringLiteral("CH RX Error:")))
            QVERIFY2(line.endsWith(QLatin1String("0D0A")), qPrintable(line));

    // The fault ends: the link comes back by itself.
    if (recovery.isEmpty())
        return;
    if (recovery == QLatin1String("restart"))
        QVERIFY2(rig.startSim({}), qPrintable(rig.sim->errorString()));
    else
        QVERIFY(rig.send(recovery).startsWith(QLatin1String("OK")));
    QVERIFY2(rig.waitConnected(2 * kRecoverTick + 4 * kDirectWait + kSlackMs),
             qPrintable(logText(rig)));
    wrong = differsFromReference(rig, 0, setup);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QVERIFY(
        rig.session.waitUntil([&] { return rig.session.display().grossWeight == kLoadKg; }, 3000));
    QCOMPARE(rig.view.looks.last(), true);
    QVERIFY(rig.sim->isRunning());
}

void TestFaultMatrix::unplugAndReplug_data() {
    QTest::addColumn<QString>("when");
    QTest::newRow("during the read-out") << "read-out";
    QTest::newRow("during polling") << "polling";
    QTest::newRow("during a write") << "write";
}

void TestFaultMatrix::unplugAndReplug() {
    QFETCH(QString, when);
    Rig rig;
    QVERIFY(rig.startSim({}));
    LinkState& link = rig.session.link();
    const int setup = table_.setupCount();
    const int unplugAt = 10;
    bool unplugged = false;
    if (when == QLatin1String("read-out")) {
        rig.view.onProgress = [&](int entry) {
            if (entry == unplugAt && !unplugged) {
                unplugged = true;
                QCOMPARE(rig.send(QStringLiteral("unplug")), QStringLiteral("OK unplug"));
            }
        };
    }
    const qint64 took = rig.connectSession();

    if (when == QLatin1String("read-out")) {
        QVERIFY(unplugged);
        // The entry in flight fails (at most three direct sends), the rest
        // are not attempted.
        QVERIFY2(took <= 300 + setup * 100 + 3 * kDirectWait + 500 + kSlackMs,
                 qPrintable(QString::number(took)));
        QVERIFY(rig.view.progress < setup);
        const QString wrong = differsFromReference(rig, 0, unplugAt);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        for (int i = unplugAt + 1; i < setup; ++i)
            QVERIFY2(imageUntouched(rig.session.table(), i), qPrintable(QString::number(i)));
    } else {
        QVERIFY(rig.connected());
        if (when == QLatin1String("polling")) {
            rig.session.mySleep(500);
            QCOMPARE(rig.send(QStringLiteral("unplug")), QStringLiteral("OK unplug"));
        } else {
            // The write goes out and is never answered; the port vanishes
            // while the transmit thread waits for the echo.
            QCOMPARE(rig.send(QStringLiteral("silent on")), QStringLiteral("OK silent on"));
            const int role = 15;
            const QString now = rig.session.table().entry(role).value;
            QTimer::singleShot(300, &rig.session, [&] { rig.send(QStringLiteral("unplug")); });
            // Four sends at most, each with the write's wait, then given up.
            // Past that the test ends the wait itself rather than hang.
            bool hung = false;
            QTimer escape;
            escape.setSingleShot(true);
            connect(&escape, &QTimer::timeout, &rig.session, [&] {
                hung = true;
                // The thread's end ends its exchange and so the wait.
                link.requestStop();
                Q_EMIT rig.session.wake();
            });
            escape.start(4 * kWriteWait + 3 * kRetryPause + kSlackMs);
            rig.session.writePath().write(
                role, now == QLatin1String("3") ? QStringLiteral("4") : QStringLiteral("3"));
            escape.stop();
            // The removal sets porta to "NO"; the write already queued still
            // runs out its tries and fails, so its builder returns.
            QVERIFY2(!hung, "the write was still waiting for its exchange to end");
            QVERIFY(
                rig.home.logMessages().contains(QStringLiteral("Errore: Ricezione CMD:W Data:")));
            QCOMPARE(link.stato_link.load(), 2);
            QVERIFY(!rig.session.unsaved());
            QCOMPARE(rig.send(QStringLiteral("silent off")), QStringLiteral("OK silent off"));
        }
    }
    // Both channels see the port go: offline, port closed, "NO" configured.
    QVERIFY(rig.waitOffline(5000));
    QVERIFY(rig.session.waitUntil(
        [&] { return rig.session.settings().porta == QLatin1String("NO"); }, 5000));
    QVERIFY(!rig.session.port().isOpen());
    QVERIFY(!link.parametri_caricati);
    QCOMPARE(rig.view.looks.last(), false);
    // A write cut off by the unplug may still show its last retry after the
    // offline look; the offline text was shown all the same.
    QVERIFY(rig.view.statusTexts.contains(QStringLiteral("0|Status: Offline")));

    // Replugged: found again, connected again, the instrument's values shown
    // (a write that never arrived is not among them).
    QVERIFY(rig.send(QStringLiteral("replug")).startsWith(QLatin1String("OK replug")));
    QVERIFY2(rig.waitConnected(2 * kRecoverTick + setup * 100 + kSlackMs),
             qPrintable(logText(rig)));
    QCOMPARE(rig.session.settings().porta, rig.linkPath);
    const QString wrong = differsFromReference(rig, 0, setup);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QVERIFY(
        rig.session.waitUntil([&] { return rig.session.display().grossWeight == kLoadKg; }, 3000));
}

void TestFaultMatrix::lateReplyToAResendIsNotTheNextAnswer() {
    // An instrument slower than the direct read's wait: the read is sent
    // again, the first reply answers it, and the resend's reply comes while
    // the next read waits. Both reads ask one register, so only the matcher
    // can tell the late reply from the next answer.
    Rig rig;
    QVERIFY2(rig.startSim({}), qPrintable(rig.sim->errorString()));
    rig.connectSession();
    QVERIFY(rig.waitConnected(kSlackMs));
    LinkState& link = rig.session.link();
    ParameterTable& t = rig.session.table();

    // Two one-register setup entries whose values (as just read) differ.
    auto bytesOf = [&t](int i) {
        QByteArray b;
        for (int k = 0; k < ParameterTable::typeSize(t.entry(i).type); ++k)
            b.append(static_cast<char>(t.readImageByte(t.entry(i).imagePos + k)));
        return b;
    };
    int first = -1;
    int second = -1;
    for (int i = 0; i < t.setupCount() && second < 0; ++i) {
        const ParamEntry& e = t.entry(i);
        if (e.regOffset == 0 || ParameterTable::typeSize(e.type) != 2 ||
            Requests::readCount(e.type) != 1)
            continue;
        if (first < 0)
            first = i;
        else if (bytesOf(i) != bytesOf(first))
            second = i;
    }
    QVERIFY2(second >= 0, "no two one-register entries with different values");
    const QByteArray firstValue = bytesOf(first);
    const QByteArray secondValue = bytesOf(second);

    // No polls in between, as during the read-out.
    link.uso_esclusivo = true;
    QVERIFY(rig.session.waitUntil([&] { return !link.inFlight(); }, kSlackMs));
    QCOMPARE(rig.send(QStringLiteral("delay 2000")), QStringLiteral("OK delay 2000"));
    for (int k = 0; k < 2; ++k) {
        t.writeImageByte(t.entry(first).imagePos + k, 0xEE);
        t.writeImageByte(t.entry(second).imagePos + k, 0xEE);
    }
    rig.session.requests().leggi_parametro(first, true);
    QCOMPARE(bytesOf(first), firstValue);
    rig.session.requests().leggi_parametro(second, true);
    QCOMPARE(bytesOf(second), secondValue);
    QVERIFY(
        !rig.home.logMessages().filter(QStringLiteral("Modbus: late reply dropped:")).isEmpty());

    // Back to a prompt instrument, the link goes on as before.
    QCOMPARE(rig.send(QStringLiteral("delay 0")), QStringLiteral("OK delay 0"));
    rig.session.mySleep(2500);  // the last resend's reply drains
    link.uso_esclusivo = false;
    QVERIFY(rig.session.waitUntil(
        [&] { return rig.connected() && rig.session.display().grossWeight == kLoadKg; }, kSlackMs));
}

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
