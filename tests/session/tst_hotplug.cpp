#include <QtTest>

#include <memory>

#include "link/portwatch.h"
#include "session/connection.h"
#include "session/hotplug.h"
#include "session/session.h"
#include "support/recordingpresentation.h"
#include "support/simprocess.h"
#include "support/testhome.h"

namespace {

// Every set-up of the port ends by setting the title, so the titles count
// how often impostacom ran.
class Recorder : public RecordingPresentation {
public:
    void setWindowTitle(const QString& t) override {
        RecordingPresentation::setWindowTitle(t);
        titles.append(t);
    }
    QStringList titles;
};

const QString kOtherPort = QStringLiteral("/dev/ttyUSB7");

// A session as the window has it once start-up is complete, with the port
// watch built but its channels not started: a test drives the handlers
// itself unless it starts them. The port list is the system's plus ports
// the test plugs in by name.
struct Fixture {
    Fixture() {
        session.setStartupComplete(true);
        watch.setPortLister([this] { return systemSerialPorts() + extraPorts; });
    }
    bool connectTo(const QString& port) {
        session.settings().porta = port;
        session.settings().velocita = QStringLiteral("115200");
        watch.cercacom();
        session.impostacom();
        return waitConnected(15000);
    }
    bool connected() { return session.link().online && session.link().parametri_caricati; }
    bool waitConnected(int ms) {
        return session.waitUntil([this] { return connected(); }, ms);
    }
    QStringList log() const { return home.logMessages(); }

    TestHome home;
    Recorder view;
    Session session{&view};
    PortWatch watch{session};
    QStringList extraPorts;
};

}  // namespace

// The two hot-plug channels against one simulator whose link in a
// temporary folder comes and goes like an adapter.
class TestHotplug : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void connectWithoutPortReleasesTheBuilderLock();
    void anotherPortArriving_data();
    void anotherPortArriving();
    void anotherPortLeaving();
    void portListChangeLeavesTheFirmwareProgrammerThePort();
    void replugOfTheConfiguredPortOpensTwiceAndConnects();
    void registryNewPortClosesTheConfiguredOneEvenOnline();
    void nodesChangedWhileOpenLogsTheRemoval();
    void unplugAndReplugThroughTheWatchedFolder();
    void adapterBackUnderANewName_data();
    void adapterBackUnderANewName();
    void adapterThatDoesNotOpenAtOnceIsTriedAgain();

private:
    bool plugged() const { return QFileInfo::exists(linkPath_); }

    QTemporaryDir linkDir_;
    QString linkPath_;
    std::unique_ptr<SimProcess> sim_;
};

void TestHotplug::initTestCase() {
    QVERIFY(linkDir_.isValid());
    linkPath_ = linkDir_.filePath(QStringLiteral("ttyVELMORA"));
    sim_ = std::make_unique<SimProcess>(QStringList{QStringLiteral("--link"), linkPath_});
    QVERIFY2(sim_->start(), qPrintable(sim_->errorString()));
    QVERIFY(plugged());
}

void TestHotplug::cleanup() {
    // Each case finds the instrument plugged in.
    if (!plugged())
        QVERIFY(sim_->send(QStringLiteral("replug")).startsWith(QLatin1String("OK replug")));
    QTRY_VERIFY(plugged());
}

void TestHotplug::connectWithoutPortReleasesTheBuilderLock() {
    // After a removal porta is "NO"; the search dialog still asks for a
    // connection when it closes.
    Fixture f;
    f.session.settings().porta = QStringLiteral("NO");
    f.session.connection().connectInstrument();
    QVERIFY(!f.session.link().canale_occupato);
    QVERIFY(f.view.sendOrange);
    QVERIFY(f.view.looks.isEmpty());  // no look change without a port

    // The builders are usable once an instrument answers.
    QVERIFY(f.connectTo(linkPath_));
    QVERIFY(f.session.prendi_canale());
    f.session.rilascia_canale();
}

void TestHotplug::anotherPortArriving_data() {
    QTest::addColumn<bool>("online");
    QTest::newRow("online: the configured port is set up again") << true;
    QTest::newRow("offline: the new port is taken at 19200") << false;
}

