#include <QtTest>

#include "session/connection.h"
#include "session/hotplug.h"
#include "session/requests.h"
#include "session/searchprobe.h"
#include "session/session.h"
#include "session/writepath.h"
#include "support/recordingpresentation.h"
#include "support/simprocess.h"
#include "support/simrig.h"
#include "support/testhome.h"

namespace {
// Function codes of the requests the simulator received, oldest first.
QList<int> functions(const QList<QJsonObject>& traffic) {
    QList<int> out;
    for (const QJsonObject& r : traffic)
        out.append(r.value(QStringLiteral("function")).toInt());
    return out;
}

int countFunction(const QList<QJsonObject>& traffic, int function) {
    return static_cast<int>(functions(traffic).count(function));
}

using Rig = SimRig;
}  // namespace

// The real link against velmora-sim on a pseudo-terminal.
class TestLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void connectReadsEverySetupEntryThenPolls();
    void peakViewPollsX();
    void fallbackToLowerRelease();
    void silentInstrumentGoesOfflineAndRecovers();
    void silentWriteIsSentFourTimes();
    void writePath();
    void refusedValueIsNotRetried();
    void corruptedRepliesAreNeverData();
    void unplugAndReplugDuringPolling();
    void searchFindsAddress105AndStops();
    void lateSearchRepliesCountForTheirOwnAddress();
    void byteEntriesStoreOnlyTheirByte();
    void requestFromInsideAReplysHandlingIsAnswered();
};

void TestLink::connectReadsEverySetupEntryThenPolls() {
    Rig rig({QStringLiteral("--load"), QStringLiteral("250")});
    QVERIFY2(rig.start(), qPrintable(rig.sim.errorString()));
    QVERIFY(rig.session.link().online);
    QVERIFY(rig.session.link().parametri_caricati);
    QVERIFY(rig.session.table().definitionPath.endsWith(QLatin1String("DATV1218.def")));
    QCOMPARE(rig.view.progressMax, 42);
    QCOMPARE(rig.view.progress, 42);
    QVERIFY(!rig.view.progressShown);
    QVERIFY(!rig.session.unsaved());
    QCOMPARE(rig.view.looks.last(), true);
    QVERIFY(rig.view.sendOrange);
    // Every setup entry was read once, in order, from the setup base.
    const QList<QJsonObject> readout = rig.sim.traffic();
    QCOMPARE(readout.first().value(QStringLiteral("function")).toInt(), 4);
    QCOMPARE(readout.first().value(QStringLiteral("register")).toInt(), 5);
    QCOMPARE(countFunction(readout, 3), 42);
    // Scale division and a 32-bit entry arrived as value texts.
    QVERIFY(!rig.session.table().entry(0).value.isEmpty());
    QVERIFY(!rig.session.table().entry(10).value.isEmpty());

    // The poll cycle: C, P, I, P, E, P.
    const qsizetype before = rig.sim.traffic().size();
    QVERIFY(rig.sim.waitForTraffic(static_cast<int>(before) + 13, 10000));
    QList<int> polls = functions(rig.sim.traffic()).mid(before);
    const qsizetype start = polls.indexOf(1);
    QVERIFY(start >= 0 && start + 6 <= polls.size());
    QCOMPARE(polls.mid(start, 6), (QList<int>{1, 4, 2, 4, 7, 4}));
    // The live weight reached the display (250 kg, division 1).
    QVERIFY(rig.session.waitUntil([&] { return rig.session.display().grossWeight > 200; }, 3000));
}

void TestLink::peakViewPollsX() {
    Rig rig;
    QVERIFY(rig.start());
    rig.session.setView(2);
    rig.session.mySleep(200);
    const qsizetype before = rig.sim.traffic().size();
    QVERIFY(rig.sim.waitForTraffic(static_cast<int>(before) + 12, 10000));
    const QList<int> polls = functions(rig.sim.traffic()).mid(before + 1);
    QVERIFY(!polls.contains(4));
    QVERIFY(polls.count(3) >= 4);
}

