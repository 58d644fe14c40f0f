// Profiling timers: milliseconds of the platform tick count spent between
// nestable Start and Stop calls. Nothing in the programs reads them; they
// exist so that a benchmark can look inside the store's operations.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace tlvx {

class TTickTimer {
public:
    void Start() {
        if (depth_++ == 0) started_ = Clock().TickCount();
        ++starts_;
    }
    void Stop() {
        if (depth_ > 0 && --depth_ == 0) elapsed_ += Clock().TickCount() - started_;
    }
    uint64_t ElapsedMs() const { return elapsed_; }
    uint32_t Starts() const { return starts_; }

private:
    int32_t depth_ = 0;
    uint32_t started_ = 0;
    uint32_t starts_ = 0;
    uint64_t elapsed_ = 0;
};

// Runs a timer for the lifetime of the scope.
class TTimerScope {
public:
    explicit TTimerScope(TTickTimer& timer) : timer_(timer) { timer_.Start(); }
    ~TTimerScope() { timer_.Stop(); }
    TTimerScope(const TTimerScope&) = delete;
    TTimerScope& operator=(const TTimerScope&) = delete;

private:
    TTickTimer& timer_;
};

}  // namespace tlvx
