#include "app/cli/clilink.h"

#include <QFileInfo>

#include "base/programfolder.h"
#include "device/paramtable.h"
#include "link/portaccess.h"
#include "link/vacom.h"
#include "services/settingsfile.h"
#include "session/connection.h"

namespace {
// A builder gives the line back within its retries.
constexpr int kTestEndLockWaitMs = 10000;
}  // namespace

CliLink::CliLink(const CliOptions& options, const CliOutput& out, QObject* parent)
    : QObject(parent), options_(options), out_(out), presentation_(out), session_(&presentation_) {
    connect(&signals_, &CliSignals::interruptedNow, this, &CliLink::onInterrupt);
    // Queued after the session's own handler, which closes the port first.
    connect(&session_.port(), &VaCom::removed, this, &CliLink::onRemoved);
    connect(&session_, &Session::onlineChanged, this, &CliLink::onOnline);
    reconnect_.setInterval(1000);
    connect(&reconnect_, &QTimer::timeout, this, &CliLink::onReconnectTick);
}

CliLink::~CliLink() {
    finish();
}

void CliLink::loadSettings() {
    const SettingsFile::LoadResult settings = SettingsFile::load(0, 0);
    session_.settings() = settings.values;
    const fdati& f = session_.settings();

    port_ = options_.port.isEmpty() ? f.porta : options_.port;
    if (port_.isEmpty() || port_ == QLatin1String("NO"))
        throw CliError{kExitUsage,
                       QStringLiteral("no port given: use --port PATH (the settings file in %1 "
                                      "names none)")
                           .arg(ProgramFolder::path())};
    QString malformed;
    if (!PortAddress::parse(port_, &malformed))
        throw CliError{kExitUsage, malformed};

    speed_ = options_.baud.isEmpty() ? f.velocita : options_.baud;
    if (!VaCom::isAcceptedSpeed(speed_))
        throw CliError{kExitUsage,
                       QStringLiteral("the settings file's speed \"%1\" is not one the port takes; "
                                      "use --baud N")
                           .arg(speed_)};

    address_ = options_.address;
    if (address_ == 0) {
        bool ok = false;
        const int a = f.address.trimmed().toInt(&ok);
        address_ = ok && a >= 1 && a <= 127 ? a : 1;
    }
}

void CliLink::prepareCore() {
    if (!QFileInfo::exists(offlineDefinitionPath()))
        throw CliError{kExitFile,
                       QStringLiteral("definition files not found: %1 is missing (--home DIR "
                                      "names the program folder)")
                           .arg(offlineDefinitionPath())};
    fdati& f = session_.settings();
    f.porta = port_;
    f.velocita = speed_;
    f.address = QString::number(address_);
    session_.link().indirizzo = address_;
    // The window fills its lists before anything is shown; the scale
    // division of the read-out is an index into one of them.
    session_.decoder().fillComboLists();
    session_.decoder().defaultSelections();
    session_.connection().loadOfflineDefinition();
    // No progress window to show: the read-out ends the connection at once.
    session_.connection().setDisplayWaitMs(0);
    session_.flushControls();
}

// A device path must exist before it is opened; a network address is tried.
bool CliLink::portMayExist() const {
    return PortAddress::looksNetwork(port_) || QFileInfo::exists(port_);
}

CliError CliLink::openError() const {
    if (!portMayExist())
        return {kExitInstrument, QStringLiteral("no serial port at %1").arg(port_)};
    const VaCom& port = const_cast<Session&>(session_).port();
    if (port.permissionDenied())
        return {kExitInstrument, PortAccess::permissionAdvice(port_)};
    return {kExitInstrument, QStringLiteral("cannot open %1: %2").arg(port_, port.errorText())};
}

void CliLink::openPort() {
    loadSettings();
    prepareCore();
    session_.setStartupComplete(false);
    if (!portMayExist())
        throw openError();
    session_.impostacom();
    session_.tRecover().stop();
    if (!session_.port().isOpen())
        throw openError();
}

