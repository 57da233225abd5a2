// The calibration page on the real main window against the virtual
// instrument, judged by what the instrument received: the checks of "Send"
// and its write order, the division box and its re-entry guard, zero,
// acquire with the calibration log, reset, a value the instrument refuses,
// and offline editing.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <limits>

#include "boxwatcher.h"
#include "services/callog.h"
#include "session/pagecontext.h"
#include "window/calibrationpage.h"
#include "window/navigator.h"
#include "windowfixture.h"

namespace {

constexpr int kOnlineMs = 20000;

// One write the instrument received: register, value (32-bit writes
// joined) and the exception it answered with (0: accepted).
struct Write {
    int reg = -1;
    qint64 value = 0;
    int exception = 0;
    bool operator==(const Write&) const = default;
};

QString describe(const QList<Write>& writes) {
    QStringList out;
    for (const Write& w : writes)
        out << QStringLiteral("%1=%2%3").arg(w.reg).arg(w.value).arg(
            w.exception ? QStringLiteral(" (exc %1)").arg(w.exception) : QString());
    return out.join(QStringLiteral(", "));
}

}  // namespace

class TestCalibrationPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void sendRefusesBeforeWriting_data();
    void sendRefusesBeforeWriting();
    void sendWritesInOrder();
    void knownWeightIsAcquiredAndLogged();
    void refusedOrBadAcquireIsNotLogged();
    void divisionChangeDuringChangeIsIgnored();
    void resetSendsBothCodes();
    void refusedValueShowsInstrumentsValue();
    void offlineModeEditsWithoutAsking();

private:
    int reg(int role) const;
    QList<Write> writesSince(int mark) const;
    int mark() const { return int(f_->sim->traffic().size()); }
    template <typename T = QWidget>
    T* w(const char* name) {
        return f_->control<T>(name);
    }
    void type(const char* field, const QString& text);
    void fillBase(const QString& max, const QString& sens, const QString& tare, const QString& fs);
    CalibrationPage* page() {
        return f_->form->findChild<CalibrationPage*>(QStringLiteral("Panel1"));
    }

    std::unique_ptr<WindowFixture> f_;
};

void TestCalibrationPage::initTestCase() {
    f_ = std::make_unique<WindowFixture>();
    // No converter noise: a zero and an acquire at the same load then see
    // exactly the same signal, which the instrument refuses.
    QVERIFY2(f_->startSim({QStringLiteral("--noise"), QStringLiteral("0")}),
             qPrintable(f_->sim->errorString()));
    f_->writeSettings(f_->sim->ptyPath());
    QVERIFY(f_->start());
    QTRY_VERIFY_WITH_TIMEOUT(f_->session().link().online.load(), kOnlineMs);
    f_->form->navigator().form_style(Navigator::Setup);
    f_->form->navigator().AbilPannel(1);
    QVERIFY(page());
    QVERIFY(page()->isVisible());
    QVERIFY(w("bt_send")->isEnabled());
}

void TestCalibrationPage::cleanupTestCase() {
    f_.reset();
}

int TestCalibrationPage::reg(int role) const {
    const ParameterTable& t = f_->form->session().table();
    return t.entry(t.entryOfRole(role)).regOffset + t.setupBase;
}

QList<Write> TestCalibrationPage::writesSince(int mark) const {
    QList<Write> out;
    const QList<QJsonObject> records = f_->sim->traffic();
    for (int i = mark; i < records.size(); ++i) {
        const QJsonObject& r = records[i];
        const int function = r.value(QStringLiteral("function")).toInt();
        if (function != 0x06 && function != 0x10)
            continue;
        const QJsonArray v = r.value(QStringLiteral("values")).toArray();
        Write wr;
        wr.reg = r.value(QStringLiteral("register")).toInt(-1);
        wr.exception = r.value(QStringLiteral("exception")).toInt();
        for (const QJsonValue& x : v)
            wr.value = (function == 0x10 ? wr.value << 16 : 0) + qint64(x.toDouble());
        out << wr;
    }
    return out;
}

