#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "link/portaddress.h"
#include "link/rfc2217.h"
#include "link/vacom.h"
#include "services/settingsfile.h"
#include "session/hotplug.h"
#include "session/session.h"
#include "session/writepath.h"
#include "support/ser2netprocess.h"
#include "support/simrig.h"

namespace {

constexpr char IAC = '\xFF';

int countFunction(const QList<QJsonObject>& traffic, int function) {
    int n = 0;
    for (const QJsonObject& r : traffic)
        n += r.value(QStringLiteral("function")).toInt() == function;
    return n;
}

// A simulator behind ser2net, and a session on the server's address.
struct NetRig : SimRig {
    explicit NetRig(bool telnet) : telnet(telnet) {}
    bool start() {
        if (!sim.start())
            return false;
        if (!server.start(sim.ptyPath(), telnet))
            return false;
        session.settings().porta = server.address();
        session.settings().velocita = QStringLiteral("115200");
        session.setStartupComplete(true);
        session.impostacom();
        return true;
    }
    bool telnet;
    Ser2NetProcess server;
};

}  // namespace

// Network serial ports: the address parser, the telnet layer, and the real
// link through ser2net in front of velmora-sim.
class TestNetPort : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void addresses_data();
    void addresses();
    void rememberedPorts();
    void telnetEscapesAndCommands();
    void telnetAcknowledgements();
    void kinds_data();
    void readoutWritesAndPolling_data();
    void readoutWritesAndPolling();
    void baudRateAcknowledged();
    void deviceListChangeLeavesTheNetworkPort_data();
    void deviceListChangeLeavesTheNetworkPort();
    void serverKilledAndRestarted_data();
    void serverKilledAndRestarted();
    void serverThatNeverAnswers_data();
    void serverThatNeverAnswers();
    void controlRequestsNotWaitedFor();
    void nobodyListens();
    void malformedAddress();

private:
    void needServer();
};

void TestNetPort::initTestCase() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("velmora-sim is not built");
}

void TestNetPort::needServer() {
    if (Ser2NetProcess::programPath().isEmpty())
        QSKIP("ser2net is not installed (Debian package ser2net; ./run test installs it)");
}

void TestNetPort::addresses_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("device") << "/dev/ttyUSB0" << true << int(PortAddress::Serial) << "" << 0;
    QTest::newRow("tcp") << "tcp://192.168.1.20:4001" << true << int(PortAddress::Tcp)
                         << "192.168.1.20" << 4001;
    QTest::newRow("rfc2217 name") << "RFC2217://gw-3.plant.local:7000" << true
                                  << int(PortAddress::Rfc2217) << "gw-3.plant.local" << 7000;
    QTest::newRow("ipv6") << "tcp://[::1]:23" << true << int(PortAddress::Tcp) << "::1" << 23;
    QTest::newRow("no port") << "tcp://host" << false << 0 << "" << 0;
    QTest::newRow("empty port") << "tcp://host:" << false << 0 << "" << 0;
    QTest::newRow("port 0") << "tcp://host:0" << false << 0 << "" << 0;
    QTest::newRow("port too big") << "rfc2217://host:65536" << false << 0 << "" << 0;
    QTest::newRow("port not a number") << "tcp://host:+80" << false << 0 << "" << 0;
    QTest::newRow("no host") << "tcp://:4001" << false << 0 << "" << 0;
    QTest::newRow("unknown scheme") << "udp://host:4001" << false << 0 << "" << 0;
    QTest::newRow("space in host") << "tcp://my host:4001" << false << 0 << "" << 0;
    QTest::newRow("two colons") << "tcp://a:1:2" << false << 0 << "" << 0;
    QTest::newRow("bad ipv6") << "tcp://[::g]:23" << false << 0 << "" << 0;
    QTest::newRow("path after") << "tcp://host:23/x" << false << 0 << "" << 0;
}

void TestNetPort::addresses() {
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QString error;
    const std::optional<PortAddress> a = PortAddress::parse(name, &error);
    QCOMPARE(a.has_value(), valid);
    if (!valid) {
        QVERIFY(error.contains(name));
        QVERIFY(error.contains(QLatin1String("rfc2217://HOST:PORT")));
        return;
    }
    QFETCH(int, kind);
    QFETCH(QString, host);
    QFETCH(int, port);
    QCOMPARE(int(a->kind), kind);
    QCOMPARE(a->host, host);
    QCOMPARE(int(a->port), port);
    // Written back, it parses to the same address.
    QCOMPARE(PortAddress::parse(a->text())->text(), a->text());
}

