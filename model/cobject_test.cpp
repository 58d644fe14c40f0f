#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "model/cobject.h"

namespace tlvx {
namespace {

TCObjectList Sample() {
    return {
        {"b", {5, 1, 9, 3.0}},
        {"B", {7, 2, 8, 1.0}},
        {"a", {5, 3, 7, 2.0}},
        {"\xE0", {1, 4, 6}},
    };
}

std::vector<std::string> Texts(const TCObjectList& l) {
    std::vector<std::string> r;
    for (const auto& line : l) r.push_back(line.Text);
    return r;
}

TEST(CObjectTest, Constructors) {
    TCObject a(1, 2, 3);
    EXPECT_EQ(a.Time, 0);
    TCObject b(1, 2, 3, 4.5);
    EXPECT_EQ(b.Hits, 1);
    EXPECT_EQ(b.Visits, 2);
    EXPECT_EQ(b.Visitors, 3);
    EXPECT_EQ(b.Time, 4.5);
}

TEST(CObjectTest, CompareUnderEachMode) {
    TCObjectList l = Sample();
    CObjectSortMode = 1;
    EXPECT_EQ(CompareCObjects(l, 1, 0), -1);  // "B" < "b": ordinal, case-sensitive
    EXPECT_EQ(CompareCObjects(l, 3, 0), 1);   // 0xE0 sorts after ASCII
    EXPECT_EQ(CompareCObjects(l, 0, 0), 0);
    CObjectSortMode = 2;
    EXPECT_EQ(CompareCObjects(l, 1, 0), -1);  // more hits first
    EXPECT_EQ(CompareCObjects(l, 0, 2), 0);   // equal hits
    CObjectSortMode = 3;
    EXPECT_EQ(CompareCObjects(l, 3, 0), -1);
    CObjectSortMode = 4;
    EXPECT_EQ(CompareCObjects(l, 0, 1), -1);
    CObjectSortMode = 5;
    EXPECT_EQ(CompareCObjects(l, 0, 2), -1);
    EXPECT_EQ(CompareCObjects(l, 3, 1), 1);
    EXPECT_THROW(CompareCObjects(l, 0, 4), std::out_of_range);
}

TEST(CObjectTest, ModeOutsideRangeFallsBackToTextGlobally) {
    TCObjectList l = Sample();
    for (int32_t bad : {0, 6, -1}) {
        CObjectSortMode = bad;
        EXPECT_EQ(CompareCObjects(l, 1, 0), -1);
        EXPECT_EQ(CObjectSortMode, 1);
    }
}

TEST(CObjectTest, SortIsStableAndDescending) {
    TCObjectList l = Sample();
    CObjectSortMode = 2;
    SortCObjects(l);
    EXPECT_EQ(Texts(l), (std::vector<std::string>{"B", "b", "a", "\xE0"}));
    CObjectSortMode = 1;
    SortCObjects(l);
    EXPECT_EQ(Texts(l), (std::vector<std::string>{"B", "a", "b", "\xE0"}));
    CObjectSortMode = 9;
    SortCObjects(l);
    EXPECT_EQ(CObjectSortMode, 1);
}

TEST(CObjectTest, RandomListsSortAsTheComparisonSays) {
    std::mt19937 rng(7);
    for (int32_t mode = 1; mode <= 5; ++mode) {
        TCObjectList l;
        for (int i = 0; i < 300; ++i) {
            double t = rng() % 10 == 0 ? NAN : double(rng() % 20);
            l.push_back({std::string(1, char('a' + rng() % 26)),
                         {int32_t(rng() % 10), int32_t(rng() % 10), int32_t(rng() % 10), t}});
        }
        CObjectSortMode = mode;
        SortCObjects(l);
        for (size_t i = 0; i + 1 < l.size(); ++i)
            ASSERT_LE(CompareCObjects(l, i, i + 1), 0) << "mode " << mode << " at " << i;
    }
    CObjectSortMode = 1;
}

}  // namespace
}  // namespace tlvx
