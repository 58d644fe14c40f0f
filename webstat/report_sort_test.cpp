// The order of the report lists under every sort mode, against a plain
// reference order.
#include "webstat/report_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>

namespace tlvx {
namespace {

std::vector<std::string> Texts(const TCObjectList& list) {
    std::vector<std::string> texts;
    for (const TCObjectLine& line : list) texts.push_back(line.Text);
    return texts;
}

TEST(ReportSort, EveryModeAgainstAReferenceOrderOfRandomLists) {
    std::mt19937 random(7);
    for (int32_t mode = -1; mode <= 6; ++mode) {
        for (int round = 0; round < 50; ++round) {
            TCObjectList list;
            const size_t size = random() % 40;
            // Few distinct keys, so that ties are common and the order of
            // equal lines shows.
            for (size_t i = 0; i < size; ++i)
                list.push_back({std::string(1, char("ab\xC0z"[random() % 4])) + std::to_string(i),
                                TCObject(int32_t(random() % 5) - 1, int32_t(random() % 5), int32_t(random() % 5))});
            // The reference: a key per mode, the position breaking ties.
            std::vector<std::tuple<int64_t, std::vector<unsigned char>, size_t>> keyed;
            for (size_t i = 0; i < list.size(); ++i) {
                const TCObject& o = list[i].Object;
                int64_t key = 0;
                std::vector<unsigned char> text;
                switch (mode) {
                    case rsmText: {
                        // As unsigned bytes: 0xC0 after every ASCII letter.
                        for (unsigned char c : list[i].Text) text.push_back(c);
                        break;
                    }
                    case rsmCount:
                    case rsmHits: key = -o.Hits; break;
                    case rsmVisitors: key = -o.Visitors; break;
                    case rsmHitsAscending: key = o.Hits; break;
                    case rsmVisits: key = -o.Visits; break;
                    default: break;
                }
                keyed.emplace_back(key, text, i);
            }
            std::sort(keyed.begin(), keyed.end());
            std::vector<std::string> expected;
            for (const auto& [key, text, i] : keyed) expected.push_back(list[i].Text);
            SortReportItems(list, mode);
            ASSERT_EQ(expected, Texts(list)) << "mode " << mode;
        }
    }
}

TEST(ReportSort, ComparisonIsASignAndSymmetric) {
    const TCObjectLine a{"a", TCObject(1, 2, 3)}, b{"b", TCObject(2, 1, 3)};
    EXPECT_LT(CompareReportItems(a, b, rsmText), 0);
    EXPECT_GT(CompareReportItems(a, b, rsmHits), 0);
    EXPECT_LT(CompareReportItems(a, b, rsmHitsAscending), 0);
    EXPECT_LT(CompareReportItems(a, b, rsmVisits), 0);
    EXPECT_EQ(0, CompareReportItems(a, b, rsmVisitors));
    EXPECT_EQ(0, CompareReportItems(a, b, 99));
    EXPECT_EQ(0, CompareReportItems(a, a, rsmText));
}

}  // namespace
}  // namespace tlvx
