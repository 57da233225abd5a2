#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// What a port name stands for: a serial device path, a raw TCP byte stream
// to a network serial server ("tcp://HOST:PORT"), or the same over telnet
// with the serial-port control option ("rfc2217://HOST:PORT").
struct PortAddress {
    enum Kind { Serial, Tcp, Rfc2217 };

    Kind kind = Serial;
    QString path;  // Serial only
    QString host;  // Tcp and Rfc2217
    quint16 port = 0;

    bool isNetwork() const { return kind != Serial; }
    // The address written back as the port name the settings keep.
    QString text() const;

    // A name with a scheme ("...://") is a network address and must be a
    // well-formed one; anything else is a device path. nullopt (with
    // *error saying why, in the user's language) for a malformed address.
    static std::optional<PortAddress> parse(const QString& name, QString* error = nullptr);
    // True for a name that means a network port (its scheme alone).
    static bool looksNetwork(const QString& name);
    static QString kindScheme(Kind kind);

    // How many network ports the settings remember.
    static constexpr int kRemembered = 5;
    // The remembered list from its settings text (";" separated): the
    // well-formed network addresses, at most kRemembered, without repeats.
    static QStringList remembered(const QString& text);
    static QString rememberedText(const QStringList& list);
    // `list` with `address` moved (or added) to the front, trimmed to kRemembered.
    static QStringList remember(QStringList list, const QString& address);
};
