#include "sim/trafficlog.h"

#include <QJsonDocument>

bool TrafficLog::open(const QString& path, QString* error) {
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file_.errorString());
        return false;
    }
    return true;
}

void TrafficLog::write(const QJsonObject& record) {
    if (!file_.isOpen())
        return;
    // One write per record: with an unbuffered file a reader sees whole lines.
    file_.write(QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n');
}
