#include <QtTest>

#include "link/codec.h"
#include "session/connection.h"
#include "session/requests.h"
#include "session/session.h"
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
// The exchange on the line, as the sender puts it there: one per letter,
// with the request that letter sends. Damaged lines count over all of them.
struct Line {
    explicit Line(Session& session) : s(session) {}
    Session& s;
    QList<ExchangePtr> all;
    ExchangePtr ex;

    void put(char letter) {
        const int a = s.link().indirizzo;
        QByteArray body;
        switch (letter) {
            case 'C':
                body = bytes({a, 0x01, 0, 0, 0, 2});
                break;
            case 'I':
                body = bytes({a, 0x02, 0, 0, 0, 2});
                break;
            case 'E':
                body = bytes({a, 0x07});
                break;
            case 'P':
                body = bytes({a, 0x04, 0, 0, 0, s.link().poll_p_count});
                break;
            case 'X':
                body = bytes({a, 0x03, 0, 0, 0, 1});
                break;
            case 'Y':
                body = bytes({a, 0x03, 0, 0, 0, 1});
                break;
            case 'W':
                body = bytes({a, 0x06, 0x00, 0x10, 0x00, 0x05});
                break;
            case 'V':
                body = s.requests().identificationBody();
                break;
            case 'S':
                body = s.requests().probeBody(1);
                break;
            default:
                break;
        }
        ex = Exchange::make(static_cast<ExchangeKind>(letter), body);
        ex->beginSend();
        all.append(ex);
        s.link().setInFlight(ex);
    }
    void clear() {
        ex.reset();
        s.link().setInFlight(nullptr);
    }
    // 1 answered (or finally refused), -1 a damaged reply asks for the next
    // try now, 0 still waiting.
    int flag() const {
        if (!ex)
            return 0;
        if (ex->decided())
            return 1;
        return ex->sendSettled() ? -1 : 0;
    }
    int damaged() const {
        int n = 0;
        for (const ExchangePtr& e : all)
            n += e->damagedLines();
        return n;
    }
};
constexpr int kDamagedReply = -1;

// A request as the port records it for the reply matcher: body plus LRC.
QByteArray sentFrame(const QByteArray& body) {
    QByteArray b = body;
    b.append(static_cast<char>(codec::calcola_lrc(body)));
    return b;
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
    void damagedExceptionReplyIsAChecksumFailure();
    void byteCountNotAskedForIsADamagedLine_data();
    void byteCountNotAskedForIsADamagedLine();
    void resendReplyAfterAThrowingHandlerIsLate();
    void resendAnswersAfterARefusedByteCount();
};

void TestDispatcher::ioBitsKeepTheOtherHalf() {
    TestHome home;
    Session s;
    Line line(s);
    s.link().indirizzo = 1;
    s.ioBits = 0x03;
    line.put('C');
    s.elabora_risposta(frame({0x01, 0x01, 0x01, 0x03}));
    QCOMPARE(s.ioBits, 0x0F);
    QCOMPARE(line.flag(), 1);
    line.put('I');
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
    Line line(s);
    line.put('V');
    s.elabora_risposta(frame({0x01, 0x04, 0x02, model, release}));
    QCOMPARE(line.flag(), 1);
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
    Line line(s);
    line.put('W');
    s.link().setUltimaRichiesta(":0106");
    s.elabora_risposta(frame({0x01, 0x86, code}));
    QCOMPARE(line.flag(), risposta);
    QCOMPARE(s.link().stato_link.load(), stato);
    QCOMPARE(home.logMessages().last(),
             QStringLiteral("Errore Comando:W3A30313036 RX CMD:6 Errore:%1").arg(code));
}

void TestDispatcher::inputRegistersWithoutExchange() {
    TestHome home;
    Session s;
    Line line(s);
    line.clear();
    s.elabora_risposta(frame({0x01, 0x04, 0x02, 0x00, 0x00}));
    QCOMPARE(line.flag(), 0);
    QCOMPARE(home.logMessages(), QStringList{QStringLiteral("Modbus: tipocomando 0")});
}

void TestDispatcher::liveReplyBeforeParametersLoaded() {
    TestHome home;
    RecordingPresentation view;
    Session s(&view);
    Line line(s);
    s.connection().loadOfflineDefinition();
    line.put('P');
    s.link().parametri_caricati = false;
    QByteArray reply = bytes({0x01, 0x04, 2 * s.link().poll_p_count});
    reply += QByteArray(2 * s.link().poll_p_count, '\0');
    s.elabora_risposta(codec::componi_frame(reply));
    QCOMPARE(line.flag(), 0);
    QVERIFY(!s.link().online);
    QVERIFY(s.tRecover().isActive());
    QCOMPARE(view.looks.last(), false);
    QCOMPARE(view.status[0], QStringLiteral("Status: Offline"));
}

