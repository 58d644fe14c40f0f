#include "store/orv_storage.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/testing/temp_dir.h"
#include "store/btree_factory.h"
#include "store/errors.h"
#include "store/indexer.h"
#include "store/storage_factory.h"

namespace tlvx {
namespace {

const char* const kClass = "class={6A1B2C3D-0000-4000-8000-00000000AB01}";

int32_t CodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EQmzError& e) {
        return e.ErrorCode();
    }
    return 0;
}

class OrvStorageTest : public ::testing::Test {
protected:
    void SetUp() override { SetStorageCreator(OrvStorageCreator()); }
    void TearDown() override { SetStorageCreator(OrvStorageCreator()); }
    Ref<IVirtualStorage> Open(const std::string& mode, const std::string& caps = "") {
        return StorageFactory().OpenStorage(0, 0, "file://" + path_, caps,
                                            "mode=" + mode + "; " + kClass);
    }
    TTestTempDir dir_;
    std::string path_ = dir_.File("front.orv");
};

TEST_F(OrvStorageTest, AtomsLinkedAndCommittedAreReadBackAfterReopen) {
    TAtomID childId;
    {
        auto s = Open("openorcreate");
        EXPECT_EQ(s->GetURL().rfind("file://", 0), 0u);
        EXPECT_EQ(s->GetAccessMask(), amFullMask);
        auto tr = s->StartTransaction();
        auto root = tr->OpenRootAtom();
        auto child = tr->CreateAtom();
        child->SetAsString("hello, file");
        root->SetLink(3, child);
        root->Write(0, "root", 4);
        childId = RefCast<IAtomIdentity>(child)->GetID();
        EXPECT_EQ(CodeOf([&] { tr->Commit(); }), ecTransactionFailed);  // atoms open
        EXPECT_NE(tr->GetTransactionID(), 0);
        child->Close();
        root->Close();
        tr->Commit();
        EXPECT_EQ(tr->GetTransactionID(), 0);
        EXPECT_EQ(CodeOf([&] { tr->Commit(); }), ecTransactionFailed);
        EXPECT_EQ(CodeOf([&] { tr->OpenRootAtom(); }), ecAccessDenied);
    }
    EXPECT_EQ(RegisteredStorageCount(), 0u);
    auto s = Open("open");
    auto root = s->OpenRootAtom();
    EXPECT_EQ(root->GetLinkCount(), 4);
    EXPECT_FALSE(root->HasLink(0));
    EXPECT_EQ(root->GetAsString(), "root");
    auto child = root->OpenLink(3);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->GetAsString(), "hello, file");
    child->Close();
    child = root->OpenLinkWithMode(3, amRead);  // readers share
    EXPECT_TRUE(child->IsSameAtom(s->OpenAtomWithMode(childId, amRead)));
    int32_t links = 0, ext = 0;
    RefCast<IAtomIdentity>(child)->GetRefCounts(links, ext);
    EXPECT_EQ(links, 1);
    char buf[4];
    child->GetStream().Seek(7);
    EXPECT_EQ(child->GetStream().Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "file");
}

TEST_F(OrvStorageTest, NestedCommitAndAbortAndStaleChildren) {
    auto s = Open("create");
    auto top = s->StartTransaction();
    auto inner = top->StartTransaction();
    {
        auto root = inner->OpenRootAtom();
        root->SetAsString("inner");
    }
    inner->Commit();
    auto aborted = top->StartTransaction();
    auto grandchild = aborted->StartTransaction();
    {
        auto root = grandchild->OpenRootAtom();
        root->SetAsString("discarded");
    }
    // Open atoms below refuse the abort.
    auto held = grandchild->OpenRootAtom();
    EXPECT_EQ(CodeOf([&] { aborted->Abort(); }), ecTransactionFailed);
    held->Close();
    aborted->Abort();
    EXPECT_EQ(grandchild->GetTransactionID(), 0);
    EXPECT_EQ(grandchild->GetAccessMask(), 0);
    // The freed numbers go to new transactions; the stale object cannot reach them.
    auto fresh = top->StartTransaction();
    auto fresh2 = fresh->StartTransaction();
    EXPECT_EQ(CodeOf([&] { grandchild->Abort(); }), ecTransactionFailed);
    EXPECT_EQ(CodeOf([&] { grandchild->OpenRootAtom(); }), ecAccessDenied);
    EXPECT_NE(fresh2->GetTransactionID(), 0);
    fresh2 = nullptr;  // released while active: aborted
    EXPECT_EQ(fresh->GetTransactions().size(), 0u);
    fresh->Commit();
    EXPECT_EQ(top->OpenRootAtom()->GetAsString(), "inner");
    // Dropping an active top-level transaction discards its changes.
    held = nullptr;  // an atom keeps its transaction alive
    inner = aborted = grandchild = fresh = nullptr;
    top = nullptr;
    EXPECT_EQ(s->GetTransactions().size(), 0u);
    EXPECT_EQ(s->OpenRootAtom()->GetAsString(), "");
}

