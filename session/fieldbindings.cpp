#include "session/fieldbindings.h"

#include "device/decoding.h"

namespace {
using F = FieldBinding;

F row(const char* field, F::Trigger trigger, F::Format format, F::Limit limit, qint64 maximum,
      F::Conversion conversion, int role) {
    F b;
    b.field = QString::fromLatin1(field);
    b.trigger = trigger;
    b.format = format;
    b.limit = limit;
    b.maximum = maximum;
    b.conversion = conversion;
    b.role = role;
    return b;
}

QList<FieldBinding> buildTable() {
    using T = F::Trigger;
    using Fm = F::Format;
    using L = F::Limit;
    using C = F::Conversion;
    QList<FieldBinding> t;
    // Filters
    t << row("EAutozero", T::Leaving, Fm::Tenths, L::Fixed, 1000, C::PointsRemoved, 17);
    t << row("Estab", T::EachChange, Fm::None, L::Fixed, 4, C::AsTyped, 16);
    t << row("Eztrack", T::EachChange, Fm::None, L::Fixed, 4, C::AsTyped, 18);
    F zeroBand = row("EZeroBand", T::Leaving, Fm::None, L::Fixed, 200, C::AsTyped, 19);
    zeroBand.replacementWhenTooLarge = QStringLiteral("200");
    t << zeroBand;
    // In / Out
    for (int out = 0; out < 2; ++out) {
        const int base = out == 0 ? 21 : 25;
        const QByteArray n = QByteArray::number(out + 1);
        t << row(("EHys" + n).constData(), T::Leaving, Fm::DecimalsMask, L::UsedWeightCounts, 0,
                 C::ScaleDown, base);
        t << row(("ETime" + n).constData(), T::Leaving, Fm::Tenths, L::None, 0, C::PointsRemoved,
                 base + 1);
        t << row(("EDelay" + n).constData(), T::Leaving, Fm::Tenths, L::None, 0, C::PointsRemoved,
                 base + 2);
        F value = row(("EVal" + n).constData(), T::Leaving, Fm::DecimalsMask, L::UsedWeightCounts,
                      0, C::ScaleDown, out == 0 ? 3 : 4);
        value.checkBeforeFormat = true;
        t << value;
    }
    // Communications
    t << row("Eritardorisp", T::Leaving, Fm::Hundredths, L::None, 0, C::PointsRemoved, 31);
    // Bounded as the home page's address field is, so the program can always
    // follow the address it has written.
    t << row("Eaddcom", T::Leaving, Fm::None, L::Fixed, 127, C::AsTyped, 30);
    t << row("Echannel", T::EachChange, Fm::None, L::FieldbusAddress, 0, C::AsTyped, 34);
    // Analogic
    t << row("EanaFS", T::Leaving, Fm::DecimalsMask, L::UsedWeightCounts, 0, C::ScaleDown, 36);
    t << row("Eanazero", T::Leaving, Fm::DecimalsMask, L::UsedWeightCounts, 0, C::ScaleDown, 41);
    // Home: the working address, not a parameter.
    t << row("Eaddress", T::EachChange, Fm::None, L::Fixed, 127, C::AsTyped, -1);
    return t;
}
}  // namespace

const QList<FieldBinding>& typedFields() {
    static const QList<FieldBinding> table = buildTable();
    return table;
}

const FieldBinding* typedField(const QString& field) {
    for (const FieldBinding& b : typedFields())
        if (b.field == field)
            return &b;
    return nullptr;
}

FieldRule ruleFor(const FieldBinding& row, const DisplayState& display) {
    FieldRule r;
    switch (row.format) {
        case FieldBinding::Format::None:
            break;
        case FieldBinding::Format::Tenths:
            r.decimals = 1;
            break;
        case FieldBinding::Format::Hundredths:
            r.decimals = 2;
            break;
        case FieldBinding::Format::DecimalsMask:
            r.decimals = display.decimals;
            break;
    }
    switch (row.limit) {
        case FieldBinding::Limit::None:
            break;
        case FieldBinding::Limit::Fixed:
            r.maximum = row.maximum;
            break;
        case FieldBinding::Limit::UsedWeightCounts:
            r.maximum = display.usedWeightCounts;
            break;
        case FieldBinding::Limit::FieldbusAddress:
            r.maximum = display.fieldbusAddressLimit;
            r.clamp = true;
            break;
    }
    r.checkBeforeFormat = row.checkBeforeFormat;
    r.divisionStep = row.conversion == FieldBinding::Conversion::ScaleDown
                         ? std::max(1, display.divisionStep)
                         : 1;
    r.replacementWhenTooLarge = row.replacementWhenTooLarge;
    return r;
}
