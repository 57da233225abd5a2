#include <QtTest>

#include "base/bigendian.h"
#include "link/codec.h"
#include "link/mainqueue.h"
#include "link/protocol.h"
#include "link/transmitring.h"
#include "session/connection.h"
#include "session/requests.h"
#include "session/session.h"
#include "support/recordingpresentation.h"
#include "support/testhome.h"

#include <poll.h>

#include <thread>

namespace {
// A session whose port is a list: the frames the transmit thread has the
// main thread write.
class WireSession : public Session {
public:
    using Session::Session;
    QList<QByteArray> written;
    void writeFrame(const ExchangePtr& exchange) override {
        written.append(exchange->frame());
        exchange->noteWritten();
    }
};

// The instrument's answer to a request as it went on the wire.
QByteArray answer(const QByteArray& wire) {
    QByteArray request = codec::hex2bin(wire.mid(1, wire.size() - 3));
    request.chop(1);
    QByteArray body = request.left(2);
    switch (static_cast<quint8>(request[1])) {
        case 0x01:
        case 0x02:
            body.append('\x01');
            body.append('\x00');
            break;
        case 0x03:
        case 0x04: {
            const int n = be::u16At(request, 4);
            body.append(static_cast<char>(2 * n));
            body.append(QByteArray(2 * n, '\0'));
            break;
        }
        case 0x07:
            body.append('\x00');
            break;
        default:  // a write: its echo
            body = request.left(6);
            break;
    }
    return codec::componi_frame(body);
}
}  // namespace

// The transmit ring and the queueing rules, without a port.
class TestTransmit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ringWrapsInOrder();
    void queueRefusesTheTwentyFirst();
    void queueNothingWithoutPortOrInOfflineMode();
    void buildersNeedOnlineAndTheLock();
    void pollEndNeverEndsAQueuedRequest();
    void anExchangeIsDecidedOnce();
    void nothingQueuedWhileSearchOrUpdateHoldsTheLine();
    void absentCommandRoleSendsNothing();
    void mainQueueKeepsOrderAcrossThreads();
    void mainQueueClosedDropsCalls();
    void transmitThreadStopsAndRestarts();
};

void TestTransmit::ringWrapsInOrder() {
    TransmitRing ring;
    // Fill and drain 19 so the next store goes to slot 19 and then to 0.
    for (int i = 0; i < 19; ++i)
        QVERIFY(ring.push(Exchange::make(ExchangeKind::Write, QByteArray(1, char(i)))));
    for (int i = 0; i < 19; ++i)
        ring.pop();
    QCOMPARE(ring.coda_scrivi(), 19);
    QVERIFY(ring.push(Exchange::make(ExchangeKind::Read, "a")));
    QCOMPARE(ring.coda_scrivi(), 0);
    QVERIFY(ring.push(Exchange::make(ExchangeKind::Write, "b")));
    ExchangePtr front = ring.front();
    QVERIFY(front);
    QCOMPARE(front->letter(), 'Y');
    QCOMPARE(front->body(), QByteArray("a"));
    ring.pop();
    QCOMPARE(ring.coda_leggi(), 0);
    front = ring.front();
    QVERIFY(front);
    QCOMPARE(front->body(), QByteArray("b"));
    ring.pop();
    QVERIFY(ring.empty());
    QVERIFY(!ring.front());
}

void TestTransmit::queueRefusesTheTwentyFirst() {
    TestHome home;
    RecordingPresentation view;
    Session s(&view);
    s.settings().porta = QStringLiteral("/dev/null-port");
    QList<ExchangePtr> queued;
    for (int i = 0; i < TransmitRing::kSlots; ++i) {
        queued.append(s.accoda_comando(ExchangeKind::Write, QByteArray(1, char(i))));
        QVERIFY(!queued.last()->ended());
    }
    QCOMPARE(s.ring().pending(), 20);
    const ExchangePtr refused = s.accoda_comando(ExchangeKind::Write, "x");
    QVERIFY(refused->ended());
    QVERIFY(!refused->outcome().wasSent());
    QCOMPARE(s.ring().pending(), 20);
    // The oldest request is still the first one: nothing was overwritten.
    QCOMPARE(s.ring().front(), queued.first());
    QVERIFY(home.logMessages().last().startsWith(QLatin1String("Errore: Coda TX piena")));
    for (const ExchangePtr& e : queued)
        QVERIFY(!e->ended());  // the twenty queued requests are still to run
    QCOMPARE(view.status[0], QStringLiteral("Status: TX"));
    QCOMPARE(s.link().stato_link.load(), 0);
}

void TestTransmit::queueNothingWithoutPortOrInOfflineMode() {
    TestHome home;
    Session s;
    s.settings().porta = QStringLiteral("NO");
    QCOMPARE(s.accoda_comando(ExchangeKind::Write, "x")->outcome(),
             Outcome::notSent(Outcome::Reason::PortGone));
    s.settings().porta = QStringLiteral("/dev/null-port");
    s.link().modo_offline = true;
    QCOMPARE(s.accoda_comando(ExchangeKind::Write, "x")->outcome(),
             Outcome::notSent(Outcome::Reason::Offline));
    QVERIFY(s.ring().empty());
}