void TestDispatcher::liveReplyDecodesTheDataSection() {
    TestHome home;
    RecordingPresentation view;
    Session s(&view);
    Line line(s);
    s.connection().loadOfflineDefinition();
    s.table().entry(0).value = QStringLiteral("10");  // scale division "2"
    s.decoder().showEntry(0);
    line.put('P');
    s.link().parametri_caricati = true;
    s.display().statusFlags = 0x01;  // net negative
    // net 1234 divisions, gross 1300, points -5, signal 1500; then two words.
    QByteArray reply = bytes({0x01, 0x04, 20,   0, 0, 0x04, 0xD2, 0, 0, 0x05, 0x14, 0xFF,
                              0xFF, 0xFF, 0xFB, 0, 0, 0x05, 0xDC, 0, 0, 0,    0});
    s.elabora_risposta(codec::componi_frame(reply));
    QCOMPARE(line.flag(), 1);
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
    Line line(s);
    line.put('W');
    s.elabora_risposta(frame({0x01, 0x06, 0x00, 0x10, 0x00, 0x05}));
    QCOMPARE(s.link().stato_link.load(), 1);
    QCOMPARE(line.flag(), 1);
    QVERIFY(s.tStato().isActive());
    line.put('E');
    s.elabora_risposta(frame({0x01, 0x07, 0xC4}));
    QCOMPARE(s.display().statusFlags, 0xC4);
    // An unknown function is no answer.
    line.put('E');
    s.elabora_risposta(frame({0x01, 0x11, 0x02, 0x00, 0x00}));
    QCOMPARE(line.flag(), 0);
}

void TestDispatcher::requestBodies() {
    TestHome home;
    Session s;
    Line line(s);
    s.connection().loadOfflineDefinition();
    s.link().indirizzo = 7;
    QCOMPARE(s.requests().identificationBody(), bytes({7, 0x04, 0x00, 0x05, 0x00, 0x01}));
    QCOMPARE(s.requests().probeBody(105), bytes({105, 0x04, 0x01, 0x00, 0x00, 0x01}));
    QCOMPARE(Requests::readCount(1), 1);
    QCOMPARE(Requests::readCount(5), 2);
    QCOMPARE(Requests::writeCount(6), 2);
    QCOMPARE(Requests::writeCount(3), 1);
}

void TestDispatcher::damagedExceptionReplyIsAChecksumFailure() {
    // "Value refused" from a damaged line would stop the retry of a write
    // that the instrument never saw.
    TestHome home;
    Session s;
    Line line(s);
    line.put('W');
    const int damaged = line.damaged();
    s.elabora_risposta(":01860377\r\n");  // the LRC of 01 86 03 is 76
    QVERIFY(line.flag() != 1);
    QCOMPARE(s.link().stato_link.load(), 0);
    QCOMPARE(line.ex->exceptionCode(), 0);
    QCOMPARE(line.damaged(), damaged + 1);
    QCOMPARE(home.logMessages(), QStringList{QStringLiteral("CHKSUM RX Error:01860377")});
    // The same reply undamaged is the refusal.
    s.elabora_risposta(frame({0x01, 0x86, 0x03}));
    QCOMPARE(line.flag(), 1);
    QCOMPARE(s.link().stato_link.load(), 3);
    QCOMPARE(line.damaged(), damaged + 1);
}

void TestDispatcher::byteCountNotAskedForIsADamagedLine_data() {
    QTest::addColumn<char>("letter");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("logLine");
    const QString request = QStringLiteral("Modbus: byte count not matching the request %1:%2");
    const QString frameLine = QStringLiteral("Modbus: byte count not matching the frame:%1");
    auto hex = [](const QByteArray& body) {
        QByteArray b = body;
        b.append(static_cast<char>(codec::calcola_lrc(body)));
        return QString::fromLatin1(codec::bin2hex(b));
    };
    const QByteArray idNoData = bytes({0x01, 0x04, 0x00});
    QTest::newRow("identification without data")
        << 'V' << idNoData << request.arg(QStringLiteral("V"), hex(idNoData));
    const QByteArray idOneByte = bytes({0x01, 0x04, 0x01, 0x0C});
    QTest::newRow("identification with one byte")
        << 'V' << idOneByte << request.arg(QStringLiteral("V"), hex(idOneByte));
    const QByteArray peakNoData = bytes({0x01, 0x03, 0x00});
    QTest::newRow("peak with byte count 0")
        << 'X' << peakNoData << request.arg(QStringLiteral("X"), hex(peakNoData));
    const QByteArray shortSection = bytes({0x01, 0x04, 0x02, 0x00, 0x07});
    QTest::newRow("data section poll answered with one register")
        << 'P' << shortSection << request.arg(QStringLiteral("P"), hex(shortSection));
    const QByteArray coilsNoData = bytes({0x01, 0x01, 0x00});
    QTest::newRow("outputs without their byte")
        << 'C' << coilsNoData << request.arg(QStringLiteral("C"), hex(coilsNoData));
    const QByteArray readThree = bytes({0x01, 0x03, 0x06, 0, 1, 0, 2, 0, 3});
    QTest::newRow("parameter read of three registers")
        << 'Y' << readThree << request.arg(QStringLiteral("Y"), hex(readThree));
    const QByteArray longer = bytes({0x01, 0x03, 0x02, 0x00, 0x05, 0x99});
    QTest::newRow("more data than the byte count") << 'Y' << longer << frameLine.arg(hex(longer));
    const QByteArray oneShort = bytes({0x01, 0x03, 0x02, 0x00});
    QTest::newRow("one data byte short, LRC right")
        << 'Y' << oneShort << frameLine.arg(hex(oneShort));
}

