// The In / Out page on the real main window against the virtual instrument:
// each output's four boxes written as one configuration word, the word
// received shown in the boxes without a write, the typed fields in weight
// units and tenths, and a value the instrument refuses.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include "boxwatcher.h"
#include "session/requests.h"
#include "session/writepath.h"
#include "window/inoutpage.h"
#include "window/navigator.h"
#include "window/topstrip.h"
#include "testmodes.h"
#include "windowfixture.h"

namespace {
using Write = RegisterWrite;
}  // namespace

class TestInOutPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void pageIsReachedAndItsNamesAreUnique();
    void packedWordCountsUnselectedAsFirst();
    void outputBoxesWriteOneWord_data();
    void outputBoxesWriteOneWord();
    void unselectedBoxWritesItsFirstItem();
    void receivedWordIsShownNotWritten();
    void typedFieldsOnTheWire_data();
    void typedFieldsOnTheWire();
    void refusedValueShowsTheInstrumentsValue();

private:
    int reg(int role) const;
    QList<Write> writesTo(int role) const;
    void typeInto(QLineEdit* edit, const QString& text);
    QComboBox* box(const char* name) { return f_->control<QComboBox>(name); }
    // As the calibration page's division box and full scale field do,
    // through the instrument: written, read back and shown.
    void setScale(int divisionIndex, const QString& usedWeight);

    std::unique_ptr<WindowFixture> f_;
};

int TestInOutPage::reg(int role) const {
    const ParameterTable& t = f_->form->session().table();
    return t.entry(t.findRole(role)).regOffset + t.setupBase;
}

QList<Write> TestInOutPage::writesTo(int role) const {
    return writesToRegister(*f_->sim, reg(role));
}

