// trace: every exchange with the instrument as the traffic monitor records
// it, decoded by entry name, while the instrument is watched. Rides out a
// lost link like watch and ends on Ctrl+C, --seconds or a closed output.
#include "app/cli/clicommands.h"
#include "app/cli/clilink.h"
#include "link/traffictap.h"
#include "session/trafficdecoder.h"

int CliCommands::trace(const CliOptions& o, const CliOutput& out) {
    CliLink link(o, out);
    link.setResilient(true);
    Session& s = link.session();
    TrafficTap& tap = s.traffic();
    // The decoder starts from the table as it is; the read-out of the
    // connection then tells it every value.
    TrafficDecoder decoder(s.table());
    TrafficCounters counters;
    auto take = [&](const QList<TrafficRecord>& records) {
        for (const TrafficRecord& r : records) {
            counters.add(r);
            const DecodedTraffic d = decoder.decode(r);
            if (o.problems && !r.isProblem())
                continue;
            out.document(TrafficDecoder::toJson(r, d));
            out.line(TrafficDecoder::toText(r, d));
        }
    };
    QObject::connect(&tap, &TrafficTap::records, &link, take);
    // Listening before the connection shows the identification and the
    // read-out too.
    tap.listen();
    link.connectInstrument();

    const int limit = o.seconds ? static_cast<int>(*o.seconds * 1000.0) : -1;
    link.waitFor([] { return CliOutput::outputClosed(); }, limit);
    link.finish();
    take(tap.drain());
    tap.unlisten();

    out.note(QStringLiteral("%1 exchanges, %2 retries, %3 damaged lines, %4 refused, %5 "
                            "without an answer; replies took %6 ms on average, %7 ms at worst")
                 .arg(counters.exchanges)
                 .arg(counters.retries)
                 .arg(counters.damaged)
                 .arg(counters.refused)
                 .arg(counters.timeouts)
                 .arg(counters.meanReplyMs(), 0, 'f', 1)
                 .arg(counters.replyMsWorst));
    if (tap.dropped() > 0)
        out.warn(QStringLiteral("%1 exchanges were not recorded: the output could not keep up")
                     .arg(tap.dropped()));
    return kExitOk;
}
