#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "store/btree_cursor.h"
#include "store/btree_factory.h"
#include "store/btree_index.h"
#include "store/errors.h"
#include "store/testing/memory_volumes.h"

namespace tlvx {
namespace {

template <class F>
int32_t CodeOf(F&& f) {
    try {
        f();
    } catch (const EQmzError& e) {
        return e.ErrorCode();
    }
    return 0;
}

uint32_t NumberOf(const Ref<IVirtualAtom>& atom) { return RefCast<IAtomIdentity>(atom)->GetID().AtomNumber; }

// The atom's whole link count. Inside a transaction the store reports an
// atom that is older than the transaction by its change against the
// committed state, so the committed count is added (the tests here nest no
// transactions).
int32_t LinkCountOf(const Ref<IVirtualAtom>& atom) {
    int32_t links = 0, ext = 0;
    auto identity = RefCast<IAtomIdentity>(atom);
    identity->GetRefCounts(links, ext);
    if (!atom->GetTransaction()) return links;
    try {
        Ref<IVirtualAtom> committed = atom->GetStorage()->OpenAtomWithMode(identity->GetID(), 0);
        int32_t committedLinks = 0;
        RefCast<IAtomIdentity>(committed)->GetRefCounts(committedLinks, ext);
        return committedLinks + links;
    } catch (const EQmzError& e) {
        if (e.ErrorCode() != ecInvalidAtomAddress) throw;
        return links;  // made in the transaction: its count is whole
    }
}

std::string Byte(int b) { return std::string(1, char(b)); }

// An index in the root atom's link 0 of a storage, inside one transaction.
struct TFixture {
    test::TMemoryVolumes volumes;
    Ref<TOrvStorage> storage;
    Ref<IStorageTransaction> tr;
    Ref<IVirtualAtom> root;
    Ref<IIndexer> index;
    std::string params;

    explicit TFixture(uint32_t pageSize) : params("PageSize=" + std::to_string(pageSize)) {
        storage = volumes.Create();
        Open();
    }
    void Open() {
        tr = storage->StartTransaction();
        root = tr->OpenRootAtom();
        index = IndexFactory()->OpenOrCreateIndex(root, 0, "", params);
    }
    // Commits and opens everything again over a fresh storage object.
    void CommitAndReopen() {
        index.reset();
        root.reset();
        tr->Commit();
        tr.reset();
        storage.reset();
        storage = volumes.Open(false);
        Open();
    }
    TBTreeIndex& Tree() { return *dynamic_cast<TBTreeIndex*>(index.get()); }
};

// Checks the node layout rules of the whole tree and returns its keys in
// order. Every node and value must be linked exactly once.
struct TTreeChecker {
    uint32_t P = 0;
    int leafDepth = -1;
    std::vector<std::string> keys;

