// The clock of the test-only builds of the two programs (tlvxcount_clocked,
// tlvxstat_clocked): when the environment names a clock file, the process
// runs at the moment written there, so that an end-to-end test can replay
// hits at their logged times and report on them at a moment of its choice.
//
// The file holds the local date-time as a day count and the bias in minutes
// ("42141.420196 0"), written by the test before each request. Only the
// test's web server sets the variable (setenv for that server); the shipped
// programs have no such seam, so no request can move their clock.
#pragma once

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/testing/fixed_sources.h"

namespace tlvx::test {

inline constexpr const char* kClockFileVariable = "TLVX_CLOCK_FILE";

inline void WriteClockFile(const std::string& path, double now, int32_t biasMinutes) {
    std::ofstream out(path, std::ios::trunc);
    out.precision(17);
    out << now << ' ' << biasMinutes << '\n';
    if (!out) throw std::runtime_error("cannot write " + path);
}

// Installs the clock of the file the environment names, if it names one;
// the clock lives as long as the process.
inline void InstallClockFromEnvironment() {
    const char* path = std::getenv(kClockFileVariable);
    if (!path || !*path) return;
    std::ifstream in(path);
    double now = 0;
    int32_t bias = 0;
    if (!(in >> now >> bias)) throw std::runtime_error(std::string("unreadable clock file ") + path);
    static TSettableClock clock(now, bias);
    SetClock(&clock);
}

}  // namespace tlvx::test
