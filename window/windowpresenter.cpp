#include "window/windowpresenter.h"

#include <QApplication>
#include <QDateTime>
#include <QMainWindow>
#include <QPushButton>

#include "device/controlmodel.h"
#include "device/liverefresh.h"
#include "session/session.h"
#include "window/homepage.h"
#include "window/indicatorpanel.h"
#include "window/lamp.h"
#include "window/onoffswitch.h"
#include "window/progresswindow.h"
#include "window/questionbox.h"
#include "window/splashscreen.h"
#include "window/statuspanels.h"
#include "window/topstrip.h"
#include "window/weightchart.h"

WindowPresenter::WindowPresenter(const Parts& parts, Session& session, QObject* parent)
    : QObject(parent), parts_(parts), s_(session), applier_(parts.window) {
    tlamp_.setObjectName(QStringLiteral("Tlamp"));
    tlamp_.setInterval(kLampMs);
    connect(&tlamp_, &QTimer::timeout, this, &WindowPresenter::TlampTimer);
    tlamp_.start();
}

void WindowPresenter::setStatusText(int panel, const QString& text) {
    parts_.status->setPanelText(panel, text);
    if (panel == 0)
        parts_.status->setLinkState(s_.link().stato_link);
}

void WindowPresenter::setBusyCursor(bool busy) {
    if (busy == busy_)
        return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void WindowPresenter::applyControlUpdates(const QList<ControlUpdate>& updates) {
    for (const ControlUpdate& u : updates)
        applier_.apply(u);
}

void WindowPresenter::applyLook(bool online) {
    parts_.strip->setOnlineColors(online);
    parts_.strip->showOfflineMarks(!online);
    parts_.home->showOfflineMarks(!online);
    if (online) {
        tlamp_.stop();
    } else {
        tlamp_.start();
        parts_.strip->hideMenuBarNow();
        // Until the next live reply the status bar shows the offline state.
        parts_.status->setLinkState(s_.link().stato_link);
    }
}

void WindowPresenter::TlampTimer() {
    parts_.strip->toggleCross();
    parts_.home->toggleCross();
}

void WindowPresenter::setLamp(const char* name, bool on) {
    if (auto* lamp = qobject_cast<Lamp*>(applier_.find(QString::fromLatin1(name))))
        lamp->setOn(on);
}

void WindowPresenter::liveRefresh(const LiveResult& r) {
    setLamp("Led_in1A", r.input1);
    setLamp("Led_in1B", r.input1);
    setLamp("LED1", r.input1);
    setLamp("Led_in2A", r.input2);
    setLamp("Led_in2B", r.input2);
    setLamp("LED2", r.input2);
    setLamp("Led_out1A", r.output1);
    setLamp("Led_out1B", r.output1);
    setLamp("Led_out2A", r.output2);
    setLamp("Led_out2B", r.output2);
    // The test page's output sliders show the outputs as the instrument has them.
    for (const auto& [name, on] : {std::pair{"SLOut1", r.output1}, std::pair{"SLOut2", r.output2}})
        if (auto* sw = qobject_cast<OnOffSwitch*>(applier_.find(QString::fromLatin1(name))))
            sw->showState(on);

    if (!r.weightFailed) {
        const struct {
            const char* name;
            bool active;
        } panels[] = {
            {"Pan_NET", r.netShown}, {"Pan_min", r.belowMinimum}, {"Pan_stabile", r.stable}};
        for (const auto& p : panels)
            if (auto* w = qobject_cast<IndicatorPanel*>(applier_.find(QString::fromLatin1(p.name))))
                w->setActive(p.active);
    }
    // An instant for the charts; their axes write it as local time of day.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (r.weightPoint && parts_.weightChart)
        parts_.weightChart->addPoint(now, *r.weightPoint);
    if (r.filterPoint && parts_.filterChart)
        parts_.filterChart->addFilterPoint(now, *r.filterPoint, s_.display().usedWeight);

    parts_.status->setLinkState(s_.link().stato_link);
    parts_.status->setUnsaved(s_.unsaved());
}

void WindowPresenter::showProgress(int maximum) {
    // Only in the foreground: a read-out after a replug while the technician
    // works elsewhere must not pop a window over theirs.
    const bool splashShown = splash_ && splash_->isVisible();
    if (!splashShown && QApplication::applicationState() != Qt::ApplicationActive)
        return;
    if (!progress_)
        progress_ = new TPbar(parts_.window);
    progress_->setMaximum(maximum);
    progress_->setPosition(0);
    progress_->centreOver(parts_.window->isVisible() || !splash_
                              ? static_cast<QWidget*>(parts_.window)
                              : static_cast<QWidget*>(splash_));
    progress_->show();
}

void WindowPresenter::setProgress(int value) {
    if (progress_)
        progress_->setPosition(value);
}

void WindowPresenter::closeProgress() {
    if (progress_)
        progress_->close();  // deletes itself
}

void WindowPresenter::setMainWindowEnabled(bool enabled) {
    parts_.window->setEnabled(enabled);
}

void WindowPresenter::setWindowTitle(const QString& title) {
    parts_.window->setWindowTitle(title);
}

void WindowPresenter::setSendButtonOrange() {
    Q_EMIT calibrationFieldsMatch();
}

void WindowPresenter::setPendingWrites(int count) {
    applier_.apply(ControlUpdate::setText(QStringLiteral("Label7"),
                                          count > 0 ? QString::number(count) : QString()));
}

bool WindowPresenter::domanda(const QString& text, int mode) {
    return TFbox::domanda(parts_.window, text, mode);
}
