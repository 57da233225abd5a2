#include "device/comboitems.h"

#include <initializer_list>

#include "base/texts.h"
#include "device/controlmodel.h"
#include "device/decoding.h"

namespace {

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

}  // namespace

namespace ComboItems {

QStringList scaleDivisions() {
    return plain({"0.001", "0.002", "0.005", "0.01", "0.02", "0.05", "0.1", "0.2", "0.5", "1", "2",
                  "5", "10", "20", "50"});
}

QStringList fixedCombos() {
    return plain({"CBUnit", "CBpeak", "CbFilter", "CBAll", "CBMode1", "CBMode2", "CbType1",
                  "CBType2", "CBSign1", "CBSign2", "CBStab1", "CBStab2", "CBProt1", "CBBaud1",
                  "cbframe", "CBMode", "CBRange", "CBtipologPC"});
}

QStringList items(const QString& c) {
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

QStringList fieldbusProtocols(bool withEthernet) {
    QStringList items = plain({"NONE", "PROFIBUS", "DEVICENET", "CANOPEN"});
    if (withEthernet)
        items << plain({"PROFINET", "ETHERNET/IP", "ETHERNET"});
    return items;
}

QStringList fieldbusBauds(int protocol) {
    switch (protocol) {
        case Decoder::Devicenet:
            return plain({"125k", "250k", "500k"});
        case Decoder::Canopen:
            return plain({"LSS", "20k", "50k", "125k", "250k", "500k", "800k", "1 M", "AUTO"});
        default:
            return {};
    }
}

}  // namespace ComboItems

// ---------------------------------------------------------------------------
// The decoder's part: loading the lists into the control model.

QStringList Decoder::scaleDivisions() {
    return ComboItems::scaleDivisions();
}

QStringList Decoder::fixedCombos() {
    return ComboItems::fixedCombos();
}

QStringList Decoder::comboItems(const QString& control) {
    return ComboItems::items(control);
}

void Decoder::fillComboLists() {
    for (const QString& name : fixedCombos())
        controls_.publish(ControlUpdate::retitleItems(name, comboItems(name)));
}

void Decoder::defaultSelections() {
    for (const DefaultSelection& d : kDefaults) {
        const QString name = QString::fromLatin1(d.control);
        if (controls_.index(name) < 0)
            controls_.publish(ControlUpdate::setIndex(name, d.index));
    }
}
