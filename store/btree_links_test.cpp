// The store frees an atom whose link count falls to zero. The index must link
// every node and value in its new place before it clears the old link, so no
// atom that stays in the tree may ever reach a link count of zero. A
// recording layer around the atoms notes every atom whose count falls to
// zero, as seen through an open of it made before the change.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>

#include "store/btree_factory.h"
#include "store/btree_index.h"
#include "store/testing/memory_volumes.h"

namespace tlvx {
namespace {

class TRecordingTransaction;

struct TZeroLog {
    std::set<uint32_t> zeroed;
    std::map<uint32_t, std::string> how;
};

class TRecordingAtom : public IVirtualAtom, public IAtomIdentity {
public:
    TRecordingAtom(Ref<IVirtualAtom> inner, Ref<IStorageTransaction> tr, TZeroLog* log)
        : inner_(std::move(inner)), tr_(std::move(tr)), log_(log) {}

    static Ref<IVirtualAtom> Wrap(Ref<IVirtualAtom> a, const Ref<IStorageTransaction>& tr, TZeroLog* log) {
        if (!a) return nullptr;
        return MakeRef<TRecordingAtom>(std::move(a), tr, log);
    }
    static Ref<IVirtualAtom> Unwrap(const Ref<IVirtualAtom>& a) {
        auto* r = dynamic_cast<TRecordingAtom*>(a.get());
        return r ? r->inner_ : a;
    }

    bool HasLink(int32_t i) override { return inner_->HasLink(i); }
    Ref<IVirtualAtom> OpenLink(int32_t i) override { return Wrap(inner_->OpenLink(i), tr_, log_); }
    Ref<IVirtualAtom> OpenLinkWithMode(int32_t i, uint8_t mode) override {
        return Wrap(inner_->OpenLinkWithMode(i, mode), tr_, log_);
    }
    void SetLink(int32_t i, const Ref<IVirtualAtom>& a) override {
        auto old = Targets(i, i + 1);
        inner_->SetLink(i, Unwrap(a));
        Note(old, "set");
    }
    void InsertLink(int32_t i, const Ref<IVirtualAtom>& a) override { inner_->InsertLink(i, Unwrap(a)); }
    void DeleteLink(int32_t i) override {
        auto old = Targets(i, i + 1);
        inner_->DeleteLink(i);
        Note(old, "delete");
    }
    int32_t Read(int32_t o, void* b, int32_t n) override { return inner_->Read(o, b, n); }
    int32_t Write(int32_t o, const void* b, int32_t n) override { return inner_->Write(o, b, n); }
    bool IsSameAtom(const Ref<IVirtualAtom>& o) override { return inner_->IsSameAtom(Unwrap(o)); }
    TAtomID AddExternalRef() override { return inner_->AddExternalRef(); }
    void ReleaseExternalRef() override { inner_->ReleaseExternalRef(); }
    void Close() override { inner_->Close(); }
    Ref<IVirtualAtom> Reopen(const Ref<IVirtualStorage>& s, uint8_t mode) override {
        return Wrap(inner_->Reopen(s, mode), tr_, log_);
    }
    int32_t GetLinkCount() override { return inner_->GetLinkCount(); }
    std::vector<uint8_t> GetAsBytes() override { return inner_->GetAsBytes(); }
    std::string GetAsString() override { return inner_->GetAsString(); }
    int32_t GetSize() override { return inner_->GetSize(); }
    TStream& GetStream() override { return inner_->GetStream(); }
    Ref<IVirtualStorage> GetStorage() override { return inner_->GetStorage(); }
    Ref<IStorageTransaction> GetTransaction() override { return tr_; }
    uint8_t GetAccessMode() override { return inner_->GetAccessMode(); }
    void SetLinkCount(int32_t n) override {
        auto old = Targets(n, inner_->GetLinkCount());
        inner_->SetLinkCount(n);
        Note(old, "count");
    }
    void SetAsBytes(const std::vector<uint8_t>& b) override { inner_->SetAsBytes(b); }
    void SetAsString(std::string_view t) override { inner_->SetAsString(t); }
    void SetSize(int32_t n) override { inner_->SetSize(n); }
    void SetAccessMode(uint8_t m) override { inner_->SetAccessMode(m); }
    void GetRefCounts(int32_t& l, int32_t& e) override { RefCast<IAtomIdentity>(inner_)->GetRefCounts(l, e); }
    TAtomID GetID() override { return RefCast<IAtomIdentity>(inner_)->GetID(); }

private:
    std::vector<Ref<IVirtualAtom>> Targets(int32_t from, int32_t to) {
        std::vector<Ref<IVirtualAtom>> v;
        for (int32_t i = std::max(from, 0); i < to && i < inner_->GetLinkCount(); ++i)
            if (auto a = inner_->OpenLinkWithMode(i, 0)) v.push_back(a);
        return v;
    }
    void Note(const std::vector<Ref<IVirtualAtom>>& old, const char* what = "") {
        for (auto& a : old) {
            int32_t links = 0, ext = 0;
            RefCast<IAtomIdentity>(a)->GetRefCounts(links, ext);
            if (links == 0) {
                uint32_t n = RefCast<IAtomIdentity>(a)->GetID().AtomNumber;
                log_->zeroed.insert(n);
                log_->how[n] = what;
            }
        }
    }

