#include <QJsonArray>
#include <QSet>
#include <QtTest>
#include <memory>

#include "link/traffictap.h"
#include "session/requests.h"
#include "session/session.h"
#include "session/trafficdecoder.h"
#include "session/writepath.h"
#include "support/simrig.h"

// The traffic monitor's records against velmora-sim: one simulator for the
// executable, with every 5th reply carrying a wrong LRC from the start;
// refusals, delays and silence are switched on through its control
// channel. The tap listens from before the connection, so every request the
// simulator saw is a send of some record.
class TestTraffic : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void readOutNamesEveryEntry();
    void damagedLinesCarryTheirStageAndAreRetried();
    void writeOfSetpoint1ShowsRole3OldAndNew();
    void refusedWriteCarriesItsCode();
    void delayShowsInTheWait();
    void silenceIsNoAnswerAfterTheSends();
    void countersAddUpToTheTrafficFile();

private:
    struct Seen {
        TrafficRecord record;
        DecodedTraffic decoded;
    };
    Session& session() { return rig_->session; }
    ParameterTable& table() { return rig_->session.table(); }
    // Lets the link run until a record after `from` satisfies `pred`.
    const Seen* waitFor(qsizetype from, const std::function<bool(const Seen&)>& pred,
                        int timeoutMs = 8000) {
        const Seen* found = nullptr;
        session().waitUntil(
            [&] {
                for (qsizetype i = from; i < seen_.size(); ++i)
                    if (pred(seen_.at(i))) {
                        found = &seen_.at(i);
                        return true;
                    }
                return false;
            },
            timeoutMs);
        return found;
    }
    static bool hasLine(const TrafficRecord& r, TrafficLine::Kind kind) {
        return std::any_of(r.lines.cbegin(), r.lines.cend(),
                           [kind](const TrafficLine& l) { return l.kind == kind; });
    }

    std::unique_ptr<SimRig> rig_;
    std::unique_ptr<TrafficDecoder> decoder_;
    QList<Seen> seen_;
};

void TestTraffic::initTestCase() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("this build has no velmora-sim");
    rig_ = std::make_unique<SimRig>(QStringList{QStringLiteral("--corrupt-lrc-every"),
                                                QStringLiteral("5"), QStringLiteral("--noise"),
                                                QStringLiteral("0")});
    decoder_ = std::make_unique<TrafficDecoder>(table());
    connect(&session().traffic(), &TrafficTap::records, this,
            [this](const QList<TrafficRecord>& list) {
                for (const TrafficRecord& r : list)
                    seen_.append(Seen{r, decoder_->decode(r)});
            });
    session().traffic().listen();
    QVERIFY2(rig_->start(), qPrintable(rig_->sim.errorString()));
    QVERIFY(rig_->waitOnline(30000));
}

void TestTraffic::cleanupTestCase() {
    rig_.reset();
}

void TestTraffic::readOutNamesEveryEntry() {
    // The identification comes first, then one read of every setup entry.
    QVERIFY(waitFor(0, [](const Seen& s) { return s.record.letter == 'P'; }));
    QSet<QString> named;
    for (const Seen& s : seen_) {
        if (s.record.letter != 'Y')
            continue;
        QVERIFY2(!s.decoded.entries.isEmpty(), s.record.request.constData());
        const TrafficEntry& e = s.decoded.entries.first();
        QCOMPARE(e.name, table().entry(e.index).name);
        // The register read is the entry's own.
        QCOMPARE(s.decoded.reg, table().entry(e.index).regOffset + table().setupBase);
        if (s.record.outcome.isAnswered()) {
            QVERIFY2(!e.newValue.isEmpty(), qPrintable(e.name));
            QCOMPARE(e.newValue, table().entry(e.index).value);
        }
        named.insert(e.name);
    }
    for (int i = 0; i < table().setupCount(); ++i)
        if (ParameterTable::typeSize(table().entry(i).type) > 0 && table().entry(i).regOffset != 0)
            QVERIFY2(named.contains(table().entry(i).name), qPrintable(table().entry(i).name));
    QVERIFY(std::any_of(seen_.cbegin(), seen_.cend(),
                        [](const Seen& s) { return s.record.letter == 'V'; }));

    // The live poll names the data entries, net weight (role 51) among them.
    const Seen* poll = waitFor(
        0, [](const Seen& s) { return s.record.letter == 'P' && s.record.outcome.isAnswered(); });
    QVERIFY(poll);
    QVERIFY(
        std::any_of(poll->decoded.entries.cbegin(), poll->decoded.entries.cend(),
                    [](const TrafficEntry& e) { return e.role == 51 && !e.newValue.isEmpty(); }));
}

