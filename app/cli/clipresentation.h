#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "session/presentation.h"

class CliOutput;
class ProgressBar;

// The core's view, printed: the read-out progress window becomes a bar on
// stderr, the question box a question on the terminal, and a message box
// is kept for the command to word its error.
class CliPresentation : public Presentation {
public:
    explicit CliPresentation(const CliOutput& out);
    ~CliPresentation() override;

    void showProgress(int maximum) override;
    void setProgress(int value) override;
    void closeProgress() override;
    bool domanda(const QString& text, int mode) override;
    void liveRefresh(const LiveResult& result) override;

    // Called after every live refresh (watch, log).
    std::function<void(const LiveResult&)> onLive;
    // Called when the read-out starts, i.e. the instrument has identified.
    std::function<void()> onReadOut;
    // The last error or information box the core showed.
    QString lastMessage;
    // Off while a command draws its own bar (a reconnect during watch).
    bool readOutBar = true;
    // The read-out's last position and size: which entry went unanswered.
    int readOutPosition = 0;
    int readOutMaximum = 0;

private:
    const CliOutput& out_;
    std::unique_ptr<ProgressBar> bar_;
};
