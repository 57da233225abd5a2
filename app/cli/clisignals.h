#pragma once

#include <QObject>

class QSocketNotifier;

// Ctrl+C and SIGTERM. The handler only records the signal and writes one
// byte to a pipe; everything else happens on the main thread when the
// event loop (or a nested wait) reads that byte. A second signal of the
// same kind gets the default action, so a stuck stop can still be killed.
class CliSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; call once, before the link is set up.
    static bool install();
    static bool interrupted();
    static int signalNumber();

    explicit CliSignals(QObject* parent = nullptr);

Q_SIGNALS:
    // Emitted once, on the main thread.
    void interruptedNow();

private:
    void onReadable();

    QSocketNotifier* notifier_ = nullptr;
    bool emitted_ = false;
};
