#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>

#include "model/cobject.h"

namespace tlvx {
namespace {

constexpr TListOrder kEveryOrder[] = {TListOrder::Text,     TListOrder::Hits, TListOrder::Visits,
                                      TListOrder::Visitors, TListOrder::Time, TListOrder::HitsAscending};

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

TEST(CObjectTest, CompareUnderEachOrder) {
    const TCObjectList l = Sample();
    EXPECT_EQ(CompareCObjects(l[1], l[0], TListOrder::Text), -1);  // "B" < "b": ordinal, case-sensitive
    EXPECT_EQ(CompareCObjects(l[3], l[0], TListOrder::Text), 1);   // 0xE0 sorts after ASCII
    EXPECT_EQ(CompareCObjects(l[0], l[0], TListOrder::Text), 0);
    EXPECT_EQ(CompareCObjects(l[1], l[0], TListOrder::Hits), -1);  // more hits first
    EXPECT_EQ(CompareCObjects(l[0], l[2], TListOrder::Hits), 0);   // equal hits
    EXPECT_EQ(CompareCObjects(l[1], l[0], TListOrder::HitsAscending), 1);
    EXPECT_EQ(CompareCObjects(l[3], l[0], TListOrder::Visits), -1);
    EXPECT_EQ(CompareCObjects(l[0], l[1], TListOrder::Visitors), -1);
    EXPECT_EQ(CompareCObjects(l[0], l[2], TListOrder::Time), -1);
    EXPECT_EQ(CompareCObjects(l[3], l[1], TListOrder::Time), 1);
}

TEST(CObjectTest, SortIsStableAndDescending) {
    TCObjectList l = Sample();
    SortCObjects(l, TListOrder::Hits);
    EXPECT_EQ(Texts(l), (std::vector<std::string>{"B", "b", "a", "\xE0"}));
    SortCObjects(l, TListOrder::Text);
    EXPECT_EQ(Texts(l), (std::vector<std::string>{"B", "a", "b", "\xE0"}));
}

// Random lists with few distinct keys, so that ties are common and the order
// of equal lines shows, and some NaN times, against a reference: a key per
// order, the position breaking ties.
TEST(CObjectTest, EveryOrderAgainstAReferenceOrderOfRandomLists) {
    std::mt19937 random(7);
    for (TListOrder order : kEveryOrder) {
        for (int round = 0; round < 50; ++round) {
            TCObjectList list;
            const size_t size = random() % 40;
            for (size_t i = 0; i < size; ++i) {
                const double time = random() % 5 == 0 ? NAN : double(random() % 5) - 1;
                list.push_back({std::string(1, "ab\xC0z"[random() % 4]) + std::to_string(i),
                                TCObject(int32_t(random() % 5) - 1, int32_t(random() % 5), int32_t(random() % 5),
                                         time)});
            }
            std::vector<std::tuple<double, std::vector<unsigned char>, size_t>> keyed;
            for (size_t i = 0; i < list.size(); ++i) {
                const TCObject& o = list[i].Object;
                double key = 0;
                std::vector<unsigned char> text;
                switch (order) {
                    // As unsigned bytes: 0xC0 after every ASCII letter.
                    case TListOrder::Text: text.assign(list[i].Text.begin(), list[i].Text.end()); break;
                    case TListOrder::Hits: key = -o.Hits; break;
                    case TListOrder::Visits: key = -o.Visits; break;
                    case TListOrder::Visitors: key = -o.Visitors; break;
                    // NaN ranks as the earliest time: after every other.
                    case TListOrder::Time: key = std::isnan(o.Time) ? INFINITY : -o.Time; break;
                    case TListOrder::HitsAscending: key = o.Hits; break;
                }
                keyed.emplace_back(key, text, i);
            }
            std::sort(keyed.begin(), keyed.end());
            std::vector<std::string> expected;
            for (const auto& [key, text, i] : keyed) expected.push_back(list[i].Text);
            SortCObjects(list, order);
            ASSERT_EQ(expected, Texts(list)) << "order " << int(order);
        }
    }
}

}  // namespace
}  // namespace tlvx
