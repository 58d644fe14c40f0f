// The rules of the storage interfaces as the file storage keeps them:
// well-known atoms, nested transactions, share rules, access checks, links
// and identity, read-only opens and the atom stream.
#include <gtest/gtest.h>

#include <random>

#include "platform/byte_codec.h"
#include "store/atom_stream.h"
#include "store/crc32.h"
#include "store/errors.h"
#include "store/testing/memory_volumes.h"

namespace tlvx {
namespace {

// Runs f and returns the code and message of the EQmzError it raises.
template <class F>
std::pair<int32_t, std::string> ErrorOf(F&& f) {
    try {
        f();
    } catch (const EQmzError& e) {
        return {e.ErrorCode(), e.what()};
    }
    return {0, ""};
}

std::string Text(const Ref<IVirtualAtom>& a) { return a->GetAsString(); }

class StorageRules : public ::testing::Test {
protected:
    test::TMemoryVolumes volumes;
};
using AtomStream = StorageRules;

TEST_F(StorageRules, NewVolumeHasPinnedWellKnownAtoms) {
    auto s = volumes.Create();
    auto root = s->OpenRootAtom();
    auto second = s->OpenSecondRootAtomWithMode(amRead);
    int32_t links = 0, ext = 0;
    RefCast<IAtomIdentity>(root)->GetRefCounts(links, ext);
    EXPECT_EQ(links, 1);
    EXPECT_EQ(ext, 0);
    EXPECT_EQ(root->GetSize(), 0);
    EXPECT_EQ(root->GetLinkCount(), 0);
    EXPECT_EQ(RefCast<IAtomIdentity>(second)->GetID().AtomNumber, 2u);
    EXPECT_EQ(s->GetAccessMask(), 31);
}

TEST_F(StorageRules, NestedTransactionsSeeParentsAndCommitUpwards) {
    auto s = volumes.Create();
    auto outer = s->StartTransaction();
    {
        auto root = outer->OpenRootAtom();
        root->SetAsString("outer");
    }
    auto inner = outer->StartTransaction();
    EXPECT_EQ(inner->GetParent().get(), outer.get());
    TAtomID made;
    {
        auto root = inner->OpenRootAtom();
        EXPECT_EQ(Text(root), "outer");
        root->SetAsString("inner");
        auto child = inner->CreateAtom();
        child->SetAsString("child");
        root->SetLink(0, child);
        made = RefCast<IAtomIdentity>(child)->GetID();
    }
    // The parent does not see the child's changes before its commit: the
    // atom the child wrote stays locked against readers above it, and the
    // atom it made does not exist up there.
    EXPECT_EQ(ErrorOf([&] { outer->OpenRootAtomWithMode(amRead); }).first, ecShareViolation);
    EXPECT_EQ(ErrorOf([&] { outer->OpenAtom(made); }).first, ecInvalidAtomAddress);
    inner->Commit();
    EXPECT_EQ(inner->GetTransactionID(), 0);
    EXPECT_EQ(Text(outer->OpenRootAtomWithMode(amRead)), "inner");
    EXPECT_EQ(ErrorOf([&] { s->OpenRootAtomWithMode(amRead); }).first, ecShareViolation);
    EXPECT_EQ(ErrorOf([&] { s->OpenAtom(made); }).first, ecInvalidAtomAddress);
    outer->Commit();
    auto root = s->OpenRootAtom();
    EXPECT_EQ(Text(root), "inner");
    EXPECT_EQ(Text(root->OpenLink(0)), "child");
    int32_t links = 0, ext = 0;
    RefCast<IAtomIdentity>(root->OpenLink(0))->GetRefCounts(links, ext);
    EXPECT_EQ(links, 1);
}

TEST_F(StorageRules, AbortAndDroppedTransactionLeaveNoTrace) {
    auto s = volumes.Create();
    {
        auto t = s->StartTransaction();
        t->OpenRootAtom()->SetAsString("aborted");
        t->Abort();
        EXPECT_EQ(t->GetTransactionID(), 0);
        EXPECT_EQ(t->GetAccessMask(), 0);
    }
    {
        auto t = s->StartTransaction();
        t->OpenRootAtom()->SetAsString("dropped");
    }
    EXPECT_EQ(Text(s->OpenRootAtom()), "");
    EXPECT_TRUE(s->GetTransactions().empty());
}

TEST_F(StorageRules, EndedTransactionRefusesWork) {
    auto s = volumes.Create();
    auto t = s->StartTransaction();
    t->Commit();
    EXPECT_EQ(ErrorOf([&] { t->Commit(); }), std::make_pair(7, std::string("Cannot commit transaction")));
    EXPECT_EQ(ErrorOf([&] { t->Abort(); }), std::make_pair(7, std::string("Cannot abort transaction")));
    EXPECT_EQ(ErrorOf([&] { t->CreateAtom(); }), std::make_pair(3, std::string("Access is denied")));
    EXPECT_EQ(ErrorOf([&] { t->OpenRootAtom(); }).first, 3);
    EXPECT_EQ(ErrorOf([&] { t->StartTransaction(); }).first, 3);
    EXPECT_EQ(t->GetStorage().get(), static_cast<IVirtualStorage*>(s.get()));
}

TEST_F(StorageRules, CommitAndAbortWithOpenAtomsRaiseCode7AndStayActive) {
    auto s = volumes.Create();
    auto t = s->StartTransaction();
    auto root = t->OpenRootAtom();
    EXPECT_EQ(ErrorOf([&] { t->Commit(); }),
              std::make_pair(7, std::string("Cannot commit transaction: some atoms are still opened")));
    EXPECT_NE(t->GetTransactionID(), 0);
    // An atom open in a child blocks the abort of the parent, not its commit.
    auto child = t->StartTransaction();
    root->Close();
    auto inChild = child->OpenRootAtom();
    EXPECT_EQ(ErrorOf([&] { t->Abort(); }),
              std::make_pair(7, std::string("Cannot abort transaction: some atoms are still opened")));
    t->Commit();
    // The child moved to the storage level and still works.
    EXPECT_NE(child->GetTransactionID(), 0);
    // Listed as long as the objects live: the committed one and the child.
    auto listed = s->GetTransactions();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1].get(), child.get());
    inChild->SetAsString("late");
    inChild->Close();
    child->Commit();
    EXPECT_EQ(Text(s->OpenRootAtom()), "late");
}

