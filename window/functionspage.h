#pragma once

#include <QColor>

#include "window/page.h"

class QColorDialog;

namespace Ui {
class FunctionsPage;
}

// Page 7, "Function": the keyboard group (key panels only) and the
// application colour: the colour selector Cs1 with its "More Colors..."
// dialog, and "Reset Default".
class FunctionsPage : public Page {
    Q_OBJECT
public:
    static inline const QColor kDefaultColour{185, 209, 234};  // #B9D1EA

    explicit FunctionsPage(PageContext& context, QWidget* parent = nullptr);
    ~FunctionsPage() override;

    int number() const override { return 7; }
    // The selector takes the stored window colour.
    void settingsLoaded() override;
    // The colour names in the new language.
    void languageChanged() override;

    QColor colour() const { return colour_; }
    // The dialog behind "More Colors...", for the window to own and tests
    // to answer.
    QColorDialog* colorDialog() const { return ColorDialog1; }

Q_SIGNALS:
    // The window's background is to take this colour.
    void colourChosen(const QColor& colour);

private:
    void Cs1Select(int item);
    void ResColorClick();
    void apply(const QColor& colour);

    Ui::FunctionsPage* ui;
    QColorDialog* ColorDialog1;
    QColor colour_ = kDefaultColour;
};
