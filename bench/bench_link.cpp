// Link figures against the virtual instrument paced at real baud rates:
// live-weight update rate against the pass-rhythm limit, read-out time
// against the wire-time limit, and the process's CPU use while polling.
#include <sys/resource.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

#include "base/programfolder.h"
#include "session/session.h"
#include "link/codec.h"
#include "session/requests.h"
#include "session/trafficdecoder.h"
#include "support/ser2netprocess.h"
#include "support/simprocess.h"

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long maxRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

struct CountingView : Presentation {
    int refreshes = 0;
    void liveRefresh(const LiveResult&) override { ++refreshes; }
};

// Seconds a frame of n characters takes on the wire at 10 bits a character.
double wire(int chars, int baud) {
    return chars * 10.0 / baud;
}

// Request and reply lengths in characters (":" + hex + LRC + CR LF).
int frameChars(int bodyBytes) {
    return 1 + 2 * (bodyBytes + 1) + 2;
}

// The port the link talks over: the simulator's pty itself, or ser2net in
// front of it on loopback (raw TCP or telnet RFC 2217).
enum class Kind { Serial, Tcp, Rfc2217 };

const char* kindName(Kind k) {
    return k == Kind::Serial ? "serial" : k == Kind::Tcp ? "tcp://" : "rfc2217://";
}

struct Row {
    Kind kind = Kind::Serial;
    int baud = 0;
    double reconnectS = -1;  // network rows: server back to live polling again
    double readoutS = 0, readoutLimitS = 0;
    double liveHz = 0, liveLimitHz = 0;
    double cpuPercent = 0;
    qint64 records = 0;  // exchanges the traffic monitor decoded
    qint64 detailChars = 0;
};