    Ref<IVirtualAtom> inner_;
    Ref<IStorageTransaction> tr_;
    TZeroLog* log_;
};

// Hands out recording atoms; everything else goes to the real transaction.
class TRecordingTransaction : public IStorageTransaction {
public:
    TRecordingTransaction(Ref<IStorageTransaction> inner, TZeroLog* log) : inner_(std::move(inner)), log_(log) {}

    Ref<IVirtualAtom> CreateAtom() override { return Wrap(Made(inner_->CreateAtom())); }
    Ref<IVirtualAtom> CreateAtomWithMode(uint8_t m) override {
        return Wrap(Made(inner_->CreateAtomWithMode(m)));
    }
    Ref<IVirtualAtom> OpenRootAtom() override { return Wrap(inner_->OpenRootAtom()); }
    Ref<IVirtualAtom> OpenRootAtomWithMode(uint8_t m) override { return Wrap(inner_->OpenRootAtomWithMode(m)); }
    Ref<IVirtualAtom> OpenAtom(const TAtomID& id) override { return Wrap(inner_->OpenAtom(id)); }
    Ref<IVirtualAtom> OpenAtomWithMode(const TAtomID& id, uint8_t m) override {
        return Wrap(inner_->OpenAtomWithMode(id, m));
    }
    void Flush() override { inner_->Flush(); }
    Ref<IStorageTransaction> StartTransaction() override { return inner_->StartTransaction(); }
    TTransactionArray GetTransactions() override { return inner_->GetTransactions(); }
    Ref<IEnumVirtualAtoms> EnumAtoms(uint8_t m) override { return inner_->EnumAtoms(m); }
    uint8_t GetAccessMask() override { return inner_->GetAccessMask(); }
    TGUID GetDataClass() override { return inner_->GetDataClass(); }
    TGUID GetStorageID() override { return inner_->GetStorageID(); }
    std::string GetURL() override { return inner_->GetURL(); }
    void Commit() override { inner_->Commit(); }
    void Abort() override { inner_->Abort(); }
    Ref<IVirtualStorage> GetStorage() override { return inner_->GetStorage(); }
    int32_t GetTransactionID() override { return inner_->GetTransactionID(); }
    Ref<IStorageTransaction> GetParent() override { return inner_->GetParent(); }

private:
    // The store reuses the number of an atom it freed: a new atom under it
    // starts with a clean record.
    Ref<IVirtualAtom> Made(Ref<IVirtualAtom> a) {
        const uint32_t n = RefCast<IAtomIdentity>(a)->GetID().AtomNumber;
        log_->zeroed.erase(n);
        log_->how.erase(n);
        return a;
    }
    Ref<IVirtualAtom> Wrap(Ref<IVirtualAtom> a) { return TRecordingAtom::Wrap(std::move(a), Ref<IStorageTransaction>(this), log_); }

    Ref<IStorageTransaction> inner_;
    TZeroLog* log_;
};

void Reachable(const TBTreeNode& node, std::set<uint32_t>& out) {
    out.insert(RefCast<IAtomIdentity>(node.Atom())->GetID().AtomNumber);
    for (uint32_t i = 0; i < node.Count(); ++i)
        if (auto v = node.LinkTarget(i)) out.insert(RefCast<IAtomIdentity>(v)->GetID().AtomNumber);
    for (uint32_t j = 0; j <= node.Count(); ++j) {
        if (auto c = node.OpenChild(j, amRead)) {
            TBTreeNode child(c, node.PageSize());
            child.Read();
            Reachable(child, out);
        }
    }
}

TEST(BTreeLinks, NoLiveAtomEverLosesItsLastLink) {
    for (uint32_t P : {4u, 6u}) {
        SCOPED_TRACE(P);
        TZeroLog log;
        test::TMemoryVolumes volumes;
        auto storage = volumes.Create();
        Ref<IStorageTransaction> inner = storage->StartTransaction();
        Ref<IStorageTransaction> tr = MakeRef<TRecordingTransaction>(inner, &log);
        Ref<IVirtualAtom> indexAtom;
        Ref<IIndexer> index = IndexFactory()->CreateIndex(tr, indexAtom, "", "PageSize=" + std::to_string(P));
        tr->OpenRootAtom()->SetLink(0, indexAtom);
        auto& tree = dynamic_cast<TBTreeIndex&>(*index);

        std::mt19937 rng(P);
        std::map<int, bool> present;
        bool lastInsert = false;
        for (int op = 0; op < 3000; ++op) {
            const int key = int(rng() % 300);
            std::string bytes = {char(key >> 8), char(key)};
            lastInsert = rng() % 5 < 3;
            if (lastInsert) {
                index->Insert(bytes);
                present[key] = true;
            } else {
                ASSERT_EQ(index->Delete(bytes), present.erase(key) == 1);
            }
            std::set<uint32_t> live;
            Reachable(tree.Root(), live);
            for (uint32_t n : live) ASSERT_EQ(log.zeroed.count(n), 0u) << "atom " << n << " at op " << op << " " << log.how[n] << " insert=" << lastInsert;
        }
        // Deleted values did reach zero: the log sees real drops.
        EXPECT_FALSE(log.zeroed.empty());
    }
}

}  // namespace
}  // namespace tlvx
