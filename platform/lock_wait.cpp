#include "platform/lock_wait.h"

#include <signal.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <mutex>

namespace tlvx {
namespace {

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

timespec ToTimespec(std::chrono::nanoseconds ns) {
    timespec t{};
    t.tv_sec = static_cast<time_t>(ns.count() / 1000000000);
    t.tv_nsec = static_cast<long>(ns.count() % 1000000000);
    return t;
}

// A per-thread timer that signals this thread at the deadline and every
// few milliseconds after it: should the first signal land just before the
// thread enters flock, a later one still ends the wait.
class TWakeTimer {
public:
    explicit TWakeTimer(std::chrono::nanoseconds after) {
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = WakeSignal();
        event._sigev_un._tid = ::gettid();  // glibc names no field for it
        if (::timer_create(CLOCK_MONOTONIC, &event, &timer_) != 0) return;
        armed_ = true;
        itimerspec spec{};
        spec.it_value = ToTimespec(std::max(after, std::chrono::nanoseconds(1)));
        spec.it_interval = ToTimespec(std::chrono::milliseconds(5));
        if (::timer_settime(timer_, 0, &spec, nullptr) != 0) Disarm();
    }
    ~TWakeTimer() { Disarm(); }
    TWakeTimer(const TWakeTimer&) = delete;
    TWakeTimer& operator=(const TWakeTimer&) = delete;

    bool Armed() const { return armed_; }

private:
    void Disarm() {
        if (armed_) ::timer_delete(timer_);
        armed_ = false;
    }

    timer_t timer_{};
    bool armed_ = false;
};

int TryOnce(int fd, int op) {
    for (;;) {
        if (::flock(fd, op | LOCK_NB) == 0) return 0;
        if (errno != EINTR) return errno;
    }
}

}  // namespace

int WaitForShareLock(int fd, int op, int waitMs) {
    const int first = TryOnce(fd, op);
    if (first != EWOULDBLOCK || waitMs <= 0) return first;

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    InstallWakeHandler();
    TWakeTimer timer(deadline - Clock::now());
    if (!timer.Armed()) return EWOULDBLOCK;  // no timer: no wait we could bound
    for (;;) {
        if (::flock(fd, op) == 0) return 0;
        if (errno != EINTR) return errno;
        if (Clock::now() >= deadline) return EWOULDBLOCK;
    }
}

}  // namespace tlvx
