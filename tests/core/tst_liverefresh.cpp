#include <QtTest>

#include "device/controlmodel.h"
#include "device/liverefresh.h"
#include "base/texts.h"
#include "support/testhome.h"

namespace {

struct Rig {
    Rig() {
        in.analogFullScale = QStringLiteral("2000");
        in.analogZero = QStringLiteral("0");
        in.analogMode = 0;
        in.analogRange = 0;
        in.definitionVersion = QStringLiteral("1218");
    }
    QString text(const char* control) const { return controls.text(QString::fromLatin1(control)); }

    TestHome home{false};
    DisplayState display;
    ControlModel controls;
    LiveRefresh refresh{display, controls};
    LiveInputs in;
};

}  // namespace

class TestLiveRefresh : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void weightAndAnalog_data();
    void weightAndAnalog();
    void previewWithoutRangeKeepsLast();
    void panelFailureSkipsRestOfPanel_data();
    void panelFailureSkipsRestOfPanel();
    void lampsAndPanels_data();
    void lampsAndPanels();
    void labelsAndTranslation();
    void statusBar_data();
    void statusBar();
    void filterAxis();
};

// clang-format off
void TestLiveRefresh::weightAndAnalog_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<int>("view");
    QTest::addColumn<int>("net");
    QTest::addColumn<QString>("fullScale");
    QTest::addColumn<QString>("zero");
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("slider");  // -1: no analog test
    QTest::addColumn<QString>("peso");
    QTest::addColumn<QString>("analog");

    QTest::newRow("overload 4-20") << 0x40 << 0 << 1 << 500 << "2000" << "0" << 1 << "1218" << -1
        << " O-L " << "-0.28 mA";
    QTest::newRow("overload 0-5V deep model") << 0x40 << 0 << 1 << 500 << "2000" << "0" << 3
        << "7501" << -1 << " O-L " << "-5.05 V";
    QTest::newRow("out of range") << 0x20 << 0 << 1 << 1000 << "2000" << "0" << 0 << "1218" << -1
        << "^^^^^^" << "10.00 mA";
    QTest::newRow("decimals 2") << 0 << 2 << 1 << 12345 << "200.00" << "0" << 2 << "1218" << -1
        << "123.45" << "6.17 V";
    QTest::newRow("10 mA") << 0 << 0 << 1 << 1000 << "2000" << "0" << 0 << "1218" << -1 << "1000"
        << "10.00 mA";
    QTest::newRow("4-20 mid") << 0 << 0 << 1 << 1000 << "2000" << "0" << 1 << "1218" << -1 << "1000"
        << "12.00 mA";
    QTest::newRow("clamp 11 V") << 0 << 0 << 1 << 3000 << "2000" << "0" << 2 << "1218" << -1
        << "3000" << "11.00 V";
    QTest::newRow("negative floored") << 0 << 0 << 1 << -500 << "2000" << "0" << 0 << "1218" << -1
        << "-500" << "-0.28 mA";
    QTest::newRow("negative deep model") << 0 << 0 << 1 << -500 << "2000" << "0" << 2 << "1701"
        << -1 << "-500" << "-2.50 V";
    QTest::newRow("negative other model 0-10V") << 0 << 0 << 1 << -500 << "2000" << "0" << 2
        << "3512" << -1 << "-500" << "-0.20 V";
    QTest::newRow("zero offset") << 0 << 2 << 1 << 900 << "20.00" << "1.00" << 0 << "1218" << -1
        << "9.00" << "10.00 mA";
    QTest::newRow("full scale 0 counts as 1") << 0 << 0 << 1 << 1 << "0" << "0" << 0 << "1218" << -1
        << "1" << "20.00 mA";
    QTest::newRow("analog test slider") << 0 << 0 << 1 << 1900 << "2000" << "0" << 0 << "1218" << 50
        << "1900" << "10.00 mA";
    QTest::newRow("gross view") << 0 << 0 << 0 << 7 << "2000" << "0" << 0 << "1218" << -1 << "-3"
        << "0.07 mA";
}
// clang-format on