void TestLink::fallbackToLowerRelease() {
    Rig rig({QStringLiteral("--release"), QStringLiteral("25"), QStringLiteral("--def"),
             sourceDir() + QStringLiteral("/Config/DATV1218.def")});
    QVERIFY(rig.start());
    QVERIFY(rig.session.link().online);
    QCOMPARE(rig.session.table().firmwareCaption, QStringLiteral("Progr.12 Rel.2.5"));
    QVERIFY(rig.session.table().definitionPath.endsWith(QLatin1String("DATV1218.def")));
    QCOMPARE(rig.session.table().entryCount(), 73);
}

void TestLink::silentInstrumentGoesOfflineAndRecovers() {
    Rig rig;
    QVERIFY(rig.start());
    QCOMPARE(rig.sim.send(QStringLiteral("silent on")).left(2), QStringLiteral("OK"));
    // Two sends of one poll, then offline with no error line.
    QVERIFY(rig.session.waitUntil([&] { return !rig.session.link().online; }, 5000));
    QVERIFY(rig.view.statusTexts.contains(QStringLiteral("0|Status: Retry 2 C:P")) ||
            rig.view.statusTexts.filter(QStringLiteral("Status: Retry 2 C:")).size() > 0);
    QCOMPARE(rig.view.status[0], QStringLiteral("Status: Offline"));
    QVERIFY(rig.session.tRecover().isActive());
    QCOMPARE(rig.session.link().stato_link.load(), 2);
    QVERIFY(rig.home.logMessages().filter(QStringLiteral("Errore: Ricezione")).isEmpty());
    // The instrument answers again: TRecover reconnects by itself.
    QCOMPARE(rig.sim.send(QStringLiteral("silent off")).left(2), QStringLiteral("OK"));
    QVERIFY(rig.waitOnline(15000));
    QCOMPARE(rig.view.looks.last(), true);
}

void TestLink::silentWriteIsSentFourTimes() {
    Rig rig;
    QVERIFY(rig.start());
    rig.sim.send(QStringLiteral("silent on"));
    const qsizetype before = rig.sim.traffic().size();
    QElapsedTimer clock;
    clock.start();
    rig.session.writePath().write(15, QStringLiteral("7"));  // filter
    const qint64 took = clock.elapsed();
    const QList<QJsonObject> after = rig.sim.traffic().mid(before);
    QCOMPARE(countFunction(after, 6), 4);
    QVERIFY2(took >= 4 * 3500 + 3 * 300 - 200, qPrintable(QString::number(took)));
    QVERIFY(rig.view.statusTexts.contains(QStringLiteral("0|Status: Retry 1 C:W")));
    QVERIFY(rig.view.statusTexts.contains(QStringLiteral("0|Status: Retry 2 C:W")));
    QVERIFY(rig.home.logMessages().contains(QStringLiteral("Errore: Ricezione CMD:W Data:")));
    QVERIFY(!rig.session.unsaved());
}

