// The window without an instrument: layouts, page buttons, the Setup/Home
// buttons, hidden keys, offline mode, the view selector and the address field.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include "boxwatcher.h"
#include "session/connection.h"
#include "window/datawindow.h"
#include "window/homepage.h"
#include "window/navigator.h"
#include "window/startup.h"
#include "window/statuspanels.h"
#include "window/topstrip.h"
#include "window/windowpresenter.h"
#include "windowfixture.h"

namespace {

QStringList shownButtons(WindowFixture& f) {
    QStringList out;
    for (int n : f.form->strip().pageNumbers())
        if (!f.form->strip().pageButton(n)->isHidden())
            out << QString::number(n);
    return out;
}

bool enabled(WindowFixture& f, const char* name) {
    return f.control(name)->isEnabled();
}

}  // namespace

class TestNavigation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startsOffline();
    void layouts_data();
    void layouts();
    void setupButton_data();
    void setupButton();
    void pageButtonColours();
    void hiddenKeys();
    void offlineMode();
    void viewSelector_data();
    void viewSelector();
    void addressField();
    void languageFromSettings();
    void openPage_data();
    void openPage();
    void controlNamesAreUnique();
};

void TestNavigation::startsOffline() {
    WindowFixture f;
    f.writeSettings(QStringLiteral("NO"));
    QVERIFY(f.start());
    QVERIFY(!f.session().link().online);
    QCOMPARE(f.form->pos(), QPoint(60, 40));
    QCOMPARE(f.form->statusBarPanels().panelText(0), QStringLiteral("Status: Offline"));
    QCOMPARE(f.form->statusBarPanels().panelText(1), QStringLiteral("Offline"));
    QVERIFY(f.form->presenter().Tlamp().isActive());
    QVERIFY(!f.control("lb_offlineA")->isHidden());
    QVERIFY(f.control("Pan_inout")->isHidden());
    QVERIFY(!f.form->strip().menuBarShown());
    // Without an instrument only "Function" and "Docu" are of use.
    QVERIFY(!enabled(f, "Button1"));
    QVERIFY(!enabled(f, "Button8"));
    QVERIFY(!enabled(f, "btTara"));
    QVERIFY(enabled(f, "Button7"));
    QVERIFY(enabled(f, "Button10"));
    QVERIFY(enabled(f, "BtFirmware"));
    QVERIFY(f.form->windowTitle().startsWith(QLatin1String("Velmora - NO:19200 N,8,1 - Rev.")));
}

void TestNavigation::layouts_data() {
    QTest::addColumn<bool>("marker");
    QTest::addColumn<int>("layout");
    QTest::addColumn<int>("width");
    QTest::addColumn<QStringList>("buttons");
    const QStringList compact{"10", "11", "12"};
    const QStringList setup{"1", "2", "4", "5", "6", "7", "8", "9"};
    QTest::newRow("compact") << false << 0 << 390 << compact;
    QTest::newRow("compact, marker") << true << 0 << 390 << compact + QStringList{"13"};
    QTest::newRow("setup") << false << 1 << 930 << setup;
    QTest::newRow("setup, marker") << true << 1 << 930 << setup;
    QTest::newRow("service") << false << 2 << 930 << compact;
    QTest::newRow("service, marker") << true << 2 << 930 << compact + QStringList{"13"};
}

void TestNavigation::layouts() {
    QFETCH(bool, marker);
    QFETCH(int, layout);
    QFETCH(int, width);
    QFETCH(QStringList, buttons);
    WindowFixture f;
    f.writeSettings(QStringLiteral("NO"));
    if (marker)
        f.home.write(QStringLiteral("Factset.dll"), QByteArray());
    QVERIFY(f.start());
    f.form->navigator().form_style(layout);
    QCOMPARE(f.form->navigator().currentLayout(), layout);
    QCOMPARE(f.form->width(), width);
    QCOMPARE(shownButtons(f), buttons);
    if (layout != Navigator::Setup) {
        // Ctrl+F8 shows the Factory button whatever the marker says, and hides it again.
        QTest::keyClick(f.form.get(), Qt::Key_F8, Qt::ControlModifier);
        QCOMPARE(!f.form->strip().pageButton(13)->isHidden(), !marker);
        QTest::keyClick(f.form.get(), Qt::Key_F8, Qt::ControlModifier);
        QCOMPARE(!f.form->strip().pageButton(13)->isHidden(), marker);
    }
}