void TestNetPort::rememberedPorts() {
    // Most recent first, no repeats, at most five; malformed ones dropped.
    QStringList list = PortAddress::remembered(
        QStringLiteral("tcp://a:1; rfc2217://b:2;tcp://bad;;/dev/ttyUSB0;TCP://a:1"));
    QCOMPARE(list, (QStringList{"tcp://a:1", "rfc2217://b:2"}));
    list = PortAddress::remember(list, QStringLiteral("rfc2217://b:2"));
    QCOMPARE(list, (QStringList{"rfc2217://b:2", "tcp://a:1"}));
    for (int i = 3; i <= 8; ++i)
        list = PortAddress::remember(list, QStringLiteral("tcp://h%1:%1").arg(i));
    QCOMPARE(list.size(), PortAddress::kRemembered);
    QCOMPARE(list.first(), QStringLiteral("tcp://h8:8"));
    QCOMPARE(PortAddress::remember(list, QStringLiteral("/dev/ttyS0")), list);

    // In the settings file: a fifteenth line, only when there is something
    // to remember, read back as written.
    fdati f = SettingsFile::defaults(0, 0);
    QCOMPARE(SettingsFile::serialize(f).count('\n'), SettingsFile::kLines);
    f.porte_rete = PortAddress::rememberedText(list);
    const QByteArray bytes = SettingsFile::serialize(f);
    QCOMPARE(bytes.count('\n'), SettingsFile::kLines + 1);
    const SettingsFile::LoadResult back = SettingsFile::parse(bytes, 0, 0);
    QVERIFY(back.problems.isEmpty());
    QCOMPARE(back.values, f);
    // A file without it reads as none and is not a problem.
    QVERIFY(SettingsFile::parse(SettingsFile::serialize(SettingsFile::defaults(0, 0)), 0, 0)
                .problems.isEmpty());
}

void TestNetPort::telnetEscapesAndCommands() {
    Rfc2217Codec c;
    // Data 0xFF doubled on the way out.
    c.sendData(
        QByteArray("a\xFF"
                   "b",
                   3));
    QCOMPARE(c.takeOutput(), QByteArray("a\xFF\xFF"
                                        "b",
                                        4));
    // On the way in: IAC IAC is one data byte; a negotiation and a
    // subnegotiation between data bytes are taken out of the data, also
    // when split across reads.
    const QByteArray in = QByteArray(":01") + IAC + IAC + "\xFF\xFB\x03" + "02" +
                          QByteArray("\xFF\xFA\x2C\x6B\x00\xFF\xF0", 7) + "\r\n";
    QByteArray data;
    for (char b : in)
        data += c.receive(&b, 1);
    QCOMPARE(data, QByteArray(":01\xFF"
                              "02\r\n"));
    // The WILL SGA got its answer.
    QCOMPARE(c.takeOutput(), QByteArray("\xFF\xFD\x03", 3));
}

void TestNetPort::telnetAcknowledgements() {
    Rfc2217Codec c;
    c.start();
    c.takeOutput();
    // 0xFF inside a command's value is escaped: 255 baud is 00 00 00 FF.
    c.configure(255);
    QVERIFY(c.takeOutput().isEmpty());  // not before the server agrees
    c.receive(QByteArray("\xFF\xFD\x2C", 3));
    QVERIFY(c.optionAccepted());
    const QByteArray setup = c.takeOutput();
    QVERIFY(setup.startsWith(QByteArray("\xFF\xFA\x2C\x01\x00\x00\x00\xFF\xFF\xFF\xF0", 11)));
    QVERIFY(setup.contains(QByteArray("\xFF\xFA\x2C\x05\x09\xFF\xF0", 7)));  // DTR off
    QVERIFY(setup.contains(QByteArray("\xFF\xFA\x2C\x05\x0C\xFF\xF0", 7)));  // RTS off
    QVERIFY(!c.setupAcknowledged());
    QVERIFY(!c.lineAcknowledged());
    // Answers: baud (escaped), data size, parity, stop size, flow; a DTR
    // answer with the resulting state; none for RTS.
    c.receive(QByteArray("\xFF\xFA\x2C\x65\x00\x00\x00\xFF\xFF\xFF\xF0", 11));
    QCOMPARE(c.acknowledgedBaud(), 255);
    for (const char* a : {"\xFF\xFA\x2C\x66\x08\xFF\xF0", "\xFF\xFA\x2C\x67\x01\xFF\xF0",
                          "\xFF\xFA\x2C\x68\x01\xFF\xF0", "\xFF\xFA\x2C\x69\x01\xFF\xF0",
                          "\xFF\xFA\x2C\x69\x08\xFF\xF0"})
        c.receive(a, 7);
    QVERIFY(c.lineAcknowledged());  // the port may be used from here
    QVERIFY(!c.setupAcknowledged());
    QCOMPARE(c.unacknowledged(), QStringLiteral("5:12"));
    c.receive(QByteArray("\xFF\xFA\x2C\x69\x0C\xFF\xF0", 7));
    QVERIFY(c.setupAcknowledged());
    // A server that refuses the option gets no COM-PORT commands.
    Rfc2217Codec r;
    r.start();
    r.configure(9600);
    r.takeOutput();
    r.receive(QByteArray("\xFF\xFE\x2C", 3));
    QVERIFY(!r.optionAccepted());
    QVERIFY(!r.takeOutput().contains(QByteArray("\xFF\xFA\x2C", 3)));
}

