#include "sim/controlchannel.h"

#include <unistd.h>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>

#include "sim/faultinjector.h"
#include "sim/ptyport.h"
#include "sim/siminstrument.h"
#include "sim/simserver.h"

void printLine(const QString& line) {
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

ControlChannel::ControlChannel(SimInstrument& instrument, SimServer& server, PtyPort& port,
                               QObject* parent)
    : QObject(parent), instrument_(instrument), server_(server), port_(port) {}

QStringList ControlChannel::execute(const QString& line, bool* quit) {
    *quit = false;
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    const QString cmd = words.first().toLower();
    const auto err = [](const QString& why) { return QStringList{QStringLiteral("ERR ") + why}; };

    if (cmd == QLatin1String("load")) {
        bool ok = false;
        const double kg = words.size() == 2 ? words[1].toDouble(&ok) : 0.0;
        if (!ok)
            return err(QStringLiteral("usage: load <kg>"));
        server_.syncClock();
        instrument_.setLoad(kg);
        return {QStringLiteral("OK load %1").arg(kg)};
    }
    if (cmd == QLatin1String("settle")) {
        bool ok = false;
        const int ms = words.size() == 2 ? words[1].toInt(&ok) : -1;
        if (!ok || ms < 0 || ms > 600000)
            return err(QStringLiteral("usage: settle <ms> (0-600000)"));
        server_.syncClock();
        instrument_.scale().setSettlingMs(ms);
        return {QStringLiteral("OK settle %1").arg(ms)};
    }
    if (cmd == QLatin1String("error")) {
        const auto usage =
            err(QStringLiteral("usage: error off|<kg>:<divisions>[,<kg>:<divisions>...]"));
        if (words.size() != 2)
            return usage;
        std::vector<std::pair<double, double>> curve;
        if (words[1] != QLatin1String("off")) {
            for (const QString& point : words[1].split(QLatin1Char(','))) {
                const QStringList xy = point.split(QLatin1Char(':'));
                bool okX = false;
                bool okY = false;
                const double x = xy.size() == 2 ? xy[0].toDouble(&okX) : 0.0;
                const double y = xy.size() == 2 ? xy[1].toDouble(&okY) : 0.0;
                if (!okX || !okY)
                    return usage;
                curve.emplace_back(x, y);
            }
        }
        server_.syncClock();
        instrument_.scale().setErrorCurve(std::move(curve));
        return {QStringLiteral("OK error ") + words[1]};
    }
    if (cmd == QLatin1String("unplug")) {
        if (words.size() != 1)
            return err(QStringLiteral("usage: unplug"));
        server_.dropPending();
        port_.close();
        return {QStringLiteral("OK unplug")};
    }
    if (cmd == QLatin1String("replug")) {
        if (words.size() != 1)
            return err(QStringLiteral("usage: replug"));
        server_.dropPending();
        QString error;
        if (!port_.open(&error))
            return err(QStringLiteral("replug: ") + error);
        return {QStringLiteral("PTY ") + port_.slavePath(),
                QStringLiteral("OK replug ") + port_.slavePath()};
    }
    if (cmd == QLatin1String("input")) {
        bool okN = false;
        bool okS = false;
        const int n = words.size() == 3 ? words[1].toInt(&okN) : 0;
        const int s = words.size() == 3 ? words[2].toInt(&okS) : -1;
        if (!okN || !okS || n < 1 || n > 2 || s < 0 || s > 1)
            return err(QStringLiteral("usage: input <1|2> <0|1>"));
        instrument_.setInput(n - 1, s == 1);
        return {QStringLiteral("OK input %1 %2").arg(n).arg(s)};
    }
    if (cmd == QLatin1String("status")) {
        server_.syncClock();
        QJsonObject o = instrument_.status();
        o.insert(QStringLiteral("plugged"), port_.isOpen());
        o.insert(QStringLiteral("pty"), port_.slavePath());
        o.insert(QStringLiteral("link"), port_.linkPath());
        o.insert(QStringLiteral("requests"), static_cast<double>(server_.requestsSeen()));
        return {QStringLiteral("STATUS ") +
                QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact))};
    }
    if (cmd == QLatin1String("silent")) {
        if (words.size() != 2 ||
            (words[1] != QLatin1String("on") && words[1] != QLatin1String("off")))
            return err(QStringLiteral("usage: silent on|off"));
        server_.faults().setSilent(words[1] == QLatin1String("on"));
        return {QStringLiteral("OK silent ") + words[1]};
    }
    if (cmd == QLatin1String("delay")) {
        bool ok = false;
        const int ms = words.size() == 2 ? words[1].toInt(&ok) : -1;
        if (!ok || ms < 0 || ms > 600000)
            return err(QStringLiteral("usage: delay <ms> (0-600000)"));
        server_.faults().setDelayMs(ms);
        return {QStringLiteral("OK delay %1").arg(ms)};
    }
    if (cmd == QLatin1String("exception3")) {
        bool ok = false;
        const int reg = words.size() != 2                  ? -2
                        : words[1] == QLatin1String("off") ? -1
                                                           : words[1].toInt(&ok);
        if (reg < -1 || (reg >= 0 && (!ok || reg > 65535)))
            return err(QStringLiteral("usage: exception3 <register 0-65535>|off"));
        server_.faults().setException3Register(reg);
        return {QStringLiteral("OK exception3 ") + words[1]};
    }
    if (cmd == QLatin1String("quit")) {
        *quit = true;
        return {QStringLiteral("OK quit")};
    }
    return err(QStringLiteral("unknown command: ") + words.first());
}

void ControlChannel::listen(int fd) {
    fd_ = fd;
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ControlChannel::onReadable);
}

void ControlChannel::onReadable() {
    char buf[1024];
    ssize_t n;
    do {
        n = ::read(fd_, buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        // The parent closed our input: nobody is left to stop us.
        notifier_->setEnabled(false);
        Q_EMIT quitRequested();
        return;
    }
    pending_.append(buf, n);
    qsizetype eol;
    while ((eol = pending_.indexOf('\n')) >= 0) {
        const QString line = QString::fromLocal8Bit(pending_.left(eol)).trimmed();
        pending_.remove(0, eol + 1);
        bool quit = false;
        for (const QString& out : execute(line, &quit))
            printLine(out);
        if (quit) {
            notifier_->setEnabled(false);
            Q_EMIT quitRequested();
            return;
        }
    }
}
