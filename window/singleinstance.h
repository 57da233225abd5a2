#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// One program instance per user: a lock file "Velmora_SEM.lock" in the
// user's runtime folder. A lock left by a run that crashed names a process
// that no longer exists and is taken over.
class SingleInstance {
public:
    static constexpr const char* kLockName = "Velmora_SEM.lock";

    SingleInstance();
    // True when this process now holds the lock; false when another
    // running instance holds it.
    bool acquire();
    bool held() const { return held_; }
    static QString lockPath();

private:
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
};
