// What the kernel's table of file locks (/proc/locks) tells a test: how many
// requests wait in line for a lock on a file. Tests of lock order wait for
// one process to be queued before they start the next.
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace tlvx::test {

// Conflicting lock requests that the kernel has queued behind a holder of
// path's lock; -1 when path is not there.
inline int QueuedWaiters(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    // "major:minor:inode", as the table writes it: the inode alone may be
    // another device's file, such as a parallel test's on a memory disk.
    char file[64];
    std::snprintf(file, sizeof file, " %02x:%02x:%llu ", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    int queued = 0;
    for (std::string line; std::getline(locks, line);)
        if (line.find("->") != std::string::npos && line.find(file) != std::string::npos) ++queued;
    return queued;
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

}  // namespace tlvx::test
