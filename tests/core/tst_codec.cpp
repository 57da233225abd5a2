#include <QtTest>

#include "link/codec.h"
#include "link/framereader.h"
#include "link/linkstate.h"
#include "link/packetframer.h"
#include "link/replymatcher.h"
#include "support/testhome.h"

namespace {
QByteArray bytes(std::initializer_list<int> list) {
    QByteArray out;
    for (int b : list)
        out.append(static_cast<char>(b));
    return out;
}

struct RecordingHandler : FrameHandler {
    QList<QByteArray> frames;
    QList<QByteArray> exceptions;
    bool throwOnFrame = false;
    void onExceptionReply(const QByteArray& f, const Exchange*) override { exceptions.append(f); }
    bool onFrame(const QByteArray& f, const Exchange*) override {
        if (throwOnFrame)
            throw std::runtime_error("bad value in reply");
        frames.append(f);
        return true;
    }
};

// Puts an exchange on the line as its sender would.
ExchangePtr onLine(LinkState& state, ExchangeKind kind, const QByteArray& body) {
    ExchangePtr e = Exchange::make(kind, body);
    e->beginSend();
    state.setInFlight(e);
    return e;
}
}  // namespace

class TestCodec : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void frames_data();
    void frames();
    void lrcCheck();
    void hexConversions();
    void hexDump();

    void readerSplitsAndGarbage();
    void readerKeepsNoDecodedBytes();
    void readerRejects_data();
    void readerRejects();
    void readerAddressDuringSearch();
    void readerExceptionAndHandlerErrors();
    void readerThrowingHandlerKeepsTheMatcherInStep();
    void framerKeepsLongFramesWhole_data();
    void framerKeepsLongFramesWhole();
};

void TestCodec::frames_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("identification")
        << bytes({0x01, 0x04, 0x00, 0x05, 0x00, 0x01}) << QByteArray(":010400050001F5\r\n");
    QTest::newRow("status byte") << bytes({0x01, 0x07}) << QByteArray(":0107F8\r\n");
    QTest::newRow("sum multiple of 256") << bytes({0x80, 0x80}) << QByteArray(":808000\r\n");
    QTest::newRow("write 32-bit") << bytes({0x01, 0x10, 0x00, 0x04, 0x00, 0x02, 0x04, 0x00, 0x00,
                                            0x01, 0xF4})
                                  << QByteArray(":01100004000204000001F4F0\r\n");
}

void TestCodec::frames() {
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, wire);
    QCOMPARE(codec::componi_frame(body), wire);
    // Round trip: what the reader decodes is the body plus its LRC.
    const QByteArray decoded = codec::hex2bin(wire.mid(1, wire.size() - 3));
    QCOMPARE(decoded.left(decoded.size() - 1), body);
    QVERIFY(codec::verifica_lrc(decoded));
}

void TestCodec::lrcCheck() {
    QCOMPARE(codec::calcola_lrc(bytes({0x01, 0x04, 0x00, 0x05, 0x00, 0x01})), quint8(0xF5));
    QCOMPARE(codec::calcola_lrc(QByteArray()), quint8(0));
    QVERIFY(codec::verifica_lrc(bytes({0x01, 0x07, 0xF8})));
    QVERIFY(!codec::verifica_lrc(bytes({0x01, 0x07, 0xF9})));
    QVERIFY(!codec::verifica_lrc(QByteArray()));
    QVERIFY(codec::verifica_lrc(bytes({0x00})));
}

void TestCodec::hexConversions() {
    QCOMPARE(codec::bin2hex(bytes({0x00, 0xAB, 0x7F})), QByteArray("00AB7F"));
    QCOMPARE(codec::hex2bin("00ab7F"), bytes({0x00, 0xAB, 0x7F}));
    QCOMPARE(codec::hex2bin(""), QByteArray());
    QCOMPARE(codec::hex2bin("A"), QByteArray());
    QCOMPARE(codec::hex2bin("0102F"), bytes({0x01, 0x02}));
    QVERIFY_THROWS_EXCEPTION(codec::ConversionError, codec::hex2bin("01G1"));
    try {
        codec::hex2bin("G1");
        QFAIL("no error");
    } catch (const codec::ConversionError& e) {
        QVERIFY(QString::fromLatin1(e.what()).contains(QLatin1String("G1")));
    }
}

