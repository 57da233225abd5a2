#include "window/tform1.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPixmap>
#include <QStackedWidget>

#include "session/connection.h"
#include "session/pagecontext.h"
#include "base/eventlog.h"
#include "base/programfolder.h"
#include "base/texts.h"
#include "session/hotplug.h"
#include "session/requests.h"
#include "session/searchcontext.h"
#include "services/backupservice.h"
#include "services/certificate.h"
#include "services/documents.h"
#include "services/firmwareupdate.h"
#include "services/settingsfile.h"
#include "window/aboutbox.h"
#include "window/analogpage.h"
#include "window/backuppage.h"
#include "window/calibrationpage.h"
#include "window/communicationspage.h"
#include "window/datawindow.h"
#include "window/desktopopener.h"
#include "window/documentspage.h"
#include "window/factorypage.h"
#include "window/filterspage.h"
#include "window/functionspage.h"
#include "window/homepage.h"
#include "window/inoutpage.h"
#include "window/localization.h"
#include "window/localizeradapter.h"
#include "window/loggerpage.h"
#include "window/navigator.h"
#include "window/questionbox.h"
#include "window/searchdialog.h"
#include "window/splashscreen.h"
#include "window/statuspanels.h"
#include "window/testpage.h"
#include "window/topstrip.h"
#include "window/trafficwindow.h"
#include "window/weightchart.h"
#include "window/weightpage.h"
#include "window/windowpresenter.h"

// The resources live in a static library: they must be registered by hand,
// at global scope.
static void initResources() {
    Q_INIT_RESOURCE(velmora);
}

