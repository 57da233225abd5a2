#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "session/requests.h"
#include "session/session.h"
#include "session/writepath.h"
#include "support/simrig.h"

// The write path against velmora-sim over a pty: what reaches the wire, what
// the table holds afterwards, and the unsaved-changes flag. One simulator for
// the whole executable, serving a program 12 definition in which DELAY1 is a
// signed 16-bit entry and TIMER1 sits at register 0x0600.
class TestWritePath : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void roleOfEarlierDefinitionIsNeverWritten();
    void equalValueIsSkippedAndEchoAbove0x500IsAnswered();
    void writeDuringTestModesLeavesUnsavedFlag_data();
    void writeDuringTestModesLeavesUnsavedFlag();
    void negativeSigned16GoesOutAsTwosComplement();
    void refusedValueIsUndone();
    void unansweredValueIsUndone();
    void offlineWriteChangesTheTable();
    void writeFindingTheLineBusyWaitsItsTurn();

private:
    Session& session() { return rig_->session; }
    ParameterTable& table() { return rig_->session.table(); }
    // The writes (0x06, 0x10) the simulator received since `mark`.
    QList<QJsonObject> writesSince(qsizetype mark) const {
        QList<QJsonObject> out;
        for (const QJsonObject& r : rig_->sim.traffic().mid(mark)) {
            const int f = r.value(QStringLiteral("function")).toInt();
            if (f == 0x06 || f == 0x10)
                out.append(r);
        }
        return out;
    }
    qsizetype mark() const { return rig_->sim.traffic().size(); }
    // The last text update of a control since update number `from`.
    QString shownSince(qsizetype from, const QString& control) const {
        const QList<ControlUpdate>& u = rig_->view.controlUpdates;
        for (qsizetype i = u.size() - 1; i >= from; --i)
            if (u[i].control == control && u[i].what == ControlUpdate::What::Text)
                return u[i].text;
        return QString();
    }

    QTemporaryDir defDir_;
    QString defPath_;
    std::unique_ptr<SimRig> rig_;
};

void TestWritePath::initTestCase() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("this build has no velmora-sim");
    QFile shipped(sourceDir() + QStringLiteral("/Config/DATV1218.def"));
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QByteArray def = shipped.readAll();
    QVERIFY(def.contains("DELAY1=231\r\n") && def.contains("TIMER1=230\r\n"));
    def.replace("DELAY1=231\r\n", "DELAY1=331\r\n");    // s16
    def.replace("TIMER1=230\r\n", "TIMER1=21537\r\n");  // register 1536 = 0x0600
    defPath_ = defDir_.filePath(QStringLiteral("DATV1218.def"));
    QFile out(defPath_);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(def);
    out.close();

    rig_ = std::make_unique<SimRig>(QStringList{QStringLiteral("--def"), defPath_});
    rig_->home.write(QStringLiteral("Config/DATV1218.def"), def);
    // The table starts from an 82-entry definition; the instrument's own
    // (73 entries, program 12) replaces it when it identifies itself.
    QVERIFY(table().loadDefinition(rig_->home.file(QStringLiteral("Config/DATV0000.def"))).ok);
    QCOMPARE(table().findRole(45), 45);
    QVERIFY2(rig_->start(), qPrintable(rig_->sim.errorString()));
    QVERIFY(rig_->waitOnline(15000));
    QCOMPARE(table().entryCount(), 73);
    QCOMPARE(table().entry(22).regOffset, 0x0600);
    QCOMPARE(int(table().entry(23).type), 3);
}

void TestWritePath::cleanupTestCase() {
    rig_.reset();
}

void TestWritePath::init() {
    if (rig_ && !rig_->session.link().online)
        QVERIFY(rig_->waitOnline(20000));
    if (rig_) {
        session().outputTest = false;
        session().analogTest = false;
        session().setUnsaved(false);
    }
}

void TestWritePath::roleOfEarlierDefinitionIsNeverWritten() {
    // Entry 45 of this definition is a live value (the signal), whose
    // register offset is another parameter's: a stale role 45 would write it.
    QCOMPARE(table().entry(45).role, 54u);
    QCOMPARE(table().findRole(45), -1);
    QVERIFY(table().entryOfRole(45) != 45);
    const qsizetype m = mark();
    const Outcome o = session().writePath().write(45, QStringLiteral("7"));
    QCOMPARE(o, Outcome::notSent(Outcome::Reason::NoRegister));
    session().mySleep(100);
    QVERIFY(writesSince(m).isEmpty());
}