void TestCalibrationPage::type(const char* field, const QString& text) {
    auto* e = w<QLineEdit>(field);
    e->selectAll();
    e->insert(text);  // as typing: the change handlers run
    if (!text.isEmpty())
        QCOMPARE(e->text(), text);
}

void TestCalibrationPage::fillBase(const QString& max, const QString& sens, const QString& tare,
                                   const QString& fs) {
    type("Eportata_max", max);
    type("ESensibility", sens);
    type("epretare", tare);
    type("Efs", fs);
}

void TestCalibrationPage::sendRefusesBeforeWriting_data() {
    QTest::addColumn<QString>("max");
    QTest::addColumn<QString>("sens");
    QTest::addColumn<QString>("tare");
    QTest::addColumn<QString>("fs");
    QTest::addColumn<QString>("message");
    QTest::newRow("tare and used weight above maximum") << "2000"
                                                        << "2.0000"
                                                        << "500"
                                                        << "1600"
                                                        << "Invalid number! :2100";
    QTest::newRow("sensitivity above 4 mV/V") << "2000"
                                              << "4.0001"
                                              << "0"
                                              << "2000"
                                              << "Invalid number! :4.0001";
    QTest::newRow("sensitivity with two points") << "2000"
                                                 << "2.0.0"
                                                 << "0"
                                                 << "2000"
                                                 << "'2.0.0' is not a valid floating point value";
    // Below the bound as typed, but 40000.0000 mV/V cannot be sent.
    QTest::newRow("sensitivity beyond its parameter") << "2000"
                                                      << "40000"
                                                      << "0"
                                                      << "2000"
                                                      << "Invalid number! :40000";
    QTest::newRow("tare above maximum") << "2000"
                                        << "2"
                                        << "2500"
                                        << "100"
                                        << "Invalid number! :2500";
    QTest::newRow("used weight above maximum") << "2000"
                                               << "2"
                                               << "0"
                                               << "2001"
                                               << "Invalid number! :2001";
    QTest::newRow("no maximum") << ""
                                << "2"
                                << "0"
                                << "100"
                                << "'' is not a valid integer value";
}

void TestCalibrationPage::sendRefusesBeforeWriting() {
    QFETCH(QString, max);
    QFETCH(QString, sens);
    QFETCH(QString, tare);
    QFETCH(QString, fs);
    QFETCH(QString, message);
    BoxWatcher boxes(BoxWatcher::Yes);
    fillBase(max, sens, tare, fs);
    const QString before = f_->session().table().entry(10).value;
    const int m = mark();
    w<QPushButton>("bt_send")->click();
    QCOMPARE(boxes.texts(), QStringList{message});
    QCOMPARE(boxes.seen.first().title, QStringLiteral("Error!!"));
    // The page's handler has returned: anything it sent is on the wire now.
    QVERIFY2(writesSince(m).isEmpty(), qPrintable(describe(writesSince(m))));
    QCOMPARE(f_->session().table().entry(10).value, before);
    QCOMPARE(w<QLineEdit>("ESensibility")->text(), sens);
}

