#pragma once

#include <sys/resource.h>

#include <csignal>

// Stands in for a full disk while it lives: no file may grow past 8 bytes
// (RLIMIT_FSIZE). Unlike permission bits this also holds for root.
class FullDisk {
public:
    FullDisk() {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = saved_;
        tiny.rlim_cur = 8;
        setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~FullDisk() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};
