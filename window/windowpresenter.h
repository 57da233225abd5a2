#pragma once

#include <QPointer>
#include <QTimer>

#include "session/presentation.h"
#include "window/controlapplier.h"
#include "window/progresswindow.h"
#include "window/splashscreen.h"

class HomePage;
class QMainWindow;
class Session;
class StatusPanels;
class TopStrip;
class WeightChart;

// The main window's side of what the core asks to show: control updates by
// name, the online and offline looks with the blinking cross, the live
// lamps, indicators and charts, the status bar, the progress window, the
// title and the question box.
class WindowPresenter : public QObject, public Presentation {
    Q_OBJECT
public:
    static constexpr int kLampMs = 500;

    struct Parts {
        QMainWindow* window = nullptr;
        TopStrip* strip = nullptr;
        HomePage* home = nullptr;
        StatusPanels* status = nullptr;
        WeightChart* weightChart = nullptr;  // Chart1
        WeightChart* filterChart = nullptr;  // Chart3
    };

    WindowPresenter(const Parts& parts, Session& session, QObject* parent = nullptr);

    QTimer& Tlamp() { return tlamp_; }
    // While start-up runs the progress window centres over the splash.
    void setSplash(TSplashScreen* splash) { splash_ = splash; }
    TPbar* progressWindow() const { return progress_; }
    ControlApplier& applier() { return applier_; }

    void setStatusText(int panel, const QString& text) override;
    void setBusyCursor(bool busy) override;
    void applyControlUpdates(const QList<ControlUpdate>& updates) override;
    void applyLook(bool online) override;
    void liveRefresh(const LiveResult& result) override;
    void showProgress(int maximum) override;
    void setProgress(int value) override;
    void closeProgress() override;
    void setMainWindowEnabled(bool enabled) override;
    void setWindowTitle(const QString& title) override;
    void setSendButtonOrange() override;
    void setPendingWrites(int count) override;
    bool domanda(const QString& text, int mode) override;

Q_SIGNALS:
    // The calibration fields show what the instrument holds (after a
    // read-out, and when the window is first shown): "Send" in its matching
    // colour.
    void calibrationFieldsMatch();

private:
    void TlampTimer();
    void setLamp(const char* name, bool on);

    Parts parts_;
    Session& s_;
    ControlApplier applier_;
    QTimer tlamp_;
    QPointer<TPbar> progress_;
    QPointer<TSplashScreen> splash_;
    bool busy_ = false;
};
