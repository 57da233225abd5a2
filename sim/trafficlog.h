#pragma once

#include <QFile>
#include <QJsonObject>
#include <QString>

// One JSON object per line for every request the instrument sees, flushed
// line by line so a reader never meets half a record.
class TrafficLog {
public:
    // Appends to `path`; false with `error` when it cannot be opened.
    bool open(const QString& path, QString* error);
    bool isOpen() const { return file_.isOpen(); }
    void write(const QJsonObject& record);

private:
    QFile file_;
};
