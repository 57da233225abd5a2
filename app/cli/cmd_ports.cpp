// ports and search: the window's port list and its probe loop.
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QSerialPortInfo>

#include "app/cli/clicommands.h"
#include "app/cli/clilink.h"
#include "base/programfolder.h"
#include "link/portaddress.h"
#include "session/hotplug.h"
#include "session/searchprobe.h"
#include "services/settingsfile.h"

namespace {

QString hex4(quint16 v) {
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0'));
}

}  // namespace

int CliCommands::ports(const CliOptions& o, const CliOutput& out) {
    // The list the window's port box shows: the system's serial ports plus
    // the configured one while it exists (a pty, a link to one).
    Session session;
    session.settings() = SettingsFile::load(0, 0).values;
    if (!o.port.isEmpty())
        session.settings().porta = o.port;
    PortWatch watch(session);
    watch.cercacom();

    QHash<QString, QSerialPortInfo> known;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        known.insert(info.systemLocation(), info);

    QJsonArray list;
    QList<QStringList> rows;
    for (const QString& port : watch.ports()) {
        if (port == QLatin1String("NO"))
            continue;
        const QSerialPortInfo info = known.value(port);
        QJsonObject p;
        p.insert(QStringLiteral("port"), port);
        p.insert(QStringLiteral("description"), info.description());
        p.insert(QStringLiteral("manufacturer"), info.manufacturer());
        p.insert(QStringLiteral("serialNumber"), info.serialNumber());
        QString usb;
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            usb = hex4(info.vendorIdentifier()) + QLatin1Char(':') + hex4(info.productIdentifier());
            p.insert(QStringLiteral("vendorId"), hex4(info.vendorIdentifier()));
            p.insert(QStringLiteral("productId"), hex4(info.productIdentifier()));
        }
        p.insert(QStringLiteral("configured"), port == session.settings().porta);
        list.append(p);
        QString description = info.description();
        if (!info.manufacturer().isEmpty())
            description +=
                (description.isEmpty() ? QString() : QStringLiteral(", ")) + info.manufacturer();
        rows.append({port, usb.isEmpty() ? QStringLiteral("-") : usb,
                     description.isEmpty() ? QStringLiteral("-") : description});
    }
    // The network ports the window used last, as its port list offers them.
    for (const QString& port : PortAddress::remembered(session.settings().porte_rete)) {
        QJsonObject p;
        p.insert(QStringLiteral("port"), port);
        p.insert(QStringLiteral("network"), true);
        p.insert(QStringLiteral("configured"), port == session.settings().porta);
        list.append(p);
        rows.append({port, QStringLiteral("-"), QStringLiteral("network port, used before")});
    }
    QJsonObject doc;
    doc.insert(QStringLiteral("ports"), list);
    out.document(doc);
    if (rows.isEmpty())
        out.note(QStringLiteral("No serial ports."));
    else
        out.table({QStringLiteral("PORT"), QStringLiteral("USB"), QStringLiteral("DESCRIPTION")},
                  rows);
    return kExitOk;
}

int CliCommands::search(const CliOptions& o, const CliOutput& out) {
    CliLink link(o, out);
    link.openPort();
    Session& s = link.session();

    SearchProbe probe(s);
    ProgressBar bar(out, QStringLiteral("Searching"));
    QObject::connect(&probe, &SearchProbe::probing, &probe,
                     [&bar](int address) { bar.set(address, SearchProbe::kLastAddress); });
    QObject::connect(&probe, &SearchProbe::found, &probe, [&](int, int address) {
        bar.finish();
        out.note(QStringLiteral("Found an instrument at address %1").arg(address));
    });
    // Ctrl+C is the STOP button: the run ends after the address being probed.
    QObject::connect(&link, &CliLink::interruptedNow, &probe, [&] {
        if (probe.ricerca_attiva())
            probe.btsearchClick(link.speed());
    });
    const QList<int> found = probe.btsearchClick(link.speed());
    bar.finish();
    link.finish();

    QJsonArray list;
    for (int a : found)
        list.append(a);
    QJsonObject doc;
    doc.insert(QStringLiteral("port"), link.portName());
    doc.insert(QStringLiteral("baud"), link.speed().toInt());
    doc.insert(QStringLiteral("found"), list);
    doc.insert(QStringLiteral("complete"), !link.interrupted());
    if (link.interrupted()) {
        out.document(doc);
        for (int a : found)
            out.line(QStringLiteral("address %1").arg(a));
        throw CliError{kExitInterrupted, QStringLiteral("search interrupted")};
    }
    if (found.isEmpty())
        throw CliError{kExitInstrument,
                       QStringLiteral("no instrument answered on %1 at %2 baud (addresses 1 to %3)")
                           .arg(link.portName(), link.speed())
                           .arg(SearchProbe::kLastAddress),
                       doc};
    out.document(doc);
    for (int a : found)
        out.line(QStringLiteral("address %1").arg(a));
    return kExitOk;
}
