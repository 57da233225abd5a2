#pragma once

#include <QColor>
#include <QMap>
#include <QObject>

class QMainWindow;
class QStackedWidget;
class QWidget;
class Page;
class Session;
class TopStrip;

// Moving between pages and the three window layouts: AbilPannel, the page
// buttons with their colours, form_style, the Setup/Home buttons and the
// Factory marker file.
class Navigator : public QObject {
    Q_OBJECT
public:
    enum Layout { Compact = 0, Setup = 1, Service = 2 };
    static inline const QColor kCurrentButton{0x00, 0x80, 0x00};
    static inline const QColor kOtherButton{0xFF, 0xFF, 0xFF};
    static constexpr const char* kFactoryMarker = "Factset.dll";

    Navigator(QMainWindow* window, TopStrip* strip, QStackedWidget* stack, Session& session,
              QObject* parent = nullptr);

    void addPage(Page* page);
    Page* page(int number) const { return pages_.value(number); }

    // Shows page n; first ends a running output or analog test with one
    // write of role 8.
    void AbilPannel(int n);
    void form_style(int layout);
    // A page button: the layout it chooses, then the page.
    void pageButtonClick(int n);
    void BtSetupClick();
    // Ctrl+F8: the Factory button's visibility, whatever the marker says.
    void toggleFactoryButton();
    // Shows page n in the layout its own button would choose (home: the
    // compact layout); false for a number no page has.
    bool openPage(int n);

    int currentPage() const { return current_; }
    int currentLayout() const { return layout_; }
    // The stored layout number, as the settings file sets it (not applied).
    void setLayoutNumber(int layout) { layout_ = layout; }
    QColor buttonColour(int n) const;

    static QSize clientSize(int layout);

Q_SIGNALS:
    void pageChanged(int page);
    void layoutChanged(int layout);
    // BtSetupClick's last step: the address label follows the field.
    void setupClicked();

private:
    void colourButton(int n, bool current);
    void placeWindow();

    QMainWindow* window_;
    TopStrip* strip_;
    QStackedWidget* stack_;
    Session& s_;
    QMap<int, Page*> pages_;
    int current_ = 0;
    int layout_ = Compact;
};