void TestNavigation::setupButton_data() {
    QTest::addColumn<bool>("offlineMode");
    QTest::addColumn<int>("page");
    QTest::newRow("no instrument: Functions") << false << 7;
    QTest::newRow("offline mode: Calibration") << true << 1;
}

void TestNavigation::setupButton() {
    QFETCH(bool, offlineMode);
    QFETCH(int, page);
    WindowFixture f;
    f.writeSettings(QStringLiteral("NO"));
    QVERIFY(f.start());
    if (offlineMode)
        f.form->offlineModeAction()->trigger();
    auto* setup = f.control<QToolButton>("BtSetup");
    QCOMPARE(setup->text(), QStringLiteral("Setup"));

    f.control<QToolButton>("Bthome")->click();
    QCOMPARE(f.form->navigator().currentPage(), page);
    QCOMPARE(f.form->navigator().currentLayout(), int(Navigator::Setup));
    QCOMPARE(setup->text(), QStringLiteral("Home"));
    QCOMPARE(f.control<QToolButton>("Bthome")->text(), QStringLiteral("Home"));
    QVERIFY(f.control(qPrintable(QStringLiteral("Panel%1").arg(page)))->isVisible());
    // The offline definition is in use now.
    QVERIFY(f.session().table().definitionPath.endsWith(QLatin1String("DATV0000.def")));

    setup->click();
    QCOMPARE(f.form->navigator().currentPage(), 0);
    QCOMPARE(f.form->navigator().currentLayout(), int(Navigator::Compact));
    QCOMPARE(setup->text(), QStringLiteral("Setup"));
}

void TestNavigation::pageButtonColours() {
    WindowFixture f;
    f.writeSettings(QStringLiteral("NO"));
    QVERIFY(f.start());
    Navigator& nav = f.form->navigator();
    nav.form_style(Navigator::Setup);
    nav.AbilPannel(1);
    QCOMPARE(nav.buttonColour(1), Navigator::kCurrentButton);
    nav.AbilPannel(2);
    QCOMPARE(nav.buttonColour(1), Navigator::kOtherButton);
    QCOMPARE(nav.buttonColour(2), Navigator::kCurrentButton);
    QVERIFY(f.control("Panel2")->isVisible());
    QVERIFY(!f.control("Panel1")->isVisible());
    // The compact layout puts the setup pages' buttons back to white.
    nav.form_style(Navigator::Compact);
    QCOMPARE(nav.buttonColour(2), Navigator::kOtherButton);
}