void TestLiveRefresh::weightAndAnalog() {
    QFETCH(int, status);
    QFETCH(int, decimals);
    QFETCH(int, view);
    QFETCH(int, net);
    QFETCH(QString, fullScale);
    QFETCH(QString, zero);
    QFETCH(int, range);
    QFETCH(QString, version);
    QFETCH(int, slider);
    QFETCH(QString, peso);
    QFETCH(QString, analog);
    Rig rig;
    rig.display.statusFlags = status;
    rig.display.decimals = decimals;
    rig.display.netWeight = net;
    rig.display.grossWeight = -3;
    rig.in.view = view;
    rig.in.analogFullScale = fullScale;
    rig.in.analogZero = zero;
    rig.in.analogRange = range;
    rig.in.definitionVersion = version;
    rig.in.analogTest = slider >= 0;
    rig.in.sliderPosition = slider;
    const LiveResult r = rig.refresh.run(rig.in);

    QCOMPARE(rig.text("LbPeso"), peso);
    QCOMPARE(rig.text("lbanalog1"), analog);
    QCOMPARE(rig.text("lbanalog2"), analog);
    QCOMPARE(rig.text("lbanalog"), analog);
    QCOMPARE(r.overload, bool(status & 0x40));
    QVERIFY(!r.panelFailed);
    QVERIFY(!r.weightFailed);
    const int shown = view == 1 ? net : -3;
    QCOMPARE(*r.weightPoint, shown / std::pow(10.0, decimals));
    // The filter chart takes what the display shows, and has no point for
    // an overload or out-of-range display.
    const bool numeric = !(status & 0x60);
    QCOMPARE(r.filterFailed, !numeric);
    QCOMPARE(r.filterPoint.has_value(), numeric);
    if (numeric)
        QCOMPARE(*r.filterPoint, peso.toDouble());
    QCOMPARE(rig.home.logMessages(),
             numeric ? QStringList{} : QStringList{"Errore: Aggiornamento grafico filtro"});
}

void TestLiveRefresh::previewWithoutRangeKeepsLast() {
    Rig rig;
    rig.display.analogA = 123;
    rig.display.analogUnit = QStringLiteral("V");
    rig.display.netWeight = 1000;
    rig.in.analogRange = -1;
    rig.refresh.run(rig.in);
    QCOMPARE(rig.text("lbanalog1"), QStringLiteral("1.23 V"));
    rig.in.analogRange = 0;
    rig.refresh.run(rig.in);
    QCOMPARE(rig.display.analogA, 1000.0);
    QCOMPARE(rig.display.analogUnit, QStringLiteral("mA"));
}

// clang-format off
void TestLiveRefresh::panelFailureSkipsRestOfPanel_data() {
    QTest::addColumn<QString>("fullScale");
    QTest::addColumn<QString>("zero");
    QTest::addColumn<int>("net");
    QTest::newRow("full scale not a number") << "abc" << "0" << 10;
    QTest::newRow("zero empty") << "2000" << "" << 10;
    QTest::newRow("V x 100 overflows") << "30000000" << "0" << 30000000;
}
// clang-format on

void TestLiveRefresh::panelFailureSkipsRestOfPanel() {
    QFETCH(QString, fullScale);
    QFETCH(QString, zero);
    QFETCH(int, net);
    Rig rig;
    rig.display.netWeight = net;
    rig.display.adPoints = 4242;
    rig.display.statusFlags = 0x04;
    rig.controls.setText(QStringLiteral("lbpoints"), QStringLiteral("old"));
    rig.in.analogFullScale = fullScale;
    rig.in.analogZero = zero;
    const LiveResult r = rig.refresh.run(rig.in);
    QVERIFY(r.panelFailed);
    QCOMPARE(rig.text("LbPeso"), QString::number(net));     // before the failing step
    QCOMPARE(rig.text("lbpoints"), QStringLiteral("old"));  // after it
    QVERIFY(r.stable);                                      // the next block still runs
    QCOMPARE(r.statusText, QStringLiteral("Status:Ready"));
    QCOMPARE(rig.home.logMessages(), QStringList{"Errore: Aggiornamento Pannello varie"});
}

// clang-format off
void TestLiveRefresh::lampsAndPanels_data() {
    QTest::addColumn<int>("io");
    QTest::addColumn<int>("status");
    QTest::addColumn<QList<bool>>("expected");  // in1 in2 out1 out2 net min stable
    QTest::newRow("none") << 0 << 0 << QList<bool>{false, false, false, false, false, false, false};
    QTest::newRow("in 1, out 1") << 0x5 << 0
        << QList<bool>{true, false, true, false, false, false, false};
    QTest::newRow("in 2, out 2") << 0xA << 0
        << QList<bool>{false, true, false, true, false, false, false};
    QTest::newRow("net and stable") << 0 << 0x84
        << QList<bool>{false, false, false, false, true, false, true};
    QTest::newRow("below minimum") << 0 << 0x10
        << QList<bool>{false, false, false, false, false, true, false};
    QTest::newRow("signs only") << 0 << 0x0B
        << QList<bool>{false, false, false, false, false, false, false};
}
// clang-format on