TEST_F(OrvStorageTest, ReadOnlyOpenMasksModesAndRefusesWrites) {
    {
        auto s = Open("create");
        auto root = s->OpenRootAtom();
        root->SetAsString("kept");
    }
    auto s = Open("readonly");
    EXPECT_EQ(s->GetAccessMask(), amRead);
    auto root = s->OpenRootAtomWithMode(amReadWrite);
    EXPECT_EQ(root->GetAccessMode(), amRead);
    EXPECT_EQ(root->GetAsString(), "kept");
    EXPECT_EQ(CodeOf([&] { root->SetAsString("x"); }), ecAccessDenied);
    EXPECT_EQ(CodeOf([&] { s->CreateAtom(); }), ecAccessDenied);
    auto tr = s->StartTransaction();
    EXPECT_EQ(tr->GetAccessMask(), amRead);
    EXPECT_EQ(CodeOf([&] { tr->CreateAtom(); }), ecAccessDenied);
    root->Close();
    tr->Commit();
}

TEST_F(OrvStorageTest, CacheBoundsComeFromTheOpenParameters) {
    auto capacityOf = [&](const std::string& params) {
        auto s = StorageFactory().OpenStorage(0, 0, "file://" + path_, "",
                                              "mode=openorcreate; " + std::string(kClass) + params);
        return RefCast<IStorageInfo>(s)->GetCacheCapacity();
    };
    EXPECT_EQ(capacityOf(""), int32_t(kDefaultCacheCapacity));
    EXPECT_EQ(capacityOf("; cache=500"), 500);
    // A byte budget alone bounds the cache; an atom count beside it still binds.
    EXPECT_EQ(capacityOf("; CacheBytes=65536"), INT32_MAX);
    EXPECT_EQ(capacityOf("; CacheBytes=65536; cache=700"), 700);
}

TEST_F(OrvStorageTest, ForeignIdsCapabilitiesInfoAndEnumeration) {
    auto s = Open("create");
    EXPECT_EQ(CodeOf([&] {
                  StorageFactory().OpenStorage(0, 0, dir_.File("other.orv"), "CACHE=99",
                                               std::string("mode=create;") + kClass);
              }),
              ecCapabilityNotSupported);
    EXPECT_EQ(RegisteredStorageCount(), 1u);
    TAtomID foreign = RefCast<IStorageInfo>(s)->GetRootAtomID();
    foreign.StorageID = TGUID{};
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(foreign); }), ecCapabilityNotSupported);
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(s->OpenRootAtom() ? TAtomID{s->GetStorageID(), 999, 0}
                                                         : foreign); }),
              ecInvalidAtomAddress);
    auto info = RefCast<IStorageInfo>(s);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetMaxVersion(), 516);
    int64_t logical = 0, physical = 0;
    info->GetFileSizes(logical, physical);
    EXPECT_GT(logical, 0);
    EXPECT_GE(physical, logical);
    {
        auto root = s->OpenRootAtom();
        for (int i = 0; i < 5; ++i) {
            auto a = s->CreateAtom();
            a->SetAsString(std::to_string(i));
            root->SetLink(i, a);
        }
    }
    auto e = s->EnumAtoms(amRead);
    int count = 0;
    while (auto a = e->Next()) ++count;
    EXPECT_EQ(count, 7);  // atoms 1, 2 and the five linked ones
    e->Reset();
    EXPECT_NE(e->Next(), nullptr);
    auto c = e->Clone();
    int rest = 0;
    while (auto a = c->Next()) ++rest;
    EXPECT_EQ(rest, 6);
}

