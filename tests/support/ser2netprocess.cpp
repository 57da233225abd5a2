#include "support/ser2netprocess.h"

#include <signal.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>

Ser2NetProcess::Ser2NetProcess() = default;

Ser2NetProcess::~Ser2NetProcess() {
    stop();
}

QString Ser2NetProcess::programPath() {
    QString p = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    if (p.isEmpty())
        p = QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                           {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return p;
}

quint16 Ser2NetProcess::freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QString Ser2NetProcess::address() const {
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(telnet_ ? QStringLiteral("rfc2217") : QStringLiteral("tcp"))
        .arg(port_);
}

bool Ser2NetProcess::listening(quint16 port) {
    QFile f(QStringLiteral("/proc/net/tcp"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    // "sl local_address rem_address st ...": 0100007F:PORT, state 0A = LISTEN.
    const QByteArray wanted =
        QByteArray("0100007F:") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> cols = line.simplified().split(' ');
        if (cols.size() > 3 && cols[1] == wanted && cols[3] == "0A")
            return true;
    }
    return false;
}

bool Ser2NetProcess::start(const QString& device, bool telnet, int timeoutMs) {
    const QString program = programPath();
    if (program.isEmpty()) {
        error_ = QStringLiteral("ser2net is not installed");
        return false;
    }
    telnet_ = telnet;
    if (port_ == 0)
        port_ = freePort();
    // The pty is opened when a client connects and closed when it leaves;
    // "local" keeps modem lines from gating the data; a new client takes
    // the line from a stale one; bytes go out as they come rather than
    // being gathered for a few character times.
    const QString yaml = QStringLiteral(
                             "connection: &con\n"
                             "  accepter: %1tcp,127.0.0.1,%2\n"
                             "  connector: serialdev,%3,115200n81,local\n"
                             "  options:\n"
                             "    kickolduser: true\n"
                             "    chardelay: false\n")
                             .arg(telnet ? QStringLiteral("telnet(rfc2217),") : QString())
                             .arg(port_)
                             .arg(device);
    const QString config = dir_.filePath(QStringLiteral("ser2net.yaml"));
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(yaml.toUtf8()) < 0) {
        error_ = f.errorString();
        return false;
    }
    f.close();
    proc_.setProcessChannelMode(QProcess::MergedChannels);
    proc_.start(program, {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"), config,
                          QStringLiteral("-P"), dir_.filePath(QStringLiteral("ser2net.pid"))});
    if (!proc_.waitForStarted(timeoutMs)) {
        error_ = proc_.errorString();
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (!listening(port_)) {
        if (deadline.hasExpired() || proc_.state() == QProcess::NotRunning) {
            error_ = QStringLiteral("ser2net did not listen on %1: %2")
                         .arg(port_)
                         .arg(QString::fromLocal8Bit(proc_.readAll()));
            return false;
        }
        proc_.waitForFinished(20);  // a bounded pause that ends early if it dies
    }
    return true;
}

void Ser2NetProcess::kill() {
    if (proc_.state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(proc_.processId()), SIGKILL);
    proc_.waitForFinished(5000);
}

void Ser2NetProcess::stop() {
    if (proc_.state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(proc_.processId()), SIGTERM);
    if (!proc_.waitForFinished(3000))
        kill();
}
