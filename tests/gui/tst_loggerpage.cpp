// The "Data Logger" page on the real main window with the virtual
// instrument's weight on LbPeso: the file it writes, its three modes and
// their stop rules, the interval check, the questions, a file that vanishes
// or cannot be written, and the settings kept at close. One simulator and
// one window for the whole executable; the close runs last.
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include "dialoganswers.h"
#include "services/settingsfile.h"
#include "window/loggerpage.h"
#include "window/navigator.h"
#include "windowfixture.h"

namespace {
constexpr int kOnlineMs = 20000;

QStringList linesOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    while (!f.atEnd())
        lines << QString::fromLocal8Bit(f.readLine());
    return lines;
}
bool writeLines(const QString& path, int n) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (int i = 0; i < n; ++i)
        f.write("01/01/2020;10:00:0" + QByteArray::number(i) + ";1.5\r\n");
    return true;
}
}  // namespace

class TestLoggerPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void storedSettingsAreShown();
    void modeCaptions();
    void intervalEdit_data();
    void intervalEdit();
    void browseStartsAtTheFileAndRecounts();
    void numberOfLogsAppends();
    void timeBasedStopsAfterItsSeconds();
    void vanishedFileIsCreatedAgain();
    void refusedStarts();
    void unwritableFileStopsLogging();
    void settingsKeptAtClose();

private:
    LoggerPage* page() { return qobject_cast<LoggerPage*>(f_.form->navigator().page(12)); }
    template <typename T = QWidget>
    T* control(const char* name) {
        return f_.control<T>(name);
    }
    // As the technician: pick an item, type into an edit and leave it.
    void chooseMode(int index) {
        auto* combo = control<QComboBox>("CBtipologPC");
        combo->setCurrentIndex(index);
        Q_EMIT combo->activated(index);
    }
    void type(const char* edit, const QString& text) {
        auto* e = control<QLineEdit>(edit);
        e->clear();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }
    // Names the log file through the Browse dialog.
    void browseTo(const QString& path) {
        answers_.file(path);
        control<QPushButton>("btlogfile")->click();
    }
    QString count() { return control<QLabel>("LbPClogcount")->text(); }

    WindowFixture f_;
    QTemporaryDir dir_;
    DialogAnswers answers_;
};

void TestLoggerPage::initTestCase() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("this build has no velmora-sim");
    QVERIFY(dir_.isValid());
    QVERIFY2(f_.startSim({QStringLiteral("--noise"), QStringLiteral("0"), QStringLiteral("--load"),
                          QStringLiteral("3")}),
             qPrintable(f_.sim->errorString()));
    fdati s;
    s.porta = f_.sim->ptyPath();
    s.f_top = QStringLiteral("40");
    s.f_left = QStringLiteral("60");
    s.logfilename = dir_.filePath(QStringLiteral("stored.csv"));
    s.loginterval = QStringLiteral("2.5");
    s.logmode = QStringLiteral("2");
    s.lognum = QStringLiteral("75");
    QVERIFY(writeLines(s.logfilename, 3));
    f_.home.write(QString::fromLatin1(SettingsFile::kFileName), SettingsFile::serialize(s));
    QVERIFY(f_.start());
    QVERIFY(QTest::qWaitFor([this] { return f_.session().link().parametri_caricati.load(); },
                            kOnlineMs));
    QTRY_COMPARE_WITH_TIMEOUT(control<QLabel>("LbPeso")->text(), QStringLiteral("3"), 10000);
    f_.form->navigator().form_style(Navigator::Service);
    f_.form->navigator().AbilPannel(12);
    QVERIFY(control("Panel12")->isVisible());
}

void TestLoggerPage::init() {
    answers_.clear();
}

void TestLoggerPage::storedSettingsAreShown() {
    QCOMPARE(control<QLineEdit>("Elogfile")->text(), dir_.filePath(QStringLiteral("stored.csv")));
    QCOMPARE(control<QLineEdit>("eintervalPC")->text(), QStringLiteral("2.5"));
    QCOMPARE(control<QLineEdit>("ElogstopPC")->text(), QStringLiteral("75"));
    QCOMPARE(control<QComboBox>("CBtipologPC")->currentIndex(), 2);
    QCOMPARE(control<QComboBox>("CBtipologPC")->currentText(), QStringLiteral("Time based"));
    QVERIFY(control("ElogstopPC")->isVisible());
    // The file was counted when the window was first shown.
    QCOMPARE(count(), QStringLiteral("3"));
    QVERIFY(!page()->logging());
    QVERIFY(!control("btStopPC")->isEnabled());
}