void TestTransmit::buildersNeedOnlineAndTheLock() {
    TestHome home;
    RecordingPresentation view;
    Session s(&view);
    s.settings().porta = QStringLiteral("/dev/null-port");
    s.link().online = false;
    s.requests().invia_comando(0x02);
    QVERIFY(s.ring().empty());
    s.link().online = true;
    s.link().canale_occupato = true;  // another builder is running
    s.requests().invia_comando(0x02);
    QVERIFY(s.ring().empty());
    // A write to an entry at register offset 0 sends nothing, and Label7
    // ends where it started.
    s.link().canale_occupato = false;
    QVERIFY(s.table().loadDefinition(home.file(QStringLiteral("Config/DATV1218.def"))).ok);
    s.table().entry(1).regOffset = 0;
    s.table().entry(1).value = QStringLiteral("5");
    s.requests().scrivi_parametro(1);
    QVERIFY(s.ring().empty());
    QCOMPARE(view.pendingWrites, (QList<int>{1, 0}));
}

void TestTransmit::pollEndNeverEndsAQueuedRequest() {
    // The race, on the real transmit thread: a builder's request is queued
    // while the thread is in a poll, or just as the thread ends one. The
    // poll's end must leave the builder waiting until its own request has
    // been sent and answered.
    TestHome home;
    WireSession s;
    s.settings().porta = QStringLiteral("/dev/null-port");
    s.connection().loadOfflineDefinition();
    s.link().porta_scelta = true;
    s.link().online = true;
    s.link().parametri_caricati = true;
    s.startTransmitThread();
    QByteArray write;
    write.append("\x01\x06\x00\x10\x00\x05", 6);
    const QByteArray writeFrame = codec::componi_frame(write);
    for (int round = 0; round < 30; ++round) {
        const qsizetype before = s.written.size();
        QVERIFY(s.waitUntil([&] { return s.written.size() > before; }, 5000));
        const QByteArray poll = s.written.last();
        QVERIFY2(poll != writeFrame, "a poll was expected");
        ExchangePtr mine;
        switch (round % 3) {
            case 0:
                // Queued while the thread is in a poll: the poll is on its way.
                mine = s.accoda_comando(ExchangeKind::Write, write);
                s.elabora_risposta(answer(poll));
                break;
            default:
                // Queued right after the poll's reply woke the thread, while
                // it ends the poll.
                s.elabora_risposta(answer(poll));
                if (round % 2)
                    std::this_thread::sleep_for(std::chrono::microseconds(50 * round));
                mine = s.accoda_comando(ExchangeKind::Write, write);
                break;
        }
        QVERIFY(!mine->ended());
        const qsizetype queued = s.written.size();
        bool endedEarly = false;
        QVERIFY(s.waitUntil(
            [&] {
                endedEarly = endedEarly || mine->ended();
                return s.written.size() > queued;
            },
            5000));
        QVERIFY2(!endedEarly, qPrintable(QStringLiteral("round %1").arg(round)));
        QCOMPARE(s.written.last(), writeFrame);
        QVERIFY(!mine->ended());
        s.elabora_risposta(answer(writeFrame));
        QVERIFY(s.waitUntil([&] { return mine->ended(); }, 5000));
        QCOMPARE(mine->outcome(), Outcome::answered());
        QVERIFY(s.ring().empty());
    }
    QVERIFY(s.stopTransmitThread(5000));
}

void TestTransmit::anExchangeIsDecidedOnce() {
    // A damaged or stray line right behind the answer, on the real thread:
    // the answer stands, the write is not sent again and is not logged as
    // failed.
    TestHome home;
    WireSession s;
    s.settings().porta = QStringLiteral("/dev/null-port");
    s.connection().loadOfflineDefinition();
    s.link().porta_scelta = true;
    s.link().online = false;  // no polls: only the write goes out
    s.startTransmitThread();
    QByteArray write;
    write.append("\x01\x06\x00\x10\x00\x05", 6);
    const QByteArray writeFrame = codec::componi_frame(write);
    QByteArray damaged = answer(writeFrame);
    damaged[damaged.size() - 4] = damaged[damaged.size() - 4] == '0' ? '1' : '0';
    for (int round = 0; round < 5; ++round) {
        const qsizetype before = s.written.size();
        const ExchangePtr mine = s.accoda_comando(ExchangeKind::Write, write);
        QVERIFY(s.waitUntil([&] { return s.written.size() > before; }, 5000));
        // Both lines in one turn of the main thread, before the thread
        // looks at its exchange again.
        s.elabora_risposta(answer(writeFrame));
        s.elabora_risposta(damaged);
        QVERIFY(s.waitUntil([&] { return mine->ended(); }, 8000));
        QCOMPARE(mine->outcome(), Outcome::answered());
        QCOMPARE(mine->sends(), 1);
        QCOMPARE(s.written.size(), before + 1);
    }
    for (const QString& line : home.logMessages())
        QVERIFY2(!line.startsWith(QLatin1String("Errore: Ricezione CMD")), qPrintable(line));
    QVERIFY(s.stopTransmitThread(5000));
}

