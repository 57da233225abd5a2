#pragma once

#include <QColor>
#include <QComboBox>
#include <QList>

// A colour selector laid out as a drop-down list of 42 items: "Automatic",
// 40 swatches of an office-style palette (black first, white last) and
// "More Colors...". The selected colour is kept apart from the item list,
// so a colour from outside the palette (the dialog's, the settings') is
// shown as it is. Picking an item sets the colour of a swatch or of
// "Automatic" and then tells `selected(item)`; "More Colors..." leaves the
// colour to whoever answers that signal.
class ColorSelector : public QComboBox {
    Q_OBJECT
public:
    static constexpr int kAutomaticItem = 0;
    static constexpr int kSwatchCount = 40;
    static constexpr int kMoreColorsItem = kSwatchCount + 1;

    struct Swatch {
        const char* name;  // translatable
        QColor colour;
    };
    static const QList<Swatch>& palette();

    explicit ColorSelector(QWidget* parent = nullptr);

    // What "Automatic" stands for.
    QColor automaticColour() const { return automatic_; }
    void setAutomaticColour(const QColor& colour);

    // Never invalid; setting it tells nobody.
    QColor colour() const { return colour_; }
    void setColour(const QColor& colour);
    // The swatch of a colour, or -1 for a colour outside the palette.
    static int swatchOf(const QColor& colour);

    // The item names again, in the language now loaded.
    void retranslate();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The user picked an item (0 "Automatic", 1 to 40 a swatch, 41 "More
    // Colors..."); for items 0 to 40 colour() is that item's colour by now.
    void selected(int item);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void pick(int item);
    QString colourName() const;

    QColor automatic_;
    QColor colour_;
};
