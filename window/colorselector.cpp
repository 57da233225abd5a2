#include "window/colorselector.h"

#include <QPainter>
#include <QPixmap>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include "base/texts.h"

namespace {

constexpr int kSwatchSize = 14;

QIcon swatchIcon(const QColor& colour) {
    QPixmap pm(kSwatchSize, kSwatchSize);
    pm.fill(colour);
    QPainter p(&pm);
    p.setPen(QColor(96, 96, 96));
    p.drawRect(0, 0, kSwatchSize - 1, kSwatchSize - 1);
    return QIcon(pm);
}

}  // namespace

const QList<ColorSelector::Swatch>& ColorSelector::palette() {
    // Eight columns of five rows as office programs lay them out, read row by
    // row: dark tones, strong tones, bright tones, light tones, pastels.
    static const QList<Swatch> swatches = {
        {"Black", QColor(0x00, 0x00, 0x00)},
        {"Brown", QColor(0x99, 0x33, 0x00)},
        {"Olive Green", QColor(0x33, 0x33, 0x00)},
        {"Dark Green", QColor(0x00, 0x33, 0x00)},
        {"Dark Teal", QColor(0x00, 0x33, 0x66)},
        {"Dark Blue", QColor(0x00, 0x00, 0x80)},
        {"Indigo", QColor(0x33, 0x33, 0x99)},
        {"Gray-80%", QColor(0x33, 0x33, 0x33)},
        {"Dark Red", QColor(0x80, 0x00, 0x00)},
        {"Orange", QColor(0xFF, 0x66, 0x00)},
        {"Dark Yellow", QColor(0x80, 0x80, 0x00)},
        {"Green", QColor(0x00, 0x80, 0x00)},
        {"Teal", QColor(0x00, 0x80, 0x80)},
        {"Blue", QColor(0x00, 0x00, 0xFF)},
        {"Blue-Gray", QColor(0x66, 0x66, 0x99)},
        {"Gray-50%", QColor(0x80, 0x80, 0x80)},
        {"Red", QColor(0xFF, 0x00, 0x00)},
        {"Light Orange", QColor(0xFF, 0x99, 0x00)},
        {"Lime", QColor(0x99, 0xCC, 0x00)},
        {"Sea Green", QColor(0x33, 0x99, 0x66)},
        {"Aqua", QColor(0x33, 0xCC, 0xCC)},
        {"Light Blue", QColor(0x33, 0x66, 0xFF)},
        {"Violet", QColor(0x80, 0x00, 0x80)},
        {"Gray-40%", QColor(0x96, 0x96, 0x96)},
        {"Pink", QColor(0xFF, 0x00, 0xFF)},
        {"Gold", QColor(0xFF, 0xCC, 0x00)},
        {"Yellow", QColor(0xFF, 0xFF, 0x00)},
        {"Bright Green", QColor(0x00, 0xFF, 0x00)},
        {"Turquoise", QColor(0x00, 0xFF, 0xFF)},
        {"Sky Blue", QColor(0x00, 0xCC, 0xFF)},
        {"Plum", QColor(0x99, 0x33, 0x66)},
        {"Gray-25%", QColor(0xC0, 0xC0, 0xC0)},
        {"Rose", QColor(0xFF, 0x99, 0xCC)},
        {"Tan", QColor(0xFF, 0xCC, 0x99)},
        {"Light Yellow", QColor(0xFF, 0xFF, 0x99)},
        {"Light Green", QColor(0xCC, 0xFF, 0xCC)},
        {"Light Turquoise", QColor(0xCC, 0xFF, 0xFF)},
        {"Pale Blue", QColor(0x99, 0xCC, 0xFF)},
        {"Lavender", QColor(0xCC, 0x99, 0xFF)},
        {"White", QColor(0xFF, 0xFF, 0xFF)},
    };
    return swatches;
}

ColorSelector::ColorSelector(QWidget* parent)
    : QComboBox(parent), automatic_(185, 209, 234), colour_(automatic_) {
    setMaxVisibleItems(kMoreColorsItem + 1);
    addItem(swatchIcon(automatic_), tr_("Automatic"));
    for (const Swatch& s : palette())
        addItem(swatchIcon(s.colour), tr_(s.name), s.colour);
    addItem(tr_("More Colors..."));
    setCurrentIndex(-1);
    // activated, not currentIndexChanged: picking the item already chosen
    // is a choice too, and setting the colour by program is none.
    connect(this, &QComboBox::activated, this, &ColorSelector::pick);
}

void ColorSelector::setAutomaticColour(const QColor& colour) {
    automatic_ = colour;
    setItemIcon(kAutomaticItem, swatchIcon(colour));
}

void ColorSelector::setColour(const QColor& colour) {
    colour_ = colour.isValid() ? colour.toRgb() : automatic_;
    update();
}

int ColorSelector::swatchOf(const QColor& colour) {
    const QList<Swatch>& p = palette();
    for (int i = 0; i < p.size(); ++i)
        if (p[i].colour.rgb() == colour.rgb())
            return i;
    return -1;
}

void ColorSelector::pick(int item) {
    if (item == kAutomaticItem)
        colour_ = automatic_;
    else if (item >= 1 && item <= kSwatchCount)
        colour_ = palette()[item - 1].colour;
    // The list only offers the choices; the closed box shows the colour.
    setCurrentIndex(-1);
    update();
    Q_EMIT selected(item);
}

QString ColorSelector::colourName() const {
    const int swatch = swatchOf(colour_);
    if (swatch >= 0)
        return tr_(palette()[swatch].name);
    if (colour_.rgb() == automatic_.rgb())
        return tr_("Automatic");
    return colour_.name(QColor::HexRgb).toUpper();
}

void ColorSelector::retranslate() {
    setItemText(kAutomaticItem, tr_("Automatic"));
    const QList<Swatch>& p = palette();
    for (int i = 0; i < p.size(); ++i)
        setItemText(i + 1, tr_(p[i].name));
    setItemText(kMoreColorsItem, tr_("More Colors..."));
    update();
}

QSize ColorSelector::sizeHint() const {
    const QSize s = QComboBox::sizeHint();
    return {std::max(s.width(), 180), s.height()};
}

QSize ColorSelector::minimumSizeHint() const {
    return sizeHint();
}

void ColorSelector::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.currentIcon = swatchIcon(colour_);
    opt.iconSize = QSize(kSwatchSize, kSwatchSize);
    opt.currentText = colourName();
    p.drawComplexControl(QStyle::CC_ComboBox, opt);
    p.drawControl(QStyle::CE_ComboBoxLabel, opt);
}
