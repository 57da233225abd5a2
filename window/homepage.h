#pragma once

#include "window/page.h"

namespace Ui {
class HomePage;
}

// Page 0, the home page: lamps, instrument information, the address field
// with its arrows, the Gross/Net/Peak view selector and the Tare button,
// the firmware "Update" button, and the offline marks under the panels.
class HomePage : public Page {
    Q_OBJECT
public:
    explicit HomePage(QWidget* parent = nullptr);
    ~HomePage() override;

    int number() const override { return 0; }

    // The view selector's index (0 Gross, 1 Net, 2 Peak) and its text.
    int viewIndex() const;
    QString viewText() const;
    // Selects a view as a click would, running rg2Click.
    void selectView(int index);

    // Sets the address text without running the change handler.
    void showAddress(const QString& text);
    // Attaches the change handler; until then, setting the text runs none.
    void attachAddressHandler();
    QString addressText() const;

    // The offline marks (label, USB picture, cross) stand where the panels
    // stand; the online look covers them.
    void showOfflineMarks(bool shown);
    void toggleCross();

Q_SIGNALS:
    void viewChanged(int index, const QString& text);
    void tareClicked(int commandCode);
    void addressAccepted(int address, const QString& text);
    void firmwareClicked();

private:
    void rg2Click();
    void EaddressChange();

    Ui::HomePage* ui;
    bool addressAttached_ = false;
};
