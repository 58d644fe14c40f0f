// The B-tree index over a real storage file against std::map: the file's
// collector frees every atom whose last link goes, so a node or value moved
// in the wrong order, or one left behind, shows up here as a lost value, a
// broken link or a leaked atom after commit and reopen.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/testing/temp_dir.h"
#include "store/btree_factory.h"
#include "store/btree_index.h"
#include "store/errors.h"
#include "store/orv_storage.h"
#include "store/storage_factory.h"
#include "store/storage_registry.h"

namespace tlvx {
namespace {

using TModel = std::map<std::string, std::string>;

const char* const kClass = "class={6A1B2C3D-0000-4000-8000-0000000B7EE0}";

uint32_t NumberOf(const Ref<IVirtualAtom>& atom) { return RefCast<IAtomIdentity>(atom)->GetID().AtomNumber; }

// Keys of 0-6 bytes from a small alphabet: prefixes are shared, the empty
// key and bytes at and above 0x80 occur.
std::string RandomKey(std::mt19937& rng) {
    static const unsigned char alphabet[] = {0x00, 0x01, 'k', 'q', 0x7F, 0x80, 0xA5, 0xFF};
    std::string key(size_t(rng() % 7), '\0');
    for (char& c : key) c = char(alphabet[rng() % sizeof alphabet]);
    return key;
}

// Any bytes: most of these are absent.
std::string AnyKey(std::mt19937& rng) {
    std::string key(size_t(rng() % 7), '\0');
    for (char& c : key) c = char(rng() % 256);
    return key;
}

// The storage file with the index in link 0 of the root atom. Writable
// sessions work in one transaction; a read-only one works outside any.
class TFileIndex {
public:
    TFileIndex(std::string path, uint32_t pageSize) : path_(std::move(path)), pageSize_(pageSize) {}
    ~TFileIndex() { Close(); }

    void OpenWritable(const char* mode) {
        storage_ = StorageFactory().OpenStorage(0, 0, "file://" + path_, "", std::string("mode=") + mode + "; " + kClass);
        tr_ = storage_->StartTransaction();
        index_ = IndexFactory()->OpenOrCreateIndex(tr_->OpenRootAtom(), 0, "", "PageSize=" + std::to_string(pageSize_));
    }
    void OpenReadOnly() {
        storage_ = StorageFactory().OpenStorage(0, 0, "file://" + path_, "", std::string("mode=readonly; ") + kClass);
        index_ = IndexFactory()->OpenIndex(storage_->OpenRootAtom()->OpenLink(0), "", "");
    }
    void Commit() {
        index_.reset();
        tr_->Commit();
        tr_.reset();
    }
    void Close() {
        index_.reset();
        tr_.reset();
        storage_.reset();
    }
    void CommitAndReopen() {
        Commit();
        Close();
        OpenWritable("open");
    }

