#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// ser2net in front of a serial device (the simulator's pty) for the
// network-port tests: a raw TCP or a telnet RFC 2217 accepter on a free
// loopback port (one per process: two accepters would contend for the one
// device). Stopped by its pid; the port is kept across a restart so a
// client finds the server again at the same address.
class Ser2NetProcess {
public:
    Ser2NetProcess();
    ~Ser2NetProcess();
    Ser2NetProcess(const Ser2NetProcess&) = delete;
    Ser2NetProcess& operator=(const Ser2NetProcess&) = delete;

    // The installed ser2net; empty when the package is missing.
    static QString programPath();
    // A TCP port on 127.0.0.1 that nothing listened on a moment ago.
    static quint16 freePort();

    // Starts in front of `device`; waits until both accepters take connections.
    bool start(const QString& device, bool telnet, int timeoutMs = 10000);
    // SIGKILL to the pid and a bounded wait for its end.
    void kill();
    void stop();
    bool isRunning() const { return proc_.state() != QProcess::NotRunning; }
    qint64 pid() const { return proc_.processId(); }

    quint16 port() const { return port_; }
    // tcp://127.0.0.1:PORT or rfc2217://127.0.0.1:PORT, as started.
    QString address() const;
    // True while something listens on 127.0.0.1:port (read from /proc, so
    // the check opens no connection and the device stays closed).
    static bool listening(quint16 port);
    QString errorString() const { return error_; }

private:
    QProcess proc_;
    QTemporaryDir dir_;
    quint16 port_ = 0;
    bool telnet_ = false;
    QString error_;
};
