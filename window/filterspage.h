#pragma once

#include "window/page.h"

class WeightChart;

namespace Ui {
class FiltersPage;
}

// Page 2, "Param": filters, with the filter chart Chart3.
class FiltersPage : public Page {
    Q_OBJECT
public:
    explicit FiltersPage(PageContext& context, QWidget* parent = nullptr);
    ~FiltersPage() override;

    int number() const override { return 2; }
    WeightChart* chart() const;

private:
    Ui::FiltersPage* ui;
};
