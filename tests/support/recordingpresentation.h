#pragma once

#include <QList>
#include <QStringList>
#include <functional>
#include <utility>

#include "device/controlmodel.h"
#include "session/presentation.h"

// Records what the core asked the view to show, for assertions.
class RecordingPresentation : public Presentation {
public:
    void setStatusText(int panel, const QString& text) override {
        statusTexts.append(QString::number(panel) + QLatin1Char('|') + text);
        status[panel] = text;
    }
    void setBusyCursor(bool b) override { busy = b; }
    void applyControlUpdates(const QList<ControlUpdate>& updates) override {
        controlUpdates += updates;
    }
    void applyLook(bool online) override { looks.append(online); }
    void showProgress(int maximum) override {
        progressMax = maximum;
        progressShown = true;
    }
    void setProgress(int value) override { progress = value; }
    void closeProgress() override { progressShown = false; }
    void setMainWindowEnabled(bool e) override { windowEnabled = e; }
    void setWindowTitle(const QString& t) override { title = t; }
    void setPendingWrites(int c) override { pendingWrites.append(c); }
    void setSendButtonOrange() override { sendOrange = true; }
    // Runs `insideNextLiveRefresh` once, inside the handling of a live reply.
    void liveRefresh(const LiveResult&) override {
        if (insideNextLiveRefresh)
            std::exchange(insideNextLiveRefresh, nullptr)();
    }
    bool domanda(const QString& text, int mode) override {
        questions.append(QString::number(mode) + QLatin1Char('|') + text);
        return answer;
    }

    // The last update of a control's property, or nullptr.
    const ControlUpdate* last(const QString& control, ControlUpdate::What what) const {
        for (qsizetype i = controlUpdates.size() - 1; i >= 0; --i)
            if (controlUpdates[i].control == control && controlUpdates[i].what == what)
                return &controlUpdates[i];
        return nullptr;
    }

    QStringList statusTexts;
    QString status[3];
    bool busy = false;
    QList<ControlUpdate> controlUpdates;
    QList<bool> looks;
    int progressMax = -1;
    int progress = 0;
    bool progressShown = false;
    bool windowEnabled = true;
    QString title;
    QList<int> pendingWrites;
    bool sendOrange = false;
    QStringList questions;
    bool answer = false;
    std::function<void()> insideNextLiveRefresh;
};