void TestHotplug::anotherPortArriving() {
    QFETCH(bool, online);
    Fixture f;
    if (online) {
        QVERIFY(f.connectTo(linkPath_));
        f.view.titles.clear();
        f.watch.messaggiousb(PortWatch::Arrival, kOtherPort);
        QCOMPARE(f.session.settings().porta, linkPath_);
        QCOMPARE(f.session.settings().velocita, QStringLiteral("115200"));
        QCOMPARE(f.view.titles.size(), 1);
        QVERIFY(f.session.port().isOpen());
        QCOMPARE(f.session.port().portName(), linkPath_);
        // Still talking to the same instrument.
        QVERIFY(f.waitConnected(10000));
    } else {
        f.session.settings().porta = QStringLiteral("NO");
        f.watch.cercacom();
        f.watch.messaggiousb(PortWatch::Arrival, linkPath_);
        QCOMPARE(f.session.settings().porta, linkPath_);
        QCOMPARE(f.session.settings().velocita, QStringLiteral("19200"));
        QCOMPARE(f.view.titles.size(), 1);
        QVERIFY(f.view.title.contains(linkPath_ + QStringLiteral(":19200 N,8,1")));
        QVERIFY(f.connected());  // the set-up ran the connect procedure
    }
}

void TestHotplug::anotherPortLeaving() {
    Fixture f;
    f.extraPorts = {kOtherPort};
    QVERIFY(f.connectTo(linkPath_));
    const qsizetype looks = f.view.looks.size();
    f.view.titles.clear();

    // The broadcast of another port's removal changes nothing.
    f.watch.messaggiousb(PortWatch::Removal, kOtherPort);
    QVERIFY(f.session.port().isOpen());
    QVERIFY(!f.session.link().porta_chiusa);
    QVERIFY(f.connected());
    QCOMPARE(f.view.titles.size(), 0);
    QCOMPARE(f.view.looks.size(), looks);

    // The port list's notice of the same removal closes the configured port
    // and sets it up again at once.
    f.extraPorts.clear();
    f.watch.message_bb5();
    QCOMPARE(f.watch.cambio_porta(), QStringLiteral("-") + kOtherPort);
    QCOMPARE(f.view.titles.size(), 1);
    QVERIFY(f.session.port().isOpen());
    QCOMPARE(f.session.settings().porta, linkPath_);
    QVERIFY(f.session.tRecover().isActive());
    QVERIFY(f.waitConnected(10000));
    f.session.tRecover().stop();
}

void TestHotplug::portListChangeLeavesTheFirmwareProgrammerThePort() {
    Fixture f;
    f.extraPorts = {kOtherPort};
    QVERIFY(f.connectTo(linkPath_));
    // As the firmware update leaves it: the port closed, the link offline.
    LinkState& link = f.session.link();
    link.aggiornamento_fw = true;
    f.session.tRecover().stop();
    f.session.port().close();
    link.online = false;

    // Another port leaves, then a new one comes: neither reopens the port
    // the programmer uses, nor arms the recovery.
    f.extraPorts.clear();
    f.watch.message_bb5();
    QCOMPARE(f.watch.cambio_porta(), QStringLiteral("-") + kOtherPort);
    QVERIFY(!f.session.port().isOpen());
    QVERIFY(!f.session.tRecover().isActive());
    f.extraPorts = {kOtherPort};
    f.watch.message_bb5();
    QVERIFY(!f.session.port().isOpen());
    QVERIFY(!f.session.tRecover().isActive());
    // Offline, the new port is still what the settings follow.
    QCOMPARE(f.session.settings().porta, kOtherPort);
    link.aggiornamento_fw = false;
}

void TestHotplug::replugOfTheConfiguredPortOpensTwiceAndConnects() {
    Fixture f;
    QVERIFY(f.connectTo(linkPath_));
    QCOMPARE(sim_->send(QStringLiteral("unplug")), QStringLiteral("OK unplug"));
    f.watch.messaggiousb(PortWatch::Removal, linkPath_);
    QVERIFY(f.session.link().porta_chiusa);
    QVERIFY(!f.session.port().isOpen());
    QVERIFY(!f.session.link().online);
    QCOMPARE(f.view.looks.last(), false);
    // Only the broadcast brings it back in this case.
    f.session.tRecover().stop();

    QVERIFY(sim_->send(QStringLiteral("replug")).startsWith(QLatin1String("OK replug")));
    QTRY_VERIFY(plugged());
    f.view.titles.clear();
    f.watch.messaggiousb(PortWatch::Arrival, linkPath_);
    QCOMPARE(f.view.titles.size(), 2);
    QVERIFY(f.session.port().isOpen());
    QVERIFY(!f.session.link().porta_chiusa);
    QCOMPARE(f.session.settings().porta, linkPath_);
    QVERIFY(f.waitConnected(10000));
}