void CliLink::connectInstrument() {
    loadSettings();
    prepareCore();
    if (!portMayExist())
        throw openError();
    identified_ = false;
    presentation_.onReadOut = [this] { identified_ = true; };
    session_.setStartupComplete(true);
    session_.impostacom();
    // A network address stays chosen when its server is away: a network
    // port that is closed with a reason did not open.
    const VaCom& port = session_.port();
    const bool openFailed =
        session_.settings().porta == QLatin1String("NO") ||
        (port.isNetwork() && !port.isOpen() && !port.errorText().isEmpty());
    if (openFailed || !session_.link().online)
        session_.tRecover().stop();
    if (openFailed)
        throw openError();
    throwIfAborted(QStringLiteral("while connecting"));
    if (!session_.link().online) {
        if (!identified_ && session_.connection().identification().kind == Outcome::Kind::Damaged)
            throw CliError{kExitInstrument,
                           QStringLiteral("replies from address %1 on %2 (%3 baud) arrived "
                                          "damaged: check the speed, the wiring and the "
                                          "line's termination")
                               .arg(address_)
                               .arg(port_, speed_)};
        if (!identified_)
            throw CliError{kExitInstrument,
                           QStringLiteral("no instrument answered at address %1 on %2 (%3 baud)")
                               .arg(address_)
                               .arg(port_, speed_)};
        const int failed = std::max(0, presentation_.readOutPosition - 1);
        throw CliError{kExitInstrument,
                       QStringLiteral("the instrument at address %1 stopped answering while its "
                                      "parameters were read (entry %2, %3 of %4)")
                           .arg(address_)
                           .arg(session_.table().entry(failed).name)
                           .arg(failed + 1)
                           .arg(presentation_.readOutMaximum)};
    }
    connected_ = true;
    if (resilient_) {
        // Later read-outs are reconnections; they must not scribble over the display.
        presentation_.readOutBar = false;
        reconnect_.start();
    }
}

void CliLink::throwIfAborted(const QString& during) const {
    if (interrupted())
        throw CliError{kExitInterrupted, QStringLiteral("interrupted %1").arg(during)};
    if (resilient_)
        return;
    if (unplugged_)
        throw CliError{kExitInstrument,
                       QStringLiteral("the serial port %1 was unplugged %2").arg(port_, during)};
    if (lost_)
        throw CliError{kExitInstrument,
                       QStringLiteral("the instrument stopped answering %1").arg(during)};
}

bool CliLink::waitFor(const std::function<bool()>& done, int timeoutMs) {
    // The limit holds even when it passes during a reconnection's read-out,
    // which runs inside this wait: the link is cut then, and the read-out
    // unwinds at once.
    QTimer limit;
    limit.setSingleShot(true);
    if (timeoutMs >= 0) {
        connect(&limit, &QTimer::timeout, this, [this] {
            if (session_.link().uso_esclusivo)
                cut();
        });
        limit.start(timeoutMs);
    }
    session_.waitUntil([&] { return done() || aborted(); }, timeoutMs);
    return done();
}

void CliLink::finish() {
    if (finished_)
        return;
    finished_ = true;
    reconnect_.stop();
    // Whatever way the command ends, a test it started does not outlive it.
    session_.endRunningTests(kTestEndLockWaitMs);
    session_.shutdownLink();
}

void CliLink::cut() {
    LinkState& link = session_.link();
    // Offline mode keeps every sender off the wire and the recovery timer
    // from reconnecting; without startup the port set-up cannot connect either.
    link.modo_offline = true;
    link.online = false;
    session_.setStartupComplete(false);
    session_.tRecover().stop();
    reconnect_.stop();
    link.requestStop();
    Q_EMIT session_.wake();
}

void CliLink::onInterrupt() {
    // Ctrl+C during a test: end it while the line is still ours, then cut.
    // A builder that holds the line finishes first; waiting for it here
    // would stall it, since it resumes only when this handler returns.
    if (session_.testRunning() && session_.link().online && !finished_) {
        if (!interruptDeadline_)
            interruptDeadline_.emplace(kTestEndLockWaitMs);
        if (session_.link().canale_occupato && !interruptDeadline_->hasExpired()) {
            QTimer::singleShot(20, this, &CliLink::onInterrupt);
            return;
        }
        session_.endRunningTests(0);
    }
    cut();
    Q_EMIT interruptedNow();
}

void CliLink::onRemoved() {
    unplugged_ = true;
    if (!resilient_)
        cut();
}

void CliLink::onOnline(bool online) {
    Q_EMIT onlineChanged(online);
    if (!online && connected_ && !resilient_ && !finished_) {
        lost_ = true;
        cut();
    }
}

void CliLink::onReconnectTick() {
    // A failed reopen names no port any more; put ours back so the core's
    // recovery timer tries it again, as a replugged adapter needs.
    LinkState& link = session_.link();
    if (link.online || link.modo_offline)
        return;
    fdati& f = session_.settings();
    if (f.porta == QLatin1String("NO")) {
        f.porta = port_;
        f.velocita = speed_;
    }
    if (!session_.tRecover().isActive())
        session_.tRecover().start();
}
