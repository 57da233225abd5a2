#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include "link/codec.h"
#include "support/simprocess.h"

namespace {

QByteArray frame(const QByteArray& hexBody) {
    return codec::componi_frame(QByteArray::fromHex(hexBody));
}

// A serial client on the simulator's pty, in blocking mode.
class Client {
public:
    bool open(const QString& path) {
        port_.setPortName(path);
        if (!port_.open(QIODevice::ReadWrite))
            return false;
        port_.setBaudRate(QSerialPort::Baud38400);
        return true;
    }
    void close() { port_.close(); }
    // Sends a frame and collects what comes back up to a LF, or whatever came
    // before the deadline.
    QByteArray exchange(const QByteArray& request, int timeoutMs = 3000) {
        port_.readAll();
        port_.write(request);
        port_.waitForBytesWritten(1000);
        return readReply(timeoutMs);
    }
    QByteArray readReply(int timeoutMs) {
        QByteArray got;
        const QDeadlineTimer deadline(timeoutMs);
        while (!got.contains('\n') && !deadline.hasExpired()) {
            if (port_.bytesAvailable() == 0)
                port_.waitForReadyRead(
                    static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
            got += port_.readAll();
        }
        return got;
    }

private:
    QSerialPort port_;
};

using Conversation = QList<QPair<QByteArray, QByteArray>>;

}  // namespace

class TestSimWire : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void conversations_data();
    void conversations();
    void faults_data();
    void faults();
    void delayAndPacingHoldRepliesBack();
    void unplugAndReplug();
    void storedSetSurvivesOnlyAfterSave();
    void trafficLogRecordsRequests();
    void controlChannel();
    void identityFollowsOptions_data();
    void identityFollowsOptions();
    void helpListsEveryOption();
    void linkNeverReplacesAFile();
    void endsOnStdinCloseAndOnSignal();
};

void TestSimWire::conversations_data() {
    QTest::addColumn<Conversation>("steps");
    QTest::newRow("identification") << Conversation{{":010400050001F5\r\n", ":0104020C12DB\r\n"}};
    QTest::newRow("search probe at the data base")
        << Conversation{{frame("010401000001"), frame("0104020000")}};
    QTest::newRow("16-bit setup round trip (filter, register 22)")
        << Conversation{{frame("010300160001"), frame("0103020005")},
                        {frame("010600160007"), frame("010600160007")},
                        {frame("010300160001"), frame("0103020007")}};
    QTest::newRow("32-bit setup round trip (max weight, registers 14-15)")
        << Conversation{{frame("0110000E00020400030D40"), frame("0110000E0002")},
                        {frame("0103000E0002"), frame("01030400030D40")}};
    QTest::newRow("calibration written at +0, read at +48")
        << Conversation{{frame("011060060002040001E240"), frame("011060060002")},
                        {frame("010360360002"), frame("0103040001E240")},
                        {frame("010360060002"), frame("018302")}};
    QTest::newRow("exception 3 on a bad value, value kept") << Conversation{
        {frame("01060016000A"), frame("018603")}, {frame("010300160001"), frame("0103020005")}};
    QTest::newRow("exception 2 on an unknown register")
        << Conversation{{frame("010305000001"), frame("018302")}};
    QTest::newRow("status, coils and inputs")
        << Conversation{{frame("0107"), frame("010704")},
                        {frame("010100000002"), frame("01010100")},
                        {frame("010200000002"), frame("01020100")}};
    QTest::newRow("output test through role 8")
        << Conversation{{frame("01050000FF00"), frame("018503")},
                        {frame("0106000C0005"), frame("0106000C0005")},
                        {frame("01050001FF00"), frame("01050001FF00")},
                        {frame("010100000002"), frame("01010102")}};
    QTest::newRow("other address ignored, own answered") << Conversation{
        {frame("020400050001"), QByteArray()}, {frame("010400050001"), frame("0104020C12")}};
    QTest::newRow("bad LRC ignored") << Conversation{{":010400050001F4\r\n", QByteArray()}};
}

