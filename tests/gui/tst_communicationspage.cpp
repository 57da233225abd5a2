// The Communications page on the real window against one simulator of a
// program with the Ethernet fieldbuses: what each control sends, checked in
// the simulator's traffic.
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

#include "boxwatcher.h"
#include "pagetraffic.h"
#include "windowfixture.h"

class TestCommunicationsPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void serialCombosWriteTheirIndex_data();
    void serialCombosWriteTheirIndex();
    void frameIsReadBack();
    void fieldbusProtocolShapesThePanel_data();
    void fieldbusProtocolShapesThePanel();
    void fieldbusAddressIsClampedToTheProtocol();
    void dottedAddressesWriteFourNumbers();
    void malformedDottedAddressWritesNothing_data();
    void malformedDottedAddressWritesNothing();
    void serialAddressIsFollowed();
    void serialAddressAbove127IsRefused();
    void refusedValueShowsTheInstrumentsValue();

private:
    template <typename T>
    T* c(const char* name) {
        T* w = f_->control<T>(name);
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    int reg(int role) { return registerOfRole(f_->session().table(), role); }

    std::unique_ptr<WindowFixture> f_;
    std::unique_ptr<BoxWatcher> boxes_;
    PageTraffic traffic_;
};

void TestCommunicationsPage::initTestCase() {
    f_ = std::make_unique<WindowFixture>();
    boxes_ = std::make_unique<BoxWatcher>(BoxWatcher::Ok);
    QVERIFY2(f_->startSim({QStringLiteral("--model"), QStringLiteral("35"),
                           QStringLiteral("--release"), QStringLiteral("12")}),
             qPrintable(f_->sim->errorString()));
    f_->writeSettings(f_->sim->ptyPath());
    QVERIFY(f_->start());
    QVERIFY(f_->session().link().online);
    QTRY_VERIFY_WITH_TIMEOUT(f_->session().link().parametri_caricati.load(), 10000);
    QVERIFY(f_->session().table().findRole(46) >= 0);
    traffic_.sim = f_->sim.get();
}

void TestCommunicationsPage::cleanupTestCase() {
    f_.reset();
    boxes_.reset();
}

void TestCommunicationsPage::init() {
    boxes_->seen.clear();
    traffic_.setMark();
}

void TestCommunicationsPage::serialCombosWriteTheirIndex_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("role");
    QTest::newRow("protocol: Print") << "CBProt1" << 6 << 29;
    QTest::newRow("baud rate: 9600") << "CBBaud1" << 1 << 28;
}

void TestCommunicationsPage::serialCombosWriteTheirIndex() {
    QFETCH(QString, box);
    QFETCH(int, index);
    QFETCH(int, role);
    auto* b = c<QComboBox>(qPrintable(box));
    QCOMPARE(b->count(), box == QLatin1String("CBProt1") ? 7 : 5);
    choose(b, index);
    QCOMPARE(traffic_.writesTo(reg(role)), QList<int>{index});
    QCOMPARE(f_->session().table().entry(f_->session().table().entryOfRole(role)).value,
             QString::number(index));
    // The same item again: the instrument has it, nothing more is sent.
    choose(b, index);
    QCOMPARE(traffic_.writesTo(reg(role)).size(), 1);
}

