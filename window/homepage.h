#pragma once

#include "window/page.h"

class FieldBinder;

namespace Ui {
class HomePage;
}

// Page 0, the home page: lamps, instrument information, the address field
// with its arrows, the Gross/Net/Peak view selector and the Tare button,
// the firmware "Update" button, and the offline marks under the panels.
class HomePage : public Page {
    Q_OBJECT
public:
    explicit HomePage(PageContext& context, QWidget* parent = nullptr);
    ~HomePage() override;

    int number() const override { return 0; }

    // The stored address is shown without running the check.
    void settingsLoaded() override;
    // The address check is attached and runs on the stored address, as
    // typing it would; the view starts on Net.
    void windowShown() override;
    // The view items and the zero / tare / reset caption in the new language.
    void languageChanged() override;

    // The view selector's index (0 Gross, 1 Net, 2 Peak) and its text.
    int viewIndex() const;
    QString viewText() const;
    // Selects a view as a click would, running rg2Click.
    void selectView(int index);

    QString addressText() const;

    // The offline marks (label, USB picture, cross) stand where the panels
    // stand; the online look covers them.
    void showOfflineMarks(bool shown);
    void toggleCross();

Q_SIGNALS:
    void firmwareClicked();

private:
    void rg2Click();
    void btTaraClick();
    void showAddress(const QString& text);

    Ui::HomePage* ui;
    FieldBinder* binder_ = nullptr;
};
