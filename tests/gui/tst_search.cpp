#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "session/searchcontext.h"
#include "window/searchdialog.h"
#include "windowfixture.h"

// The search dialog on the real window, against two simulated instruments
// sharing one line at addresses 3 and 105; what went over the line is read
// back from the simulator's traffic file.
class TestSearch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void portAndSpeedLists();
    void stopAndCloseDuringARun();
    void bothInstrumentsKeepTheirPanels();
    void choosingConnectsAndStores();
    void offlineModeRunFindsNothing();

private:
    TFSearch& dialog() { return f_->form->searchDialog(); }
    template <typename T>
    T* in(const char* name) {
        return dialog().findChild<T*>(QLatin1String(name));
    }
    void openDialog();
    void selectSpeed(const QString& speed);
    // Probe requests (read input registers, one register at the data base)
    // in traffic records from `from` on, as (address, answer) pairs.
    QList<QPair<int, QString>> probesSince(qsizetype from) const;
    QStringList panelCaptions();

    std::unique_ptr<WindowFixture> f_;
};

void TestSearch::initTestCase() {
    f_ = std::make_unique<WindowFixture>();
    QVERIFY2(f_->startSim({QStringLiteral("--address"), QStringLiteral("3,105")}),
             qPrintable(f_->sim->errorString()));
    f_->writeSettings(f_->sim->ptyPath());
    QVERIFY(f_->start());
    // Nobody answers at the stored address 1: the window stays offline.
    QVERIFY(!f_->session().link().online);
}

void TestSearch::cleanupTestCase() {
    f_.reset();
}

void TestSearch::cleanup() {
    if (dialog().isVisible())
        dialog().close();
}

void TestSearch::openDialog() {
    f_->form->searchAction()->trigger();
    QVERIFY(dialog().isVisible());
    QVERIFY(f_->session().link().uso_esclusivo);
    QVERIFY(!f_->session().tRecover().isActive());
    QVERIFY(f_->session().port().isOpen());
}

void TestSearch::selectSpeed(const QString& speed) {
    auto* baud = in<QComboBox>("CBBaud");
    baud->setCurrentIndex(baud->findText(speed));
    QCOMPARE(f_->session().settings().velocita, speed);
    QVERIFY(f_->session().port().isOpen());
}

QList<QPair<int, QString>> TestSearch::probesSince(qsizetype from) const {
    QList<QPair<int, QString>> probes;
    const QList<QJsonObject> records = f_->sim->traffic();
    for (qsizetype i = from; i < records.size(); ++i) {
        const QJsonObject& r = records[i];
        if (r.value(QStringLiteral("function")).toInt() == 4 &&
            r.value(QStringLiteral("register")).toInt(-1) == f_->session().table().dataBase &&
            r.value(QStringLiteral("count")).toInt() == 1)
            probes.append({r.value(QStringLiteral("address")).toInt(),
                           r.value(QStringLiteral("answer")).toString()});
    }
    return probes;
}

QStringList TestSearch::panelCaptions() {
    QStringList captions;
    for (QFrame* panel : dialog().resultPanels()) {
        const auto buttons = panel->findChildren<QPushButton*>();
        captions << (buttons.size() == 1 ? buttons.first()->text() : QStringLiteral("?"));
    }
    return captions;
}

void TestSearch::portAndSpeedLists() {
    openDialog();
    QCOMPARE(dialog().windowTitle(), QStringLiteral("Search"));
    auto* ports = in<QComboBox>("CBPorta");
    QStringList paths;
    for (int i = 0; i < ports->count(); ++i)
        paths << ports->itemData(i).toString();
    // "Network…" closes the list, after the sorted ports.
    QCOMPARE(ports->itemText(ports->count() - 1), QStringLiteral("Network…"));
    paths.removeLast();
    QVERIFY(paths.contains(QStringLiteral("NO")));
    QVERIFY(paths.contains(f_->sim->ptyPath()));
    QStringList sorted = paths;
    sorted.sort();
    QCOMPARE(paths, sorted);
    // The configured port is the one selected, shown by its device path.
    QCOMPARE(ports->currentData().toString(), f_->sim->ptyPath());
    QVERIFY(ports->currentText().startsWith(f_->sim->ptyPath()));

    auto* baud = in<QComboBox>("CBBaud");
    QVERIFY(baud->isHidden());
    QCOMPARE(baud->count(), 9);
    QCOMPARE(baud->itemText(0), QStringLiteral("1200"));
    QCOMPARE(baud->itemText(8), QStringLiteral("115200"));
    QCOMPARE(baud->currentText(), f_->session().settings().velocita);
    QCOMPARE(dialog().context().timeoutForSpeed(QStringLiteral("19200")), 80);
    QCOMPARE(dialog().context().timeoutForSpeed(QStringLiteral("115200")), 44);
    QCOMPARE(in<QPushButton>("btsearch")->text(), QStringLiteral("SEARCH"));
    QVERIFY(in<QProgressBar>("PBsearch")->isHidden());
}

