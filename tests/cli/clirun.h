#pragma once

#include <signal.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <functional>

#include "device/paramtable.h"
#include "support/simprocess.h"
#include "support/testhome.h"

// velmora-cli as a child process, the way scripts run it.

inline QString cliPath() {
#ifdef VELMORA_CLI_PATH
    return QStringLiteral(VELMORA_CLI_PATH);
#else
    return QStringLiteral(VELMORA_BUILD_DIR "/velmora-cli");
#endif
}

struct CliResult {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    // Every JSON document of stdout, one a line.
    QList<QJsonObject> documents() const {
        QList<QJsonObject> list;
        for (const QByteArray& line : out.split('\n')) {
            const QJsonDocument doc = QJsonDocument::fromJson(line);
            if (doc.isObject())
                list.append(doc.object());
        }
        return list;
    }
    QJsonObject json() const {
        const QList<QJsonObject> list = documents();
        return list.isEmpty() ? QJsonObject() : list.last();
    }
    // For QVERIFY2 messages.
    QByteArray describe() const {
        return "exit " + QByteArray::number(exitCode) + "\nstdout: " + out + "\nstderr: " + err;
    }
};

// A velmora-cli run in progress; stdin gets `input` and is then closed, so
// a question the run asks meets the end of input unless the input answers it.
class CliChild {
public:
    explicit CliChild(const QStringList& args, const QByteArray& input = {}) {
        proc_.setProcessChannelMode(QProcess::SeparateChannels);
        proc_.start(cliPath(), args);
        if (proc_.waitForStarted(10000)) {
            if (!input.isEmpty())
                proc_.write(input);
            proc_.closeWriteChannel();
        }
    }
    ~CliChild() {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.kill();
            proc_.waitForFinished(3000);
        }
    }
    bool running() const { return proc_.state() != QProcess::NotRunning; }
    void signal(int number) { ::kill(static_cast<pid_t>(proc_.processId()), number); }
    CliResult wait(int timeoutMs = 30000) {
        CliResult r;
        r.finished = proc_.waitForFinished(timeoutMs);
        if (!r.finished) {
            proc_.kill();
            proc_.waitForFinished(3000);
        }
        r.exitCode = proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
        r.out = proc_.readAllStandardOutput();
        r.err = proc_.readAllStandardError();
        return r;
    }

private:
    QProcess proc_;
};

inline CliResult runCli(const QStringList& args, const QByteArray& input = {},
                        int timeoutMs = 30000) {
    CliChild child(args, input);
    return child.wait(timeoutMs);
}

// Waits until a traffic record satisfies `match`.
inline bool waitForRecord(SimProcess& sim, const std::function<bool(const QJsonObject&)>& match,
                          int timeoutMs = 10000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        for (const QJsonObject& r : sim.traffic())
            if (match(r))
                return true;
        QTest::qWait(5);
    }
    return false;
}

// The definition the simulator serves by default, as the tests read it.
inline ParameterTable definition1218() {
    ParameterTable t;
    t.loadDefinition(QStringLiteral(VELMORA_SOURCE_DIR "/Config/DATV1218.def"));
    return t;
}

inline int entryNamed(const ParameterTable& t, const QString& name) {
    for (int i = 0; i < t.entryCount(); ++i)
        if (t.entry(i).name == name)
            return i;
    return -1;
}

// Files in a folder other than the ones named: leftovers of a write.
inline QStringList strayFiles(const QString& folder, const QStringList& expected) {
    QStringList stray;
    for (const QString& name :
         QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot))
        if (!expected.contains(name))
            stray << name;
    return stray;
}