TEST_F(OrvStorageTest, EnumeratorSkipsLockedAtomsAndShutdownClosesTheFile) {
    auto s = Open("create");
    {
        auto root = s->OpenRootAtom();
        for (int i = 0; i < 4; ++i) root->SetLink(i, s->CreateAtom());
    }
    auto locked = s->OpenAtom(TAtomID{s->GetStorageID(), 4, 0});
    auto e = s->EnumAtoms(amRead);
    std::vector<uint32_t> seen;
    while (auto a = e->Next()) seen.push_back(RefCast<IAtomIdentity>(a)->GetID().AtomNumber);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 3, 5, 6}));
    EXPECT_EQ(CodeOf([&] { locked->SetAccessMode(amRead); }), 0);
    auto other = s->OpenAtomWithMode(TAtomID{s->GetStorageID(), 4, 0}, amRead);
    EXPECT_EQ(CodeOf([&] { locked->SetAccessMode(amReadWrite); }), ecShareViolation);
    EXPECT_EQ(locked->GetAccessMode(), amRead);
    // Left open at shutdown: atoms closed, the transaction aborted, the file
    // released for the next open.
    auto tr = s->StartTransaction();
    tr->OpenRootAtom()->SetAsString("never committed");
    auto held = tr->OpenRootAtom();
    ShutdownStorages();
    EXPECT_EQ(RegisteredStorageCount(), 0u);
    EXPECT_EQ(CodeOf([&] { held->GetSize(); }), ecAccessDenied);
    EXPECT_EQ(tr->GetTransactionID(), 0);
    EXPECT_EQ(RefCast<IStorageInfo>(s)->GetMaxVersion(), 0);
    e->Reset();
    EXPECT_EQ(CodeOf([&] { e->Next(); }), ecAccessDenied);
    auto again = Open("open");
    EXPECT_EQ(again->OpenRootAtom()->GetAsString(), "");
    EXPECT_EQ(again->OpenRootAtom()->GetLinkCount(), 4);
}

TEST_F(OrvStorageTest, BTreeIndexOnFileMatchesMapAfterReopen) {
    std::map<std::string, std::string> model;
    {
        auto s = Open("create");
        auto tr = s->StartTransaction();
        auto root = tr->OpenRootAtom();
        auto index = IndexFactory()->OpenOrCreateIndex(root, 0, "", "PageSize=8");
        uint32_t x = 12345;
        for (int i = 0; i < 3000; ++i) {
            x = x * 1103515245u + 12345u;
            std::string key(1, 'k');
            key += std::to_string((x >> 8) % 5000);
            if (i % 7 == 3 && !model.empty()) {
                auto victim = model.lower_bound(key);
                if (victim == model.end()) victim = model.begin();
                EXPECT_TRUE(index->Delete(victim->first));
                model.erase(victim);
                continue;
            }
            std::string value(1, 'v');
            value += std::to_string(i);
            index->Insert(key)->SetAsString(value);
            model[key] = value;
        }
        index = nullptr;
        root = nullptr;
        tr->Commit();
    }
    auto s = Open("readonly");
    auto tr = s->StartTransaction();
    auto root = tr->OpenRootAtom();
    auto index = IndexFactory()->OpenIndex(root->OpenLink(0), "", "");
    Ref<IIndexerCursor> cursor;
    ASSERT_TRUE(index->GetCursor(cursor));
    auto expected = model.begin();
    for (bool more = cursor->First(); more; more = cursor->Next(), ++expected) {
        ASSERT_NE(expected, model.end());
        EXPECT_EQ(cursor->GetKey(), expected->first);
        EXPECT_EQ(cursor->GetValueWithMode(amRead)->GetAsString(), expected->second);
    }
    EXPECT_EQ(expected, model.end());
    EXPECT_EQ(cursor->GetKeyCount(), int32_t(model.size()));
}

}  // namespace
}  // namespace tlvx