void TestCodec::hexDump() {
    QCOMPARE(codec::hex_dump(bytes({0x01, 0x03})), QByteArray(" 0x01 0x03"));
    QCOMPARE(codec::hex_dump(QByteArray()), QByteArray());
}

void TestCodec::readerSplitsAndGarbage() {
    TestHome home(false);
    LinkState state;
    RecordingHandler handler;
    FrameReader reader(state, &handler);

    // A status reply split over three packets: the first two keep their
    // characters and leave the exchange as it was.
    const ExchangePtr status = onLine(state, ExchangeKind::Status, bytes({0x01, 0x07}));
    QCOMPARE(reader.elabora(":0107"), FrameReader::Outcome::Incomplete);
    QVERIFY(!status->sendSettled());
    QCOMPARE(reader.elabora("40B8\r"), FrameReader::Outcome::Incomplete);
    QCOMPARE(reader.elabora("\n"), FrameReader::Outcome::Ignored);  // under 5 characters
    QCOMPARE(reader.elabora("xxxx\n"), FrameReader::Outcome::ConversionError);

    QCOMPARE(reader.elabora(":0107"), FrameReader::Outcome::Incomplete);
    QCOMPARE(reader.elabora("40B8\r"), FrameReader::Outcome::Incomplete);
    QCOMPARE(reader.elabora("\r\n\r\n\r"),
             FrameReader::Outcome::ConversionError);  // the CR inside is no hex pair
    handler.frames.clear();

    // Garbage before the colon is dropped by the colon.
    QCOMPARE(reader.elabora("@@#:010740B8\r\n"), FrameReader::Outcome::Dispatched);
    QCOMPARE(handler.frames.size(), 1);
    QCOMPARE(handler.frames[0], bytes({0x01, 0x07, 0x40, 0xB8}));
    QCOMPARE(reader.elabora(":01"), FrameReader::Outcome::Ignored);
    QCOMPARE(reader.elabora(":0103"), FrameReader::Outcome::Incomplete);
    QCOMPARE(reader.elabora("02000AF0\r\n"), FrameReader::Outcome::Dispatched);
    QCOMPARE(handler.frames[1], bytes({0x01, 0x03, 0x02, 0x00, 0x0A, 0xF0}));

    // A handler that leaves the accumulator alone finds it empty all the
    // same after its frame.
    QVERIFY(reader.buffer_rx().isEmpty());

    // Endless noise without a line end is dropped, not accumulated.
    for (int i = 0; i < 100; ++i)
        reader.elabora(QByteArray(64, 'x'));
    QVERIFY(reader.buffer_rx().size() <= FrameReader::kMaxPending + 64);
}

void TestCodec::readerKeepsNoDecodedBytes() {
    // Found by the frame-reader fuzz target: a short line's decoded bytes
    // (01 3A, and 3A is ':') were left for the next packet to be appended to.
    TestHome home(false);
    LinkState state;
    RecordingHandler handler;
    FrameReader reader(state, &handler);
    QCOMPARE(reader.elabora(QByteArray("013A\x0F\n")), FrameReader::Outcome::Short);
    QVERIFY(reader.buffer_rx().isEmpty());
    QCOMPARE(reader.elabora(QByteArray("\xEF\x10\xEF\xEF\xEF")), FrameReader::Outcome::Incomplete);
    QVERIFY(!reader.buffer_rx().contains(':'));
    QCOMPARE(reader.buffer_rx(), QByteArray("\xEF\x10\xEF\xEF\xEF"));
}

