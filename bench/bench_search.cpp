// Search figures: a run over addresses 1-127 with nobody answering, against
// 127 times the per-address timeout (400 ms / (speed index + 1)).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "base/programfolder.h"
#include "session/connection.h"
#include "session/searchprobe.h"
#include "session/session.h"
#include "support/simprocess.h"

namespace {

struct Row {
    int baud = 0;
    int timeoutMs = 0;
    double designS = 0;
    QList<double> runsS;
    int found = 0;
};

Row measure(int baud, const QString& home, int runs) {
    Row row;
    row.baud = baud;
    row.timeoutMs = SearchProbe::timeoutForSpeed(QString::number(baud));
    row.designS = SearchProbe::kLastAddress * row.timeoutMs / 1000.0;
    // A line with an instrument that never answers: every probe times out.
    SimProcess sim({QStringLiteral("--silent"), QStringLiteral("--baud"), QString::number(baud)});
    if (!sim.start()) {
        std::fprintf(stderr, "bench: simulator did not start: %s\n", qPrintable(sim.errorString()));
        return row;
    }
    Session session;
    ProgramFolder::setPath(home);
    session.settings().porta = sim.ptyPath();
    session.settings().velocita = QString::number(baud);
    session.connection().loadOfflineDefinition();
    session.impostacom();  // start-up not complete: opens without connecting
    if (!session.port().isOpen()) {
        std::fprintf(stderr, "bench: port did not open at %d baud\n", baud);
        return row;
    }
    SearchProbe probe(session);
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        row.found += static_cast<int>(probe.btsearchClick(QString::number(baud)).size());
        row.runsS.append(clock.nsecsElapsed() / 1e9);
    }
    session.port().close();
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral("Config")));
    const QDir src(QStringLiteral(VELMORA_SOURCE_DIR "/Config"));
    for (const QString& name : src.entryList(QDir::Files))
        QFile::copy(src.filePath(name), home.filePath(QStringLiteral("Config/") + name));

    std::printf("search of addresses 1-%d, nobody answering, %d run(s) per speed\n\n",
                SearchProbe::kLastAddress, runs);
    std::printf("| baud | timeout ms | 127 x timeout s | fastest s | median s | slowest s | median "
                "over that | found |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (int baud : {19200, 115200}) {
        Row r = measure(baud, home.path(), runs);
        if (r.runsS.isEmpty())
            continue;
        std::sort(r.runsS.begin(), r.runsS.end());
        const double median = r.runsS[r.runsS.size() / 2];
        std::printf("| %d | %d | %.3f | %.3f | %.3f | %.3f | %+.2f %% | %d |\n", r.baud,
                    r.timeoutMs, r.designS, r.runsS.first(), median, r.runsS.last(),
                    100.0 * (median - r.designS) / r.designS, r.found);
    }
    return 0;
}
