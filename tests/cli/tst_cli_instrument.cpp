#include <QJsonArray>
#include <QtTest>

#include "clirun.h"

// ports, search, info, read, get, set and save against the virtual
// instrument, with the JSON output parsed back and the wire checked in the
// simulator's traffic log.
class TestCliInstrument : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void infoAndReadInJson();
    void setGetAndSave();
    void weightLikeValuesUseTheScaleDecimals();
    void refusedValue();
    void refusedReadIsUnknown();
    void noInstrument_data();
    void noInstrument();
    void portsAndSearch();

private:
    QStringList common(const SimProcess& sim, const TestHome& home) const {
        return {"--home", home.path(), "--port", sim.ptyPath()};
    }
};

void TestCliInstrument::initTestCase() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("this build has no velmora-sim");
}

void TestCliInstrument::infoAndReadInJson() {
    TestHome home;
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));

    CliResult r = runCli(common(sim, home) + QStringList{"--json", "info"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QJsonObject info = r.json();
    QCOMPARE(info.value("model").toString(), QStringLiteral("12"));
    QCOMPARE(info.value("release").toString(), QStringLiteral("1.8"));
    QCOMPARE(info.value("firmware").toString(), QStringLiteral("Progr.12 Rel.1.8"));
    QCOMPARE(info.value("definitionFile").toString(), QStringLiteral("DATV1218.def"));
    QCOMPARE(info.value("address").toInt(), 1);
    QCOMPARE(info.value("port").toString(), sim.ptyPath());
    QCOMPARE(info.value("entries").toObject().value("setup").toInt(), 42);

    r = runCli(common(sim, home) + QStringList{"--json", "read"});
    QVERIFY2(r.exitCode == 0, r.describe());
    const QJsonArray entries = r.json().value("entries").toArray();
    const ParameterTable def = definition1218();
    QCOMPARE(entries.size(), def.setupCount());
    const QJsonObject setpoint = entries.at(entryNamed(def, "SETP1")).toObject();
    QCOMPARE(setpoint.value("name").toString(), QStringLiteral("SETP1"));
    QCOMPARE(setpoint.value("role").toInt(), 3);
    QCOMPARE(setpoint.value("type").toString(), QStringLiteral("u32"));
    // Every value is the one the instrument sent during the read-out.
    QList<QJsonObject> reads = sim.traffic();
    for (const QJsonValue& v : entries) {
        const QJsonObject e = v.toObject();
        const ParamEntry& d = def.entry(e.value("index").toInt());
        bool seen = false;
        for (const QJsonObject& t : reads) {
            if (t.value("function").toInt() != 3 || t.value("register").toInt() != d.regOffset)
                continue;
            const QJsonArray words = t.value("values").toArray();
            qint64 value = 0;
            for (const QJsonValue& w : words)
                value = (value << 16) | w.toInteger();
            if (d.type == 1)
                value &= 0xFF;
            QCOMPARE(e.value("value").toString(), QString::number(value));
            seen = true;
        }
        QVERIFY2(seen, qPrintable(d.name));
    }
}

void TestCliInstrument::setGetAndSave() {
    TestHome home;
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const ParameterTable def = definition1218();
    const ParamEntry& setp2 = def.entry(entryNamed(def, "SETP2"));
    const ParamEntry& command = def.entry(entryNamed(def, "CMDREG"));

    CliResult r = runCli(common(sim, home) + QStringList{"--json", "set", "SETP2", "1234"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QJsonObject doc = r.json();
    QCOMPARE(doc.value("answer").toString(), QStringLiteral("acknowledged"));
    QCOMPARE(doc.value("unsaved").toBool(), true);
    QVERIFY(waitForRecord(sim, [&](const QJsonObject& t) {
        return t.value("function").toInt() == 0x10 &&
               t.value("register").toInt() == setp2.regOffset &&
               t.value("values").toArray() == QJsonArray{1234};
    }));
    QCOMPARE(sim.status().value("unsaved").toBool(), true);

    // By role number too; an equal value is not sent again.
    r = runCli(common(sim, home) + QStringList{"--json", "set", "4", "1234"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(r.json().value("answer").toString(), QStringLiteral("unchanged"));

    r = runCli(common(sim, home) + QStringList{"get", "setp2"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(r.out, QByteArray("1234\n"));

    r = runCli(common(sim, home) + QStringList{"--json", "save"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(r.json().value("answer").toString(), QStringLiteral("acknowledged"));
    QVERIFY(waitForRecord(sim, [&](const QJsonObject& t) {
        return t.value("function").toInt() == 0x06 &&
               t.value("register").toInt() == command.regOffset &&
               t.value("values").toArray() == QJsonArray{0x20};
    }));
    QCOMPARE(sim.status().value("unsaved").toBool(), false);

    // A value outside the entry's type is a usage error, refused before
    // anything is written.
    const qsizetype before = sim.traffic().size();
    r = runCli(common(sim, home) + QStringList{"set", "FILTER", "70000"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains("does not fit FILTER (u16)"), r.describe());
    for (const QJsonObject& t : sim.traffic().mid(before))
        QVERIFY(t.value("function").toInt() != 0x10 && t.value("function").toInt() != 0x06);
}

void TestCliInstrument::weightLikeValuesUseTheScaleDecimals() {
    TestHome home;
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const ParameterTable def = definition1218();
    const int setp1 = def.entry(entryNamed(def, "SETP1")).regOffset;
    // Scale division "0.002": three decimals, a step of two.
    CliResult r = runCli(common(sim, home) + QStringList{"set", "DIVIS", "1"});
    QVERIFY2(r.exitCode == 0, r.describe());
    // Typed as on the page: 1.5 is 1500 thousandths, 750 steps of two.
    r = runCli(common(sim, home) + QStringList{"--json", "set", "SETP1", "1.5"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(r.json().value("value").toString(), QStringLiteral("750"));
    QVERIFY(waitForRecord(sim, [&](const QJsonObject& t) {
        return t.value("function").toInt() == 0x10 && t.value("register").toInt() == setp1 &&
               t.value("values").toArray() == QJsonArray{750};
    }));
    r = runCli(common(sim, home) + QStringList{"--json", "get", "SETP1"});
    QCOMPARE(r.json().value("value").toString(), QStringLiteral("750"));
    QCOMPARE(r.json().value("shown").toString(), QStringLiteral("1.500"));
}

void TestCliInstrument::refusedValue() {
    TestHome home;
    const ParameterTable def = definition1218();
    const int reg = def.entry(entryNamed(def, "SETP1")).regOffset;
    SimProcess sim({"--exception3-on-register", QString::number(reg)});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const CliResult r = runCli(common(sim, home) + QStringList{"--json", "set", "SETP1", "777"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("the instrument refused SETP1 = 777 (exception 3)"), r.describe());
    const QJsonObject doc = r.json();
    QCOMPARE(doc.value("answer").toString(), QStringLiteral("refused"));
    // A refused value does not count as an unsaved change.
    QCOMPARE(doc.value("unsaved").toBool(), false);
    QCOMPARE(doc.value("exitCode").toInt(), 1);
}

void TestCliInstrument::refusedReadIsUnknown() {
    // The read-out's read of SETP1 is refused: the value is unknown, never
    // the one the image held before.
    TestHome home;
    const ParameterTable def = definition1218();
    const int reg = def.entry(entryNamed(def, "SETP1")).regOffset;
    SimProcess sim({"--exception3-on-register", QString::number(reg)});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    CliResult r = runCli(common(sim, home) + QStringList{"get", "SETP1"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("SETP1 is unknown: its read was refused (code 3)"), r.describe());
    r = runCli(common(sim, home) + QStringList{"read"});
    QVERIFY2(r.exitCode == 0, r.describe());
    const QStringList rows =
        QString::fromUtf8(r.out).split(QLatin1Char('\n')).filter(QStringLiteral("SETP1"));
    QCOMPARE(rows.size(), 1);
    QVERIFY2(rows[0].contains("unknown (refused (code 3))"), qPrintable(rows[0]));
}

void TestCliInstrument::noInstrument_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("cliArgs");
    QTest::addColumn<QString>("message");
    QTest::newRow("silent instrument") << QStringList{"--silent"} << QStringList{"info"}
                                       << "no instrument answered at address 1 on ";
    QTest::newRow("another address") << QStringList{} << QStringList{"read", "--address", "5"}
                                     << "no instrument answered at address 5 on ";
    // Every reply arrives, none passes its checksum: that is not silence.
    QTest::newRow("every reply damaged") << QStringList{"--corrupt-lrc-every", "1"}
                                         << QStringList{"info"} << "replies from address 1 on ";
    // Answers the identification and a few reads, then nothing.
    QTest::newRow("silent during the read-out")
        << QStringList{"--silent-after", "6"} << QStringList{"info"}
        << "stopped answering while its parameters were read (entry ";
}

void TestCliInstrument::noInstrument() {
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, cliArgs);
    QFETCH(QString, message);
    TestHome home;
    SimProcess sim(simArgs);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const CliResult r = runCli(common(sim, home) + cliArgs);
    QVERIFY2(r.finished, r.describe());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(message.toUtf8()), r.describe());
    QVERIFY(r.out.isEmpty());
}

void TestCliInstrument::portsAndSearch() {
    TestHome home;
    SimProcess sim({"--address", "7"});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));

    // A pty is not a system serial port; the configured one is listed while it exists.
    CliResult r = runCli({"--home", home.path(), "--json", "ports", "--port", sim.ptyPath()});
    QVERIFY2(r.exitCode == 0, r.describe());
    bool listed = false;
    for (const QJsonValue& p : r.json().value("ports").toArray())
        listed |= p.toObject().value("port").toString() == sim.ptyPath() &&
                  p.toObject().value("configured").toBool();
    QVERIFY2(listed, r.describe());

    // The fastest speed keeps the 127 probes short (44 ms each without an answer).
    r = runCli(common(sim, home) + QStringList{"--json", "search", "--baud", "115200"});
    QVERIFY2(r.exitCode == 0, r.describe());
    QCOMPARE(r.json().value("found").toArray(), QJsonArray{7});
    QCOMPARE(r.json().value("complete").toBool(), true);
    // Every address was asked, once.
    int probes = 0;
    for (const QJsonObject& t : sim.traffic())
        probes += t.value("function").toInt() == 4 && t.value("count").toInt() == 1 ? 1 : 0;
    QCOMPARE(probes, 127);
}

QTEST_GUILESS_MAIN(TestCliInstrument)
#include "tst_cli_instrument.moc"
