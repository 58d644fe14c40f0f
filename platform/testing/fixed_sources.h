// Clock and GUID sources that tests and benchmarks install instead of the
// system's (SetClock, SetGuidSource), so the same steps give the same bytes.
#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "platform/guid.h"

namespace tlvx {

// Reads whatever the caller last set; TickCount advances by tickStep on
// every read (0 keeps it still).
class TSettableClock : public IClock {
public:
    explicit TSettableClock(double start = 0, int32_t biasMinutes = 0, uint32_t tickStep = 0)
        : now(start), bias(biasMinutes), tickStep_(tickStep) {}
    double Now() override { return now; }
    int32_t BiasMinutes() override { return bias; }
    uint32_t TickCount() override { return ticks_ += tickStep_; }

    double now;
    int32_t bias;

private:
    uint32_t tickStep_;
    uint32_t ticks_ = 0;
};

// Version-4-shaped GUIDs whose first four bytes count 1, 2, 3, ...
class TSequenceGuids : public IGuidSource {
public:
    TGUID Next() override {
        uint8_t b[16] = {};
        ++n;
        for (int i = 0; i < 4; ++i) b[i] = uint8_t(n >> (8 * i));
        b[6] = 0x40;
        b[8] = 0x80;
        return TGUID::FromBytes(b);
    }
    uint32_t n = 0;
};

}  // namespace tlvx
