#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class PortWatch;
class SearchProbe;
class Session;

// What the search dialog reaches in the core: the port list with what tells
// adapters apart, the port and speed settings, the probe run, the choice of
// an instrument and the steps of showing and hiding the dialog. The dialog
// itself only lays out results.
class SearchContext : public QObject {
    Q_OBJECT
public:
    // One entry of the port list: the device path the settings keep, and a
    // text a technician can tell adapters apart by.
    struct PortItem {
        QString path;
        QString text;
    };

    SearchContext(Session& session, PortWatch& watch, QObject* parent = nullptr);
    ~SearchContext() override;

    // ---- the port and speed lists ----
    // cercacom: the port list scanned again; portListChanged follows.
    void cercacom();
    // The scanned list, "NO" included, sorted by path, then the network
    // ports used before.
    QList<PortItem> portItems() const;
    static QStringList speedItems();
    QString porta() const;
    QString velocita() const;
    // CBPortaChange: the port and speed chosen take effect at once.
    void choosePort(const QString& port, const QString& speed);

    // ---- showing and hiding the dialog ----
    // The first half of showing: the recovery stops, the line is kept for
    // the dialog, the port list is scanned. Returns the address of the
    // instrument online now (to be shown as the first result), else 0.
    int dialogShowing();
    // The second half: the port set up again (without connecting).
    void setUpPort();
    // The dialog went away: the link is handed back; with no instrument
    // online, the chosen one is connected, or the recovery resumes.
    void dialogHidden(bool chosen);

    // ---- the probe ----
    bool portChosen() const;
    // True while a run walks the addresses or a probe holds the line.
    bool probing() const;
    // Runs a probe of every address at the speed's timeout; returns when the
    // run ends (the window keeps running meanwhile).
    void runSearch(const QString& speed);
    // STOP: the run ends after the address being probed.
    void stopSearch();
    int timeoutForSpeed(const QString& speed) const;

    // BtselClick: the instrument at this address becomes the working one
    // (settings, address field and label); the connection follows on hiding.
    void choose(int address);

Q_SIGNALS:
    void portListChanged();
    void probingAddress(int address);
    void found(int number, int address);
    void searchFinished();

private:
    // Every activity that must let go of the line before a search run takes
    // it ends here.
    void beforeRunTakesLine();

    Session& s_;
    PortWatch& watch_;
    SearchProbe* probe_;
};