void TestSimWire::conversations() {
    QFETCH(Conversation, steps);
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Client c;
    QVERIFY(c.open(sim.ptyPath()));
    for (const auto& [request, reply] : steps) {
        // No reply expected: give a wrong answer time to show up, not forever.
        const QByteArray got = c.exchange(request, reply.isEmpty() ? 300 : 3000);
        QCOMPARE(got, reply);
    }
}

void TestSimWire::faults_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    // One outcome per exchange: ok, none, badlrc, addr2, garbage, split.
    QTest::addColumn<QStringList>("outcomes");
    const QByteArray ident = ":010400050001F5\r\n";
    const QByteArray identReply = ":0104020C12DB\r\n";
    QTest::newRow("silent") << QStringList{"--silent"} << ident << identReply
                            << QStringList{"none", "none"};
    QTest::newRow("silent after 2") << QStringList{"--silent-after", "2"} << ident << identReply
                                    << QStringList{"ok", "ok", "none", "none"};
    QTest::newRow("corrupt LRC every 2")
        << QStringList{"--corrupt-lrc-every", "2"} << ident << identReply
        << QStringList{"ok", "badlrc", "ok", "badlrc"};
    QTest::newRow("wrong address every 3") << QStringList{"--wrong-address-every", "3"} << ident
                                           << identReply << QStringList{"ok", "ok", "addr2", "ok"};
    QTest::newRow("exception 3 on register 22 (read)")
        << QStringList{"--exception3-on-register", "22"} << frame("010300160001") << frame("018303")
        << QStringList{"ok", "ok"};
    QTest::newRow("exception 3 on register 22 (write)")
        << QStringList{"--exception3-on-register", "22"} << frame("010600160003") << frame("018603")
        << QStringList{"ok"};
    QTest::newRow("exception 3 on register 22 spares 21")
        << QStringList{"--exception3-on-register", "22"} << frame("010300150001")
        << frame("0103020000") << QStringList{"ok"};
    QTest::newRow("garbage every 2") << QStringList{"--garbage-every", "2"} << ident << identReply
                                     << QStringList{"ok", "garbage", "ok", "garbage"};
    QTest::newRow("split replies") << QStringList{"--split-replies"} << ident << identReply
                                   << QStringList{"split", "split", "split"};
}

void TestSimWire::faults() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, outcomes);
    SimProcess sim(args);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Client c;
    QVERIFY(c.open(sim.ptyPath()));
    for (int n = 0; n < outcomes.size(); ++n) {
        const QString& expect = outcomes[n];
        const QByteArray got = c.exchange(request, expect == "none" ? 300 : 3000);
        const QString where =
            QStringLiteral("exchange %1 (%2): %3").arg(n + 1).arg(expect, QString::fromLatin1(got));
        if (expect == "ok" || expect == "split") {
            QVERIFY2(got == reply, qPrintable(where));
        } else if (expect == "none") {
            QVERIFY2(got.isEmpty(), qPrintable(where));
        } else if (expect == "badlrc") {
            QVERIFY2(got.startsWith(':') && got.endsWith("\r\n"), qPrintable(where));
            const QByteArray decoded = codec::hex2bin(got.mid(1).chopped(2));
            QVERIFY2(!codec::verifica_lrc(decoded), qPrintable(where));
            QCOMPARE(decoded.chopped(1), codec::hex2bin(reply.mid(1).chopped(4)));
        } else if (expect == "addr2") {
            QByteArray body = codec::hex2bin(reply.mid(1).chopped(4));
            body[0] = 2;
            QVERIFY2(got == codec::componi_frame(body), qPrintable(where));
        } else if (expect == "garbage") {
            const qsizetype colon = got.indexOf(':');
            QVERIFY2(colon > 0 && got.mid(colon) == reply, qPrintable(where));
        }
    }
    // The traffic log tells which faults hit which request.
    QVERIFY(sim.waitForTraffic(int(outcomes.size())));
    const QList<QJsonObject> log = sim.traffic();
    QCOMPARE(log.size(), outcomes.size());
    for (int n = 0; n < outcomes.size(); ++n) {
        const QStringList faults = log[n].value("faults").toVariant().toStringList();
        const QString& expect = outcomes[n];
        if (expect == "none")
            QCOMPARE(faults, QStringList{"silent"});
        if (expect == "badlrc")
            QVERIFY(faults.contains("corrupt-lrc"));
        if (expect == "addr2")
            QVERIFY(faults.contains("wrong-address"));
        if (expect == "garbage")
            QVERIFY(faults.contains("garbage"));
        if (expect == "split")
            QVERIFY(faults.contains("split"));
    }
}

