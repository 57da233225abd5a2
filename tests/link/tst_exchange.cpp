#include <QtTest>

#include "link/codec.h"
#include "link/exchange.h"
#include "link/expectedreply.h"
#include "link/protocol.h"

namespace {
QByteArray bytes(std::initializer_list<int> list) {
    QByteArray out;
    for (int b : list)
        out.append(static_cast<char>(b));
    return out;
}
// A decoded frame as the reader hands it on: body and LRC.
QByteArray withLrc(const QByteArray& body) {
    QByteArray b = body;
    b.append(static_cast<char>(codec::calcola_lrc(body)));
    return b;
}
}  // namespace

// The one size table and the life of one exchange.
class TestExchange : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void expectedReplies_data();
    void expectedReplies();
    void repliesAgainstRequests_data();
    void repliesAgainstRequests();
    void decidedExactlyOnce();
    void failureSaysWhatHappened_data();
    void failureSaysWhatHappened();
    void budgetsAndWaitsByKind_data();
    void budgetsAndWaitsByKind();
};

void TestExchange::expectedReplies_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("byteCount");
    QTest::addColumn<int>("frameSize");
    using S = ExpectedReply::Shape;
    QTest::newRow("coils, two bits") << bytes({1, 0x01, 0, 0, 0, 2}) << int(S::ByteCount) << 1 << 5;
    QTest::newRow("inputs, nine bits")
        << bytes({1, 0x02, 0, 0, 0, 9}) << int(S::ByteCount) << 2 << 6;
    QTest::newRow("status byte") << bytes({1, 0x07}) << int(S::Status) << 0 << 4;
    QTest::newRow("peak, one register")
        << bytes({1, 0x03, 0, 5, 0, 1}) << int(S::ByteCount) << 2 << 6;
    QTest::newRow("parameter, two registers")
        << bytes({1, 0x03, 0, 9, 0, 2}) << int(S::ByteCount) << 4 << 8;
    QTest::newRow("identification") << bytes({1, 0x04, 0, 5, 0, 1}) << int(S::ByteCount) << 2 << 6;
    QTest::newRow("data section of 40 registers")
        << bytes({1, 0x04, 0x01, 0x00, 0, 40}) << int(S::ByteCount) << 80 << 84;
    QTest::newRow("output coil") << bytes({1, 0x05, 0, 1, 0xFF, 0}) << int(S::Echo) << 0 << 7;
    QTest::newRow("single register") << bytes({1, 0x06, 0, 0x10, 0, 5}) << int(S::Echo) << 0 << 7;
    QTest::newRow("two registers")
        << bytes({1, 0x10, 0, 0x10, 0, 2, 4, 0, 0, 0, 5}) << int(S::Echo) << 0 << 7;
    QTest::newRow("with its LRC") << withLrc(bytes({1, 0x03, 0, 9, 0, 1})) << int(S::ByteCount) << 2
                                  << 6;
    QTest::newRow("unknown function") << bytes({1, 0x11}) << int(S::Unknown) << 0 << 0;
    QTest::newRow("read without its count") << bytes({1, 0x03, 0}) << int(S::Unknown) << 0 << 0;
    QTest::newRow("nothing") << QByteArray() << int(S::None) << 0 << 0;
}

void TestExchange::expectedReplies() {
    QFETCH(QByteArray, request);
    QFETCH(int, shape);
    QFETCH(int, byteCount);
    QFETCH(int, frameSize);
    const ExpectedReply e = expectedReply(request);
    QCOMPARE(int(e.shape), shape);
    if (shape == int(ExpectedReply::Shape::ByteCount))
        QCOMPARE(e.byteCount, byteCount);
    QCOMPARE(e.frameSize(), frameSize);
    if (!request.isEmpty()) {
        QCOMPARE(int(e.address), int(quint8(request[0])));
        QCOMPARE(int(e.function), int(quint8(request[1])));
    }
}

