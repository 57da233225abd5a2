#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <stdexcept>

class ControlModel;
class ParameterTable;

// What the pages and the live refresh derive from the received values.
// Weight-like values are integer counts of the last decimal.
struct DisplayState {
    int decimals = 0;                            // 0 to 3
    QString decimalsMask = QStringLiteral("0");  // "0.000", "0.00", "0.0" or "0"
    int divisionStep = 1;                        // 1, 2, 5, 10, 20 or 50
    double usedWeight = 0.0;                     // full scale in display units
    qint32 usedWeightCounts = 0;                 // full scale in counts; limit of weight fields
    qint32 netWeight = 0;
    qint32 grossWeight = 0;
    qint32 peakWeight = 0;
    qint32 adPoints = 0;
    qint32 signal = 0;       // 1/1000 mV/V
    qint32 statusFlags = 0;  // the instrument's status byte
    QString ipText;          // accumulates the dotted addresses
    qint32 commAddress = 0;
    qint32 fieldbusAddressLimit = 126;
    double analogA = 0.0;  // analog preview, hundredths of the unit
    QString analogUnit = QStringLiteral("mA");
};

// A received or stored value that cannot be shown, or a scaling that
// overflows. The message is one sentence, ready for the event log.
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Numbers always use "." whatever the regional settings.
std::optional<double> parseReal(const QString& text);
std::optional<qint64> parseInteger(const QString& text);
// The value with exactly `decimals` decimals, as a "0.00"-style mask gives it.
QString formatFixed(double value, int decimals);
// An integer count shown with `decimals` decimals: 12345, 3 -> "12.345".
QString countText(qint64 count, int decimals);

// Image bytes for a value text of a given type code, most significant first.
// Types 1-5 take an integer in the type's range (type 5: any signed 32-bit),
// type 6 a real number that fits an IEEE single. Other type codes hold no
// bytes: the result is ok and empty, and nothing is to be sent.
struct EncodedValue {
    bool ok = false;
    QByteArray bytes;
    QString error;
};
EncodedValue encodeValue(int type, const QString& text);

// Decoding of image bytes into value texts, and the show-entry rules that
// turn value texts into control updates.
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

private:
    void showCombo(const QString& control, const QString& value);
    void showOutputWord(const QString& value, const char* mode, const char* type, const char* sign,
                        const char* stable);
    void showScaleDivision(const QString& value);
    qint64 integerOf(const QString& value) const;
    double realOf(const QString& value) const;
    int checkedIndex(const QString& control, qint64 value) const;

    ParameterTable& table_;
    DisplayState& display_;
    ControlModel& controls_;
    LinkFlagsSource link_;
    int showing_ = -1;  // entry being shown, for error messages
};
