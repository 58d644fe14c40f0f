// tlvx_demo_history PATH: a counter database with 40 days of synthetic
// history ending now, made through the counter's hit road with the clock set
// to each hit's time, so that every report page has something to show.
// scripts/serve uses it for its second demo counter.
#include <filesystem>
#include <iostream>

#include "platform/clock.h"
#include "webstat/testing/report_fixtures.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tlvx_demo_history PATH\n";
        return 2;
    }
    if (std::filesystem::exists(argv[1])) {
        std::cerr << "error: " << argv[1] << " exists already\n";
        return 1;
    }
    try {
        const double now = tlvx::Clock().Now();
        tlvx::test::BuildFixtureDatabase(tlvx::test::TReportFixture::FortyDays, argv[1], now, false);
    } catch (const std::exception& e) {
        std::cerr << "error: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
