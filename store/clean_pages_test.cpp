#include "store/clean_pages.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tlvx {
namespace {

uint8_t* Fill(TCleanPages& cache, uint64_t index) {
    uint8_t* page = cache.Take(index);
    std::memset(page, int(index & 0xFF), TCleanPages::kPageSize);
    return page;
}

TEST(CleanPages, KeepsTheMostRecentlyUsedPagesAndForgetsOnRequest) {
    TCleanPages cache;
    EXPECT_EQ(cache.Find(0), nullptr);
    for (uint64_t i = 0; i < TCleanPages::kSlots; ++i) Fill(cache, i);
    ASSERT_NE(cache.Find(0), nullptr);  // page 0 is now the most recent
    Fill(cache, 100);                   // evicts page 1, the least recent
    EXPECT_EQ(cache.Find(1), nullptr);
    ASSERT_NE(cache.Find(0), nullptr);
    EXPECT_EQ(cache.Find(0)[4095], 0);
    ASSERT_NE(cache.Find(100), nullptr);
    EXPECT_EQ(cache.Find(100)[0], 100);
    EXPECT_EQ(cache.Find(31)[7], 31);

    // Taking a page that is there reuses its slot: no other page goes.
    Fill(cache, 31);
    for (uint64_t i : {0ull, 2ull, 30ull, 100ull}) EXPECT_NE(cache.Find(i), nullptr) << i;

    cache.Drop(2);
    EXPECT_EQ(cache.Find(2), nullptr);
    cache.DropFrom(30);
    EXPECT_EQ(cache.Find(30), nullptr);
    EXPECT_EQ(cache.Find(100), nullptr);
    EXPECT_NE(cache.Find(29), nullptr);
    cache.Clear();
    EXPECT_EQ(cache.Find(0), nullptr);
}

}  // namespace
}  // namespace tlvx
