#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// The instrument's end of a pseudo-terminal. The slave path is what a serial
// client opens; an optional symlink gives it a stable name across replugs.
// The port keeps a slave descriptor of its own open, so the master never
// sees a hang-up between clients and raw mode survives them.
class PtyPort : public QObject {
    Q_OBJECT
public:
    explicit PtyPort(const QString& linkPath = QString(), QObject* parent = nullptr);
    ~PtyPort() override;

    // A fresh pty (and the link pointing at it). False with `error` set on failure.
    bool open(QString* error);
    // Closes the pty, so its slave path vanishes, and removes the link.
    void close();
    bool isOpen() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }
    QString linkPath() const { return linkPath_; }

    // Queues bytes for the client; never blocks. Dropped when closed.
    void write(const QByteArray& bytes);

Q_SIGNALS:
    void received(const QByteArray& bytes);

private:
    void onReadable();
    void onWritable();
    bool pointLink(QString* error);

    QString linkPath_;
    QString slavePath_;
    int master_ = -1;
    int slave_ = -1;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QByteArray outgoing_;
};
