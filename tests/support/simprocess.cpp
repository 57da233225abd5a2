#include "support/simprocess.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTest>

QString SimProcess::programPath() {
#ifdef VELMORA_SIM_PATH
    return QStringLiteral(VELMORA_SIM_PATH);
#else
    return QString();
#endif
}

SimProcess::SimProcess(const QStringList& extraArgs, const QString& program)
    : program_(program), args_(extraArgs) {
    const qsizetype t = args_.indexOf(QStringLiteral("--traffic"));
    if (t >= 0 && t + 1 < args_.size()) {
        traffic_ = args_.at(t + 1);
    } else {
        traffic_ = dir_.filePath(QStringLiteral("traffic.jsonl"));
        args_ << QStringLiteral("--traffic") << traffic_;
    }
    if (!args_.contains(QStringLiteral("--stdin-control")))
        args_ << QStringLiteral("--stdin-control");
    proc_.setProcessChannelMode(QProcess::SeparateChannels);
}

SimProcess::~SimProcess() {
    stop();
}

bool SimProcess::start(int timeoutMs) {
    if (program_.isEmpty() || !QFileInfo(program_).isExecutable()) {
        error_ = QStringLiteral("velmora-sim not found at \"%1\"").arg(program_);
        return false;
    }
    proc_.start(program_, args_);
    if (!proc_.waitForStarted(timeoutMs)) {
        error_ = QStringLiteral("velmora-sim did not start: ") + proc_.errorString();
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    QString line;
    while (readLine(&line, deadline)) {
        if (line.startsWith(QLatin1String("PTY ")))
            return true;
    }
    error_ = QStringLiteral("no PTY line from velmora-sim; stderr: ") +
             QString::fromLocal8Bit(stderrOutput());
    return false;
}

bool SimProcess::readLine(QString* line, const QDeadlineTimer& deadline) {
    for (;;) {
        const qsizetype eol = stdout_.indexOf('\n');
        if (eol >= 0) {
            *line = QString::fromLocal8Bit(stdout_.left(eol)).trimmed();
            stdout_.remove(0, eol + 1);
            if (line->startsWith(QLatin1String("PTY ")))
                pty_ = line->mid(4);
            return true;
        }
        if (deadline.hasExpired())
            return false;
        if (proc_.state() == QProcess::NotRunning) {
            stdout_ += proc_.readAllStandardOutput();
            if (stdout_.indexOf('\n') < 0)
                return false;
            continue;
        }
        const auto left = deadline.remainingTime();
        proc_.waitForReadyRead(static_cast<int>(left < 0 ? 1000 : std::max<qint64>(1, left)));
        stdout_ += proc_.readAllStandardOutput();
    }
}

QString SimProcess::send(const QString& command, int timeoutMs) {
    if (!isRunning()) {
        error_ = QStringLiteral("velmora-sim is not running");
        return {};
    }
    proc_.write(command.toLocal8Bit() + '\n');
    proc_.waitForBytesWritten(timeoutMs);
    const QDeadlineTimer deadline(timeoutMs);
    QString line;
    while (readLine(&line, deadline)) {
        if (line.startsWith(QLatin1String("OK")) || line.startsWith(QLatin1String("ERR")) ||
            line.startsWith(QLatin1String("STATUS ")))
            return line;
    }
    error_ = QStringLiteral("no answer to \"%1\"; stderr: %2")
                 .arg(command, QString::fromLocal8Bit(stderrOutput()));
    return {};
}

QJsonObject SimProcess::status(int timeoutMs) {
    const QString line = send(QStringLiteral("status"), timeoutMs);
    if (!line.startsWith(QLatin1String("STATUS ")))
        return {};
    return QJsonDocument::fromJson(line.mid(7).toUtf8()).object();
}

QList<QJsonObject> SimProcess::traffic() const {
    QList<QJsonObject> records;
    QFile f(traffic_);
    if (!f.open(QIODevice::ReadOnly))
        return records;
    const QByteArray all = f.readAll();
    // Only lines with their newline are whole records.
    const qsizetype end = all.lastIndexOf('\n');
    if (end < 0)
        return records;
    for (const QByteArray& line : all.left(end).split('\n')) {
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject())
            records.append(doc.object());
    }
    return records;
}

bool SimProcess::waitForTraffic(int count, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (traffic().size() >= count)
            return true;
        if (deadline.hasExpired())
            return false;
        // Lets the test's own objects (a QSerialPort) run while we wait.
        QTest::qWait(5);
    }
}

int SimProcess::stop(int timeoutMs) {
    if (proc_.state() == QProcess::NotRunning)
        return proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
    proc_.write("quit\n");
    proc_.closeWriteChannel();
    if (proc_.waitForFinished(timeoutMs))
        return proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
    proc_.kill();
    proc_.waitForFinished(1000);
    return -1;
}

QByteArray SimProcess::stderrOutput() {
    stderr_ += proc_.readAllStandardError();
    return stderr_;
}
