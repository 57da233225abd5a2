#pragma once

#include <QtGlobal>

// Typed parameter values as the instrument keeps them: an unsigned type holds
// 0..max, a signed type its two's-complement range; a float is kept as its raw
// 32 bits. On the wire every value travels as big-endian 16-bit registers.
namespace simvalue {

// Registers an entry of this type occupies: 0 for the types without bytes.
int registerCount(quint8 type);
qint64 typeMin(quint8 type);
qint64 typeMax(quint8 type);
bool fitsType(quint8 type, qint64 value);
// The value of the low registerCount*16 bits read as this type.
qint64 fromBits(quint8 type, quint32 bits);
quint32 toBits(quint8 type, qint64 value);

}  // namespace simvalue