namespace {

constexpr int kStripLeft = 3;
// A builder gives the line back within its retries; the end of a test on
// the way out does not wait longer than that.
constexpr int kTestEndLockWaitMs = 10000;

QString versionText(int parts) {
    return QStringList(QString::fromLatin1(VELMORA_VERSION).split(QLatin1Char('.')).mid(0, parts))
        .join(QLatin1Char('.'));
}

// 0x00BBGGRR, the way the settings file stores the window colour.
QColor colourOfSetting(const QString& text, bool* ok) {
    const qint64 v = text.toLongLong(ok);
    if (!*ok || v < 0 || v > 0xFFFFFF) {
        *ok = false;
        return {};
    }
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

QString settingOfColour(const QColor& c) {
    return QString::number(c.red() | (c.green() << 8) | (c.blue() << 16));
}

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent),
      central_(new QWidget(this)),
      strip_(nullptr),
      stack_(new QStackedWidget(central_)),
      sb1_(new StatusPanels(this)) {
    initResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    QFont f(QStringLiteral("Arial"));
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("DejaVu Sans")});
    // The window was designed around bold Arial at 16 px. Where neither
    // Arial nor its metric twin is installed, DejaVu Sans stands in, wider
    // than either: at 16 px the compact window's panels cut their texts
    // ("Theor. Analog.:", the firmware release), so the face is sized down.
    f.setPixelSize(13);
    f.setBold(true);
    setFont(f);

    strip_ = new TopStrip(central_);
    strip_->setGeometry(kStripLeft, 0, TopStrip::kSize.width(), TopStrip::kSize.height());
    setCentralWidget(central_);
    central_->setAutoFillBackground(true);
    setStatusBar(sb1_);
    buildMenus();

    // The pages, in number order, each on a context of its own; the few a
    // window part works with are kept by their class.
    auto* home = addPage<HomePage>();
    auto* calibration = addPage<CalibrationPage>(CalibrationPage::CertificateSource{
        [this] { return Certificate::divisionOf(session_); },
        [this] { return Certificate::fromSession(session_); }});
    auto* filters = addPage<FiltersPage>();
    addPage<InOutPage>();
    addPage<CommunicationsPage>();
    analog_ = addPage<AnalogPage>();
    auto* functions = addPage<FunctionsPage>();
    auto* weight = addPage<WeightPage>();
    addPage<BackupPage>([this] { return std::make_unique<BackupService>(session_); });
    addPage<DocumentsPage>();
    addPage<TestPage>();
    addPage<LoggerPage>();
    addPage<FactoryPage>();
    home_ = home;
    connect(functions, &FunctionsPage::colourChosen, this, &TForm1::setFormColour);
    firmware_ = std::make_unique<FirmwareUpdate>(session_);
    connect(home_, &HomePage::firmwareClicked, this, &TForm1::BtFirmwareClick);
    connect(firmware_.get(), &FirmwareUpdate::finished, this,
            [this] { search_->setEnabled(!session_.link().modo_offline); });

    WindowPresenter::Parts parts;
    parts.window = this;
    parts.strip = strip_;
    parts.home = home_;
    parts.status = sb1_;
    parts.weightChart = weight->chart();
    parts.filterChart = filters->chart();
    presenter_ = new WindowPresenter(parts, session_, this);
    connect(presenter_, &WindowPresenter::calibrationFieldsMatch, calibration,
            &CalibrationPage::showFieldsMatch);
    session_.setPresentation(presenter_);
    session_.controls().setHook(
        [this](const ControlUpdate& u) { presenter_->applyControlUpdates({u}); });

    nav_ = new Navigator(this, strip_, stack_, session_, this);
    for (Page* p : pages_) {
        nav_->addPage(p);
        p->setMouseTracking(true);
    }
    stack_->setMouseTracking(true);
    central_->setMouseTracking(true);
    setMouseTracking(true);

    fdata_ = new Fdata([this] { return session_.table().imageLines(); }, this);
    traffic_ = new TrafficWindow(session_.traffic(), session_.table(), this);
    watch_ = new PortWatch(session_, this);
    auto* searchContext = new SearchContext(session_, *watch_);
    fsearch_ = new TFSearch(*searchContext, this);
    searchContext->setParent(fsearch_);
    connect(this, &TForm1::searchRequested, fsearch_, &TFSearch::showSearch);

    connect(strip_, &TopStrip::pageButtonClicked, nav_, &Navigator::pageButtonClick);
    connect(strip_, &TopStrip::setupClicked, nav_, &Navigator::BtSetupClick);
    connect(nav_, &Navigator::setupClicked, this, [this] {
        presenter_->applier().apply(
            ControlUpdate::setText(QStringLiteral("lbaddress"), home_->addressText()));
        sb1_->update();
    });
    connect(sb1_, &StatusPanels::clicked, this, &TForm1::SB1Click);
    connect(&session_, &Session::unsavedChanged, sb1_, &StatusPanels::setUnsaved);
    strip_->setConditions([this] { return session_.link().richiesta_stop.load(); },
                          [this] { return session_.link().online.load(); });
    session_.decoder().fieldbusChanged = [this] {
        session_.fieldbusCaption = session_.controls().text(QStringLiteral("CBProt2"));
    };
    setFormColour(kDefaultColour);
    buildShortcuts();

    session_.tRecover().setObjectName(QStringLiteral("TRecover"));
    session_.tStato().setObjectName(QStringLiteral("tstato"));
    // The view's name, written by the program from the view selector.
    if (auto* view = findChild<QLabel*>(QStringLiteral("lbtipopeso")))
        LocalizerAdapter::markRunTime(view);
    Localization::windowBuilt(this);
}

TForm1::~TForm1() {
    // A window destroyed without its close sequence (a test, a failed start)
    // still stops the link before the session goes.
    if (created_ && !closed_)
        session_.shutdownLink();
    // The search dialog and the hot-plug watcher work on the session: they
    // go first.
    delete fsearch_;
    delete watch_;
    session_.controls().setHook(nullptr);
    session_.setPresentation(nullptr);
}