void TestCommunicationsPage::frameIsReadBack() {
    auto* frame = c<QComboBox>("cbframe");
    QCOMPARE(frame->count(), 9);
    choose(c<QComboBox>("CBProt1"), 0);  // "None": any frame goes
    traffic_.setMark();
    choose(frame, 7);  // "E-8-1"
    QCOMPARE(traffic_.writesTo(reg(32)), QList<int>{7});
    QTRY_COMPARE_WITH_TIMEOUT(traffic_.readsOf(reg(32)), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(frame->currentIndex(), 7, 5000);
}

void TestCommunicationsPage::fieldbusProtocolShapesThePanel_data() {
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("bauds");  // -1: hidden
    QTest::addColumn<bool>("address");
    QTest::addColumn<bool>("ip");
    QTest::addColumn<bool>("analog");
    QTest::newRow("DEVICENET") << 2 << 3 << true << false << false;
    QTest::newRow("CANOPEN") << 3 << 9 << true << false << false;
    QTest::newRow("PROFIBUS") << 1 << -1 << true << false << false;
    QTest::newRow("PROFINET") << 4 << -1 << false << true << false;
    QTest::newRow("ETHERNET") << 6 << -1 << false << false << false;
    QTest::newRow("NONE") << 0 << -1 << false << false << true;
}

void TestCommunicationsPage::fieldbusProtocolShapesThePanel() {
    QFETCH(int, protocol);
    QFETCH(int, bauds);
    QFETCH(bool, address);
    QFETCH(bool, ip);
    QFETCH(bool, analog);
    auto* prot = c<QComboBox>("CBProt2");
    QCOMPARE(prot->count(), 7);
    choose(prot, protocol);
    QCOMPARE(traffic_.writesTo(reg(33)), QList<int>{protocol});
    auto* baud = c<QComboBox>("CBBaudField");
    QCOMPARE(!baud->isHidden(), bauds >= 0);
    QCOMPARE(!c<QWidget>("lbBaudField")->isHidden(), bauds >= 0);
    if (bauds >= 0) {
        QCOMPARE(baud->count(), bauds);
        QCOMPARE(baud->currentIndex(), 0);
    }
    QCOMPARE(!c<QWidget>("Echannel")->isHidden(), address);
    QCOMPARE(!c<QWidget>("lbaddress2")->isHidden(), address);
    for (const char* name : {"MEIP", "lbMEIP", "MESNET", "lbMESNET"})
        QCOMPARE(!c<QWidget>(name)->isHidden(), ip);
    // The fieldbus files are PROFIBUS's; the analog output exists without a fieldbus.
    QCOMPARE(f_->session().controls().visible(QStringLiteral("bt_GSD")), protocol == 1);
    QCOMPARE(c<QWidget>("Button6")->isEnabled(), analog);
    QCOMPARE(f_->session().fieldbusCaption, prot->itemText(protocol));
}

void TestCommunicationsPage::fieldbusAddressIsClampedToTheProtocol() {
    choose(c<QComboBox>("CBProt2"), 2);  // DEVICENET
    auto* ch = c<QLineEdit>("Echannel");
    ch->clear();
    boxes_->seen.clear();  // emptying the field is a conversion error
    traffic_.setMark();
    QTest::keyClicks(ch, QStringLiteral("100"));
    QCOMPARE(ch->text(), QStringLiteral("63"));
    // Written on each change (1 is what the instrument holds already), then
    // the protocol's highest address instead of 100.
    QCOMPARE(traffic_.writesTo(reg(34)), (QList<int>{10, 63}));
    QVERIFY(boxes_->seen.isEmpty());

    choose(c<QComboBox>("CBProt2"), 3);  // CANOPEN
    ch->clear();
    traffic_.setMark();
    ch->setText(QStringLiteral("200"));
    QCOMPARE(ch->text(), QStringLiteral("126"));
    QCOMPARE(traffic_.writesTo(reg(34)), QList<int>{126});
    choose(c<QComboBox>("CBProt2"), 0);
}

void TestCommunicationsPage::dottedAddressesWriteFourNumbers() {
    choose(c<QComboBox>("CBProt2"), 4);  // PROFINET
    auto* ip = c<QLineEdit>("MEIP");
    // Away from the instrument's own address first, so that every number changes.
    typeAndLeave(ip, QStringLiteral("10.0.0.1"));
    traffic_.setMark();
    typeAndLeave(ip, QStringLiteral("192.168.1.10"));
    QCOMPARE(traffic_.writesTo(reg(43)), QList<int>{192});
    QCOMPARE(traffic_.writesTo(reg(44)), QList<int>{168});
    QCOMPARE(traffic_.writesTo(reg(45)), QList<int>{1});
    QCOMPARE(traffic_.writesTo(reg(46)), QList<int>{10});
    QCOMPARE(traffic_.writes(), 4);
    // In order, first number first.
    QList<int> order;
    for (const QJsonObject& r : traffic_.since())
        if (r.value(QStringLiteral("function")).toInt() == 6)
            order << r.value(QStringLiteral("register")).toInt();
    QCOMPARE(order, (QList<int>{reg(43), reg(44), reg(45), reg(46)}));
    QCOMPARE(ip->text(), QStringLiteral("192.168.1.10"));

    traffic_.setMark();
    typeAndLeave(c<QLineEdit>("MESNET"), QStringLiteral("255.255.0.0"));
    // 255.255 is what the mask held: only the changed numbers go.
    QCOMPARE(traffic_.writesTo(reg(49)), QList<int>{0});
    QCOMPARE(traffic_.writes(), 1);
    QVERIFY(boxes_->seen.isEmpty());
}

void TestCommunicationsPage::malformedDottedAddressWritesNothing_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::newRow("three numbers") << "MEIP" << "192.168.1";
    QTest::newRow("five numbers") << "MEIP" << "192.168.1.10.5";
    QTest::newRow("above 255") << "MEIP" << "192.168.1.300";
    QTest::newRow("empty number") << "MESNET" << "255..255.0";
    QTest::newRow("letters") << "MESNET" << "255.255.x.0";
}

