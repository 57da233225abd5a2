// The traffic monitor on the real window against one simulator whose every
// 5th reply has a wrong LRC: opened from the Connect menu and with Ctrl+T,
// following the link live, its filter, pause, clearing and CSV export, and
// a write typed into EVal1 shown by name with its old and new value.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "boxwatcher.h"
#include "link/traffictap.h"
#include "pagetraffic.h"
#include "window/topstrip.h"
#include "window/trafficwindow.h"
#include "windowfixture.h"

class TestTrafficWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void menuAndCtrlTOpenTheMonitor();
    void typedSetpointShowsByNameWithOldAndNew();
    void filterCountersAndPicture();
    void pauseHoldsAndClearEmpties();
    void exportWritesWhatIsShown();
    void closedMonitorStopsListening();

private:
    TrafficWindow& monitor() { return f_->form->trafficWindow(); }
    template <typename T>
    T* in(const char* name) {
        T* w = monitor().findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    // Rows of the source model whose text in `column` contains `text`.
    int rowWith(int column, const QString& text, int from = 0) {
        for (int r = from; r < monitor().model().rowCount(); ++r)
            if (monitor().model().text(r, column).contains(text))
                return r;
        return -1;
    }

    std::unique_ptr<WindowFixture> f_;
    std::unique_ptr<BoxWatcher> boxes_;
};

void TestTrafficWindow::initTestCase() {
    f_ = std::make_unique<WindowFixture>();
    boxes_ = std::make_unique<BoxWatcher>(BoxWatcher::Ok);
    QVERIFY2(f_->startSim({QStringLiteral("--corrupt-lrc-every"), QStringLiteral("5"),
                           QStringLiteral("--noise"), QStringLiteral("0"), QStringLiteral("--load"),
                           QStringLiteral("12.5")}),
             qPrintable(f_->sim->errorString()));
    f_->writeSettings(f_->sim->ptyPath());
    QVERIFY(f_->start());
    QTRY_VERIFY_WITH_TIMEOUT(f_->session().link().parametri_caricati.load(), 20000);
    f_->form->show();
}

void TestTrafficWindow::cleanupTestCase() {
    f_.reset();
    boxes_.reset();
}

void TestTrafficWindow::menuAndCtrlTOpenTheMonitor() {
    QVERIFY(!f_->session().traffic().enabled());
    auto* connectMenu = f_->form->menuBar()->findChild<QMenu*>(QStringLiteral("Connect1"));
    QVERIFY(connectMenu);
    QAction* item = nullptr;
    for (QAction* a : connectMenu->actions())
        if (a->objectName() == QLatin1String("Traffic1"))
            item = a;
    QVERIFY(item);
    QVERIFY(item->text().startsWith(QStringLiteral("Traffic")));
    item->trigger();
    QVERIFY(monitor().isVisible());
    QVERIFY(f_->session().traffic().enabled());
    monitor().hide();
    QVERIFY(!f_->session().traffic().enabled());

    QTest::keyClick(f_->form.get(), Qt::Key_T, Qt::ControlModifier);
    QVERIFY(monitor().isVisible());
    QCOMPARE(monitor().windowTitle(), QStringLiteral("Traffic"));
    // The live polls follow: rows come without anything being asked.
    QTRY_VERIFY_WITH_TIMEOUT(monitor().model().rowCount() >= 6, 5000);
    QVERIFY(rowWith(TrafficModel::Meaning, QStringLiteral("poll: live values")) >= 0);
}

void TestTrafficWindow::typedSetpointShowsByNameWithOldAndNew() {
    Session& s = f_->session();
    const ParameterTable& t = s.table();
    const int index = t.findRole(3);
    QVERIFY(index >= 0);
    const QString old = t.entry(index).value;
    f_->form->strip().pageButton(4)->click();
    auto* edit = f_->form->findChild<QLineEdit*>(QStringLiteral("EVal1"));
    QVERIFY(edit && edit->isVisible());
    const int from = monitor().model().rowCount();
    typeAndLeave(edit, old == QLatin1String("0") ? QStringLiteral("3") : QStringLiteral("0"));
    const QString now = t.entry(index).value;
    QVERIFY(now != old);
    const QString expected =
        t.entry(index).name + QStringLiteral(" (role 3): ") + old + QStringLiteral(" → ") + now;
    QTRY_VERIFY_WITH_TIMEOUT(rowWith(TrafficModel::Entries, expected, from) >= 0, 5000);
    const int row = rowWith(TrafficModel::Entries, expected, from);
    QCOMPARE(monitor().model().text(row, TrafficModel::Letter), QStringLiteral("W"));
    // Every fifth reply arrives damaged here: the write may need a second send.
    const QString result = monitor().model().text(row, TrafficModel::Result);
    QVERIFY2(result == QLatin1String("answered") ||
                 result == QLatin1String("answered after 2 sends"),
             qPrintable(result));
}