void TForm1::buildMenus() {
    language_ = menuBar()->addMenu(tr_("Language"));
    language_->setObjectName(QStringLiteral("Language1"));
    QMenu* connectMenu = menuBar()->addMenu(tr_("Connect"));
    connectMenu->setObjectName(QStringLiteral("Connect1"));
    search_ = connectMenu->addAction(tr_("Search"));
    search_->setObjectName(QStringLiteral("Search1"));
    connect(search_, &QAction::triggered, this, [this] { Q_EMIT searchRequested(false); });
    offlineMode_ = connectMenu->addAction(tr_("Offline Mode"));
    offlineMode_->setObjectName(QStringLiteral("testMode"));
    offlineMode_->setCheckable(true);
    connect(offlineMode_, &QAction::triggered, this, &TForm1::testModeClick);
    // Ctrl+T is handled with the other keys in FormKeyDown; the menu only shows it.
    QAction* traffic = connectMenu->addAction(tr_("Traffic") + QStringLiteral("\tCtrl+T"));
    traffic->setObjectName(QStringLiteral("Traffic1"));
    connect(traffic, &QAction::triggered, this, &TForm1::showTraffic);
    QMenu* help = menuBar()->addMenu(tr_("Help"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction* manual = help->addAction(tr_("Manual"));
    manual->setObjectName(QStringLiteral("Manual1"));
    connect(manual, &QAction::triggered, this, &TForm1::Help1Click);
    QAction* about = help->addAction(tr_("About.."));
    about->setObjectName(QStringLiteral("About1"));
    connect(about, &QAction::triggered, this, &TForm1::showAbout);
    QAction* exit = menuBar()->addAction(tr_("Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, &QWidget::close);
}

void TForm1::showTraffic() {
    if (traffic_)
        traffic_->showMonitor();
}

void TForm1::buildShortcuts() {
    // Key preview: the window sees every key before the focused control.
    qApp->installEventFilter(this);
}

bool TForm1::FormKeyDown(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_F5 && mods == Qt::NoModifier) {
        // Not where the menu item is off (offline mode).
        if (search_->isEnabled())
            Q_EMIT searchRequested(true);
        return true;
    }
    // The Ctrl combinations act only when Ctrl is the only modifier held.
    if (mods != Qt::ControlModifier)
        return false;
    switch (event->key()) {
        case Qt::Key_F1:
            fdata_->showImage();
            return true;
        case Qt::Key_F8:
            nav_->toggleFactoryButton();
            return true;
        case Qt::Key_T:
            showTraffic();
            return true;
        case Qt::Key_K:
            analog_->toggleCalibrationGroup();
            return true;
        default:
            return false;
    }
}

namespace {
// The language file of a menu name, whatever the case of its extension
// ("Deutsch.LNG" too); empty when there is none.
QString languageFileOf(const QString& name) {
    const QString exact = ProgramFolder::shipped(name + QStringLiteral(".lng"));
    if (QFileInfo(exact).isFile())
        return exact;
    const QDir folder(ProgramFolder::shipped(QString()));
    for (const QString& file : folder.entryList(QDir::Files)) {
        if (file.size() == name.size() + 4 && file.startsWith(name) &&
            file.endsWith(QLatin1String(".lng"), Qt::CaseInsensitive))
            return folder.filePath(file);
    }
    return QString();
}
}  // namespace

void TForm1::buildLanguageMenu() {
    // One radio item per language file beside the program, by name without
    // regard to case, each with the flag of the same name (or noflag.bmp).
    language_->clear();
    auto* group = new QActionGroup(language_);
    const QDir folder(ProgramFolder::shipped(QString()));
    QStringList names;
    for (const QString& file : folder.entryList(QDir::Files)) {
        if (file.endsWith(QLatin1String(".lng"), Qt::CaseInsensitive) && file.size() > 4)
            names.append(file.left(file.size() - 4));
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    QSize flagSize;
    for (const QString& name : names) {
        QAction* a = language_->addAction(name);
        a->setObjectName(QStringLiteral("Language_") + name);
        a->setData(name);
        a->setCheckable(true);
        group->addAction(a);
        QPixmap flag(ProgramFolder::shipped(name + QStringLiteral(".bmp")));
        if (flag.isNull())
            flag = QPixmap(ProgramFolder::shipped(QStringLiteral("noflag.bmp")));
        if (!flag.isNull()) {
            // The first flag sets the size of them all.
            if (!flagSize.isValid())
                flagSize = flag.size();
            if (flag.size() != flagSize)
                flag = flag.scaled(flagSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            a->setIcon(QIcon(flag));
        }
        connect(a, &QAction::triggered, this, [this, a] { langClick(a); });
    }
}

void TForm1::chooseStartupLanguage() {
    TFreeLocalizer& l = Localization::localizer();
    const QString file = languageFileOf(session_.settings().lingua);
    if (!session_.settings().lingua.isEmpty() && !file.isEmpty()) {
        l.setAutoTranslate(true);
        l.setLanguageFile(file);
        // A first start comes up wholly in its language, the texts set so
        // far by the program included.
        resetRunTimeTexts();
    } else {
        l.setAutoTranslate(false);
    }
}

void TForm1::langClick(QAction* item) {
    const QString name = item->data().toString();
    session_.settings().lingua = name;
    item->setChecked(true);
    const QString file = languageFileOf(name);
    if (!file.isEmpty()) {
        TFreeLocalizer& l = Localization::localizer();
        l.setAutoTranslate(true);
        l.setLanguageFile(file);
    }
    resetRunTimeTexts();
}

void TForm1::resetRunTimeTexts() {
    language_->setTitle(tr_("Language"));
    search_->setText(tr_("Search"));
    offlineMode_->setText(tr_("Offline Mode"));
    if (auto* m = menuBar()->findChild<QMenu*>(QStringLiteral("Connect1")))
        m->setTitle(tr_("Connect"));
    if (auto* m = menuBar()->findChild<QMenu*>(QStringLiteral("Help1")))
        m->setTitle(tr_("Help"));
    if (auto* a = findChild<QAction*>(QStringLiteral("About1")))
        a->setText(tr_("About.."));
    if (auto* a = findChild<QAction*>(QStringLiteral("Exit1")))
        a->setText(tr_("Exit"));

    // The lists keep their selections; the instrument's values are shown
    // again in the new language.
    session_.languageChanged();
    strip_->setSetupCaption(nav_->currentPage() == 0 ? tr_("Setup") : tr_("Home"));
    for (Page* p : pages_)
        p->languageChanged();
    if (traffic_)
        traffic_->retranslate();
    if (auto* a = findChild<QAction*>(QStringLiteral("Traffic1")))
        a->setText(tr_("Traffic") + QStringLiteral("\tCtrl+T"));
    presenter_->applier().apply(
        ControlUpdate::setText(QStringLiteral("lbtipopeso"), home_->viewText()));
    session_.connection().refreshPresentation();
    sb1_->update();
}

// ---------------------------------------------------------------- start-up

bool TForm1::FormCreate() {
    if (!instance_.acquire()) {
        alreadyRunning_ = true;
        TFbox::domanda(this, tr_("Program is already running"), TFbox::Information);
        return false;
    }
    created_ = true;
    session_.link().richiesta_stop = false;
    EventLog::log(QString::fromLatin1(EventLog::kStartMessage));
    setWindowTitle(QStringLiteral("Velmora Ver.") + versionText(3));
    buildLanguageMenu();
    Loadfile();
    chooseStartupLanguage();
    watch_->start();
    return true;
}

void TForm1::finishStartup(TSplashScreen* splash) {
    if (alreadyRunning_ || !created_)
        return;
    presenter_->setSplash(splash);
    Loadfile();
    session_.connection().disablePages();
    // Until an instrument answers, the window wears the offline look.
    session_.connection().refreshPresentation();
    session_.setStartupComplete(true);
    session_.impostacom();
    QCoreApplication::processEvents();

    const fdati& s = session_.settings();
    if (splash) {
        splash->glideTo(QPoint(s.f_left.toInt() + 195, s.f_top.toInt() + 210));
        splash->hide();
        splash->deleteLater();
    }
    nav_->AbilPannel(0);
    nav_->form_style(Navigator::Compact);
    show();
    FormShow();
}

void TForm1::FormShow() {
    session_.windowShown();
    nav_->AbilPannel(0);
    presenter_->setSendButtonOrange();
    for (Page* p : pages_)
        p->windowShown();
}

void TForm1::setPortOverride(const QString& port) {
    portOverride_ = port;
    if (!port.isEmpty()) {
        session_.settings().porta = port;
        session_.settings().velocita = QStringLiteral("19200");
    }
}

// ---------------------------------------------------------------- settings

void TForm1::Loadfile() {
    const SettingsFile::LoadResult r = SettingsFile::load(y(), x());
    fdati& s = session_.settings();
    s = r.values;
    storedPort_ = s.porta;
    storedSpeed_ = s.velocita;
    if (!portOverride_.isEmpty()) {
        s.porta = portOverride_;
        s.velocita = QStringLiteral("19200");
    }
    applySettingsToWindow();
}

void TForm1::applySettingsToWindow() {
    const fdati& s = session_.settings();
    bool found = false;
    for (QAction* a : language_->actions()) {
        if (a->data().toString() == s.lingua) {
            a->setChecked(true);
            found = true;
        }
    }
    if (!found) {
        EventLog::log(QStringLiteral("Errore: Selezione della lingua"));
        QCoreApplication::processEvents();
    }
    move(s.f_left.toInt(), s.f_top.toInt());
    nav_->setLayoutNumber(s.f_style.toInt());
    bool ok = false;
    const QColor colour = colourOfSetting(s.formcolor, &ok);
    setFormColour(ok ? colour : kDefaultColour);
    for (Page* p : pages_)
        p->settingsLoaded();
}

void TForm1::Savefile() {
    fdati s = session_.settings();
    s.f_top = QString::number(y());
    s.f_left = QString::number(x());
    s.f_style = QString::number(nav_->currentLayout());
    s.formcolor = settingOfColour(formColour());
    if (!portOverride_.isEmpty()) {
        // A demo's port was for that run only.
        s.porta = storedPort_;
        s.velocita = storedSpeed_;
    }
    QString error;
    if (!SettingsFile::save(s, &error))
        EventLog::log(QStringLiteral("Errore: Salvataggio impostazioni - ") + error);
}

QColor TForm1::formColour() const {
    return central_->palette().color(QPalette::Window);
}

void TForm1::setFormColour(const QColor& colour) {
    QPalette pal = central_->palette();
    pal.setColor(QPalette::Window, colour);
    central_->setPalette(pal);
}

// ---------------------------------------------------------------- handlers

void TForm1::testModeClick(bool checked) {
    session_.setOfflineMode(checked, kTestEndLockWaitMs);
    // No search in offline mode, nor while the firmware programmer has the port.
    search_->setEnabled(!checked && !session_.link().aggiornamento_fw);
}

void TForm1::SB1Click() {
    if (session_.link().online && !session_.link().canale_occupato && session_.unsaved()) {
        session_.saveParameters();
        sb1_->update();
    }
}

void TForm1::showAbout() {
    if (!about_)
        about_ = new TFAbout(this);
    QRect r = about_->frameGeometry();
    r.moveCenter(frameGeometry().center());
    about_->move(r.topLeft());
    about_->showNormal();
    about_->raise();
}

void TForm1::Help1Click() {
    const QString manual = Documents::manualFor(session_.settings().lingua);
    if (manual.isEmpty())
        presenter_->domanda(tr_("Help file was not found!"), TFbox::Error);
    else
        DesktopOpener::open(manual);
}

void TForm1::BtFirmwareClick() {
    // The programmer has the port to itself: no search may take it meanwhile.
    search_->setEnabled(false);
    firmware_->start();
}

// ---------------------------------------------------------------- close

void TForm1::closeEvent(QCloseEvent* event) {
    LinkState& link = session_.link();
    if (closed_ || !created_) {
        event->accept();
        return;
    }
    if (link.aggiornamento_fw || closing_) {
        event->ignore();
        return;
    }
    closing_ = true;
    // A test must not outlive the window: role 8 back to "0" before the
    // close sequence stops the link.
    session_.endRunningTests(kTestEndLockWaitMs);
    if (link.online && session_.unsaved() &&
        presenter_->domanda(tr_("Data not saved, do you want to save it?"), TFbox::Question) &&
        !session_.saveParameters().isAnswered() &&
        !presenter_->domanda(tr_("The instrument did not save the data. Close anyway?"),
                             TFbox::Question)) {
        // The changes would be lost at the instrument's next power-off: the
        // window stays, and the next close asks again.
        closing_ = false;
        event->ignore();
        return;
    }

    presenter_->Tlamp().stop();
    // The data logger's Tlog among them.
    for (Page* p : pages_)
        p->windowClosing();
    // Timers, the stop request, the bounded waits and their log lines.
    session_.shutdownLink();
    Savefile();
    EventLog::log(QStringLiteral("Applicazione: Chiusura"));
    closed_ = true;
    fdata_->close();
    traffic_->close();
    event->accept();
}

// ---------------------------------------------------------------- geometry and pointer

void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    const int top = TopStrip::kSize.height();
    stack_->setGeometry(0, top, central_->width(), central_->height() - top);
}

void TForm1::mouseMoveEvent(QMouseEvent* event) {
    strip_->windowMouseMoved();
    QMainWindow::mouseMoveEvent(event);
}

void TForm1::leaveEvent(QEvent* event) {
    strip_->windowLeft();
    QMainWindow::leaveEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w->window() == this && w->isEnabled())
            return FormKeyDown(static_cast<QKeyEvent*>(event));
        return false;
    }
    if ((event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) &&
        qobject_cast<Page*>(watched))
        strip_->windowMouseMoved();
    return QMainWindow::eventFilter(watched, event);
}