void TestCodec::readerRejects_data() {
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<bool>("bufferKept");
    using O = FrameReader::Outcome;
    QTest::newRow("four characters")
        << QByteArray(":1\r\n") << int(O::Ignored) << QString() << false;
    QTest::newRow("wrong address") << QByteArray(":020740B7\r\n") << int(O::WrongAddress)
                                   << QStringLiteral("CH RX Error:30323037343042370D0A") << false;
    // Once a line is complete nothing of it stays in the accumulator.
    QTest::newRow("short") << QByteArray(":010700\r\n") << int(O::Short)
                           << QStringLiteral("SHORT RX Error:010700") << false;
    QTest::newRow("truncated read") << QByteArray(":01030400\r\n") << int(O::Truncated)
                                    << QStringLiteral("TRUNC RX Error:01030400") << false;
    QTest::newRow("bad lrc") << QByteArray(":010740B9\r\n") << int(O::Checksum)
                             << QStringLiteral("CHKSUM RX Error:010740B9") << false;
    QTest::newRow("non-hex data") << QByteArray(":0103G1\r\n") << int(O::ConversionError)
                                  << QStringLiteral("Modbus: 'G1' is not a valid hexadecimal value")
                                  << false;
    // An exception reply is taken only once its LRC passed (01 86 03: 76).
    QTest::newRow("exception bad lrc") << QByteArray(":01860377\r\n") << int(O::Checksum)
                                       << QStringLiteral("CHKSUM RX Error:01860377") << false;
    // A read reply holds its byte count of data bytes exactly.
    QTest::newRow("more data than counted")
        << QByteArray(":0103020005995C\r\n") << int(O::WrongCount)
        << QStringLiteral("Modbus: byte count not matching the frame:0103020005995C") << false;
    // A write echo is never tested for truncation; its bad LRC still shows.
    QTest::newRow("write echo bad lrc") << QByteArray(":01060001\r\n") << int(O::Checksum)
                                        << QStringLiteral("CHKSUM RX Error:01060001") << false;
}

void TestCodec::readerRejects() {
    QFETCH(QByteArray, packet);
    QFETCH(int, outcome);
    QFETCH(QString, logLine);
    QFETCH(bool, bufferKept);
    TestHome home(false);
    LinkState state;
    state.indirizzo = 1;
    const ExchangePtr read = onLine(state, ExchangeKind::Read, bytes({0x01, 0x03, 0, 0, 0, 1}));
    RecordingHandler handler;
    FrameReader reader(state, &handler);
    QCOMPARE(int(reader.elabora(packet)), outcome);
    QVERIFY(handler.frames.isEmpty());
    QVERIFY(handler.exceptions.isEmpty());
    QCOMPARE(home.logMessages(), logLine.isEmpty() ? QStringList() : QStringList{logLine});
    QCOMPARE(!reader.buffer_rx().isEmpty(), bufferKept);
    // Every complete line that is not handed on counts once as damaged.
    QCOMPARE(read->damagedLines(), outcome == int(FrameReader::Outcome::Ignored) ? 0 : 1);
    // Address, short, truncation and conversion errors leave the send to its
    // timeout; a damaged reply asks for the retry at once. None decides it.
    const bool retryNow = outcome == int(FrameReader::Outcome::Checksum) ||
                          outcome == int(FrameReader::Outcome::WrongCount);
    QCOMPARE(read->sendSettled(), retryNow);
    QVERIFY(!read->decided());
}

void TestCodec::readerAddressDuringSearch() {
    TestHome home(false);
    LinkState state;
    state.indirizzo = 1;
    const ExchangePtr probe =
        onLine(state, ExchangeKind::Probe, bytes({106, 0x04, 0x00, 0x00, 0x00, 0x01}));
    RecordingHandler handler;
    FrameReader reader(state, &handler);
    const QByteArray reply = codec::componi_frame(bytes({105, 0x04, 0x02, 0x00, 0x00}));
    QCOMPARE(reader.elabora(reply), FrameReader::Outcome::Dispatched);
    QCOMPARE(handler.frames.size(), 1);
    // The reply's own address is what the search lists, not the one probed.
    QVERIFY(probe->outcome().isAnswered());
    QCOMPARE(int(quint8(probe->reply().at(0))), 105);
    QVERIFY(home.logMessages().isEmpty());
}

