#pragma once

#include <QDialog>

namespace Ui {
class TFAbout;
}

// The about box of the Help menu: shown without blocking the main window,
// freed when closed.
class TFAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFAbout(QWidget* owner);
    ~TFAbout() override;

private:
    Ui::TFAbout* ui;
};
