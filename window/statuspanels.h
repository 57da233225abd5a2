#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QStatusBar>
#include <array>

// The status bar SB1: three owner-drawn panels. Panel 0 carries the link
// state's word, coloured by that state; panel 1 the save state, white on red
// while changes are unsaved; panel 2 is a spacer that takes panel 1's fill.
// Every text is shown whole: panel 0 grows to its text, panel 1 takes what
// is left of the window (the compact window has no room for the designed
// widths), and a text still too long is drawn smaller, never below
// kMinPixelSize.
class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    static constexpr std::array<int, 3> kWidths{175, 500, 50};
    static constexpr int kMinPixelSize = 9;
    // Room a text leaves inside its panel: left and right.
    static constexpr int kTextMargins = 10;

    // Where a panel is drawn at the bar's present width, and with which font.
    QRect panelRect(int panel) const;
    QFont panelFont(int panel) const;

    explicit StatusPanels(QWidget* parent = nullptr);

    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const { return texts_.at(static_cast<size_t>(panel)); }
    // stato_link: 0 black, 1 green, 2 and above red.
    void setLinkState(int state);
    void setUnsaved(bool unsaved);
    bool unsaved() const { return unsaved_; }

    QColor textColor(int panel) const;
    QColor fillColor(int panel) const;

Q_SIGNALS:
    void clicked();

protected:
    std::array<int, 3> widths() const;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::array<QString, 3> texts_;
    int linkState_ = 0;
    bool unsaved_ = false;
};
