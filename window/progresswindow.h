#pragma once

#include <QWidget>

namespace Ui {
class TPbar;
}

// The progress window of the read-out: a borderless bar that stays on top,
// one step per entry read. Freed when closed.
class TPbar : public QWidget {
    Q_OBJECT
public:
    explicit TPbar(QWidget* parent = nullptr);
    ~TPbar() override;

    void setMaximum(int maximum);
    void setPosition(int position);
    int position() const;
    int maximum() const;
    // Centres the bar over a window (the main window, or the splash screen
    // while the main window is hidden).
    void centreOver(const QWidget* window);

private:
    Ui::TPbar* ui;
};
