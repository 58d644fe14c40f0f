#include "store/hole_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace tlvx {
namespace {

// The plain model: every hole in one vector, searched by brute force.
struct TModelHole {
    uint64_t position;
    uint32_t size;
    uint64_t order;
};

const TModelHole* ModelBestFit(const std::vector<TModelHole>& holes, uint32_t size) {
    const TModelHole* best = nullptr;
    for (const TModelHole& h : holes)
        if (h.size >= size && (!best || h.size < best->size || (h.size == best->size && h.order < best->order)))
            best = &h;
    return best;
}

// Loaded holes, changed, erased and added in random order, answer every
// query as the plain model does: best fit with the oldest first among equal
// sizes (a changed hole becomes the newest), neighbours and overlaps.
TEST(HoleList, RandomOperationsAfterALoadMatchAPlainModel) {
    std::mt19937_64 rng(7);
    for (int round = 0; round < 20; ++round) {
        std::vector<TModelHole> model;
        std::vector<THole> loaded;
        // Odd rounds use sizes of several radix digits.
        const uint32_t scale = round % 2 ? 4099 : 1;
        uint64_t position = 128;
        const int count = int(rng() % 300);
        std::vector<uint64_t> orders(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) orders[size_t(i)] = uint64_t(i) * 3 + rng() % 3;
        std::shuffle(orders.begin(), orders.end(), rng);
        for (int i = 0; i < count; ++i) {
            position += 16 * (1 + rng() % 4);
            const uint32_t size = uint32_t(16 * (1 + rng() % 6) * scale + rng() % 3);
            loaded.push_back({position, size, i, orders[size_t(i)]});
            model.push_back({position, size, orders[size_t(i)]});
            position += size;
        }
        THoleList list;
        list.Load(loaded);
        uint64_t next = 0;
        for (const TModelHole& h : model) next = std::max(next, h.order + 1);
        auto find = [&](uint64_t at) -> THole* {
            THole *before = nullptr, *after = nullptr;
            if (at < 16) return nullptr;
            list.FindAdjacent(1, at - 1, &before, &after);  // the hole starting at at, if 1 byte before is free
            (void)before;
            return after;
        };
        for (int step = 0; step < 400; ++step) {
            ASSERT_EQ(list.Count(), int32_t(model.size()));
            const uint32_t want = uint32_t(1 + rng() % (110 * scale));
            const TModelHole* m = ModelBestFit(model, want);
            THole* got = list.BestFit(want);
            ASSERT_EQ(m == nullptr, got == nullptr);
            if (m) {
                ASSERT_EQ(got->position, m->position) << "round " << round << " step " << step;
                ASSERT_EQ(got->size, m->size);
            }
            const int op = int(rng() % 4);
            if (op == 0 && m) {  // take the front of the best fit, as an allocation does
                const uint32_t n = std::min(want, got->size);
                auto it = std::find_if(model.begin(), model.end(),
                                       [&](const TModelHole& h) { return h.position == got->position; });
                if (n == got->size) {
                    list.Erase(got);
                    model.erase(it);
                } else {
                    list.Remove(got);
                    got->position += n;
                    got->size -= n;
                    list.Add(got);
                    it->position += n;
                    it->size -= n;
                    it->order = next++;
                }
            } else if (op == 1 && !model.empty()) {  // grow a hole at its back into free space
                TModelHole& h = model[rng() % model.size()];
                THole* hole = find(h.position);
                ASSERT_TRUE(hole != nullptr);
                const TModelHole* after = nullptr;
                for (const TModelHole& o : model)
                    if (o.position > h.position && (!after || o.position < after->position)) after = &o;
                const uint64_t room = after ? after->position - (h.position + h.size) : 64;
                if (room > 1) {
                    list.Remove(hole);
                    hole->size += uint32_t(room - 1);
                    list.Add(hole);
                    h.size += uint32_t(room - 1);
                    h.order = next++;
                }
            } else if (op == 2) {  // a new hole past the end
                uint64_t end = 128;
                for (const TModelHole& h : model) end = std::max(end, h.position + h.size);
                const uint64_t at = end + 16 * (1 + rng() % 3);
                const uint32_t size = uint32_t(16 * (1 + rng() % 6));
                list.Add(new THole{at, size, -1, 0});
                model.push_back({at, size, next++});
            } else if (!model.empty()) {  // probe around a hole
                const TModelHole& h = model[rng() % model.size()];
                EXPECT_TRUE(list.Overlaps(h.position + h.size - 1, 1));
                EXPECT_TRUE(list.Overlaps(h.position - 1, 2));
                bool free = true;
                for (const TModelHole& o : model) free = free && (o.position > h.position - 1 || o.position + o.size <= h.position - 1);
                EXPECT_EQ(list.Overlaps(h.position - 1, 1), !free);
            }
        }
        std::vector<uint64_t> positions;
        list.ForEach([&](const THole& h) { positions.push_back(h.position); });
        std::vector<uint64_t> expected;
        for (const TModelHole& h : model) expected.push_back(h.position);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(positions, expected);
    }
}

}  // namespace
}  // namespace tlvx
