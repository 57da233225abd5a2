#pragma once

#include <QString>

#include "link/outcome.h"

class Session;

// write parameter (role, text): the one way a page sends a value.
//
// The table mirrors the instrument while one is online: a write the
// instrument refused or never answered puts the old value text and image
// bytes back and shows them again. A write that could not go out because no
// instrument is online keeps the new value, which is how settings are edited
// offline and saved to a backup.
class WritePath {
public:
    explicit WritePath(Session& session) : s_(session) {}

    // NotSent (Reason::None) for an empty text or an unchanged value,
    // NotSent (Reason::NoRegister) for a role the definition lacks or a text
    // that is not a valid value for the entry.
    Outcome write(int role, const QString& text);
    // Sends the value even when it equals the stored one.
    Outcome forceWrite(int role, const QString& text);

private:
    Outcome writeEntry(int role, const QString& text, bool force);

    Session& s_;
};