void TestLoggerPage::modeCaptions() {
    chooseMode(0);
    QVERIFY(control("ElogstopPC")->isHidden());
    QVERIFY(control("lblogstopPC")->isHidden());
    QCOMPARE(f_.session().settings().logmode, QStringLiteral("0"));
    chooseMode(1);
    QVERIFY(control("ElogstopPC")->isVisible());
    QCOMPARE(control<QLabel>("lblogstopPC")->text(), QStringLiteral("Number of logs"));
    QCOMPARE(f_.session().settings().logmode, QStringLiteral("1"));
    chooseMode(2);
    QCOMPARE(control<QLabel>("lblogstopPC")->text(), QStringLiteral("Seconds"));
    QCOMPARE(f_.session().settings().logmode, QStringLiteral("2"));
    // The offline look's default selection leaves a chosen mode alone.
    f_.session().decoder().defaultSelections();
    f_.session().flushControls();
    QCOMPARE(control<QComboBox>("CBtipologPC")->currentIndex(), 2);
}

void TestLoggerPage::intervalEdit_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("below the minimum") << "0.05" << "0.2";
    QTest::newRow("one decimal, halves up") << "2.25" << "2.3";
    QTest::newRow("whole") << "1" << "1.0";
    QTest::newRow("no number keeps the last") << "abc" << "1.0";
}

void TestLoggerPage::intervalEdit() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    type("eintervalPC", typed);
    QCOMPARE(control<QLineEdit>("eintervalPC")->text(), shown);
    QCOMPARE(f_.session().settings().loginterval, shown);
}

void TestLoggerPage::browseStartsAtTheFileAndRecounts() {
    const QString stored = dir_.filePath(QStringLiteral("stored.csv"));
    // Changed behind the page's back: cancelling the dialog still recounts.
    QVERIFY(writeLines(stored, 4));
    answers_.file(QString());
    control<QPushButton>("btlogfile")->click();
    QCOMPARE(answers_.seen.size(), 1);
    QCOMPARE(answers_.seen[0].name, QStringLiteral("Save1"));
    QCOMPARE(QDir(answers_.seen[0].directory), QDir(dir_.path()));
    QCOMPARE(answers_.seen[0].selected, QStringLiteral("stored.csv"));
    QCOMPARE(count(), QStringLiteral("4"));
    QCOMPARE(control<QLineEdit>("Elogfile")->text(), stored);

    const QString other = dir_.filePath(QStringLiteral("other.csv"));
    browseTo(other);
    QCOMPARE(control<QLineEdit>("Elogfile")->text(), other);
    QCOMPARE(f_.session().settings().logfilename, other);
    QCOMPARE(count(), QStringLiteral("0"));
}

void TestLoggerPage::numberOfLogsAppends() {
    const QString path = dir_.filePath(QStringLiteral("five.csv"));
    QVERIFY(writeLines(path, 5));
    browseTo(path);
    QCOMPARE(count(), QStringLiteral("5"));
    chooseMode(1);
    type("ElogstopPC", QStringLiteral("10"));
    type("eintervalPC", QStringLiteral("0.05"));
    answers_.no();
    QElapsedTimer clock;
    clock.start();
    control<QPushButton>("btStartPC")->click();
    QCOMPARE(answers_.boxTexts(), QStringList{QStringLiteral("File exist, overwrite it?")});
    QVERIFY(page()->logging());
    QCOMPARE(page()->Tlog().interval(), 200);
    QVERIFY(control("btStopPC")->isEnabled());
    QVERIFY(!control("eintervalPC")->isEnabled());
    QVERIFY(!control("CBtipologPC")->isEnabled());
    QVERIFY(control("btStartPC")->isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(!page()->logging(), 15000);
    // Ten lines 200 ms apart: the last one at least 1.8 s after the start.
    QVERIFY(clock.elapsed() >= 1800);
    const QStringList lines = linesOf(path);
    QCOMPARE(lines.size(), 15);
    QCOMPARE(count(), QStringLiteral("15"));
    static const QRegularExpression line(QStringLiteral("^[^;]+;[^;]+;3\\r\\n$"));
    for (int i = 5; i < 15; ++i)
        QVERIFY2(line.match(lines[i]).hasMatch(), qPrintable(lines[i]));
    QVERIFY(lines[0].startsWith(QStringLiteral("01/01/2020")));
    QVERIFY(!control("btStopPC")->isEnabled());
    QVERIFY(control("eintervalPC")->isEnabled());
    QVERIFY(control("CBtipologPC")->isEnabled());

    // Yes empties the file first.
    chooseMode(1);
    type("ElogstopPC", QStringLiteral("2"));
    answers_.clear();
    answers_.yes();
    control<QPushButton>("btStartPC")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!page()->logging(), 15000);
    QCOMPARE(linesOf(path).size(), 2);
    QCOMPARE(count(), QStringLiteral("2"));
}

