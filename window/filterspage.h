#pragma once

#include "window/page.h"

class FieldBinder;
class QComboBox;
class WeightChart;

namespace Ui {
class FiltersPage;
}

// Page 2, "Param": the filter, the functional mode, the "0 ALL" switch, the
// motion and zero settings, and the filter chart Chart3 with the spread of
// the weights it shows.
class FiltersPage : public Page {
    Q_OBJECT
public:
    explicit FiltersPage(PageContext& context, QWidget* parent = nullptr);
    ~FiltersPage() override;

    int number() const override { return 2; }
    WeightChart* chart() const;

private:
    // A plain combo box writes its role := the selected item index.
    void comboChanged(QComboBox* box, int role);
    void showSpread();

    Ui::FiltersPage* ui;
    FieldBinder* binder_;
};