TEST_F(StorageRules, ShareRules) {
    auto s = volumes.Create();
    auto t = s->StartTransaction();
    auto r1 = t->OpenRootAtomWithMode(amReadData);
    auto r2 = t->OpenRootAtomWithMode(amReadData);
    EXPECT_EQ(ErrorOf([&] { t->OpenRootAtomWithMode(amWriteData); }),
              std::make_pair(4, std::string("Atom share violation")));
    auto links = t->OpenRootAtomWithMode(amWriteLinks);  // links lock separately
    EXPECT_EQ(ErrorOf([&] { t->OpenRootAtomWithMode(amWriteLinks); }).first, 4);
    // A failed re-mode keeps the old mode and its locks.
    EXPECT_EQ(ErrorOf([&] { r1->SetAccessMode(amReadWrite); }).first, 4);
    EXPECT_EQ(r1->GetAccessMode(), amReadData);
    r2->Close();
    links->Close();
    r1->SetAccessMode(amReadWrite);
    EXPECT_EQ(ErrorOf([&] { t->OpenRootAtomWithMode(amReadData); }).first, 4);
}

TEST_F(StorageRules, AtomAccessChecks) {
    auto s = volumes.Create();
    auto a = s->OpenRootAtomWithMode(amRead);
    EXPECT_EQ(ErrorOf([&] { a->Write(0, "x", 1); }), std::make_pair(3, std::string("Atom access is denied")));
    EXPECT_EQ(ErrorOf([&] { a->SetLink(0, nullptr); }).first, 3);
    EXPECT_FALSE(a->HasLink(0));
    EXPECT_EQ(a->OpenLink(0), nullptr);
    EXPECT_EQ(a->GetAsString(), "");
    a->Close();
    EXPECT_EQ(ErrorOf([&] { a->GetSize(); }), std::make_pair(3, std::string("Access is denied")));
    EXPECT_NE(a->GetStorage(), nullptr);
    a->Close();  // twice is harmless
}

