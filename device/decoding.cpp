#include "device/decoding.h"

#include <QLocale>
#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>

#include "device/controlmodel.h"
#include "base/eventlog.h"
#include "device/paramtable.h"
#include "base/texts.h"

namespace {

const QLocale& cLocale() {
    static const QLocale locale = [] {
        QLocale l = QLocale::c();
        l.setNumberOptions(QLocale::RejectGroupSeparator | QLocale::OmitGroupSeparator);
        return l;
    }();
    return locale;
}

qint64 pow10(int n) {
    qint64 p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

QString maskFor(int decimals) {
    return decimals > 0 ? QStringLiteral("0.") + QString(decimals, QLatin1Char('0'))
                        : QStringLiteral("0");
}

// A float as a general-format text with up to 15 significant digits, the
// exponent written E-7 / E20 rather than e-07 / e+20.
QString generalText(double v) {
    if (std::isnan(v))
        return QStringLiteral("NAN");
    if (std::isinf(v))
        return v < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    QString s = QString::number(v, 'g', 15);
    const qsizetype e = s.indexOf(QLatin1Char('e'));
    if (e >= 0)
        s = s.left(e) + QLatin1Char('E') + QString::number(s.mid(e + 1).toInt());
    return s;
}

[[noreturn]] void fail(const QString& message) {
    throw DecodeError(message.toStdString());
}

const char* const kReformatted[] = {"Epeso1", "EVal1",  "EVal2",   "EHys1",
                                    "EHys2",  "EanaFS", "Eanazero"};

const char* const kAnalogControls[] = {"lbanalog", "lbanalog1", "lbanalog2", "lbana1",
                                       "lbana2",   "lbscr5",    "GBanatest", "GB_Anacal"};

struct DefaultSelection {
    const char* control;
    int index;
};
const DefaultSelection kDefaults[] = {
    {"CBUnit", 9},      {"CBBaud1", 3}, {"CbFilter", 5}, {"CBpeak", 0},  {"CBtipologPC", 0},
    {"CBMode1", 0},     {"CBMode2", 0}, {"CbType1", 0},  {"CBType2", 0}, {"CBStab1", 0},
    {"CBStab2", 0},     {"CBSign1", 0}, {"CBSign2", 0},  {"CBProt1", 0}, {"CBProt2", 0},
    {"CBBaudField", 0}, {"CBMode", 0},  {"CBRange", 0},  {"CBAll", 0},
};

QStringList translated(std::initializer_list<const char*> words) {
    QStringList out;
    for (const char* w : words)
        out.append(tr_(w));
    return out;
}

QStringList plain(std::initializer_list<const char*> words) {
    QStringList out;
    for (const char* w : words)
        out.append(QString::fromUtf8(w));
    return out;
}

}  // namespace

std::optional<double> parseReal(const QString& text) {
    bool ok = false;
    const double v = cLocale().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<qint64> parseInteger(const QString& text) {
    bool ok = false;
    const qint64 v = cLocale().toLongLong(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return v;
}

QString formatFixed(double value, int decimals) {
    QString s = QString::number(value, 'f', decimals);
    // A negative value that rounds to zero is shown as zero, not "-0.00".
    if (s.startsWith(QLatin1Char('-'))) {
        bool allZero = true;
        for (qsizetype k = 1; k < s.size(); ++k)
            if (s[k] != QLatin1Char('0') && s[k] != QLatin1Char('.'))
                allZero = false;
        if (allZero)
            s.remove(0, 1);
    }
    return s;
}

QString countText(qint64 count, int decimals) {
    if (decimals <= 0)
        return QString::number(count);
    const bool negative = count < 0;
    // Magnitude as unsigned, so that the most negative count needs no negation.
    const quint64 magnitude = negative ? quint64(0) - quint64(count) : quint64(count);
    const quint64 scale = quint64(pow10(decimals));
    QString fraction =
        QString::number(magnitude % scale).rightJustified(decimals, QLatin1Char('0'));
    return (negative ? QStringLiteral("-") : QString()) + QString::number(magnitude / scale) +
           QLatin1Char('.') + fraction;
}

EncodedValue encodeValue(int type, const QString& text) {
    EncodedValue r;
    auto bigEndian = [&](quint32 v, int bytes) {
        for (int k = bytes - 1; k >= 0; --k)
            r.bytes.append(static_cast<char>((v >> (8 * k)) & 0xFF));
    };
    if (type == 6) {
        const auto v = parseReal(text);
        if (!v) {
            r.error = QStringLiteral("\"%1\" is not a number").arg(text);
            return r;
        }
        if (std::fabs(*v) > double(FLT_MAX)) {
            r.error = QStringLiteral("%1 does not fit a single-precision float").arg(text);
            return r;
        }
        bigEndian(std::bit_cast<quint32>(static_cast<float>(*v)), 4);
        r.ok = true;
        return r;
    }
    if (type < 1 || type > 5) {
        r.ok = true;  // no bytes, nothing to send
        return r;
    }
    const auto n = parseInteger(text);
    if (!n || *n < std::numeric_limits<qint32>::min() || *n > std::numeric_limits<qint32>::max()) {
        r.error = QStringLiteral("\"%1\" is not a 32-bit whole number").arg(text);
        return r;
    }
    struct Range {
        qint64 low, high;
        int bytes;
    };
    static const Range ranges[] = {
        {0, 255, 1},
        {0, 65535, 2},
        {-32768, 32767, 2},
        {0, 2147483647, 4},
        {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), 4},
    };
    const Range& range = ranges[type - 1];
    if (*n < range.low || *n > range.high) {
        r.error = QStringLiteral("%1 is outside %2..%3").arg(*n).arg(range.low).arg(range.high);
        return r;
    }
    bigEndian(static_cast<quint32>(static_cast<qint32>(*n)), range.bytes);
    r.ok = true;
    return r;
}

// ---------------------------------------------------------------------------

Decoder::Decoder(ParameterTable& table, DisplayState& display, ControlModel& controls,
                 LinkFlagsSource link)
    : table_(table), display_(display), controls_(controls), link_(std::move(link)) {
    // The mirror starts as the pages are built; the front end catches up
    // with ControlModel::snapshot().
    for (const QString& name : fixedCombos())
        if (controls_.items(name).isEmpty())
            controls_.setItems(name, comboItems(name));
    for (const char* name : kReformatted)
        if (!controls_.has(QString::fromLatin1(name)))
            controls_.setText(QString::fromLatin1(name), QStringLiteral("0"));
}

QStringList Decoder::scaleDivisions() {
    return plain({"0.001", "0.002", "0.005", "0.01", "0.02", "0.05", "0.1", "0.2", "0.5", "1", "2",
                  "5", "10", "20", "50"});
}

QStringList Decoder::fixedCombos() {
    return plain({"CBUnit", "CBpeak", "CbFilter", "CBAll", "CBMode1", "CBMode2", "CbType1",
                  "CBType2", "CBSign1", "CBSign2", "CBStab1", "CBStab2", "CBProt1", "CBBaud1",
                  "cbframe", "CBMode", "CBRange", "CBtipologPC"});
}

QStringList Decoder::comboItems(const QString& c) {
    if (c == QLatin1String("CBUnit"))
        return scaleDivisions();
    if (c == QLatin1String("CBpeak") || c == QLatin1String("CBMode1") ||
        c == QLatin1String("CBMode2") || c == QLatin1String("CBMode"))
        return translated({"Net", "Gross", "Peak"});
    if (c == QLatin1String("CbFilter"))
        return plain({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
    if (c == QLatin1String("CBAll"))
        return translated({"OFF", "ON"});
    if (c == QLatin1String("CbType1") || c == QLatin1String("CBType2"))
        return translated({"N. Open", "N. Closed"});
    if (c == QLatin1String("CBSign1") || c == QLatin1String("CBSign2"))
        return translated({"Positive", "Negative"});
    if (c == QLatin1String("CBStab1"))
        return translated({"Normal", "Stable"});
    if (c == QLatin1String("CBStab2"))
        return translated({"Normal", "Stable"}) << QString();
    if (c == QLatin1String("CBProt1"))
        return translated(
            {"None", "Continue", "On Demand", "Automatic", "Slave", "Modbus", "Print"});
    if (c == QLatin1String("CBBaud1"))
        return plain({"2400", "9600", "19200", "38400", "115200"});
    if (c == QLatin1String("cbframe"))
        return plain(
            {"N-7-2", "E-7-1", "E-7-2", "O-7-1", "O-7-2", "N-8-1", "N-8-2", "E-8-1", "O-8-1"});
    if (c == QLatin1String("CBRange"))
        return plain({"0÷20mA", "4÷20mA", "0÷10V", "0÷5V"});
    if (c == QLatin1String("CBtipologPC"))
        return translated({"Manual control", "Number of Logs", "Time based"});
    return {};
}

void Decoder::fillComboLists() {
    for (const QString& name : fixedCombos())
        controls_.publish(ControlUpdate::setItems(name, comboItems(name)));
}

// ---------------------------------------------------------------------------
// Decoding

void Decoder::decodeEntry(int index) {
    ParamEntry& e = table_.entry(index);
    const int p = e.imagePos;
    auto byte = [&](int k) { return quint32(table_.readImageByte(p + k)); };
    switch (e.type) {
        case 1:
            e.value = QString::number(byte(0));
            break;
        case 2:
            e.value = QString::number(byte(0) << 8 | byte(1));
            break;
        case 3:
            e.value =
                QString::number(static_cast<qint16>(static_cast<quint16>(byte(0) << 8 | byte(1))));
            break;
        case 4:
        case 5:
        case 6: {
            const quint32 v = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
            if (e.type == 4)
                e.value = QString::number(v);
            else if (e.type == 5)
                e.value = QString::number(static_cast<qint32>(v));
            else
                e.value = generalText(double(std::bit_cast<float>(v)));
            break;
        }
        default:
            break;  // no bytes: the value text stays as it was
    }
}

void Decoder::decodeEntries(int first, int n) {
    for (int i = first; i < first + n; ++i)
        decodeEntry(i);
}

// ---------------------------------------------------------------------------
// Scaling and formatting

qint64 Decoder::integerOf(const QString& value) const {
    const auto n = parseInteger(value);
    if (!n || *n < std::numeric_limits<qint32>::min() || *n > std::numeric_limits<qint32>::max()) {
        if (showing_ >= 0)
            fail(QStringLiteral("%1 (entry %2): \"%3\" is not a 32-bit whole number")
                     .arg(table_.entry(showing_).name)
                     .arg(showing_)
                     .arg(value));
        fail(QStringLiteral("\"%1\" is not a 32-bit whole number").arg(value));
    }
    return *n;
}

double Decoder::realOf(const QString& value) const {
    const auto r = parseReal(value);
    if (!r) {
        if (showing_ >= 0)
            fail(QStringLiteral("%1 (entry %2): \"%3\" is not a number")
                     .arg(table_.entry(showing_).name)
                     .arg(showing_)
                     .arg(value));
        fail(QStringLiteral("\"%1\" is not a number").arg(value));
    }
    return *r;
}

QString Decoder::scaleUp(const QString& text) const {
    if (display_.divisionStep == 1)
        return text;
    const qint64 product = integerOf(text) * display_.divisionStep;
    if (product < std::numeric_limits<qint32>::min() ||
        product > std::numeric_limits<qint32>::max())
        fail(QStringLiteral("%1 times the division step %2 overflows")
                 .arg(text)
                 .arg(display_.divisionStep));
    return QString::number(product);
}

QString Decoder::scaleDown(const QString& text) const {
    if (display_.divisionStep == 1)
        return text;
    return QString::number(integerOf(text) / display_.divisionStep);  // truncates toward zero
}

QString Decoder::decimalText(const QString& text) const {
    if (display_.decimals == 0)
        return text;
    return countText(integerOf(text), display_.decimals);
}

void Decoder::refreshDecimals() {
    const int idx = controls_.index(QStringLiteral("CBUnit"));
    int decimals = 0;
    if (idx >= 0 && idx <= 2)
        decimals = 3;
    else if (idx >= 3 && idx <= 5)
        decimals = 2;
    else if (idx >= 6 && idx <= 8)
        decimals = 1;
    display_.decimals = decimals;
    display_.decimalsMask = maskFor(decimals);

    const QString unit = controls_.text(QStringLiteral("CBUnit"));
    const auto division = parseReal(unit);
    // A step below 1 would make every scale-down a division by zero.
    const double step = division ? std::round(*division * double(pow10(decimals))) : 0.0;
    if (step < 1.0 || step > double(std::numeric_limits<qint32>::max()))
        EventLog::log(QStringLiteral("Errore: Val div_errato(") + unit + QLatin1Char(')'));
    else
        display_.divisionStep = int(step);

    for (const char* field : kReformatted) {
        const QString name = QString::fromLatin1(field);
        const auto v = parseReal(controls_.text(name));
        if (!v) {
            EventLog::log(QStringLiteral("Errore: Aggiornamento virgole errato"));
            return;
        }
        controls_.publish(ControlUpdate::setText(name, formatFixed(*v, decimals)));
    }
}

// ---------------------------------------------------------------------------
// Fieldbus and analog rules

void Decoder::fillFieldbusProtocols() {
    // The protocol list follows the definition in use: program 12 has no
    // roles 42 to 50, so neither the Ethernet protocols nor "0 ALL".
    const QString code = table_.definitionPath.isEmpty()
                             ? table_.definitionVersion.left(2)
                             : ParameterTable::programCodeOfPath(table_.definitionPath);
    const bool program12 = code == QLatin1String("12");
    QStringList items = plain({"NONE", "PROFIBUS", "DEVICENET", "CANOPEN"});
    if (!program12)
        items << plain({"PROFINET", "ETHERNET/IP", "ETHERNET"});
    controls_.publish(ControlUpdate::setItems(QStringLiteral("CBProt2"), items));
    controls_.publish(ControlUpdate::setVisible(QStringLiteral("CBAll"), !program12));
    controls_.publish(ControlUpdate::setVisible(QStringLiteral("lball"), !program12));
}

void Decoder::fillFieldbusBauds() {
    QStringList bauds;
    bool baudShown = false;
    bool addressShown = false;
    bool ipShown = false;
    int limit = -1;
    switch (controls_.index(QStringLiteral("CBProt2"))) {
        case Devicenet:
            bauds = plain({"125k", "250k", "500k"});
            baudShown = addressShown = true;
            limit = 63;
            break;
        case Canopen:
            bauds = plain({"LSS", "20k", "50k", "125k", "250k", "500k", "800k", "1 M", "AUTO"});
            baudShown = addressShown = true;
            limit = 126;
            break;
        case Profibus:
            addressShown = true;
            limit = 126;
            break;
        case Profinet:
        case EthernetIp:
            ipShown = true;
            break;
        case Ethernet:
            break;
        default:
            controls_.publish(ControlUpdate::setIndex(QStringLiteral("CBProt2"), None));
            break;
    }
    controls_.publish(ControlUpdate::setItems(QStringLiteral("CBBaudField"), bauds));
    controls_.publish(ControlUpdate::setVisible(QStringLiteral("CBBaudField"), baudShown));
    controls_.publish(ControlUpdate::setVisible(QStringLiteral("lbBaudField"), baudShown));
    controls_.publish(ControlUpdate::setVisible(QStringLiteral("lbaddress2"), addressShown));
    controls_.publish(ControlUpdate::setVisible(QStringLiteral("Echannel"), addressShown));
    controls_.publish(ControlUpdate::setVisible(QStringLiteral("MEIP"), ipShown));
    controls_.publish(ControlUpdate::setVisible(QStringLiteral("MESNET"), ipShown));
    if (limit > 0)
        display_.fieldbusAddressLimit = limit;
    refreshAnalogAvailability();
    controls_.publish(ControlUpdate::setIndex(QStringLiteral("CBBaudField"), 0));
}

void Decoder::refreshAnalogAvailability(bool online, bool offlineMode) {
    // The analog output exists only without a fieldbus board.
    const bool available =
        controls_.index(QStringLiteral("CBProt2")) == None && (online || offlineMode);
    controls_.publish(ControlUpdate::setEnabled(QStringLiteral("Button6"), available));
    for (const char* name : kAnalogControls)
        controls_.publish(ControlUpdate::setVisible(QString::fromLatin1(name), available));
}

void Decoder::refreshAnalogAvailability() {
    const LinkFlags flags = link_ ? link_() : LinkFlags{};
    refreshAnalogAvailability(flags.online, flags.offlineMode);
}

void Decoder::defaultSelections() {
    for (const DefaultSelection& d : kDefaults) {
        const QString name = QString::fromLatin1(d.control);
        if (controls_.index(name) < 0)
            controls_.publish(ControlUpdate::setIndex(name, d.index));
    }
}

// ---------------------------------------------------------------------------
// Show entry

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

void Decoder::showOutputWord(const QString& value, const char* mode, const char* type,
                             const char* sign, const char* stable) {
    const qint64 w = integerOf(value);
    if (w < 0)
        fail(QStringLiteral("output word %1 is negative").arg(w));
    const QString names[4] = {QString::fromLatin1(mode), QString::fromLatin1(type),
                              QString::fromLatin1(sign), QString::fromLatin1(stable)};
    // Stable takes bit 4 and up, so the third (empty) item of OUT 2 reads back.
    const qint64 parts[4] = {w & 3, (w >> 2) & 1, (w >> 3) & 1, w >> 4};
    int idx[4];
    for (int k = 0; k < 4; ++k)
        idx[k] = checkedIndex(names[k], parts[k]);
    for (int k = 0; k < 4; ++k)
        controls_.publish(ControlUpdate::setIndex(names[k], idx[k]));
}

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

void Decoder::showEntry(int index) {
    ParamEntry& e = table_.entry(index);
    const int role = int(e.role & 127);
    const QString v = e.value;
    showing_ = index;
    struct Reset {
        int& ref;
        ~Reset() { ref = -1; }
    } reset{showing_};

    auto text = [&](const char* control, const QString& t) {
        controls_.publish(ControlUpdate::setText(QString::fromLatin1(control), t));
    };
    auto combo = [&](const char* control) { showCombo(QString::fromLatin1(control), v); };
    // value / 10^k with k decimals; exact for whole numbers.
    auto tenths = [&](int k) {
        const auto n = parseInteger(v);
        return n ? countText(*n, k) : formatFixed(realOf(v) / double(pow10(k)), k);
    };
    auto int32 = [&](qint64 n) {
        if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
            fail(QStringLiteral("%1 (entry %2): %3 overflows").arg(e.name).arg(index).arg(n));
        return qint32(n);
    };
    auto signedBy = [&](const QString& t, int bit) {
        const qint64 n = integerOf(t);
        return int32((display_.statusFlags >> bit) & 1 ? -n : n);
    };

    switch (role) {
        case 0:
            showScaleDivision(v);
            break;
        case 3:
            text("EVal1", decimalText(scaleUp(v)));
            break;
        case 4:
            text("EVal2", decimalText(scaleUp(v)));
            break;
        case 5:
            display_.peakWeight = int32(integerOf(scaleUp(v)));
            break;
        case 10:
            text("Eportata_max", v);
            break;
        case 11:
            text("ESensibility", tenths(4));
            break;
        case 12: {
            const double r = realOf(v);
            const double counts = std::trunc(r * double(pow10(display_.decimals)));
            if (counts < double(std::numeric_limits<qint32>::min()) ||
                counts > double(std::numeric_limits<qint32>::max()))
                fail(QStringLiteral("%1 (entry %2): used weight %3 overflows in counts")
                         .arg(e.name)
                         .arg(index)
                         .arg(v));
            text("Efs", v);
            display_.usedWeight = realOf(formatFixed(r, display_.decimals));
            display_.usedWeightCounts = qint32(counts);
            break;
        }
        case 13:
            text("epretare", v);
            break;
        case 14:
            combo("CBpeak");
            break;
        case 15:
            combo("CbFilter");
            break;
        case 16:
            text("Estab", v);
            break;
        case 17:
            text("EAutozero", tenths(1));
            break;
        case 18:
            text("Eztrack", v);
            break;
        case 19:
            text("EZeroBand", v);
            break;
        case 20:
            showOutputWord(v, "CBMode1", "CbType1", "CBSign1", "CBStab1");
            break;
        case 21:
            text("EHys1", decimalText(scaleUp(v)));
            break;
        case 22:
            text("ETime1", tenths(1));
            break;
        case 23:
            text("EDelay1", tenths(1));
            break;
        case 24:
            showOutputWord(v, "CBMode2", "CBType2", "CBSign2", "CBStab2");
            break;
        case 25:
            text("EHys2", decimalText(scaleUp(v)));
            break;
        case 26:
            text("ETime2", tenths(1));
            break;
        case 27:
            text("EDelay2", tenths(1));
            break;
        case 28:
            combo("CBBaud1");
            break;
        case 29:
            combo("CBProt1");
            break;
        case 30: {
            const qint32 address = int32(integerOf(v));
            text("Eaddress", v);
            text("Eaddcom", v);
            display_.commAddress = address;
            break;
        }
        case 31:
            text("Eritardorisp", tenths(2));
            break;
        case 32: {
            const QString frame = QStringLiteral("cbframe");
            int idx = checkedIndex(frame, integerOf(v));
            // Modbus runs on 8 data bits: a 7-bit frame is shown as N-8-1.
            if (controls_.index(QStringLiteral("CBProt1")) == 5 && idx >= 0 && idx < 5)
                idx = 5;
            controls_.publish(ControlUpdate::setIndex(frame, idx));
            break;
        }
        case 33: {
            const qint64 n = integerOf(v);
            fillFieldbusProtocols();
            controls_.publish(ControlUpdate::setIndex(QStringLiteral("CBProt2"),
                                                      checkedIndex(QStringLiteral("CBProt2"), n)));
            fillFieldbusBauds();
            if (fieldbusChanged)
                fieldbusChanged();
            break;
        }
        case 34:
            text("Echannel", v);
            break;
        case 35:
            combo("CBBaudField");
            break;
        case 36:
            text("EanaFS", decimalText(scaleUp(v)));
            break;
        case 37:
            combo("CBMode");
            break;
        case 38:
            combo("CBRange");
            break;
        case 41:
            text("Eanazero", decimalText(scaleUp(v)));
            break;
        case 42:
            combo("CBAll");
            break;
        case 43:
        case 47:
            display_.ipText = v + QLatin1Char('.');
            break;
        case 44:
        case 45:
        case 48:
        case 49:
            display_.ipText += v + QLatin1Char('.');
            break;
        case 46:
            text("MEIP", display_.ipText + v);
            break;
        case 50:
            text("MESNET", display_.ipText + v);
            break;
        case 51:
            display_.netWeight = signedBy(scaleUp(v), 0);
            break;
        case 52:
            display_.grossWeight = signedBy(scaleUp(v), 1);
            break;
        case 53:
            display_.adPoints = int32(integerOf(v));
            break;
        case 54:
            display_.signal = signedBy(v, 3);
            break;
        default:
            break;  // roles 1, 2, 6-9, 39, 40, 55 and up are not shown
    }
}

void Decoder::showSetupEntries() {
    for (int i = 0; i < table_.count(0); ++i)
        showEntry(i);
}