void TestHotplug::registryNewPortClosesTheConfiguredOneEvenOnline() {
    Fixture f;
    QVERIFY(f.connectTo(linkPath_));
    f.view.titles.clear();
    f.extraPorts = {kOtherPort};
    f.watch.message_bb5();
    QCOMPARE(f.watch.cambio_porta(), kOtherPort);
    // Online: the new port is not taken, but the configured one is closed
    // until the recovery timer's next tick opens it again.
    QVERIFY(!f.session.port().isOpen());
    QCOMPARE(f.session.settings().porta, linkPath_);
    QVERIFY(f.session.tRecover().isActive());
    QCOMPARE(f.view.titles.size(), 0);
    // The tick comes 3000 ms later; allow for the polls that fail meanwhile.
    QVERIFY(f.session.waitUntil([&] { return f.session.port().isOpen(); }, 10000));
    QVERIFY(f.view.titles.size() >= 1);
    QCOMPARE(f.session.port().portName(), linkPath_);
    QVERIFY(f.waitConnected(15000));
    f.session.tRecover().stop();
}

void TestHotplug::nodesChangedWhileOpenLogsTheRemoval() {
    const QString line = QStringLiteral("Errore: USB rimossa!!");
    Fixture f;
    f.session.settings().porta = QStringLiteral("NO");
    f.watch.messaggiousb(PortWatch::NodesChanged, linkPath_);
    QVERIFY(!f.log().contains(line));  // no port open

    QVERIFY(f.connectTo(linkPath_));
    f.session.link().aggiornamento_fw = true;
    f.watch.messaggiousb(PortWatch::NodesChanged, linkPath_);
    QVERIFY(!f.log().contains(line));  // a firmware update owns the port
    f.session.link().aggiornamento_fw = false;

    // Logged though the adapter is still there, and nothing else happens.
    f.watch.messaggiousb(PortWatch::NodesChanged, linkPath_);
    QCOMPARE(f.log().count(line), 1);
    QVERIFY(f.session.port().isOpen());
    QVERIFY(f.connected());
}

void TestHotplug::unplugAndReplugThroughTheWatchedFolder() {
    Fixture f;
    f.watch.start();
    QVERIFY(f.connectTo(linkPath_));

    // The link leaves its folder: the port-list channel takes the port away.
    QCOMPARE(sim_->send(QStringLiteral("unplug")), QStringLiteral("OK unplug"));
    QVERIFY(f.session.waitUntil([&] { return f.session.settings().porta == QLatin1String("NO"); },
                                5000));
    QVERIFY(!f.session.link().online);
    QVERIFY(f.session.link().porta_chiusa);
    QCOMPARE(f.view.looks.last(), false);
    // The title follows at the recovery timer's next tick.
    QVERIFY(f.session.waitUntil([&] { return f.view.title.startsWith("Velmora - NO:"); }, 10000));

    // Back in its folder: the configured port, so it keeps its speed, and
    // the connection runs as the port-list channel reports it, not at the
    // recovery timer's next tick.
    QVERIFY(sim_->send(QStringLiteral("replug")).startsWith(QLatin1String("OK replug")));
    QVERIFY(f.session.waitUntil([&] { return f.session.settings().porta == linkPath_; }, 5000));
    QVERIFY(f.connected());
    QCOMPARE(f.session.settings().velocita, QStringLiteral("115200"));
    QVERIFY(f.view.title.contains(linkPath_ + QStringLiteral(":115200")));
    QVERIFY(!f.session.tRecover().isActive());
}

void TestHotplug::adapterBackUnderANewName_data() {
    QTest::addColumn<bool>("sameAdapter");
    QTest::newRow("its by-id link leads to the new name: the configured adapter") << true;
    QTest::newRow("another adapter's by-id link: a new port") << false;
}

