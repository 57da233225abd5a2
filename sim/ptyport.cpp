#include "sim/ptyport.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// What a client that never reads may leave queued before replies are dropped.
constexpr qsizetype kMaxOutgoing = 64 * 1024;

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}
}  // namespace

PtyPort::PtyPort(const QString& linkPath, QObject* parent) : QObject(parent), linkPath_(linkPath) {}

PtyPort::~PtyPort() {
    close();
}

bool PtyPort::open(QString* error) {
    close();
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        if (error)
            *error = QStringLiteral("posix_openpt: ") + errnoText();
        return false;
    }
    char name[128] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        if (error)
            *error = QStringLiteral("pty set-up: ") + errnoText();
        ::close(master);
        return false;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        if (error)
            *error = QStringLiteral("open %1: %2").arg(QString::fromLocal8Bit(name), errnoText());
        ::close(master);
        return false;
    }
    // Raw: no CR/LF translation, no echo, bytes as they come.
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    master_ = master;
    slave_ = slave;
    slavePath_ = QString::fromLocal8Bit(name);
    if (!pointLink(error)) {
        close();
        return false;
    }
    readNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &PtyPort::onReadable);
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PtyPort::onWritable);
    return true;
}

bool PtyPort::pointLink(QString* error) {
    if (linkPath_.isEmpty())
        return true;
    // The link may replace an old link, never a file that happens to have its name.
    const QFileInfo existing(linkPath_);
    if (existing.exists() && !existing.isSymLink()) {
        if (error)
            *error = QStringLiteral("link %1: exists and is not a symlink").arg(linkPath_);
        return false;
    }
    // Build the new link beside the old one and rename it into place, so the
    // name never points nowhere while a client looks it up.
    const QString temp = linkPath_ + QStringLiteral(".new");
    QFile::remove(temp);
    if (::symlink(QFile::encodeName(slavePath_).constData(), QFile::encodeName(temp).constData()) !=
            0 ||
        ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(linkPath_).constData()) !=
            0) {
        if (error)
            *error = QStringLiteral("link %1: %2").arg(linkPath_, errnoText());
        QFile::remove(temp);
        return false;
    }
    return true;
}

void PtyPort::close() {
    delete readNotifier_;
    readNotifier_ = nullptr;
    delete writeNotifier_;
    writeNotifier_ = nullptr;
    outgoing_.clear();
    if (master_ >= 0) {
        // Only a link that still points at our pty is ours to remove.
        if (!linkPath_.isEmpty() &&
            QFileInfo(linkPath_).symLinkTarget() == QFileInfo(slavePath_).absoluteFilePath())
            QFile::remove(linkPath_);
        ::close(slave_);
        ::close(master_);
    }
    master_ = -1;
    slave_ = -1;
    slavePath_.clear();
}

void PtyPort::write(const QByteArray& bytes) {
    if (master_ < 0)
        return;
    if (outgoing_.size() + bytes.size() > kMaxOutgoing)
        return;
    outgoing_.append(bytes);
    onWritable();
}

void PtyPort::onWritable() {
    while (master_ >= 0 && !outgoing_.isEmpty()) {
        const ssize_t n =
            ::write(master_, outgoing_.constData(), static_cast<size_t>(outgoing_.size()));
        if (n > 0) {
            outgoing_.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;  // EAGAIN: wait until the client drains the pty
    }
    if (writeNotifier_)
        writeNotifier_->setEnabled(!outgoing_.isEmpty());
}

void PtyPort::onReadable() {
    char buf[512];
    QByteArray got;
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            got.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    if (!got.isEmpty())
        Q_EMIT received(got);
}
