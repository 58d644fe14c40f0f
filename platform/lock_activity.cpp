#include "platform/lock_activity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace tlvx {

// The kernel writes the table afresh for every read, a line per lock on the
// system.
std::string ReadLockTable() {
    std::string table;
    int fd;
    do fd = ::open("/proc/locks", O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return table;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        table.append(buffer, size_t(n));
    }
    ::close(fd);
    return table;
}

namespace {

// The blank-separated words of a line.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && line[at] == ' ') ++at;
        const size_t end = std::min(line.find(' ', at), line.size());
        if (end > at) words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

}  // namespace

TFileLocks LocksIn(std::string_view table, dev_t device, ino_t inode) {
    // The table names a file "major:minor:inode", the numbers of the device
    // in hexadecimal: the inode alone may be another device's file.
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%llu", major(device), minor(device),
                  static_cast<unsigned long long>(inode));
    TFileLocks locks;
    size_t at = 0;
    while (at < table.size()) {
        const size_t end = std::min(table.find('\n', at), table.size());
        const std::vector<std::string_view> words = Words(table.substr(at, end - at));
        at = end + 1;
        // "N:" class mode kind pid file start end; a waiter has "->" after "N:".
        const bool waiting = words.size() > 1 && words[1] == "->";
        const size_t first = waiting ? 1 : 0;
        if (words.size() < first + 6 || words[first + 5] != file) continue;
        (waiting ? locks.waiters : locks.holders)
            .push_back(std::string(words[first + 4]) + " " + std::string(words[first + 3]));
    }
    std::sort(locks.holders.begin(), locks.holders.end());
    std::sort(locks.waiters.begin(), locks.waiters.end());
    return locks;
}

TFileLocks ReadLocksOf(dev_t device, ino_t inode) {
    TFileLocks last = LocksIn(ReadLockTable(), device, inode);
    // A few tries: a table that never reads the same twice still gives
    // an answer, and a wrong one only looks like a change.
    for (int tries = 0; tries < 8; ++tries) {
        TFileLocks now = LocksIn(ReadLockTable(), device, inode);
        if (now == last) break;
        last = std::move(now);
    }
    return last;
}

TLockActivity ReadLockActivity(int fd) {
    TLockActivity activity;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return activity;
    activity.size = st.st_size;
    activity.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    activity.holders = ReadLocksOf(st.st_dev, st.st_ino).holders;
    return activity;
}

}  // namespace tlvx
