#pragma once

#include <QByteArray>

#include "link/framereader.h"

class Session;

// elabora_risposta's second stage: decides what a valid reply means from its
// function byte and the kind of the exchange it answers, stores it, and moves
// the link online or offline. Whether the exchange is answered it tells the
// reader, which decides the exchange.
class Dispatcher : public FrameHandler {
public:
    explicit Dispatcher(Session& session) : s_(session) {}

    void onExceptionReply(const QByteArray& frame, const Exchange* exchange) override;
    // A read reply whose byte count is not what the letter in progress asked
    // for: coils and inputs one byte, the peak one register, a parameter read
    // one or two, the identification one, the data section poll the
    // registers it asked. Every byte a branch below reads is then inside the
    // frame.
    QString refuses(const QByteArray& frame, const Exchange* exchange) override;
    bool onFrame(const QByteArray& frame, const Exchange* exchange) override;

private:
    bool inputRegisters(const QByteArray& frame, char letter);
    bool peakReply(const QByteArray& frame);
    bool identification(const QByteArray& frame);
    // Runs the live refresh, or takes the link offline while the connect
    // procedure has not completed. True when the reply answers its poll.
    bool afterLiveReply();

    Session& s_;
};