TEST_F(StorageRules, LinksAndIdentity) {
    auto s = volumes.Create();
    auto other = volumes.Create("/memory/other.orv");
    auto root = s->OpenRootAtom();
    auto b = s->CreateAtom();
    root->SetLink(5, b);
    EXPECT_EQ(root->GetLinkCount(), 6);
    EXPECT_FALSE(root->HasLink(2));
    EXPECT_TRUE(root->OpenLinkWithMode(5, 0)->IsSameAtom(b));
    auto foreign = other->OpenRootAtom();
    EXPECT_EQ(ErrorOf([&] { root->SetLink(5, foreign); }).first, ecCapabilityNotSupported);
    EXPECT_TRUE(root->HasLink(5));
    EXPECT_EQ(ErrorOf([&] { s->OpenAtom(RefCast<IAtomIdentity>(foreign)->GetID()); }).first, 2);
    root->InsertLink(0, nullptr);
    EXPECT_TRUE(root->HasLink(6));
    root->DeleteLink(0);
    root->DeleteLink(100);
    EXPECT_TRUE(root->HasLink(5));
    root->SetLinkCount(1);
    int32_t links = 0, ext = 0;
    RefCast<IAtomIdentity>(b)->GetRefCounts(links, ext);
    EXPECT_EQ(links, 0);
    EXPECT_FALSE(root->IsSameAtom(nullptr));
    EXPECT_FALSE(root->IsSameAtom(b));
    EXPECT_TRUE(root->IsSameAtom(s->OpenRootAtomWithMode(0)));
    TAtomID id = b->AddExternalRef();
    EXPECT_EQ(id.AtomNumber, 3u);
    RefCast<IAtomIdentity>(b)->GetRefCounts(links, ext);
    EXPECT_EQ(ext, 1);
}

// A link whose atom the file no longer holds (a damaged file: the atom's
// entry reads as free) is a broken link, and the atom an invalid address.
TEST_F(StorageRules, LinkToAtomThatVanishedIsBroken) {
    TAtomID madeId;
    {
        auto s = volumes.Create();
        auto made = s->CreateAtom();
        madeId = RefCast<IAtomIdentity>(made)->GetID();
        s->OpenRootAtom()->SetLink(0, made);
    }
    // The entry of the atom in the first atom table, written free.
    std::string bytes = volumes.Bytes();
    const uint64_t table = GetU64(reinterpret_cast<const uint8_t*>(bytes.data()) + 24);
    uint8_t entry[32] = {};
    PutU32(entry, Crc32(entry + 4, 28));
    bytes.replace(size_t(table + 16 + 32 * (madeId.AtomNumber - 1)), sizeof entry,
                  reinterpret_cast<const char*>(entry), sizeof entry);
    volumes.Files().SetContents(test::TMemoryVolumes::kName, bytes);

    auto s = volumes.Open(false);
    auto root = s->OpenRootAtom();
    EXPECT_TRUE(root->HasLink(0));
    EXPECT_EQ(ErrorOf([&] { root->OpenLink(0); }),
              std::make_pair(10, std::string("Broken link (atom does not exist)")));
    EXPECT_EQ(ErrorOf([&] { s->OpenAtom(madeId); }), std::make_pair(5, std::string("Invalid atom address")));
}

// A link can only name an atom that exists where it is set: one made in a
// transaction does not exist outside it, and is gone once that aborts.
TEST_F(StorageRules, LinkToAtomOfAnotherLevelIsRefused) {
    auto s = volumes.Create();
    auto root = s->OpenRootAtom();
    TAtomID madeId;
    {
        auto t = s->StartTransaction();
        auto made = t->CreateAtom();
        madeId = RefCast<IAtomIdentity>(made)->GetID();
        EXPECT_EQ(ErrorOf([&] { root->SetLink(0, made); }),  // from outside the transaction
                  std::make_pair(5, std::string("Invalid atom address")));
        made->Close();
        t->Abort();
    }
    EXPECT_FALSE(root->HasLink(0));
    EXPECT_EQ(root->OpenLink(0), nullptr);
    EXPECT_EQ(ErrorOf([&] { s->OpenAtom(madeId); }), std::make_pair(5, std::string("Invalid atom address")));
}

