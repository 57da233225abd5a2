#include "session/session.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QScopedValueRollback>

#include "base/eventlog.h"
#include "base/texts.h"
#include "link/portaccess.h"
#include "link/protocol.h"
#include "session/connection.h"
#include "session/dispatcher.h"
#include "session/requests.h"
#include "session/writepath.h"

Session::Session(Presentation* presentation, QObject* parent)
    : QObject(parent),
      presentation_(presentation ? presentation : &defaultPresentation_),
      decoder_(std::make_unique<Decoder>(
          table_, display_, controls_,
          [this] {
              return Decoder::LinkFlags{link_.online.load(), link_.modo_offline.load()};
          })),
      dispatcher_(std::make_unique<Dispatcher>(*this)),
      reader_(link_, dispatcher_.get()),
      requests_(std::make_unique<Requests>(*this)),
      writePath_(std::make_unique<WritePath>(*this)),
      connection_(std::make_unique<Connection>(*this)),
      mainQueue_(std::make_shared<MainQueue>()),
      traffic_(std::make_shared<TrafficTap>()),
      live_(display_, controls_) {
    reader_.setMatcher(&port_.matcher());
    reader_.setTap(traffic_.get());
    attachToEventLoop(mainQueue_, this);
    tRecover_.setInterval(3000);
    tStato_.setInterval(3000);
    connect(&tRecover_, &QTimer::timeout, this, &Session::onRecoverTick);
    connect(&tStato_, &QTimer::timeout, this, &Session::onStatoTick);
    connect(&port_, &VaCom::packet, this, &Session::elabora_risposta);
    connect(&port_, &VaCom::removed, this, &Session::onPortRemoved);
    settings_ = fdati{};
}

Session::~Session() {
    if (thread_) {
        link_.requestStop();
        if (thread_->waitEnded(5000))
            reapThread();
        else
            abandonThread();
    }
    // Whatever the thread posted and nobody ran is dropped with us.
    mainQueue_->close();
}

void Session::reapThread() {
    if (!thread_ || !thread_->ended())
        return;
    // run() has returned; only Qt's own bookkeeping of the thread is left,
    // which takes microseconds.
    if (!thread_->wait(1000)) {
        abandonThread();
        return;
    }
    thread_.reset();
}

void Session::abandonThread() {
    // Never terminated: left to process exit. Its calls still reach us while
    // we live; the destructor closes the queue so later ones are dropped.
    [[maybe_unused]] TThgestioneseriale* left = thread_.release();
}

void Session::setPresentation(Presentation* presentation) {
    presentation_ = presentation ? presentation : &defaultPresentation_;
}

// ---------------------------------------------------------------- waits

bool Session::waitUntil(const std::function<bool()>& predicate, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(timeoutMs));
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer tick;
        tick.setSingleShot(true);
        connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(this, &Session::wake, &loop, &QEventLoop::quit);
        // The tick is only a backstop; a reply or the end of an exchange
        // emits wake and ends the wait at once.
        const qint64 remaining = deadline.isForever() ? 20 : deadline.remainingTime();
        tick.start(static_cast<int>(std::clamp<qint64>(remaining, 0, 20)));
        loop.exec();
    }
    return true;
}

void Session::mySleep(int ms) {
    waitUntil([] { return false; }, ms);
}

void Session::waitExchange(const ExchangePtr& exchange) {
    waitUntil([this, &exchange] { return exchange->ended() || !transmitThreadRunning(); }, -1);
    if (!exchange->ended()) {
        // No thread will send it: it fails here, and a later thread skips it.
        exchange->fail();
        exchange->end();
    }
}

// ---------------------------------------------------------------- primitives

Outcome::Reason Session::queueRefusal() const {
    if (link_.modo_offline)
        return Outcome::Reason::Offline;
    if (settings_.porta == QLatin1String("NO"))
        return Outcome::Reason::PortGone;
    // The search and the firmware programmer hold the line until they end; a
    // request queued behind them would wait without limit.
    if (link_.ricerca || link_.aggiornamento_fw)
        return Outcome::Reason::LockHeld;
    return Outcome::Reason::None;
}