void TestCodec::readerExceptionAndHandlerErrors() {
    TestHome home(false);
    LinkState state;
    RecordingHandler handler;
    FrameReader reader(state, &handler);
    const ExchangePtr write =
        onLine(state, ExchangeKind::Write, bytes({0x01, 0x06, 0x00, 0x10, 0x00, 0x05}));
    QCOMPARE(reader.elabora(codec::componi_frame(bytes({0x01, 0x86, 0x03}))),
             FrameReader::Outcome::Exception);
    QCOMPARE(write->outcome(), Outcome::refused(3));
    QCOMPARE(handler.exceptions.size(), 1);
    QCOMPARE(handler.exceptions[0], bytes({0x01, 0x86, 0x03, 0x76}));

    handler.throwOnFrame = true;
    const ExchangePtr status = onLine(state, ExchangeKind::Status, bytes({0x01, 0x07}));
    QCOMPARE(reader.elabora(":010740B8\r\n"), FrameReader::Outcome::ConversionError);
    QVERIFY(!status->decided());
    QCOMPARE(home.logMessages().last(), QStringLiteral("Modbus: bad value in reply"));
    QCOMPARE(status->damagedLines(), 1);
}

void TestCodec::readerThrowingHandlerKeepsTheMatcherInStep() {
    // A status request sent twice (the first wait timed out); the reply to
    // the first makes the handler throw. That reply stays the exchange's
    // answer: the reply to the resend, arriving after the next poll went
    // out, is late, not that poll's answer.
    TestHome home(false);
    LinkState state;
    RecordingHandler handler;
    ReplyMatcher matcher;
    FrameReader reader(state, &handler);
    reader.setMatcher(&matcher);
    const QByteArray status = bytes({0x01, 0x07, 0xF8});
    matcher.sent(status);
    matcher.sent(status);
    const ExchangePtr first = onLine(state, ExchangeKind::Status, bytes({0x01, 0x07}));
    handler.throwOnFrame = true;
    QCOMPARE(reader.elabora(":010740B8\r\n"), FrameReader::Outcome::ConversionError);
    QCOMPARE(first->damagedLines(), 1);
    handler.throwOnFrame = false;
    matcher.sent(status);  // the next status poll
    QCOMPARE(reader.elabora(":010740B8\r\n"), FrameReader::Outcome::Late);
    QVERIFY(handler.frames.isEmpty());
    QCOMPARE(reader.elabora(":010740B8\r\n"), FrameReader::Outcome::Dispatched);
    QCOMPARE(handler.frames.size(), 1);
    QCOMPARE(matcher.pending(), 0);
    QCOMPARE(first->damagedLines(), 1);
}

void TestCodec::framerKeepsLongFramesWhole_data() {
    QTest::addColumn<int>("registers");
    QTest::addColumn<int>("chunk");
    QTest::newRow("10 registers at once") << 10 << 1000;
    QTest::newRow("40 registers at once") << 40 << 1000;
    QTest::newRow("40 registers in pieces of 7") << 40 << 7;
    QTest::newRow("125 registers in pieces of 64") << 125 << 64;
}

void TestCodec::framerKeepsLongFramesWhole() {
    // A data section of 30 or more registers is over 128 characters: it
    // must come out as one packet, to its CR LF, and read as one frame.
    QFETCH(int, registers);
    QFETCH(int, chunk);
    QByteArray body = bytes({0x01, 0x04, 2 * registers});
    for (int k = 0; k < 2 * registers; ++k)
        body.append(static_cast<char>(k));
    const QByteArray wire = codec::componi_frame(body);
    ComDataPacket1 framer;
    QList<QByteArray> packets;
    const QByteArray stream = "noise" + wire + wire;
    for (qsizetype at = 0; at < stream.size(); at += chunk)
        packets += framer.feed(stream.mid(at, chunk));
    QCOMPARE(packets.size(), 2);
    QCOMPARE(packets[0], wire);
    QCOMPARE(packets[1], wire);

    TestHome home(false);
    LinkState state;
    RecordingHandler handler;
    FrameReader reader(state, &handler);
    const ExchangePtr poll =
        onLine(state, ExchangeKind::Poll, bytes({0x01, 0x04, 0, 0, 0, registers}));
    QCOMPARE(reader.elabora(packets[0]), FrameReader::Outcome::Dispatched);
    QVERIFY(poll->outcome().isAnswered());
    QCOMPARE(poll->data(), body.mid(3));
}

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
