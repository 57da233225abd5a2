// The guided calibration on the real main window against the virtual
// instrument: zero and span on the wire exactly as the page's buttons send
// them, the verification's readings and verdicts, a cancel half-way, a link
// that goes and comes back while a weight is awaited, and the certificate
// and CSV it writes.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QtTest>

#include "boxwatcher.h"
#include "window/calibrationassistant.h"
#include "window/calibrationpage.h"
#include "window/navigator.h"
#include "windowfixture.h"

namespace {

constexpr int kOnlineMs = 20000;
constexpr int kStepMs = 60000;

struct Write {
    int reg = -1;
    qint64 value = 0;
    bool operator==(const Write&) const = default;
};

QString describe(const QList<Write>& writes) {
    QStringList out;
    for (const Write& w : writes)
        out << QStringLiteral("%1=%2").arg(w.reg).arg(w.value);
    return out.join(QStringLiteral(", "));
}

}  // namespace

class TestCalibrationAssistant : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void wholeRunWithCertificate();
    void failingPointNamed_data();
    void failingPointNamed();
    void cancelAfterZero();
    void refusedZeroIsSaid();
    void linkLostWhileWaiting();
    void offlineExplains();

private:
    int reg(int role) const {
        const ParameterTable& t = f_->form->session().table();
        return t.entry(t.entryOfRole(role)).regOffset + t.setupBase;
    }
    int mark() const { return int(f_->sim->traffic().size()); }
    QList<Write> writesSince(int mark) const {
        QList<Write> out;
        const QList<QJsonObject> records = f_->sim->traffic();
        for (int i = mark; i < records.size(); ++i) {
            const QJsonObject& r = records[i];
            const int function = r.value(QStringLiteral("function")).toInt();
            if (function != 0x06 && function != 0x10)
                continue;
            Write w;
            w.reg = r.value(QStringLiteral("register")).toInt(-1);
            for (const QJsonValue& x : r.value(QStringLiteral("values")).toArray())
                w.value = (function == 0x10 ? w.value << 16 : 0) + qint64(x.toDouble());
            out << w;
        }
        return out;
    }
    bool load(const QString& kg) {
        return f_->sim->send(QStringLiteral("load ") + kg).startsWith(QLatin1String("OK"));
    }
    CalibrationAssistant* open();
    void type(QLineEdit* e, const QString& text) {
        e->selectAll();
        e->insert(text);
    }
    CalibrationAssistant* a() { return f_->form->findChild<CalibrationAssistant*>(); }
    QPushButton* button(const char* name) { return a()->findChild<QPushButton*>(name); }
    // Zero at no load and span on 1000 kg, through the assistant.
    bool zeroAndSpan();
    // Reads each load of the verification; false when one never settles.
    bool verify(const QString& loads);
    // What the assistant, the event log and the wire said, for a step that
    // never ended.
    QString explain() {
        QStringList out{QStringLiteral("step %1 waiting %2 status \"%3\" online %4")
                            .arg(a()->step())
                            .arg(a()->waiting())
                            .arg(a()->status())
                            .arg(f_->session().link().online.load())};
        const QList<QByteArray> log = f_->home.read(QStringLiteral("logfile.txt")).split('\n');
        for (qsizetype i = std::max<qsizetype>(0, log.size() - 12); i < log.size(); ++i)
            out << QString::fromLatin1(log[i]).trimmed();
        // The writes on the wire, each with the exchange before it.
        const QList<QJsonObject> records = f_->sim->traffic();
        QStringList writes;
        for (qsizetype i = 1; i < records.size(); ++i) {
            const int function = records[i].value(QStringLiteral("function")).toInt();
            if (function == 0x06 || function == 0x10 ||
                !records[i].contains(QStringLiteral("function")))
                for (qsizetype j : {i - 1, i})
                    writes << QString::fromUtf8(
                        QJsonDocument(records[j]).toJson(QJsonDocument::Compact));
        }
        out << writes.mid(std::max<qsizetype>(0, writes.size() - 16));
        // The test log cuts long messages short: the whole of it goes to stderr.
        std::fputs(qPrintable(out.join(QLatin1Char('\n')) + QLatin1Char('\n')), stderr);
        return out.first();
    }
    QString calLogCount() const {
        return QString::fromLatin1(
            f_->home.read(QStringLiteral("Cal_log.txt")).split('\r').first());
    }

    std::unique_ptr<WindowFixture> f_;
    QTemporaryDir linkDir_;
};