ExchangePtr Session::accoda_comando(ExchangeKind kind, const QByteArray& body) {
    ExchangePtr exchange = Exchange::make(kind, body);
    const Outcome::Reason refusal = queueRefusal();
    if (refusal != Outcome::Reason::None) {
        exchange->cancel(refusal);
        return exchange;
    }
    if (kind == ExchangeKind::Write) {
        link_.stato_link = 0;
        presentation_->setStatusText(0, QStringLiteral("Status: TX"));
    }
    if (!ring_.push(exchange)) {
        EventLog::log(QStringLiteral("Errore: Coda TX piena, richiesta ") +
                      QChar(exchange->letter()) + QStringLiteral(" scartata"));
        exchange->cancel(Outcome::Reason::LockHeld);
    }
    return exchange;
}

bool Session::prendi_canale() {
    if (!link_.online || link_.canale_occupato)
        return false;
    link_.canale_occupato = true;
    return true;
}

void Session::rilascia_canale() {
    presentation_->setBusyCursor(false);
    link_.canale_occupato = false;
}

ExchangePtr Session::exchange(ExchangeKind kind, const QByteArray& body) {
    ExchangePtr exchange = accoda_comando(kind, body);
    if (!exchange->ended())
        waitExchange(exchange);
    return exchange;
}

ExchangePtr Session::invia_diretto(ExchangeKind kind, const QByteArray& body) {
    ExchangePtr exchange = Exchange::make(kind, body);
    presentation_->setBusyCursor(true);
    const Outcome::Reason refusal = queueRefusal();
    if (refusal != Outcome::Reason::None && refusal != Outcome::Reason::LockHeld) {
        exchange->cancel(refusal);
        rilascia_canale();
        return exchange;
    }
    const char letter = exchange->letter();
    // The monitor's record of this exchange, when somebody listens.
    const bool recorded = traffic_->enabled();
    ExchangeEnd record;
    if (recorded) {
        record.seq = traffic_->beginExchange();
        record.wallMs = QDateTime::currentMSecsSinceEpoch();
        record.letter = letter;
        record.frame = exchange->frame();
    }
    link_.setInFlight(exchange);
    for (int tries = 3; tries > 0 && !exchange->decided(); --tries) {
        exchange->beginSend();
        if (recorded) {
            traffic_->resumeExchange(record.seq);
            ++record.sends;
            record.lastSendMs = ReplyMatcher::nowMs();
        }
        if (port_.isOpen() && !link_.porta_chiusa) {
            if (port_.write(exchange->frame()))
                exchange->noteWritten();
            else
                EventLog::log(QStringLiteral("Errore: Fallita la comunicazione"));
            QCoreApplication::processEvents();
        }
        waitUntil([this, &exchange,
                   letter] { return exchange->sendSettled() || !(link_.online || letter == 'V'); },
                  Exchange::kDirectWaitMs);
        if (!exchange->decided())
            presentation_->setStatusText(
                0, QStringLiteral("Status: Retry %1 C:%2").arg(4 - tries).arg(QChar(letter)));
    }
    exchange->fail();
    link_.clearInFlight(exchange.get());
    exchange->end();
    if (recorded) {
        record.endMs = ReplyMatcher::nowMs();
        record.answered =
            exchange->outcome().isAnswered() || exchange->outcome().kind == Outcome::Kind::Refused;
        traffic_->publishDirect(std::move(record));
    }
    rilascia_canale();
    return exchange;
}

// ---------------------------------------------------------------- thread

bool Session::transmitThreadRunning() const {
    return thread_ && !thread_->ended();
}

