#pragma once

#include <QWidget>

// One page of the main window's stacked area. The page's number is the
// number in the names of its panel ("Panel" + n) and of its button.
class Page : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual int number() const = 0;
};
