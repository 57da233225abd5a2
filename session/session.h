#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "base/fdati.h"
#include "device/controlmodel.h"
#include "device/decoding.h"
#include "device/liverefresh.h"
#include "device/paramtable.h"
#include "link/framereader.h"
#include "link/linkstate.h"
#include "link/mainqueue.h"
#include "link/outcome.h"
#include "link/traffictap.h"
#include "link/transmitring.h"
#include "link/transmitthread.h"
#include "link/vacom.h"
#include "session/presentation.h"

class Dispatcher;
class Requests;
class WritePath;
class Connection;

// The configurator's session with one instrument: everything the main window
// owns that is not a widget. The window and the CLI each own one and
// implement Presentation. Lives on the main thread.
class Session : public QObject, public TransmitHost {
    Q_OBJECT
public:
    explicit Session(Presentation* presentation = nullptr, QObject* parent = nullptr);
    ~Session() override;

    void setPresentation(Presentation* presentation);
    Presentation& view() { return *presentation_; }

    LinkState& link() { return link_; }
    TransmitRing& ring() { return ring_; }
    ParameterTable& table() { return table_; }
    // Live replies turned into the display so far: a reading is fresh
    // when this has moved since the last look.
    quint64 liveRefreshes() const { return liveRefreshes_; }
    DisplayState& display() { return display_; }
    ControlModel& controls() { return controls_; }
    Decoder& decoder() { return *decoder_; }
    fdati& settings() { return settings_; }
    VaCom& port() { return port_; }
    Requests& requests() { return *requests_; }
    WritePath& writePath() { return *writePath_; }
    Connection& connection() { return *connection_; }
    Dispatcher& dispatcher() { return *dispatcher_; }
    FrameReader& reader() { return reader_; }
    QTimer& tRecover() { return tRecover_; }
    QTimer& tStato() { return tStato_; }
    // The traffic monitor's tap: records every exchange while it has a listener.
    TrafficTap& traffic() { return *traffic_; }

    // ---- shared link primitives (main thread) ----
    // Queues the request as an exchange for the transmit thread. An exchange
    // that cannot be queued (no port, offline mode, a search or a firmware
    // update holding the line, a full ring) comes back ended as not sent.
    ExchangePtr accoda_comando(ExchangeKind kind, const QByteArray& body);
    bool prendi_canale();
    void rilascia_canale();
    // Sends the request from the main thread, up to 3 times, each waiting
    // up to 1500 ms for its own reply.
    ExchangePtr invia_diretto(ExchangeKind kind, const QByteArray& body);
    // accoda_comando, then the wait for that exchange's end.
    ExchangePtr exchange(ExchangeKind kind, const QByteArray& body);
    Outcome queueAndWait(ExchangeKind kind, const QByteArray& body) {
        return exchange(kind, body)->outcome();
    }
    // Waits while letting events run; wakes as soon as the predicate holds.
    bool waitUntil(const std::function<bool()>& predicate, int timeoutMs);
    void mySleep(int ms);
    // Waits for the end of this exchange; when the transmit thread is gone
    // first, the exchange fails there and then.
    void waitExchange(const ExchangePtr& exchange);

    // ---- transmit thread ----
    bool transmitThreadRunning() const;
    void startTransmitThread();
    // Asks the thread to stop and waits up to timeoutMs; a thread that does
    // not stop is left to process exit, never terminated.
    bool stopTransmitThread(int timeoutMs);

    // ---- port ----
    void impostacom();
    // The packet event: the reader and the dispatcher behind it.
    void elabora_risposta(const QByteArray& packet);
    // Start-up has reached the point where the data window exists, so
    // opening a port connects.
    void setStartupComplete(bool done) { startupComplete_ = done; }
    bool startupComplete() const { return startupComplete_; }
    // Publishes the poll registers of the definition in use to the thread.
    void publishPollGeometry();

    // The live refresh after a live reply (while parameters are loaded).
    void liveRefresh();
    // rg2: 0 Gross, 1 Net, 2 Peak; Peak makes the poll cycle read 'X'.
    void setView(int view);
    int currentView() const { return view_; }

    // ---- state kept for the pages ----
    QString fieldbusCaption;
    // TBAnalogtest on the hardware test page, else TBAnalog.
    int sliderPosition = 0;
    bool unsaved() const { return unsaved_; }
    void setUnsaved(bool value);
    // Command code 32: the instrument stores its parameters permanently.
    // The unsaved flag clears only when the instrument acknowledged it; a
    // save that failed leaves the flag (and a log line), so the status bar
    // keeps offering it and the close asks again.
    Outcome saveParameters();
    // True while the instrument is held in an output test, an analog test
    // or an analog regulation (role 8 not at "0"). Set through
    // setOutputTest/setAnalogTest so the instrument that holds it is known.
    bool outputTest = false;
    bool analogTest = false;
    int ioBits = 0;
    int pendingWrites = 0;

