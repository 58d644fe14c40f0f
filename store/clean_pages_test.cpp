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
    constexpr uint64_t n = TCleanPages::kSlots;
    TCleanPages cache;
    EXPECT_EQ(cache.Find(0), nullptr);
    for (uint64_t i = 0; i < n; ++i) Fill(cache, i);
    ASSERT_NE(cache.Find(0), nullptr);  // page 0 is now the most recent
    Fill(cache, 100);                   // evicts page 1, the least recent
    EXPECT_EQ(cache.Find(1), nullptr);
    ASSERT_NE(cache.Find(0), nullptr);
    EXPECT_EQ(cache.Find(0)[4095], 0);
    ASSERT_NE(cache.Find(100), nullptr);
    EXPECT_EQ(cache.Find(100)[0], 100);
    ASSERT_NE(cache.Find(n - 1), nullptr);
    EXPECT_EQ(cache.Find(n - 1)[7], uint8_t(n - 1));

    // Taking a page that is there reuses its slot: no other page goes.
    Fill(cache, n - 1);
    for (uint64_t i : {uint64_t{0}, uint64_t{2}, n - 2, uint64_t{100}})
        EXPECT_NE(cache.Find(i), nullptr) << i;

    cache.Drop(2);
    EXPECT_EQ(cache.Find(2), nullptr);
    cache.DropFrom(n - 2);
    EXPECT_EQ(cache.Find(n - 2), nullptr);
    EXPECT_EQ(cache.Find(100), nullptr);
    EXPECT_NE(cache.Find(n - 3), nullptr);
    cache.Clear();
    EXPECT_EQ(cache.Find(0), nullptr);
}

}  // namespace
}  // namespace tlvx
