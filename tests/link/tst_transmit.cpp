#include <QtTest>

#include "session/session.h"
#include "link/mainqueue.h"
#include "session/requests.h"
#include "link/transmitring.h"
#include "support/recordingpresentation.h"
#include "support/testhome.h"

#include <poll.h>

#include <thread>

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
    // The race: the thread finishes a poll just after a builder queued its
    // request. The poll's end must leave the builder waiting.
    TransmitRing ring;
    std::atomic<bool> finished{true};
    QVERIFY(ring.push('W', "x", finished));
    QVERIFY(!finished);
    QVERIFY(!ring.finishIfIdle(finished));
    QVERIFY(!finished);
    ring.pop();
    QVERIFY(ring.finishIfIdle(finished));
    QVERIFY(finished);
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
