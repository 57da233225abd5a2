// The Functions page: the colour selector's items, what a choice does to
// the window colour, the "More Colors..." dialog, Reset Default, and the
// colour's way into and out of the settings file.
#include <QApplication>
#include <QColorDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "boxwatcher.h"
#include "pagetraffic.h"
#include "window/colorselector.h"
#include "window/functionspage.h"
#include "windowfixture.h"

namespace {

// Answers the next colour dialog: picks `colour` and confirms, or cancels
// when `colour` is invalid.
void answerColourDialog(const QColor& colour) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, colour] {
        auto* d = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        if (colour.isValid()) {
            d->setCurrentColor(colour);
            d->accept();
        } else {
            d->reject();
        }
    });
    timer->start();
}

QString settingOf(const QColor& c) {
    return QString::number(c.red() | (c.green() << 8) | (c.blue() << 16));
}

}  // namespace

class TestFunctionsPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void selectorItems();
    void swatchColoursTheWindow();
    void blackIsRefused_data();
    void blackIsRefused();
    void moreColors();
    void resetDefault();
    void keyboardGroup();
    void colourGoesThroughTheSettingsFile();

private:
    ColorSelector* cs1() { return f_->control<ColorSelector>("Cs1"); }

    std::unique_ptr<WindowFixture> f_;
    std::unique_ptr<BoxWatcher> boxes_;
};

void TestFunctionsPage::initTestCase() {
    // The page needs no instrument: it is the one the Setup button opens without one.
    f_ = std::make_unique<WindowFixture>();
    boxes_ = std::make_unique<BoxWatcher>(BoxWatcher::Ok);
    f_->writeSettings(QStringLiteral("NO"));
    QVERIFY(f_->start());
    QVERIFY(cs1());
}

void TestFunctionsPage::cleanupTestCase() {
    f_.reset();
    boxes_.reset();
}

void TestFunctionsPage::init() {
    boxes_->seen.clear();
    f_->control<QPushButton>("ResColor")->click();
}

void TestFunctionsPage::selectorItems() {
    ColorSelector* cs = cs1();
    QCOMPARE(cs->count(), 42);
    QCOMPARE(cs->itemText(0), QStringLiteral("Automatic"));
    QCOMPARE(cs->itemText(1), QStringLiteral("Black"));
    QCOMPARE(cs->itemData(1).value<QColor>(), QColor(Qt::black));
    QCOMPARE(cs->itemText(41), QStringLiteral("More Colors..."));
    QSet<QRgb> swatches;
    for (int i = 1; i <= 40; ++i)
        swatches.insert(cs->itemData(i).value<QColor>().rgb());
    QCOMPARE(swatches.size(), 40);
    // Automatic is the program's own colour, not black.
    QCOMPARE(cs->automaticColour(), QColor(0xB9, 0xD1, 0xEA));
}

void TestFunctionsPage::swatchColoursTheWindow() {
    ColorSelector* cs = cs1();
    const int blue = cs->findText(QStringLiteral("Blue"));
    QVERIFY(blue > 0);
    choose(cs, blue);
    QCOMPARE(f_->form->formColour(), QColor(0, 0, 0xFF));
    QCOMPARE(cs->colour(), QColor(0, 0, 0xFF));
    choose(cs, 0);  // Automatic
    QCOMPARE(f_->form->formColour(), QColor(0xB9, 0xD1, 0xEA));
    QVERIFY(boxes_->seen.isEmpty());
}

void TestFunctionsPage::blackIsRefused_data() {
    QTest::addColumn<bool>("fromDialog");
    QTest::newRow("black swatch") << false;
    QTest::newRow("black from More Colors...") << true;
}

void TestFunctionsPage::blackIsRefused() {
    QFETCH(bool, fromDialog);
    ColorSelector* cs = cs1();
    choose(cs, cs->findText(QStringLiteral("Gold")));
    const QColor before = f_->form->formColour();
    QCOMPARE(before, QColor(0xFF, 0xCC, 0x00));
    if (fromDialog)
        answerColourDialog(Qt::black);
    choose(cs, fromDialog ? ColorSelector::kMoreColorsItem : 1);
    QCOMPARE(boxes_->texts(), QStringList{QStringLiteral("Black is not a color!")});
    QCOMPARE(boxes_->seen.first().title, QStringLiteral("Error!!"));
    QCOMPARE(f_->form->formColour(), before);
    // The selector shows the colour the window has, not the refused one.
    QCOMPARE(cs->colour(), before);
}

void TestFunctionsPage::moreColors() {
    ColorSelector* cs = cs1();
    answerColourDialog(QColor(0x12, 0x34, 0x56));
    choose(cs, ColorSelector::kMoreColorsItem);
    QCOMPARE(f_->form->formColour(), QColor(0x12, 0x34, 0x56));
    QCOMPARE(cs->colour(), QColor(0x12, 0x34, 0x56));
    // Cancelled: nothing changes.
    answerColourDialog(QColor());
    choose(cs, ColorSelector::kMoreColorsItem);
    QCOMPARE(f_->form->formColour(), QColor(0x12, 0x34, 0x56));
    QCOMPARE(cs->colour(), QColor(0x12, 0x34, 0x56));
    QVERIFY(boxes_->seen.isEmpty());
}

void TestFunctionsPage::resetDefault() {
    ColorSelector* cs = cs1();
    choose(cs, cs->findText(QStringLiteral("Red")));
    QCOMPARE(f_->form->formColour(), QColor(0xFF, 0, 0));
    f_->control<QPushButton>("ResColor")->click();
    QCOMPARE(f_->form->formColour(), QColor(185, 209, 234));
    QCOMPARE(cs->colour(), QColor(185, 209, 234));
}

void TestFunctionsPage::keyboardGroup() {
    QWidget* lock = f_->control("GB_lock");
    QVERIFY(lock);
    for (const char* name : {"pbt1", "pbt2", "pbt3", "pbt4"})
        QCOMPARE(f_->control(name)->parentWidget(), lock);
    // Each of the page's Send buttons is the only one of its name.
    for (const char* name : {"bt_send04", "btsend04", "bt_send05"})
        QCOMPARE(f_->form->findChildren<QPushButton*>(QLatin1String(name)).size(), 1);
}

void TestFunctionsPage::colourGoesThroughTheSettingsFile() {
    const QString file = QString::fromLatin1(SettingsFile::kFileName);
    const QColor stored(0x40, 0x80, 0xC0);
    WindowFixture f;
    fdati s;
    s.porta = QStringLiteral("NO");
    s.formcolor = settingOf(stored);
    f.home.write(file, SettingsFile::serialize(s));
    QVERIFY(f.start());
    QCOMPARE(f.form->formColour(), stored);
    auto* cs = f.control<ColorSelector>("Cs1");
    QCOMPARE(cs->colour(), stored);

    choose(cs, cs->findText(QStringLiteral("Teal")));
    // Kept in the window until the close writes it.
    QCOMPARE(SettingsFile::serialize(s), f.home.read(file));
    QVERIFY(f.form->close());
    const QList<QByteArray> lines = f.home.read(file).split('\n');
    QVERIFY(lines.size() >= 11);
    QCOMPARE(lines[10].trimmed(), settingOf(QColor(0, 0x80, 0x80)).toLatin1());
}

QTEST_MAIN(TestFunctionsPage)
#include "tst_functionspage.moc"
