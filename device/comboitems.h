#pragma once

#include <QString>
#include <QStringList>

// The item lists of the page combo boxes. Item texts that the user reads
// are translated when the list is asked for, so a list asked for after a
// language change comes in the new language.
namespace ComboItems {

// The scale divisions of CBUnit, "0.001" to "50", by index.
QStringList scaleDivisions();
// The boxes whose list is fixed ("CBUnit", "CBpeak", ...).
QStringList fixedCombos();
// The fixed items of a box; empty for a box whose list depends on the
// fieldbus (CBProt2, CBBaudField) or that is no combo box.
QStringList items(const QString& control);
// CBProt2: the fieldbus protocols, "NONE" first; the Ethernet ones only
// where the definition has their roles.
QStringList fieldbusProtocols(bool withEthernet);
// CBBaudField: the bauds of a protocol by its CBProt2 index; empty for a
// protocol without a baud rate.
QStringList fieldbusBauds(int protocol);

}  // namespace ComboItems
