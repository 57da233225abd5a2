// The show-entry rules: one table row per shown role, and the few roles
// whose showing does more than one thing as handlers named by their rows.
#include <QByteArray>
#include <array>
#include <cmath>
#include <limits>

#include "device/controlmodel.h"
#include "device/decoding.h"
#include "device/paramtable.h"

namespace {

[[noreturn]] void fail(const QString& message) {
    throw DecodeError(message.toStdString());
}

}  // namespace

std::span<const ShowRule> Decoder::showRules() {
    using enum ShowRule::Kind;
    using D = DisplayState;
    // clang-format off
    static const ShowRule rules[] = {
        {.role = 0,  .kind = Special, .controls = {"CBUnit"}, .special = &Decoder::showScaleDivision},
        {.role = 3,  .kind = Weight, .controls = {"EVal1"}},
        {.role = 4,  .kind = Weight, .controls = {"EVal2"}},
        {.role = 5,  .kind = Live, .live = &D::peakWeight, .scaled = true},
        {.role = 10, .kind = Text, .controls = {"Eportata_max"}},
        {.role = 11, .kind = Fixed, .controls = {"ESensibility"}, .decimals = 4},
        {.role = 12, .kind = Special, .controls = {"Efs"}, .special = &Decoder::showUsedWeight},
        {.role = 13, .kind = Text, .controls = {"epretare"}},
        {.role = 14, .kind = Combo, .controls = {"CBpeak"}},
        {.role = 15, .kind = Combo, .controls = {"CbFilter"}},
        {.role = 16, .kind = Text, .controls = {"Estab"}},
        {.role = 17, .kind = Fixed, .controls = {"EAutozero"}, .decimals = 1},
        {.role = 18, .kind = Text, .controls = {"Eztrack"}},
        {.role = 19, .kind = Text, .controls = {"EZeroBand"}},
        {.role = 20, .kind = OutputWord, .controls = {"CBMode1", "CbType1", "CBSign1", "CBStab1"}},
        {.role = 21, .kind = Weight, .controls = {"EHys1"}},
        {.role = 22, .kind = Fixed, .controls = {"ETime1"}, .decimals = 1},
        {.role = 23, .kind = Fixed, .controls = {"EDelay1"}, .decimals = 1},
        {.role = 24, .kind = OutputWord, .controls = {"CBMode2", "CBType2", "CBSign2", "CBStab2"}},
        {.role = 25, .kind = Weight, .controls = {"EHys2"}},
        {.role = 26, .kind = Fixed, .controls = {"ETime2"}, .decimals = 1},
        {.role = 27, .kind = Fixed, .controls = {"EDelay2"}, .decimals = 1},
        {.role = 28, .kind = Combo, .controls = {"CBBaud1"}},
        {.role = 29, .kind = Combo, .controls = {"CBProt1"}},
        {.role = 30, .kind = Special, .controls = {"Eaddress", "Eaddcom"}, .special = &Decoder::showAddress},
        {.role = 31, .kind = Fixed, .controls = {"Eritardorisp"}, .decimals = 2},
        {.role = 32, .kind = Special, .controls = {"cbframe"}, .special = &Decoder::showFrame},
        {.role = 33, .kind = Special, .controls = {"CBProt2", "CBBaudField"}, .special = &Decoder::showFieldbusProtocol},
        {.role = 34, .kind = Text, .controls = {"Echannel"}},
        {.role = 35, .kind = Combo, .controls = {"CBBaudField"}},
        {.role = 36, .kind = Weight, .controls = {"EanaFS"}},
        {.role = 37, .kind = Combo, .controls = {"CBMode"}},
        {.role = 38, .kind = Combo, .controls = {"CBRange"}},
        {.role = 41, .kind = Weight, .controls = {"Eanazero"}},
        {.role = 42, .kind = Combo, .controls = {"CBAll"}},
        {.role = 43, .kind = IpFirst},
        {.role = 44, .kind = IpNext},
        {.role = 45, .kind = IpNext},
        {.role = 46, .kind = IpLast, .controls = {"MEIP"}},
        {.role = 47, .kind = IpFirst},
        {.role = 48, .kind = IpNext},
        {.role = 49, .kind = IpNext},
        {.role = 50, .kind = IpLast, .controls = {"MESNET"}},
        {.role = 51, .kind = Live, .live = &D::netWeight, .scaled = true, .signBit = 0},
        {.role = 52, .kind = Live, .live = &D::grossWeight, .scaled = true, .signBit = 1},
        {.role = 53, .kind = Live, .live = &D::adPoints},
        {.role = 54, .kind = Live, .live = &D::signal, .signBit = 3},
        // Roles 1, 2, 6-9, 39, 40 and 55 up are not shown.
    };
    // clang-format on
    return rules;
}