    // ---- tests that hold the instrument ----
    // A test started: the flag, and the instrument (port and address) that
    // the end of the test belongs to.
    void setOutputTest(bool running);
    void setAnalogTest(bool running);
    bool testRunning() const { return outputTest || analogTest; }
    // The one way a test ends: when one runs, waits (letting events run, up
    // to lockWaitMs, -1 for no limit) for the builder lock, writes role 8 :=
    // "0" even when its text already reads "0", and clears both flags. The
    // write never counts as an unsaved change. When the instrument could not
    // take it (link down, no answer), the end stays owed to that instrument
    // and the first connection to it sends it. Returns the write's outcome;
    // NotSent (None) when no test ran.
    Outcome endRunningTests(int lockWaitMs = -1);
    // An end of test the instrument has not acknowledged yet.
    bool testEndOwed() const { return testEndOwed_; }
    // The end of the connect procedure: a test that the link dropped during
    // ends on its instrument; on another instrument only the flags go.
    void endTestsAfterConnect();

    // Close sequence of the link: stops the timers, asks the thread to end
    // and waits with the designed bounds (1000 ms for the exchange, 5000 ms
    // for the thread). Logs the designed lines.
    void shutdownLink();

    // Applies the control updates collected since the last call.
    void flushControls();
    // Offline mode on: a running test ends first, the link sends nothing
    // more, the port closes and the pages work on the parameter table
    // alone, every list given its default. Off: the reconnect timer takes
    // the port back.
    void setOfflineMode(bool on, int testEndLockWaitMs);
    // Another language is in force: the fixed lists take their new texts,
    // keeping their selections, and the instrument's values are shown again.
    void languageChanged();
    // The window is shown: the fieldbus controls for the selected protocol
    // with the baud rate the instrument holds (the refilled list would
    // otherwise show its first item), and an empty transmit queue.
    void windowShown();

    // TransmitHost
    void writeFrame(const ExchangePtr& exchange) override;
    void setStatusText(const QString& text) override;
    void setBusyCursor(bool busy) override;
    void setAddressText(const QString& text) override;
    void stopRecover() override;
    void startRecover() override;
    void refreshPresentation() override;
    void exchangeEnded() override;
    void transmitThreadEnded() override;

Q_SIGNALS:
    // Something the main-thread waits depend on changed.
    void wake();
    void onlineChanged(bool online);
    void unsavedChanged(bool unsaved);
    // An "Exit" of the analog tools, for every page that shows them.
    void analogToolsClosed();

private:
    // Why nothing can be queued now; None when it can.
    Outcome::Reason queueRefusal() const;
    void onRecoverTick();
    void onStatoTick();
    void onPortRemoved();
    // Deletes the transmit thread object once its pass loop has returned.
    void reapThread();
    // A thread that did not stop in time is left to process exit.
    void abandonThread();

    Presentation defaultPresentation_;
    Presentation* presentation_;
    LinkState link_;
    TransmitRing ring_;
    ParameterTable table_;
    DisplayState display_;
    quint64 liveRefreshes_ = 0;
    ControlModel controls_;
    std::unique_ptr<Decoder> decoder_;
    fdati settings_;
    VaCom port_;
    std::unique_ptr<Dispatcher> dispatcher_;
    FrameReader reader_;
    std::unique_ptr<Requests> requests_;
    std::unique_ptr<WritePath> writePath_;
    std::unique_ptr<Connection> connection_;
    QTimer tRecover_;
    QTimer tStato_;
    // The transmit thread's calls to the main thread; shared with the thread
    // so a thread left behind at exit never posts into freed memory.
    std::shared_ptr<MainQueue> mainQueue_;
    std::unique_ptr<TThgestioneseriale> thread_;
    // Shared with the thread for the same reason as the queue.
    std::shared_ptr<TrafficTap> traffic_;
    bool unsaved_ = false;
    // Whose test runs or is owed: port and address when it started.
    void noteTestOwner();
    bool isTestOwner() const;
    QString testPort_;
    int testAddress_ = -1;
    bool testEndOwed_ = false;
    bool endingTests_ = false;
    bool startupComplete_ = false;
    int view_ = 1;
    LiveRefresh live_;
};
