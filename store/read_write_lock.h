// A writer-preferring read/write lock (the atom table list's lock).
//
// A writer enters the gate and keeps it while it waits for the readers to
// leave, so new readers queue behind a waiting writer. The writer's thread
// may take the write lock again, or a read lock, while it writes. A thread
// that holds only a read lock and asks for the write lock would wait for
// itself forever; that is refused with an assertion failure instead.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/lock.h"

namespace tlvx {

class TReadWriteLock {
public:
    TReadWriteLock() = default;
    TReadWriteLock(const TReadWriteLock&) = delete;
    TReadWriteLock& operator=(const TReadWriteLock&) = delete;

    void BeginRead();
    void EndRead();
    void BeginWrite();
    void EndWrite();

    int32_t ReaderCount();

private:
    TCriticalSection gate_;
    std::mutex counterLock_;
    std::condition_variable noReaders_;
    // Threads holding read locks, one entry per lock held.
    std::vector<std::thread::id> readers_;
    // The writing thread and how often it holds the write lock.
    std::thread::id writer_;
    int32_t writeDepth_ = 0;
};

class TReadLockGuard {
public:
    explicit TReadLockGuard(TReadWriteLock& lock) : lock_(lock) { lock_.BeginRead(); }
    ~TReadLockGuard() { lock_.EndRead(); }
    TReadLockGuard(const TReadLockGuard&) = delete;
    TReadLockGuard& operator=(const TReadLockGuard&) = delete;

private:
    TReadWriteLock& lock_;
};

class TWriteLockGuard {
public:
    explicit TWriteLockGuard(TReadWriteLock& lock) : lock_(lock) { lock_.BeginWrite(); }
    ~TWriteLockGuard() { lock_.EndWrite(); }
    TWriteLockGuard(const TWriteLockGuard&) = delete;
    TWriteLockGuard& operator=(const TWriteLockGuard&) = delete;

private:
    TReadWriteLock& lock_;
};

}  // namespace tlvx
