#include "window/inoutpage.h"

#include <QSignalBlocker>
#include <algorithm>

#include "session/pagecontext.h"
#include "ui_inoutpage.h"
#include "window/fieldbinder.h"

namespace {
constexpr int kWordRole[2] = {20, 24};
}  // namespace

InOutPage::InOutPage(PageContext& context, QWidget* parent)
    : Page(context, parent), ui(new Ui::InOutPage), binder_(new FieldBinder(context, this)) {
    ui->setupUi(this);
    claimControls();
    boxes_[0] = {ui->CBMode1, ui->CbType1, ui->CBSign1, ui->CBStab1};
    boxes_[1] = {ui->CBMode2, ui->CBType2, ui->CBSign2, ui->CBStab2};
    for (int out = 0; out < 2; ++out) {
        for (QComboBox* box : boxes_[out]) {
            loadCombo(box);
            connect(box, &QComboBox::currentIndexChanged, this,
                    [this, out, box] { outputChanged(out, box); });
        }
    }
    // EVal, EHys, ETime, EDelay of both outputs.
    binder_->bind(this);
}

InOutPage::~InOutPage() {
    delete ui;
}

int InOutPage::packedWord(int mode, int type, int sign, int stable) {
    // An unselected box (index -1) would otherwise borrow from the bits
    // below it and make the word negative.
    const auto index = [](int i) { return std::max(i, 0); };
    return index(stable) * 16 + index(sign) * 8 + index(type) * 4 + index(mode);
}

void InOutPage::outputChanged(int output, QComboBox* changed) {
    if (changed->currentIndex() < 0)
        return;
    context().userChanged(ControlUpdate::setIndex(changed->objectName(), changed->currentIndex()));
    const auto& b = boxes_[output];
    const int word = packedWord(b[0]->currentIndex(), b[1]->currentIndex(),
                                b[2]->currentIndex(), b[3]->currentIndex());
    context().writeParameter(kWordRole[output], QString::number(word));
}
