#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// A pair of arrows that steps the number in a buddy edit within a range;
// each step sets the buddy's text, which runs the buddy's change handler.
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

    void setBuddy(QLineEdit* buddy) { buddy_ = buddy; }
    void setRange(int min, int max);
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    void step(int delta);

private:
    QLineEdit* buddy_ = nullptr;
    QToolButton* up_;
    QToolButton* down_;
    int min_ = 0;
    int max_ = 100;
};