const ShowRule* Decoder::showRuleFor(int role) {
    static const auto byRole = [] {
        std::array<const ShowRule*, 128> index{};
        for (const ShowRule& rule : showRules())
            index.at(size_t(rule.role)) = &rule;
        return index;
    }();
    return role >= 0 && role < int(byRole.size()) ? byRole[size_t(role)] : nullptr;
}

void Decoder::showEntry(int index) {
    ParamEntry& e = table_.entry(index);
    const QString v = e.value;
    const ShowRule* rule = showRuleFor(int(e.role & 127));
    if (!rule)
        return;
    showing_ = index;
    struct Reset {
        int& ref;
        ~Reset() { ref = -1; }
    } reset{showing_};
    applyRule(*rule, v);
}

void Decoder::showSetupEntries() {
    for (int i = 0; i < table_.count(0); ++i)
        showEntry(i);
}

void Decoder::applyRule(const ShowRule& rule, const QString& v) {
    using enum ShowRule::Kind;
    const QString control = QString::fromLatin1(rule.controls[0]);
    auto text = [&](const QString& t) { controls_.publish(ControlUpdate::setText(control, t)); };
    // A value the instrument did not give (its read refused or unanswered)
    // shows as an empty field, never as a number.
    if (v.isEmpty() && (rule.kind == Text || rule.kind == Fixed || rule.kind == Weight)) {
        text(QString());
        return;
    }
    switch (rule.kind) {
        case Text:
            text(v);
            break;
        case Fixed:
            text(fixedText(rule, v));
            break;
        case Weight:
            text(decimalText(scaleUp(v)));
            break;
        case Combo:
            showCombo(control, v);
            break;
        case OutputWord:
            showOutputWord(rule, v);
            break;
        case IpFirst:
            display_.ipText = v + QLatin1Char('.');
            break;
        case IpNext:
            display_.ipText += v + QLatin1Char('.');
            break;
        case IpLast:
            text(display_.ipText + v);
            break;
        case Live: {
            const qint64 n = integerOf(rule.scaled ? scaleUp(v) : v);
            const bool negate = rule.signBit >= 0 && (display_.statusFlags >> rule.signBit) & 1;
            display_.*rule.live = checkedInt32(negate ? -n : n);
            break;
        }
        case Special:
            (this->*rule.special)(v);
            break;
    }
}

QString Decoder::fixedText(const ShowRule& rule, const QString& v) const {
    // Exact for whole numbers; a real value goes through a double.
    const auto n = parseInteger(v);
    return n ? countText(*n, rule.decimals)
             : formatFixed(realOf(v) / double(powerOfTen(rule.decimals)), rule.decimals);
}

