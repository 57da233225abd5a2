#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>

class QTimer;

namespace Ui {
class Fdata;
}

// The data window: the parameter image as text, 16 bytes a line, read-only
// in a fixed-pitch font. It reads the image again every second while shown.
class Fdata : public QWidget {
    Q_OBJECT
public:
    using ImageSource = std::function<QStringList()>;

    explicit Fdata(ImageSource source, QWidget* owner = nullptr);
    ~Fdata() override;

    void showImage();
    void refresh();
    QStringList shownLines() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    Ui::Fdata* ui;
    ImageSource source_;
    QTimer* refresh_;
};