void TestLoggerPage::timeBasedStopsAfterItsSeconds() {
    browseTo(dir_.filePath(QStringLiteral("sixty.csv")));
    chooseMode(2);
    type("eintervalPC", QStringLiteral("1.0"));
    type("ElogstopPC", QStringLiteral("60"));
    control<QPushButton>("btStartPC")->click();
    QCOMPARE(answers_.seen.size(), 1);  // the dialog only: a new file needs no question
    QVERIFY(page()->logging());
    QCOMPARE(page()->Tlog().interval(), 1000);
    // The rule counts the interval's seconds per line, not the clock: the
    // timer is hurried so the sixty lines do not take a minute.
    page()->Tlog().setInterval(5);
    QTRY_VERIFY_WITH_TIMEOUT(!page()->logging(), 15000);
    QCOMPARE(linesOf(dir_.filePath(QStringLiteral("sixty.csv"))).size(), 60);
    QCOMPARE(count(), QStringLiteral("60"));

    // Below one second a time-based run does not stop by itself.
    type("eintervalPC", QStringLiteral("0.5"));
    answers_.clear();
    answers_.yes();
    control<QPushButton>("btStartPC")->click();
    page()->Tlog().setInterval(5);
    QTRY_VERIFY_WITH_TIMEOUT(count().toInt() > 130, 15000);
    QVERIFY(page()->logging());
    control<QPushButton>("btStopPC")->click();
    QVERIFY(!page()->logging());
}

void TestLoggerPage::vanishedFileIsCreatedAgain() {
    const QString path = dir_.filePath(QStringLiteral("vanish.csv"));
    browseTo(path);
    chooseMode(0);
    type("eintervalPC", QStringLiteral("0.2"));
    control<QPushButton>("btStartPC")->click();
    QTRY_VERIFY_WITH_TIMEOUT(count().toInt() >= 2, 10000);
    QVERIFY(QFile::remove(path));
    const int before = count().toInt();
    QTRY_VERIFY_WITH_TIMEOUT(count().toInt() >= before + 2, 10000);
    control<QPushButton>("btStopPC")->click();
    const int shown = count().toInt();
    // The count goes on from where it was; the new file holds what came since.
    QVERIFY(QFile::exists(path));
    QVERIFY(linesOf(path).size() >= 1);
    QCOMPARE(linesOf(path).size(), shown - before);
    QVERIFY(shown > before);
}

void TestLoggerPage::refusedStarts() {
    auto* file = control<QLineEdit>("Elogfile");
    const QString kept = file->text();
    file->clear();
    control<QPushButton>("btStartPC")->click();
    QCOMPARE(answers_.boxTexts(), QStringList{QStringLiteral("File not Found!")});
    QVERIFY(!page()->logging());
    file->setText(kept);

    for (int mode : {1, 2}) {
        answers_.clear();
        chooseMode(mode);
        type("ElogstopPC", QString());
        control<QPushButton>("btStartPC")->click();
        QCOMPARE(answers_.boxTexts(), QStringList{QStringLiteral("Invalid stop value!")});
        QVERIFY(!page()->logging());
    }
    // Manual control needs no stop value.
    answers_.clear();
    chooseMode(0);
    answers_.yes();
    control<QPushButton>("btStartPC")->click();
    QVERIFY(page()->logging());
    control<QPushButton>("btStopPC")->click();
}

void TestLoggerPage::unwritableFileStopsLogging() {
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("gone")));
    const QString path = dir_.filePath(QStringLiteral("gone/log.csv"));
    browseTo(path);
    chooseMode(0);
    type("eintervalPC", QStringLiteral("0.2"));
    control<QPushButton>("btStartPC")->click();
    QTRY_VERIFY_WITH_TIMEOUT(count().toInt() >= 1, 10000);
    // The folder goes: no tick can create the file again.
    QVERIFY(QDir(dir_.filePath(QStringLiteral("gone"))).removeRecursively());
    QTRY_VERIFY_WITH_TIMEOUT(!page()->logging(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(answers_.boxTexts().size(), 1, 5000);
    QVERIFY2(answers_.boxTexts().first().startsWith(QStringLiteral("Data logger stopped!")),
             answers_.describe().constData());
    QVERIFY(!f_.home.logMessages().filter(QStringLiteral("Errore: Data logger - ")).isEmpty());
    QVERIFY(!control("btStopPC")->isEnabled());
    QVERIFY(control("CBtipologPC")->isEnabled());
}

void TestLoggerPage::settingsKeptAtClose() {
    const QString path = dir_.filePath(QStringLiteral("kept.csv"));
    browseTo(path);
    chooseMode(1);
    type("eintervalPC", QStringLiteral("2.25"));
    type("ElogstopPC", QStringLiteral("33"));
    answers_.clear();
    control<QPushButton>("btStartPC")->click();
    QVERIFY(page()->logging());
    QVERIFY(f_.form->close());
    QVERIFY(!page()->logging());
    const SettingsFile::LoadResult r = SettingsFile::load(0, 0);
    QVERIFY(r.found);
    QCOMPARE(r.values.logfilename, path);
    QCOMPARE(r.values.loginterval, QStringLiteral("2.3"));
    QCOMPARE(r.values.logmode, QStringLiteral("1"));
    QCOMPARE(r.values.lognum, QStringLiteral("33"));
}

QTEST_MAIN(TestLoggerPage)
#include "tst_loggerpage.moc"