std::optional<QString> Decoder::shownText(int role, const QString& value) const {
    using enum ShowRule::Kind;
    const ShowRule* rule = showRuleFor(role);
    if (!rule || value.isEmpty())
        return std::nullopt;
    const QString control = QString::fromLatin1(rule->controls[0]);
    try {
        switch (rule->kind) {
            case Text:
                return value;
            case Fixed:
                return fixedText(*rule, value);
            case Weight:
                return decimalText(scaleUp(value));
            case Combo:
                break;
            case Special:
                // The scale division is a selection like any box; the other
                // special rows fill more than one text.
                if (rule->role != 0)
                    return std::nullopt;
                break;
            default:
                return std::nullopt;
        }
        const QStringList items = controls_.items(control);
        const auto n = parseInteger(value);
        if (!n || *n < 0 || *n >= items.size())
            return std::nullopt;
        return items.at(int(*n));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// ---------------------------------------------------------------------------
// Combo boxes

int Decoder::checkedIndex(const QString& control, qint64 value) const {
    const QStringList items = controls_.items(control);
    // A box that offers nothing for the current setting (the fieldbus baud
    // rate of a protocol without one) selects nothing; it is not an error.
    if (items.isEmpty())
        return -1;
    if (value < 0 || value >= items.size())
        fail(QStringLiteral("%1 (entry %2): %3 is not an item of %4")
                 .arg(showing_ >= 0 ? table_.entry(showing_).name : QString())
                 .arg(showing_)
                 .arg(value)
                 .arg(control));
    return int(value);
}

void Decoder::showCombo(const QString& control, const QString& value) {
    controls_.publish(ControlUpdate::setIndex(control, checkedIndex(control, integerOf(value))));
}

void Decoder::showOutputWord(const ShowRule& rule, const QString& value) {
    const qint64 w = integerOf(value);
    if (w < 0)
        fail(QStringLiteral("output word %1 is negative").arg(w));
    // Stable takes bit 4 and up, so the third (empty) item of OUT 2 reads back.
    const qint64 parts[4] = {w & 3, (w >> 2) & 1, (w >> 3) & 1, w >> 4};
    // Every part is checked before any box changes: nothing is half-shown.
    int idx[4];
    for (int k = 0; k < 4; ++k)
        idx[k] = checkedIndex(QString::fromLatin1(rule.controls[k]), parts[k]);
    for (int k = 0; k < 4; ++k)
        controls_.publish(ControlUpdate::setIndex(QString::fromLatin1(rule.controls[k]), idx[k]));
}

// ---------------------------------------------------------------------------
// Special rows

void Decoder::showScaleDivision(const QString& value) {
    const auto n = parseInteger(value);
    const qsizetype count = controls_.items(QStringLiteral("CBUnit")).size();
    if (n && *n >= 0 && *n < count) {
        controls_.publish(ControlUpdate::setIndex(QStringLiteral("CBUnit"), int(*n)));
    } else {
        // The only recovery here: a scale division that cannot be shown
        // invalidates every value text.
        for (int i = 0; i < ParameterTable::kMaxEntries; ++i)
            table_.entry(i).value = QStringLiteral("0");
    }
    refreshDecimals();
}

void Decoder::showUsedWeight(const QString& value) {
    const double r = realOf(value);
    const double counts = std::trunc(r * double(powerOfTen(display_.decimals)));
    if (counts < double(std::numeric_limits<qint32>::min()) ||
        counts > double(std::numeric_limits<qint32>::max()))
        fail(QStringLiteral("%1 (entry %2): used weight %3 overflows in counts")
                 .arg(table_.entry(showing_).name)
                 .arg(showing_)
                 .arg(value));
    controls_.publish(ControlUpdate::setText(QStringLiteral("Efs"), value));
    display_.usedWeight = realOf(formatFixed(r, display_.decimals));
    display_.usedWeightCounts = qint32(counts);
}

void Decoder::showAddress(const QString& value) {
    const qint32 address = checkedInt32(integerOf(value));
    controls_.publish(ControlUpdate::setText(QStringLiteral("Eaddress"), value));
    controls_.publish(ControlUpdate::setText(QStringLiteral("Eaddcom"), value));
    display_.commAddress = address;
}

void Decoder::showFrame(const QString& value) {
    const QString frame = QStringLiteral("cbframe");
    int idx = checkedIndex(frame, integerOf(value));
    // Modbus runs on 8 data bits: a 7-bit frame is shown as N-8-1.
    if (controls_.index(QStringLiteral("CBProt1")) == 5 && idx >= 0 && idx < 5)
        idx = 5;
    controls_.publish(ControlUpdate::setIndex(frame, idx));
}

void Decoder::showFieldbusProtocol(const QString& value) {
    const qint64 n = integerOf(value);
    fillFieldbusProtocols();
    const QString protocol = QStringLiteral("CBProt2");
    controls_.publish(ControlUpdate::setIndex(protocol, checkedIndex(protocol, n)));
    fillFieldbusBauds();
    if (fieldbusChanged)
        fieldbusChanged();
}
