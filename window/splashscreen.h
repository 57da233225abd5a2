#pragma once

#include <QElapsedTimer>
#include <QPoint>
#include <QWidget>

class QLabel;
class QTimer;

// The start-up splash: a borderless rounded card with the product name,
// centred on the screen, fading in over 400 ms.
class TSplashScreen : public QWidget {
    Q_OBJECT
public:
    explicit TSplashScreen(QWidget* parent = nullptr);

    // Shows the card and paints it at once.
    void showNow();
    // Moves the card for 500 ms towards the point where its centre should
    // end, letting window messages run at every step.
    void glideTo(const QPoint& centre, int durationMs = 500);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void fadeStep();

    QLabel* lbname_;
    QTimer* fade_;
    QElapsedTimer fadeClock_;
};