    void Check(const TBTreeNode& node, int depth, bool isRoot) {
        const uint32_t count = node.Count();
        ASSERT_LE(count, P);
        if (!isRoot) {
            ASSERT_GE(count, P / 2);
        }
        EXPECT_EQ(LinkCountOf(node.Atom()), 1);
        const bool leaf = !node.HasChild(0);
        for (uint32_t i = count; i < P; ++i) ASSERT_FALSE(node.Atom()->HasLink(int32_t(node.ValueSlot(i))));
        for (uint32_t j = count + 1; j <= P; ++j) ASSERT_FALSE(node.HasChild(j));
        ASSERT_LE(node.Atom()->GetLinkCount(), int32_t(2 * P + 1));
        if (leaf) {
            if (leafDepth < 0) leafDepth = depth;
            ASSERT_EQ(depth, leafDepth);
        }
        for (uint32_t j = 0; j <= count; ++j) {
            Ref<IVirtualAtom> child = node.OpenChild(j, amRead);
            ASSERT_EQ(bool(child), !leaf) << "child " << j;
            if (child) {
                TBTreeNode c(child, P);
                c.Read();
                Check(c, depth + 1, false);
            }
            if (j < count) {
                Ref<IVirtualAtom> value = node.LinkTarget(node.ValueSlot(j));
                ASSERT_TRUE(bool(value));
                EXPECT_EQ(LinkCountOf(value), 1);
                std::string key = node.Key(j);
                if (!keys.empty()) {
                    ASSERT_LT(CompareKeys(keys.back(), key), 0);
                }
                keys.push_back(key);
            }
        }
    }
};

std::vector<std::string> Keys(const std::map<std::string, std::string>& model) {
    std::vector<std::string> v;
    for (auto& [k, _] : model) v.push_back(k);
    return v;
}

void CheckFindAndWalks(TFixture& f, const std::map<std::string, std::string>& model, std::mt19937& rng);

// Returns the depth of the leaves.
int CheckAgainstModel(TFixture& f, const std::map<std::string, std::string>& model, uint32_t P,
                      std::mt19937& rng) {
    TTreeChecker checker;
    checker.P = P;
    [&] { checker.Check(f.Tree().Root(), 0, true); }();
    if (::testing::Test::HasFatalFailure()) return -1;
    EXPECT_EQ(checker.keys, Keys(model));
    [&] { CheckFindAndWalks(f, model, rng); }();
    return checker.leafDepth;
}

void CheckFindAndWalks(TFixture& f, const std::map<std::string, std::string>& model, std::mt19937& rng) {
    for (auto& [key, tag] : model) {
        Ref<IVirtualAtom> value;
        ASSERT_TRUE(f.index->Find(key, value));
        ASSERT_EQ(value->GetAsString(), tag);
    }
    for (int i = 0; i < 20; ++i) {
        std::string key(size_t(rng() % 7), '\0');
        for (char& c : key) c = char(rng() % 256);
        Ref<IVirtualAtom> value;
        EXPECT_EQ(f.index->Find(key, value), model.count(key) == 1);
        EXPECT_EQ(f.index->Contains(key), model.count(key) == 1);
    }

    Ref<IIndexerCursor> cursor;
    EXPECT_EQ(f.index->GetCursor(cursor), !model.empty());
    EXPECT_EQ(cursor->GetKeyCount(), int32_t(model.size()));
    EXPECT_EQ(cursor->IsEmpty(), model.empty());
    std::vector<std::string> forward, backward;
    if (cursor->First()) {
        do {
            forward.push_back(cursor->GetKey());
            ASSERT_EQ(cursor->GetValue()->GetAsString(), model.at(forward.back()));
        } while (cursor->Next());
        EXPECT_TRUE(cursor->Eof());
    }
    if (cursor->Last()) {
        EXPECT_TRUE(cursor->Eof());
        do backward.push_back(cursor->GetKey());
        while (cursor->Prior());
        EXPECT_TRUE(cursor->Bof());
    }
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, Keys(model));
    EXPECT_EQ(backward, Keys(model));
}

// Random keys of 0-6 bytes from a small alphabet, so that prefixes are shared
// and bytes at and above 0x80 occur.
std::string RandomKey(std::mt19937& rng) {
    static const unsigned char alphabet[] = {0x00, 0x01, 'a', 'b', 0x7F, 0x80, 0xC8, 0xFF};
    std::string key(size_t(rng() % 7), '\0');
    for (char& c : key) c = char(alphabet[rng() % sizeof alphabet]);
    return key;
}

void RunModel(uint32_t P, int operations, uint32_t seed, int wantDepth) {
    int maxDepth = 0;
    std::mt19937 rng(seed);
    TFixture f(P);
    std::map<std::string, std::string> model;
    int serial = 0;
    for (int op = 1; op <= operations; ++op) {
        // The first half grows the tree, the second half mostly churns.
        int kind = int(rng() % 10);
        if (op < operations / 2 && kind >= 6 && kind < 8) kind = 0;
        if (kind < 6 || model.empty()) {
            // Insert new or overwrite.
            std::string key = RandomKey(rng);
            if (kind == 5 && !model.empty()) {
                auto it = model.begin();
                std::advance(it, rng() % model.size());
                key = it->first;
            }
            const std::string tag = std::string("v").append(std::to_string(++serial));
            if (rng() % 2) {
                f.index->Insert(key)->SetAsString(tag);
            } else {
                Ref<IVirtualAtom> value = f.tr->CreateAtom();
                value->SetAsString(tag);
                f.index->InsertAtom(key, value);
            }
            model[key] = tag;
        } else if (kind < 9) {
            auto it = model.begin();
            std::advance(it, rng() % model.size());
            std::string key = it->first;
            ASSERT_TRUE(f.index->Delete(key)) << "op " << op;
            model.erase(key);
        } else {
            std::string key = RandomKey(rng);
            ASSERT_EQ(f.index->Delete(key), model.erase(key) == 1) << "op " << op;
        }
        if (op % 250 == 0) {
            SCOPED_TRACE("after op " + std::to_string(op));
            maxDepth = std::max(maxDepth, CheckAgainstModel(f, model, P, rng));
            if (::testing::Test::HasFailure()) return;
            if (op % 1000 == 0) {
                f.CommitAndReopen();
                CheckAgainstModel(f, model, P, rng);
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
    EXPECT_GE(maxDepth, wantDepth) << model.size() << " keys";
    // Delete everything (in random order, checking on the way); afterwards only the well-known atoms, the index atom
    // and the root node are still referenced.
    std::vector<std::string> left = Keys(model);
    std::shuffle(left.begin(), left.end(), rng);
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_TRUE(f.index->Delete(left[i]));
        model.erase(left[i]);
        if (i % 100 == 0) CheckAgainstModel(f, model, P, rng);
    }
    CheckAgainstModel(f, model, P, rng);
    const uint32_t indexAtom = NumberOf(f.index->GetIndexAtom());
    const uint32_t rootNode = NumberOf(f.Tree().Root().Atom());
    f.CommitAndReopen();
    f.index.reset();
    f.root.reset();
    f.tr->Commit();
    std::set<uint32_t> referenced;
    Ref<IEnumVirtualAtoms> atoms = f.storage->EnumAtoms(amRead);
    while (Ref<IVirtualAtom> atom = atoms->Next())
        if (LinkCountOf(atom) > 0) referenced.insert(NumberOf(atom));
    EXPECT_EQ(referenced, (std::set<uint32_t>{1, 2, indexAtom, rootNode}));
}

TEST(BTreeModel, PageSize4) { RunModel(4, 6000, 4, 3); }
TEST(BTreeModel, PageSize6) { RunModel(6, 6000, 6, 2); }
TEST(BTreeModel, PageSize40) { RunModel(40, 30000, 40, 2); }

// The five seek modes against lower_bound / upper_bound on a tree of several
// levels, and a failed seek keeping the position.
TEST(BTreeCursor, SeekModesMatchOrderedSet) {
    std::mt19937 rng(7);
    TFixture f(4);
    std::set<std::string> keys;
    for (int i = 0; i < 400; ++i) {
        std::string key = RandomKey(rng);
        f.index->Insert(key);
        keys.insert(key);
    }
    Ref<IIndexerCursor> cursor;
    ASSERT_TRUE(f.index->GetCursor(cursor));
    for (int i = 0; i < 3000; ++i) {
        const std::string probe = RandomKey(rng);
        const TSeekMode mode = TSeekMode(rng() % 5);
        auto lb = keys.lower_bound(probe), ub = keys.upper_bound(probe);
        std::optional<std::string> want;
        switch (mode) {
            case smEqual: if (lb != keys.end() && *lb == probe) want = probe; break;
            case smLess: if (lb != keys.begin()) want = *std::prev(lb); break;
            case smGreater: if (ub != keys.end()) want = *ub; break;
            case smLessOrEqual: if (ub != keys.begin()) want = *std::prev(ub); break;
            case smGreaterOrEqual: if (lb != keys.end()) want = *lb; break;
        }
        const std::string before = cursor->GetKey();
        ASSERT_EQ(cursor->Seek(probe, mode), want.has_value()) << int(mode);
        ASSERT_EQ(cursor->GetKey(), want ? *want : before);
        // A new unpositioned cursor seeks alike; a miss leaves it on no key.
        Ref<IIndexerCursor> fresh = f.index->NewCursor();
        ASSERT_EQ(fresh->Seek(probe, mode), want.has_value());
        if (want) ASSERT_EQ(fresh->GetKey(), *want);
        else EXPECT_THROW(fresh->GetKey(), EQmzError);
        // The cursor walks on from a seek.
        if (want && cursor->Next()) {
            auto it = keys.upper_bound(*want);
            ASSERT_TRUE(it != keys.end());
            ASSERT_EQ(cursor->GetKey(), *it);
        }
    }
    EXPECT_FALSE(cursor->Seek("x", TSeekMode(5)));
}

TEST(BTreeCursor, SmallIndexSeeksAndPositionStates) {
    TFixture f(4);
    Ref<IIndexerCursor> cursor;
    EXPECT_FALSE(f.index->GetCursor(cursor));
    ASSERT_TRUE(bool(cursor));
    EXPECT_TRUE(cursor->IsEmpty());
    EXPECT_EQ(cursor->GetKeyCount(), 0);
    EXPECT_EQ(CodeOf([&] { cursor->Next(); }), ecAccessDenied);
    EXPECT_EQ(CodeOf([&] { cursor->GetKey(); }), ecAccessDenied);
    EXPECT_EQ(CodeOf([&] { cursor->GetValue(); }), ecAccessDenied);
    for (int m = 0; m < 5; ++m) EXPECT_FALSE(cursor->Seek(Byte(20), TSeekMode(m)));
    cursor.reset();

    for (int k : {10, 20, 30}) f.index->Insert(Byte(k));
    ASSERT_TRUE(f.index->GetCursor(cursor));
    auto at = [&](int key, int mode) -> int {
        if (!cursor->Seek(Byte(key), TSeekMode(mode))) return -1;
        return int(uint8_t(cursor->GetKey()[0]));
    };
    EXPECT_EQ((std::vector<int>{at(20, 0), at(20, 1), at(20, 2), at(20, 3), at(20, 4)}),
              (std::vector<int>{20, 10, 30, 20, 20}));
    EXPECT_EQ((std::vector<int>{at(25, 0), at(25, 1), at(25, 2), at(25, 3), at(25, 4)}),
              (std::vector<int>{-1, 20, 30, 20, 30}));
    EXPECT_EQ(at(35, 2), -1);
    EXPECT_EQ(at(35, 4), -1);
    EXPECT_EQ(at(35, 1), 30);
    EXPECT_EQ(at(5, 1), -1);
    EXPECT_EQ(at(5, 3), -1);

    ASSERT_TRUE(cursor->First());
    EXPECT_TRUE(cursor->Bof());
    ASSERT_TRUE(cursor->Next());
    ASSERT_TRUE(cursor->Prior());
    EXPECT_EQ(cursor->GetKey(), Byte(10));
    EXPECT_FALSE(cursor->Bof());
    EXPECT_FALSE(cursor->Prior());  // stays on the first key
    EXPECT_EQ(cursor->GetKey(), Byte(10));

    Ref<IIndexerCursor> copy = cursor->Clone();
    ASSERT_TRUE(copy->Last());
    EXPECT_EQ(cursor->GetKey(), Byte(10));
    EXPECT_EQ(copy->GetKey(), Byte(30));
    char buf[4] = {};
    EXPECT_EQ(copy->ReadKey(buf, 4), 1);
    EXPECT_EQ(copy->GetKeyLength(), 1);

    cursor->Close();
    EXPECT_EQ(CodeOf([&] { cursor->First(); }), ecAccessDenied);
    EXPECT_EQ(CodeOf([&] { cursor->GetKeyCount(); }), ecAccessDenied);
    EXPECT_FALSE(bool(cursor->GetIndexer()));
}

TEST(BTreeIndex, FirstSplitOfPageSize4AndKeyOrder) {
    TFixture f(4);
    for (char c = '1'; c <= '5'; ++c) f.index->Insert(std::string(1, c));
    std::vector<std::string> lines;
    RefCast<IBTreeDump>(f.index)->DumpTree(lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"p0", " 1", " 2", "3", " 4", " 5"}));

    f.index->InsertAtom("6", nullptr);
    lines.clear();
    RefCast<IBTreeDump>(f.index)->DumpTree(lines);
    EXPECT_EQ(lines.back(), " 6N");

    f.index->Clear();
    for (std::string k : {std::string("abc"), std::string("ab"), Byte(200), Byte(100), std::string()})
        f.index->Insert(k);
    Ref<IIndexerCursor> cursor;
    ASSERT_TRUE(f.index->GetCursor(cursor));
    std::vector<std::string> order;
    do order.push_back(cursor->GetKey());
    while (cursor->Next());
    EXPECT_EQ(order, (std::vector<std::string>{"", "ab", "abc", Byte(100), Byte(200)}));
}

TEST(BTreeIndex, OverwriteKeepsCountAndKeyLengthLimit) {
    TFixture f(6);
    f.index->Insert("k")->SetAsString("old");
    Ref<IVirtualAtom> fresh = f.tr->CreateAtom();
    fresh->SetAsString("new");
    f.index->InsertAtom("k", fresh);
    fresh.reset();
    Ref<IVirtualAtom> value;
    ASSERT_TRUE(f.index->Find("k", value));
    EXPECT_EQ(value->GetAsString(), "new");
    value.reset();

    std::string longest(size_t(kMaxKeyLength), 'x');
    f.index->Insert(longest);
    EXPECT_TRUE(f.index->Contains(longest));
    std::string tooLong(size_t(kMaxKeyLength) + 1, 'x');
    try {
        f.index->Insert(tooLong);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Key too long 65537 bytes");
    }
    EXPECT_THROW(f.index->Find(tooLong, value), std::runtime_error);
    EXPECT_FALSE(f.index->Contains(tooLong));
    Ref<IIndexerCursor> cursor;
    ASSERT_TRUE(f.index->GetCursor(cursor));
    EXPECT_EQ(cursor->GetKeyCount(), 2);
    EXPECT_EQ(CodeOf([&] { f.index->ReservedMethod(); }), ecNotImplemented);
}

// A root that never splits stays small under insert/delete churn.
TEST(BTreeIndex, ChurnInOneNodeDoesNotGrowIt) {
    TFixture f(40);
    for (int i = 0; i < 10; ++i) f.index->Insert("key" + std::to_string(i));
    for (int i = 0; i < 5000; ++i) {
        std::string key = "churn" + std::to_string(i % 7);
        f.index->Insert(key);
        ASSERT_TRUE(f.index->Delete(key));
    }
    const TBTreeNode& root = f.Tree().Root();
    EXPECT_LT(root.Atom()->GetSize(), int32_t(root.HeaderSize() + 200));
}

TEST(BTreeIndex, ShareRules) {
    TFixture f(4);
    for (int i = 0; i < 20; ++i) f.index->Insert(Byte(i));
    // A second index object over the same index atom.
    EXPECT_EQ(CodeOf([&] { IndexFactory()->OpenIndex(f.index->GetIndexAtom(), "", ""); }), ecShareViolation);
    // A positioned cursor blocks changes of the nodes on its path.
    Ref<IIndexerCursor> cursor;
    ASSERT_TRUE(f.index->GetCursor(cursor));
    EXPECT_EQ(CodeOf([&] { f.index->Delete(Byte(0)); }), ecShareViolation);
    cursor.reset();
    EXPECT_TRUE(f.index->Delete(Byte(0)));
    // A live index blocks the commit.
    f.root.reset();
    EXPECT_EQ(CodeOf([&] { f.tr->Commit(); }), ecTransactionFailed);
    f.index.reset();
    f.tr->Commit();
}

TEST(BTreeIndex, ReadOnlyStorage) {
    TFixture f(4);
    for (int i = 0; i < 30; ++i) f.index->Insert(Byte(i))->SetAsString(std::to_string(i));
    f.CommitAndReopen();
    f.index.reset();
    f.root.reset();
    f.tr->Commit();
    f.tr.reset();
    f.storage.reset();
    f.storage = f.volumes.Open(true);
    f.Open();
    Ref<IVirtualAtom> value;
    ASSERT_TRUE(f.index->Find(Byte(7), value));
    EXPECT_EQ(value->GetAsString(), "7");
    EXPECT_EQ(value->GetAccessMode(), amRead);
    value.reset();
    Ref<IIndexerCursor> cursor;
    ASSERT_TRUE(f.index->GetCursor(cursor));
    EXPECT_EQ(cursor->GetKeyCount(), 30);
    int n = 0;
    do ++n;
    while (cursor->Next());
    EXPECT_EQ(n, 30);
    cursor.reset();
    EXPECT_EQ(CodeOf([&] { f.index->Insert(Byte(100)); }), ecAccessDenied);
    Ref<IVirtualAtom> other = f.storage->OpenRootAtom()->OpenLink(0);
    EXPECT_EQ(CodeOf([&] { f.index->InsertAtom(Byte(100), other); }), ecAccessDenied);
}

TEST(BTreeFactory, ParametersHeaderAndRecognition) {
    test::TMemoryVolumes volumes;
    auto s = volumes.Create();
    auto tr = s->StartTransaction();
    EXPECT_EQ(ParsePageSize(""), 40u);
    EXPECT_EQ(ParsePageSize("pagesize = 1024"), 1024u);
    EXPECT_EQ(ParsePageSize("other=1; PageSize=4"), 4u);
    for (const char* bad : {"PageSize=1026", "PageSize=2", "PageSize=41", "PageSize=-4"}) {
        try {
            ParsePageSize(bad);
            ADD_FAILURE() << bad;
        } catch (const EQmzError& e) {
            EXPECT_EQ(e.ErrorCode(), ecInvalidParameter);
            EXPECT_STREQ(e.what(), kPageSizeOutOfRange);
        }
    }
    try {
        ParsePageSize("PageSize=abc");
        ADD_FAILURE();
    } catch (const EQmzError& e) {
        EXPECT_STREQ(e.what(), kInvalidPageSize);
    }

    Ref<IVirtualAtom> atom;
    Ref<IIndexer> index = IndexFactory()->CreateIndex(tr, atom, "", "");
    const std::vector<uint8_t> header = atom->GetAsBytes();
    const std::vector<uint8_t> expected = {0x30, 0x02, 0xA6, 0xB3, 0xA1, 0x0B, 0xD5, 0x11, 0x8F, 0x94, 0x00, 0x01,
                                           0x02, 0xFA, 0xE9, 0xE5, 2, 0, 0, 0, 40, 0, 0, 0};
    EXPECT_EQ(header, expected);
    EXPECT_TRUE(IndexFactory()->IsBTreeIndex(atom));
    EXPECT_EQ(CodeOf([&] { IndexFactory()->CreateIndex(tr, atom, "KEY_COUNT=7", ""); }), ecCapabilityNotSupported);
    index.reset();

    // OpenOrCreate makes the index once and opens it the second time.
    auto root = tr->OpenRootAtom();
    Ref<IIndexer> made = IndexFactory()->OpenOrCreateIndex(root, 3, "", "PageSize=6");
    made->Insert("a");
    const uint32_t madeAtom = NumberOf(made->GetIndexAtom());
    made.reset();
    Ref<IIndexer> opened = IndexFactory()->OpenOrCreateIndex(root, 3, "KEY_LENGTH=3", "PageSize=40");
    EXPECT_EQ(NumberOf(opened->GetIndexAtom()), madeAtom);
    EXPECT_TRUE(opened->Contains("a"));
    EXPECT_EQ(dynamic_cast<TBTreeIndex*>(opened.get())->PageSize(), 6u);
    opened.reset();

    // Not indexes: short header, other type, other version, no root, a stored
    // PageSize out of range.
    auto probe = [&](std::vector<uint8_t> bytes, bool withRoot) {
        Ref<IVirtualAtom> a = tr->CreateAtom();
        a->SetAsBytes(bytes);
        if (withRoot) a->SetLink(0, tr->CreateAtom());
        return a;
    };
    std::vector<uint8_t> wrongType = expected, version3 = expected, odd = expected, huge = expected;
    wrongType[0] ^= 1;
    version3[16] = 3;
    odd[20] = 5;
    huge[20] = 0x02;
    huge[21] = 0x04;  // 1026
    EXPECT_FALSE(IndexFactory()->IsBTreeIndex(probe({expected.begin(), expected.end() - 1}, true)));
    EXPECT_FALSE(IndexFactory()->IsBTreeIndex(probe(wrongType, true)));
    EXPECT_FALSE(IndexFactory()->IsBTreeIndex(probe(version3, true)));
    EXPECT_FALSE(IndexFactory()->IsBTreeIndex(probe(expected, false)));
    EXPECT_EQ(CodeOf([&] { IndexFactory()->OpenIndex(probe(expected, false), "", ""); }), ecNotIndex);
    EXPECT_EQ(CodeOf([&] { IndexFactory()->OpenIndex(probe(odd, true), "", ""); }), ecNotIndex);
    EXPECT_EQ(CodeOf([&] { IndexFactory()->OpenIndex(probe(huge, true), "", ""); }), ecNotIndex);
}

// Damaged nodes raise an assertion failure instead of reading out of bounds.
TEST(BTreeFactory, DamagedNodesAreRefused) {
    test::TMemoryVolumes volumes;
    auto s = volumes.Create();
    auto tr = s->StartTransaction();
    auto damage = [&](auto edit) {
        Ref<IVirtualAtom> atom;
        Ref<IIndexer> index = IndexFactory()->CreateIndex(tr, atom, "", "PageSize=4");
        index->Insert("abc");
        index.reset();
        Ref<IVirtualAtom> node = atom->OpenLink(0);
        std::vector<uint8_t> bytes = node->GetAsBytes();
        edit(bytes);
        node->SetAsBytes(bytes);
        node.reset();
        return atom;
    };
    auto put = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    const std::vector<std::function<void(std::vector<uint8_t>&)>> edits = {
        [&](auto& b) { put(b, 0, 5); },        // Count above PageSize
        [&](auto& b) { put(b, 4, 8); },        // EndOffset inside the header
        [&](auto& b) { put(b, 8, 4); },        // key inside the header
        [&](auto& b) { put(b, 12, 9999); },    // key beyond the data
    };
    for (auto& edit : edits) {
        Ref<IVirtualAtom> atom = damage(edit);
        EXPECT_THROW(IndexFactory()->OpenIndex(atom, "", ""), EAssertionFailed);
    }
}

TEST(BTreeIndex, DeletingEverythingCollapsesToEmptyLeafRoot) {
    TFixture f(4);
    for (int i = 0; i < 60; ++i) f.index->Insert(Byte(i));
    const uint32_t rootBefore = NumberOf(f.Tree().Root().Atom());
    for (int i = 59; i >= 0; i -= 2) ASSERT_TRUE(f.index->Delete(Byte(i)));
    for (int i = 0; i < 60; i += 2) ASSERT_TRUE(f.index->Delete(Byte(i)));
    EXPECT_FALSE(f.index->Delete(Byte(0)));
    EXPECT_EQ(f.Tree().Root().Count(), 0u);
    EXPECT_FALSE(f.Tree().Root().HasChild(0));
    EXPECT_NE(NumberOf(f.Tree().Root().Atom()), rootBefore);
    Ref<IVirtualAtom> value = f.tr->CreateAtom();
    EXPECT_FALSE(f.index->Find(Byte(1), value));
    EXPECT_FALSE(bool(value));
}

}  // namespace
}  // namespace tlvx

