// The frame reader on arbitrary packets, with what stands behind it in the
// program: the reply matcher of the port and the real Dispatcher of a real
// Session, on a parameter table loaded from a shipped definition.
//
// Input: one control byte (bit 7 set: a search is in progress, so any
// address is accepted; the low bits give the link's address 1-127), then
// packets separated by NUL bytes, fed in order to the session's reader so
// frames split over packets and leftovers are exercised. Besides replies:
//   '>' bytes    a request the link sent (its binary frame), for the matcher;
//   '=' L [F]    the exchange in progress changes: letter L (modulo the
//                letters below) and, if present, flags F: bit 0 parameters
//                loaded, bit 1 online, bit 2 Peak view, bits 3-4 the shipped
//                definition in use (1218, 3512, 0000).
#include <QCoreApplication>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fuzzhome.h"
#include "link/codec.h"
#include "link/framereader.h"
#include "link/linkstate.h"
#include "link/replymatcher.h"
#include "session/dispatcher.h"
#include "session/requests.h"
#include "session/session.h"

namespace {

constexpr char kLetters[] = {0, 'C', 'I', 'E', 'P', 'X', 'Y', 'W', 'V', 'S'};
constexpr const char* kVersions[] = {"1218", "3512", "0000"};

ParameterTable tableInUse(const FuzzHome& home, const char* version) {
    ParameterTable t;
    t.definitionPath = home.file(QStringLiteral("Config/DATV%1.def").arg(QLatin1String(version)));
    if (!t.loadDefinition(t.definitionPath).ok)
        std::abort();
    t.definitionVersion = QLatin1String(version);
    return t;
}

// Stands between the session's reader and its Dispatcher: checks what the
// reader promises about every frame it hands on, and that the frame holds
// every byte the dispatcher's branch for it reads, then hands it on.
class CheckingHandler : public FrameHandler {
public:
    CheckingHandler(Session& s, FrameHandler& next) : s_(s), next_(next) {}

    int exceptions = 0;
    int frames = 0;

    void onExceptionReply(const QByteArray& frame, const Exchange* exchange) override {
        FUZZ_CHECK(frame.size() == 4);
        FUZZ_CHECK(static_cast<quint8>(frame[1]) > 0x38);
        FUZZ_CHECK(codec::verifica_lrc(frame));
        ++exceptions;
        next_.onExceptionReply(frame, exchange);
    }

    QString refuses(const QByteArray& frame, const Exchange* exchange) override {
        asked_ = frame;
        refused_ = next_.refuses(frame, exchange);
        return refused_;
    }

    bool onFrame(const QByteArray& frame, const Exchange* exchange) override {
        const LinkState& link = s_.link();
        FUZZ_CHECK(frame.size() >= 4);
        FUZZ_CHECK(codec::verifica_lrc(frame));
        const char letter = exchange ? exchange->letter() : char(0);
        if (letter != 'S')
            FUZZ_CHECK(static_cast<quint8>(frame[0]) == link.indirizzo.load());
        // The dispatcher was asked first and did not refuse it.
        FUZZ_CHECK(asked_ == frame && refused_.isEmpty());
        const auto function = static_cast<quint8>(frame[1]);
        const int count = static_cast<quint8>(frame[2]);
        if (function != 0x06 && function != 0x07 && function != 0x10)
            FUZZ_CHECK(frame.size() >= count + 3);
        // Data bytes are the frame's fourth byte up to the one before the
        // LRC: a branch reads no byte past them.
        const int data = frame.size() - 4;
        switch (function) {
            case 0x01:
            case 0x02:
                FUZZ_CHECK(data == count && data >= 1);
                break;
            case 0x03:
            case 0x04:
                FUZZ_CHECK(data == count);
                // A reply to the function on the line has the size it asked.
                if (exchange && exchange->expected().function == function &&
                    exchange->expected().shape == ExpectedReply::Shape::ByteCount)
                    FUZZ_CHECK(data == exchange->expected().byteCount);
                break;
            default:
                break;
        }
        // What the request side would build from the same bytes must
        // decode back to them.
        const QByteArray wire = codec::componi_frame(frame.left(frame.size() - 1));
        FUZZ_CHECK(codec::hex2bin(wire.mid(1, wire.size() - 3)) == frame);
        ++frames;
        return next_.onFrame(frame, exchange);
    }

private:
    Session& s_;
    FrameHandler& next_;
    QByteArray asked_;
    QString refused_;
};

// What a reply may change; a line the reader did not hand on changes none
// of it.
struct Used {
    QByteArray image;
    int ioBits = 0;
    int statusFlags = 0;
    QString caption;
    QString path;

