#include "window/demosimulator.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <cmath>

#include "base/programfolder.h"

DemoSimulator::~DemoSimulator() {
    stop();
}

QString DemoSimulator::defaultProgram() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("velmora-sim"));
}

bool DemoSimulator::start(const QString& program, const QStringList& extraArgs) {
    if (!QFileInfo(program).isExecutable()) {
        error_ = QStringLiteral("no simulator at ") + program;
        return false;
    }
    QStringList args{QStringLiteral("--stdin-control"), QStringLiteral("--load"),
                     QStringLiteral("7.5")};
    // An installed simulator finds the shipped and the technician's folders
    // by the same rules; --home would make it look for both in one.
    if (ProgramFolder::path() == ProgramFolder::shippedPath())
        args << QStringLiteral("--home") << ProgramFolder::path();
    args << extraArgs;
    proc_.setProcessChannelMode(QProcess::SeparateChannels);
    proc_.setProgram(program);
    proc_.setArguments(args);
    proc_.start();
    if (!proc_.waitForStarted(kStartMs)) {
        error_ = proc_.errorString();
        return false;
    }
    const QDeadlineTimer deadline(kStartMs);
    QByteArray out;
    while (!deadline.hasExpired() && proc_.state() == QProcess::Running) {
        proc_.waitForReadyRead(100);
        out += proc_.readAllStandardOutput();
        const qsizetype eol = out.indexOf('\n');
        if (eol < 0)
            continue;
        const QString line = QString::fromLocal8Bit(out.left(eol)).trimmed();
        if (line.startsWith(QLatin1String("PTY "))) {
            port_ = line.mid(4);
            // Later lines answer control commands nobody sends; drop them.
            QObject::connect(&proc_, &QProcess::readyReadStandardOutput, &proc_,
                             [this] { proc_.readAllStandardOutput(); });
            clock_.start();
            loadTimer_.setInterval(400);
            QObject::connect(&loadTimer_, &QTimer::timeout, &proc_, [this] { moveLoad(); });
            loadTimer_.start();
            return true;
        }
        error_ = QStringLiteral("unexpected first line from the simulator: ") + line;
        stop();
        return false;
    }
    error_ = QStringLiteral("the simulator gave no port: ") +
             QString::fromLocal8Bit(proc_.readAllStandardError()).trimmed();
    stop();
    return false;
}

void DemoSimulator::moveLoad() {
    if (proc_.state() != QProcess::Running)
        return;
    // A slow swing between about 2 and 23 kg, once a minute.
    const double t = static_cast<double>(clock_.elapsed()) / 1000.0;
    const double kg = 12.5 - 10.5 * std::cos(t * 2.0 * M_PI / 60.0);
    proc_.write("load " + QByteArray::number(kg, 'f', 2) + '\n');
}

void DemoSimulator::stop() {
    loadTimer_.stop();
    if (proc_.state() == QProcess::NotRunning)
        return;
    proc_.write("quit\n");
    if (!proc_.waitForFinished(2000)) {
        proc_.terminate();
        if (!proc_.waitForFinished(1000)) {
            proc_.kill();
            proc_.waitForFinished(1000);
        }
    }
}