void TestSimWire::delayAndPacingHoldRepliesBack() {
    // Only lower bounds: a busy machine may make replies later, never earlier.
    {
        SimProcess sim({"--delay-ms", "250"});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        Client c;
        QVERIFY(c.open(sim.ptyPath()));
        QElapsedTimer t;
        t.start();
        QCOMPARE(c.exchange(":010400050001F5\r\n"), QByteArray(":0104020C12DB\r\n"));
        QVERIFY2(t.elapsed() >= 245, qPrintable(QString::number(t.elapsed())));
    }
    SimProcess sim({"--baud", "1200"});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Client c;
    QVERIFY(c.open(sim.ptyPath()));
    QElapsedTimer t;
    t.start();
    // 17 request and 15 reply characters at 1200 baud, 10 bits each: 267 ms.
    QCOMPARE(c.exchange(":010400050001F5\r\n"), QByteArray(":0104020C12DB\r\n"));
    QVERIFY2(t.elapsed() >= 260, qPrintable(QString::number(t.elapsed())));
    // Response time 0.20 s (role 31, register 38) comes on top.
    QCOMPARE(c.exchange(frame("010600260014")), frame("010600260014"));
    QCOMPARE(c.exchange(":010400050001F5\r\n"), QByteArray(":0104020C12DB\r\n"));
    QVERIFY(sim.waitForTraffic(3));
    QCOMPARE(sim.traffic().at(0).value("delayMs").toInt(), 267);
    QCOMPARE(sim.traffic().at(2).value("delayMs").toInt(), 467);
}

void TestSimWire::unplugAndReplug() {
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyVELMORA");
    SimProcess sim({"--link", link});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const QString first = sim.ptyPath();
    QCOMPARE(QFileInfo(link).symLinkTarget(), first);
    Client c;
    QVERIFY(c.open(link));
    QCOMPARE(c.exchange(":010400050001F5\r\n"), QByteArray(":0104020C12DB\r\n"));

    QCOMPARE(sim.send("unplug"), QString("OK unplug"));
    QVERIFY(!QFileInfo::exists(first));
    QVERIFY(!QFileInfo(link).isSymLink());
    c.close();
    QSerialPort gone(link);
    QVERIFY(!gone.open(QIODevice::ReadWrite));
    QVERIFY(!sim.status().value("plugged").toBool());

    const QString answer = sim.send("replug");
    QVERIFY2(answer.startsWith("OK replug "), qPrintable(answer));
    const QString second = sim.ptyPath();
    QCOMPARE(answer.mid(10), second);
    QVERIFY(QFileInfo::exists(second));
    QCOMPARE(QFileInfo(link).symLinkTarget(), second);
    Client again;
    QVERIFY(again.open(link));
    QCOMPARE(again.exchange(":010400050001F5\r\n"), QByteArray(":0104020C12DB\r\n"));
    // Replug while plugged: a fresh pty replaces the old one.
    QVERIFY(sim.send("replug").startsWith("OK replug "));
    QVERIFY(!QFileInfo::exists(second) || sim.ptyPath() == second);
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.ptyPath());
}

