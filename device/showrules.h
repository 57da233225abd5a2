#pragma once

#include <QtGlobal>
#include <array>
#include <span>
#include <stdexcept>

#include "device/displaystate.h"

class Decoder;

// A received or stored value that cannot be shown, or a scaling that
// overflows. The message is one sentence, ready for the event log.
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How the value text of an entry reaches the pages, by the entry's role
// (its top bit cleared). One row per shown role: Decoder::showRules() is
// the whole table; a role without a row is not shown. `controls` names the
// controls a row fills, so a page can find what a role sets.
struct ShowRule {
    enum class Kind {
        Text,        // controls[0] := the value text
        Fixed,       // controls[0] := value / 10^decimals, written with `decimals` decimals
        Weight,      // controls[0] := the count scaled up and shown with the display decimals
        Combo,       // controls[0] selection := the value as an index of its items
        OutputWord,  // controls[0..3] (mode, type, sign, stable) := bits 0-1, 2, 3, 4 and up
        IpFirst,     // IP text := value + "."
        IpNext,      // IP text += value + "."
        IpLast,      // controls[0] := IP text + value
        Live,        // display.*live := the value, scaled up when `scaled`, negated when
                     // status bit `signBit` is set (-1: no sign)
        Special,     // `special` does it; it fills `controls`
    };

    int role = -1;
    Kind kind = Kind::Text;
    std::array<const char*, 4> controls{};
    int decimals = 0;
    qint32 DisplayState::*live = nullptr;
    bool scaled = false;
    int signBit = -1;
    void (Decoder::*special)(const QString& value) = nullptr;
};