void TestCalibrationPage::sendWritesInOrder() {
    BoxWatcher boxes(BoxWatcher::Yes);
    fillBase(QStringLiteral("3000"), QStringLiteral("5"), QStringLiteral("10"),
             QStringLiteral("2500"));
    QCOMPARE(page()->sendColour(), CalibrationPage::kDiffers);
    const int m = mark();
    w<QPushButton>("bt_send")->click();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Are you sure?")});
    QCOMPARE(boxes.seen.first().buttons, (QStringList{"btSI", "BtNO"}));
    // 5 passes the bound as typed (5 is below 40000) and goes as 50000.
    const QList<Write> expected = {
        {reg(10), 3000, 0}, {reg(12), 2500, 0}, {reg(11), 50000, 0}, {reg(13), 10, 0}};
    QCOMPARE(describe(writesSince(m)), describe(expected));
    QCOMPARE(w<QLineEdit>("ESensibility")->text(), QStringLiteral("5.0000"));
    QVERIFY(w("bt_send")->isEnabled());
    // Sent and taken: the button says the fields match.
    QCOMPARE(page()->sendColour(), CalibrationPage::kMatches);
    const DisplayState& d = f_->session().display();
    QCOMPARE(d.usedWeightCounts, qint32(2500 * powerOfTen(d.decimals)));
    QCOMPARE(f_->session().controls().text(QStringLiteral("EanaFS")),
             formatFixed(2500, d.decimals));

    // An edit turns it red, undoing the edit orange again.
    type("epretare", QStringLiteral("11"));
    QCOMPARE(page()->sendColour(), CalibrationPage::kDiffers);
    type("epretare", QStringLiteral("10"));
    QCOMPARE(page()->sendColour(), CalibrationPage::kMatches);

    // The same values again: asked, but nothing is sent.
    const int again = mark();
    w<QPushButton>("bt_send")->click();
    QCOMPARE(boxes.seen.size(), 2);
    QVERIFY2(writesSince(again).isEmpty(), qPrintable(describe(writesSince(again))));
}

void TestCalibrationPage::knownWeightIsAcquiredAndLogged() {
    BoxWatcher boxes(BoxWatcher::Yes);
    QVERIFY(!QFile::exists(f_->home.file(QStringLiteral("Cal_log.txt"))));
    QCOMPARE(w<QLabel>("lbnumcalib")->text(), QStringLiteral("12"));

    // Division 0.005: three decimals, step 5.
    int m = mark();
    w<QComboBox>("CBUnit")->setCurrentIndex(2);
    QCOMPARE(describe(writesSince(m)), describe({{reg(0), 2, 0}}));
    QCOMPARE(f_->session().display().decimals, 3);
    QCOMPARE(f_->session().display().divisionStep, 5);
    QCOMPARE(w<QComboBox>("CBUnit")->currentText(), QStringLiteral("0.005"));

    m = mark();
    w<QPushButton>("bt_zero")->click();
    QCOMPARE(describe(writesSince(m)), describe({{reg(6), 16, 0}}));
    QVERIFY(f_->sim->send(QStringLiteral("load 1000")).startsWith(QLatin1String("OK")));

    type("Epeso1", QStringLiteral("1000"));
    m = mark();
    const QDateTime before = QDateTime::currentDateTime();
    w<QPushButton>("bt_acquire1")->click();
    const QDateTime after = QDateTime::currentDateTime();
    QCOMPARE(w<QLineEdit>("Epeso1")->text(), QStringLiteral("1000.000"));
    // The known weight in divisions to role 7, then the acquire code.
    QCOMPARE(describe(writesSince(m)), describe({{reg(7), 200000, 0}, {reg(6), 17, 0}}));
    QVERIFY(boxes.seen.isEmpty());

    // Counted from the panel's design text, dated now.
    QCOMPARE(w<QLabel>("lbnumcalib")->text(), QStringLiteral("13"));
    const QString date = w<QLabel>("lbdatecalib")->text();
    QVERIFY2(date == formatCalibrationDate(before) || date == formatCalibrationDate(after),
             qPrintable(date));
    QCOMPARE(f_->home.read(QStringLiteral("Cal_log.txt")), ("13\r\n" + date + "\r\n").toLatin1());

    // The maximum weight now counts as not sent: the next edit shows red.
    QCOMPARE(f_->session().table().entry(10).value, QStringLiteral("0"));
    type("Efs", QStringLiteral("2501"));
    type("Efs", QStringLiteral("2500"));
    QCOMPARE(page()->sendColour(), CalibrationPage::kDiffers);
}