void TestTransmit::nothingQueuedWhileSearchOrUpdateHoldsTheLine() {
    TestHome home;
    Session s;
    s.settings().porta = QStringLiteral("/dev/null-port");
    s.connection().loadOfflineDefinition();
    s.link().online = true;
    for (std::atomic<bool>* holder : {&s.link().ricerca, &s.link().aggiornamento_fw}) {
        *holder = true;
        QElapsedTimer clock;
        clock.start();
        // Through a builder: it returns at once, not sent, and queues nothing.
        const Outcome outcome = s.requests().invia_comando(proto::kCmdTare);
        QCOMPARE(outcome, Outcome::notSent(Outcome::Reason::LockHeld));
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY(s.ring().empty());
        QVERIFY(!s.link().canale_occupato);
        *holder = false;
    }
}

void TestTransmit::absentCommandRoleSendsNothing() {
    // A definition without the command role: the command goes nowhere,
    // least of all to entry 0's register.
    TestHome home;
    home.write("Config/DATV3501.def",
               "[SETUP]=0\r\nA=22\r\nB=23\r\n[DATA]=0\r\nC=24\r\n[CALIBRA]=24576\r\n");
    Session s;
    s.settings().porta = QStringLiteral("/dev/null-port");
    QVERIFY(s.table().loadDefinition(home.file(QStringLiteral("Config/DATV3501.def"))).ok);
    QCOMPARE(s.table().entryOfRole(proto::kRoleCommand), ParameterTable::kAbsent);
    s.link().online = true;
    QCOMPARE(s.requests().invia_comando(proto::kCmdSave),
             Outcome::notSent(Outcome::Reason::NoRegister));
    QVERIFY(s.ring().empty());
    QVERIFY(!s.link().canale_occupato);
    QVERIFY(home.logMessages().last().contains(QLatin1String("assente")));
}

void TestTransmit::mainQueueKeepsOrderAcrossThreads() {
    MainQueue queue;
    QVERIFY(queue.fd() >= 0);
    pollfd idle{queue.fd(), POLLIN, 0};
    QCOMPARE(::poll(&idle, 1, 0), 0);  // nothing posted: no wake-up

    QList<int> seen;
    constexpr int kCalls = 2000;
    std::thread poster([&queue, &seen] {
        for (int i = 0; i < kCalls; ++i) {
            QByteArray payload = QByteArray::number(i);
            queue.post([&seen, payload] { seen.append(payload.toInt()); });
        }
    });
    // Drain while the thread posts, as the event loop would.
    QDeadlineTimer deadline(10000);
    while (seen.size() < kCalls && !deadline.hasExpired()) {
        pollfd ready{queue.fd(), POLLIN, 0};
        if (::poll(&ready, 1, 50) > 0)
            queue.drain();
    }
    poster.join();
    queue.drain();
    QCOMPARE(seen.size(), kCalls);
    for (int i = 0; i < kCalls; ++i)
        QCOMPARE(seen[i], i);
    // The wake-up is cleared by the drain.
    pollfd after{queue.fd(), POLLIN, 0};
    QCOMPARE(::poll(&after, 1, 0), 0);

    // A call posted by a running call runs in the same drain, after it.
    QList<QString> order;
    queue.post([&] {
        order.append(QStringLiteral("a"));
        queue.post([&] { order.append(QStringLiteral("c")); });
    });
    queue.post([&] { order.append(QStringLiteral("b")); });
    queue.drain();
    QCOMPARE(order,
             (QList<QString>{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
}

void TestTransmit::mainQueueClosedDropsCalls() {
    MainQueue queue;
    int runs = 0;
    QVERIFY(queue.post([&runs] { ++runs; }));
    queue.close();
    QVERIFY(queue.closed());
    QVERIFY(!queue.post([&runs] { ++runs; }));
    queue.drain();
    QCOMPARE(runs, 0);
}

void TestTransmit::transmitThreadStopsAndRestarts() {
    // Without a port the pass loop idles; stopping must end it within its
    // bound, free it, and a new one must start in its place.
    TestHome home;
    Session s;
    s.settings().porta = QStringLiteral("NO");
    for (int round = 0; round < 5; ++round) {
        s.startTransmitThread();
        QVERIFY(s.transmitThreadRunning());
        s.mySleep(60);
        QVERIFY(s.stopTransmitThread(5000));
        QVERIFY(!s.transmitThreadRunning());
    }
    // The destructor stops a running thread too.
    s.startTransmitThread();
    QVERIFY(s.transmitThreadRunning());
}

QTEST_MAIN(TestTransmit)
#include "tst_transmit.moc"
