#include <QtTest>

#include "device/session.h"
#include "link/requests.h"
#include "link/transmitring.h"
#include "support/recordingpresentation.h"
#include "support/testhome.h"

// The transmit ring and the queueing rules, without a port.
class TestTransmit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ringWrapsInOrder();
    void queueRefusesTheTwentyFirst();
    void queueNothingWithoutPortOrInOfflineMode();
    void buildersNeedOnlineAndTheLock();
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
    QVERIFY(s.link().tx_finito);  // a waiting builder is not left hanging
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

QTEST_MAIN(TestTransmit)
#include "tst_transmit.moc"
