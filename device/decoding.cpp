#include "device/decoding.h"

#include <QByteArray>
#include <cmath>
#include <limits>

#include "base/eventlog.h"
#include "device/controlmodel.h"
#include "device/paramtable.h"

namespace {

[[noreturn]] void fail(const QString& message) {
    throw DecodeError(message.toStdString());
}

const char* const kReformatted[] = {"Epeso1", "EVal1",  "EVal2",   "EHys1",
                                    "EHys2",  "EanaFS", "Eanazero"};

const char* const kAnalogControls[] = {"lbanalog", "lbanalog1", "lbanalog2", "lbana1",
                                       "lbana2",   "lbscr5",    "GBanatest", "GB_Anacal"};

}  // namespace

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

// ---------------------------------------------------------------------------
// Decoding

void Decoder::decodeEntry(int index) {
    ParamEntry& e = table_.entry(index);
    // Byte by byte through the table, so an entry past the image throws
    // std::out_of_range and keeps its text.
    QByteArray bytes;
    for (int k = 0; k < ParameterTable::typeSize(e.type); ++k)
        bytes.append(char(table_.readImageByte(e.imagePos + k)));
    if (auto text = decodeValue(e.type, bytes))
        e.value = *std::move(text);
}

void Decoder::decodeEntries(int first, int n) {
    for (int i = first; i < first + n; ++i)
        decodeEntry(i);
}

// ---------------------------------------------------------------------------
// Scaling

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

qint32 Decoder::checkedInt32(qint64 n) const {
    if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        fail(QStringLiteral("%1 (entry %2): %3 overflows")
                 .arg(showing_ >= 0 ? table_.entry(showing_).name : QString())
                 .arg(showing_)
                 .arg(n));
    return qint32(n);
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
    const auto count = stepsToCount(integerOf(text), display_.divisionStep);
    if (!count)
        fail(QStringLiteral("%1 times the division step %2 overflows")
                 .arg(text)
                 .arg(display_.divisionStep));
    return QString::number(*count);
}

QString Decoder::scaleDown(const QString& text) const {
    if (display_.divisionStep == 1)
        return text;
    return QString::number(countToSteps(integerOf(text), display_.divisionStep));
}

QString Decoder::decimalText(const QString& text) const {
    if (display_.decimals == 0)
        return text;
    return countText(integerOf(text), display_.decimals);
}

void Decoder::refreshDecimals() {
    const int decimals = decimalsOfDivision(controls_.index(QStringLiteral("CBUnit")));
    display_.decimals = decimals;
    display_.decimalsMask = decimalsMask(decimals);

    const QString unit = controls_.text(QStringLiteral("CBUnit"));
    const auto division = parseReal(unit);
    // A step below 1 would make every scale-down a division by zero.
    const double step = division ? std::round(*division * double(powerOfTen(decimals))) : 0.0;
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
    controls_.publish(ControlUpdate::setItems(QStringLiteral("CBProt2"),
                                              ComboItems::fieldbusProtocols(!program12)));
    controls_.publish(ControlUpdate::setVisible(QStringLiteral("CBAll"), !program12));
    controls_.publish(ControlUpdate::setVisible(QStringLiteral("lball"), !program12));
}

void Decoder::fillFieldbusBauds() {
    const int protocol = controls_.index(QStringLiteral("CBProt2"));
    bool baudShown = false;
    bool addressShown = false;
    bool ipShown = false;
    int limit = -1;
    switch (protocol) {
        case Devicenet:
            baudShown = addressShown = true;
            limit = 63;
            break;
        case Canopen:
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
    controls_.publish(ControlUpdate::setItems(QStringLiteral("CBBaudField"),
                                              ComboItems::fieldbusBauds(protocol)));
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