void TestNavigation::hiddenKeys() {
    WindowFixture f;
    f.writeSettings(QStringLiteral("NO"));
    QVERIFY(f.start());
    QWidget* group = f.control("Gbanacal");
    QVERIFY(group->isHidden());
    QTest::keyClick(f.form.get(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(group->isHidden());  // Ctrl must be the only modifier
    QTest::keyClick(f.form.get(), Qt::Key_K, Qt::ControlModifier);
    QVERIFY(!group->isHidden());
    QTest::keyClick(f.form.get(), Qt::Key_K, Qt::ControlModifier);
    QVERIFY(group->isHidden());

    f.session().connection().loadOfflineDefinition();
    QTest::keyClick(f.form.get(), Qt::Key_F1, Qt::ControlModifier);
    QVERIFY(f.form->dataWindow().isVisible());
    const QStringList lines = f.form->dataWindow().shownLines();
    QCOMPARE(lines, f.session().table().imageLines());
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first().size(), 32);

    QSignalSpy search(f.form.get(), &TForm1::searchRequested);
    QTest::keyClick(f.form.get(), Qt::Key_F5);
    QCOMPARE(search.count(), 1);
}

void TestNavigation::offlineMode() {
    WindowFixture f;
    f.writeSettings(QStringLiteral("NO"));
    QVERIFY(f.start());
    QAction* mode = f.form->offlineModeAction();
    mode->trigger();
    QVERIFY(mode->isChecked());
    QVERIFY(f.session().link().modo_offline);
    for (const char* name :
         {"Button1", "Button2", "Button4", "Button5", "Button7", "Button9", "Button13", "Button10"})
        QVERIFY2(enabled(f, name), name);
    for (const char* name : {"Button8", "Button11", "Button12", "btTara"})
        QVERIFY2(!enabled(f, name), name);
    QVERIFY(f.control("Pan_inout")->isHidden());
    QVERIFY(f.control("Pan_infoA")->isHidden());
    QVERIFY(!f.form->searchAction()->isEnabled());
    QVERIFY(!f.session().port().isOpen());

    mode->trigger();
    QVERIFY(!mode->isChecked());
    QVERIFY(!f.session().link().modo_offline);
    QVERIFY(f.form->searchAction()->isEnabled());
    QVERIFY(f.session().tRecover().isActive());
}

void TestNavigation::viewSelector_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("kind");
    QTest::newRow("gross") << 0 << "Zero"
                           << "Gross";
    QTest::newRow("net") << 1 << "Tare"
                         << "Net";
    QTest::newRow("peak") << 2 << "Reset"
                          << "Peak";
}

void TestNavigation::viewSelector() {
    QFETCH(int, index);
    QFETCH(QString, caption);
    QFETCH(QString, kind);
    WindowFixture f;
    f.writeSettings(QStringLiteral("NO"));
    QVERIFY(f.start());
    f.form->home().selectView(index);
    QCOMPARE(f.control<QPushButton>("btTara")->text(), caption);
    QVERIFY(!f.control<QPushButton>("btTara")->icon().isNull());
    QCOMPARE(f.control<QLabel>("lbtipopeso")->text(), kind);
    QCOMPARE(f.session().currentView(), index);
    QCOMPARE(f.session().link().peak_view.load(), index == 2);
}

void TestNavigation::addressField() {
    WindowFixture f;
    f.writeSettings(QStringLiteral("NO"));
    QVERIFY(f.start());
    auto* field = f.control<QLineEdit>("Eaddress");
    auto* label = f.control<QLabel>("lbaddress");
    QCOMPARE(field->text(), QStringLiteral("1"));

    BoxWatcher boxes(BoxWatcher::Ok);
    field->clear();
    QCOMPARE(boxes.texts(), QStringList{"'' is not a valid integer value"});
    QTest::keyClicks(field, QStringLiteral("05"));
    QCOMPARE(field->text(), QStringLiteral("5"));
    QCOMPARE(f.session().settings().address, QStringLiteral("5"));
    QCOMPARE(f.session().link().indirizzo.load(), 5);
    QCOMPARE(label->text(), QStringLiteral("5"));

    field->setText(QStringLiteral("128"));
    QCOMPARE(boxes.texts().last(), QStringLiteral("Invalid number! :128"));
    QCOMPARE(f.session().settings().address, QStringLiteral("5"));
    QCOMPARE(f.session().link().indirizzo.load(), 5);
    QCOMPARE(label->text(), QStringLiteral("5"));

    field->setText(QStringLiteral("99"));
    f.control("UpDown1")->findChildren<QToolButton*>().first()->click();  // up
    QCOMPARE(f.session().link().indirizzo.load(), 100);
    f.control("UpDown1")->findChildren<QToolButton*>().first()->click();  // the range ends at 100
    QCOMPARE(field->text(), QStringLiteral("100"));

    QVERIFY(f.form->close());
    const QList<QByteArray> lines = f.home.read(SettingsFile::kFileName).split('\n');
    QCOMPARE(lines.value(6), QByteArray("100\r"));
}

