#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A throw-away program folder for one test: Config/ copied from the source
// tree, the event log and settings written inside it.
class TestHome {
public:
    explicit TestHome(bool withConfig = true);
    QString path() const { return dir_.path(); }
    QString file(const QString& relative) const;
    QByteArray read(const QString& relative) const;
    void write(const QString& relative, const QByteArray& bytes) const;
    // The event log's lines without their date and time prefix.
    QStringList logMessages() const;

private:
    QTemporaryDir dir_;
};

QString sourceDir();
