#include "link/portaddress.h"

#include <QHostAddress>
#include <QRegularExpression>

#include "base/texts.h"

namespace {

const QLatin1String kSeparator("://");

// A host name as DNS allows it: labels of letters, digits and hyphens.
bool validHostName(const QString& host) {
    static const QRegularExpression re(
        QStringLiteral("^(?=.{1,253}$)([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)(\\.[A-Za-z0-9]("
                       "[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*\\.?$"));
    return re.match(host).hasMatch();
}

}  // namespace

QString PortAddress::kindScheme(Kind kind) {
    switch (kind) {
        case Tcp:
            return QStringLiteral("tcp");
        case Rfc2217:
            return QStringLiteral("rfc2217");
        case Serial:
            break;
    }
    return {};
}

QString PortAddress::text() const {
    if (kind == Serial)
        return path;
    const QString h =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return kindScheme(kind) + kSeparator + h + QLatin1Char(':') + QString::number(port);
}

bool PortAddress::looksNetwork(const QString& name) {
    return name.contains(kSeparator);
}

std::optional<PortAddress> PortAddress::parse(const QString& name, QString* error) {
    PortAddress a;
    if (!looksNetwork(name)) {
        a.path = name;
        return a;
    }
    const auto fail = [&]() -> std::optional<PortAddress> {
        if (error)
            *error = tr_("%1 is not a network port: write tcp://HOST:PORT or rfc2217://HOST:PORT.")
                         .arg(name);
        return std::nullopt;
    };
    const qsizetype sep = name.indexOf(kSeparator);
    const QString scheme = name.left(sep).toLower();
    if (scheme == QLatin1String("tcp"))
        a.kind = Tcp;
    else if (scheme == QLatin1String("rfc2217"))
        a.kind = Rfc2217;
    else
        return fail();
    const QString rest = name.mid(sep + kSeparator.size());
    QString host;
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        // [IPv6]:PORT
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":"))
            return fail();
        host = rest.mid(1, close - 1);
        portText = rest.mid(close + 2);
        QHostAddress ip;
        if (!ip.setAddress(host) || ip.protocol() != QAbstractSocket::IPv6Protocol)
            return fail();
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon <= 0 || rest.indexOf(QLatin1Char(':')) != colon)
            return fail();
        host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (!validHostName(host))
            return fail();
    }
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    if (!digits.match(portText).hasMatch())
        return fail();
    const int port = portText.toInt();
    if (port < 1 || port > 65535)
        return fail();
    a.host = host;
    a.port = static_cast<quint16>(port);
    return a;
}

QStringList PortAddress::remembered(const QString& text) {
    QStringList out;
    for (const QString& item : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const std::optional<PortAddress> a = parse(item.trimmed());
        if (!a || !a->isNetwork() || out.contains(a->text()))
            continue;
        out.append(a->text());
        if (out.size() == kRemembered)
            break;
    }
    return out;
}

QString PortAddress::rememberedText(const QStringList& list) {
    return list.join(QLatin1Char(';'));
}

QStringList PortAddress::remember(QStringList list, const QString& address) {
    const std::optional<PortAddress> a = parse(address);
    if (!a || !a->isNetwork())
        return list;
    list.removeAll(a->text());
    list.prepend(a->text());
    while (list.size() > kRemembered)
        list.removeLast();
    return list;
}
