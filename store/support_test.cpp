#include <gtest/gtest.h>

#include <random>
#include <set>
#include <thread>

#include "platform/ref.h"
#include "store/binary_tree.h"
#include "store/crc32.h"
#include "store/keyed_array.h"
#include "store/read_write_lock.h"

namespace tlvx {
namespace {

TEST(Crc32, UninvertedCheckValues) {
    EXPECT_EQ(Crc32("123456789", 9), 0x2DFD2D88u);
    EXPECT_EQ(Crc32("abc", 3), 0xCA6598D0u);
    const uint8_t zeros[12] = {};
    EXPECT_EQ(Crc32(zeros, sizeof zeros), 0u);
    uint32_t crc = 0x12345678;
    UpdateCrc32(crc, "x", 0);
    EXPECT_EQ(crc, 0x12345678u);
    // Chained updates equal one pass.
    crc = 0;
    UpdateCrc32(crc, "1234", 4);
    UpdateCrc32(crc, "56789", 5);
    EXPECT_EQ(crc, 0x2DFD2D88u);
}

struct TIntNode : TTreeNode<TIntNode> {
    using Key = int;
    explicit TIntNode(int k) : key(k) {}
    void CopyFrom(const TIntNode& o) { key = o.key; }
    int Compare(int k) const { return key < k ? -1 : key > k ? 1 : 0; }
    int key;
};

// Checks ordering and, when balanced, the AVL invariant; returns the height.
int CheckSubtree(const TIntNode* n, bool balanced, const int* lo, const int* hi) {
    if (!n) return 0;
    if (lo) {
        EXPECT_GT(n->key, *lo);
    }
    if (hi) {
        EXPECT_LT(n->key, *hi);
    }
    int l = CheckSubtree(n->left, balanced, lo, &n->key);
    int r = CheckSubtree(n->right, balanced, &n->key, hi);
    if (balanced) {
        EXPECT_EQ(n->balance, r - l);
        EXPECT_LE(std::abs(r - l), 1);
    }
    return 1 + std::max(l, r);
}

void RandomTreeAgainstSet(bool balanced, uint32_t seed) {
    std::mt19937 rng(seed);
    TBinaryTree<TIntNode> tree(balanced);
    std::set<int> model;
    for (int step = 0; step < 4000; ++step) {
        int key = static_cast<int>(rng() % 500);
        if (rng() % 3 != 0) {
            bool fresh = !model.count(key);
            int before = tree.Count();
            TIntNode* n = tree.Insert(key);
            ASSERT_EQ(n->key, key);
            EXPECT_EQ(tree.Count(), before + (fresh ? 1 : 0));
            model.insert(key);
        } else {
            tree.Delete(key);
            model.erase(key);
        }
        if (step % 97 == 0) CheckSubtree(tree.Root(), balanced, nullptr, nullptr);
        ASSERT_EQ(tree.Count(), static_cast<int32_t>(model.size()));
        int probe = static_cast<int>(rng() % 520) - 10;
        TIntNode *pred = nullptr, *succ = nullptr;
        TIntNode* eq = tree.FindNearest(probe, &pred, &succ);
        auto it = model.lower_bound(probe);
        bool present = it != model.end() && *it == probe;
        ASSERT_EQ(eq != nullptr, present);
        auto after = present ? std::next(it) : it;
        ASSERT_EQ(succ ? succ->key : -999, after == model.end() ? -999 : *after);
        ASSERT_EQ(pred ? pred->key : -999, it == model.begin() ? -999 : *std::prev(it));
        ASSERT_EQ(tree.Find(probe) != nullptr, present);
    }
    CheckSubtree(tree.Root(), balanced, nullptr, nullptr);
    std::vector<TIntNode*> nodes;
    tree.CollectNodes(nodes);
    EXPECT_EQ(nodes.size(), model.size());
    if (!model.empty()) {
        EXPECT_EQ(tree.First()->key, *model.begin());
        EXPECT_EQ(tree.Last()->key, *model.rbegin());
    }
}

TEST(BinaryTree, BalancedMatchesStdSet) { RandomTreeAgainstSet(true, 1); }
TEST(BinaryTree, UnbalancedMatchesStdSet) { RandomTreeAgainstSet(false, 2); }

TEST(BinaryTree, EdgeCasesAndDegenerateInserts) {
    TBinaryTree<TIntNode> empty;
    TIntNode *pred = reinterpret_cast<TIntNode*>(1), *succ = pred;
    EXPECT_EQ(empty.FindNearest(5, &pred, &succ), nullptr);
    EXPECT_EQ(pred, nullptr);
    EXPECT_EQ(succ, nullptr);
    empty.Delete(5);
    EXPECT_EQ(empty.Count(), 0);

    // Sorted inserts stay shallow when balanced and do not recurse deeply
    // when unbalanced.
    TBinaryTree<TIntNode> balanced(true), list(false);
    for (int i = 0; i < 100000; ++i) balanced.Insert(i);
    for (int i = 0; i < 4000; ++i) list.Insert(i);
    EXPECT_LE(CheckSubtree(balanced.Root(), true, nullptr, nullptr), 18);
    EXPECT_EQ(list.FindNearest(-1, &pred, &succ), nullptr);
    EXPECT_EQ(pred, nullptr);
    EXPECT_EQ(succ->key, 0);
    for (int i = 0; i < 4000; i += 2) list.Delete(i);
    EXPECT_EQ(list.Count(), 2000);
}

TEST(KeyedArrays, BinAccessorKeepsUnsignedOrder) {
    TBinAccessor<THandledObject> a;
    a.FindOrAdd(5)->value = 50;
    a.FindOrAdd(-1)->value = 99;  // 0xFFFFFFFF sorts last
    a.FindOrAdd(1)->value = 10;
    EXPECT_EQ(a.FindOrAdd(5)->value, 50u);
    ASSERT_EQ(a.Count(), 3);
    EXPECT_EQ(a.Get(0)->Index(), 1);
    EXPECT_EQ(a.Get(2)->Index(), -1);
    int32_t pos = -1;
    EXPECT_EQ(a.Find(3, &pos), nullptr);
    EXPECT_EQ(pos, 1);
    EXPECT_THROW(a.Get(3), EInvalidIndex);
    EXPECT_THROW(a.Delete(3), EInvalidIndex);
    a.Remove(a.Find(5));
    EXPECT_EQ(a.Count(), 2);
}

TEST(KeyedArrays, DivAccessorWalksBucketByBucket) {
    TDivAtomAccessor<uint32_t> m(6);
    m.Set(7, 0);  // absent: nothing
    EXPECT_EQ(m.Count(), 0);
    EXPECT_EQ(m.Get(7), 0u);
    const uint32_t handles[] = {1, 65, 2, 129, 64, 3};
    for (uint32_t h : handles) m.Set(h, h + 1000);
    // Buckets by h & 63: 0 -> {64}; 1 -> {1, 65, 129}; 2 -> {2}; 3 -> {3}.
    std::vector<uint32_t> forward;
    auto f = m.Forward();
    for (uint32_t v = f.Reset(); v; v = f.Next()) forward.push_back(v - 1000);
    EXPECT_EQ(forward, (std::vector<uint32_t>{64, 1, 65, 129, 2, 3}));
    EXPECT_EQ(m.Item(1), 1001u);
    EXPECT_EQ(m.Item(6), 0u);
    // Removing the value just returned does not disturb a backward walk.
    std::vector<uint32_t> backward;
    auto b = m.Backward();
    for (uint32_t v = b.Reset(); v; v = b.Next()) {
        backward.push_back(v - 1000);
        m.Set(v - 1000, 0);
    }
    EXPECT_EQ(backward, (std::vector<uint32_t>{3, 2, 129, 65, 1, 64}));
    EXPECT_EQ(m.Count(), 0);
}

TEST(ReadWriteLock, WriterReentersAndReadsWhileWriting) {
    TReadWriteLock lock;
    lock.BeginWrite();
    lock.BeginWrite();
    lock.BeginRead();
    lock.BeginWrite();  // after its own read: still no self-deadlock
    lock.EndWrite();
    lock.EndRead();
    lock.EndWrite();
    lock.EndWrite();
    lock.BeginRead();
    lock.BeginRead();
    EXPECT_EQ(lock.ReaderCount(), 2);
    EXPECT_THROW(lock.BeginWrite(), EAssertionFailed);  // upgrade refused
    lock.EndRead();
    lock.EndRead();
    lock.BeginWrite();
    lock.EndWrite();
}

TEST(ReadWriteLock, WritersExcludeEachOtherAcrossThreads) {
    TReadWriteLock lock;
    int64_t counter = 0;
    int64_t seenOdd = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                {
                    TWriteLockGuard w(lock);
                    ++counter;
                    ++counter;
                }
                TReadLockGuard r(lock);
                if (counter % 2) ++seenOdd;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 16000);
    EXPECT_EQ(seenOdd, 0);
}

class TProbe : public virtual RefCounted {
public:
    explicit TProbe(int* alive) : alive_(alive) {
        ++*alive_;
        Ref<TProbe> self(this);  // handed out and dropped during construction
    }
    ~TProbe() override { --*alive_; }
    bool initialized = false;

protected:
    void Initialize() override { initialized = true; }

private:
    int* alive_;
};

TEST(Unknown, ConstructionHoldAndInitializeHook) {
    int alive = 0;
    {
        Ref<TProbe> p = MakeRef<TProbe>(&alive);
        EXPECT_EQ(alive, 1);
        EXPECT_TRUE(p->initialized);
        EXPECT_EQ(p->RefCount(), 1);
    }
    EXPECT_EQ(alive, 0);
}

}  // namespace
}  // namespace tlvx