void TestLink::writePath() {
    Rig rig;
    QVERIFY(rig.start());
    ParameterTable& t = rig.session.table();
    auto writesSince = [&](qsizetype from) {
        QList<QJsonObject> out;
        for (const QJsonObject& r : rig.sim.traffic().mid(from)) {
            const int f = r.value(QStringLiteral("function")).toInt();
            if (f == 6 || f == 0x10)
                out.append(r);
        }
        return out;
    };
    rig.session.setView(1);
    // An unchanged value sends nothing.
    qsizetype mark = rig.sim.traffic().size();
    rig.session.writePath().write(15, t.entry(15).value);
    rig.session.mySleep(200);
    QVERIFY(writesSince(mark).isEmpty());

    // 16-bit: function 6 at the entry's register.
    const QString newFilter =
        t.entry(15).value == QLatin1String("3") ? QStringLiteral("4") : QStringLiteral("3");
    mark = rig.sim.traffic().size();
    const Outcome written = rig.session.writePath().write(15, newFilter);
    QList<QJsonObject> w = writesSince(mark);
    QCOMPARE(w.size(), 1);
    QCOMPARE(w[0].value(QStringLiteral("function")).toInt(), 6);
    QCOMPARE(w[0].value(QStringLiteral("register")).toInt(), t.entry(15).regOffset);
    QCOMPARE(written, Outcome::answered());
    QVERIFY(rig.session.unsaved());

    // 32-bit: function 0x10 with two registers; read back through the instrument.
    mark = rig.sim.traffic().size();
    rig.session.writePath().write(3, QStringLiteral("123456"));
    w = writesSince(mark);
    QCOMPARE(w.size(), 1);
    QCOMPARE(w[0].value(QStringLiteral("function")).toInt(), 0x10);
    QCOMPARE(w[0].value(QStringLiteral("count")).toInt(), 2);
    t.entry(3).value = QStringLiteral("0");
    rig.session.requests().leggi_parametro(3, false);
    QCOMPARE(t.entry(3).value, QStringLiteral("123456"));

    // Out of range: logged, nothing sent, the question box says so. A role
    // this program does not have (43, an IP byte) writes nothing at all.
    mark = rig.sim.traffic().size();
    rig.session.writePath().write(3, QStringLiteral("-1"));  // u32
    const QString division = t.entry(0).value;
    rig.session.writePath().write(43, QStringLiteral("5"));
    QCOMPARE(t.entry(0).value, division);
    rig.session.mySleep(100);
    QVERIFY(writesSince(mark).isEmpty());
    QVERIFY(rig.home.logMessages().contains(
        QStringLiteral("Errore: aggiorna_valore - numero non valido(-1)")));
    QVERIFY(rig.view.questions.contains(QStringLiteral("1|Invalid number!")));

    // Address 0 goes out as 1 and the address field shows it.
    rig.session.link().indirizzo = 0;
    QVERIFY(rig.session.waitUntil([&] { return rig.session.link().indirizzo == 1; }, 2000));
    const ControlUpdate* addr =
        rig.view.last(QStringLiteral("Eaddress"), ControlUpdate::What::Text);
    QVERIFY(addr && addr->text == QLatin1String("1"));
}

void TestLink::refusedValueIsNotRetried() {
    TestHome probeHome;
    ParameterTable t;
    QVERIFY(t.loadDefinition(probeHome.file(QStringLiteral("Config/DATV1218.def"))).ok);
    const int reg = t.entry(15).regOffset;
    Rig rig({QStringLiteral("--exception3-on-register"), QString::number(reg)});
    QVERIFY(rig.start());
    // The refused read ended its exchange without data: nothing was stored
    // for it, and the read-out went on.
    QVERIFY(rig.session.link().online);
    QVERIFY(rig.session.table().entry(16).value.size() > 0);
    QVERIFY(rig.home.logMessages().contains(QStringLiteral("Errore Comando:Y RX CMD:3 Errore:3")));

    const qsizetype mark = rig.sim.traffic().size();
    rig.session.writePath().write(15, QStringLiteral("9"));
    QCOMPARE(rig.session.link().stato_link.load(), 3);
    QVERIFY(!rig.session.unsaved());
    int writes = 0;
    for (const QJsonObject& r : rig.sim.traffic().mid(mark))
        if (r.value(QStringLiteral("function")).toInt() == 6)
            ++writes;
    QCOMPARE(writes, 1);
    QVERIFY(rig.home.logMessages().contains(QStringLiteral("Errore Comando:W RX CMD:6 Errore:3")));
}

void TestLink::corruptedRepliesAreNeverData() {
    Rig rig({QStringLiteral("--corrupt-lrc-every"), QStringLiteral("3")});
    QVERIFY(rig.start());
    QVERIFY(rig.waitOnline(10000));
    // Reads through the ring, with every third reply corrupted: each ends
    // with the instrument's own value, never a stale or damaged one.
    ParameterTable& t = rig.session.table();
    for (int i = 10; i < 18; ++i) {
        t.entry(i).value = QStringLiteral("-1");
        rig.session.requests().leggi_parametro(i, false);
        QVERIFY2(t.entry(i).value != QLatin1String("-1"), qPrintable(t.entry(i).name));
    }
    QVERIFY(!rig.home.logMessages().filter(QStringLiteral("CHKSUM RX Error:")).isEmpty());
}