void TestWritePath::equalValueIsSkippedAndEchoAbove0x500IsAnswered() {
    WritePath& w = session().writePath();
    const QString value = table().entry(22).value == QLatin1String("10") ? QStringLiteral("11")
                                                                         : QStringLiteral("10");
    qsizetype m = mark();
    // The echo of a write to 0x0600 carries 0x06 where a read's reply has its
    // byte count: a reader that took it for one would call it truncated.
    QVERIFY(w.write(22, value).isAnswered());
    QList<QJsonObject> sent = writesSince(m);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].value(QStringLiteral("register")).toInt(), 0x0600);
    QCOMPARE(sent[0].value(QStringLiteral("answer")).toString(), QStringLiteral("reply"));
    QVERIFY(session().unsaved());
    QVERIFY(rig_->home.logMessages().filter(QStringLiteral("TRUNC RX Error")).isEmpty());

    // 10 and 10.0 (or 11 and 11.00) are one value: nothing goes out.
    m = mark();
    session().setUnsaved(false);
    QCOMPARE(w.write(22, value + QStringLiteral(".0")), Outcome::notSent(Outcome::Reason::None));
    QCOMPARE(w.write(22, value + QStringLiteral(".00")), Outcome::notSent(Outcome::Reason::None));
    session().mySleep(150);
    QVERIFY(writesSince(m).isEmpty());
    QVERIFY(!session().unsaved());
    QCOMPARE(table().entry(22).value, value);
}

void TestWritePath::writeDuringTestModesLeavesUnsavedFlag_data() {
    QTest::addColumn<bool>("output");
    QTest::newRow("output test") << true;
    QTest::newRow("analog test") << false;
}

void TestWritePath::writeDuringTestModesLeavesUnsavedFlag() {
    QFETCH(bool, output);
    session().outputTest = output;
    session().analogTest = !output;
    const QString next = QString::number(table().entry(22).value.toInt() + 1);
    const qsizetype m = mark();
    QVERIFY(session().writePath().write(22, next).isAnswered());
    QCOMPARE(writesSince(m).size(), 1);
    QVERIFY(!session().unsaved());
    // The same write outside a test mode counts as a change.
    session().outputTest = session().analogTest = false;
    QVERIFY(session().writePath().write(22, QString::number(next.toInt() + 1)).isAnswered());
    QVERIFY(session().unsaved());
}

void TestWritePath::negativeSigned16GoesOutAsTwosComplement() {
    const ParamEntry& e = table().entry(23);
    if (e.value == QLatin1String("-2"))
        QVERIFY(session().writePath().write(23, QStringLiteral("0")).isAnswered());
    const qsizetype m = mark();
    QVERIFY(session().writePath().write(23, QStringLiteral("-2")).isAnswered());
    QCOMPARE(table().readImageByte(e.imagePos), quint8(0xFF));
    QCOMPARE(table().readImageByte(e.imagePos + 1), quint8(0xFE));
    const QList<QJsonObject> sent = writesSince(m);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].value(QStringLiteral("function")).toInt(), 0x06);
    const QByteArray frame =
        QByteArray::fromHex(sent[0].value(QStringLiteral("request")).toString().mid(1).toLatin1());
    QCOMPARE(frame.size(), 7);
    QCOMPARE(frame.mid(2, 2), QByteArray::fromHex("001E"));  // DELAY1=331: offset 30
    QCOMPARE(frame.mid(4, 2), QByteArray::fromHex("FFFE"));
    // Read back through the instrument.
    table().entry(23).value = QStringLiteral("0");
    QVERIFY(session().requests().leggi_parametro(23, false).isAnswered());
    QCOMPARE(table().entry(23).value, QStringLiteral("-2"));
}

void TestWritePath::refusedValueIsUndone() {
    // Automatic zero takes 0 to 1000 tenths of a percent: 5000 is refused.
    const int index = 17;
    const ParamEntry& e = table().entry(index);
    const QString old = e.value;
    QVERIFY(!old.isEmpty() && old != QLatin1String("5000"));
    const QByteArray oldBytes = table().image().mid(e.imagePos, 2);
    const QString oldShown = shownSince(0, QStringLiteral("EAutozero"));
    QVERIFY(!oldShown.isEmpty());

    const qsizetype updates = rig_->view.controlUpdates.size();
    qsizetype m = mark();
    const Outcome o = session().writePath().write(17, QStringLiteral("5000"));
    QCOMPARE(o, Outcome::refused(3));
    QList<QJsonObject> sent = writesSince(m);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].value(QStringLiteral("exception")).toInt(), 3);
    QCOMPARE(e.value, old);
    QCOMPARE(table().image().mid(e.imagePos, 2), oldBytes);
    QCOMPARE(shownSince(updates, QStringLiteral("EAutozero")), oldShown);
    QVERIFY(!session().unsaved());

    // The table still differs from the refused value, so it is tried again.
    m = mark();
    QCOMPARE(session().writePath().write(17, QStringLiteral("5000")), Outcome::refused(3));
    QCOMPARE(writesSince(m).size(), 1);
    QCOMPARE(e.value, old);
}