void TestCalibrationAssistant::initTestCase() {
    f_ = std::make_unique<WindowFixture>();
    const QString link = linkDir_.filePath(QStringLiteral("ttyVELMORA"));
    QVERIFY2(f_->startSim(
                 {QStringLiteral("--noise"), QStringLiteral("0"), QStringLiteral("--link"), link}),
             qPrintable(f_->sim->errorString()));
    f_->writeSettings(link);
    QVERIFY(f_->start());
    QTRY_VERIFY_WITH_TIMEOUT(f_->session().link().online.load(), kOnlineMs);
    f_->form->navigator().form_style(Navigator::Setup);
    f_->form->navigator().AbilPannel(1);
    // The platform swings a while after each load.
    QCOMPARE(f_->sim->send(QStringLiteral("settle 300")), QStringLiteral("OK settle 300"));
}

void TestCalibrationAssistant::cleanupTestCase() {
    f_.reset();
}

void TestCalibrationAssistant::cleanup() {
    BoxWatcher boxes(BoxWatcher::Ok);
    if (a())
        a()->close();
    QTRY_VERIFY(!a());
    f_->sim->send(QStringLiteral("error off"));
    load(QStringLiteral("0"));
}

CalibrationAssistant* TestCalibrationAssistant::open() {
    f_->form->findChild<CalibrationPage*>(QStringLiteral("Panel1"))->guidedButton()->click();
    return a();
}

bool TestCalibrationAssistant::zeroAndSpan() {
    if (!load(QStringLiteral("0")))
        return false;
    button("assistantNext")->click();  // job -> zero
    button("assistantNext")->click();  // the scale is empty
    if (!QTest::qWaitFor([&] { return a()->step() == CalibrationAssistant::Span; }, kStepMs)) {
        qWarning().noquote() << "zero:" << explain();
        return false;
    }
    type(a()->findChild<QLineEdit*>("knownWeight"), QStringLiteral("1000"));
    if (!load(QStringLiteral("1000")))
        return false;
    button("assistantNext")->click();
    if (!QTest::qWaitFor([&] { return a()->step() == CalibrationAssistant::Verify; }, kStepMs)) {
        qWarning().noquote() << "span:" << explain();
        return false;
    }
    return true;
}

bool TestCalibrationAssistant::verify(const QString& loads) {
    type(a()->findChild<QLineEdit*>("testLoads"), loads);
    const QList<double> order = Verification::sequence(*Verification::parseLoads(loads));
    for (int i = 0; i < order.size(); ++i) {
        if (!load(QString::number(order[i])))
            return false;
        button("assistantNext")->click();
        if (!QTest::qWaitFor([&] { return a()->verification()->rows().size() == i + 1; }, kStepMs))
            return false;
    }
    return a()->step() == CalibrationAssistant::Repeat;
}

