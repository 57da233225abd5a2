#include <QtTest>

#include "link/codec.h"
#include "link/replymatcher.h"

// Telling a resend's late reply from the answer to the next request.
class TestReplyMatcher : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shapeOfAnAnswer_data();
    void shapeOfAnAnswer();
    void scenarios_data();
    void scenarios();
};

namespace {
// A frame as the wire carries it decoded: hex text plus its LRC byte.
QByteArray bin(const char* hex) {
    QByteArray b = codec::hex2bin(QByteArray(hex));
    b.append(static_cast<char>(codec::calcola_lrc(b)));
    return b;
}
}  // namespace

void TestReplyMatcher::shapeOfAnAnswer_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("could");
    const QByteArray read1 = bin("010300160001");
    const QByteArray read2 = bin("0103000E0002");
    QTest::newRow("one register") << read1 << bin("0103020005") << true;
    QTest::newRow("two registers for one") << read1 << bin("01030400000BB8") << false;
    QTest::newRow("one register for two") << read2 << bin("0103020005") << false;
    QTest::newRow("other address") << read1 << bin("0203020005") << false;
    QTest::newRow("other function") << read1 << bin("0104020005") << false;
    QTest::newRow("exception to it") << read1 << bin("018302") << true;
    QTest::newRow("exception to another") << read1 << bin("018602") << false;
    QTest::newRow("coils: one byte for two") << bin("010100000002") << bin("01010102") << true;
    QTest::newRow("coils: two bytes for two") << bin("010100000002") << bin("0101020200") << false;
    QTest::newRow("write echo") << bin("010600160007") << bin("010600160007") << true;
    QTest::newRow("write echo of another value")
        << bin("010600160007") << bin("010600160008") << false;
    QTest::newRow("multiple write reply")
        << bin("0110000E00020400000BB8") << bin("0110000E0002") << true;
    QTest::newRow("multiple write, other register")
        << bin("0110000E00020400000BB8") << bin("011000100002") << false;
    QTest::newRow("status byte") << bin("0107") << bin("010780") << true;
}

void TestReplyMatcher::shapeOfAnAnswer() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, frame);
    QFETCH(bool, could);
    QCOMPARE(ReplyMatcher::couldAnswer(request, frame), could);
}

// Each step: "s <hex> @ms" sent, "r <hex> @ms" received (expect current),
// "x <hex> @ms" received (expect stale), "d @ms" a damaged line, "z" reset,
// "w" the last current reply withdrawn (the dispatcher refused it).
void TestReplyMatcher::scenarios_data() {
    QTest::addColumn<QStringList>("steps");
    // Two one-register reads (A, B) whose values happen to be equal, and
    // the replies a slow instrument gives to them.
    const QString a = QStringLiteral("010300160001");
    const QString b = QStringLiteral("010300170001");
    const QString x = QStringLiteral("0103020005");
    const QString y = QStringLiteral("0103020009");
    auto st = [](const QString& kind, const QString& hex, int ms) {
        return kind + QLatin1Char(' ') + hex + QLatin1Char(' ') + QString::number(ms);
    };

    QTest::newRow("late first reply, then its resend's reply is dropped")
        << QStringList{st("s", a, 0),    st("s", a, 1500), st("r", x, 2000),
                       st("s", b, 2010), st("x", x, 3500), st("r", x, 4010)};
    QTest::newRow("first send lost: next answer with other bytes is taken") << QStringList{
        st("s", a, 0), st("s", a, 1500), st("r", x, 1520), st("s", b, 1530), st("r", y, 1550)};
    QTest::newRow("requests without resends are never dropped, equal bytes or not")
        << QStringList{st("s", a, 0),  st("r", x, 10), st("s", b, 20),
                       st("r", x, 30), st("s", a, 40), st("r", x, 50)};
    QTest::newRow("two requests in flight are answered in order")
        << QStringList{st("s", a, 0), st("s", b, 5), st("r", x, 10), st("r", y, 15)};
    QTest::newRow("a damaged reply answers its send, so the resend is not a phantom")
        << QStringList{st("s", a, 0),  QStringLiteral("d - 10"), st("s", a, 20),
                       st("r", x, 30), st("s", b, 40),           st("r", x, 50)};
    QTest::newRow("a resend older than the horizon is forgotten") << QStringList{
        st("s", a, 0), st("s", a, 1500), st("r", x, 2000), st("s", b, 9000), st("r", x, 9010)};
    QTest::newRow("a closed port forgets every send")
        << QStringList{st("s", a, 0),       st("s", a, 1500), st("r", x, 2000),
                       QStringLiteral("z"), st("s", b, 2100), st("r", x, 2110)};
    QTest::newRow("the same answer again with the exchange still current is dropped")
        << QStringList{st("s", a, 0), st("s", a, 1500), st("r", x, 2000), st("x", x, 3500)};
    // A reply refused for its byte count: the exchange goes on with its
    // resend, whose reply is the answer; the reply to a further resend is
    // late, even after the next request went out.
    const QString bad = QStringLiteral("010300");
    QTest::newRow("a withdrawn reply leaves the exchange to its resends")
        << QStringList{st("s", a, 0),       st("s", a, 1500), st("r", bad, 2000),
                       QStringLiteral("w"), st("s", a, 2010), st("r", x, 2100),
                       st("s", b, 2200),    st("x", x, 3600), st("r", y, 3700)};
    QTest::newRow("withdrawing after a reply that took no send does nothing")
        << QStringList{st("r", x, 0),  QStringLiteral("w"), st("s", a, 10),
                       st("r", x, 20), st("s", b, 30),      st("r", x, 40)};
    QTest::newRow("an exception repeated by a resend")
        << QStringList{st("s", a, 0),    st("s", a, 1500),        st("r", "018302", 2000),
                       st("s", b, 2010), st("x", "018302", 3500), st("r", y, 4010)};
}

void TestReplyMatcher::scenarios() {
    QFETCH(QStringList, steps);
    ReplyMatcher m;
    int n = 0;
    for (const QString& step : steps) {
        ++n;
        const QStringList w = step.split(QLatin1Char(' '));
        const QByteArray frame = w.size() > 1 && w[1] != QLatin1String("-")
                                     ? bin(w[1].toLatin1().constData())
                                     : QByteArray();
        const qint64 at = w.size() > 2 ? w[2].toLongLong() : 0;
        const QByteArray where = QByteArray::number(n) + ": " + step.toLatin1();
        if (w[0] == QLatin1String("s")) {
            m.sent(frame, at);
        } else if (w[0] == QLatin1String("r")) {
            QVERIFY2(m.received(frame, at) == ReplyMatcher::Verdict::Current, where.constData());
        } else if (w[0] == QLatin1String("x")) {
            QVERIFY2(m.received(frame, at) == ReplyMatcher::Verdict::Stale, where.constData());
        } else if (w[0] == QLatin1String("d")) {
            m.damaged(at);
        } else if (w[0] == QLatin1String("z")) {
            m.reset();
        } else if (w[0] == QLatin1String("w")) {
            m.withdraw();
        }
    }
}

QTEST_APPLESS_MAIN(TestReplyMatcher)
#include "tst_replymatcher.moc"
