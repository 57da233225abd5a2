#include "window/functionspage.h"

#include <QColorDialog>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "base/texts.h"
#include "session/pagecontext.h"
#include "ui_functionspage.h"
#include "window/colorselector.h"

namespace {

// A key of the instrument's keypad, seen from above.
QPixmap keyPicture(int number, const QSize& size) {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(3, 3, -3, -3);
    QPainterPath body;
    body.addRoundedRect(outer, 9, 9);
    p.fillPath(body.translated(2, 3), QColor(0, 0, 0, 60));
    QLinearGradient side(outer.topLeft(), outer.bottomLeft());
    side.setColorAt(0, QColor(120, 124, 132));
    side.setColorAt(1, QColor(52, 56, 62));
    p.fillPath(body, side);
    const QRectF top = outer.adjusted(7, 5, -7, -10);
    QPainterPath cap;
    cap.addRoundedRect(top, 6, 6);
    QLinearGradient face(top.topLeft(), top.bottomRight());
    face.setColorAt(0, QColor(236, 238, 242));
    face.setColorAt(1, QColor(176, 182, 192));
    p.fillPath(cap, face);
    p.setPen(QPen(QColor(60, 64, 70), 1));
    p.drawPath(cap);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(int(top.height() * 0.45));
    p.setFont(f);
    p.setPen(QColor(40, 44, 52));
    p.drawText(top, Qt::AlignCenter, QString::number(number));
    return pm;
}

// 0x00BBGGRR, the way the settings file stores the window colour.
std::optional<QColor> colourOfSetting(const QString& text) {
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (!ok || v < 0 || v > 0xFFFFFF)
        return std::nullopt;
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

}  // namespace

FunctionsPage::FunctionsPage(PageContext& context, QWidget* parent)
    : Page(context, parent), ui(new Ui::FunctionsPage), ColorDialog1(new QColorDialog(this)) {
    ui->setupUi(this);
    ColorDialog1->setObjectName(QStringLiteral("ColorDialog1"));
    ColorDialog1->setWindowTitle(tr_("Application Color"));
    ColorDialog1->setModal(true);
    claimControls();

    QLabel* pictures[] = {ui->imgkey1, ui->imgkey2, ui->imgkey3, ui->imgkey4};
    for (int k = 0; k < 4; ++k)
        pictures[k]->setPixmap(keyPicture(k + 1, QSize(70, 70)));

    ui->Cs1->setAutomaticColour(kDefaultColour);
    ui->Cs1->setColour(colour_);
    connect(ui->Cs1, &ColorSelector::selected, this, &FunctionsPage::Cs1Select);
    connect(ui->ResColor, &QPushButton::clicked, this, &FunctionsPage::ResColorClick);
}

FunctionsPage::~FunctionsPage() {
    delete ui;
}

void FunctionsPage::settingsLoaded() {
    // The window has taken the stored colour already (or the default, for
    // a setting that is no colour); the selector shows the same.
    colour_ = colourOfSetting(context().storedFormColour()).value_or(kDefaultColour);
    ui->Cs1->setColour(colour_);
}

void FunctionsPage::languageChanged() {
    ui->Cs1->retranslate();
}

void FunctionsPage::Cs1Select(int item) {
    if (item == ColorSelector::kMoreColorsItem) {
        ColorDialog1->setCurrentColor(colour_);
        if (ColorDialog1->exec() != QDialog::Accepted) {
            ui->Cs1->setColour(colour_);
            return;
        }
        ui->Cs1->setColour(ColorDialog1->selectedColor());
    }
    const QColor chosen = ui->Cs1->colour();
    if (chosen.rgb() == QColor(Qt::black).rgb()) {
        context().showError(tr_("Black is not a color!"));
        // The selector goes on showing the colour the window has.
        ui->Cs1->setColour(colour_);
        return;
    }
    apply(chosen);
}

void FunctionsPage::ResColorClick() {
    ui->Cs1->setColour(kDefaultColour);
    apply(kDefaultColour);
}

void FunctionsPage::apply(const QColor& colour) {
    colour_ = colour;
    Q_EMIT colourChosen(colour);
}