void TestCalibrationAssistant::wholeRunWithCertificate() {
    BoxWatcher boxes(BoxWatcher::Ok);
    QVERIFY(open());
    type(a()->findChild<QLineEdit*>("technician"), QStringLiteral("Anna Lenz"));
    type(a()->findChild<QLineEdit*>("tag"), QStringLiteral("SCALE-7"));
    auto* refs = a()->findChild<QTableWidget*>("references");
    refs->setItem(0, 0, new QTableWidgetItem(QStringLiteral("1000")));
    refs->setItem(0, 1, new QTableWidgetItem(QStringLiteral("REF-55")));
    const QString before = QFile::exists(f_->home.file(QStringLiteral("Cal_log.txt")))
                               ? calLogCount()
                               : QStringLiteral("12");

    int m = mark();
    QVERIFY(load(QStringLiteral("0")));
    button("assistantNext")->click();
    QCOMPARE(a()->step(), CalibrationAssistant::Zero);
    button("assistantNext")->click();
    QVERIFY(a()->waiting());
    QVERIFY2(QTest::qWaitFor([&] { return a()->step() == CalibrationAssistant::Span; }, kStepMs),
             qPrintable(explain()));
    // Exactly the page's Zero: the calibration zero command, once.
    QCOMPARE(describe(writesSince(m)), describe({{reg(6), 16}}));

    type(a()->findChild<QLineEdit*>("knownWeight"), QStringLiteral("1000"));
    QVERIFY(load(QStringLiteral("1000")));
    m = mark();
    button("assistantNext")->click();
    QVERIFY2(QTest::qWaitFor([&] { return a()->step() == CalibrationAssistant::Verify; }, kStepMs),
             qPrintable(explain()));
    // Exactly the page's Acquire: the known weight to role 7, then 0x11.
    QCOMPARE(describe(writesSince(m)), describe({{reg(7), 1000}, {reg(6), 17}}));
    // The calibration log counted it once.
    QCOMPARE(calLogCount(), QString::number(before.toInt() + 1));

    QVERIFY(verify(QStringLiteral("0,1000,2000")));
    auto* repeat = a()->findChild<QCheckBox*>("repeatOn");
    repeat->setChecked(true);
    type(a()->findChild<QLineEdit*>("repeatLoad"), QStringLiteral("1000"));
    for (int i = 0; i < 3; ++i) {
        QVERIFY(load(QStringLiteral("0")));
        QVERIFY(load(QStringLiteral("1000")));
        button("assistantNext")->click();
        QTRY_COMPARE_WITH_TIMEOUT(a()->verification()->repeatability()->shown.size(),
                                  qsizetype(i + 1), kStepMs);
    }
    QCOMPARE(a()->step(), CalibrationAssistant::Result);
    QVERIFY2(a()->resultText().contains(QStringLiteral("Every reading is within tolerance")),
             qPrintable(a()->resultText()));
    QCOMPARE(calLogCount(), QString::number(before.toInt() + 1));

    QTemporaryDir out;
    QString error;
    QVERIFY2(a()->saveCertificate(out.path(), &error), qPrintable(error));
    const QStringList files = QDir(out.path()).entryList(QDir::Files, QDir::Name);
    QCOMPARE(files.size(), 2);
    QFile csv(out.filePath(files.at(0)));
    QVERIFY(files.at(0).endsWith(QLatin1String(".csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll(), QByteArray("applied;shown;error;tolerance;verdict\n"
                                       "0;0;0;0.5;pass\n"
                                       "1000;1000;0;1.0;pass\n"
                                       "2000;2000;0;1.0;pass\n"
                                       "1000;1000;0;1.0;pass\n"
                                       "0;0;0;0.5;pass\n"));
    {
        // A CSV that cannot be written takes its PDF with it: the names of
        // the next seconds are held by folders.
        QTemporaryDir blocked;
        const QDateTime now = QDateTime::currentDateTime();
        for (int s = 0; s < 5; ++s)
            QVERIFY(QDir(blocked.path())
                        .mkdir(now.addSecs(s).toString(
                            QStringLiteral("'certificate-'yyyyMMdd-HHmmss'.csv'"))));
        QVERIFY(!a()->saveCertificate(blocked.path(), &error));
        QVERIFY2(error.contains(QLatin1String(".csv")), qPrintable(error));
        QVERIFY(QDir(blocked.path()).entryList(QDir::Files).isEmpty());
    }
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed: the PDF's text is not checked");
    QProcess p;
    p.start(pdftotext, {QStringLiteral("-layout"), out.filePath(files.at(1)), QStringLiteral("-")});
    QVERIFY(p.waitForFinished(20000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    for (const QString& expected :
         {QStringLiteral("Anna Lenz"), QStringLiteral("SCALE-7"), QStringLiteral("REF-55"),
          QStringLiteral("DATV1218.def"), QStringLiteral("Overall verdict: Pass"),
          QStringLiteral("Repeatability"), QStringLiteral("Setup entries"),
          QString::number(before.toInt() + 1)})
        QVERIFY2(text.contains(expected), qPrintable(expected + " missing from:\n" + text));
    // Every reading, in order.
    QRegularExpression row(
        QStringLiteral("(\\d+)\\s*[\\x{2191}\\x{2193}]\\s+(\\d+)\\s+(\\d+)\\s+(\\d+)"));
    QStringList readings;
    for (auto it = row.globalMatch(text); it.hasNext();) {
        const auto m2 = it.next();
        readings << m2.captured(2) + QLatin1Char('/') + m2.captured(3);
    }
    QCOMPARE(readings, (QStringList{"0/0", "1000/1000", "2000/2000", "1000/1000", "0/0"}));
}

void TestCalibrationAssistant::failingPointNamed_data() {
    QTest::addColumn<bool>("inService");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("initial: 2 e fails") << false << "Outside tolerance: 1500 \u2191, 1500 \u2193";
    QTest::newRow("in service: 2 e passes") << true << "Every reading is within tolerance";
}

void TestCalibrationAssistant::failingPointNamed() {
    QFETCH(bool, inService);
    QFETCH(QString, verdict);
    BoxWatcher boxes(BoxWatcher::Ok);
    QVERIFY(open());
    a()->findChild<QComboBox*>("kind")->setCurrentIndex(inService ? 1 : 0);
    QVERIFY(zeroAndSpan());
    QVERIFY(f_->sim->send(QStringLiteral("error 1000:0,1500:2,2000:0")).startsWith("OK"));
    QVERIFY(verify(QStringLiteral("0,1500,2000")));
    button("assistantNext")->click();  // no repeatability
    QCOMPARE(a()->step(), CalibrationAssistant::Result);
    QVERIFY2(a()->resultText().contains(verdict), qPrintable(a()->resultText()));
    const auto rows = a()->verification()->rows();
    QCOMPARE(rows.at(1).shownText, QStringLiteral("1502"));
    QCOMPARE(rows.at(1).tolerance, inService ? 2.0 : 1.0);
}

void TestCalibrationAssistant::cancelAfterZero() {
    BoxWatcher boxes(BoxWatcher::Ok);
    QVERIFY(open());
    QVERIFY(load(QStringLiteral("0")));
    button("assistantNext")->click();
    button("assistantNext")->click();
    QTRY_COMPARE_WITH_TIMEOUT(a()->step(), CalibrationAssistant::Span, kStepMs);
    const int m = mark();
    button("assistantCancel")->click();
    QTRY_VERIFY(!a());
    QCOMPARE(boxes.texts(),
             QStringList{QStringLiteral(
                 "Cancelled. The instrument is as after the last completed step: the zero was "
                 "set.")});
    // Nothing after the zero went out.
    QTest::qWait(200);
    QCOMPARE(describe(writesSince(m)), QString());
}

void TestCalibrationAssistant::refusedZeroIsSaid() {
    BoxWatcher boxes(BoxWatcher::Ok);
    QVERIFY(open());
    const QString command = QString::number(reg(6));
    QCOMPARE(f_->sim->send(QStringLiteral("exception3 ") + command),
             QStringLiteral("OK exception3 ") + command);
    QVERIFY(load(QStringLiteral("0")));
    button("assistantNext")->click();
    button("assistantNext")->click();
    const bool said = QTest::qWaitFor(
        [&] { return a()->status().contains(QStringLiteral("did not take the command")); },
        kStepMs);
    f_->sim->send(QStringLiteral("exception3 off"));
    QVERIFY2(said, qPrintable(explain()));
    QCOMPARE(a()->status(), QStringLiteral("The instrument did not take the command: Zero"));
    QCOMPARE(a()->step(), CalibrationAssistant::Zero);
    QVERIFY(!a()->waiting());
}

void TestCalibrationAssistant::linkLostWhileWaiting() {
    BoxWatcher boxes(BoxWatcher::Ok);
    QVERIFY(open());
    QVERIFY(zeroAndSpan());
    type(a()->findChild<QLineEdit*>("testLoads"), QStringLiteral("0,500"));
    QVERIFY(load(QStringLiteral("0")));
    button("assistantNext")->click();
    QTRY_COMPARE_WITH_TIMEOUT(a()->verification()->rows().size(), qsizetype(1), kStepMs);

    // The next load swings long; the link goes meanwhile.
    QCOMPARE(f_->sim->send(QStringLiteral("settle 4000")), QStringLiteral("OK settle 4000"));
    QVERIFY(load(QStringLiteral("500")));
    button("assistantNext")->click();
    QCOMPARE(f_->sim->send(QStringLiteral("unplug")), QStringLiteral("OK unplug"));
    QTRY_VERIFY_WITH_TIMEOUT(!f_->session().link().online, 10000);
    QVERIFY2(
        QTest::qWaitFor(
            [&] {
                return a()->status().contains(QStringLiteral("link to the instrument is lost"));
            },
            5000),
        qPrintable(a()->status()));
    QCOMPARE(a()->findChild<QLabel*>("assistantWeight")->text(), QStringLiteral("- - - - -"));
    QVERIFY(a()->waiting());
    QCOMPARE(a()->verification()->rows().size(), qsizetype(1));

    QVERIFY(f_->sim->send(QStringLiteral("replug")).startsWith(QLatin1String("OK replug")));
    QTRY_VERIFY_WITH_TIMEOUT(f_->session().link().online.load(), kOnlineMs);
    QTRY_COMPARE_WITH_TIMEOUT(a()->verification()->rows().size(), qsizetype(2), kStepMs);
    QCOMPARE(a()->verification()->rows().at(1).shownText, QStringLiteral("500"));
    QCOMPARE(f_->sim->send(QStringLiteral("settle 300")), QStringLiteral("OK settle 300"));
}

void TestCalibrationAssistant::offlineExplains() {
    BoxWatcher boxes(BoxWatcher::Ok);
    QCOMPARE(f_->sim->send(QStringLiteral("unplug")), QStringLiteral("OK unplug"));
    QTRY_VERIFY_WITH_TIMEOUT(!f_->session().link().online, 10000);
    f_->form->findChild<CalibrationPage*>(QStringLiteral("Panel1"))->guidedButton()->click();
    QVERIFY(!a());
    QCOMPARE(boxes.seen.size(), 1);
    QVERIFY2(boxes.texts().first().contains(QStringLiteral("needs the instrument online")),
             qPrintable(boxes.texts().first()));
    QVERIFY(f_->sim->send(QStringLiteral("replug")).startsWith(QLatin1String("OK replug")));
}

QTEST_MAIN(TestCalibrationAssistant)
#include "tst_calibrationassistant.moc"
