#pragma once

#include <QString>

class Session;

// write parameter (role, text): the one way a page sends a value.
class WritePath {
public:
    explicit WritePath(Session& session) : s_(session) {}

    void write(int role, const QString& text);
    // Sets the role's value text first so that an unchanged value is sent.
    void forceWrite(int role, const QString& text);

private:
    Session& s_;
};