void TestHotplug::adapterBackUnderANewName() {
    QFETCH(bool, sameAdapter);
    // Adapter names as the kernel hands them out, and udev's by-id links,
    // each a link in a folder of the test's own.
    QTemporaryDir devDir;
    QTemporaryDir byIdDir;
    QVERIFY(devDir.isValid() && byIdDir.isValid());
    const QString usb0 = devDir.filePath(QStringLiteral("ttyUSB0"));
    const QString usb1 = devDir.filePath(QStringLiteral("ttyUSB1"));
    const QString byIdA = byIdDir.filePath(QStringLiteral("usb-Velmora_Adapter_A1-if00-port0"));
    const QString byIdB = byIdDir.filePath(QStringLiteral("usb-Other_Maker_B7-if00-port0"));
    QVERIFY(QFile::link(linkPath_, usb0));
    QVERIFY(QFile::link(usb0, byIdA));

    Fixture f;
    f.watch.setByIdFolder(byIdDir.path());
    f.extraPorts = {usb0};
    QVERIFY(f.connectTo(usb0));

    // Unplugged: the name and the by-id link go, the port with them.
    QCOMPARE(sim_->send(QStringLiteral("unplug")), QStringLiteral("OK unplug"));
    QVERIFY(QFile::remove(usb0));
    QVERIFY(QFile::remove(byIdA));
    f.extraPorts.clear();
    f.watch.message_bb5();
    QCOMPARE(f.session.settings().porta, QStringLiteral("NO"));
    QVERIFY(!f.session.link().online);

    // Plugged in again, it comes back as ttyUSB1.
    QVERIFY(sim_->send(QStringLiteral("replug")).startsWith(QLatin1String("OK replug")));
    QTRY_VERIFY(plugged());
    QVERIFY(QFile::link(linkPath_, usb1));
    QVERIFY(QFile::link(usb1, sameAdapter ? byIdA : byIdB));
    f.extraPorts = {usb1};
    f.view.titles.clear();
    f.watch.message_bb5();
    QCOMPARE(f.session.settings().porta, usb1);
    if (sameAdapter) {
        // Its speed kept, and connected now rather than at the recovery tick.
        QCOMPARE(f.session.settings().velocita, QStringLiteral("115200"));
        QVERIFY(f.connected());
        QVERIFY(f.view.title.contains(usb1 + QStringLiteral(":115200")));
        QVERIFY(!f.session.tRecover().isActive());
    } else {
        QCOMPARE(f.session.settings().velocita, QStringLiteral("19200"));
        QVERIFY(f.session.tRecover().isActive());
        f.session.tRecover().stop();
    }
    f.session.port().close();
}

void TestHotplug::adapterThatDoesNotOpenAtOnceIsTriedAgain() {
    QTemporaryDir devDir;
    QVERIFY(devDir.isValid());
    const QString usb0 = devDir.filePath(QStringLiteral("ttyUSB0"));
    QVERIFY(QFile::link(linkPath_, usb0));
    Fixture f;
    f.extraPorts = {usb0};
    QVERIFY(f.connectTo(usb0));
    QVERIFY(QFile::remove(usb0));
    f.extraPorts.clear();
    f.watch.message_bb5();
    QCOMPARE(f.session.settings().porta, QStringLiteral("NO"));

    // It comes back as a name that will not open yet (no terminal behind it).
    QFile notYet(devDir.filePath(QStringLiteral("not-yet")));
    QVERIFY(notYet.open(QIODevice::WriteOnly));
    notYet.close();
    QVERIFY(QFile::link(notYet.fileName(), usb0));
    f.extraPorts = {usb0};
    f.watch.message_bb5();
    QVERIFY(!f.session.port().isOpen());
    QCOMPARE(f.session.settings().porta, usb0);
    QVERIFY(f.session.tRecover().isActive());

    // Once it opens, the recovery timer's tick connects it.
    QVERIFY(QFile::remove(usb0));
    QVERIFY(QFile::link(linkPath_, usb0));
    QVERIFY(f.waitConnected(10000));
    QCOMPARE(f.session.settings().porta, usb0);
    QCOMPARE(f.session.settings().velocita, QStringLiteral("115200"));
    f.session.tRecover().stop();
    f.session.port().close();
}

QTEST_MAIN(TestHotplug)
#include "tst_hotplug.moc"
