#include <QtTest>

#include "base/bigendian.h"
#include "link/codec.h"
#include "link/mainqueue.h"
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
    void writeFrame(const QByteArray& frame) override { written.append(frame); }
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
    void mainQueueKeepsOrderAcrossThreads();
    void mainQueueClosedDropsCalls();
    void transmitThreadStopsAndRestarts();
};

void TestTransmit::ringWrapsInOrder() {
    TransmitRing ring;
    // Fill and drain 19 so the next store goes to slot 19 and then to 0.
    for (int i = 0; i < 19; ++i)
        QVERIFY(ring.push('W', QByteArray(1, char(i))));
    for (int i = 0; i < 19; ++i)
        ring.pop();
    QCOMPARE(ring.coda_scrivi(), 19);
    QVERIFY(ring.push('Y', "a"));
    QCOMPARE(ring.coda_scrivi(), 0);
    QVERIFY(ring.push('W', "b"));
    char letter = 0;
    QByteArray body;
    QVERIFY(ring.front(&letter, &body));
    QCOMPARE(letter, 'Y');
    QCOMPARE(body, QByteArray("a"));
    ring.pop();
    QCOMPARE(ring.coda_leggi(), 0);
    QVERIFY(ring.front(&letter, &body));
    QCOMPARE(body, QByteArray("b"));
    ring.pop();
    QVERIFY(ring.empty());
    QVERIFY(!ring.front(&letter, &body));
}

void TestTransmit::queueRefusesTheTwentyFirst() {
    TestHome home;
    RecordingPresentation view;
    Session s(&view);
    s.settings().porta = QStringLiteral("/dev/null-port");
    for (int i = 0; i < TransmitRing::kSlots; ++i)
        QVERIFY(s.accoda_comando('W', QByteArray(1, char(i))));
    QCOMPARE(s.ring().pending(), 20);
    QVERIFY(!s.accoda_comando('W', "x"));
    QCOMPARE(s.ring().pending(), 20);
    // The oldest request is still the first one: nothing was overwritten.
    char letter = 0;
    QByteArray body;
    QVERIFY(s.ring().front(&letter, &body));
    QCOMPARE(body, QByteArray(1, char(0)));
    QVERIFY(home.logMessages().last().startsWith(QLatin1String("Errore: Coda TX piena")));
    QVERIFY(!s.link().tx_finito);  // the twenty queued requests are still to run
    QCOMPARE(view.status[0], QStringLiteral("Status: TX"));
    QCOMPARE(s.link().stato_link.load(), 0);
}

void TestTransmit::queueNothingWithoutPortOrInOfflineMode() {
    TestHome home;
    Session s;
    s.settings().porta = QStringLiteral("NO");
    QVERIFY(!s.accoda_comando('W', "x"));
    s.settings().porta = QStringLiteral("/dev/null-port");
    s.link().modo_offline = true;
    QVERIFY(!s.accoda_comando('W', "x"));
    QVERIFY(s.ring().empty());
}

void TestTransmit::buildersNeedOnlineAndTheLock() {
    TestHome home;
    RecordingPresentation view;
    Session s(&view);
    s.settings().porta = QStringLiteral("/dev/null-port");
    s.link().online = false;
    s.link().risposta_ok = 1;
    s.requests().invia_comando(0x02);
    QVERIFY(s.ring().empty());
    QCOMPARE(s.link().risposta_ok.load(), 1);  // untouched
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
        switch (round % 3) {
            case 0:
                // Queued after the builder saw the thread idle and the thread
                // took up a poll meanwhile: the poll is on its way.
                QVERIFY(s.ring().push('W', write, s.link().tx_finito));
                s.elabora_risposta(answer(poll));
                break;
            case 1:
                // Queued right after the poll's reply woke the thread, while
                // it ends the poll.
                s.elabora_risposta(answer(poll));
                if (round % 2)
                    std::this_thread::sleep_for(std::chrono::microseconds(50 * round));
                QVERIFY(s.ring().push('W', write, s.link().tx_finito));
                break;
            default:
                // The builders' own way: wait for the thread to be idle.
                s.elabora_risposta(answer(poll));
                QVERIFY(s.accoda_comando('W', write));
                break;
        }
        QVERIFY(!s.link().tx_finito);
        const qsizetype queued = s.written.size();
        bool endedEarly = false;
        QVERIFY(s.waitUntil(
            [&] {
                endedEarly = endedEarly || s.link().tx_finito;
                return s.written.size() > queued;
            },
            5000));
        QVERIFY2(!endedEarly, qPrintable(QStringLiteral("round %1").arg(round)));
        QCOMPARE(s.written.last(), writeFrame);
        QVERIFY(!s.link().tx_finito);
        s.elabora_risposta(answer(writeFrame));
        QVERIFY(s.waitUntil([&] { return s.link().tx_finito.load(); }, 5000));
        QVERIFY(s.ring().empty());
    }
    QVERIFY(s.stopTransmitThread(5000));
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
