#pragma once

#include "window/page.h"

class WeightChart;

namespace Ui {
class WeightPage;
}

// Page 8, "Weight": the weight chart Chart1.
class WeightPage : public Page {
    Q_OBJECT
public:
    explicit WeightPage(PageContext& context, QWidget* parent = nullptr);
    ~WeightPage() override;

    int number() const override { return 8; }
    WeightChart* chart() const;

private:
    Ui::WeightPage* ui;
};
