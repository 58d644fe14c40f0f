#include "model/counter_settings.h"

#include <gtest/gtest.h>

#include <vector>

namespace tlvx {
namespace {

TEST(CounterSettings, FieldsAtTheirOffsetsAndShortRecordsReadAsZeros) {
    TCounterSettings s;
    s.TotalVisits = -2;
    s.TotalHits = 0x01020304;
    s.TotalVisitors = 7;
    s.DefaultInterval = 30;
    s.CanAddNode = 0;
    s.StartTime = 46000.5;
    s.Unused25 = 0x0A0B0C0D;
    s.Unused29 = 0x29;
    s.Unused30 = 0x30;
    s.Unused31[0] = 0x31;
    s.Unused31[15] = 0x46;
    s.CreationTime = -1.25;
    s.Unused55 = 0x55;
    uint8_t b[TCounterSettings::kSize];
    s.ToBytes(b);
    const std::vector<uint8_t> head = {0xFE, 0xFF, 0xFF, 0xFF, 4, 3, 2, 1, 7, 0, 0, 0, 30, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(b, b + 17), head);
    // 46000.5 = 0x40E6762000000000, stored low byte first at 17.
    EXPECT_EQ(b[17], 0x00);
    EXPECT_EQ(b[24], 0x40);
    EXPECT_EQ(b[23], 0xE6);
    EXPECT_EQ(b[25], 0x0D);
    EXPECT_EQ(b[29], 0x29);
    EXPECT_EQ(b[30], 0x30);
    EXPECT_EQ(b[31], 0x31);
    EXPECT_EQ(b[46], 0x46);
    EXPECT_EQ(b[54], 0xBF);  // -1.25 = 0xBFF4000000000000
    EXPECT_EQ(b[55], 0x55);
    EXPECT_EQ(TCounterSettings::FromBytes(b, sizeof b), s);

    TCounterSettings cut = TCounterSettings::FromBytes(b, 12);
    EXPECT_EQ(cut.TotalVisitors, 7);
    EXPECT_EQ(cut.DefaultInterval, 0);
    EXPECT_EQ(cut.CanAddNode, 0);
    EXPECT_EQ(cut.Unused55, 0);
    EXPECT_EQ(TCounterSettings::FromBytes(nullptr, 0), TCounterSettings::FromBytes(b, 0));
}

}  // namespace
}  // namespace tlvx
