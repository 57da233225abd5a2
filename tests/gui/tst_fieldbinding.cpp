#include <QLineEdit>
#include <QtTest>

#include "session/connection.h"
#include "session/fieldbindings.h"
#include "session/pagecontext.h"
#include "session/session.h"
#include "boxwatcher.h"
#include "support/recordingpresentation.h"
#include "support/testhome.h"
#include "window/fieldbinder.h"

// The typed-field table run by the binder on real line edits, over a
// session in offline editing: what a field shows and what reaches the
// parameter table afterwards.
class TestFieldBinding : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void fieldsWriteTheirRoles_data();
    void fieldsWriteTheirRoles();
    void refusedTextWritesNothing();
    void leavingAnUntouchedFieldWritesNothing();
    void fieldbusAddressIsClamped();
    void pageControlsAreThePagesOwn();

private:
    QLineEdit* field(const QString& name);

    std::unique_ptr<TestHome> home_;
    std::unique_ptr<RecordingPresentation> view_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<PageContext> ctx_;
    std::unique_ptr<QWidget> page_;
    FieldBinder* binder_ = nullptr;
    std::unique_ptr<BoxWatcher> boxes_;
};

void TestFieldBinding::init() {
    home_ = std::make_unique<TestHome>();
    view_ = std::make_unique<RecordingPresentation>();
    session_ = std::make_unique<Session>(view_.get());
    session_->link().modo_offline = true;
    session_->connection().loadOfflineDefinition();
    QVERIFY(session_->table().findRole(21) >= 0);
    // A division of 0.002 on a 2000 full scale.
    DisplayState& d = session_->display();
    d.decimals = 3;
    d.decimalsMask = QStringLiteral("0.000");
    d.divisionStep = 2;
    d.usedWeightCounts = 2000000;
    d.fieldbusAddressLimit = 126;
    ctx_ = std::make_unique<PageContext>(*session_);
    boxes_ = std::make_unique<BoxWatcher>(BoxWatcher::Ok);
    page_ = std::make_unique<QWidget>();
    for (const FieldBinding& row : typedFields()) {
        auto* edit = new QLineEdit(page_.get());
        edit->setObjectName(row.field);
    }
    binder_ = new FieldBinder(*ctx_, page_.get());
    QCOMPARE(binder_->bind(page_.get()), typedFields().size());
}

void TestFieldBinding::cleanup() {
    page_.reset();
    boxes_.reset();
    ctx_.reset();
    session_.reset();
    view_.reset();
    home_.reset();
}

QLineEdit* TestFieldBinding::field(const QString& name) {
    return page_->findChild<QLineEdit*>(name);
}

void TestFieldBinding::fieldsWriteTheirRoles_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("written");
    // Weight units: reformatted with the mask, written in divisions.
    QTest::newRow("hysteresis") << "EHys1" << "1" << "1.000" << 21 << "500";
    // Tenths, rounded.
    QTest::newRow("timer") << "ETime1" << "2.26" << "2.3" << 22 << "23";
    QTest::newRow("delay 2") << "EDelay2" << "0.5" << "0.5" << 27 << "5";
    QTest::newRow("response time") << "Eritardorisp" << "1.5" << "1.50" << 31 << "150";
    // The setpoint checks the text as typed: 2500 is below 2000000.
    QTest::newRow("setpoint") << "EVal1" << "2500" << "2500.000" << 3 << "1250000";
    // Above its bound, the zero band writes its bound instead.
    QTest::newRow("zero band") << "EZeroBand" << "350" << "200" << 19 << "200";
    QTest::newRow("autozero") << "EAutozero" << "12.3" << "12.3" << 17 << "123";
    QTest::newRow("analog zero") << "Eanazero" << "-4" << "-4.000" << 41 << "-2000";
}

void TestFieldBinding::fieldsWriteTheirRoles() {
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, role);
    QFETCH(QString, written);
    QLineEdit* edit = field(name);
    QVERIFY(edit);
    edit->setText(typed);
    edit->setModified(true);
    Q_EMIT edit->editingFinished();
    QCOMPARE(edit->text(), shown);
    QCOMPARE(ctx_->valueOfRole(role), written);
}

void TestFieldBinding::refusedTextWritesNothing() {
    const QString before = ctx_->valueOfRole(21);
    // The hysteresis reformats first and so refuses a value above full scale.
    QLineEdit* hys = field(QStringLiteral("EHys1"));
    hys->setText(QStringLiteral("2500"));
    hys->setModified(true);
    Q_EMIT hys->editingFinished();
    QCOMPARE(ctx_->valueOfRole(21), before);
    QCOMPARE(boxes_->texts(), QStringList{QStringLiteral("Invalid number! :2500.000")});

    // Not a number: the field keeps its text, nothing is written.
    const QString stab = ctx_->valueOfRole(16);
    field(QStringLiteral("Estab"))->setText(QStringLiteral("x"));
    QCOMPARE(field(QStringLiteral("Estab"))->text(), QStringLiteral("x"));
    QCOMPARE(ctx_->valueOfRole(16), stab);
    QCOMPARE(boxes_->seen.size(), 2);
    field(QStringLiteral("Estab"))->setText(QStringLiteral("3"));
    QCOMPARE(ctx_->valueOfRole(16), QStringLiteral("3"));
}

void TestFieldBinding::leavingAnUntouchedFieldWritesNothing() {
    QLineEdit* t = field(QStringLiteral("ETime2"));
    {
        const QSignalBlocker quiet(t);
        t->setText(QStringLiteral("7"));  // as a shown value arrives
    }
    const QString before = ctx_->valueOfRole(26);
    Q_EMIT t->editingFinished();
    QCOMPARE(ctx_->valueOfRole(26), before);
}

void TestFieldBinding::fieldbusAddressIsClamped() {
    QLineEdit* ch = field(QStringLiteral("Echannel"));
    ch->setText(QStringLiteral("300"));
    QCOMPARE(ch->text(), QStringLiteral("126"));
    QCOMPARE(ctx_->valueOfRole(34), QStringLiteral("126"));
    QVERIFY(boxes_->seen.isEmpty());
}

void TestFieldBinding::pageControlsAreThePagesOwn() {
    ctx_->setOwnControls({QStringLiteral("EHys1")});
    QVERIFY(ctx_->publish(ControlUpdate::setText(QStringLiteral("EHys1"), QStringLiteral("4"))));
    QCOMPARE(ctx_->control(QStringLiteral("EHys1")).text, QStringLiteral("4"));
    // Another page's control is not this page's to change.
    QVERIFY(!ctx_->publish(ControlUpdate::setText(QStringLiteral("CBUnit"), QStringLiteral("x"))));
    QVERIFY(ctx_->control(QStringLiteral("CBUnit")).text != QLatin1String("x"));
}

QTEST_MAIN(TestFieldBinding)
#include "tst_fieldbinding.moc"