void TestSimWire::storedSetSurvivesOnlyAfterSave() {
    QTemporaryDir dir;
    const QString state = dir.filePath("sim-state.json");
    const QByteArray readFilter = frame("010300160001");
    const auto run = [&](const QList<QPair<QByteArray, QByteArray>>& steps) {
        SimProcess sim({"--state", state});
        if (!sim.start())
            return QStringLiteral("start: ") + sim.errorString();
        Client c;
        if (!c.open(sim.ptyPath()))
            return QStringLiteral("open failed");
        for (const auto& [req, rep] : steps) {
            const QByteArray got = c.exchange(req);
            if (got != rep)
                return QStringLiteral("%1 -> %2, expected %3").arg(req, got, rep);
        }
        return sim.stop() == 0 ? QString() : QStringLiteral("exit code");
    };
    QCOMPARE(run({{frame("010600160007"), frame("010600160007")}}), QString());
    QVERIFY(!QFileInfo::exists(state));
    // Not saved: back to the default filter 5, then save 7 with command 0x20.
    QCOMPARE(run({{readFilter, frame("0103020005")},
                  {frame("010600160007"), frame("010600160007")},
                  {frame("010600090020"), frame("010600090020")}}),
             QString());
    QVERIFY(QFileInfo::exists(state));
    QCOMPARE(run({{readFilter, frame("0103020007")}}), QString());
}

void TestSimWire::trafficLogRecordsRequests() {
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Client c;
    QVERIFY(c.open(sim.ptyPath()));
    c.exchange(frame("0110000E00020400030D40"));
    c.exchange(frame("0103000E0002"));
    c.exchange(frame("020400050001"), 300);
    c.exchange(":010400050001F4\r\n", 300);
    c.exchange(frame("01060016000A"));
    QVERIFY(sim.waitForTraffic(5));
    const QList<QJsonObject> log = sim.traffic();
    QCOMPARE(log.size(), 5);
    QCOMPARE(log[0].value("function").toInt(), 16);
    QCOMPARE(log[0].value("register").toInt(), 14);
    QCOMPARE(log[0].value("count").toInt(), 2);
    QCOMPARE(log[0].value("values").toArray(), QJsonArray{200000});
    QCOMPARE(log[0].value("answer").toString(), QString("reply"));
    QCOMPARE(log[1].value("values").toArray(), (QJsonArray{3, 3392}));
    QCOMPARE(log[2].value("answer").toString(), QString("ignored"));
    QCOMPARE(log[3].value("answer").toString(), QString("invalid"));
    QCOMPARE(log[4].value("answer").toString(), QString("exception"));
    QCOMPARE(log[4].value("exception").toInt(), 3);
    for (const QJsonObject& r : log)
        QVERIFY(!r.value("time").toString().isEmpty());
}

void TestSimWire::controlChannel() {
    SimProcess sim({"--load", "40"});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Client c;
    QVERIFY(c.open(sim.ptyPath()));
    // Filter 0, so the weight settles within the stability window.
    QCOMPARE(c.exchange(frame("010600160000")), frame("010600160000"));
    QCOMPARE(sim.send("load 250.25"), QString("OK load 250.25"));
    // The filter takes its time; wait for the weight to arrive.
    const QDeadlineTimer deadline(5000);
    QJsonObject st;
    while (!deadline.hasExpired()) {
        st = sim.status();
        if (st.value("gross").toInt() == 250 && st.value("stable").toBool())
            break;
        QTest::qWait(20);
    }
    QCOMPARE(st.value("gross").toInt(), 250);
    QCOMPARE(st.value("load").toDouble(), 250.25);
    QCOMPARE(sim.send("input 2 1"), QString("OK input 2 1"));
    QCOMPARE(c.exchange(frame("010200000002")), frame("01020102"));
    QCOMPARE(sim.status().value("inputs").toArray(), (QJsonArray{false, true}));
    // "delay" holds the replies that follow back, until it is set to 0.
    QCOMPARE(sim.send("delay 400"), QString("OK delay 400"));
    QElapsedTimer held;
    held.start();
    QCOMPARE(c.exchange(frame("010200000002")), frame("01020102"));
    QVERIFY(held.elapsed() >= 350);
    QCOMPARE(sim.send("delay 0"), QString("OK delay 0"));
    QVERIFY(sim.send("delay -5").startsWith("ERR"));
    QVERIFY(sim.send("delay soon").startsWith("ERR"));
    QVERIFY(sim.send("input 3 1").startsWith("ERR"));
    QVERIFY(sim.send("load heavy").startsWith("ERR"));
    QVERIFY(sim.send("fly").startsWith("ERR unknown command"));
}

