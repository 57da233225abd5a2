#include "app/cli/clisignals.h"

#include <fcntl.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace {

int g_pipe[2] = {-1, -1};
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");

void onSignal(int number) {
    const int saved = errno;
    g_signal.store(number);
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &c, 1);
    errno = saved;
}

}  // namespace

bool CliSignals::install() {
    if (g_pipe[0] >= 0)
        return true;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND | SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    // A reader that goes away (velmora-cli watch | head) ends output, not us.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

bool CliSignals::interrupted() {
    return g_signal.load() != 0;
}

int CliSignals::signalNumber() {
    return g_signal.load();
}

CliSignals::CliSignals(QObject* parent) : QObject(parent) {
    if (g_pipe[0] < 0)
        return;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CliSignals::onReadable);
}

void CliSignals::onReadable() {
    char buf[16];
    while (::read(g_pipe[0], buf, sizeof buf) > 0) {
    }
    if (!emitted_ && interrupted()) {
        emitted_ = true;
        Q_EMIT interruptedNow();
    }
}
