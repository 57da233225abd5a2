#pragma once

#include <QList>
#include <QWidget>
#include <functional>

class QAbstractButton;
class QGraphicsOpacityEffect;
class QPropertyAnimation;
class QToolButton;

namespace Ui {
class TopStrip;
}

// The strip at the top of the window: the menu bar SP1 with the page
// buttons and BtSetup, lying over the info bar SP2 with the weight, the
// information panel, the address panel and Bthome. SP1 fades in when the
// pointer enters SP2 and out again when it leaves, as the auto-hide flag
// allows.
class TopStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFadeMs = 100;
    static constexpr QSize kSize{924, 113};

    explicit TopStrip(QWidget* parent = nullptr);
    ~TopStrip() override;

    // Whether a fade-out may run: not while closing, and the "when online"
    // test of a pointer moving elsewhere in the window.
    void setConditions(std::function<bool()> closing, std::function<bool()> online);

    // Header fills of the online or offline look.
    void setOnlineColors(bool online);
    // The offline look hides the menu bar at once.
    void hideMenuBarNow();
    void fadeIn();
    void fadeOut();
    bool menuBarShown() const;

    bool autoHide() const { return autoHide_; }
    void setAutoHide(bool on) { autoHide_ = on; }
    // The window's own mouse moves outside the strip.
    void windowMouseMoved();
    void windowLeft();

    QToolButton* pageButton(int page) const;  // 1..13 (no 3); null otherwise
    QList<int> pageNumbers() const;
    QToolButton* setupButton() const;  // BtSetup
    QToolButton* homeButton() const;   // Bthome
    void setSetupCaption(const QString& caption);
    // The page shown has its button green, the others white.
    void markCurrent(int page, bool current);
    bool isMarkedCurrent(int page) const;
    void setViewText(const QString& text);
    void showOfflineMarks(bool shown);
    void toggleCross();

Q_SIGNALS:
    void pageButtonClicked(int page);
    void setupClicked();

private:
    void sp1MouseMove(const QPoint& position);

    Ui::TopStrip* ui;
    QGraphicsOpacityEffect* opacity_;
    QPropertyAnimation* fade_;
    bool autoHide_ = false;
    bool fadingOut_ = false;
    std::function<bool()> closing_;
    std::function<bool()> online_;
};
