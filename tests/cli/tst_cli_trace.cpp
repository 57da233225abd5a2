#include <QJsonArray>
#include <QtTest>

#include "clirun.h"

// trace: the traffic monitor's records on stdout while the instrument is
// watched, against one simulator whose every 5th reply has a wrong LRC.
class TestCliTrace : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void jsonLinesNameEntriesAndFaults();
    void problemsOnlyAndTextLines();
    void optionsBelongToTrace();

private:
    QStringList common() const { return {"--home", home_->path(), "--port", sim_->ptyPath()}; }
    std::unique_ptr<TestHome> home_;
    std::unique_ptr<SimProcess> sim_;
};

void TestCliTrace::initTestCase() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("this build has no velmora-sim");
    home_ = std::make_unique<TestHome>();
    sim_ = std::make_unique<SimProcess>(
        QStringList{"--corrupt-lrc-every", "5", "--noise", "0", "--load", "20"});
    QVERIFY2(sim_->start(), qPrintable(sim_->errorString()));
}

void TestCliTrace::cleanupTestCase() {
    sim_.reset();
    home_.reset();
}

void TestCliTrace::jsonLinesNameEntriesAndFaults() {
    const qsizetype before = sim_->traffic().size();
    const CliResult r = runCli(common() + QStringList{"--json", "trace", "--seconds", "2"});
    QVERIFY2(r.exitCode == 0, r.describe());
    const QList<QJsonObject> docs = r.documents();
    QVERIFY2(docs.size() > 20, r.describe());
    const ParameterTable t = definition1218();
    int reads = 0;
    int checksum = 0;
    int sends = 0;
    for (const QJsonObject& d : docs) {
        sends += d.value("sends").toInt();
        const QString letter = d.value("letter").toString();
        if (letter == "Y") {
            ++reads;
            const QJsonArray entries = d.value("entries").toArray();
            QVERIFY2(!entries.isEmpty(), qPrintable(d.value("request").toString()));
            const QJsonObject e = entries.first().toObject();
            QCOMPARE(e.value("name").toString(), t.entry(e.value("index").toInt()).name);
        }
        for (const QJsonValue& l : d.value("lines").toArray())
            if (l.toObject().value("stage").toString() == "checksum") {
                ++checksum;
                QCOMPARE(l.toObject().value("kind").toString(), QStringLiteral("damaged"));
            }
    }
    QVERIFY(reads >= t.setupCount() / 2);
    QVERIFY(checksum >= 1);
    // Every request the instrument saw during the run is a send of a record.
    // (a send asked for as the run ended may never have reached the wire).
    const int seen = int(sim_->traffic().size() - before);
    QVERIFY2(sends == seen || sends == seen + 1,
             qPrintable(QStringLiteral("%1 sends, %2 requests").arg(sends).arg(seen)));
}

void TestCliTrace::problemsOnlyAndTextLines() {
    const CliResult r = runCli(common() + QStringList{"trace", "--problems", "--seconds", "2"});
    QVERIFY2(r.exitCode == 0, r.describe());
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    QVERIFY2(!lines.isEmpty() && !lines.first().isEmpty(), r.describe());
    // Every line printed met a problem: a resend, a damaged line, no answer.
    for (const QByteArray& line : lines)
        QVERIFY2(line.contains("damaged") || line.contains("after") || line.contains("refused") ||
                     line.contains("late") || line.contains("no answer"),
                 line.constData());
    QVERIFY(r.err.contains("exchanges"));
}

void TestCliTrace::optionsBelongToTrace() {
    CliResult r = runCli({"watch", "--problems"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.contains("--problems does not apply to watch"));
    r = runCli({"trace", "--seconds", "0"});
    QCOMPARE(r.exitCode, 2);
    r = runCli({"--help"});
    QVERIFY(r.out.contains("trace   --seconds N"));
    QVERIFY(r.out.contains("--problems"));
}

QTEST_GUILESS_MAIN(TestCliTrace)
#include "tst_cli_trace.moc"
