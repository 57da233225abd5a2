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

// Starts the simulator and opens its line without connecting.
bool openLine(Session& session, SimProcess& sim, int baud, const QString& home) {
    if (!sim.start()) {
        std::fprintf(stderr, "bench: simulator did not start: %s\n", qPrintable(sim.errorString()));
        return false;
    }
    ProgramFolder::setPath(home);
    session.settings().porta = sim.ptyPath();
    session.settings().velocita = QString::number(baud);
    session.connection().loadOfflineDefinition();
    session.impostacom();  // start-up not complete: opens without connecting
    if (!session.port().isOpen()) {
        std::fprintf(stderr, "bench: port did not open at %d baud\n", baud);
        return false;
    }
    return true;
}

Row measure(int baud, const QString& home, int runs) {
    Row row;
    row.baud = baud;
    row.timeoutMs = SearchProbe::timeoutForSpeed(QString::number(baud));
    row.designS = SearchProbe::kLastAddress * row.timeoutMs / 1000.0;
    // A line with an instrument that never answers: every probe times out.
    SimProcess sim({QStringLiteral("--silent"), QStringLiteral("--baud"), QString::number(baud)});
    Session session;
    if (!openLine(session, sim, baud, home))
        return row;
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

// Instruments at 3 and 105 whose replies come 60 ms late, past the 44 ms
// each address waits at 115200: each must be listed at its own address.
struct LateRow {
    QList<double> runsS;
    QList<QList<int>> found;
};

LateRow measureLate(const QString& home, int runs) {
    LateRow row;
    SimProcess sim({QStringLiteral("--address"), QStringLiteral("3,105"),
                    QStringLiteral("--delay-ms"), QStringLiteral("60"), QStringLiteral("--baud"),
                    QStringLiteral("115200")});
    Session session;
    if (!openLine(session, sim, 115200, home))
        return row;
    SearchProbe probe(session);
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        row.found.append(probe.btsearchClick(QStringLiteral("115200")));
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
    std::printf(
        "| baud | timeout ms | 127 x timeout s | fastest s | median s | slowest s | median "
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

    std::printf("\nsearch at 115200 with replies 60 ms late, instruments at 3 and 105\n\n");
    std::printf("| run | s | listed | every instrument at its own address |\n|---|---|---|---|\n");
    const LateRow late = measureLate(home.path(), runs);
    for (qsizetype i = 0; i < late.runsS.size(); ++i) {
        QStringList listed;
        for (int a : late.found[i])
            listed.append(QString::number(a));
        std::printf("| %lld | %.3f | %s | %s |\n", static_cast<long long>(i + 1), late.runsS[i],
                    qPrintable(listed.join(QLatin1Char(','))),
                    late.found[i] == QList<int>{3, 105} ? "yes" : "NO");
    }
    return 0;
}
