#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <span>

#include "device/comboitems.h"
#include "device/displaystate.h"
#include "device/numberformat.h"
#include "device/showrules.h"
#include "device/valuecodec.h"

class ControlModel;
class ParameterTable;

// The device model's one door to decoding and display: image bytes into
// value texts (valuecodec), value texts into control updates by the
// show-entry rules (showrules), the display state that the scale division
// sets (numberformat) and the combo-box lists (comboitems).
class Decoder {
public:
    // Indexes of CBProt2.
    enum Fieldbus { None = 0, Profibus, Devicenet, Canopen, Profinet, EthernetIp, Ethernet };

    // The link's online and offline-mode flags, which the analog
    // availability rule run by filling the fieldbus bauds reads.
    struct LinkFlags {
        bool online = false;
        bool offlineMode = false;
    };
    using LinkFlagsSource = std::function<LinkFlags()>;

    // Without a source both flags count as clear.
    Decoder(ParameterTable& table, DisplayState& display, ControlModel& controls,
            LinkFlagsSource link = {});

    void decodeEntry(int index);
    void decodeEntries(int first, int n);

    // Throws DecodeError (or std::out_of_range for an image position outside
    // the image) when the value cannot be shown; role 0 alone recovers.
    void showEntry(int index);
    void showSetupEntries();

    // The text a page shows for `value` in the entry of `role` (top bit
    // cleared): the field text or the selected item. Nothing for an empty
    // value, a role not shown as one text, or a value the page cannot show.
    std::optional<QString> shownText(int role, const QString& value) const;

    QString scaleUp(const QString& text) const;
    QString scaleDown(const QString& text) const;
    QString decimalText(const QString& text) const;

    void refreshDecimals();
    void fillFieldbusProtocols();
    void fillFieldbusBauds();
    void refreshAnalogAvailability(bool online, bool offlineMode);
    void refreshAnalogAvailability();
    void defaultSelections();
    // (Re)loads the fixed item lists of the combo boxes, in the current
    // language; every box loses its selection, as after a language change.
    void fillComboLists();

    // Called after role 33 has been shown, so the window can refresh its
    // fieldbus caption.
    std::function<void()> fieldbusChanged;

    static QStringList scaleDivisions();
    // The fixed items of a combo box ("CBUnit", "CBpeak", ...), translated;
    // empty for a box whose list depends on the fieldbus.
    static QStringList comboItems(const QString& control);
    static QStringList fixedCombos();

    // Every shown role's rule, by role; and the rule of one role (its top
    // bit cleared), or null for a role that is not shown.
    static std::span<const ShowRule> showRules();
    static const ShowRule* showRuleFor(int role);

private:
    void applyRule(const ShowRule& rule, const QString& value);
    QString fixedText(const ShowRule& rule, const QString& value) const;
    void showCombo(const QString& control, const QString& value);
    void showOutputWord(const ShowRule& rule, const QString& value);
    // Special rows of the table.
    void showScaleDivision(const QString& value);
    void showUsedWeight(const QString& value);
    void showAddress(const QString& value);
    void showFrame(const QString& value);
    void showFieldbusProtocol(const QString& value);

    qint64 integerOf(const QString& value) const;
    qint32 checkedInt32(qint64 value) const;
    double realOf(const QString& value) const;
    int checkedIndex(const QString& control, qint64 value) const;

    ParameterTable& table_;
    DisplayState& display_;
    ControlModel& controls_;
    LinkFlagsSource link_;
    int showing_ = -1;  // entry being shown, for error messages
};
