#include "device/liverefresh.h"

#include <cmath>
#include <limits>

#include "device/controlmodel.h"
#include "base/eventlog.h"
#include "base/texts.h"

namespace {

constexpr int kStable = 2;
constexpr int kBelowMinimum = 4;  // the one status bit no other indicator uses
constexpr int kOutOfRange = 5;
constexpr int kOverload = 6;
constexpr int kNet = 7;

bool bit(qint32 flags, int n) {
    return (flags >> n) & 1;
}

double scaleOf(int decimals) {
    return std::pow(10.0, decimals);
}

// An analog setting as the instrument counts it: the field without its
// decimal point, as an integer.
qint64 countsOf(const QString& field) {
    QString digits = field;
    digits.remove(QLatin1Char('.'));
    const auto n = parseInteger(digits);
    if (!n || *n < std::numeric_limits<qint32>::min() || *n > std::numeric_limits<qint32>::max())
        throw DecodeError("analog setting \"" + field.toStdString() + "\" is not a whole number");
    return *n;
}

}  // namespace

void LiveInputs::readControls(const ControlModel& controls) {
    analogMode = controls.index(QStringLiteral("CBMode"));
    analogRange = controls.index(QStringLiteral("CBRange"));
    analogFullScale = controls.text(QStringLiteral("EanaFS"));
    analogZero = controls.text(QStringLiteral("Eanazero"));
}

AxisRange weightAxisAfter(AxisRange axis, double y) {
    if (y > axis.max)
        axis.max = y;
    if (y < axis.min)
        axis.min = y;
    return axis;
}

bool filterAxisNeedsAutomatic(AxisRange axis, double y2) {
    return y2 > axis.max || y2 < axis.min;
}

std::optional<AxisRange> filterAxisManual(AxisRange axis, double usedWeight) {
    if (!(usedWeight * 0.0005 > axis.max - axis.min))
        return std::nullopt;
    return AxisRange{axis.min - usedWeight * 0.001, axis.min + usedWeight * 0.001};
}

LiveRefresh::LiveRefresh(DisplayState& display, ControlModel& controls)
    : display_(display), controls_(controls) {}

void LiveRefresh::text(const char* control, const QString& t) {
    controls_.publish(ControlUpdate::setText(QString::fromLatin1(control), t));
}

LiveResult LiveRefresh::run(const LiveInputs& in) {
    LiveResult out;
    out.input1 = in.ioBits & 1;
    out.input2 = in.ioBits & 2;
    out.output1 = in.ioBits & 4;
    out.output2 = in.ioBits & 8;

    qint32 weight = display_.grossWeight;
    if (in.view == LiveInputs::Net)
        weight = display_.netWeight;
    else if (in.view == LiveInputs::Peak)
        weight = display_.peakWeight;

    try {
        panel(in, weight, out);
    } catch (const std::exception&) {
        out.panelFailed = true;
        EventLog::log(QStringLiteral("Errore: Aggiornamento Pannello varie"));
    }

    try {
        weightBlock(weight, out);
    } catch (const std::exception&) {
        out.weightFailed = true;
        EventLog::log(QStringLiteral("Errore: Aggiornamento Variabili peso"));
    }

    static const char* const linkWords[] = {"Ready", "Tx OK", "Error in RX data", "Setting Error"};
    out.statusText = QStringLiteral("Status:");
    if (in.stato_link >= 0 && in.stato_link <= 3)
        out.statusText += tr_(linkWords[in.stato_link]);
    if (in.modo_offline)
        out.saveText = tr_("TEST mode");
    else if (in.unsaved)
        out.saveText = tr_("Some data are not saved! (Click Here)");
    else
        out.saveText = tr_("Data saved successfully");
    return out;
}

