// The question box, the typed-value check and the common typed-field pattern.
#include <QLineEdit>
#include <QtTest>

#include "boxwatcher.h"
#include "support/testhome.h"
#include "window/questionbox.h"
#include "window/valuecheck.h"

class TestQuestionBox : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void modes_data();
    void modes();
    void closingIsNo();
    void widthRule();
    void controllaValore_data();
    void controllaValore();
    void typedField_data();
    void typedField();

private:
    TestHome home_;
    QWidget owner_;
};

void TestQuestionBox::modes_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("way");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<bool>("result");
    const QStringList yesNo{"btSI", "BtNO"};
    QTest::newRow("question yes") << 0 << int(BoxWatcher::Yes) << "Attention please!" << yesNo
                                  << true;
    QTest::newRow("question no") << 0 << int(BoxWatcher::No) << "Attention please!" << yesNo
                                 << false;
    QTest::newRow("error") << 1 << int(BoxWatcher::Ok) << "Error!!" << QStringList{"btOK"} << false;
    QTest::newRow("information") << 7 << int(BoxWatcher::Ok) << "Information" << QStringList{"btOK"}
                                 << false;
}

void TestQuestionBox::modes() {
    QFETCH(int, mode);
    QFETCH(int, way);
    QFETCH(QString, title);
    QFETCH(QStringList, buttons);
    QFETCH(bool, result);
    BoxWatcher watcher{static_cast<BoxWatcher::Way>(way)};
    const QString text = QStringLiteral("First line\nsecond line");
    QCOMPARE(TFbox::domanda(&owner_, text, mode), result);
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].title, title);
    QCOMPARE(watcher.seen[0].text, text);
    QCOMPARE(watcher.seen[0].buttons, buttons);
    // One box per owner, reused.
    QCOMPARE(owner_.findChildren<TFbox*>().size(), 1);
}

void TestQuestionBox::closingIsNo() {
    BoxWatcher watcher(BoxWatcher::Yes);
    QVERIFY(TFbox::domanda(&owner_, QStringLiteral("Go on?"), 0));
    // The title-bar button after an earlier YES is still not consent.
    watcher.setWay(BoxWatcher::CloseButton);
    QVERIFY(!TFbox::domanda(&owner_, QStringLiteral("Go on?"), 0));
    QCOMPARE(watcher.seen.size(), 2);
}

void TestQuestionBox::widthRule() {
    BoxWatcher watcher(BoxWatcher::Ok);
    TFbox::domanda(&owner_, QStringLiteral("Short"), 1);
    const int labelAtStart = TFbox::kStartWidth - 2 * TFbox::kLabelMargin;
    QCOMPARE(watcher.seen.last().width, labelAtStart + 80);

    const QString wide = QStringLiteral("short\n") + QString(120, u'W');
    TFbox::domanda(&owner_, wide, 1);
    auto* box = owner_.findChild<TFbox*>();
    const int widest = QFontMetrics(box->findChild<QLabel*>("lbquery")->font())
                           .horizontalAdvance(QString(120, u'W'));
    QVERIFY(widest > TFbox::kStartWidth);
    QCOMPARE(watcher.seen.last().width, widest - 2 * TFbox::kLabelMargin + 80);
}

void TestQuestionBox::controllaValore_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("maximum");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("message");  // empty: no box
    QTest::newRow("points removed") << "1.500" << qint64(1500) << true << "";
    QTest::newRow("one above") << "1.501" << qint64(1500) << false << "Invalid number! :1.501";
    QTest::newRow("no lower bound") << "-5" << qint64(0) << true << "";
    QTest::newRow("address 128") << "128" << qint64(127) << false << "Invalid number! :128";
    QTest::newRow("letters") << "12a" << qint64(127) << false
                             << "'12a' is not a valid integer value";
    QTest::newRow("emptied") << "" << qint64(127) << false << "'' is not a valid integer value";
}

void TestQuestionBox::controllaValore() {
    QFETCH(QString, text);
    QFETCH(qint64, maximum);
    QFETCH(bool, accepted);
    QFETCH(QString, message);
    BoxWatcher watcher(BoxWatcher::Ok);
    QCOMPARE(controlla_valore(&owner_, text, maximum), accepted);
    QCOMPARE(watcher.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty())
        QCOMPARE(watcher.seen[0].title, QStringLiteral("Error!!"));
}

