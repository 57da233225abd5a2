// velmora-sim: a Modbus ASCII weighing instrument on a pseudo-terminal.
#include <sys/socket.h>
#include <unistd.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "device/paramtable.h"
#include "base/programfolder.h"
#include "sim/controlchannel.h"
#include "sim/faultinjector.h"
#include "sim/ptyport.h"
#include "sim/siminstrument.h"
#include "sim/simserver.h"
#include "sim/trafficlog.h"

namespace {

int g_signalFd = -1;

void onSignal(int) {
    const char c = 1;
    // Nothing else is safe in a handler; the event loop reads the byte.
    [[maybe_unused]] const ssize_t n = ::write(g_signalFd, &c, 1);
}

void warn(const QString& text) {
    std::fprintf(stderr, "velmora-sim: %s\n", qPrintable(text));
    std::fflush(stderr);
}

[[noreturn]] void fail(const QString& text, int code = 2) {
    warn(text);
    std::exit(code);
}

int intOption(const QCommandLineParser& p, const QString& name, int min, int max, int fallback) {
    if (!p.isSet(name))
        return fallback;
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v < min || v > max)
        fail(QStringLiteral("--%1 takes a whole number from %2 to %3, not \"%4\"")
                 .arg(name)
                 .arg(min)
                 .arg(max)
                 .arg(p.value(name)));
    return v;
}

double doubleOption(const QCommandLineParser& p, const QString& name, double fallback) {
    if (!p.isSet(name))
        return fallback;
    bool ok = false;
    const double v = p.value(name).toDouble(&ok);
    if (!ok)
        fail(QStringLiteral("--%1 takes a number, not \"%2\"").arg(name, p.value(name)));
    return v;
}

