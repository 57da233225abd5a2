#pragma once

#include <QByteArray>

#include "link/framereader.h"

class Session;

// elabora_risposta's second stage: decides what a valid reply means from its
// function byte and the letter of the exchange in progress, stores it, moves
// the link online or offline, and writes risposta_ok last.
class Dispatcher : public FrameHandler {
public:
    explicit Dispatcher(Session& session) : s_(session) {}

    void onExceptionReply(const QByteArray& frame) override;
    // A read reply whose byte count is not what the letter in progress asked
    // for: coils and inputs one byte, the peak one register, a parameter read
    // one or two, the identification one, the data section poll the
    // registers it asked. Every byte a branch below reads is then inside the
    // frame.
    QString refuses(const QByteArray& frame) override;
    void onFrame(const QByteArray& frame) override;

private:
    int inputRegisters(const QByteArray& frame);
    int peakReply(const QByteArray& frame);
    int identification(const QByteArray& frame);
    // Runs the live refresh, or takes the link offline while the connect
    // procedure has not completed. Returns the result to report.
    int afterLiveReply();

    Session& s_;
};