void TestTraffic::damagedLinesCarryTheirStageAndAreRetried() {
    const Seen* hit = waitFor(0, [](const Seen& s) {
        return std::any_of(s.record.lines.cbegin(), s.record.lines.cend(),
                           [](const TrafficLine& l) {
                               return l.kind == TrafficLine::Kind::Damaged &&
                                      l.stage == FrameReader::Outcome::Checksum;
                           });
    });
    QVERIFY(hit);
    // Every 5th reply only: the resend's reply passes, and the exchange ends
    // answered after more than one send.
    for (const Seen& s : seen_) {
        if (s.record.damagedLines() == 0)
            continue;
        QVERIFY2(s.record.sends >= 2, s.record.request.constData());
        QVERIFY(s.record.isProblem());
        if (s.record.outcome.isAnswered())
            QVERIFY(hasLine(s.record, TrafficLine::Kind::Accepted));
    }
}

void TestTraffic::writeOfSetpoint1ShowsRole3OldAndNew() {
    const int index = table().findRole(3);
    QVERIFY(index >= 0);
    const QString old = table().entry(index).value;
    QVERIFY(!old.isEmpty());
    const QString next = QString::number(old.toLongLong() + 7);
    const qsizetype from = seen_.size();
    QVERIFY(session().writePath().write(3, next).isAnswered());
    const Seen* w = waitFor(from, [](const Seen& s) { return s.record.letter == 'W'; });
    QVERIFY(w);
    QCOMPARE(w->decoded.entries.size(), 1);
    const TrafficEntry& e = w->decoded.entries.first();
    QCOMPARE(e.role, 3);
    QCOMPARE(e.name, table().entry(index).name);
    QCOMPARE(e.oldValue, old);
    QCOMPARE(e.newValue, next);
    QVERIFY(w->record.outcome.isAnswered());
    QVERIFY(w->decoded.details().contains(old + QStringLiteral(" → ") + next));

    // The command register's writes are named by their command.
    const qsizetype again = seen_.size();
    QVERIFY(session().requests().invia_comando(0x20).isAnswered());
    const Seen* c = waitFor(again, [](const Seen& s) { return s.record.letter == 'W'; });
    QVERIFY(c);
    QCOMPARE(c->decoded.command, QStringLiteral("Save (0x20)"));
    QCOMPARE(c->decoded.entries.first().role, 6);
}

void TestTraffic::refusedWriteCarriesItsCode() {
    const int index = table().findRole(4);
    QVERIFY(index >= 0);
    const int reg = table().entry(index).regOffset;
    QCOMPARE(rig_->sim.send(QStringLiteral("exception3 %1").arg(reg)).left(2),
             QStringLiteral("OK"));
    const QString old = table().entry(index).value;
    const QString next = QString::number(old.toLongLong() + 3);
    const qsizetype from = seen_.size();
    const Outcome o = session().writePath().write(4, next);
    rig_->sim.send(QStringLiteral("exception3 off"));
    QCOMPARE(o, Outcome::refused(3));
    const Seen* w = waitFor(from, [](const Seen& s) { return s.record.letter == 'W'; });
    QVERIFY(w);
    QCOMPARE(w->record.outcome, Outcome::refused(3));
    QVERIFY(hasLine(w->record, TrafficLine::Kind::Exception));
    QCOMPARE(w->decoded.entries.first().role, 4);
    QCOMPARE(w->decoded.entries.first().oldValue, old);
    QCOMPARE(w->decoded.entries.first().newValue, next);
}