void TestCommunicationsPage::malformedDottedAddressWritesNothing() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    choose(c<QComboBox>("CBProt2"), 5);  // ETHERNET/IP
    auto* edit = c<QLineEdit>(qPrintable(field));
    const QString before = edit->text();
    QVERIFY(!before.isEmpty());
    traffic_.setMark();
    typeAndLeave(edit, typed);
    QCOMPARE(boxes_->texts(), QStringList{QStringLiteral("Invalid number! :") + typed});
    QCOMPARE(traffic_.writes(), 0);
    // The field shows the address the instrument holds.
    QCOMPARE(edit->text(), before);
}

void TestCommunicationsPage::serialAddressIsFollowed() {
    Session& s = f_->session();
    auto* addcom = c<QLineEdit>("Eaddcom");
    QCOMPARE(addcom->text(), QStringLiteral("1"));
    typeAndLeave(addcom, QStringLiteral("5"));
    const QList<QJsonObject> seen = traffic_.since();
    QVERIFY(!seen.isEmpty());
    QCOMPARE(seen.last().value(QStringLiteral("function")).toInt(), 6);
    QCOMPARE(seen.last().value(QStringLiteral("register")).toInt(), reg(30));
    QCOMPARE(seen.last().value(QStringLiteral("address")).toInt(), 1);
    QCOMPARE(s.link().indirizzo.load(), 5);
    QCOMPARE(s.settings().address, QStringLiteral("5"));
    QCOMPARE(c<QLineEdit>("Eaddress")->text(), QStringLiteral("5"));

    // From the next request on the program talks to address 5, and is answered there.
    traffic_.mark = seen.last().value(QStringLiteral("seq")).toInt();
    QTRY_VERIFY_WITH_TIMEOUT(traffic_.since().size() >= 3, 5000);
    for (const QJsonObject& r : traffic_.since().mid(0, 3)) {
        QCOMPARE(r.value(QStringLiteral("address")).toInt(), 5);
        QCOMPARE(r.value(QStringLiteral("answer")).toString(), QStringLiteral("reply"));
    }
    QVERIFY(s.link().online);

    // And back, so the other cases find the instrument where they expect it.
    typeAndLeave(addcom, QStringLiteral("1"));
    QCOMPARE(s.link().indirizzo.load(), 1);
    QCOMPARE(s.settings().address, QStringLiteral("1"));
}

void TestCommunicationsPage::serialAddressAbove127IsRefused() {
    Session& s = f_->session();
    auto* addcom = c<QLineEdit>("Eaddcom");
    typeAndLeave(addcom, QStringLiteral("200"));
    QCOMPARE(boxes_->texts(), QStringList{QStringLiteral("Invalid number! :200")});
    QCOMPARE(traffic_.writes(), 0);
    QCOMPARE(s.link().indirizzo.load(), 1);
    QCOMPARE(s.settings().address, QStringLiteral("1"));
    // 0 is no instrument address: it cannot even be typed.
    addcom->clear();
    QTest::keyClicks(addcom, QStringLiteral("0"));
    QCOMPARE(addcom->text(), QString());
}

void TestCommunicationsPage::refusedValueShowsTheInstrumentsValue() {
    auto* response = c<QLineEdit>("Eritardorisp");
    const QString shown = response->text();
    QVERIFY(!shown.isEmpty());
    // 12 s is beyond what the instrument takes: it answers exception 3.
    typeAndLeave(response, QStringLiteral("12"));
    QCOMPARE(traffic_.writesTo(reg(31)), QList<int>{1200});
    QCOMPARE(traffic_.since().last().value(QStringLiteral("exception")).toInt(), 3);
    QCOMPARE(response->text(), shown);
    const ParameterTable& t = f_->session().table();
    QCOMPARE(t.entry(t.entryOfRole(31)).value, QString::number(qRound(shown.toDouble() * 100)));
}

QTEST_MAIN(TestCommunicationsPage)
#include "tst_communicationspage.moc"