void TestInOutPage::typeInto(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

void TestInOutPage::setScale(int divisionIndex, const QString& usedWeight) {
    Session& s = f_->session();
    for (const auto& [role, value] :
         {std::pair{0, QString::number(divisionIndex)}, std::pair{12, usedWeight}}) {
        s.writePath().write(role, value);
        QVERIFY(s.requests().leggi_parametro(s.table().findRole(role), false).isAnswered());
    }
}

void TestInOutPage::initTestCase() {
    f_ = std::make_unique<WindowFixture>();
    QVERIFY2(f_->startSim(), qPrintable(f_->sim->errorString()));
    f_->writeSettings(f_->sim->ptyPath());
    QVERIFY(f_->start());
    QVERIFY(f_->session().link().online);
    f_->form->navigator().BtSetupClick();
    f_->form->strip().pageButton(4)->click();
    QCOMPARE(f_->form->navigator().currentPage(), 4);
    QVERIFY(QTest::qWaitForWindowExposed(f_->form.get()));
}

void TestInOutPage::cleanupTestCase() {
    f_.reset();
}

void TestInOutPage::pageIsReachedAndItsNamesAreUnique() {
    // The setup layout: 930 x 550 of client area under the menu bar.
    QCOMPARE(f_->form->width(), 930);
    QVERIFY(f_->form->height() >= 550);
    QWidget* panel = f_->control("Panel4");
    QVERIFY(panel && panel->isVisible());
    QHash<QString, int> seen;
    for (const QWidget* w : f_->form->findChildren<QWidget*>())
        if (!w->objectName().isEmpty())
            ++seen[w->objectName()];
    for (const QWidget* w : panel->findChildren<QWidget*>())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
            QVERIFY2(seen.value(w->objectName()) == 1, qPrintable(w->objectName()));
    for (const char* name :
         {"CBMode1", "CbType1", "CBSign1", "CBStab1", "EVal1", "EHys1", "ETime1", "EDelay1",
          "CBMode2", "CBType2", "CBSign2", "CBStab2", "EVal2", "EHys2", "ETime2", "EDelay2",
          "bt_send03"}) {
        QWidget* w = f_->control(name);
        QVERIFY2(w && w->isVisible(), name);
        const QRect r(w->mapTo(f_->form.get(), QPoint(0, 0)), w->size());
        QVERIFY2(f_->form->rect().contains(r), name);
    }
    QCOMPARE(box("CBStab2")->count(), 3);  // "Normal", "Stable" and an empty item
    QCOMPARE(box("CbType1")->itemText(1), QStringLiteral("N. Closed"));
    // The Send button has no action.
    const qsizetype before = f_->sim->traffic().size();
    f_->control<QPushButton>("bt_send03")->click();
    QTest::qWait(200);
    for (const QJsonObject& o : f_->sim->traffic().mid(before))
        QVERIFY(o.value(QStringLiteral("function")).toInt() != 0x06);
}

void TestInOutPage::packedWordCountsUnselectedAsFirst() {
    QCOMPARE(InOutPage::packedWord(1, 1, 1, 1), 29);
    QCOMPARE(InOutPage::packedWord(2, 0, 0, 0), 2);
    QCOMPARE(InOutPage::packedWord(2, 1, 1, 2), 46);  // OUT 2's third "Stable" item
    QCOMPARE(InOutPage::packedWord(-1, -1, -1, -1), 0);
    QCOMPARE(InOutPage::packedWord(2, -1, 1, -1), 10);
}

void TestInOutPage::outputBoxesWriteOneWord_data() {
    QTest::addColumn<int>("output");
    QTest::addColumn<QList<int>>("indexes");  // Mode, Type, Signal, Stable
    QTest::addColumn<int>("word");
    // "Gross", "N. Closed", "Negative", "Stable".
    QTest::newRow("OUT 1") << 1 << QList<int>{1, 1, 1, 1} << 29;
    // "Peak", "N. Open", "Positive", "Normal".
    QTest::newRow("OUT 2") << 2 << QList<int>{2, 0, 0, 0} << 2;
}

void TestInOutPage::outputBoxesWriteOneWord() {
    QFETCH(int, output);
    QFETCH(QList<int>, indexes);
    QFETCH(int, word);
    const int role = output == 1 ? 20 : 24;
    const QList<QComboBox*> boxes =
        output == 1 ? QList<QComboBox*>{box("CBMode1"), box("CbType1"), box("CBSign1"),
                                        box("CBStab1")}
                    : QList<QComboBox*>{box("CBMode2"), box("CBType2"), box("CBSign2"),
                                        box("CBStab2")};
    // Each change of a box writes the whole word of its output.
    const qsizetype before = writesTo(role).size();
    for (int k = 0; k < 4; ++k)
        boxes[k]->setCurrentIndex((indexes[k] + 1) % 2);
    for (int k = 0; k < 4; ++k)
        boxes[k]->setCurrentIndex(indexes[k]);
    const QList<Write> w = writesTo(role).mid(before);
    QVERIFY(w.size() >= 2);
    QCOMPARE(w.last().value, word);
    QCOMPARE(w.last().exception, 0);
    for (const Write& each : w)
        QVERIFY(each.value >= 0 && each.value < 64);
    QCOMPARE(f_->session().table().entry(f_->session().table().findRole(role)).value,
             QString::number(word));
}

void TestInOutPage::unselectedBoxWritesItsFirstItem() {
    // A box left without a selection (a list just reloaded) counts as its
    // first item instead of taking 16 off the word.
    {
        const QSignalBlocker quiet(box("CBStab1"));
        box("CBStab1")->setCurrentIndex(-1);
    }
    box("CBSign1")->setCurrentIndex(1);
    box("CbType1")->setCurrentIndex(0);
    const qsizetype before = writesTo(20).size();
    box("CBMode1")->setCurrentIndex(box("CBMode1")->currentIndex() == 2 ? 0 : 2);
    const int mode = box("CBMode1")->currentIndex();
    const QList<Write> w = writesTo(20).mid(before);
    QCOMPARE(w.size(), 1);
    QCOMPARE(w[0].value, 8 + mode);
    QCOMPARE(w[0].exception, 0);
}

void TestInOutPage::receivedWordIsShownNotWritten() {
    Session& s = f_->session();
    QVERIFY(s.writePath().write(20, QStringLiteral("29")).isAnswered() ||
            s.table().entry(s.table().findRole(20)).value == QLatin1String("29"));
    const int index = s.table().findRole(20);
    s.table().entry(index).value = QStringLiteral("0");
    const qsizetype before = writesTo(20).size();
    QVERIFY(s.requests().leggi_parametro(index, false).isAnswered());
    QCOMPARE(box("CBMode1")->currentIndex(), 1);
    QCOMPARE(box("CbType1")->currentIndex(), 1);
    QCOMPARE(box("CBSign1")->currentIndex(), 1);
    QCOMPARE(box("CBStab1")->currentIndex(), 1);
    QCOMPARE(box("CBMode1")->currentText(), QStringLiteral("Gross"));
    QCOMPARE(writesTo(20).size(), before);
}

void TestInOutPage::typedFieldsOnTheWire_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("written");
    // Division 0.002 on a 2000 full scale: 1.000 is 1000 counts, 500 divisions.
    QTest::newRow("hysteresis 1") << "EHys1" << "1" << "1.000" << 21 << 500;
    QTest::newRow("hysteresis 2") << "EHys2" << "0.5" << "0.500" << 25 << 250;
    QTest::newRow("timer 1") << "ETime1" << "2.26" << "2.3" << 22 << 23;
    QTest::newRow("delay 2") << "EDelay2" << "4" << "4.0" << 27 << 40;
    // The setpoint is checked as typed, then reformatted.
    QTest::newRow("value 1") << "EVal1" << "12.5" << "12.500" << 3 << 6250;
}

