// watch and log: the live weight as the display shows it. Both ride out a
// lost link (the display keeps its last value, as in the window) and end
// normally on Ctrl+C, which is how they are meant to be stopped.
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include "app/cli/clicommands.h"
#include "app/cli/clilink.h"
#include "app/cli/cliterminal.h"
#include "device/liverefresh.h"
#include "services/datalogger.h"

namespace {

struct Reading {
    QString weight;
    bool net = false;
    bool stable = false;
    bool overload = false;
    bool outOfRange = false;

    QStringList words() const {
        QStringList w;
        if (net)
            w << QStringLiteral("net");
        if (stable)
            w << QStringLiteral("stable");
        if (overload)
            w << QStringLiteral("overload");
        if (outOfRange)
            w << QStringLiteral("out of range");
        return w;
    }
    bool operator==(const Reading&) const = default;
};

constexpr int kStatusOutOfRange = 1 << 5;

Reading readingOf(Session& s, const LiveResult& r) {
    Reading x;
    // The text of the main weight display, exactly as the window shows it.
    x.weight = s.controls().text(QStringLiteral("LbPeso"));
    x.net = r.netShown;
    x.stable = r.stable;
    x.overload = r.overload;
    x.outOfRange = !r.overload && (s.display().statusFlags & kStatusOutOfRange);
    return x;
}

QString logFileName(const QString& operand) {
    return QFileInfo(operand).absoluteFilePath();
}

}  // namespace

int CliCommands::watch(const CliOptions& o, const CliOutput& out) {
    CliLink link(o, out);
    link.setResilient(true);
    link.connectInstrument();
    Session& s = link.session();

    // On a terminal the reading is redrawn in place; into a pipe or a file
    // a line goes out whenever it changes, at most five a second.
    const bool inPlace = !o.json && CliOutput::stdoutIsTerminal();
    const int minimumGapMs = inPlace ? 100 : 200;
    QElapsedTimer sincePrinted;
    Reading last;
    bool printedOnce = false;
    bool drawnInPlace = false;
    bool offlineShown = false;

    auto print = [&](const Reading& r, bool online) {
        QJsonObject doc;
        doc.insert(QStringLiteral("time"),
                   QDateTime::currentDateTime().toString(Qt::ISODateWithMs));
        doc.insert(QStringLiteral("online"), online);
        if (online) {
            doc.insert(QStringLiteral("weight"), r.weight);
            doc.insert(QStringLiteral("net"), r.net);
            doc.insert(QStringLiteral("stable"), r.stable);
            doc.insert(QStringLiteral("overload"), r.overload);
            doc.insert(QStringLiteral("outOfRange"), r.outOfRange);
        }
        out.document(doc);
        const QString text =
            online ? QStringLiteral("%1  %2")
                         .arg(r.weight.rightJustified(10), r.words().join(QLatin1Char(' ')))
                         .trimmed()
                   : QStringLiteral("offline");
        if (inPlace) {
            CliOutput::writeOut(
                (QStringLiteral("\r") + text + QStringLiteral("\x1b[K")).toLocal8Bit());
            drawnInPlace = true;
        } else {
            out.line(text);
        }
        sincePrinted.start();
    };

    link.presentation().onLive = [&](const LiveResult& result) {
        const Reading r = readingOf(s, result);
        if (printedOnce && r == last)
            return;
        if (printedOnce && sincePrinted.isValid() && sincePrinted.elapsed() < minimumGapMs)
            return;
        print(r, true);
        last = r;
        printedOnce = true;
        offlineShown = false;
    };
    // The core repeats the offline look at every failed attempt; say it once.
    QObject::connect(&link, &CliLink::onlineChanged, &link, [&](bool online) {
        if (!online && !offlineShown) {
            print(Reading(), false);
            printedOnce = false;
            offlineShown = true;
        }
    });

    const int limit = o.seconds ? static_cast<int>(*o.seconds * 1000.0) : -1;
    // Nobody left to read the readings ends the watch too.
    link.waitFor([] { return CliOutput::outputClosed(); }, limit);
    link.presentation().onLive = nullptr;
    link.finish();
    if (drawnInPlace)
        CliOutput::writeOut("\n");
    return kExitOk;
}

