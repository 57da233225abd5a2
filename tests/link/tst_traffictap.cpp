#include <QtTest>
#include <thread>

#include "link/codec.h"
#include "link/replymatcher.h"
#include "link/traffictap.h"

// The traffic tap on its own: the lock-free hand-over between a producing
// thread and the draining main thread, and how lines are joined to the
// exchange they arrived for.
Q_DECLARE_METATYPE(Outcome)

class TestTrafficTap : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ringHandsOverEveryRecordInOrderOrCountsIt();
    void linesGoWithTheExchangeOnTheLine();
    void outcomeFollowsTheLines_data();
    void outcomeFollowsTheLines();
    void nobodyListeningRecordsNothing();
    void replyTimeCountsFromTheWrite();

private:
    static ExchangeEnd end(quint64 seq, bool answered, int sends = 1) {
        ExchangeEnd e;
        e.seq = seq;
        e.letter = 'Y';
        e.frame = codec::componi_frame(QByteArray::fromHex("0103000A0001"));
        e.sends = sends;
        e.answered = answered;
        return e;
    }
};

void TestTrafficTap::ringHandsOverEveryRecordInOrderOrCountsIt() {
    // The real threads: the producer never waits, the consumer drains as it
    // can; what the ring had no room for is counted, nothing is lost silently.
    TrafficRing ring;
    constexpr int kRecords = 20000;
    std::atomic<int> refused{0};
    std::thread producer([&] {
        for (int i = 1; i <= kRecords; ++i) {
            ExchangeEnd e;
            e.seq = static_cast<quint64>(i);
            e.frame = QByteArray::number(i);
            if (!ring.tryPush(std::move(e)))
                refused.fetch_add(1, std::memory_order_relaxed);
        }
    });
    int received = 0;
    quint64 last = 0;
    bool ordered = true;
    bool intact = true;
    const QDeadlineTimer deadline(20000);
    auto takeAll = [&] {
        ExchangeEnd e;
        while (ring.tryPop(&e)) {
            ++received;
            ordered = ordered && e.seq > last;
            intact = intact && e.frame == QByteArray::number(static_cast<qulonglong>(e.seq));
            last = e.seq;
        }
    };
    while (received + refused.load() < kRecords && !deadline.hasExpired()) {
        takeAll();
        std::this_thread::yield();
    }
    producer.join();
    takeAll();
    QVERIFY(ordered);
    QVERIFY(intact);
    QCOMPARE(received + refused.load(), kRecords);
    QVERIFY(received >= static_cast<int>(TrafficRing::kCapacity));
}

void TestTrafficTap::linesGoWithTheExchangeOnTheLine() {
    TrafficTap tap;
    tap.listen();
    const quint64 a = tap.beginExchange();
    tap.lineRead(FrameReader::Outcome::Checksum, ":01030200FFAA");
    tap.lineRead(FrameReader::Outcome::Dispatched, ":01030200FFFB");
    QVERIFY(tap.publish(end(a, true, 2)));
    // Ended exchanges only: the one on the line now keeps its lines.
    const quint64 b = tap.beginExchange();
    tap.lineRead(FrameReader::Outcome::Late, ":01030200FFFB");
    QList<TrafficRecord> list = tap.drain();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].seq, a);
    QCOMPARE(list[0].lines.size(), 2);
    QCOMPARE(list[0].lines[0].kind, TrafficLine::Kind::Damaged);
    QCOMPARE(list[0].lines[0].stage, FrameReader::Outcome::Checksum);
    QCOMPARE(list[0].lines[1].kind, TrafficLine::Kind::Accepted);
    QCOMPARE(list[0].outcome, Outcome::answered());
    QCOMPARE(list[0].retries(), 1);

    // A line after b ended but before the next exchange goes with the next.
    QVERIFY(tap.publish(end(b, false, 2)));
    list = tap.drain();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].lines.size(), 1);
    tap.lineRead(FrameReader::Outcome::WrongAddress, ":02030200FFFA");
    const quint64 c = tap.beginExchange();
    // A direct send of the main thread is merged by number.
    ExchangeEnd direct = end(c, true);
    tap.lineRead(FrameReader::Outcome::Dispatched, ":01030200FFFB");
    tap.publishDirect(std::move(direct));
    list = tap.drain();
    QCOMPARE(list.size(), 1);
    QVERIFY(list[0].direct);
    QCOMPARE(list[0].lines.size(), 2);
    QCOMPARE(list[0].lines[0].kind, TrafficLine::Kind::OtherAddress);
    QCOMPARE(list[0].damagedLines(), 1);
    QVERIFY(list[0].isProblem());
}

