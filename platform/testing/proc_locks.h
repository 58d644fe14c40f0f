// What the kernel's table of file locks (/proc/locks) tells a test: how many
// requests wait in line for a lock on a file. Tests of lock order wait for
// one process to be queued before they start the next.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/lock_activity.h"

namespace tlvx::test {

// Conflicting lock requests that the kernel has queued behind a holder of
// path's lock; -1 when path is not there.
inline int QueuedWaiters(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return int(ReadLocksOf(st.st_dev, st.st_ino).waiters.size());
}

// Waits until at least n requests are queued for path's lock, for up to
// 10 s; false when they never were.
inline bool WaitUntilQueued(const std::string& path, int n) {
    for (int spin = 0; spin < 10000; ++spin) {
        if (QueuedWaiters(path) >= n) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// Waits until process pid has (at least) the given number of requests
// queued for path's lock, for up to 10 s; false when it never had. Surer
// than a count of all waiters on a busy machine, where one reading can
// still show another process's request twice.
inline bool WaitUntilInLine(const std::string& path, pid_t pid, int requests = 1) {
    const std::string prefix = std::to_string(pid) + " ";
    for (int spin = 0; spin < 10000; ++spin) {
        struct stat st {};
        int queued = 0;
        if (::stat(path.c_str(), &st) == 0)
            for (const std::string& waiter : ReadLocksOf(st.st_dev, st.st_ino).waiters)
                queued += waiter.starts_with(prefix);
        if (queued >= requests) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

}  // namespace tlvx::test