void TestLiveRefresh::lampsAndPanels() {
    QFETCH(int, io);
    QFETCH(int, status);
    QFETCH(QList<bool>, expected);
    Rig rig;
    rig.in.ioBits = io;
    rig.display.statusFlags = status;
    const LiveResult r = rig.refresh.run(rig.in);
    const QList<bool> got{r.input1,   r.input2,       r.output1, r.output2,
                          r.netShown, r.belowMinimum, r.stable};
    QCOMPARE(got, expected);
}

void TestLiveRefresh::labelsAndTranslation() {
    Rig rig;
    rig.display.decimals = 1;
    rig.display.usedWeight = 3000;
    rig.display.signal = -1234;
    rig.display.adPoints = 56789;
    rig.in.firmwareCaption = QStringLiteral("Progr.12 Rel.1.8");
    rig.in.fieldbusCaption = QStringLiteral("PROFIBUS");
    rig.in.stato_link = 1;
    rig.refresh.run(rig.in);
    for (const char* n : {"lbFirm1", "lbFirm2"})
        QCOMPARE(rig.text(n), QStringLiteral("Firmware: Progr.12 Rel.1.8"));
    for (const char* n : {"lbFS1", "lbFS2"})
        QCOMPARE(rig.text(n), QStringLiteral("Full Scale: 3000.0"));
    for (const char* n : {"Lbfieldbus1", "Lbfieldbus2"})
        QCOMPARE(rig.text(n), QStringLiteral("Fieldbus: PROFIBUS"));
    for (const char* n : {"lbsignal1", "lbsignal", "Esignal_cal"})
        QCOMPARE(rig.text(n), QStringLiteral("-1.234"));
    for (const char* n : {"lbpoints", "Epunti_cal"})
        QCOMPARE(rig.text(n), QStringLiteral("56789"));

    Texts::setLookup(
        [](const char* english) { return QStringLiteral("<") + english + QStringLiteral(">"); });
    const LiveResult r = rig.refresh.run(rig.in);
    Texts::setLookup({});
    QCOMPARE(rig.text("lbFirm1"), QStringLiteral("<Firmware>: Progr.12 Rel.1.8"));
    QCOMPARE(r.statusText, QStringLiteral("Status:<Tx OK>"));
}

// clang-format off
void TestLiveRefresh::statusBar_data() {
    QTest::addColumn<int>("link");
    QTest::addColumn<bool>("offline");
    QTest::addColumn<bool>("unsaved");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("save");
    QTest::newRow("ready") << 0 << false << false << "Status:Ready" << "Data saved successfully";
    QTest::newRow("tx ok, unsaved") << 1 << false << true << "Status:Tx OK"
        << "Some data are not saved! (Click Here)";
    QTest::newRow("rx error") << 2 << false << false << "Status:Error in RX data"
        << "Data saved successfully";
    QTest::newRow("refused, offline") << 3 << true << true << "Status:Setting Error" << "TEST mode";
}
// clang-format on

void TestLiveRefresh::statusBar() {
    QFETCH(int, link);
    QFETCH(bool, offline);
    QFETCH(bool, unsaved);
    QFETCH(QString, status);
    QFETCH(QString, save);
    Rig rig;
    rig.in.stato_link = link;
    rig.in.modo_offline = offline;
    rig.in.unsaved = unsaved;
    const LiveResult r = rig.refresh.run(rig.in);
    QCOMPARE(r.statusText, status);
    QCOMPARE(r.saveText, save);
}

void TestLiveRefresh::filterAxis() {
    QVERIFY(filterAxisNeedsAutomatic({0, 10}, 10.5));
    QVERIFY(!filterAxisNeedsAutomatic({0, 10}, 10));
    // Range 1 is narrower than 3000 x 0.0005: widened around the minimum.
    const auto manual = filterAxisManual({5, 6}, 3000);
    QVERIFY(manual);
    QCOMPARE(manual->min, 2.0);
    QCOMPARE(manual->max, 8.0);
    QVERIFY(!filterAxisManual({0, 2}, 3000));
    const AxisRange grown = weightAxisAfter(weightAxisAfter({0, 10}, 12), -1);
    QCOMPARE(grown.min, -1.0);
    QCOMPARE(grown.max, 12.0);
    QCOMPARE(weightAxisAfter({0, 10}, 5).max, 10.0);
}

QTEST_GUILESS_MAIN(TestLiveRefresh)
#include "tst_liverefresh.moc"