void LiveRefresh::panel(const LiveInputs& in, qint32 weight, LiveResult& out) {
    const QString firmware = tr_("Firmware") + QStringLiteral(": ") + in.firmwareCaption;
    const QString fullScale = tr_("Full Scale") + QStringLiteral(": ") +
                              formatFixed(display_.usedWeight, display_.decimals);
    const QString fieldbus = tr_("Fieldbus") + QStringLiteral(": ") + in.fieldbusCaption;
    text("lbFirm1", firmware);
    text("lbFS1", fullScale);
    text("Lbfieldbus1", fieldbus);

    const qint32 flags = display_.statusFlags;
    out.overload = bit(flags, kOverload);
    if (out.overload)
        text("LbPeso", QStringLiteral(" O-L "));
    else if (bit(flags, kOutOfRange))
        text("LbPeso", QStringLiteral("^^^^^^"));
    else
        text("LbPeso", countText(weight, display_.decimals));

    text("lbFirm2", firmware);
    text("lbFS2", fullScale);
    text("Lbfieldbus2", fieldbus);

    const QString signal = countText(display_.signal, 3);
    text("lbsignal1", signal);
    text("lbsignal", signal);

    analogPreview(in, out.overload);

    const QString analog =
        formatFixed(display_.analogA / 100.0, 2) + QLatin1Char(' ') + display_.analogUnit;
    text("lbanalog1", analog);
    text("lbanalog2", analog);
    text("lbanalog", analog);
    const QString points = QString::number(display_.adPoints);
    text("lbpoints", points);
    text("Epunti_cal", points);
    text("Esignal_cal", signal);
}

void LiveRefresh::analogPreview(const LiveInputs& in, bool overload) {
    qint64 fs = countsOf(in.analogFullScale);
    if (fs == 0)
        fs = 1;
    const qint64 zero = countsOf(in.analogZero);
    const double fsd = double(fs);

    qint64 v = 0;
    if (in.analogTest) {
        v = qint64(std::trunc(fsd / 100.0 * in.sliderPosition));
    } else {
        qint64 w = 0;
        if (in.analogMode == 0)
            w = display_.netWeight;
        else if (in.analogMode == 1)
            w = display_.grossWeight;
        else if (in.analogMode == 2)
            w = display_.peakWeight;
        v = w + zero;
    }
    if (overload)
        v = qint64(std::trunc(-fsd * 1.01));
    if (double(v) > fsd * 1.1) {
        v = qint64(std::trunc(fsd * 1.1));
    } else if (v < 0) {
        // Some models drive the output further below zero than others.
        const QString model = in.definitionVersion.left(2);
        const bool deep = model == QLatin1String("17") || model == QLatin1String("75") ||
                          model == QLatin1String("82");
        const double floor = deep ? -fsd * 1.01 : -fsd * 0.02;
        if (double(v) < floor)
            v = qint64(std::trunc(floor));
    }

    const qint64 v100 = v * 100;
    if (v100 < std::numeric_limits<qint32>::min() || v100 > std::numeric_limits<qint32>::max())
        throw DecodeError("analog preview overflows");
    const double ratio = double(v100) / fsd;

    double a = 0.0;
    QString unit;
    switch (in.analogRange) {
        case 0:
            a = ratio * 20;
            unit = QStringLiteral("mA");
            break;
        case 1:
            a = overload ? ratio * 20 : ratio * 16 + 400;
            unit = QStringLiteral("mA");
            break;
        case 2:
            a = ratio * 10;
            unit = QStringLiteral("V");
            break;
        case 3:
            a = ratio * 5;
            unit = QStringLiteral("V");
            break;
        default:
            return;  // no range: the preview keeps its last value
    }
    if (in.analogRange <= 1 && a < -28)
        a = -28;
    display_.analogA = a;
    display_.analogUnit = unit;
}

void LiveRefresh::weightBlock(qint32 weight, LiveResult& out) {
    const qint32 flags = display_.statusFlags;
    out.netShown = bit(flags, kNet);
    out.belowMinimum = bit(flags, kBelowMinimum);
    out.stable = bit(flags, kStable);
    out.weightPoint = weight / scaleOf(display_.decimals);
    try {
        filterBlock(out);
    } catch (const std::exception&) {
        out.filterFailed = true;
        EventLog::log(QStringLiteral("Errore: Aggiornamento grafico filtro"));
    }
}

void LiveRefresh::filterBlock(LiveResult& out) {
    // The filter chart plots what the display shows, so an overload or
    // out-of-range display has no point to add.
    const QString shown = controls_.text(QStringLiteral("LbPeso"));
    const auto y2 = parseReal(shown);
    if (!y2)
        throw DecodeError("weight display \"" + shown.toStdString() + "\" is not a number");
    out.filterPoint = *y2;
}
