#pragma once

#include <QDialog>

namespace Ui {
class TFAbout;
}

// The about box of the Help menu: product name, version, the program's
// licence and the licence of the fonts it carries. Shown without blocking
// the main window, freed when closed.
class TFAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFAbout(QWidget* owner);
    ~TFAbout() override;

    // The full text of the LED font's licence, which travels with the font.
    static QString fontLicenceText();

private:
    void showFontLicence();

    Ui::TFAbout* ui;
};
