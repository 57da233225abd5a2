#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "link/portaddress.h"
#include "support/ser2netprocess.h"
#include "window/networkportdialog.h"
#include "window/searchdialog.h"
#include "windowfixture.h"

// The window on a network port: "Network…" in the search dialog's port
// list, the address it makes, the search over it and the title; against
// velmora-sim behind ser2net's RFC 2217 accepter.
class TestNetSearch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void networkPortChosenSearchedAndRemembered();

private:
    TFSearch& dialog() { return f_->form->searchDialog(); }
    QComboBox* ports() { return dialog().findChild<QComboBox*>(QStringLiteral("CBPorta")); }
    QStringList portData() {
        QStringList out;
        for (int i = 0; i < ports()->count(); ++i)
            out << ports()->itemData(i).toString();
        return out;
    }
    NetworkPortDialog* chooseNetwork() {
        ports()->setCurrentIndex(ports()->findText(QStringLiteral("Network…")));
        return dialog().findChild<NetworkPortDialog*>();
    }

    std::unique_ptr<WindowFixture> f_;
    std::unique_ptr<Ser2NetProcess> server_;
};

void TestNetSearch::initTestCase() {
    if (SimProcess::programPath().isEmpty())
        QSKIP("this build has no velmora-sim");
    if (Ser2NetProcess::programPath().isEmpty())
        QSKIP("ser2net is not installed (Debian package ser2net; ./run test installs it)");
    f_ = std::make_unique<WindowFixture>();
    QVERIFY2(f_->startSim({QStringLiteral("--address"), QStringLiteral("7")}),
             qPrintable(f_->sim->errorString()));
    server_ = std::make_unique<Ser2NetProcess>();
    QVERIFY2(server_->start(f_->sim->ptyPath(), true), qPrintable(server_->errorString()));
    f_->writeSettings(QStringLiteral("NO"));
    QVERIFY(f_->start());
}

void TestNetSearch::cleanupTestCase() {
    f_.reset();
    server_.reset();
}

void TestNetSearch::networkPortChosenSearchedAndRemembered() {
    f_->form->searchAction()->trigger();
    QVERIFY(dialog().isVisible());
    QCOMPARE(ports()->itemText(ports()->count() - 1), QStringLiteral("Network…"));

    // A malformed address: said in the dialog, which stays open; nothing chosen.
    NetworkPortDialog* ask = chooseNetwork();
    QVERIFY(ask);
    QTRY_VERIFY(ask->isVisible());
    ask->hostEdit()->setText(QStringLiteral("my host"));
    ask->accept();
    QVERIFY(ask->isVisible());
    QVERIFY(ask->errorLabel()->isVisible());
    QVERIFY(ask->errorLabel()->text().contains(QLatin1String("is not a network port")));
    QCOMPARE(f_->session().settings().porta, QStringLiteral("NO"));

    // The server's address, telnet kind: chosen and opened at once.
    ask->hostEdit()->setText(QStringLiteral("127.0.0.1"));
    ask->portEdit()->setValue(server_->port());
    ask->kindBox()->setCurrentIndex(ask->kindBox()->findData(int(PortAddress::Rfc2217)));
    ask->accept();
    QCOMPARE(f_->session().settings().porta, server_->address());
    QVERIFY(f_->session().port().isOpen());
    QCOMPARE(ports()->currentData().toString(), server_->address());
    QVERIFY(f_->form->windowTitle().contains(server_->address()));

    // The search probes over it and finds the instrument.
    dialog().findChild<QPushButton*>(QStringLiteral("btsearch"))->click();
    QCOMPARE(dialog().trovati(), 1);
    dialog().findChild<QPushButton*>(QStringLiteral("Btsel01"))->click();
    QVERIFY(f_->session().waitUntil([&] { return f_->session().link().online.load(); }, 15000));
    QCOMPARE(f_->session().link().indirizzo.load(), 7);

    // Remembered: offered in the list the next time.
    f_->form->searchAction()->trigger();
    QVERIFY(portData().contains(server_->address()));
    dialog().close();
}

QTEST_MAIN(TestNetSearch)
#include "tst_netsearch.moc"
