// Damaged files that the fuzz targets under fuzz/ found or aimed at: each
// must give a clear error, never a hang, a crash or an unbounded allocation.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "store/btree_factory.h"
#include "store/btree_index.h"
#include "store/errors.h"
#include "store/testing/memory_volumes.h"

namespace tlvx {
namespace {

constexpr uint32_t kPage = 4;

std::string Key(int i) { return "key" + std::to_string(1000 + i); }

// A committed index of 60 keys (three levels at PageSize 4) in the root
// atom's link 0, whose leftmost leaf is then made its own first child.
void IndexWithLeafCycle(test::TMemoryVolumes& volumes) {
    auto storage = volumes.Create();
    auto tr = storage->StartTransaction();
    {
        auto root = tr->OpenRootAtom();
        auto index = IndexFactory()->OpenOrCreateIndex(root, 0, "", "PageSize=4");
        for (int i = 0; i < 60; ++i) index->Insert(Key(i));
    }
    {
        auto node = tr->OpenRootAtom()->OpenLink(0)->OpenLink(0);
        int depth = 0;
        while (auto child = node->OpenLink(int32_t(kPage))) {
            node = child;
            ++depth;
        }
        EXPECT_GE(depth, 2);
        node->SetLink(int32_t(kPage), node);  // the leaf's child 0 is the leaf
    }
    tr->Commit();
}

bool RefusedAsDamage(const std::function<void()>& f) {
    try {
        f();
    } catch (const EAssertionFailed&) {
        return true;
    }
    return false;
}

TEST(BTreeDamage, ANodeThatIsItsOwnDescendantEndsEveryDescent) {
    test::TMemoryVolumes volumes;
    IndexWithLeafCycle(volumes);
    for (bool readOnly : {true, false}) {
        SCOPED_TRACE(readOnly ? "read-only" : "writable");
        auto storage = volumes.Open(readOnly);
        Ref<IStorageTransaction> tr;
        Ref<IVirtualAtom> root;
        if (readOnly) {
            root = storage->OpenRootAtom();
        } else {
            tr = storage->StartTransaction();
            root = tr->OpenRootAtom();
        }
        auto index = IndexFactory()->OpenIndex(root->OpenLink(0), "", "");
        Ref<IIndexerCursor> cursor;
        EXPECT_TRUE(RefusedAsDamage([&] { index->GetCursor(cursor); }));
        // Keys before the first one lead into the leaf's child 0.
        EXPECT_TRUE(RefusedAsDamage([&] { index->Contains(""); }));
        Ref<IVirtualAtom> value;
        EXPECT_TRUE(RefusedAsDamage([&] { index->Find("a", value); }));
        ASSERT_FALSE(RefusedAsDamage([&] { index->FindCursor(Key(59), cursor); }));
        ASSERT_TRUE(cursor);
        EXPECT_TRUE(RefusedAsDamage([&] { cursor->First(); }));
        EXPECT_TRUE(RefusedAsDamage([&] { cursor->GetKeyCount(); }));
        EXPECT_TRUE(RefusedAsDamage([&] { cursor->Seek("", smGreaterOrEqual); }));
        EXPECT_TRUE(RefusedAsDamage([&] { cursor->Seek("a", smLessOrEqual); }));
        EXPECT_TRUE(RefusedAsDamage([&] {
            for (int i = 0; i < 100 && cursor->Prior();) ++i;
        }));
        std::vector<std::string> lines;
        EXPECT_TRUE(RefusedAsDamage([&] { RefCast<IBTreeDump>(index)->DumpTree(lines); }));
        cursor.reset();
        if (!readOnly) {
            EXPECT_ANY_THROW(index->Delete(Key(0)));
            EXPECT_ANY_THROW(index->Insert(""));
        }
    }
}

// Found by fuzz/btree_ops_fuzzer: a node's atom is only as long as the
// pairs in use, so an empty key appended to a fresh node sits at an offset
// past the atom's end; reading the node back must not take that as damage.
TEST(BTreeReopen, EmptyKeysInFreshNodesReadBack) {
    for (uint32_t page : {4u, 10u}) {
        test::TMemoryVolumes volumes;
        auto storage = volumes.Create();
        const std::string params = "PageSize=" + std::to_string(page);
        {
            auto tr = storage->StartTransaction();
            IndexFactory()->OpenOrCreateIndex(tr->OpenRootAtom(), 0, "", params)->Insert("")->SetAsString("e");
            tr->Commit();
        }
        storage.reset();
        storage = volumes.Open(true);
        auto index = IndexFactory()->OpenIndex(storage->OpenRootAtom()->OpenLink(0), "", "");
        Ref<IVirtualAtom> value;
        ASSERT_TRUE(index->Find("", value));
        EXPECT_EQ(value->GetAsString(), "e");
        Ref<IIndexerCursor> cursor;
        ASSERT_TRUE(index->GetCursor(cursor));
        EXPECT_EQ(cursor->GetKey(), "");
        EXPECT_EQ(cursor->GetKeyCount(), 1);
    }
}

}  // namespace
}  // namespace tlvx
