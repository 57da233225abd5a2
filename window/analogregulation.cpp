#include "window/analogregulation.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>

#include "base/eventlog.h"
#include "session/pagecontext.h"

namespace {
constexpr int kZeroOffsetRole = 39;
constexpr int kFullScaleRole = 40;
constexpr int kStepPercent = 10;
}  // namespace

AnalogRegulation::Step AnalogRegulation::stepOf(Button which) {
    switch (which) {
        case OffsetFastDown:
            return {"3", kZeroOffsetRole, -100, -800, 0};
        case OffsetDown:
            return {"3", kZeroOffsetRole, -3, 0, 0};
        case OffsetUp:
            return {"3", kZeroOffsetRole, 3, 0, 60000};
        case OffsetFastUp:
            return {"3", kZeroOffsetRole, 100, 800, 60000};
        case FullScaleFastDown:
            return {"4", kFullScaleRole, -100, -800, 1000};
        case FullScaleDown:
            return {"4", kFullScaleRole, -3, 0, 1000};
        case FullScaleUp:
            return {"4", kFullScaleRole, 3, 0, 65535};
        case FullScaleFastUp:
            return {"4", kFullScaleRole, 100, 800, 65535};
    }
    return {"0", 0, 0, 0, 0};
}

AnalogRegulation::AnalogRegulation(PageContext& context, QObject* parent)
    : QObject(parent), ctx_(context) {}

void AnalogRegulation::attach(QAbstractButton* button, Button which) {
    buttons_.insert(button, which);
    connect(button, &QAbstractButton::clicked, this, [this, which] { clicked(which); });
    if (stepOf(which).shiftPress != 0)
        button->installEventFilter(this);
}

void AnalogRegulation::attachTrackBar(QSlider* bar, QLabel* valueLabel) {
    bar->setRange(0, 100);
    bar->setSingleStep(kStepPercent);
    bar->setPageStep(kStepPercent);
    bar->setTickInterval(kStepPercent);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setToolTip(QString::asprintf("%.2f", double(bar->value())));
    if (valueLabel)
        valueLabel->setText(QString::asprintf("%g %%", double(bar->value())));
    bars_.insert(bar, bar);
    bar->installEventFilter(this);
    connect(bar, &QSlider::valueChanged, this,
            [this, bar, valueLabel](int value) { trackBarMoved(bar, valueLabel, value); });
}

void AnalogRegulation::trackBarMoved(QSlider* bar, QLabel* valueLabel, int value) {
    // Only the steps of 10 are positions: a drag in between snaps to the
    // nearest, and that snap is the change that runs the test.
    const int snapped = qRound(value / double(kStepPercent)) * kStepPercent;
    if (snapped != value) {
        bar->setValue(snapped);
        return;
    }
    bar->setToolTip(QString::asprintf("%.2f", double(value)));
    if (valueLabel)
        valueLabel->setText(QString::asprintf("%g %%", double(value)));
    test_analogico(value);
}

bool AnalogRegulation::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && buttons_.contains(watched)) {
        const auto* press = static_cast<QMouseEvent*>(event);
        const Qt::KeyboardModifiers mods = press->modifiers() & ~Qt::KeypadModifier;
        if (press->button() == Qt::LeftButton && mods == Qt::ShiftModifier) {
            // Run after the button has taken the press, so the release that
            // may come during the step's wait still makes its click.
            pendingShift_ = buttons_.value(watched);
            QMetaObject::invokeMethod(this, &AnalogRegulation::runPendingShift,
                                      Qt::QueuedConnection);
        }
    } else if (event->type() == QEvent::MouseButtonRelease && bars_.contains(watched)) {
        // A click on the track bar runs the test at its position, even when
        // the position stays.
        const auto* release = static_cast<QMouseEvent*>(event);
        if (release->button() == Qt::LeftButton)
            QMetaObject::invokeMethod(
                this, [this, bar = bars_.value(watched)] { test_analogico(bar->value()); },
                Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void AnalogRegulation::runPendingShift() {
    if (!pendingShift_)
        return;  // its click came first and ran it
    const Button which = *pendingShift_;
    pendingShift_.reset();
    shiftRunning_ = which;
    step(which, true);
    shiftRunning_.reset();
    if (deferredClick_) {
        const Button click = *deferredClick_;
        deferredClick_.reset();
        step(click, false);
    }
}

void AnalogRegulation::clicked(Button which) {
    if (shiftRunning_) {
        // The click of the Shift press whose step holds the line now: it
        // follows that step instead of being dropped.
        if (*shiftRunning_ == which && !deferredClick_)
            deferredClick_ = which;
        return;
    }
    if (pendingShift_ && *pendingShift_ == which) {
        pendingShift_.reset();
        step(which, true);
    }
    step(which, false);
}

void AnalogRegulation::step(Button which, bool shift) {
    const Step s = stepOf(which);
    const int delta = shift ? s.shiftPress : s.click;
    if (delta == 0 || ctx_.lineBusy())
        return;
    ctx_.setOutputTest(true);
    // The mode goes out at every step, whatever role 8 holds.
    if (!ctx_.forceWrite(kTestModeRole, QString::fromLatin1(s.mode)).isAnswered())
        return;
    bool ok = false;
    const QString text = ctx_.valueOfRole(s.role);
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok) {
        EventLog::log(QStringLiteral("Errore: Regolazione analogica - valore non valido(") + text +
                      QLatin1Char(')'));
        return;
    }
    qint64 next = value + delta;
    if (delta < 0 && next < s.limit)
        next = s.limit;
    if (delta > 0 && next > s.limit)
        next = s.limit;
    // At the limit the write path finds the value unchanged and sends nothing.
    ctx_.writeParameter(s.role, QString::number(next));
}

void AnalogRegulation::test_analogico(int position) {
    // The preview follows the bar even when this change cannot be sent.
    ctx_.setAnalogTestLevel(position);
    if (ctx_.lineBusy())
        return;
    ctx_.setAnalogTest(true);
    ctx_.setOutputTest(false);
    if (!ctx_.forceWrite(kTestModeRole, QStringLiteral("6")).isAnswered())
        return;
    ctx_.forceWrite(kAnalogTestRole, QString::number(position * kTestCountsPerPercent));
}

void AnalogRegulation::exit() {
    ctx_.closeAnalogTools();
    ctx_.endRunningTests();
}