int CliCommands::log(const CliOptions& o, const CliOutput& out) {
    const QString path = logFileName(o.args.at(0));
    {
        const QFileInfo info(path);
        if (info.isDir())
            throw CliError{kExitFile, QStringLiteral("cannot log to %1: it is a folder").arg(path)};
        if (!QFileInfo(info.absolutePath()).isDir())
            throw CliError{kExitFile,
                           QStringLiteral("cannot log to %1: the folder %2 does not exist")
                               .arg(path, info.absolutePath())};
    }
    // The window asks "File exist, overwrite it?": yes empties the file, no
    // appends to it.
    bool overwrite = true;
    if (QFileInfo::exists(path)) {
        if (o.append) {
            overwrite = false;
        } else if (!o.yes) {
            switch (CliTerminal::ask(path + QStringLiteral(": File exist, overwrite it?"))) {
                case CliTerminal::Answer::Yes:
                    break;
                case CliTerminal::Answer::No:
                    overwrite = false;
                    break;
                case CliTerminal::Answer::NoAnswer:
                    if (CliSignals::interrupted())
                        throw CliError{kExitInterrupted, QStringLiteral("interrupted")};
                    throw CliError{kExitUsage,
                                   QStringLiteral("%1 exists: pass --yes to empty it or --append "
                                                  "to add to it")
                                       .arg(path)};
            }
        }
    }

    CliLink link(o, out);
    link.setResilient(true);
    link.connectInstrument();
    Session& s = link.session();

    // The first line must carry a weight, not the empty display.
    bool shown = false;
    link.presentation().onLive = [&](const LiveResult&) { shown = true; };
    link.waitFor([&] { return shown; }, 5000);
    link.presentation().onLive = nullptr;
    if (link.interrupted())
        return kExitOk;
    if (!shown)
        throw CliError{kExitInstrument,
                       QStringLiteral("no live weight came from the instrument; nothing logged")};

    DataLogger logger;
    QString error;
    if (!logger.start(path, overwrite, &error))
        throw CliError{kExitFile, error};
    const DataLogger::Mode mode = o.count     ? DataLogger::NumberOfLogs
                                  : o.seconds ? DataLogger::TimeBased
                                              : DataLogger::Manual;
    const qint64 stopValue = o.count ? *o.count : o.seconds ? static_cast<qint64>(*o.seconds) : 0;
    const double interval = parseReal(o.interval).value_or(1.0);
    out.note(QStringLiteral("Logging to %1 every %2 s (%3 lines already in it)")
                 .arg(path, o.interval)
                 .arg(logger.count()));

    bool done = false;
    QString writeError;
    QTimer tick;
    tick.setInterval(DataLogger::intervalMs(o.interval));
    QObject::connect(&tick, &QTimer::timeout, &link, [&] {
        const QString weight = s.controls().text(QStringLiteral("LbPeso"));
        const QDateTime now = QDateTime::currentDateTime();
        QString tickError;
        if (!logger.tick(now, weight, &tickError)) {
            // A line that cannot be written ends the run: the file would
            // silently miss readings otherwise.
            writeError = tickError;
            done = true;
            tick.stop();
            return;
        }
        QByteArray line = logger.lineFor(now, weight);
        line.chop(2);
        QJsonObject doc;
        doc.insert(QStringLiteral("line"), QString::fromLocal8Bit(line));
        doc.insert(QStringLiteral("weight"), weight);
        doc.insert(QStringLiteral("count"), logger.count());
        out.document(doc);
        if (!o.quiet)
            out.line(QString::fromLocal8Bit(line));
        if (DataLogger::limitReached(mode, logger.added(), stopValue, interval)) {
            done = true;
            tick.stop();
        }
    });
    bool warnedOffline = false;
    QObject::connect(&link, &CliLink::onlineChanged, &link, [&](bool online) {
        if (!online && !warnedOffline)
            out.warn(
                QStringLiteral("the instrument is offline; until it answers again each line "
                               "repeats the last weight shown"));
        warnedOffline = !online;
    });
    tick.start();
    link.waitFor([&] { return done; }, -1);
    tick.stop();
    link.finish();

    QJsonObject summary;
    summary.insert(QStringLiteral("file"), path);
    summary.insert(QStringLiteral("added"), logger.added());
    summary.insert(QStringLiteral("lines"), logger.count());
    summary.insert(QStringLiteral("stoppedBy"),
                   !writeError.isEmpty() ? QStringLiteral("error")
                   : done ? (mode == DataLogger::NumberOfLogs ? QStringLiteral("count")
                                                              : QStringLiteral("seconds"))
                          : QStringLiteral("interrupt"));
    if (!writeError.isEmpty())
        throw CliError{kExitFile,
                       QStringLiteral("%1; logging stopped after %2 lines")
                           .arg(writeError)
                           .arg(logger.added()),
                       summary};
    out.document(summary);
    out.note(QStringLiteral("%1 lines added to %2; it holds %3")
                 .arg(logger.added())
                 .arg(path)
                 .arg(logger.count()));
    return kExitOk;
}