void TestWritePath::unansweredValueIsUndone() {
    const int index = 19;  // zero band
    const ParamEntry& e = table().entry(index);
    const QString old = e.value;
    const QString next = QString::number(old.toInt() == 7 ? 8 : 7);
    const QByteArray oldBytes = table().image().mid(e.imagePos, 2);
    const QString oldShown = shownSince(0, QStringLiteral("EZeroBand"));
    QVERIFY(!oldShown.isEmpty());

    QVERIFY(rig_->sim.send(QStringLiteral("silent on")).startsWith(QLatin1String("OK")));
    const qsizetype updates = rig_->view.controlUpdates.size();
    const Outcome o = session().writePath().write(index, next);
    QVERIFY(rig_->sim.send(QStringLiteral("silent off")).startsWith(QLatin1String("OK")));
    QCOMPARE(o.kind, Outcome::Kind::NoAnswer);
    QCOMPARE(e.value, old);
    QCOMPARE(table().image().mid(e.imagePos, 2), oldBytes);
    QCOMPARE(shownSince(updates, QStringLiteral("EZeroBand")), oldShown);
    QVERIFY(!session().unsaved());

    // Once the instrument answers again the same value is sent, not skipped.
    QVERIFY(rig_->waitOnline(20000));
    const qsizetype m = mark();
    QVERIFY(session().writePath().write(index, next).isAnswered());
    QCOMPARE(writesSince(m).size(), 1);
    QCOMPARE(e.value, next);
    QVERIFY(session().unsaved());
}

void TestWritePath::offlineWriteChangesTheTable() {
    // No instrument at all: the value is edited in the table, for a backup.
    RecordingPresentation view;
    Session offline(&view);
    ParameterTable& t = offline.table();
    QVERIFY(t.loadDefinition(offlineDefinitionPath()).ok);
    t.entry(17).value = QStringLiteral("10");
    const Outcome o = offline.writePath().write(17, QStringLiteral("25"));
    QCOMPARE(o, Outcome::notSent(Outcome::Reason::Offline));
    QCOMPARE(t.entry(17).value, QStringLiteral("25"));
    QCOMPARE(t.readImageByte(t.entry(17).imagePos + 1), quint8(25));
    QVERIFY(!offline.unsaved());
}

void TestWritePath::writeFindingTheLineBusyWaitsItsTurn() {
    // Another builder holds the line (a write still retrying, field after
    // field): the next write goes after it instead of being dropped while
    // the table keeps its value.
    const int index = 19;  // zero band
    const ParamEntry& e = table().entry(index);
    const QString first = QString::number(e.value.toInt() == 7 ? 8 : 7);
    LinkState& link = session().link();
    link.canale_occupato = true;
    qsizetype m = mark();
    const Outcome o = session().writePath().write(index, first);
    QVERIFY(link.canale_occupato);  // still the other builder's
    link.canale_occupato = false;
    QCOMPARE(o, Outcome::answered());
    QCOMPARE(writesSince(m).size(), 1);
    QCOMPARE(e.value, first);

    // A line held for a whole activity cannot take it: the old value is
    // put back as for a refused write, so the same value is sent later.
    const QString second = QString::number(first.toInt() == 7 ? 8 : 7);
    const QByteArray oldBytes = table().image().mid(e.imagePos, 2);
    link.canale_occupato = true;
    link.uso_esclusivo = true;
    m = mark();
    const Outcome refused = session().writePath().write(index, second);
    link.uso_esclusivo = false;
    link.canale_occupato = false;
    QCOMPARE(refused, Outcome::notSent(Outcome::Reason::LockHeld));
    QCOMPARE(e.value, first);
    QCOMPARE(table().image().mid(e.imagePos, 2), oldBytes);
    QVERIFY(session().writePath().write(index, second).isAnswered());
    QCOMPARE(writesSince(m).size(), 1);
}

QTEST_GUILESS_MAIN(TestWritePath)
#include "tst_writepath.moc"
