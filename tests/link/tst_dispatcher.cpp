#include <QtTest>

#include "session/connection.h"
#include "session/session.h"
#include "link/codec.h"
#include "session/requests.h"
#include "support/recordingpresentation.h"
#include "support/testhome.h"

namespace {
QByteArray bytes(std::initializer_list<int> list) {
    QByteArray out;
    for (int b : list)
        out.append(static_cast<char>(b));
    return out;
}
QByteArray frame(std::initializer_list<int> body) {
    return codec::componi_frame(bytes(body));
}
}  // namespace

// The reply dispatcher driven with packets, as the port would deliver them.
class TestDispatcher : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ioBitsKeepTheOtherHalf();
    void identificationLoadsTheMatchingDefinition_data();
    void identificationLoadsTheMatchingDefinition();
    void exceptionReplies_data();
    void exceptionReplies();
    void inputRegistersWithoutExchange();
    void liveReplyBeforeParametersLoaded();
    void liveReplyDecodesTheDataSection();
    void writeEchoAndStatusByte();
    void requestBodies();
};

void TestDispatcher::ioBitsKeepTheOtherHalf() {
    TestHome home;
    Session s;
    s.link().indirizzo = 1;
    s.ioBits = 0x03;
    s.link().tipocomando = 'C';
    s.elabora_risposta(frame({0x01, 0x01, 0x01, 0x03}));
    QCOMPARE(s.ioBits, 0x0F);
    QCOMPARE(s.link().risposta_ok.load(), 1);
    QCOMPARE(s.link().tipocomando.load(), char(0));
    s.link().tipocomando = 'I';
    s.elabora_risposta(frame({0x01, 0x02, 0x01, 0x02}));
    QCOMPARE(s.ioBits, 0x0E);
}

void TestDispatcher::identificationLoadsTheMatchingDefinition_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("release");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<int>("entries");
    QTest::newRow("program 12 release 18") << 12 << 18 << "Progr.12 Rel.1.8"
                                           << "DATV1218.def" << 73;
    QTest::newRow("lower release of 12") << 12 << 25 << "Progr.12 Rel.2.5"
                                         << "DATV1218.def" << 73;
    QTest::newRow("unknown model 5") << 5 << 12 << "Progr.05 Rel.1.2"
                                     << "DATV0000.def" << 82;
    QTest::newRow("model 35") << 35 << 12 << "Progr.35 Rel.1.2"
                              << "DATV3512.def" << 82;
}

void TestDispatcher::identificationLoadsTheMatchingDefinition() {
    QFETCH(int, model);
    QFETCH(int, release);
    QFETCH(QString, caption);
    QFETCH(QString, loaded);
    QFETCH(int, entries);
    TestHome home;
    Session s;
    s.link().tipocomando = 'V';
    s.elabora_risposta(frame({0x01, 0x04, 0x02, model, release}));
    QCOMPARE(s.link().risposta_ok.load(), 1);
    QVERIFY(s.link().online);
    QCOMPARE(s.link().stato_link.load(), 1);
    QVERIFY(s.tStato().isActive());
    QCOMPARE(s.table().firmwareCaption, caption);
    QVERIFY2(s.table().definitionPath.endsWith(loaded), qPrintable(s.table().definitionPath));
    QCOMPARE(s.table().entryCount(), entries);
    // The poll reads the whole data section from the entry of role 51.
    QCOMPARE(s.link().poll_p_register.load(),
             s.table().dataBase + s.table().entry(s.table().entryOfRole(51)).regOffset);
    QCOMPARE(s.link().poll_p_count.load(), (s.table().bytes(1) - s.table().bytes(0)) / 2);
}

void TestDispatcher::exceptionReplies_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("risposta");
    QTest::addColumn<int>("stato");
    QTest::newRow("busy: retried") << 2 << 0 << 0;
    QTest::newRow("refused: final") << 3 << 1 << 3;
}

void TestDispatcher::exceptionReplies() {
    QFETCH(int, code);
    QFETCH(int, risposta);
    QFETCH(int, stato);
    TestHome home;
    Session s;
    s.link().tipocomando = 'W';
    s.link().setUltimaRichiesta(":0106");
    s.elabora_risposta(frame({0x01, 0x86, code}));
    QCOMPARE(s.link().risposta_ok.load(), risposta);
    QCOMPARE(s.link().stato_link.load(), stato);
    QCOMPARE(home.logMessages().last(),
             QStringLiteral("Errore Comando:W3A30313036 RX CMD:6 Errore:%1").arg(code));
}

