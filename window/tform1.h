#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "session/pagecontext.h"
#include "session/session.h"
#include "window/singleinstance.h"

class AnalogPage;
class Fdata;
class TrafficWindow;
class FirmwareUpdate;
class HomePage;
class Page;
class Navigator;
class PortWatch;
class QAction;
class QKeyEvent;
class QMenu;
class QStackedWidget;
class StatusPanels;
class TFAbout;
class TFSearch;
class TopStrip;
class TSplashScreen;
class WindowPresenter;

// The main window: composes the top strip, the pages, the status bar and the
// menus, owns the session with the instrument, and runs the start-up and
// close sequences. Page contents live in the page classes, navigation in
// Navigator, the core's view requests in WindowPresenter.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    static inline const QColor kDefaultColour{185, 209, 234};

    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The first half of start-up. False when another instance runs: the
    // message has been shown and nothing else was touched (no log line, no
    // port, no settings); the caller then ends the program.
    bool FormCreate();
    // The second half: settings read again, port opened and the instrument
    // connected, the splash glides away, the compact home page is shown.
    void finishStartup(TSplashScreen* splash);
    bool alreadyRunning() const { return alreadyRunning_; }

    // --demo: this port for this run only; the stored one is saved back.
    void setPortOverride(const QString& port);

    Session& session() { return session_; }
    Navigator& navigator() { return *nav_; }
    WindowPresenter& presenter() { return *presenter_; }
    HomePage& home() { return *home_; }
    TopStrip& strip() { return *strip_; }
    StatusPanels& statusBarPanels() { return *sb1_; }
    Fdata& dataWindow() { return *fdata_; }
    TrafficWindow& trafficWindow() { return *traffic_; }
    TFSearch& searchDialog() { return *fsearch_; }
    QAction* searchAction() const { return search_; }
    QAction* offlineModeAction() const { return offlineMode_; }
    QColor formColour() const;
    void setFormColour(const QColor& colour);

    void Loadfile();
    void Savefile();
    // A language item of the Language menu chosen: the setting follows, the
    // language's file is applied and the run-time texts are set again.
    void langClick(QAction* item);
    QMenu* languageMenu() const { return language_; }
    void testModeClick(bool checked);
    void SB1Click();
    void showAbout();
    // Connect → Traffic and Ctrl+T: the traffic monitor.
    void showTraffic();
    // Help: the manual in the chosen language, else the Italian one.
    void Help1Click();
    // "Update": the firmware programmer gets the port until it ends.
    void BtFirmwareClick();
    FirmwareUpdate& firmwareUpdate() { return *firmware_; }

Q_SIGNALS:
    // F5 (modal) and Connect → Search (modeless): the search dialog's business.
    void searchRequested(bool modal);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A page of this class on a context of its own, appended in number order.
    template <typename P, typename... Extra>
    P* addPage(Extra&&... extra) {
        auto* page = new P(*new PageContext(session_, this), std::forward<Extra>(extra)...);
        pages_.append(page);
        return page;
    }
    void buildMenus();
    void buildShortcuts();
    // F5, Ctrl+F1, Ctrl+F8, Ctrl+K; true when the key was the window's.
    bool FormKeyDown(QKeyEvent* event);
    void buildLanguageMenu();
    // Start-up: the stored language's file, when there is one.
    void chooseStartupLanguage();
    // The texts the program itself writes, in the language now loaded.
    void resetRunTimeTexts();
    void FormShow();
    void applySettingsToWindow();

    Session session_;
    // Works on the session: declared after it, so it goes first.
    std::unique_ptr<FirmwareUpdate> firmware_;
    SingleInstance instance_;
    QWidget* central_;
    TopStrip* strip_;
    QStackedWidget* stack_;
    StatusPanels* sb1_;
    HomePage* home_ = nullptr;
    AnalogPage* analog_ = nullptr;
    QList<Page*> pages_;
    Navigator* nav_;
    WindowPresenter* presenter_;
    Fdata* fdata_;
    TrafficWindow* traffic_ = nullptr;
    PortWatch* watch_;
    TFSearch* fsearch_ = nullptr;
    QMenu* language_ = nullptr;
    QAction* search_ = nullptr;
    QAction* offlineMode_ = nullptr;
    QPointer<TFAbout> about_;
    QString portOverride_;
    QString storedPort_;
    QString storedSpeed_;
    bool alreadyRunning_ = false;
    bool created_ = false;
    bool closing_ = false;
    bool closed_ = false;
};
