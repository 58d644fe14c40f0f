#include "platform/lock_wait.h"

#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/file.h"
#include "platform/lock_activity.h"

namespace tlvx {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The signal that ends a wait. A real-time signal, so that it cannot clash
// with what a program or a test harness does with SIGALRM.
int WakeSignal() { return SIGRTMIN + 4; }

extern "C" void IgnoreWake(int) {}

// Installed once, without SA_RESTART, so that the signal makes a blocked
// flock return EINTR instead of resuming it.
void InstallWakeHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = IgnoreWake;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(WakeSignal(), &action, nullptr);
    });
}

int TryOnce(int fd, int op) {
    for (;;) {
        if (::flock(fd, op | LOCK_NB) == 0) return 0;
        if (errno != EINTR) return errno;
    }
}

// The second thread of a wait: reads the line's activity every little
// while and, once the wait has to give up, signals the waiting thread, and
// again every few milliseconds in case the first signal came just before
// the thread entered flock.
class TLineWatch {
public:
    TLineWatch(const TLockPatience& patience, int watchFd)
        : patience_(patience), watchFd_(watchFd), waiter_(::gettid()), start_(Clock::now()) {
        thread_ = std::thread([this] { Watch(); });
    }
    ~TLineWatch() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    TLineWatch(const TLineWatch&) = delete;
    TLineWatch& operator=(const TLineWatch&) = delete;

    // Stalled or Ceiling once the wait has to give up; Held until then.
    TLockWaitEnd Verdict() {
        std::lock_guard<std::mutex> lock(mutex_);
        return verdict_;
    }

private:
    // Often enough to notice a stall soon after its bound, rarely enough
    // that a line of waiting hits costs the holder nothing to speak of.
    milliseconds PollInterval() const {
        return milliseconds(std::clamp(patience_.stallMs / 10, 5, 100));
    }

    void Watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        TLockActivity seen = ReadLockActivity(watchFd_);
        auto moved = Clock::now();
        const auto ceiling = start_ + milliseconds(patience_.ceilingMs);
        while (!done_ && verdict_ == TLockWaitEnd::Held) {
            wake_.wait_for(lock, PollInterval());
            if (done_) return;
            lock.unlock();
            const TLockActivity now = ReadLockActivity(watchFd_);
            lock.lock();
            if (now != seen) {
                seen = now;
                moved = Clock::now();
            }
            if (Clock::now() - moved >= milliseconds(patience_.stallMs)) verdict_ = TLockWaitEnd::Stalled;
            else if (Clock::now() >= ceiling) verdict_ = TLockWaitEnd::Ceiling;
        }
        while (!done_) {
            ::tgkill(::getpid(), waiter_, WakeSignal());
            wake_.wait_for(lock, milliseconds(5));
        }
    }

    const TLockPatience patience_;
    const int watchFd_;
    const pid_t waiter_;
    const Clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    TLockWaitEnd verdict_ = TLockWaitEnd::Held;
    std::thread thread_;
};

}  // namespace

TLockWaitResult WaitForShareLock(int fd, int op, const TLockPatience& patience, int watchFd) {
    const int first = TryOnce(fd, op);
    if (first == 0) return {TLockWaitEnd::Held, 0};
    if (first != EWOULDBLOCK) return {TLockWaitEnd::Failed, first};
    if (patience.stallMs <= 0 || patience.ceilingMs <= 0) return {TLockWaitEnd::OneTry, 0};

    InstallWakeHandler();
    std::unique_ptr<TLineWatch> watch;
    try {
        watch = std::make_unique<TLineWatch>(patience, watchFd);
    } catch (const std::system_error&) {
        return {TLockWaitEnd::OneTry, 0};  // no thread: no wait we could bound
    }
    for (;;) {
        if (::flock(fd, op) == 0) return {TLockWaitEnd::Held, 0};
        if (errno != EINTR) return {TLockWaitEnd::Failed, errno};
        // Another signal, not the watch's, costs the place in the line.
        const TLockWaitEnd verdict = watch->Verdict();
        if (verdict != TLockWaitEnd::Held) return {verdict, 0};
    }
}

void RaiseUnlessHeld(const TLockWaitResult& result, const TLockPatience& patience, const std::string& path,
                     const std::string& lockPath) {
    const std::string locked = "still locked by another open";
    switch (result.end) {
        case TLockWaitEnd::Held: return;
        case TLockWaitEnd::OneTry: throw EFileLocked(path, locked);
        case TLockWaitEnd::Stalled:
            throw EFileLocked(path, locked + ": no request finished with it for " +
                                        std::to_string(patience.stallMs) + " ms");
        case TLockWaitEnd::Ceiling:
            throw EFileLocked(path, locked + " after " + std::to_string(patience.ceilingMs) +
                                        " ms in line, the longest wait");
        case TLockWaitEnd::Failed: break;
    }
    throw EPlatformError("Error locking \"" + lockPath + "\"", result.error, lockPath);
}

}  // namespace tlvx