void TestNetPort::kinds_data() {
    QTest::addColumn<bool>("telnet");
    QTest::newRow("tcp") << false;
    QTest::newRow("rfc2217") << true;
}

void TestNetPort::readoutWritesAndPolling_data() {
    kinds_data();
}

void TestNetPort::readoutWritesAndPolling() {
    needServer();
    QFETCH(bool, telnet);
    NetRig rig(telnet);
    QVERIFY2(rig.start(), qPrintable(rig.sim.errorString() + rig.server.errorString()));
    QVERIFY(rig.waitOnline(10000));
    QVERIFY(rig.session.port().isOpen());
    // Identification first, then every setup entry.
    const QList<QJsonObject> readout = rig.sim.traffic();
    QCOMPARE(readout.first().value(QStringLiteral("function")).toInt(), 4);
    QCOMPARE(readout.first().value(QStringLiteral("register")).toInt(), 5);
    QCOMPARE(countFunction(readout, 3), 42);
    QVERIFY(rig.view.title.contains(rig.server.address()));
    // Opened, it is remembered for the port list.
    QCOMPARE(PortAddress::remembered(rig.session.settings().porte_rete),
             QStringList{rig.server.address()});
    QCOMPARE(rig.view.title.contains(QLatin1String("115200")), telnet);

    // A write reaches the instrument and is acknowledged.
    ParameterTable& t = rig.session.table();
    const QString value =
        t.entry(15).value == QLatin1String("3") ? QStringLiteral("4") : QStringLiteral("3");
    const qsizetype mark = rig.sim.traffic().size();
    QVERIFY(rig.session.writePath().write(15, value).isAnswered());
    QCOMPARE(countFunction(rig.sim.traffic().mid(mark), 6), 1);

    // Polling goes on: C and P keep arriving.
    const qsizetype before = rig.sim.traffic().size();
    QVERIFY(rig.sim.waitForTraffic(static_cast<int>(before) + 12, 10000));
    QVERIFY(countFunction(rig.sim.traffic().mid(before), 1) >= 1);
    QVERIFY(rig.session.link().online);

    // A request sent from inside the handling of a reply: the socket holds
    // its readyRead back meanwhile, and the reply still ends the exchange.
    const qsizetype nested = rig.sim.traffic().size();
    const std::optional<Outcome> tare = rig.tareInsideLiveRefresh(30000);
    QVERIFY(tare);
    QVERIFY2(tare->isAnswered(), qPrintable(tare->text()));
    QCOMPARE(countFunction(rig.sim.traffic().mid(nested), 6), 1);
}

void TestNetPort::baudRateAcknowledged() {
    needServer();
    SimProcess sim;
    QVERIFY(sim.start());
    Ser2NetProcess server;
    QVERIFY2(server.start(sim.ptyPath(), true), qPrintable(server.errorString()));
    NetBytePort port(*PortAddress::parse(server.address()));
    QVERIFY2(port.openPort(57600), qPrintable(port.errorString()));
    QCOMPARE(port.acknowledgedSpeed(), 57600);
    port.close();
}