void TestQuestionBox::typedField_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("decimals");    // -1: no format
    QTest::addColumn<qint64>("maximum");  // -1: none
    QTest::addColumn<bool>("checkFirst");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("field");    // the field's text afterwards
    QTest::addColumn<QString>("written");  // empty: nothing written
    QTest::addColumn<int>("boxes");

    QTest::newRow("EZeroBand 350") << "350" << -1 << qint64(200) << false << 1 << "200"
                                   << "200"
                                   << "200" << 1;
    QTest::newRow("EZeroBand abc") << "abc" << -1 << qint64(200) << false << 1 << "200"
                                   << "abc"
                                   << "" << 1;
    QTest::newRow("EHys1 1 at 0.002") << "1" << 3 << qint64(2000000) << false << 2 << ""
                                      << "1.000"
                                      << "500" << 0;
    QTest::newRow("ETime1 2.26") << "2.26" << 1 << qint64(-1) << false << 1 << ""
                                 << "2.3"
                                 << "23" << 0;
    QTest::newRow("ETime1 -0.05") << "-0.05" << 1 << qint64(-1) << false << 1 << ""
                                  << "-0.1"
                                  << "-1" << 0;
    QTest::newRow("EVal1 2500 checked as typed")
        << "2500" << 3 << qint64(2000000) << true << 1 << ""
        << "2500.000"
        << "2500000" << 0;
    QTest::newRow("EHys1 2500 checked formatted")
        << "2500" << 3 << qint64(2000000) << false << 1 << ""
        << "2500.000"
        << "" << 1;
    QTest::newRow("EVal1 refused keeps text")
        << "3000000" << 3 << qint64(2000000) << true << 1 << ""
        << "3000000"
        << "" << 1;
    QTest::newRow("not a number") << "1,5" << 1 << qint64(-1) << false << 1 << ""
                                  << "1,5"
                                  << "" << 1;
    QTest::newRow("emptied field") << "" << 2 << qint64(-1) << false << 1 << ""
                                   << ""
                                   << "" << 1;
    QTest::newRow("beyond 32 bits") << "9999999999" << 1 << qint64(-1) << false << 1 << ""
                                    << "9999999999"
                                    << "" << 1;
    QTest::newRow("step truncates toward zero")
        << "-0.005" << 3 << qint64(2000000) << false << 2 << ""
        << "-0.005"
        << "-2" << 0;
    QTest::newRow("address 05") << "05" << -1 << qint64(127) << false << 1 << ""
                                << "05"
                                << "5" << 0;
    QTest::newRow("as typed must be whole") << "1.5" << -1 << qint64(127) << false << 1 << ""
                                            << "1.5"
                                            << "" << 1;
}

void TestQuestionBox::typedField() {
    QFETCH(QString, typed);
    QFETCH(int, decimals);
    QFETCH(qint64, maximum);
    QFETCH(bool, checkFirst);
    QFETCH(int, step);
    QFETCH(QString, replacement);
    QFETCH(QString, field);
    QFETCH(QString, written);
    QFETCH(int, boxes);

    QLineEdit edit(&owner_);
    edit.setText(typed);
    TypedFieldRule rule;
    if (decimals >= 0)
        rule.decimals = decimals;
    if (maximum >= 0)
        rule.maximum = maximum;
    rule.checkBeforeFormat = checkFirst;
    rule.divisionStep = step;
    if (!replacement.isEmpty())
        rule.replacementWhenTooLarge = replacement;

    BoxWatcher watcher(BoxWatcher::Ok);
    const std::optional<QString> result = acceptTypedField(&edit, rule);
    QCOMPARE(result.value_or(QString()), written);
    QCOMPARE(result.has_value(), !written.isEmpty());
    QCOMPARE(edit.text(), field);
    QCOMPARE(watcher.seen.size(), boxes);
}

QTEST_MAIN(TestQuestionBox)
#include "tst_questionbox.moc"