void TestExchange::repliesAgainstRequests_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");
    const QByteArray read = bytes({1, 0x03, 0, 9, 0, 1});
    QTest::newRow("read answered") << read << withLrc(bytes({1, 0x03, 2, 0, 7})) << true;
    QTest::newRow("read answered with two registers")
        << read << withLrc(bytes({1, 0x03, 4, 0, 7, 0, 8})) << false;
    QTest::newRow("read answered by another address")
        << read << withLrc(bytes({2, 0x03, 2, 0, 7})) << false;
    QTest::newRow("read refused") << read << withLrc(bytes({1, 0x83, 2})) << true;
    QTest::newRow("read answered with a write's exception")
        << read << withLrc(bytes({1, 0x86, 3})) << false;
    const QByteArray write = bytes({1, 0x06, 0, 0x10, 0, 5});
    QTest::newRow("write echoed") << write << withLrc(write) << true;
    QTest::newRow("echo of another value")
        << write << withLrc(bytes({1, 0x06, 0, 0x10, 0, 6})) << false;
    QTest::newRow("status") << bytes({1, 0x07}) << withLrc(bytes({1, 0x07, 0xC4})) << true;
    QTest::newRow("status of wrong length")
        << bytes({1, 0x07}) << withLrc(bytes({1, 0x07, 0xC4, 0})) << false;
    QByteArray section = bytes({1, 0x04, 80});
    section += QByteArray(80, '\x01');
    QTest::newRow("40-register section")
        << bytes({1, 0x04, 0x01, 0x00, 0, 40}) << withLrc(section) << true;
}

void TestExchange::repliesAgainstRequests() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);
    QCOMPARE(expectedReply(request).accepts(reply), accepted);
}

void TestExchange::decidedExactlyOnce() {
    const QByteArray write = bytes({1, 0x06, 0, 0x10, 0, 5});
    ExchangePtr e = Exchange::make(ExchangeKind::Write, write);
    e->beginSend();
    e->noteWritten();
    QVERIFY(!e->sendSettled());
    QVERIFY(e->answer(withLrc(write)));
    // Whatever arrives after the answer changes nothing.
    e->damaged(true);
    QVERIFY(!e->answer(withLrc(write)));
    QVERIFY(!e->refuse(3));
    QCOMPARE(e->fail(), Outcome::answered());
    QCOMPARE(e->damagedLines(), 0);
    QCOMPARE(e->reply(), withLrc(write));

    // A refused value is final at once; another code waits for the timeout.
    ExchangePtr r = Exchange::make(ExchangeKind::Write, write);
    r->beginSend();
    QVERIFY(!r->refuse(2));
    QVERIFY(!r->sendSettled());
    QVERIFY(r->refuse(3));
    QCOMPARE(r->outcome(), Outcome::refused(3));
    QVERIFY(!r->answer(withLrc(write)));
    QCOMPARE(r->outcome(), Outcome::refused(3));
}

void TestExchange::failureSaysWhatHappened_data() {
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("damaged");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("kind");
    QTest::newRow("never reached the port") << 0 << 0 << 0 << int(Outcome::Kind::NotSent);
    QTest::newRow("silence") << 2 << 0 << 0 << int(Outcome::Kind::NoAnswer);
    QTest::newRow("damaged replies") << 2 << 2 << 0 << int(Outcome::Kind::Damaged);
    QTest::newRow("busy instrument") << 2 << 1 << 6 << int(Outcome::Kind::Refused);
}

void TestExchange::failureSaysWhatHappened() {
    QFETCH(int, written);
    QFETCH(int, damaged);
    QFETCH(int, code);
    QFETCH(int, kind);
    ExchangePtr e = Exchange::make(ExchangeKind::Read, bytes({1, 0x03, 0, 9, 0, 1}));
    for (int k = 0; k < written; ++k) {
        e->beginSend();
        e->noteWritten();
    }
    for (int k = 0; k < damaged; ++k)
        e->damaged(true);
    if (code)
        e->refuse(code);
    QCOMPARE(int(e->fail().kind), kind);
    QVERIFY(e->decided());
    QVERIFY(!e->ended());
    e->end();
    QVERIFY(e->ended());
}

void TestExchange::budgetsAndWaitsByKind_data() {
    QTest::addColumn<char>("letter");
    QTest::addColumn<int>("budget");
    QTest::addColumn<int>("waitMs");
    QTest::addColumn<bool>("poll");
    QTest::newRow("write") << 'W' << 4 << 3500 << false;
    QTest::newRow("read") << 'Y' << 4 << 500 << false;
    QTest::newRow("identification") << 'V' << 2 << 500 << false;
    for (char c : {'C', 'I', 'E', 'P', 'X'})
        QTest::newRow(QByteArray(1, c).constData()) << c << 2 << 500 << true;
}

void TestExchange::budgetsAndWaitsByKind() {
    QFETCH(char, letter);
    QFETCH(int, budget);
    QFETCH(int, waitMs);
    QFETCH(bool, poll);
    const Exchange e(static_cast<ExchangeKind>(letter), bytes({1, 0x07}));
    QCOMPARE(e.letter(), letter);
    QCOMPARE(e.sendBudget(), budget);
    QCOMPARE(e.replyWaitMs(), waitMs);
    QCOMPARE(e.isPoll(), poll);
    QCOMPARE(e.frame(), codec::componi_frame(bytes({1, 0x07})));
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