void Session::startTransmitThread() {
    if (transmitThreadRunning())
        return;
    // An ended thread not reaped yet (its last call still queued) goes now.
    reapThread();
    link_.richiesta_stop = false;
    thread_ = std::make_unique<TThgestioneseriale>(link_, ring_, mainQueue_, this);
    thread_->setTrafficTap(traffic_);
    thread_->start();
}

bool Session::stopTransmitThread(int timeoutMs) {
    if (!thread_)
        return true;
    link_.requestStop();
    // The thread's last call (transmitThreadEnded) emits wake.
    waitUntil([this] { return !transmitThreadRunning(); }, timeoutMs);
    if (transmitThreadRunning())
        return false;
    reapThread();
    return true;
}

// ---------------------------------------------------------------- port

void Session::publishPollGeometry() {
    const int net = table_.findRole(proto::kRoleNetWeight);
    const int peak = table_.findRole(proto::kRolePeak);
    link_.poll_p_register = net < 0 ? 0 : (table_.entry(net).regOffset + table_.dataBase) & 0xFFFF;
    link_.poll_p_count = std::max(0, (table_.bytes(1) - table_.bytes(0)) / 2);
    link_.poll_x_register =
        peak < 0 ? 0 : (table_.entry(peak).regOffset + table_.setupBase) & 0xFFFF;
}

void Session::impostacom() {
    port_.close();
    const bool chosen = settings_.porta != QLatin1String("NO");
    link_.porta_scelta = chosen;
    if (chosen)
        port_.setPortName(settings_.porta);
    port_.setSpeedText(settings_.velocita);
    if (chosen) {
        link_.porta_chiusa = false;
        if (port_.open()) {
            if (port_.isNetwork())
                settings_.porte_rete = PortAddress::rememberedText(PortAddress::remember(
                    PortAddress::remembered(settings_.porte_rete), settings_.porta));
            if (startupComplete_ && !link_.online && !link_.uso_esclusivo)
                connection_->connectInstrument();
        } else {
            EventLog::log(QStringLiteral("Errore: Apertura della porta"));
            if (!tRecover_.isActive()) {
                QString text = settings_.porta + QLatin1Char(' ') + tr_("not Available");
                if (port_.permissionDenied())
                    text += QLatin1Char('\n') + PortAccess::permissionAdvice(settings_.porta);
                else if (port_.isNetwork() && !port_.errorText().isEmpty())
                    text += QLatin1Char('\n') + port_.errorText();
                presentation_->domanda(text, 1);
            }
            port_.close();
            // A network server gives no arrival event when it comes back:
            // its address stays chosen and the recovery keeps trying it.
            if (!port_.isNetwork() || !PortAddress::parse(settings_.porta)) {
                settings_.porta = QStringLiteral("NO");
                link_.porta_scelta = false;
            }
            link_.online = false;
            connection_->disablePages();
            connection_->refreshPresentation();
            tRecover_.start();
        }
    }
    // A raw TCP server runs its line at its own speed: the address alone.
    const QString line =
        settings_.porta.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive)
            ? settings_.porta
            : settings_.porta + QLatin1Char(':') + settings_.velocita + QStringLiteral(" N,8,1");
    presentation_->setWindowTitle(QStringLiteral("Velmora - ") + line + QStringLiteral(" - Rev.") +
                                  QStringLiteral(VELMORA_VERSION));
}

void Session::elabora_risposta(const QByteArray& packet) {
    reader_.elabora(packet);
    flushControls();
    Q_EMIT wake();
}

void Session::onPortRemoved() {
    if (link_.richiesta_stop)
        return;
    // The open port failed under us: the same as its removal.
    link_.porta_chiusa = true;
    if (port_.isOpen()) {
        port_.close();
        link_.online = false;
        connection_->disablePages();
        connection_->refreshPresentation();
    }
    if (!tRecover_.isActive())
        tRecover_.start();
}

void Session::onRecoverTick() {
    // The firmware programmer holds the port until it ends.
    // A network connect in progress waits in an event loop; this tick
    // must not start another one inside it.
    if (!link_.modo_offline && !link_.aggiornamento_fw && !port_.isOpening())
        impostacom();
}