namespace tlvx {
namespace {

// Changes made through an index inside a nested transaction vanish with its
// abort and survive its commit.
TEST(BTreeIndex, NestedTransactionAbortAndCommit) {
    TFixture f(4);
    for (int i = 0; i < 40; ++i) f.index->Insert(Byte(i));
    f.index.reset();
    f.root.reset();
    for (bool commit : {false, true}) {
        Ref<IStorageTransaction> child = f.tr->StartTransaction();
        {
            Ref<IIndexer> index = IndexFactory()->OpenOrCreateIndex(child->OpenRootAtom(), 0, "", "");
            for (int i = 0; i < 40; i += 3) ASSERT_TRUE(index->Delete(Byte(i)));
            for (int i = 100; i < 140; ++i) index->Insert(Byte(i));
        }
        if (commit) child->Commit();
        else child->Abort();
        Ref<IIndexer> index = IndexFactory()->OpenOrCreateIndex(f.tr->OpenRootAtom(), 0, "", "");
        Ref<IIndexerCursor> cursor;
        index->GetCursor(cursor);
        EXPECT_EQ(cursor->GetKeyCount(), commit ? 40 - 14 + 40 : 40);
        EXPECT_EQ(index->Contains(Byte(0)), !commit);
        EXPECT_EQ(index->Contains(Byte(120)), commit);
    }
}

}  // namespace
}  // namespace tlvx