TEST_F(StorageRules, StaleChildAfterParentAbortNeverTouchesNewTransactions) {
    auto s = volumes.Create();
    auto parent = s->StartTransaction();
    auto stale = parent->StartTransaction();
    int32_t staleId = stale->GetTransactionID();
    parent->Abort();
    EXPECT_EQ(stale->GetTransactionID(), 0);
    EXPECT_EQ(stale->GetAccessMask(), 0);
    auto a = s->StartTransaction();
    auto b = s->StartTransaction();
    EXPECT_TRUE(a->GetTransactionID() == staleId || b->GetTransactionID() == staleId);
    b->OpenRootAtom()->SetAsString("kept");
    EXPECT_EQ(ErrorOf([&] { stale->Abort(); }).first, 7);
    stale.reset();  // its destructor must not abort b
    EXPECT_NE(b->GetTransactionID(), 0);
    b->Commit();
    a->Commit();
    EXPECT_EQ(Text(s->OpenRootAtom()), "kept");
}

TEST_F(StorageRules, TransactionInfoOpensInTheTransaction) {
    auto s = volumes.Create();
    auto t = s->StartTransaction();
    auto child = t->StartTransaction();
    EXPECT_EQ(t->GetTransactions().size(), 1u);
    EXPECT_EQ(t->GetTransactions()[0].get(), child.get());
    auto info = RefCast<IStorageInfo>(child);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetSecondRootAtomID().AtomNumber, 2u);
    EXPECT_EQ(info->GetRootAtomID().StorageID, s->GetStorageID());
    info->OpenSecondRootAtom()->SetAsString("in child");
    EXPECT_EQ(ErrorOf([&] { s->OpenSecondRootAtom(); }).first, ecShareViolation);
    child->Commit();
    t->Commit();
    EXPECT_EQ(s->OpenSecondRootAtom()->GetAsString(), "in child");
    EXPECT_EQ(info->GetCacheCapacity(), 8000);
    s->ForceClose();
    EXPECT_EQ(info->GetCacheCapacity(), 0);
    EXPECT_EQ(info->GetCreated(), 0);
}

TEST_F(StorageRules, TransactionNumbersAreReusedLastInFirstOut) {
    auto s = volumes.Create();
    auto t = s->StartTransaction();
    int32_t first = t->GetTransactionID();
    t->Abort();
    EXPECT_EQ(s->StartTransaction()->GetTransactionID(), first);
}

TEST_F(StorageRules, ReadOnlyStorage) {
    volumes.Create();
    auto s = volumes.Open(true);
    EXPECT_EQ(s->GetAccessMask(), 3);
    auto root = s->OpenRootAtomWithMode(15);
    EXPECT_EQ(root->GetAccessMode(), 3);
    auto t = s->StartTransaction();
    EXPECT_EQ(t->GetAccessMask(), 3);
    EXPECT_EQ(ErrorOf([&] { t->CreateAtom(); }), std::make_pair(3, std::string("Access is denied")));
    EXPECT_EQ(ErrorOf([&] { s->CreateAtom(); }).first, 3);
    root->AddExternalRef();  // ignored, not an error
    int32_t links = 0, ext = 0;
    RefCast<IAtomIdentity>(root)->GetRefCounts(links, ext);
    EXPECT_EQ(ext, 0);
}

TEST_F(StorageRules, VolumeKeepsCommittedStateAcrossStorages) {
    {
        auto s = volumes.Create();
        auto t = s->StartTransaction();
        t->OpenRootAtom()->SetAsString("saved");
        t->Commit();
        auto t2 = s->StartTransaction();
        t2->OpenRootAtom()->SetAsString("lost");
    }
    auto s = volumes.Open(true);
    EXPECT_EQ(Text(s->OpenRootAtom()), "saved");
}

TEST_F(StorageRules, EnumeratorSkipsLockedAtoms) {
    auto s = volumes.Create();
    std::vector<Ref<IVirtualAtom>> made;
    for (int i = 0; i < 4; ++i) made.push_back(s->CreateAtom());  // atoms 3..6
    {
        // Linked, so that the store keeps them once closed.
        auto root = s->OpenRootAtom();
        for (int i = 0; i < 4; ++i) root->SetLink(i, made[size_t(i)]);
    }
    made.erase(made.begin() + 2);  // atom 5 closed, the others stay locked for writing
    auto e = s->EnumAtoms(amRead);
    std::vector<uint32_t> seen;
    while (auto a = e->Next()) seen.push_back(RefCast<IAtomIdentity>(a)->GetID().AtomNumber);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 5}));
    e->Reset();
    auto c = e->Clone();
    EXPECT_EQ(RefCast<IAtomIdentity>(c->Next())->GetID().AtomNumber, 1u);
}

