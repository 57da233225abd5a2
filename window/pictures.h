#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The window's picture container. Every picture is drawn here at the size
// asked for, so nothing depends on an image-format plugin at run time.
// Names: "question", "error", "information" (question box), "usb", "cross",
// "0.png", "1.png", "2.png" (view selector button), "home", "setup", and
// "page1" ... "page13" (page buttons).
namespace Pictures {

// `ink` colours the line drawings (home, setup, page buttons, view button);
// invalid: the usual dark ink.
QPixmap get(const QString& name, const QSize& size, const QColor& ink = QColor());
QIcon icon(const QString& name, const QSize& size, const QColor& ink = QColor());

}  // namespace Pictures
