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

QPixmap get(const QString& name, const QSize& size);
QIcon icon(const QString& name, const QSize& size);

}  // namespace Pictures
