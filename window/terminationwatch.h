#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

// SIGTERM and SIGINT, for the window. The handler only writes a byte to a
// socket; the notifier reads it on the main thread, in whatever event loop
// runs then, a message box's included. Every signal is acted on:
// - during start-up (no window given yet) the message box that waits is
//   closed, and so is any that opens until start-up ends; requested() then
//   tells the caller to end the program;
// - afterwards the window's close sequence runs, with the boxes it opens
//   closed unanswered; quitRequested() follows when the window closed. A
//   close the window refuses (the firmware programmer running) leaves the
//   watch armed for the next signal.
class TerminationWatch : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatch(QObject* parent = nullptr);
    ~TerminationWatch() override;

    // Installs the handlers; false (and nothing changed) when the socket
    // pair cannot be made.
    bool install();
    // From now on a signal closes this window; null returns to start-up.
    void setWindow(QWidget* window);
    bool requested() const { return requested_; }
    // Signals acted on so far.
    int handled() const { return handled_; }

Q_SIGNALS:
    void quitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onSignal();
    void closeBoxes();

    QSocketNotifier* notifier_ = nullptr;
    QWidget* window_ = nullptr;
    bool requested_ = false;
    bool dismissing_ = false;
    int handled_ = 0;
};
