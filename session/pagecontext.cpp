#include "session/pagecontext.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/eventlog.h"
#include "device/numberformat.h"
#include "device/valuecodec.h"
#include "session/requests.h"
#include "session/session.h"
#include "session/writepath.h"

PageContext::PageContext(Session& session, QObject* parent) : QObject(parent), s_(session) {
    connect(&s_, &Session::onlineChanged, this, &PageContext::onlineChanged);
    connect(&s_, &Session::unsavedChanged, this, &PageContext::unsavedChanged);
    connect(&s_, &Session::analogToolsClosed, this, &PageContext::analogToolsClosed);
}

Outcome PageContext::writeParameter(int role, const QString& text) {
    return s_.writePath().write(role, text);
}

Outcome PageContext::forceWrite(int role, const QString& text) {
    return s_.writePath().forceWrite(role, text);
}

QString PageContext::valueOfRole(int role) const {
    const int index = s_.table().findRole(role);
    return index < 0 ? QString() : s_.table().entry(index).value;
}

bool PageContext::hasRole(int role) const {
    return s_.table().findRole(role) >= 0;
}

Outcome PageContext::readBack(int role) {
    const int index = s_.table().findRole(role);
    if (index < 0)
        return Outcome::notSent(Outcome::Reason::NoRegister);
    return s_.requests().leggi_parametro(index, false);
}

Outcome PageContext::sendCommand(quint8 code) {
    return s_.requests().invia_comando(code);
}

Outcome PageContext::writeOutput(int output, bool on) {
    return s_.requests().scrivi_uscita(output, on ? 0xFF00 : 0x0000);
}

bool PageContext::ask(const QString& text) {
    return s_.view().domanda(text, 0);
}

void PageContext::showError(const QString& text) {
    s_.view().domanda(text, 1);
}

const DisplayState& PageContext::display() const {
    return s_.display();
}

QString PageContext::scaleDown(const QString& text) const {
    return s_.decoder().scaleDown(text);
}

QString PageContext::scaleUp(const QString& text) const {
    return s_.decoder().scaleUp(text);
}

quint64 PageContext::liveReadings() const {
    return s_.liveRefreshes();
}

bool PageContext::online() const {
    return s_.link().online;
}

bool PageContext::offlineMode() const {
    return s_.link().modo_offline;
}

int PageContext::linkStatus() const {
    return s_.link().stato_link;
}

bool PageContext::unsaved() const {
    return s_.unsaved();
}

void PageContext::setOutputTest(bool running) {
    s_.setOutputTest(running);
}

void PageContext::setAnalogTest(bool running) {
    s_.setAnalogTest(running);
}

QString PageContext::storedAddress() const {
    return s_.settings().address;
}

void PageContext::setWorkingAddress(int address, const QString& text) {
    s_.controls().setText(QStringLiteral("Eaddress"), text);
    s_.link().indirizzo = address;
    s_.settings().address = text;
    s_.controls().publish(ControlUpdate::setText(QStringLiteral("lbaddress"), text));
    s_.flushControls();
}

void PageContext::setView(int index, const QString& text) {
    s_.controls().setIndex(QStringLiteral("rg2"), index);
    s_.setView(index);
    s_.controls().publish(ControlUpdate::setText(QStringLiteral("lbtipopeso"), text));
    s_.flushControls();
}

void PageContext::setOwnControls(const QStringList& names) {
    own_ = QSet<QString>(names.begin(), names.end());
}

bool PageContext::publish(const ControlUpdate& update) {
    if (!own_.contains(update.control)) {
        EventLog::log(QStringLiteral("Errore: controllo di un'altra pagina (") + update.control +
                      QLatin1Char(')'));
        return false;
    }
    s_.controls().publish(update);
    s_.flushControls();
    return true;
}

ControlState PageContext::control(const QString& name) const {
    return s_.controls().state(name);
}

void PageContext::userChanged(const ControlUpdate& update) {
    s_.controls().apply(update);
}

// ---- Communications, Analogic and Functions pages ----

void PageContext::fieldbusProtocolChosen(const QString& text) {
    s_.decoder().fillFieldbusBauds();
    s_.controls().publish(ControlUpdate::setVisible(
        QStringLiteral("bt_GSD"),
        s_.controls().index(QStringLiteral("CBProt2")) == Decoder::Profibus));
    s_.fieldbusCaption = text;
    s_.flushControls();
}

void PageContext::followInstrumentAddress(int address) {
    const QString text = QString::number(address);
    s_.display().commAddress = address;
    s_.controls().publish(ControlUpdate::setText(QStringLiteral("Eaddress"), text));
    setWorkingAddress(address, text);
}

QString PageContext::storedFormColour() const {
    return s_.settings().formcolor;
}

// ---- factory page, hardware test page and the analog regulation ----

bool PageContext::lineBusy() const {
    return s_.link().canale_occupato;
}

bool PageContext::outputTestRunning() const {
    return s_.outputTest;
}

bool PageContext::analogTestRunning() const {
    return s_.analogTest;
}

Outcome PageContext::endRunningTests() {
    return s_.endRunningTests();
}

void PageContext::setAnalogTestLevel(int percent) {
    s_.sliderPosition = percent;
}

void PageContext::closeAnalogTools() {
    Q_EMIT s_.analogToolsClosed();
}

// ---- calibration page ----

void PageContext::setValueText(int role, const QString& text) {
    const int index = s_.table().findRole(role);
    if (index >= 0)
        s_.table().entry(index).value = text;
}

void PageContext::refreshDecimals() {
    s_.decoder().refreshDecimals();
    s_.flushControls();
}

void PageContext::setUsedWeight(double usedWeight) {
    DisplayState& d = s_.display();
    d.usedWeight = usedWeight;
    const double counts = std::trunc(usedWeight * double(powerOfTen(d.decimals)));
    constexpr double top = std::numeric_limits<qint32>::max();
    constexpr double bottom = std::numeric_limits<qint32>::min();
    if (std::isnan(counts) || counts > top || counts < bottom)
        EventLog::log(QStringLiteral("Errore: peso utilizzato fuori scala (%1)")
                          .arg(QString::number(usedWeight, 'f', d.decimals)));
    d.usedWeightCounts = std::isnan(counts) ? 0 : qint32(std::clamp(counts, bottom, top));
}

void PageContext::showAnalogFullScale(const QString& text) {
    s_.controls().publish(ControlUpdate::setText(QStringLiteral("EanaFS"), text));
    s_.flushControls();
}

bool PageContext::acceptsValue(int role, const QString& text) const {
    const int index = s_.table().findRole(role);
    if (index < 0)
        return true;
    return encodeValue(s_.table().entry(index).type, text.trimmed()).ok;
}

// ---- backup / restore and data logger pages ----

void PageContext::setExclusiveUse(bool exclusive) {
    s_.link().uso_esclusivo = exclusive;
}

QString PageContext::backupFolder() const {
    return s_.settings().directory;
}

void PageContext::keepBackupFolder(const QString& folder) {
    s_.settings().directory = folder;
}

PageContext::LoggerSetup PageContext::loggerSetup() const {
    const fdati& s = s_.settings();
    return {s.logfilename, s.loginterval, s.logmode, s.lognum};
}

void PageContext::keepLoggerSetup(const LoggerSetup& setup) {
    fdati& s = s_.settings();
    s.logfilename = setup.file;
    s.loginterval = setup.interval;
    s.logmode = setup.mode;
    s.lognum = setup.count;
}