void TestNetPort::deviceListChangeLeavesTheNetworkPort_data() {
    kinds_data();
}

// An adapter plugged in or out while the instrument is reached over the
// network: the port list follows, the live connection is not dropped.
void TestNetPort::deviceListChangeLeavesTheNetworkPort() {
    needServer();
    QFETCH(bool, telnet);
    NetRig rig(telnet);
    QVERIFY2(rig.start(), qPrintable(rig.server.errorString()));
    QVERIFY(rig.waitOnline(10000));
    PortWatch watch(rig.session);
    QStringList devices{QStringLiteral("/dev/ttyUSB7")};
    watch.setPortLister([&] { return devices; });
    watch.cercacom();
    devices.clear();
    watch.message_bb5();
    devices = {QStringLiteral("/dev/ttyUSB8")};
    watch.message_bb5();
    QCOMPARE(watch.cambio_porta(), QStringLiteral("/dev/ttyUSB8"));
    QVERIFY(rig.session.port().isOpen());
    QVERIFY(rig.session.link().online);
    QVERIFY(!rig.session.tRecover().isActive());
    QCOMPARE(rig.session.settings().porta, rig.server.address());
    // Polling goes on over the same connection.
    const qsizetype before = rig.sim.traffic().size();
    QVERIFY(rig.sim.waitForTraffic(static_cast<int>(before) + 6, 10000));
    QVERIFY(rig.session.link().online);
}

void TestNetPort::serverKilledAndRestarted_data() {
    kinds_data();
}

void TestNetPort::serverKilledAndRestarted() {
    needServer();
    QFETCH(bool, telnet);
    NetRig rig(telnet);
    QVERIFY2(rig.start(), qPrintable(rig.server.errorString()));
    QVERIFY(rig.waitOnline(10000));
    rig.server.kill();
    // The lost connection is the lost port: closed, offline, recovering,
    // and the address is kept for the recovery.
    QVERIFY(rig.session.waitUntil([&] { return !rig.session.port().isOpen(); }, 5000));
    QVERIFY(rig.session.waitUntil([&] { return !rig.session.link().online; }, 5000));
    QVERIFY(rig.session.tRecover().isActive());
    // A recovery attempt fails while the server is away; the address stays.
    const auto failedOpens = [&] {
        return rig.home.logMessages().filter(QLatin1String("Apertura della porta")).size();
    };
    QVERIFY(rig.session.waitUntil([&] { return failedOpens() > 0; }, 8000));
    QCOMPARE(rig.session.settings().porta, rig.server.address());
    QVERIFY(rig.session.tRecover().isActive());
    QVERIFY(rig.server.start(rig.sim.ptyPath(), telnet));
    // Live polling again, with no click and no question on the way.
    QVERIFY(rig.waitOnline(15000));
    QVERIFY(rig.session.port().isOpen());
    const qsizetype before = rig.sim.traffic().size();
    QVERIFY(rig.sim.waitForTraffic(static_cast<int>(before) + 6, 10000));
    QVERIFY(rig.view.questions.isEmpty());
}

void TestNetPort::serverThatNeverAnswers_data() {
    kinds_data();
}

void TestNetPort::serverThatNeverAnswers() {
    QFETCH(bool, telnet);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QList<QTcpSocket*> held;  // accepted, read, never answered
    connect(&server, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket* s = server.nextPendingConnection())
            held.append(s);
    });
    const QString address = QStringLiteral("%1://127.0.0.1:%2")
                                .arg(telnet ? "rfc2217" : "tcp")
                                .arg(server.serverPort());
    TestHome home;
    RecordingPresentation view;
    Session session(&view);
    session.settings().porta = address;
    session.settings().velocita = QStringLiteral("9600");
    session.setStartupComplete(true);
    QElapsedTimer clock;
    clock.start();
    session.impostacom();
    // The port opens (the server took the connection); nobody answers, so
    // the link goes offline and keeps trying, never hangs.
    QVERIFY(session.port().isOpen());
    QVERIFY(session.waitUntil(
        [&] { return !session.link().online && session.tRecover().isActive(); }, 20000));
    QVERIFY(!held.isEmpty());
    QVERIFY(clock.elapsed() < 20000);
    // The silent telnet server is used anyway, and that is logged once.
    const int logged =
        static_cast<int>(home.logMessages().filter(QLatin1String("usata comunque")).size());
    QCOMPARE(logged, telnet ? 1 : 0);
    session.mySleep(3500);  // one more recovery tick reconnects to the same server
    QCOMPARE(home.logMessages().filter(QLatin1String("usata comunque")).size(), logged);
    qDeleteAll(held);
}