void TestSimWire::identityFollowsOptions_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("identity");
    QTest::addColumn<bool>("hasIpAddress");  // program 35 has registers 52-59
    QTest::newRow("default") << QStringList{} << QByteArray("0C12") << false;
    QTest::newRow("--model 35 --release 12")
        << QStringList{"--model", "35", "--release", "12"} << QByteArray("230C") << true;
    QTest::newRow("--def names the program")
        << QStringList{"--def", QStringLiteral(VELMORA_BUILD_DIR) + "/Config/DATV3512.def"}
        << QByteArray("230C") << true;
    QTest::newRow("missing release falls back")
        << QStringList{"--release", "25"} << QByteArray("0C19") << false;
}

void TestSimWire::identityFollowsOptions() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, identity);
    QFETCH(bool, hasIpAddress);
    SimProcess sim(args);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Client c;
    QVERIFY(c.open(sim.ptyPath()));
    QCOMPARE(c.exchange(frame("010400050001")), frame("010402" + identity));
    const QByteArray ip = c.exchange(frame("010300340001"));
    QCOMPARE(ip == frame("01030200C0"), hasIpAddress);
}

void TestSimWire::helpListsEveryOption() {
    QProcess p;
    p.start(SimProcess::programPath(), {"--help"});
    QVERIFY(p.waitForFinished(5000));
    const QString help = QString::fromLocal8Bit(p.readAllStandardOutput());
    for (const char* option : {"--def",
                               "--model",
                               "--release",
                               "--home",
                               "--address",
                               "--link",
                               "--state",
                               "--baud",
                               "--traffic",
                               "--stdin-control",
                               "--load",
                               "--noise",
                               "--seed",
                               "--silent",
                               "--silent-after",
                               "--corrupt-lrc-every",
                               "--wrong-address-every",
                               "--exception3-on-register",
                               "--delay-ms",
                               "--garbage-every",
                               "--split-replies"})
        QVERIFY2(help.contains(QLatin1String(option) + QLatin1Char(' ')), option);
    QProcess bad;
    bad.start(SimProcess::programPath(), {"--address", "0"});
    QVERIFY(bad.waitForFinished(5000));
    QCOMPARE(bad.exitCode(), 2);
}

void TestSimWire::linkNeverReplacesAFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("precious.txt");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("keep me");
    f.close();
    SimProcess sim({"--link", path});
    QVERIFY(!sim.start());
    QVERIFY2(sim.errorString().contains("not a symlink"), qPrintable(sim.errorString()));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep me"));
}

void TestSimWire::endsOnStdinCloseAndOnSignal() {
    QTemporaryDir dir;
    const QString link = dir.filePath("ttySIM");
    {
        SimProcess sim({"--link", link});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        QVERIFY(QFileInfo(link).isSymLink());
        sim.process().closeWriteChannel();
        QVERIFY(sim.process().waitForFinished(5000));
        QCOMPARE(sim.process().exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }
    SimProcess sim({"--link", link});
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const QString pty = sim.ptyPath();
    sim.process().terminate();
    QVERIFY(sim.process().waitForFinished(5000));
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(pty));
}

QTEST_GUILESS_MAIN(TestSimWire)
#include "tst_simwire.moc"