void TestLink::unplugAndReplugDuringPolling() {
    TestHome linkHome;
    const QString linkPath = linkHome.file(QStringLiteral("ttyVELMORA"));
    Rig rig({QStringLiteral("--link"), linkPath});
    QVERIFY(rig.sim.start());
    rig.session.settings().porta = linkPath;
    rig.session.settings().velocita = QStringLiteral("115200");
    rig.session.setStartupComplete(true);
    PortWatch watch(rig.session);
    watch.start();
    watch.cercacom();
    rig.session.impostacom();
    QVERIFY(rig.waitOnline(10000));

    QCOMPARE(rig.sim.send(QStringLiteral("unplug")), QStringLiteral("OK unplug"));
    QVERIFY(rig.session.waitUntil([&] { return !rig.session.link().online; }, 5000));
    QVERIFY(rig.session.waitUntil(
        [&] { return rig.session.settings().porta == QLatin1String("NO"); }, 5000));
    QCOMPARE(rig.view.looks.last(), false);

    QVERIFY(rig.sim.send(QStringLiteral("replug")).startsWith(QLatin1String("OK replug")));
    QVERIFY(rig.waitOnline(15000));
    QCOMPARE(rig.session.settings().porta, linkPath);
}

void TestLink::searchFindsAddress105AndStops() {
    Rig rig({QStringLiteral("--address"), QStringLiteral("105")});
    QVERIFY(rig.sim.start());
    rig.session.settings().porta = rig.sim.ptyPath();
    rig.session.settings().velocita = QStringLiteral("115200");
    rig.session.connection().loadOfflineDefinition();  // the probe reads the data base
    rig.session.impostacom();  // opens without connecting: start-up not complete
    SearchProbe probe(rig.session);
    QList<int> found = probe.btsearchClick(QStringLiteral("115200"));
    QCOMPARE(found, QList<int>{105});
    QVERIFY(!rig.session.link().ricerca);
    QVERIFY(!rig.session.link().inFlight());

    // STOP during a run ends it after the address being probed.
    int last = 0;
    connect(&probe, &SearchProbe::probing, this, [&](int address) {
        last = address;
        if (address == 20)
            QTimer::singleShot(0, &probe, [&] { probe.btsearchClick(QStringLiteral("115200")); });
    });
    found = probe.btsearchClick(QStringLiteral("115200"));
    QVERIFY(found.isEmpty());
    QVERIFY2(last >= 20 && last <= 21, qPrintable(QString::number(last)));
    QVERIFY(!probe.ricerca_attiva());
}

void TestLink::lateSearchRepliesCountForTheirOwnAddress() {
    // At 115200 each address waits 44 ms; replies 60 ms late arrive while
    // the next address is probed. The reply's own address decides.
    Rig rig({QStringLiteral("--address"), QStringLiteral("3,105"), QStringLiteral("--delay-ms"),
             QStringLiteral("60")});
    QVERIFY(rig.sim.start());
    rig.session.settings().porta = rig.sim.ptyPath();
    rig.session.settings().velocita = QStringLiteral("115200");
    rig.session.connection().loadOfflineDefinition();
    rig.session.impostacom();
    SearchProbe probe(rig.session);
    QCOMPARE(probe.btsearchClick(QStringLiteral("115200")), (QList<int>{3, 105}));
}

void TestLink::byteEntriesStoreOnlyTheirByte() {
    Rig rig({QStringLiteral("--def"), sourceDir() + QStringLiteral("/Config/DATV3512.def")});
    QVERIFY(rig.start());
    ParameterTable& t = rig.session.table();
    QCOMPARE(t.entry(43).type, quint8(1));
    // A one-register reply carries two bytes; only the low one is the entry's.
    t.writeImageByte(t.entry(44).imagePos, 0xAB);
    QCOMPARE(rig.session.requests().leggi_parametro(43, false), Outcome::answered());
    QCOMPARE(t.readImageByte(t.entry(44).imagePos), quint8(0xAB));
    QCOMPARE(t.entry(43).value, QString::number(t.readImageByte(t.entry(43).imagePos)));
}

void TestLink::requestFromInsideAReplysHandlingIsAnswered() {
    // A timer firing in the live refresh's event processing sends its request
    // from inside the handling of a reply, where Qt holds the port's next
    // readyRead back: the reply must still end the exchange, the first time.
    Rig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.waitOnline(20000));
    const qsizetype before = rig.sim.traffic().size();
    const std::optional<Outcome> outcome = rig.tareInsideLiveRefresh(30000);
    QVERIFY(outcome);
    QVERIFY2(outcome->isAnswered(), qPrintable(outcome->text()));
    QCOMPARE(countFunction(rig.sim.traffic().mid(before), 6), 1);
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