// Random nesting, writes, commits and aborts against a stack of plain
// strings: what each level sees must match the model.
TEST_F(StorageRules, RandomNestingMatchesModel) {
    std::mt19937 rng(7);
    auto s = volumes.Create();
    std::vector<Ref<IStorageTransaction>> stack;
    std::vector<std::vector<std::string>> model{{"", "", ""}};  // level 0 = committed
    std::vector<TAtomID> ids;
    for (int i = 0; i < 3; ++i) {
        auto a = s->CreateAtom();
        s->OpenRootAtom()->SetLink(i, a);  // kept by the link
        ids.push_back(RefCast<IAtomIdentity>(a)->GetID());
    }
    for (int step = 0; step < 3000; ++step) {
        int op = int(rng() % 10);
        if (op < 2 && stack.size() < 5) {
            stack.push_back(stack.empty() ? s->StartTransaction() : stack.back()->StartTransaction());
            model.push_back(model.back());
        } else if (op < 3 && !stack.empty()) {
            stack.back()->Commit();
            stack.pop_back();
            auto top = model.back();
            model.pop_back();
            model.back() = top;
        } else if (op < 4 && !stack.empty()) {
            if (rng() % 2) stack.back()->Abort();
            stack.pop_back();  // dropping it aborts as well
            model.pop_back();
        } else {
            size_t which = rng() % ids.size();
            IVirtualStorage* where = stack.empty() ? static_cast<IVirtualStorage*>(s.get()) : stack.back().get();
            auto atom = where->OpenAtom(ids[which]);
            ASSERT_EQ(atom->GetAsString(), model.back()[which]) << "step " << step;
            if (op >= 7) {
                std::string text = std::to_string(step);
                atom->SetAsString(text);
                model.back()[which] = text;
            }
        }
    }
    while (!stack.empty()) {
        stack.back()->Commit();
        stack.pop_back();
        auto top = model.back();
        model.pop_back();
        model.back() = top;
    }
    for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(s->OpenAtom(ids[i])->GetAsString(), model[0][i]);
}

TEST_F(AtomStream, ReadWriteSeekSize) {
    auto s = volumes.Create();
    auto a = s->CreateAtom();
    TStream& st = a->GetStream();
    st.WriteU32(0x04030201);
    st.Write("xyz", 3);
    EXPECT_EQ(st.Position(), 7u);
    EXPECT_EQ(st.Size(), 7u);
    auto& as = static_cast<TAtomStream&>(st);
    EXPECT_EQ(as.SeekFrom(0, TAtomStream::soEnd), 7);
    EXPECT_EQ(as.SeekFrom(-3, TAtomStream::soCurrent), 4);
    char buf[8] = {};
    EXPECT_EQ(st.Read(buf, 8), 3u);
    EXPECT_EQ(std::string(buf), "xyz");
    EXPECT_EQ(st.Read(buf, 8), 0u);
    st.Seek(0);
    EXPECT_EQ(st.ReadU32(), 0x04030201u);
    // Writing past the end zero-fills the gap.
    st.Seek(10);
    st.WriteU8(9);
    EXPECT_EQ(a->GetAsBytes(), (std::vector<uint8_t>{1, 2, 3, 4, 'x', 'y', 'z', 0, 0, 0, 9}));
    st.SetSize(2);
    EXPECT_EQ(a->GetSize(), 2);
    // Positions outside 0..INT32_MAX raise and change nothing.
    st.Seek(1);
    EXPECT_EQ(ErrorOf([&] { as.SeekFrom(-2, TAtomStream::soCurrent); }).first, 3);
    EXPECT_EQ(ErrorOf([&] { as.SeekFrom(int64_t(INT32_MAX), TAtomStream::soCurrent); }).first, 3);
    EXPECT_EQ(st.Position(), 1u);
    as.SeekFrom(INT32_MAX, TAtomStream::soBeginning);
    EXPECT_EQ(ErrorOf([&] { st.WriteU8(1); }).first, 3);
    EXPECT_EQ(a->GetSize(), 2);
    EXPECT_EQ(ErrorOf([&] { a->Write(INT32_MAX, "ab", 2); }).first, 3);
    EXPECT_EQ(a->Read(-5, buf, 2), 0);
}

}  // namespace
}  // namespace tlvx