void Session::onStatoTick() {
    tStato_.stop();
    link_.stato_link = 0;
}

void Session::setView(int view) {
    view_ = view;
    link_.peak_view = view == LiveInputs::Peak;
}

void Session::liveRefresh() {
    ++liveRefreshes_;
    LiveInputs in;
    in.ioBits = ioBits;
    in.view = view_;
    in.readControls(controls_);
    in.analogTest = analogTest;
    in.sliderPosition = sliderPosition;
    in.definitionVersion = table_.definitionVersion;
    in.firmwareCaption = table_.firmwareCaption;
    in.fieldbusCaption = fieldbusCaption;
    in.stato_link = link_.stato_link;
    in.modo_offline = link_.modo_offline;
    in.unsaved = unsaved_;
    const LiveResult result = live_.run(in);
    flushControls();
    presentation_->setStatusText(0, result.statusText);
    presentation_->setStatusText(1, result.saveText);
    presentation_->liveRefresh(result);
}

void Session::setUnsaved(bool value) {
    if (unsaved_ == value)
        return;
    unsaved_ = value;
    Q_EMIT unsavedChanged(value);
}

Outcome Session::saveParameters() {
    constexpr quint8 kSaveCommand = 0x20;
    const Outcome outcome = requests_->invia_comando(kSaveCommand);
    if (outcome.isAnswered())
        setUnsaved(false);
    else
        EventLog::log(QStringLiteral("Errore: Salvataggio parametri - ") + outcome.text());
    return outcome;
}

void Session::setOfflineMode(bool on, int testEndLockWaitMs) {
    if (on) {
        // Offline mode sends nothing more: a running test ends first.
        endRunningTests(testEndLockWaitMs);
        link_.modo_offline = true;
        link_.online = false;
        connection_->refreshPresentation();
        connection_->enablePages();
        decoder_->defaultSelections();
        presentation_->setBusyCursor(false);
        if (port_.isOpen())
            port_.close();
    } else {
        link_.modo_offline = false;
        connection_->refreshPresentation();
        link_.uso_esclusivo = false;
        tRecover_.start();
    }
    decoder_->refreshAnalogAvailability();
    flushControls();
}

void Session::languageChanged() {
    decoder_->fillComboLists();
    if (!link_.online)
        decoder_->defaultSelections();
    if (link_.parametri_caricati) {
        try {
            decoder_->showSetupEntries();
        } catch (const std::exception& e) {
            EventLog::log(QStringLiteral("Errore: Visualizzazione parametri - ") +
                          QString::fromLocal8Bit(e.what()));
        }
    }
    flushControls();
}

void Session::windowShown() {
    constexpr int kFieldbusBaudRole = 35;
    decoder_->fillFieldbusBauds();
    if (link_.parametri_caricati && table_.findRole(kFieldbusBaudRole) >= 0)
        decoder_->showEntry(table_.findRole(kFieldbusBaudRole));
    flushControls();
    ring_.reset();
}

void Session::flushControls() {
    const QList<ControlUpdate> updates = controls_.takeUpdates();
    if (!updates.isEmpty())
        presentation_->applyControlUpdates(updates);
}

// ---------------------------------------------------------------- tests

namespace {
constexpr int kTestModeRole = proto::kRoleTestMode;
}

void Session::noteTestOwner() {
    testPort_ = settings_.porta;
    testAddress_ = link_.indirizzo;
}

bool Session::isTestOwner() const {
    return settings_.porta == testPort_ && link_.indirizzo == testAddress_;
}

void Session::setOutputTest(bool running) {
    // The owner is taken while the instrument answers; a test flagged with
    // the link already gone keeps the owner noted before.
    if (running && !testRunning() && !testEndOwed_)
        noteTestOwner();
    outputTest = running;
}

void Session::setAnalogTest(bool running) {
    if (running && !testRunning() && !testEndOwed_)
        noteTestOwner();
    analogTest = running;
}