void TestTrafficWindow::filterCountersAndPicture() {
    // A refused write among the corrupted replies.
    const ParameterTable& t = f_->session().table();
    const int reg = t.entry(t.findRole(4)).regOffset;
    QCOMPARE(f_->sim->send(QStringLiteral("exception3 %1").arg(reg)).left(2), QStringLiteral("OK"));
    auto* edit = f_->form->findChild<QLineEdit*>(QStringLiteral("EVal2"));
    QVERIFY(edit && edit->isVisible());
    typeAndLeave(edit, t.entry(t.findRole(4)).value == QLatin1String("2") ? QStringLiteral("4")
                                                                          : QStringLiteral("2"));
    f_->sim->send(QStringLiteral("exception3 off"));
    QTRY_VERIFY_WITH_TIMEOUT(rowWith(TrafficModel::Result, QStringLiteral("refused (code 3)")) >= 0,
                             5000);
    QTRY_VERIFY_WITH_TIMEOUT(rowWith(TrafficModel::Replies, QStringLiteral("checksum")) >= 0, 8000);

    auto* filter = in<QComboBox>("CBFilter");
    filter->setCurrentIndex(TrafficFilter::Writes);
    QVERIFY(monitor().filter().rowCount() >= 2);
    for (int r = 0; r < monitor().filter().rowCount(); ++r)
        QCOMPARE(monitor().filter().index(r, TrafficModel::Letter).data().toString(),
                 QStringLiteral("W"));
    filter->setCurrentIndex(TrafficFilter::Problems);
    QVERIFY(monitor().filter().rowCount() >= 2);
    QVERIFY(monitor().filter().rowCount() < monitor().model().rowCount());
    for (int r = 0; r < monitor().filter().rowCount(); ++r) {
        const int source = monitor().filter().mapToSource(monitor().filter().index(r, 0)).row();
        QVERIFY(monitor().model().row(source).record.isProblem());
    }

    const TrafficCounters& c = monitor().counters();
    QVERIFY(c.refused >= 1);
    QVERIFY(c.damaged >= 1);
    // A damaged reply is resent, but a line goes with the exchange on the line
    // when it arrives, so damaged lines and retries need not pair one to one.
    QVERIFY(c.retries >= 1);
    QCOMPARE(in<QLabel>("lbExchanges")->text(), QString::number(c.exchanges));
    QCOMPARE(in<QLabel>("lbDamaged")->text(), QString::number(c.damaged));
    QCOMPARE(in<QLabel>("lbRefused")->text(), QString::number(c.refused));
    QCOMPARE(in<QLabel>("lbWorstReply")->text(), QStringLiteral("%1 ms").arg(c.replyMsWorst));

    // ./run screenshots keeps a picture of the monitor in a faulty session.
    const QString shots = qEnvironmentVariable("VELMORA_SHOT_DIR");
    if (!shots.isEmpty()) {
        filter->setCurrentIndex(TrafficFilter::All);
        QTest::qWait(50);
        QVERIFY(monitor().grab().save(shots + QStringLiteral("/traffic.png")));
    }
    filter->setCurrentIndex(TrafficFilter::All);
}

void TestTrafficWindow::pauseHoldsAndClearEmpties() {
    auto* pause = in<QPushButton>("BtPause");
    pause->click();
    QVERIFY(monitor().paused());
    QCOMPARE(pause->text(), QStringLiteral("Resume"));
    const int rows = monitor().model().rowCount();
    const qint64 counted = monitor().counters().exchanges;
    // The link goes on; the table does not move, the counters do.
    QTRY_VERIFY_WITH_TIMEOUT(monitor().counters().exchanges >= counted + 4, 5000);
    QCOMPARE(monitor().model().rowCount(), rows);
    pause->click();
    QVERIFY(!monitor().paused());
    QVERIFY(monitor().model().rowCount() >= rows + 4);

    in<QPushButton>("BtClear")->click();
    QVERIFY(monitor().model().rowCount() <= 1);
    QVERIFY(monitor().counters().exchanges <= 1);
    QTRY_VERIFY_WITH_TIMEOUT(monitor().model().rowCount() >= 3, 5000);
}

void TestTrafficWindow::exportWritesWhatIsShown() {
    QTemporaryDir dir;
    auto* filter = in<QComboBox>("CBFilter");
    filter->setCurrentIndex(TrafficFilter::Problems);
    QTRY_VERIFY_WITH_TIMEOUT(monitor().filter().rowCount() >= 1, 8000);
    in<QPushButton>("BtPause")->click();  // what is shown stays put while it is written
    const QString path = dir.filePath(QStringLiteral("traffic.csv"));
    QString error;
    QVERIFY2(monitor().exportCsv(path, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    // Header, one line per shown row, and the empty rest after the last CR LF.
    QCOMPARE(lines.size(), monitor().filter().rowCount() + 2);
    QVERIFY(lines.first().startsWith("Time,Cmd,Exchange,Entries,Outcome"));
    QVERIFY(lines.first().endsWith("\r"));
    // A folder that is not there: nothing written, a reason given.
    QVERIFY(!monitor().exportCsv(dir.filePath(QStringLiteral("missing/traffic.csv")), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing/traffic.csv"))));
    in<QPushButton>("BtPause")->click();
    filter->setCurrentIndex(TrafficFilter::All);
}

void TestTrafficWindow::closedMonitorStopsListening() {
    in<QPushButton>("BtClose")->click();
    QVERIFY(!monitor().isVisible());
    QVERIFY(!f_->session().traffic().enabled());
    const int rows = monitor().model().rowCount();
    f_->session().mySleep(400);
    QCOMPARE(monitor().model().rowCount(), rows);
}

QTEST_MAIN(TestTrafficWindow)
#include "tst_trafficwindow.moc"