// Model and release a definition file name stands for (DATVppRR.def), so an
// instrument started on a given file identifies as the program that file is for.
std::optional<std::pair<int, int>> identityOfFile(const QString& path) {
    static const QRegularExpression re(QStringLiteral("^DATV([0-9A-Fa-f]{2})([0-9]{2})\\.def$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(QFileInfo(path).fileName());
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const QString pp = m.captured(1);
    int model = pp.toInt(&ok, 10);
    if (!ok)
        model = pp.toInt(&ok, 16);
    return std::make_pair(model, m.captured(2).toInt());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "A virtual weighing instrument: serves Modbus ASCII on a pseudo-terminal and prints\n"
        "\"PTY <path>\" as its first line. Open that path (or --link) as the serial port."));
    p.addHelpOption();
    p.addVersionOption();
    const QList<QCommandLineOption> options = {
        {QStringLiteral("def"), QStringLiteral("Definition file of the register map."),
         QStringLiteral("FILE")},
        {QStringLiteral("model"),
         QStringLiteral("Program number it identifies as (default 12, or the --def name's)."),
         QStringLiteral("P")},
        {QStringLiteral("release"),
         QStringLiteral("Release it identifies as (default 18, or the --def name's)."),
         QStringLiteral("R")},
        {QStringLiteral("home"),
         QStringLiteral("Program folder whose Config/ holds the definitions."),
         QStringLiteral("DIR")},
        {QStringLiteral("address"),
         QStringLiteral(
             "Factory Modbus address, 1-127 (default 1; an address saved in --state wins). A "
             "list such as 3,105 puts one instrument per address on the line, as on an RS-485 "
             "bus, each with its own parameters (and its own state file, --state FILE.<N>); "
             "the control commands drive the first."),
         QStringLiteral("N[,N...]")},
        {QStringLiteral("link"), QStringLiteral("Symlink to the pty, kept across replug."),
         QStringLiteral("PATH")},
        {QStringLiteral("state"), QStringLiteral("File keeping the saved parameters across runs."),
         QStringLiteral("FILE")},
        {QStringLiteral("baud"),
         QStringLiteral("Pace replies to the wire time of request and reply at this baud rate, "
                        "plus the response time."),
         QStringLiteral("B")},
        {QStringLiteral("traffic"),
         QStringLiteral("Append one JSON line per request to this file."), QStringLiteral("FILE")},
        {QStringLiteral("stdin-control"),
         QStringLiteral("Take commands on stdin: load <kg>, unplug, replug, input <1|2> <0|1>, "
                        "silent on|off, delay <ms>, exception3 <register>|off, status, quit.")},
        {QStringLiteral("load"), QStringLiteral("Load on the scale at start, in kg (default 0)."),
         QStringLiteral("KG")},
        {QStringLiteral("noise"),
         QStringLiteral("Converter noise in counts (default 10; 0 for none)."),
         QStringLiteral("COUNTS")},
        {QStringLiteral("seed"),
         QStringLiteral("Seed of the noise and fault generators (default 1)."),
         QStringLiteral("N")},
        {QStringLiteral("silent"), QStringLiteral("Fault: never answer.")},
        {QStringLiteral("silent-after"), QStringLiteral("Fault: answer N frames, then nothing."),
         QStringLiteral("N")},
        {QStringLiteral("corrupt-lrc-every"),
         QStringLiteral("Fault: every Nth reply has a wrong LRC."), QStringLiteral("N")},
        {QStringLiteral("wrong-address-every"),
         QStringLiteral("Fault: every Nth reply comes from another address."), QStringLiteral("N")},
        {QStringLiteral("exception3-on-register"),
         QStringLiteral("Fault: any read or write touching register R answers exception 3."),
         QStringLiteral("R")},
        {QStringLiteral("delay-ms"),
         QStringLiteral("Fault: hold every reply back MS milliseconds."), QStringLiteral("MS")},
        {QStringLiteral("garbage-every"),
         QStringLiteral("Fault: every Nth reply has noise bytes before the ':'."),
         QStringLiteral("N")},
        {QStringLiteral("split-replies"),
         QStringLiteral("Fault: deliver each reply in several pieces.")},
    };
    p.addOptions(options);
    p.process(app);
    if (!p.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument \"%1\"; see --help")
                 .arg(p.positionalArguments().first()));

    if (p.isSet(QStringLiteral("home")))
        ProgramFolder::setPath(p.value(QStringLiteral("home")));

    SimInstrument::Config config;
    QString defPath;
    if (p.isSet(QStringLiteral("def"))) {
        defPath = p.value(QStringLiteral("def"));
        // A file named outright must be there; only --model/--release fall back.
        if (!QFileInfo::exists(defPath))
            fail(QStringLiteral("definition file %1 not found").arg(defPath), 1);
        if (const auto id = identityOfFile(defPath))
            std::tie(config.model, config.release) = *id;
    }
    config.model = intOption(p, QStringLiteral("model"), 0, 255, config.model);
    config.release = intOption(p, QStringLiteral("release"), 0, 255, config.release);
    if (defPath.isEmpty())
        defPath = chooseDefinition(config.model, config.release).path;
    QList<int> addresses{1};
    if (p.isSet(QStringLiteral("address"))) {
        addresses.clear();
        const QString text = p.value(QStringLiteral("address"));
        for (const QString& item : text.split(QLatin1Char(','))) {
            bool ok = false;
            const int a = item.trimmed().toInt(&ok);
            if (!ok || a < 1 || a > 127)
                fail(QStringLiteral("--address takes whole numbers from 1 to 127 separated by "
                                    "commas, not \"%1\"")
                         .arg(text));
            if (addresses.contains(a))
                fail(QStringLiteral("--address names %1 twice; two instruments at one address "
                                    "would answer over each other")
                         .arg(a));
            addresses.append(a);
        }
    }
    config.address = addresses.first();
    config.noiseCounts = doubleOption(p, QStringLiteral("noise"), 10.0);
    config.seed = static_cast<quint32>(intOption(p, QStringLiteral("seed"), 0, 2147483647, 1));
    config.loadKg = doubleOption(p, QStringLiteral("load"), 0.0);
    config.stateFile = p.value(QStringLiteral("state"));
    const int baud = intOption(p, QStringLiteral("baud"), 1, 10000000, 0);

    FaultOptions faults;
    faults.silent = p.isSet(QStringLiteral("silent"));
    faults.silentAfter = intOption(p, QStringLiteral("silent-after"), 0, 2147483647, -1);
    faults.corruptLrcEvery = intOption(p, QStringLiteral("corrupt-lrc-every"), 1, 2147483647, 0);
    faults.wrongAddressEvery =
        intOption(p, QStringLiteral("wrong-address-every"), 1, 2147483647, 0);
    faults.exception3Register =
        intOption(p, QStringLiteral("exception3-on-register"), 0, 65535, -1);
    faults.delayMs = intOption(p, QStringLiteral("delay-ms"), 0, 600000, 0);
    faults.garbageEvery = intOption(p, QStringLiteral("garbage-every"), 1, 2147483647, 0);
    faults.splitReplies = p.isSet(QStringLiteral("split-replies"));

    // One instrument per address; on a shared line each keeps its own
    // parameters, state file and noise.
    std::vector<std::unique_ptr<SimInstrument>> instruments;
    QString error;
    QStringList warnings;
    for (qsizetype k = 0; k < addresses.size(); ++k) {
        SimInstrument::Config c = config;
        c.address = addresses[k];
        c.seed = config.seed + static_cast<quint32>(k);
        if (addresses.size() > 1 && !c.stateFile.isEmpty())
            c.stateFile += QLatin1Char('.') + QString::number(c.address);
        auto instrument = std::make_unique<SimInstrument>(c);
        if (!instrument->loadDefinition(defPath, &error, k == 0 ? &warnings : nullptr))
            fail(error, 1);
        warnings << instrument->loadState();
        instruments.push_back(std::move(instrument));
    }
    for (const QString& w : warnings)
        warn(w);
    std::vector<SimInstrument*> onLine;
    for (const auto& i : instruments)
        onLine.push_back(i.get());
    SimInstrument& instrument = *instruments.front();

    TrafficLog traffic;
    if (p.isSet(QStringLiteral("traffic")) &&
        !traffic.open(p.value(QStringLiteral("traffic")), &error))
        fail(QStringLiteral("traffic log ") + error, 1);

    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        fail(QStringLiteral("socketpair failed"), 1);
    g_signalFd = fds[0];
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    // A parent that stops reading our stdout must not kill us mid-save.
    std::signal(SIGPIPE, SIG_IGN);
    QSocketNotifier signalNotifier(fds[1], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(fds[1], &c, 1);
        QCoreApplication::quit();
    });

    PtyPort port(p.value(QStringLiteral("link")));
    FaultInjector injector(faults, config.seed);
    SimServer server(onLine, injector, port, &traffic, baud);
    if (!port.open(&error))
        fail(error, 1);
    printLine(QStringLiteral("PTY ") + port.slavePath());

    ControlChannel control(instrument, server, port);
    if (p.isSet(QStringLiteral("stdin-control"))) {
        QObject::connect(&control, &ControlChannel::quitRequested, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        control.listen(STDIN_FILENO);
    }

    const int rc = app.exec();
    port.close();
    return rc;
}
