#include "session/searchcontext.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include "link/portaddress.h"
#include "session/connection.h"
#include "session/hotplug.h"
#include "session/searchprobe.h"
#include "session/session.h"

namespace {

const QString kNoPort = QStringLiteral("NO");

// Device path, the link's target, and whatever the system knows of the
// adapter (udev's model and vendor, USB ids, serial number).
QString describePort(const QString& path, const QList<QSerialPortInfo>& known) {
    if (path == kNoPort)
        return path;
    QString text = path;
    const QFileInfo info(path);
    QString device = path;
    if (info.isSymLink()) {
        device = info.canonicalFilePath();
        if (!device.isEmpty() && device != path)
            text += QStringLiteral(" → ") + device;
    }
    for (const QSerialPortInfo& p : known) {
        if (p.systemLocation() != path && p.systemLocation() != device)
            continue;
        QStringList details;
        if (!p.description().isEmpty())
            details << p.description();
        if (!p.manufacturer().isEmpty() && p.manufacturer() != p.description())
            details << p.manufacturer();
        if (p.hasVendorIdentifier() && p.hasProductIdentifier())
            details << QStringLiteral("%1:%2")
                           .arg(p.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                           .arg(p.productIdentifier(), 4, 16, QLatin1Char('0'));
        if (!p.serialNumber().isEmpty())
            details << QStringLiteral("S/N ") + p.serialNumber();
        if (!details.isEmpty())
            text += QStringLiteral(" — ") + details.join(QStringLiteral(", "));
        break;
    }
    return text;
}

}  // namespace

SearchContext::SearchContext(Session& session, PortWatch& watch, QObject* parent)
    : QObject(parent), s_(session), watch_(watch), probe_(new SearchProbe(session, this)) {
    connect(&watch_, &PortWatch::portListChanged, this, &SearchContext::portListChanged);
    connect(probe_, &SearchProbe::probing, this, &SearchContext::probingAddress);
    connect(probe_, &SearchProbe::found, this, &SearchContext::found);
    connect(probe_, &SearchProbe::finished, this, &SearchContext::searchFinished);
}

SearchContext::~SearchContext() = default;

void SearchContext::cercacom() {
    watch_.cercacom();
}

QList<SearchContext::PortItem> SearchContext::portItems() const {
    const QList<QSerialPortInfo> known = QSerialPortInfo::availablePorts();
    QList<PortItem> items;
    for (const QString& path : watch_.ports())
        items.append(PortItem{path, describePort(path, known)});
    // Then the network ports used before, the chosen one first when it is
    // a network port not yet remembered (it is remembered once it opens).
    QStringList network = PortAddress::remembered(s_.settings().porte_rete);
    const QString porta = s_.settings().porta;
    if (PortAddress::looksNetwork(porta) && !network.contains(porta) && PortAddress::parse(porta))
        network.prepend(porta);
    for (const QString& address : network)
        items.append(PortItem{address, address});
    return items;
}

QStringList SearchContext::speedItems() {
    return SearchProbe::speedItems();
}

QString SearchContext::porta() const {
    return s_.settings().porta;
}

QString SearchContext::velocita() const {
    return s_.settings().velocita;
}

void SearchContext::choosePort(const QString& port, const QString& speed) {
    s_.settings().porta = port;
    s_.settings().velocita = speed;
    if (port != kNoPort) {
        s_.impostacom();
    } else {
        s_.port().close();
        s_.link().online = false;
        s_.connection().disablePages();
        s_.connection().refreshPresentation();
    }
}

int SearchContext::dialogShowing() {
    LinkState& link = s_.link();
    // The dialog is about to take the line: no instrument stays in a test.
    s_.endRunningTests();
    s_.tRecover().stop();
    link.uso_esclusivo = true;
    cercacom();
    if (s_.settings().porta == kNoPort) {
        link.online = false;
        s_.connection().disablePages();
        s_.connection().refreshPresentation();
        return 0;
    }
    return link.online ? link.indirizzo.load() : 0;
}

void SearchContext::setUpPort() {
    s_.impostacom();
}

void SearchContext::dialogHidden(bool chosen) {
    LinkState& link = s_.link();
    s_.connection().loadOfflineDefinition();
    link.uso_esclusivo = false;
    if (link.online || link.richiesta_stop)
        return;
    if (chosen) {
        s_.connection().connectInstrument();
    } else if (!link.modo_offline && s_.settings().porta != kNoPort) {
        // Showing the dialog stopped the recovery; without it an instrument
        // that was not chosen would never be reconnected.
        s_.tRecover().start();
    }
}

bool SearchContext::portChosen() const {
    return s_.settings().porta != kNoPort;
}

bool SearchContext::probing() const {
    return probe_->ricerca_attiva() || s_.link().ricerca;
}

int SearchContext::timeoutForSpeed(const QString& speed) const {
    return SearchProbe::timeoutForSpeed(speed);
}

void SearchContext::beforeRunTakesLine() {
    // Showing the dialog ended any test already; this covers one started
    // while the dialog stood open (a modeless dialog beside the test page).
    s_.endRunningTests();
}

void SearchContext::runSearch(const QString& speed) {
    if (probe_->ricerca_attiva() || !portChosen())
        return;
    // The probe reads the data base of a definition; before any instrument
    // answered there is none yet, and register 0 is nobody's data.
    if (s_.table().entryCount() == 0)
        s_.connection().loadOfflineDefinition();
    beforeRunTakesLine();
    probe_->btsearchClick(speed);
}

void SearchContext::stopSearch() {
    if (probe_->ricerca_attiva())
        probe_->btsearchClick(QString());
}

void SearchContext::choose(int address) {
    LinkState& link = s_.link();
    const QString text = QString::number(address);
    s_.settings().address = text;
    link.online = false;
    link.parametri_caricati = false;
    // The address field's own handler is kept quiet while the core sets it,
    // so the working address follows here, as typing it would have done.
    link.indirizzo = address;
    ControlModel& c = s_.controls();
    c.publish(ControlUpdate::setText(QStringLiteral("Eaddress"), text));
    c.publish(ControlUpdate::setText(QStringLiteral("lbaddress"), text));
    s_.flushControls();
    link.uso_esclusivo = false;
}