void TestDispatcher::byteCountNotAskedForIsADamagedLine() {
    QFETCH(char, letter);
    QFETCH(QByteArray, body);
    QFETCH(QString, logLine);
    TestHome home;
    RecordingPresentation view;
    Session s(&view);
    Line line(s);
    s.connection().loadOfflineDefinition();
    s.link().parametri_caricati = true;
    line.put(letter);
    s.ioBits = 0x05;
    const QByteArray image = s.table().image();
    const QString caption = s.table().firmwareCaption;
    const int damaged = line.damaged();
    s.elabora_risposta(codec::componi_frame(body));
    // A damaged line, retried at once, never used.
    QCOMPARE(line.flag(), kDamagedReply);
    QCOMPARE(line.damaged(), damaged + 1);
    QCOMPARE(home.logMessages(), QStringList{logLine});
    QCOMPARE(s.table().image(), image);
    QCOMPARE(s.table().firmwareCaption, caption);
    QVERIFY(!s.table().firmwareCaption.startsWith(QLatin1String("Progr.FB")));
    QVERIFY(line.ex->reply().isEmpty());
    QCOMPARE(s.ioBits, 0x05);
    QVERIFY(!s.link().online);
    QVERIFY(s.reader().buffer_rx().isEmpty());
}

void TestDispatcher::resendReplyAfterAThrowingHandlerIsLate() {
    // No definition files: the identification's handler throws after the
    // reply matcher took the reply. The slow instrument's reply to the
    // resend comes after the next request went out, and must not be taken
    // as its answer.
    TestHome home(false);
    Session s;
    Line line(s);
    ReplyMatcher& m = s.port().matcher();
    const QByteArray identify = sentFrame(s.requests().identificationBody());
    m.sent(identify);
    m.sent(identify);  // the first wait timed out
    const QByteArray reply = frame({0x01, 0x04, 0x02, 12, 18});
    line.put('V');
    s.elabora_risposta(reply);
    QCOMPARE(line.flag(), 0);
    QCOMPARE(line.damaged(), 1);
    QVERIFY(home.logMessages().last().startsWith(QLatin1String("Modbus: ")));

    // The next request: a search probe, which any 0x04 reply of two bytes
    // would answer.
    line.put('S');
    m.sent(sentFrame(s.requests().probeBody(1)));
    s.elabora_risposta(reply);  // the resend's late reply
    QCOMPARE(line.flag(), 0);
    QCOMPARE(home.logMessages().last(),
             QStringLiteral("Modbus: late reply dropped:") +
                 QString::fromLatin1(codec::bin2hex(sentFrame(bytes({0x01, 0x04, 0x02, 12, 18})))));
    QCOMPARE(line.damaged(), 1);
    // The probe's own answer is taken.
    s.elabora_risposta(frame({0x01, 0x04, 0x02, 0x00, 0x00}));
    QCOMPARE(line.flag(), 1);
    QCOMPARE(m.pending(), 0);
}

void TestDispatcher::resendAnswersAfterARefusedByteCount() {
    // An identification answered with byte count 0 is a damaged line: the
    // exchange stays open, the resend's reply is its answer and the reply
    // to a further resend is dropped as late.
    TestHome home;
    Session s;
    Line line(s);
    ReplyMatcher& m = s.port().matcher();
    const QByteArray identify = sentFrame(s.requests().identificationBody());
    m.sent(identify);
    m.sent(identify);
    line.put('V');
    s.elabora_risposta(frame({0x01, 0x04, 0x00}));
    QCOMPARE(line.flag(), kDamagedReply);
    QVERIFY(s.table().firmwareCaption.isEmpty());
    m.sent(identify);  // the retry
    const QByteArray good = frame({0x01, 0x04, 0x02, 12, 18});
    s.elabora_risposta(good);
    QCOMPARE(line.flag(), 1);
    QCOMPARE(s.table().firmwareCaption, QStringLiteral("Progr.12 Rel.1.8"));
    line.put('S');
    m.sent(sentFrame(s.requests().probeBody(1)));
    s.elabora_risposta(good);  // the retry's reply
    QCOMPARE(line.flag(), 0);
    QVERIFY(home.logMessages().last().startsWith(QLatin1String("Modbus: late reply dropped:")));
    QCOMPARE(line.damaged(), 1);
}

QTEST_MAIN(TestDispatcher)
#include "tst_dispatcher.moc"