void TestInOutPage::typedFieldsOnTheWire() {
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, role);
    QFETCH(int, written);
    setScale(1, QStringLiteral("2000"));
    QCOMPARE(f_->session().display().divisionStep, 2);
    QCOMPARE(f_->session().display().usedWeightCounts, 2000000);
    Session& s = f_->session();
    if (s.table().entry(s.table().findRole(role)).value == QString::number(written))
        QVERIFY(s.writePath().write(role, QStringLiteral("1")).isAnswered());
    BoxWatcher boxes(BoxWatcher::Ok);
    auto* edit = f_->form->findChild<QLineEdit*>(name);
    QVERIFY(edit && edit->isVisible());
    const qsizetype before = writesTo(role).size();
    typeInto(edit, typed);
    QCOMPARE(edit->text(), shown);
    const QList<Write> w = writesTo(role).mid(before);
    QCOMPARE(w.size(), 1);
    QCOMPARE(w[0].value, written);
    QCOMPARE(w[0].exception, 0);
    QVERIFY(boxes.seen.isEmpty());
}

void TestInOutPage::refusedValueShowsTheInstrumentsValue() {
    Session& s = f_->session();
    auto* edit = f_->control<QLineEdit>("ETime2");
    // What the instrument holds, as the read-out showed it.
    const int index = s.table().findRole(26);
    QVERIFY(s.requests().leggi_parametro(index, false).isAnswered());
    const QString held = s.table().entry(index).value;
    const QString shownBefore = edit->text();
    QCOMPARE(shownBefore, QString::number(held.toInt() / 10.0, 'f', 1));
    const QString typed = held == QLatin1String("55") ? QStringLiteral("6.6") : QStringLiteral("5.5");

    QVERIFY(f_->sim->send(QStringLiteral("exception3 %1").arg(reg(26))).startsWith("OK"));
    const qsizetype before = writesTo(26).size();
    typeInto(edit, typed);
    const QList<Write> w = writesTo(26).mid(before);
    QCOMPARE(w.size(), 1);
    QCOMPARE(w[0].exception, 3);
    QCOMPARE(edit->text(), shownBefore);
    QCOMPARE(s.table().entry(index).value, held);
    QCOMPARE(s.link().stato_link.load(), 3);
    QVERIFY(f_->sim->send(QStringLiteral("exception3 off")).startsWith("OK"));

    // Accepted again, the same value goes out: it was never taken as sent.
    typeInto(edit, typed);
    const QList<Write> again = writesTo(26).mid(before + 1);
    QCOMPARE(again.size(), 1);
    QCOMPARE(again[0].exception, 0);
    QCOMPARE(edit->text(), typed);
}

QTEST_MAIN(TestInOutPage)
#include "tst_inoutpage.moc"