    IIndexer& Index() { return *index_; }
    TBTreeIndex& Tree() { return dynamic_cast<TBTreeIndex&>(*index_); }
    IVirtualStorage& Creator() { return tr_ ? *tr_ : *storage_; }
    IVirtualStorage& Storage() { return *storage_; }

private:
    std::string path_;
    uint32_t pageSize_;
    Ref<IVirtualStorage> storage_;
    Ref<IStorageTransaction> tr_;
    Ref<IIndexer> index_;
};

// Fill bounds, one leaf depth, key order and empty links past Count over the
// whole tree; returns the leaf depth.
int CheckShape(const TBTreeNode& node, bool isRoot, std::string* last, bool& any) {
    const uint32_t P = node.PageSize(), count = node.Count();
    EXPECT_LE(count, P);
    if (!isRoot) {
        EXPECT_GE(count, P / 2);
    }
    const bool leaf = !node.HasChild(0);
    int depth = -1;
    for (uint32_t j = 0; j <= count; ++j) {
        Ref<IVirtualAtom> child = node.OpenChild(j, amRead);
        EXPECT_EQ(bool(child), !leaf);
        if (child) {
            TBTreeNode c(child, P);
            c.Read();
            const int d = CheckShape(c, false, last, any) + 1;
            if (depth < 0) depth = d;
            EXPECT_EQ(d, depth) << "leaves at different depths";
        }
        if (j < count) {
            const std::string key = node.Key(j);
            if (any) {
                EXPECT_LT(CompareKeys(*last, key), 0);
            }
            *last = key;
            any = true;
        }
    }
    // Links past Count are empty: a stale one would keep its atom alive.
    for (uint32_t i = count; i < P; ++i) EXPECT_FALSE(node.Atom()->HasLink(int32_t(node.ValueSlot(i))));
    for (uint32_t j = count + 1; j <= P; ++j) EXPECT_FALSE(node.HasChild(j));
    EXPECT_LE(node.Atom()->GetLinkCount(), int32_t(2 * P + 1));
    return leaf ? 0 : depth;
}

int CheckAgainstModel(TFileIndex& f, const TModel& model, std::mt19937& rng) {
    std::string last;
    bool any = false;
    const int depth = CheckShape(f.Tree().Root(), true, &last, any);

    IIndexer& index = f.Index();
    for (const auto& [key, tag] : model) {
        Ref<IVirtualAtom> value;
        EXPECT_TRUE(index.Find(key, value));
        if (!value) {
            ADD_FAILURE() << "no value";
            return depth;
        }
        EXPECT_EQ(value->GetAsString(), tag);
    }
    for (int i = 0; i < 30; ++i) {
        const std::string key = i % 2 ? AnyKey(rng) : RandomKey(rng);
        Ref<IVirtualAtom> value;
        EXPECT_EQ(index.Find(key, value), model.count(key) == 1);
        EXPECT_EQ(index.Contains(key), model.count(key) == 1);
    }

    Ref<IIndexerCursor> cursor;
    EXPECT_EQ(index.GetCursor(cursor), !model.empty());
    EXPECT_EQ(cursor->GetKeyCount(), int32_t(model.size()));
    std::vector<std::string> forward, backward, want;
    for (const auto& [key, tag] : model) want.push_back(key);
    if (cursor->First()) {
        do {
            forward.push_back(cursor->GetKey());
            EXPECT_EQ(cursor->GetValueWithMode(amRead)->GetAsString(), model.at(forward.back()));
        } while (cursor->Next());
    }
    if (cursor->Last()) {
        do backward.push_back(cursor->GetKey());
        while (cursor->Prior());
    }
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, want);
    EXPECT_EQ(backward, want);
    return depth;
}

// Every atom that still exists in the file.
std::set<uint32_t> ExistingAtoms(IVirtualStorage& storage) {
    std::set<uint32_t> atoms;
    Ref<IEnumVirtualAtoms> e = storage.EnumAtoms(amRead);
    while (Ref<IVirtualAtom> atom = e->Next()) atoms.insert(NumberOf(atom));
    return atoms;
}

void RunFileModel(uint32_t P, int operations, int wantDepth) {
    SetStorageCreator(OrvStorageCreator());
    TTestTempDir dir;
    const std::string path = dir.File("index.orv");
    std::mt19937 rng(1000 + P);
    TModel model;
    TFileIndex f(path, P);
    f.OpenWritable("create");
    int serial = 0, maxDepth = 0;

    auto pickPresent = [&] {
        auto it = model.begin();
        std::advance(it, rng() % model.size());
        return it->first;
    };
    for (int op = 1; op <= operations; ++op) {
        // Out of 10: insert new, overwrite, delete present, delete any key.
        // The first half mostly grows the tree, the second half churns.
        static const int kGrow[4] = {7, 8, 9, 10}, kChurn[4] = {4, 6, 9, 10};
        const int* const bounds = op <= operations / 2 ? kGrow : kChurn;
        const int kind = int(rng() % 10);
        if (kind < bounds[0] || model.empty()) {
            const std::string key = RandomKey(rng);
            const std::string tag = std::string("v").append(std::to_string(++serial));
            if (rng() % 2) {
                f.Index().Insert(key)->SetAsString(tag);
            } else {
                Ref<IVirtualAtom> value = f.Creator().CreateAtom();
                value->SetAsString(tag);
                f.Index().InsertAtom(key, value);
            }
            model[key] = tag;
        } else if (kind < bounds[1]) {
            const std::string key = pickPresent();
            const std::string tag = std::string("w").append(std::to_string(++serial));
            f.Index().Insert(key)->SetAsString(tag);
            model[key] = tag;
        } else if (kind < bounds[2]) {
            const std::string key = pickPresent();
            ASSERT_TRUE(f.Index().Delete(key)) << "op " << op;
            model.erase(key);
        } else {
            const std::string key = RandomKey(rng);
            ASSERT_EQ(f.Index().Delete(key), model.erase(key) == 1) << "op " << op;
        }

        if (op % 400 == 0) {
            SCOPED_TRACE("after op " + std::to_string(op));
            maxDepth = std::max(maxDepth, CheckAgainstModel(f, model, rng));
            if (::testing::Test::HasFailure()) return;
        }
        if (op % 1500 == 0) {
            SCOPED_TRACE("reopened after op " + std::to_string(op));
            f.CommitAndReopen();
            CheckAgainstModel(f, model, rng);
            if (::testing::Test::HasFailure()) return;
        }
    }
    EXPECT_GE(maxDepth, wantDepth) << model.size() << " keys";

    // Read-only: finds and walks work, changes are refused.
    f.Commit();
    f.Close();
    f.OpenReadOnly();
    CheckAgainstModel(f, model, rng);
    try {
        f.Index().Insert("new");
        ADD_FAILURE() << "insert on a read-only file";
    } catch (const EQmzError& e) {
        EXPECT_EQ(e.ErrorCode(), ecAccessDenied);
    }
    if (!model.empty()) {
        EXPECT_THROW(f.Index().Delete(model.begin()->first), EQmzError);
    }
    f.Close();

    // Delete everything in random order, checking on the way; afterwards the
    // file holds only the two fixed atoms, the index atom and the root node.
    f.OpenWritable("open");
    std::vector<std::string> left;
    for (const auto& [key, tag] : model) left.push_back(key);
    std::shuffle(left.begin(), left.end(), rng);
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_TRUE(f.Index().Delete(left[i]));
        model.erase(left[i]);
        if (i % 300 == 0) CheckAgainstModel(f, model, rng);
    }
    CheckAgainstModel(f, model, rng);
    const uint32_t indexAtom = NumberOf(f.Index().GetIndexAtom());
    const uint32_t rootNode = NumberOf(f.Tree().Root().Atom());
    f.Commit();
    f.Close();
    f.OpenReadOnly();
    CheckAgainstModel(f, model, rng);
    f.Close();
    f.OpenWritable("open");
    f.Commit();
    EXPECT_EQ(ExistingAtoms(f.Storage()), (std::set<uint32_t>{1, 2, indexAtom, rootNode}));
    f.Close();
    EXPECT_EQ(RegisteredStorageCount(), 0u);
}

TEST(BTreeFileModel, PageSize4) { RunFileModel(4, 5000, 4); }
TEST(BTreeFileModel, PageSize6) { RunFileModel(6, 5000, 3); }
TEST(BTreeFileModel, PageSize40) { RunFileModel(40, 14000, 2); }

}  // namespace
}  // namespace tlvx