void TestNavigation::languageFromSettings() {
    WindowFixture f;
    f.writeSettings(QStringLiteral("NO"));
    QVERIFY(f.start());
    QCOMPARE(f.home.logMessages().count(QStringLiteral("Errore: Selezione della lingua")), 2);
    f.form.reset();

    WindowFixture g;
    fdati s;
    s.lingua = QStringLiteral("English");
    g.home.write(QString::fromLatin1(SettingsFile::kFileName), SettingsFile::serialize(s));
    g.home.write(QStringLiteral("English.lng"), QByteArray("[x]\r\n"));
    QVERIFY(g.start());
    QVERIFY(!g.home.logMessages().contains(QStringLiteral("Errore: Selezione della lingua")));
    auto* menu = g.form->findChild<QMenu*>(QStringLiteral("Language1"));
    QCOMPARE(menu->actions().size(), 1);
    QVERIFY(menu->actions().first()->isChecked());
}

void TestNavigation::openPage_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("layout");
    QTest::addColumn<QString>("setupCaption");
    QTest::newRow("home") << 0 << int(Navigator::Compact) << QStringLiteral("Setup");
    QTest::newRow("calibration") << 1 << int(Navigator::Setup) << QStringLiteral("Home");
    QTest::newRow("backup") << 9 << int(Navigator::Setup) << QStringLiteral("Home");
    QTest::newRow("weight") << 10 << int(Navigator::Compact) << QStringLiteral("Home");
    QTest::newRow("test") << 11 << int(Navigator::Service) << QStringLiteral("Home");
    QTest::newRow("logger") << 12 << int(Navigator::Service) << QStringLiteral("Home");
    QTest::newRow("factory") << 13 << int(Navigator::Setup) << QStringLiteral("Home");
}

// --page N opens the page in the layout of its own button.
void TestNavigation::openPage() {
    QFETCH(int, page);
    QFETCH(int, layout);
    QFETCH(QString, setupCaption);
    WindowFixture f;
    f.writeSettings(QStringLiteral("NO"));
    QVERIFY(f.start());
    // Start away from the page so that opening it is a real change.
    f.form->navigator().openPage(page == 1 ? 2 : 1);
    QVERIFY(f.form->navigator().openPage(page));
    QCOMPARE(f.form->navigator().currentPage(), page);
    QCOMPARE(f.form->navigator().currentLayout(), layout);
    QCOMPARE(f.form->width(), Navigator::clientSize(layout).width());
    QCOMPARE(f.form->strip().setupButton()->text(), setupCaption);
    QVERIFY(!f.form->navigator().openPage(14));
    QCOMPARE(f.form->navigator().currentPage(), page);

    int n = -1;
    QVERIFY(Startup::isPageNumber(QStringLiteral(" 13 "), &n));
    QCOMPARE(n, 13);
    for (const char* bad : {"14", "-1", "two", ""})
        QVERIFY2(!Startup::isPageNumber(QLatin1String(bad)), bad);
}

// Tests and the control model find controls by name: two widgets with one
// name would make one of them unreachable.
void TestNavigation::controlNamesAreUnique() {
    WindowFixture f;
    f.writeSettings(QStringLiteral("NO"));
    QVERIFY(f.start());
    QHash<QString, int> seen;
    for (QWidget* w : f.form->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        // Qt's own inner widgets carry names starting "qt_".
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            continue;
        ++seen[name];
    }
    QStringList twice;
    for (auto it = seen.cbegin(); it != seen.cend(); ++it)
        if (it.value() > 1)
            twice << it.key();
    twice.sort();
    QVERIFY2(twice.isEmpty(), qPrintable(twice.join(QLatin1String(", "))));
}

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
