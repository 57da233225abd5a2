// Connection figures against the virtual instrument at 115200 on a pty:
// `velmora-cli read` as a whole process (start, connect, read-out, exit), and
// the time from an adapter's return (through the port-list channel, as where
// no udev runs) to the first live weight, next to a plain connect.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "base/programfolder.h"
#include "session/connection.h"
#include "session/hotplug.h"
#include "session/session.h"
#include "support/simprocess.h"

namespace {

struct Figures {
    QList<double> s;
    double median() {
        std::sort(s.begin(), s.end());
        return s.isEmpty() ? 0 : s[s.size() / 2];
    }
};

// Counts live refreshes: the first live weight after a connection.
class LiveCounter : public Presentation {
public:
    void liveRefresh(const LiveResult&) override { ++lives; }
    int lives = 0;
};

Figures cliRead(const QString& home, int runs) {
    Figures f;
    SimProcess sim({QStringLiteral("--baud"), QStringLiteral("115200"), QStringLiteral("--noise"),
                    QStringLiteral("0")});
    if (!sim.start()) {
        std::fprintf(stderr, "bench: simulator did not start: %s\n", qPrintable(sim.errorString()));
        return f;
    }
    for (int i = 0; i < runs; ++i) {
        QProcess cli;
        QElapsedTimer clock;
        clock.start();
        cli.start(QStringLiteral(VELMORA_CLI_PATH),
                  {QStringLiteral("--home"), home, QStringLiteral("--port"), sim.ptyPath(),
                   QStringLiteral("--baud"), QStringLiteral("115200"), QStringLiteral("read")});
        if (!cli.waitForFinished(30000) || cli.exitCode() != 0) {
            std::fprintf(stderr, "bench: velmora-cli read failed: %s\n",
                         cli.readAllStandardError().constData());
            continue;
        }
        f.s.append(clock.nsecsElapsed() / 1e9);
    }
    return f;
}

void replug(const QString& home, int runs, Figures* connect, Figures* back) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("velmora-port"));
    SimProcess sim({QStringLiteral("--baud"), QStringLiteral("115200"), QStringLiteral("--noise"),
                    QStringLiteral("0"), QStringLiteral("--link"), link});
    if (!sim.start()) {
        std::fprintf(stderr, "bench: simulator did not start: %s\n", qPrintable(sim.errorString()));
        return;
    }
    ProgramFolder::setPath(home);
    LiveCounter view;
    Session session(&view);
    session.setStartupComplete(true);
    PortWatch watch(session);
    session.settings().porta = link;
    session.settings().velocita = QStringLiteral("115200");
    watch.cercacom();
    watch.start();
    QElapsedTimer clock;
    clock.start();
    session.impostacom();
    if (!session.waitUntil([&] { return view.lives > 0; }, 15000)) {
        std::fprintf(stderr, "bench: no connection\n");
        return;
    }
    connect->s.append(clock.nsecsElapsed() / 1e9);
    for (int i = 0; i < runs; ++i) {
        sim.send(QStringLiteral("unplug"));
        if (!session.waitUntil([&] { return !session.link().online; }, 10000))
            break;
        session.mySleep(300);
        view.lives = 0;
        clock.restart();
        sim.send(QStringLiteral("replug"));
        if (!session.waitUntil([&] { return view.lives > 0; }, 20000)) {
            std::fprintf(stderr, "bench: no live weight after the replug\n");
            break;
        }
        back->s.append(clock.nsecsElapsed() / 1e9);
    }
    session.shutdownLink();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral("Config")));
    const QDir src(QStringLiteral(VELMORA_SOURCE_DIR "/Config"));
    for (const QString& name : src.entryList(QDir::Files))
        QFile::copy(src.filePath(name), home.filePath(QStringLiteral("Config/") + name));

    Figures read = cliRead(home.path(), runs);
    std::printf("velmora-cli read as a whole process, pty at 115200, %lld run(s)\n\n",
                static_cast<long long>(read.s.size()));
    std::printf("| fastest s | median s | slowest s | target s |\n|---|---|---|---|\n");
    if (!read.s.isEmpty()) {
        const double median = read.median();
        std::printf("| %.3f | %.3f | %.3f | 0.200 |\n", read.s.first(), median, read.s.last());
    }

    Figures connect;
    Figures back;
    replug(home.path(), runs, &connect, &back);
    std::printf("\nreplug to live weight (port-list channel, no udev), %lld run(s)\n\n",
                static_cast<long long>(back.s.size()));
    std::printf(
        "| connect to live s | replug to live: fastest s | median s | slowest s | target s "
        "|\n|---|---|---|---|---|\n");
    if (!back.s.isEmpty() && !connect.s.isEmpty()) {
        const double c = connect.s.first();
        const double median = back.median();
        std::printf("| %.3f | %.3f | %.3f | %.3f | %.3f |\n", c, back.s.first(), median,
                    back.s.last(), c + 0.5);
    }
    return 0;
}
