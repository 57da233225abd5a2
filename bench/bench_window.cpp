// The window's own cost while it polls the virtual instrument: CPU of one
// core and resident memory of `velmora --demo` with a page shown (the home
// page, the Filters page with its live filter chart, the In / Out page).
// Figures only; nothing here fails on them.
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace {

// utime + stime of a process in clock ticks; -1 when it cannot be read.
long long cpuTicks(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = f.readAll();
    // The command name may hold spaces: the fields start after its ')'.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // Fields 14 and 15 of the whole line (utime, stime) are 12 and 13 here.
    if (fields.size() < 14)
        return -1;
    return fields[11].toLongLong() + fields[12].toLongLong();
}

// A field of /proc/<pid>/status in KiB ("VmRSS", "VmHWM"); -1 when absent.
long statusKb(qint64 pid, const char* field) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

struct Row {
    int page = 0;
    bool shown = false;
    double cpuPercent = -1;
    long rssKb = -1;
    long peakKb = -1;
};

Row measure(const QString& program, const QString& home, int page, int warmupS, int seconds) {
    Row row;
    row.page = page;
    QTemporaryDir runtime;  // the instance lock of this run only
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::SeparateChannels);
    app.start(program, {QStringLiteral("--demo"), QStringLiteral("--home"), home,
                        QStringLiteral("--page"), QString::number(page)});
    if (!app.waitForStarted(10000)) {
        std::fprintf(stderr, "bench: %s did not start\n", qPrintable(program));
        return row;
    }
    // The page line comes once start-up, connection and read-out are done.
    const QByteArray want = QByteArray("page ") + QByteArray::number(page) + " shown";
    QByteArray err;
    const QDeadlineTimer ready(30000);
    while (!ready.hasExpired() && app.state() == QProcess::Running && !err.contains(want)) {
        app.waitForReadyRead(200);
        err += app.readAllStandardError();
    }
    row.shown = err.contains(want);
    if (!row.shown)
        std::fprintf(stderr, "bench: page %d: %s\n", page, err.constData());

    // Past the start-up's own work (splash, progress window, first paints).
    QThread::msleep(static_cast<unsigned long>(warmupS) * 1000);
    const qint64 pid = app.processId();
    const long long t0 = cpuTicks(pid);
    QElapsedTimer wall;
    wall.start();
    QThread::msleep(static_cast<unsigned long>(seconds) * 1000);
    const long long t1 = cpuTicks(pid);
    const double elapsed = wall.elapsed() / 1000.0;
    if (t0 >= 0 && t1 >= 0)
        row.cpuPercent = 100.0 * static_cast<double>(t1 - t0) /
                         static_cast<double>(sysconf(_SC_CLK_TCK)) / elapsed;
    row.rssKb = statusKb(pid, "VmRSS");
    row.peakKb = statusKb(pid, "VmHWM");

    app.terminate();  // SIGTERM: the window closes the normal way
    if (!app.waitForFinished(10000)) {
        app.kill();
        app.waitForFinished(3000);
    }
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 20;
    const int warmupS = 4;
    const QString program = QDir(QCoreApplication::applicationDirPath())
                                .filePath(QStringLiteral("velmora"));
    if (!QFileInfo::exists(program)) {
        std::fprintf(stderr, "bench: no %s\n", qPrintable(program));
        return 1;
    }
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral("Config")));
    const QDir src(QStringLiteral(VELMORA_SOURCE_DIR "/Config"));
    for (const QString& name : src.entryList(QDir::Files))
        QFile::copy(src.filePath(name), home.filePath(QStringLiteral("Config/") + name));

    std::printf("velmora --demo, %d s measured after %d s, platform %s\n\n", seconds, warmupS,
                qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen"
                                                     : qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("| page shown | CPU %% of one core | target | resident MB | peak MB | target |\n");
    std::printf("|---|---|---|---|---|---|\n");
    const struct {
        int page;
        const char* name;
    } pages[] = {{0, "0 home"}, {2, "2 Filters (Chart3 live)"}, {4, "4 In / Out"}};
    for (const auto& p : pages) {
        const Row r = measure(program, home.path(), p.page, warmupS, seconds);
        std::printf("| %s%s | %.2f | < 5 | %.1f | %.1f | < 80 |\n", p.name,
                    r.shown ? "" : " (not reached)", r.cpuPercent, r.rssKb / 1024.0,
                    r.peakKb / 1024.0);
        std::fflush(stdout);
    }
    return 0;
}