void TestTrafficTap::outcomeFollowsTheLines_data() {
    QTest::addColumn<QList<int>>("stages");  // FrameReader::Outcome values
    QTest::addColumn<QByteArrayList>("texts");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<Outcome>("expected");
    using S = FrameReader::Outcome;
    QTest::newRow("refused, code 3 ends it")
        << QList<int>{int(S::Exception)} << QByteArrayList{":018603F6"} << true
        << Outcome::refused(3);
    QTest::newRow("refused with code 2, retried without an answer")
        << QList<int>{int(S::Exception), int(S::Exception)}
        << QByteArrayList{":018602F7", ":018602F7"} << false << Outcome::refused(2);
    QTest::newRow("only damaged lines")
        << QList<int>{int(S::Checksum), int(S::Truncated)} << QByteArrayList{":0103", ":0103"}
        << false << Outcome::damaged();
    QTest::newRow("nothing came") << QList<int>{} << QByteArrayList{} << false
                                  << Outcome::noAnswer();
    QTest::newRow("a refusal, then the resend answered")
        << QList<int>{int(S::Exception), int(S::Dispatched)}
        << QByteArrayList{":018602F7", ":01030200FFFB"} << true << Outcome::answered();
}

void TestTrafficTap::outcomeFollowsTheLines() {
    QFETCH(QList<int>, stages);
    QFETCH(QByteArrayList, texts);
    QFETCH(bool, answered);
    QFETCH(Outcome, expected);
    TrafficTap tap;
    tap.listen();
    const quint64 seq = tap.beginExchange();
    for (qsizetype i = 0; i < stages.size(); ++i)
        tap.lineRead(static_cast<FrameReader::Outcome>(stages[i]), texts[i]);
    QVERIFY(tap.publish(end(seq, answered, 2)));
    const QList<TrafficRecord> list = tap.drain();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].outcome, expected);
}

void TestTrafficTap::nobodyListeningRecordsNothing() {
    TrafficTap tap;
    QVERIFY(!tap.enabled());
    tap.lineRead(FrameReader::Outcome::Dispatched, ":01030200FFFB");
    tap.listen();
    tap.listen();
    tap.unlisten();
    QVERIFY(tap.enabled());
    const quint64 seq = tap.beginExchange();
    QVERIFY(tap.publish(end(seq, true)));
    // The last listener going drops what was waiting.
    tap.unlisten();
    QVERIFY(!tap.enabled());
    QVERIFY(tap.drain().isEmpty());
    tap.unlisten();
    QVERIFY(!tap.enabled());
}

void TestTrafficTap::replyTimeCountsFromTheWrite() {
    // The sender asked for the write long before the main thread made it: the
    // instrument's reply time is not the main thread's delay.
    TrafficTap tap;
    tap.listen();
    const quint64 seq = tap.beginExchange();
    ExchangeEnd e = end(seq, true);
    e.lastSendMs = ReplyMatcher::nowMs() - 2000;
    tap.frameWritten();
    tap.lineRead(FrameReader::Outcome::Dispatched, ":01030200FFFB");
    e.endMs = ReplyMatcher::nowMs();
    QVERIFY(tap.publish(std::move(e)));
    QList<TrafficRecord> list = tap.drain();
    QCOMPARE(list.size(), 1);
    QVERIFY2(list[0].waitMs < 1000, qPrintable(QString::number(list[0].waitMs)));

    // Without a write seen (a direct send), from the sender's own time.
    const quint64 next = tap.beginExchange();
    ExchangeEnd d = end(next, false);
    d.lastSendMs = ReplyMatcher::nowMs() - 2000;
    d.endMs = ReplyMatcher::nowMs();
    tap.publishDirect(std::move(d));
    list = tap.drain();
    QCOMPARE(list.size(), 1);
    QVERIFY(list[0].waitMs >= 2000);
}

QTEST_GUILESS_MAIN(TestTrafficTap)
#include "tst_traffictap.moc"
