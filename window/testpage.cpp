#include "window/testpage.h"

#include "session/pagecontext.h"
#include "ui_testpage.h"
#include "window/analogregulation.h"
#include "window/onoffswitch.h"

namespace {
constexpr int kTestModeRole = 8;
}

TestPage::TestPage(PageContext& context, QWidget* parent)
    : Page(context, parent), ui(new Ui::TestPage), analog_(new AnalogRegulation(context, this)) {
    ui->setupUi(this);
    claimControls();
    QFont big = font();
    big.setPixelSize(15);
    for (QLabel* l : {ui->lbpoints, ui->lbsignal, ui->lbanalog})
        l->setFont(big);

    // A toggle raises the state change and then the click; each runs the
    // whole sequence, the click with the state its toggle set.
    for (int k = 0; k < 2; ++k) {
        OnOffSwitch* sw = outputSwitch(k);
        connect(sw, &QAbstractButton::toggled, this, [this, k](bool on) {
            wanted_[k] = on;
            outputTest(k, on);
        });
        connect(sw, &QAbstractButton::clicked, this, [this, k] { outputTest(k, wanted_[k]); });
    }
    analog_->attachTrackBar(ui->TBAnalogtest, ui->lbTBAnalogtest);
}

TestPage::~TestPage() {
    delete ui;
}

OnOffSwitch* TestPage::outputSwitch(int output) const {
    return output == 0 ? ui->SLOut1 : ui->SLOut2;
}

void TestPage::outputTest(int output, bool on) {
    PageContext& c = context();
    if (c.lineBusy())
        return;
    c.setOutputTest(true);
    c.setAnalogTest(false);
    // The slider shows what is being sent until the instrument's own state
    // comes back after the sequence.
    OnOffSwitch* sw = outputSwitch(output);
    sw->setHeld(true);
    // The mode goes out every time, whatever role 8 holds.
    if (c.forceWrite(kTestModeRole, QStringLiteral("5")).isAnswered())
        c.writeOutput(output, on);
    sw->setHeld(false);
}