// With `monitor` the traffic tap listens from before the connection and
// every record is decoded as the traffic window does it.
Row measure(Kind kind, int baud, const QString& home, int pollSeconds, bool monitor) {
    Row row;
    row.kind = kind;
    row.baud = baud;
    SimProcess sim({QStringLiteral("--baud"), QString::number(baud)});
    if (!sim.start()) {
        std::fprintf(stderr, "bench: simulator did not start: %s\n", qPrintable(sim.errorString()));
        return row;
    }
    Ser2NetProcess server;
    if (kind != Kind::Serial && !server.start(sim.ptyPath(), kind == Kind::Rfc2217)) {
        std::fprintf(stderr, "bench: ser2net did not start: %s\n",
                     qPrintable(server.errorString()));
        return row;
    }
    CountingView view;
    Session session(&view);
    ProgramFolder::setPath(home);
    session.settings().porta = kind == Kind::Serial ? sim.ptyPath() : server.address();
    session.settings().velocita = QString::number(baud);
    session.setStartupComplete(true);
    TrafficDecoder decoder(session.table());
    qint64 records = 0;
    qint64 detailChars = 0;
    if (monitor) {
        QObject::connect(&session.traffic(), &TrafficTap::records, &session,
                         [&](const QList<TrafficRecord>& list) {
                             for (const TrafficRecord& r : list) {
                                 const DecodedTraffic d = decoder.decode(r);
                                 // The text the window's Entries column shows.
                                 detailChars += d.details().size();
                                 ++records;
                             }
                         });
        session.traffic().listen();
    }

    QElapsedTimer clock;
    clock.start();
    session.impostacom();  // identification, definition, read-out of every setup entry
    row.readoutS = clock.elapsed() / 1000.0;
    if (!session.link().online) {
        std::fprintf(stderr, "bench: no connection at %d baud\n", baud);
        return row;
    }

    // Wire-time limit of the connect procedure: the identification, every
    // setup read (8-byte request, 3 + 2n byte reply), plus its fixed waits
    // of 300 ms and 500 ms.
    ParameterTable& t = session.table();
    double limit = 0.3 + 0.5 + wire(frameChars(6), baud) + wire(frameChars(5), baud);
    for (int i = 0; i < t.setupCount(); ++i) {
        const int regs = Requests::readCount(t.entry(i).type);
        limit += wire(frameChars(6), baud) + wire(frameChars(3 + 2 * regs), baud);
    }
    row.readoutLimitS = limit;

    // Pass rhythm: one pass a request and its reply plus 50 ms; the cycle
    // C, P, I, P, E, P holds three live reads in six passes.
    const int dataBytes = t.bytes(1) - t.bytes(0);
    const double cycle =
        6 * 0.050 + wire(frameChars(6), baud) + wire(frameChars(4), baud)           // C
        + wire(frameChars(6), baud) + wire(frameChars(4), baud)                     // I
        + wire(frameChars(2), baud) + wire(frameChars(3), baud)                     // E
        + 3 * (wire(frameChars(6), baud) + wire(frameChars(3 + dataBytes), baud));  // P
    row.liveLimitHz = 3.0 / cycle;

    view.refreshes = 0;
    const double cpu0 = cpuSeconds();
    clock.restart();
    session.mySleep(pollSeconds * 1000);
    const double wall = clock.elapsed() / 1000.0;
    row.liveHz = view.refreshes / wall;
    row.cpuPercent = 100.0 * (cpuSeconds() - cpu0) / wall;
    if (kind != Kind::Serial) {
        // The server goes away during polling and comes back: from its
        // start to live polling again (the recovery ticks every 3 s).
        server.kill();
        session.waitUntil([&] { return !session.port().isOpen(); }, 10000);
        if (server.start(sim.ptyPath(), kind == Kind::Rfc2217)) {
            clock.restart();
            view.refreshes = 0;
            if (session.waitUntil(
                    [&] { return session.link().online && view.refreshes > 0; }, 30000))
                row.reconnectS = clock.elapsed() / 1000.0;
        }
    }
    session.shutdownLink();
    if (monitor) {
        session.traffic().unlisten();
        row.records = records;
        row.detailChars = detailChars;
    }
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, atoi(argv[1])) : 10;
    // "monitor": the same figures with the traffic monitor recording.
    const bool monitor = argc > 2 && qstrcmp(argv[2], "monitor") == 0;
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral("Config")));
    const QDir src(QStringLiteral(VELMORA_SOURCE_DIR "/Config"));
    for (const QString& name : src.entryList(QDir::Files))
        QFile::copy(src.filePath(name), home.filePath(QStringLiteral("Config/") + name));

    // Without ser2net the network rows are left out, with a note.
    const bool network = !Ser2NetProcess::programPath().isEmpty();
    std::printf(
        "| port | baud | read-out s | wire limit s | read-out vs limit | live Hz | pass limit Hz | "
        "live vs limit | CPU %% of a core | reconnect s |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    qint64 totalRecords = 0;
    qint64 totalChars = 0;
    for (int baud : {115200, 19200}) {
        for (Kind kind : {Kind::Serial, Kind::Tcp, Kind::Rfc2217}) {
            if (kind != Kind::Serial && !network)
                continue;
            const Row r = measure(kind, baud, home.path(), seconds, monitor);
            totalRecords += r.records;
            totalChars += r.detailChars;
            const QByteArray reconnect =
                r.reconnectS >= 0 ? QByteArray::number(r.reconnectS, 'f', 2) : QByteArray("-");
            std::printf(
                "| %s | %d | %.2f | %.2f | %.0f %% | %.2f | %.2f | %.0f %% | %.2f | %s |\n",
                kindName(r.kind), r.baud, r.readoutS, r.readoutLimitS,
                r.readoutS > 0 ? 100.0 * r.readoutLimitS / r.readoutS : 0.0, r.liveHz,
                r.liveLimitHz, r.liveLimitHz > 0 ? 100.0 * r.liveHz / r.liveLimitHz : 0.0,
                r.cpuPercent, reconnect.constData());
        }
    }
    if (!network)
        std::printf("\nser2net is not installed: no network rows (Debian package ser2net)\n");
    if (monitor)
        std::printf("\ntraffic monitor listening: every exchange recorded and decoded (%lld "
                    "records, %lld characters of entry text)\n",
                    static_cast<long long>(totalRecords), static_cast<long long>(totalChars));
    std::printf("\nmax resident set: %ld KiB\n", maxRssKb());
    return 0;
}
