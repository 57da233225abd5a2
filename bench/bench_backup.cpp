// Backup and restore figures against the virtual instrument paced at real
// baud rates: the time of a backup (the calibration read and the file) and
// of a restore of every entry (setup and calibration written, the commands
// 0x30 and 0x20), each set against the wire time of its frames plus the
// fixed waits: the pauses of the sequences and the transmit thread's
// pass rhythm (a queued request goes out at the next pass, 50 ms after the
// end of the last). A report, not a test: nothing fails on a figure.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "base/programfolder.h"
#include "services/backupservice.h"
#include "session/requests.h"
#include "session/session.h"
#include "support/simprocess.h"

namespace {

// Seconds a frame of n characters takes on the wire at 10 bits a character.
double wire(int chars, int baud) {
    return chars * 10.0 / baud;
}

// Frame length in characters (":" + hex of body and LRC + CR LF).
int frameChars(int bodyBytes) {
    return 1 + 2 * (bodyBytes + 1) + 2;
}

// One read of n registers: request addr, function, register, count; reply
// addr, function, byte count, data.
double readExchange(int regs, int baud) {
    return wire(frameChars(6), baud) + wire(frameChars(3 + 2 * regs), baud);
}

// One 0x10 block write of n registers, echoed as addr, function, register, count.
double blockWrite(int regs, int baud) {
    return wire(frameChars(7 + 2 * regs), baud) + wire(frameChars(6), baud);
}

// The transmit thread's pause between passes: every queued exchange waits it.
constexpr double kPassS = 0.050;

// One command code (0x06 to the command register), echoed whole.
double command(int baud) {
    return wire(frameChars(6), baud) * 2;
}

struct Row {
    const char* operation = "";
    int exchanges = 0;
    double measuredS = 0;
    double wireS = 0;
    double pausesS = 0;
};

void print(int baud, const Row& r) {
    const double limit = r.wireS + r.pausesS;
    // Above the limit: how much of the wire time the extra is, once the
    // fixed waits are set aside.
    const double overWire = r.wireS > 0 ? 100.0 * (r.measuredS - limit) / r.wireS : 0.0;
    std::printf("| %d | %s | %d | %.3f | %.3f | %.3f | %.3f | %+.1f %% |\n", baud, r.operation,
                r.exchanges, r.measuredS, r.wireS, r.pausesS, limit, overWire);
}

void measure(int baud, const QString& home, const QString& folder) {
    SimProcess sim({QStringLiteral("--baud"), QString::number(baud), QStringLiteral("--noise"),
                    QStringLiteral("0")});
    if (!sim.start()) {
        std::fprintf(stderr, "bench: simulator did not start: %s\n", qPrintable(sim.errorString()));
        return;
    }
    Session session;
    ProgramFolder::setPath(home);
    session.settings().porta = sim.ptyPath();
    session.settings().velocita = QString::number(baud);
    session.setStartupComplete(true);
    session.impostacom();
    if (!session.link().online) {
        std::fprintf(stderr, "bench: no connection at %d baud\n", baud);
        return;
    }
    ParameterTable& t = session.table();
    const int nSetup = t.setupCount();
    const int firstCal = t.count(1);
    const int nCal = t.calibrationCount();

    // Backup: every calibration entry but the last is read, then 200 ms.
    BackupService service(session);
    const QString path = folder + QStringLiteral("/bench-%1.mem").arg(baud);
    Row backup{"backup", 0, 0, 0, 0.2};
    for (int k = 0; k + 1 < nCal; ++k, ++backup.exchanges) {
        backup.wireS += readExchange(Requests::readCount(t.entry(firstCal + k).type), baud);
        backup.pausesS += kPassS;
    }
    QElapsedTimer clock;
    clock.start();
    QString error;
    if (!service.backup(path, &error) || !service.calibrationComplete) {
        std::fprintf(stderr, "bench: backup at %d baud failed: %s\n", baud, qPrintable(error));
        return;
    }
    backup.measuredS = clock.elapsed() / 1000.0;
    print(baud, backup);

    // Restore of every entry: the calibration flag set in the file, so the
    // calibration section follows the setup section.
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadWrite))
            return;
        QByteArray bytes = f.readAll();
        const ParamEntry& flag = t.entry(ParameterTable::kCalibrationFlagEntry);
        const int size = ParameterTable::typeSize(flag.type);
        for (int k = 0; k < size; ++k)
            bytes[flag.imagePos + k] = static_cast<char>(k == size - 1 ? 1 : 0);
        f.seek(0);
        f.write(bytes);
    }
    Row restore{"restore", 0, 0, 0, 0};
    for (int p = 0; p < nSetup; ++p, ++restore.exchanges)
        restore.wireS += blockWrite(Requests::readCount(t.entry(p).type), baud);
    restore.wireS += blockWrite(Requests::readCount(t.entry(0).type), baud);  // entry 0 again
    ++restore.exchanges;
    restore.pausesS += restore.exchanges * kPassS;
    // From entry 0 again: at least 200 ms, and 2000 ms before the save once
    // the calibration entries and 0x30 have gone in that time; their own
    // passes fall inside that window.
    double afterWire = 0;
    int afterExchanges = 0;
    for (int q = 0; q < nCal; ++q, ++afterExchanges)
        afterWire += blockWrite(Requests::readCount(t.entry(firstCal + q).type), baud);
    afterWire += command(baud);  // 0x30
    ++afterExchanges;
    const double afterEntry0 = afterWire + afterExchanges * kPassS;
    const double window = std::max(2.0, 0.2 + afterEntry0);
    restore.exchanges += afterExchanges + 1;
    restore.wireS += afterWire + command(baud);  // and 0x20
    restore.pausesS += window - afterWire + kPassS;
    service.askContinue = [](const QString&) { return false; };
    clock.restart();
    if (!service.restore(path, true, &error) || !service.writeAllComplete) {
        std::fprintf(stderr, "bench: restore at %d baud failed: %s\n", baud, qPrintable(error));
        return;
    }
    restore.measuredS = clock.elapsed() / 1000.0;
    print(baud, restore);
    session.shutdownLink();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral("Config")));
    const QDir src(QStringLiteral(VELMORA_SOURCE_DIR "/Config"));
    for (const QString& name : src.entryList(QDir::Files))
        QFile::copy(src.filePath(name), home.filePath(QStringLiteral("Config/") + name));
    QTemporaryDir files;

    std::printf(
        "| baud | operation | exchanges | measured s | wire s | fixed waits s | "
        "wire + waits s | over that, of wire time (target <= +10 %%) |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (int baud : {115200, 19200, 9600})
        measure(baud, home.path(), files.path());
    return 0;
}