    static Used of(Session& s) {
        return {s.table().image(), s.ioBits, s.display().statusFlags, s.table().firmwareCaption,
                s.table().definitionPath};
    }
    bool operator==(const Used&) const = default;
};

bool countsDamaged(FrameReader::Outcome o) {
    using O = FrameReader::Outcome;
    return o == O::WrongAddress || o == O::Short || o == O::Truncated || o == O::Checksum ||
           o == O::WrongCount || o == O::ConversionError;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The event log appends to /dev/null, which Qt warns about at every
    // line: millions of warnings would only slow the run. Anything graver
    // still shows.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    // The dispatcher runs timers and processes events, as in the program.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzHome home(true);
    static const ParameterTable tables[] = {tableInUse(home, kVersions[0]),
                                            tableInUse(home, kVersions[1]),
                                            tableInUse(home, kVersions[2])};
    if (size == 0)
        return 0;

    Session s;
    LinkState& link = s.link();
    auto useTable = [&s](int which) {
        s.table() = tables[which];
        s.publishPollGeometry();
    };
    useTable(0);
    link.indirizzo = 1 + (data[0] & 0x7F) % 127;
    // The exchange on the line: a fresh one of that letter for every line,
    // as the sender would have it after each send.
    char letter = (data[0] & 0x80) ? 'S' : 'P';
    auto putOnLine = [&s, &link](char l) -> ExchangePtr {
        if (l == 0) {
            link.setInFlight(nullptr);
            return nullptr;
        }
        const int a = link.indirizzo;
        QByteArray body;
        body.append(static_cast<char>(a));
        switch (l) {
            case 'C':
                body.append("\x01\x00\x00\x00\x02", 5);
                break;
            case 'I':
                body.append("\x02\x00\x00\x00\x02", 5);
                break;
            case 'E':
                body.append('\x07');
                break;
            case 'P':
                body.append("\x04\x00\x00\x00", 4);
                body.append(static_cast<char>(link.poll_p_count.load()));
                break;
            case 'X':
                body.append("\x03\x00\x00\x00\x01", 5);
                break;
            case 'Y':
                body.append("\x03\x00\x00\x00\x02", 5);
                break;
            case 'W':
                body.append("\x06\x00\x10\x00\x05", 5);
                break;
            case 'V':
                body = s.requests().identificationBody();
                break;
            default:
                body = s.requests().probeBody(a);
                break;
        }
        ExchangePtr e = Exchange::make(static_cast<ExchangeKind>(l), body);
        e->beginSend();
        link.setInFlight(e);
        return e;
    };
    link.online = true;
    link.parametri_caricati = true;
    CheckingHandler handler(s, s.dispatcher());
    FrameReader& reader = s.reader();
    reader.setHandler(&handler);
    ReplyMatcher& matcher = s.port().matcher();

    const QByteArray rest(reinterpret_cast<const char*>(data + 1),
                          static_cast<qsizetype>(size - 1));
    for (const QByteArray& packet : rest.split('\0')) {
        if (packet.startsWith('>')) {
            matcher.sent(packet.mid(1));
            FUZZ_CHECK(matcher.pending() <= ReplyMatcher::kMaxPending);
            continue;
        }
        if (packet.startsWith('=') && packet.size() >= 2) {
            letter = kLetters[static_cast<quint8>(packet[1]) % sizeof(kLetters)];
            if (packet.size() >= 3) {
                const auto flags = static_cast<quint8>(packet[2]);
                link.parametri_caricati = (flags & 0x01) != 0;
                link.online = (flags & 0x02) != 0;
                s.setView((flags & 0x04) ? 2 : 1);
                useTable(((flags >> 3) & 0x03) % 3);
            }
            continue;
        }

        const Used before = Used::of(s);
        const ExchangePtr exchange = putOnLine(letter);
        const int framesBefore = handler.frames;
        const int exceptionsBefore = handler.exceptions;
        const auto outcome = reader.elabora(packet);
        s.flushControls();
        using O = FrameReader::Outcome;

        if (outcome == O::Ignored)
            FUZZ_CHECK(packet.size() < 5);
        // The accumulator never holds the colon that started the frame, nor
        // anything of a complete line, and never grows without bound.
        FUZZ_CHECK(!reader.buffer_rx().contains(':'));
        FUZZ_CHECK(reader.buffer_rx().size() <= FrameReader::kMaxPending);
        if (outcome != O::Ignored && outcome != O::Incomplete)
            FUZZ_CHECK(reader.buffer_rx().isEmpty());
        if (exchange) {
            // A damaged line counts once, anything else not at all; only a
            // frame handed on can answer, and a damaged line never does.
            FUZZ_CHECK(exchange->damagedLines() == (countsDamaged(outcome) ? 1 : 0));
            if (exchange->outcome().isAnswered())
                FUZZ_CHECK(outcome == O::Dispatched);
            if (countsDamaged(outcome))
                FUZZ_CHECK(!exchange->decided());
        }
        // Only a frame handed on reaches the dispatcher, and only one of
        // them can change what a reply stores.
        FUZZ_CHECK((handler.frames - framesBefore) == (outcome == O::Dispatched ? 1 : 0) ||
                   outcome == O::ConversionError);
        FUZZ_CHECK((handler.exceptions - exceptionsBefore) == (outcome == O::Exception ? 1 : 0) ||
                   outcome == O::ConversionError);
        if (outcome != O::Dispatched && outcome != O::ConversionError)
            FUZZ_CHECK(Used::of(s) == before);
    }
    reader.setHandler(&s.dispatcher());
    return 0;
}