void TestSearch::stopAndCloseDuringARun() {
    openDialog();
    selectSpeed(QStringLiteral("115200"));
    auto* button = in<QPushButton>("btsearch");
    auto* bar = in<QProgressBar>("PBsearch");
    const qsizetype mark = f_->sim->traffic().size();
    bool closeRefused = false;
    bool progressShown = false;
    QMetaObject::Connection c =
        connect(&dialog().context(), &SearchContext::probingAddress, this, [&](int address) {
            if (address == 40) {
                // Events run while the probe waits: the close arrives mid-run.
                QTimer::singleShot(0, this, [&] {
                    progressShown = bar->isVisible() && bar->value() == 40 &&
                                    button->text() == QLatin1String("STOP");
                    dialog().close();
                    closeRefused = dialog().isVisible() && f_->session().link().ricerca.load();
                });
            } else if (address == 50) {
                QTimer::singleShot(0, button, &QPushButton::click);
            }
        });
    button->click();
    disconnect(c);
    QVERIFY(closeRefused);
    QVERIFY(progressShown);
    QVERIFY(dialog().isVisible());
    // Address 50 was probed, nothing after it.
    QTRY_VERIFY(!probesSince(mark).isEmpty() && probesSince(mark).last().first == 50);
    QCOMPARE(probesSince(mark).size(), 50);
    QCOMPARE(panelCaptions(), QStringList{QStringLiteral("CH: 3")});
    QCOMPARE(button->text(), QStringLiteral("Search"));
    QVERIFY(bar->isHidden());
    QVERIFY(!f_->session().link().ricerca);
    // Idle again: now the dialog closes, and its panels go with it.
    dialog().close();
    QVERIFY(!dialog().isVisible());
    QVERIFY(dialog().resultPanels().isEmpty());
    QVERIFY(!f_->session().link().uso_esclusivo);
}

void TestSearch::bothInstrumentsKeepTheirPanels() {
    openDialog();
    selectSpeed(QStringLiteral("115200"));
    const qsizetype mark = f_->sim->traffic().size();
    in<QPushButton>("btsearch")->click();
    QCOMPARE(dialog().trovati(), 2);
    QCOMPARE(panelCaptions(), (QStringList{QStringLiteral("CH: 3"), QStringLiteral("CH: 105")}));
    QVERIFY(dialog().findChild<QFrame*>(QStringLiteral("DAT01"))->isVisible());
    QVERIFY(dialog().findChild<QFrame*>(QStringLiteral("DAT02"))->isVisible());
    QVERIFY(dialog().findChild<QPushButton*>(QStringLiteral("Btsel02"))->isEnabled());
    QVERIFY(!dialog().findChild<QFrame*>(QStringLiteral("DAT"))->isVisible());
    // ./run screenshots keeps a picture of the dialog with its two results.
    const QString shots = qEnvironmentVariable("VELMORA_SHOT_DIR");
    if (!shots.isEmpty())
        QVERIFY(dialog().grab().save(shots + QStringLiteral("/search.png")));

    // Every address once, in order; only the two instruments answered.
    QTRY_COMPARE(probesSince(mark).size(), 127);
    const auto probes = probesSince(mark);
    for (int a = 1; a <= 127; ++a) {
        QCOMPARE(probes[a - 1].first, a);
        const bool present = a == 3 || a == 105;
        QCOMPARE(probes[a - 1].second,
                 present ? QStringLiteral("reply") : QStringLiteral("ignored"));
    }

    // A second run clears the first one's panels before adding its own.
    in<QPushButton>("btsearch")->click();
    QCOMPARE(panelCaptions(), (QStringList{QStringLiteral("CH: 3"), QStringLiteral("CH: 105")}));
}

void TestSearch::choosingConnectsAndStores() {
    openDialog();
    selectSpeed(QStringLiteral("115200"));
    in<QPushButton>("btsearch")->click();
    QCOMPARE(panelCaptions(), (QStringList{QStringLiteral("CH: 3"), QStringLiteral("CH: 105")}));
    const qsizetype mark = f_->sim->traffic().size();
    dialog().findChild<QPushButton*>(QStringLiteral("Btsel02"))->click();
    QVERIFY(!dialog().isVisible());
    QCOMPARE(f_->session().settings().address, QStringLiteral("105"));
    QCOMPARE(f_->control<QLineEdit>("Eaddress")->text(), QStringLiteral("105"));
    QCOMPARE(f_->control<QLabel>("lbaddress")->text(), QStringLiteral("105"));
    QTRY_VERIFY_WITH_TIMEOUT(f_->session().link().online && f_->session().link().parametri_caricati,
                             15000);
    // The identification and the read-out went to 105 alone.
    const QList<QJsonObject> records = f_->sim->traffic();
    bool identified = false;
    for (qsizetype i = mark; i < records.size(); ++i) {
        const QJsonObject& r = records[i];
        QCOMPARE(r.value(QStringLiteral("address")).toInt(), 105);
        if (r.value(QStringLiteral("function")).toInt() == 4 &&
            r.value(QStringLiteral("register")).toInt() == 5)
            identified = true;
    }
    QVERIFY(identified);

    // Opened again while online: the instrument in use is the one result,
    // and closing leaves it connected.
    openDialog();
    QCOMPARE(panelCaptions(), QStringList{QStringLiteral("CH: 105")});
    dialog().close();
    QVERIFY(f_->session().link().online);
    QVERIFY(!f_->session().link().uso_esclusivo);
}

void TestSearch::offlineModeRunFindsNothing() {
    openDialog();
    selectSpeed(QStringLiteral("115200"));
    LinkState& link = f_->session().link();
    link.modo_offline = true;
    int highest = 0;
    QMetaObject::Connection c = connect(&dialog().context(), &SearchContext::probingAddress, this,
                                        [&](int address) { highest = std::max(highest, address); });
    const qsizetype mark = f_->sim->traffic().size();
    in<QPushButton>("btsearch")->click();
    disconnect(c);
    link.modo_offline = false;
    QCOMPARE(highest, 127);
    QVERIFY(dialog().resultPanels().isEmpty());
    QCOMPARE(dialog().trovati(), 0);
    QVERIFY(probesSince(mark).isEmpty());
}

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