void TestTraffic::delayShowsInTheWait() {
    QCOMPARE(rig_->sim.send(QStringLiteral("delay 250")).left(2), QStringLiteral("OK"));
    const qsizetype from = seen_.size();
    // Past the replies already on their way when the delay began.
    const Seen* slow = waitFor(from, [](const Seen& s) {
        return s.record.outcome.isAnswered() && s.record.sends == 1 && s.record.waitMs >= 250;
    });
    rig_->sim.send(QStringLiteral("delay 0"));
    QVERIFY(slow);
    QVERIFY(slow->record.waitMs < 500);
}

void TestTraffic::silenceIsNoAnswerAfterTheSends() {
    const qsizetype from = seen_.size();
    QCOMPARE(rig_->sim.send(QStringLiteral("silent on")).left(2), QStringLiteral("OK"));
    // The first poll the silence meets: an exchange already on its way when
    // the instrument fell silent may end first, with sends of its own. When
    // that one saw a damaged reply (every fifth is) before the silence, it
    // ends as damaged and takes the link offline, and the silence then meets
    // the identification that tries to bring it back.
    const Seen* lost = waitFor(from, [](const Seen& s) {
        return s.record.outcome == Outcome::noAnswer() &&
               QByteArray("PCIEXV").contains(s.record.letter);
    });
    rig_->sim.send(QStringLiteral("silent off"));
    // What did end meanwhile, when no poll was lost.
    QStringList ended;
    for (qsizetype i = from; i < seen_.size(); ++i)
        ended << QChar(seen_.at(i).record.letter) + QLatin1Char(' ') +
                     TrafficDecoder::outcomeText(seen_.at(i).record);
    QVERIFY2(lost, qPrintable(ended.join(QStringLiteral("; "))));
    // A poll gets two sends; nothing came back for either.
    QCOMPARE(lost->record.sends, 2);
    QVERIFY(lost->record.lines.isEmpty());
    QCOMPARE(TrafficDecoder::outcomeText(lost->record), QStringLiteral("no answer after 2 sends"));
    QVERIFY(rig_->waitOnline(30000));
}

void TestTraffic::countersAddUpToTheTrafficFile() {
    // One more answered exchange, then the link stops: nothing stays on its way.
    QVERIFY(waitFor(seen_.size(), [](const Seen& s) { return s.record.outcome.isAnswered(); }));
    session().shutdownLink();
    for (const TrafficRecord& r : session().traffic().drain())
        seen_.append(Seen{r, decoder_->decode(r)});
    TrafficCounters c;
    qint64 checksum = 0;
    qint64 exceptions = 0;
    for (const Seen& s : seen_) {
        c.add(s.record);
        for (const TrafficLine& l : s.record.lines) {
            checksum += l.stage == FrameReader::Outcome::Checksum;
            exceptions += l.kind == TrafficLine::Kind::Exception;
        }
    }
    QVERIFY(rig_->sim.waitForTraffic(static_cast<int>(c.sends)));
    const QList<QJsonObject> file = rig_->sim.traffic();
    qint64 corrupt = 0;
    qint64 refusedInFile = 0;
    qint64 silent = 0;
    for (const QJsonObject& o : file) {
        const QJsonArray faults = o.value(QStringLiteral("faults")).toArray();
        corrupt += faults.contains(QStringLiteral("corrupt-lrc"));
        silent += faults.contains(QStringLiteral("silent"));
        refusedInFile += o.value(QStringLiteral("answer")).toString() == QLatin1String("exception");
    }
    QCOMPARE(c.sends, qint64(file.size()));
    QCOMPARE(checksum, corrupt);
    QCOMPARE(exceptions, refusedInFile);
    QCOMPARE(c.damaged, corrupt);
    QVERIFY(c.refused >= 1);
    QVERIFY(c.timeouts >= 1);
    QVERIFY(silent >= 2);
    QVERIFY(c.replyMsWorst >= 250);
    QVERIFY(c.meanReplyMs() > 0 && c.meanReplyMs() < c.replyMsWorst);
}

QTEST_GUILESS_MAIN(TestTraffic)
#include "tst_traffic.moc"