void TestCalibrationPage::refusedOrBadAcquireIsNotLogged() {
    BoxWatcher boxes(BoxWatcher::Ok);
    const QByteArray log = f_->home.read(QStringLiteral("Cal_log.txt"));
    const QString count = w<QLabel>("lbnumcalib")->text();
    QVERIFY(!log.isEmpty());

    // Not a weight, no weight, or less than one division (0.001 at step 5).
    for (const char* text : {"abc", "0", "0.000", "-5", "0.001"}) {
        boxes.seen.clear();
        type("Epeso1", QString::fromLatin1(text));
        const int m = mark();
        w<QPushButton>("bt_acquire1")->click();
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("The value is not correct!")});
        QVERIFY2(writesSince(m).isEmpty(), text);
    }

    // A zero taken under more load than the known weight's leaves no slope:
    // the instrument refuses the acquire, and no calibration is counted.
    boxes.seen.clear();
    w<QPushButton>("bt_zero")->click();
    QVERIFY(f_->sim->send(QStringLiteral("load 0")).startsWith(QLatin1String("OK")));
    type("Epeso1", QStringLiteral("1000"));
    const int m = mark();
    w<QPushButton>("bt_acquire1")->click();
    QCOMPARE(describe(writesSince(m)), describe({{reg(7), 200000, 0}, {reg(6), 17, 3}}));
    QCOMPARE(w<QLabel>("lbnumcalib")->text(), count);
    QCOMPARE(f_->home.read(QStringLiteral("Cal_log.txt")), log);
}

void TestCalibrationPage::divisionChangeDuringChangeIsIgnored() {
    auto* unit = w<QComboBox>("CBUnit");
    const LinkState& link = f_->session().link();
    bool changedDuring = false;
    // The second change arrives while the first one's write is in flight.
    const QMetaObject::Connection c = connect(&f_->session(), &Session::wake, this, [&] {
        if (!changedDuring && link.canale_occupato) {
            changedDuring = true;
            unit->setCurrentIndex(5);
        }
    });
    const int m = mark();
    unit->setCurrentIndex(4);
    disconnect(c);
    QVERIFY(changedDuring);
    QCOMPARE(describe(writesSince(m)), describe({{reg(0), 4, 0}}));
    // The box shows the division that was sent, and its decimals rule.
    QCOMPARE(unit->currentIndex(), 4);
    QCOMPARE(f_->session().display().decimals, 2);
    QCOMPARE(f_->session().display().divisionStep, 2);

    // Not running any more: the next change goes out.
    const int next = mark();
    unit->setCurrentIndex(2);
    QCOMPARE(describe(writesSince(next)), describe({{reg(0), 2, 0}}));
}

void TestCalibrationPage::resetSendsBothCodes() {
    BoxWatcher boxes(BoxWatcher::No);
    int m = mark();
    w<QPushButton>("BtReset_cal")->click();
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Are you sure?")});
    QVERIFY(writesSince(m).isEmpty());

    boxes.setWay(BoxWatcher::Yes);
    m = mark();
    w<QPushButton>("BtReset_cal")->click();
    QCOMPARE(describe(writesSince(m)), describe({{reg(6), 18, 0}, {reg(6), 19, 0}}));
    QCOMPARE(f_->session().table().entry(10).value, QStringLiteral("0"));
}

