// Fixed clocks, GUID sources and file helpers for the store's tests.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/guid.h"
#include "platform/testing/fixed_sources.h"
#include "platform/testing/temp_dir.h"

namespace tlvx::test {

// The clock of the store tests: 2026-12-08 13:45:30.250, until a test moves it.
class TFixedClock : public TSettableClock {
public:
    TFixedClock() : TSettableClock(EncodeDateTime(2026, 12, 8, 13, 45, 30, 250)) {}
};

// Hands out {A1A2A3A4-B1B2-C1C2-D1D2-E1E2E3E4E5E6}, then the same with the
// last byte counting up.
class TFixedGuids : public IGuidSource {
public:
    uint8_t next = 0xE6;
    TGUID Next() override {
        TGUID g = *StrToGuid("{A1A2A3A4-B1B2-C1C2-D1D2-E1E2E3E4E5E6}");
        g.D4[7] = next++;
        return g;
    }
};

// Installs the fixed clock and GUID source for the lifetime of a test.
class TStoreTestEnv {
public:
    TStoreTestEnv() {
        SetClock(&clock);
        SetGuidSource(&guids);
    }
    ~TStoreTestEnv() {
        SetClock(nullptr);
        SetGuidSource(nullptr);
    }
    TFixedClock clock;
    TFixedGuids guids;
    TTestTempDir dir;
};

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline const TGUID kClassA = *StrToGuid("{11223344-5566-7788-99AA-BBCCDDEEFF00}");
inline const TGUID kClassB = *StrToGuid("{0F0E0D0C-0B0A-0908-0706-050403020100}");

}  // namespace tlvx::test
