#include "app/cli/cliterminal.h"

#include <poll.h>
#include <unistd.h>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <cerrno>

#include "app/cli/clioutput.h"
#include "app/cli/clisignals.h"

namespace {

// Bytes read past an answer's line end belong to the next question.
QByteArray g_pending;
bool g_eof = false;

// Reads what stdin has without blocking; true once a line or the end is there.
bool lineReady() {
    if (g_pending.contains('\n') || g_eof)
        return true;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0)
        return false;
    if (p.revents & POLLNVAL) {
        g_eof = true;
        return true;
    }
    char buf[256];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n > 0)
        g_pending.append(buf, n);
    else if (n == 0 || (errno != EAGAIN && errno != EINTR))
        g_eof = true;
    return g_pending.contains('\n') || g_eof;
}

}  // namespace

bool CliTerminal::pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer::Forever
                                                : QDeadlineTimer(timeoutMs));
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

CliTerminal::Answer CliTerminal::ask(const QString& question) {
    CliOutput::writeErr((question + QStringLiteral(" [y/N] ")).toLocal8Bit());
    pumpUntil([] { return CliSignals::interrupted() || lineReady(); }, -1);
    if (CliSignals::interrupted()) {
        CliOutput::writeErr("\n");
        return Answer::NoAnswer;
    }
    const qsizetype eol = g_pending.indexOf('\n');
    if (eol < 0) {
        CliOutput::writeErr("\n");
        return Answer::NoAnswer;
    }
    const QString answer = QString::fromLocal8Bit(g_pending.left(eol)).trimmed().toLower();
    g_pending.remove(0, eol + 1);
    if (answer == QLatin1String("y") || answer == QLatin1String("yes"))
        return Answer::Yes;
    return Answer::No;
}
