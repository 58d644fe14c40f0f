// Critical sections for the store's shared state.
//
// Re-entrant on purpose: the allocator allocates inside its own allocation,
// the atom manager's table scan reads entries under the lock it holds, and the
// writer-preferring read/write lock enters the section it already owns.
#pragma once

#include <mutex>

namespace tlvx {

class TCriticalSection {
public:
    TCriticalSection() = default;
    TCriticalSection(const TCriticalSection&) = delete;
    TCriticalSection& operator=(const TCriticalSection&) = delete;

    void Enter() { mutex_.lock(); }
    bool TryEnter() { return mutex_.try_lock(); }
    void Leave() { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};

// Holds a critical section for the lifetime of the guard.
class TCriticalSectionGuard {
public:
    explicit TCriticalSectionGuard(TCriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~TCriticalSectionGuard() { cs_.Leave(); }
    TCriticalSectionGuard(const TCriticalSectionGuard&) = delete;
    TCriticalSectionGuard& operator=(const TCriticalSectionGuard&) = delete;

private:
    TCriticalSection& cs_;
};

}  // namespace tlvx