void TestCalibrationPage::refusedValueShowsInstrumentsValue() {
    WindowFixture f;
    ParameterTable t;
    QVERIFY(t.loadDefinition(f.home.file(QStringLiteral("Config/DATV1218.def"))).ok);
    const int maxRegister = t.entry(t.entryOfRole(10)).regOffset + t.setupBase;
    QVERIFY2(f.startSim({QStringLiteral("--exception3-on-register"), QString::number(maxRegister)}),
             qPrintable(f.sim->errorString()));
    f.writeSettings(f.sim->ptyPath());
    BoxWatcher boxes(BoxWatcher::Yes);
    QVERIFY(f.start());
    QTRY_VERIFY_WITH_TIMEOUT(f.session().link().online.load(), kOnlineMs);
    f.form->navigator().form_style(Navigator::Setup);
    f.form->navigator().AbilPannel(1);

    auto* max = f.control<QLineEdit>("Eportata_max");
    const QString held = max->text();
    QCOMPARE(held, f.session().table().entry(10).value);
    max->selectAll();
    max->insert(QStringLiteral("3000"));
    auto* fs = f.control<QLineEdit>("Efs");
    const QString fsBefore = fs->text();
    fs->selectAll();
    fs->insert(QStringLiteral("1500"));
    const int m = int(f.sim->traffic().size());
    f.control<QPushButton>("bt_send")->click();

    QList<Write> writes;
    const QList<QJsonObject> records = f.sim->traffic();
    for (int i = m; i < records.size(); ++i)
        if (records[i].value(QStringLiteral("function")).toInt() == 0x10)
            writes << Write{
                records[i].value(QStringLiteral("register")).toInt(),
                qint64(records[i].value(QStringLiteral("values")).toArray()[1].toDouble()),
                records[i].value(QStringLiteral("exception")).toInt()};
    QCOMPARE(describe(writes).section(QStringLiteral(", "), 0, 0),
             describe({{maxRegister, 3000, 3}}));
    // The instrument kept its value: the field shows it again, and the
    // next setting still went out.
    QCOMPARE(max->text(), held);
    QCOMPARE(f.session().table().entry(10).value, held);
    QCOMPARE(fs->text(), QStringLiteral("1500"));
    QVERIFY(fsBefore != fs->text());
    QCOMPARE(f.form->findChild<CalibrationPage*>(QStringLiteral("Panel1"))->sendColour(),
             CalibrationPage::kMatches);
}

void TestCalibrationPage::offlineModeEditsWithoutAsking() {
    WindowFixture f;
    f.home.write(QStringLiteral("Cal_log.txt"), "41\r\nFriday 01/01/2021 10:00\r\n");
    f.writeSettings(QStringLiteral("NO"));
    QVERIFY(f.start());
    // The log is shown as soon as the window is.
    QCOMPARE(f.control<QLabel>("lbnumcalib")->text(), QStringLiteral("41"));
    QCOMPARE(f.control<QLabel>("lbdatecalib")->text(), QStringLiteral("Friday 01/01/2021 10:00"));

    f.form->offlineModeAction()->trigger();
    QVERIFY(f.session().link().modo_offline);
    // "Setup" loads the offline definition and opens the calibration page.
    f.form->navigator().BtSetupClick();
    QCOMPARE(f.form->navigator().currentPage(), 1);
    BoxWatcher boxes(BoxWatcher::Yes);

    // Three decimals and a used weight whose count leaves 32 bits.
    f.control<QComboBox>("CBUnit")->setCurrentIndex(0);
    QCOMPARE(f.session().display().decimals, 3);
    auto set = [&](const char* name, const QString& text) {
        auto* e = f.control<QLineEdit>(name);
        e->selectAll();
        e->insert(text);
    };
    set("Eportata_max", QStringLiteral("9999999"));
    set("ESensibility", QStringLiteral("1.9"));
    set("epretare", QStringLiteral("0"));
    set("Efs", QStringLiteral("9999999"));
    f.control<QPushButton>("bt_send")->click();
    QVERIFY(boxes.seen.isEmpty());  // offline: not asked
    QCOMPARE(f.session().table().entry(10).value, QStringLiteral("9999999"));
    QCOMPARE(f.session().table().entry(11).value, QStringLiteral("19000"));
    QCOMPARE(f.session().table().entry(12).value, QStringLiteral("9999999"));
    QCOMPARE(f.session().display().usedWeightCounts, std::numeric_limits<qint32>::max());
    QCOMPARE(f.session().controls().text(QStringLiteral("EanaFS")), QStringLiteral("9999999.000"));

    // An acquire that cannot go out is no calibration.
    set("Epeso1", QStringLiteral("5"));
    f.control<QPushButton>("bt_acquire1")->click();
    QCOMPARE(f.control<QLabel>("lbnumcalib")->text(), QStringLiteral("41"));
    QCOMPARE(f.home.read(QStringLiteral("Cal_log.txt")),
             QByteArray("41\r\nFriday 01/01/2021 10:00\r\n"));
}

QTEST_MAIN(TestCalibrationPage)
#include "tst_calibrationpage.moc"
