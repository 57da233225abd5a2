#include "window/singleinstance.h"

#include <QDir>
#include <QStandardPaths>

QString SingleInstance::lockPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(QString::fromLatin1(kLockName));
}

SingleInstance::SingleInstance() : lock_(std::make_unique<QLockFile>(lockPath())) {
    // Age alone never makes the lock stale: a program may run for days. Only
    // a holder that is no longer running does.
    lock_->setStaleLockTime(0);
}

bool SingleInstance::acquire() {
    if (held_)
        return true;
    held_ = lock_->tryLock(0);
    if (!held_ && lock_->error() == QLockFile::LockFailedError) {
        // tryLock has already checked the holder; look once more in case it
        // ended between its check and ours.
        held_ = lock_->removeStaleLockFile() && lock_->tryLock(0);
    }
    return held_;
}
