#pragma once

#include <QTimer>

#include "services/datalogger.h"
#include "session/pagecontext.h"
#include "window/page.h"

namespace Ui {
class LoggerPage;
}

// Page 12, "Logger": the PC data logger. One line "date;time;weight" per
// tick of Tlog, the weight exactly as LbPeso shows it; it sends nothing to
// the instrument. The file rules are DataLogger's, shared with the command
// line's log.
class LoggerPage : public Page {
    Q_OBJECT
public:
    explicit LoggerPage(PageContext& context, QWidget* parent = nullptr);
    ~LoggerPage() override;

    int number() const override { return 12; }

    // The four controls take the stored logger settings and the mode's
    // controls follow.
    void settingsLoaded() override;
    // The file named in Elogfile is counted.
    void windowShown() override;
    void windowClosing() override;

    void btlogfileClick();
    void btStartPCClick();
    void btStopPCClick();
    void TlogTimer();
    void verify_logfile();
    void CBtipologPCChange();
    void eintervalPCExit();
    void ElogstopPCExit();

    bool logging() const { return tlog_.isActive(); }
    QTimer& Tlog() { return tlog_; }

private:
    void showCount(qint64 count);
    // One of the page's settings, kept for the settings file.
    void keep(QString PageContext::LoggerSetup::*field, const QString& value);
    void setMode(int index);

    Ui::LoggerPage* ui;
    QTimer tlog_;
    DataLogger logger_;
    // Lines in the file when it was last counted; a run's stop tests count
    // only the lines added after its start.
    qint64 startCount_ = 0;
    qint64 stopValue_ = 0;
    // The last interval text the edit's check accepted, for a text that is
    // no number.
    QString lastInterval_ = QStringLiteral("1.0");
};