void TestDispatcher::inputRegistersWithoutExchange() {
    TestHome home;
    Session s;
    s.link().tipocomando = 0;
    s.link().risposta_ok = 1;
    s.elabora_risposta(frame({0x01, 0x04, 0x02, 0x00, 0x00}));
    QCOMPARE(s.link().risposta_ok.load(), 0);
    QCOMPARE(home.logMessages(), QStringList{QStringLiteral("Modbus: tipocomando 0")});
}

void TestDispatcher::liveReplyBeforeParametersLoaded() {
    TestHome home;
    RecordingPresentation view;
    Session s(&view);
    s.connection().loadOfflineDefinition();
    s.link().tipocomando = 'P';
    s.link().parametri_caricati = false;
    QByteArray reply = bytes({0x01, 0x04, 2 * s.link().poll_p_count});
    reply += QByteArray(2 * s.link().poll_p_count, '\0');
    s.elabora_risposta(codec::componi_frame(reply));
    QCOMPARE(s.link().risposta_ok.load(), 0);
    QVERIFY(!s.link().online);
    QVERIFY(s.tRecover().isActive());
    QCOMPARE(view.looks.last(), false);
    QCOMPARE(view.status[0], QStringLiteral("Status: Offline"));
}

void TestDispatcher::liveReplyDecodesTheDataSection() {
    TestHome home;
    RecordingPresentation view;
    Session s(&view);
    s.connection().loadOfflineDefinition();
    s.table().entry(0).value = QStringLiteral("10");  // scale division "2"
    s.decoder().showEntry(0);
    s.link().tipocomando = 'P';
    s.link().parametri_caricati = true;
    s.display().statusFlags = 0x01;  // net negative
    // net 1234 divisions, gross 1300, points -5, signal 1500; then two words.
    QByteArray reply = bytes({0x01, 0x04, 20,   0, 0, 0x04, 0xD2, 0, 0, 0x05, 0x14, 0xFF,
                              0xFF, 0xFF, 0xFB, 0, 0, 0x05, 0xDC, 0, 0, 0,    0});
    s.elabora_risposta(codec::componi_frame(reply));
    QCOMPARE(s.link().risposta_ok.load(), 1);
    QVERIFY(s.link().online);
    QCOMPARE(s.display().netWeight, -2468);  // scaled by the division step, sign from bit 0
    QCOMPARE(s.display().grossWeight, 2600);
    QCOMPARE(s.display().adPoints, -5);
    QCOMPARE(s.display().signal, 1500);
    const ControlUpdate* weight = view.last(QStringLiteral("LbPeso"), ControlUpdate::What::Text);
    QVERIFY(weight);
    QCOMPARE(weight->text, QStringLiteral("-2468"));
}

void TestDispatcher::writeEchoAndStatusByte() {
    TestHome home;
    Session s;
    s.link().tipocomando = 'W';
    s.elabora_risposta(frame({0x01, 0x06, 0x00, 0x10, 0x00, 0x05}));
    QCOMPARE(s.link().stato_link.load(), 1);
    QCOMPARE(s.link().risposta_ok.load(), 1);
    QVERIFY(s.tStato().isActive());
    s.link().tipocomando = 'E';
    s.elabora_risposta(frame({0x01, 0x07, 0xC4}));
    QCOMPARE(s.display().statusFlags, 0xC4);
    // An unknown function is no answer.
    s.elabora_risposta(frame({0x01, 0x11, 0x02, 0x00, 0x00}));
    QCOMPARE(s.link().risposta_ok.load(), 0);
}

void TestDispatcher::requestBodies() {
    TestHome home;
    Session s;
    s.connection().loadOfflineDefinition();
    s.link().indirizzo = 7;
    QCOMPARE(s.requests().identificationBody(), bytes({7, 0x04, 0x00, 0x05, 0x00, 0x01}));
    QCOMPARE(s.requests().probeBody(105), bytes({105, 0x04, 0x01, 0x00, 0x00, 0x01}));
    QCOMPARE(Requests::readCount(1), 1);
    QCOMPARE(Requests::readCount(5), 2);
    QCOMPARE(Requests::writeCount(6), 2);
    QCOMPARE(Requests::writeCount(3), 1);
}

QTEST_MAIN(TestDispatcher)
#include "tst_dispatcher.moc"