Outcome Session::endRunningTests(int lockWaitMs) {
    const bool running = testRunning();
    // An owed end is tried again only where it can reach its instrument;
    // otherwise the next connection to that instrument sends it.
    if (!running && !(testEndOwed_ && isTestOwner() && link_.online))
        return Outcome::notSent(Outcome::Reason::None);
    // The waits below let events run; a second way out (a page click while
    // the window closes) finds this one already under way.
    if (endingTests_)
        return Outcome::notSent(Outcome::Reason::LockHeld);
    const QScopedValueRollback<bool> ending(endingTests_, true);
    if (running && !testEndOwed_ && testPort_.isEmpty())
        noteTestOwner();
    waitUntil([this] { return !link_.canale_occupato.load(); }, lockWaitMs);

    Outcome outcome = Outcome::notSent(Outcome::Reason::NoRegister);
    if (table_.findRole(kTestModeRole) >= 0) {
        // Held through the write: ending a test is no change of a setting.
        outputTest = true;
        // The write path skips a value equal to the stored one, and the text
        // may already read "0": change it first so the end is always sent.
        table_.entry(table_.findRole(kTestModeRole)).value = QStringLiteral("1");
        outcome = writePath_->write(kTestModeRole, QStringLiteral("0"));
    }
    outputTest = false;
    analogTest = false;
    // Unanswered or never sent: the instrument may still be in test mode.
    // A refusal is an answer; repeating the same write would not change it.
    testEndOwed_ = table_.findRole(kTestModeRole) >= 0 && !outcome.isAnswered() &&
                   outcome.kind != Outcome::Kind::Refused;
    if (testEndOwed_)
        EventLog::log(QStringLiteral("Errore: Fine test non inviata"));
    else
        testPort_.clear();
    return outcome;
}

void Session::endTestsAfterConnect() {
    if (!testRunning() && !testEndOwed_)
        return;
    if (isTestOwner()) {
        endRunningTests();
        return;
    }
    // Another instrument: nothing of ours runs on it. An owed end waits for
    // its own instrument.
    outputTest = false;
    analogTest = false;
    if (!testEndOwed_)
        testPort_.clear();
}

void Session::shutdownLink() {
    tRecover_.stop();
    tStato_.stop();
    link_.requestStop();
    link_.online = false;
    link_.parametri_caricati = false;
    Q_EMIT wake();
    if (link_.inFlight()) {
        EventLog::log(QStringLiteral("Applicazione: Attesa fine TX"));
        waitUntil([this] { return !link_.inFlight(); }, 1000);
    }
    link_.online = false;
    if (thread_) {
        EventLog::log(QStringLiteral("Applicazione: Attesa Chiusura thread"));
        if (!stopTransmitThread(5000))
            abandonThread();
    }
    port_.close();
}

// ---------------------------------------------------------------- TransmitHost

void Session::writeFrame(const ExchangePtr& exchange) {
    if (port_.isOpen() && !link_.porta_chiusa) {
        if (port_.write(exchange->frame()))
            exchange->noteWritten();
        else
            EventLog::log(QStringLiteral("Errore: Fallita la comunicazione"));
        traffic_->frameWritten();
    }
}

void Session::setStatusText(const QString& text) {
    presentation_->setStatusText(0, text);
}
void Session::setBusyCursor(bool busy) {
    presentation_->setBusyCursor(busy);
}
void Session::setAddressText(const QString& text) {
    controls_.publish(ControlUpdate::setText(QStringLiteral("Eaddress"), text));
    flushControls();
}
void Session::stopRecover() {
    tRecover_.stop();
}
void Session::startRecover() {
    tRecover_.start();
}
void Session::refreshPresentation() {
    connection_->refreshPresentation();
}
void Session::exchangeEnded() {
    Q_EMIT wake();
}
void Session::transmitThreadEnded() {
    reapThread();
    Q_EMIT wake();
}