// A server that confirms the line (speed and framing) but never a control
// request, as ser2net on a pseudo-terminal does: the port opens on the line
// confirmations, carries data at once, and the silence is logged once, later.
void TestNetPort::controlRequestsNotWaitedFor() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QList<QTcpSocket*> peers;
    QByteArray received;
    connect(&server, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            peers.append(s);
            s->write(QByteArray("\xFF\xFD\x2C", 3));  // DO COM-PORT-OPTION
            auto seen = std::make_shared<QByteArray>();
            connect(s, &QTcpSocket::readyRead, s, [s, seen, &received] {
                const QByteArray bytes = s->readAll();
                *seen += bytes;
                received += bytes;
                // Once the stop size is asked for, confirm the four line commands.
                if (seen->contains(QByteArray("\xFF\xFA\x2C\x04", 4)) && !seen->contains("acked")) {
                    seen->append("acked");
                    s->write(
                        QByteArray("\xFF\xFA\x2C\x65\x00\x00\x25\x80\xFF\xF0"
                                   "\xFF\xFA\x2C\x66\x08\xFF\xF0"
                                   "\xFF\xFA\x2C\x67\x01\xFF\xF0"
                                   "\xFF\xFA\x2C\x68\x01\xFF\xF0",
                                   31));
                }
            });
        }
    });
    const QString address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.serverPort());
    TestHome home;
    const auto loggedLines = [&] {
        return home.logMessages().filter(QLatin1String("usata comunque")).size();
    };
    for (int opening = 0; opening < 2; ++opening) {
        NetBytePort port(*PortAddress::parse(address));
        QVERIFY2(port.openPort(9600), qPrintable(port.errorString()));
        QCOMPARE(port.acknowledgedSpeed(), 9600);
        if (opening == 0)
            QCOMPARE(loggedLines(), 0);  // opened before the grace ran out
        QVERIFY(port.write("abc") == 3);
        QTRY_VERIFY_WITH_TIMEOUT(received.contains("abc"), 5000);
        received.clear();
        // The unanswered control requests are logged once, naming them;
        // reconnecting to the same server adds nothing.
        QTRY_COMPARE_WITH_TIMEOUT(loggedLines(), 1, 5000);
        QVERIFY(home.logMessages()
                    .filter(QLatin1String("usata comunque"))
                    .constFirst()
                    .contains(QLatin1String("5:1 5:9 5:12")));
        if (opening == 1)
            QTest::qWait(2 * BytePort::kControlGraceMs);  // the second grace ends silently
        QCOMPARE(loggedLines(), 1);
        port.close();
    }
    qDeleteAll(peers);
}

void TestNetPort::nobodyListens() {
    const quint16 port = Ser2NetProcess::freePort();
    TestHome home;
    RecordingPresentation view;
    Session session(&view);
    const QString address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
    session.settings().porta = address;
    session.setStartupComplete(true);
    QElapsedTimer clock;
    clock.start();
    session.impostacom();
    QVERIFY(clock.elapsed() < 3000);
    QVERIFY(!session.port().isOpen());
    QCOMPARE(view.questions.size(), 1);
    QVERIFY2(view.questions[0].contains(address + QLatin1String(" not Available")),
             qPrintable(view.questions[0]));
    QVERIFY(view.questions[0].contains(QLatin1String("refused")));
    // Kept for the recovery, which keeps trying.
    QCOMPARE(session.settings().porta, address);
    QVERIFY(session.tRecover().isActive());
}

void TestNetPort::malformedAddress() {
    TestHome home;
    RecordingPresentation view;
    Session session(&view);
    session.settings().porta = QStringLiteral("tcp://127.0.0.1");
    session.setStartupComplete(true);
    session.impostacom();
    QVERIFY(!session.port().isOpen());
    QCOMPARE(view.questions.size(), 1);
    QVERIFY2(view.questions[0].contains(QLatin1String("is not a network port")),
             qPrintable(view.questions[0]));
    // Nothing to retry: a malformed address is not kept.
    QCOMPARE(session.settings().porta, QStringLiteral("NO"));
}

QTEST_MAIN(TestNetPort)
#include "tst_netport.moc"
