// The atom cache's two bounds and its shared arrays, and atom opens on a
// read-only file, over an in-memory file that survives reopen.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "store/errors.h"
#include "store/memory_atom_file_test.h"
#include "store/orv_base.h"

namespace tlvx {
namespace {

using test::TMemoryAtomFile;
using test::TMemoryDisk;

struct Store {
    std::shared_ptr<TMemoryDisk> disk = std::make_shared<TMemoryDisk>();
    std::unique_ptr<TOrvBase> base;
    Store() { Reopen(); }
    void Reopen(bool readOnly = false) {
        base.reset();
        base = std::make_unique<TOrvBase>(std::make_unique<TMemoryAtomFile>(disk, readOnly));
    }
    TOrvBase* operator->() { return base.get(); }
};

int CodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EQmzError& e) {
        return e.ErrorCode();
    }
    return 0;
}

std::string Text(const TSharedBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// An atom held from outside, made and stored at the root level.
uint32_t MakeAtom(TOrvBase& b, const std::string& data, std::vector<uint32_t> links = {}) {
    Ref<TAtom> a = b.CreateAtom(0, 15);
    a->Write(0, data.data(), uint32_t(data.size()));
    for (uint32_t i = 0; i < links.size(); ++i) a->SetLink(i, links[i]);
    a->AddExternalRefs(1);
    uint32_t h = a->GetHandle();
    a->Close();
    return h;
}

TEST(AtomCacheBounds, BudgetHoldsTheBytesAndNeverDropsTheAtomInUse) {
    Store s;
    std::vector<uint32_t> handles;
    for (int i = 1; i <= 40; ++i) handles.push_back(MakeAtom(*s.base, std::string(size_t(i) * 100, 'x')));
    TAtomCache& c = s->Cache();
    c.Clear();
    c.SetCapacity(kUnboundedCacheCapacity);
    const uint64_t budget = 16 * 1024;
    c.SetBudget(budget);
    uint64_t charged = 0;
    TAtomData d;
    for (size_t i = 0; i < handles.size(); ++i) {
        c.Get(handles[i], kAllParts, d);
        EXPECT_EQ(d.data.size(), (i + 1) * 100);
        EXPECT_LE(c.GetBytes(), budget) << i;
        charged = std::max(charged, c.GetBytes());
    }
    // The newest atoms stay, the oldest went; the charge follows the data.
    EXPECT_LT(c.GetCount(), handles.size());
    EXPECT_GT(charged, budget / 2);
    uint64_t lookups0, hits0, lookups1, hits1;
    c.GetStats(lookups0, hits0);
    c.Get(handles.back(), kAllParts, d);
    c.Get(handles.front(), kAllParts, d);
    c.GetStats(lookups1, hits1);
    EXPECT_EQ(lookups1 - lookups0, 2u);
    EXPECT_EQ(hits1 - hits0, 1u);

    // One atom bigger than the whole budget is still held while it is read.
    const uint32_t big = MakeAtom(*s.base, std::string(40000, 'b'));
    c.Get(big, kAllParts, d);
    EXPECT_EQ(c.GetCount(), 1u);
    EXPECT_GT(c.GetBytes(), budget);
    EXPECT_EQ(d.data.size(), 40000u);
    // A budget of nothing keeps only the atom of the current call; the atom
    // count binds as well.
    c.SetBudget(0);
    c.Get(handles[3], kAllParts, d);
    EXPECT_EQ(c.GetCount(), 1u);
    EXPECT_EQ(c.GetItemHandle(0), handles[3]);
    c.SetBudget(kDefaultCacheBudget);
    c.SetCapacity(3);
    for (uint32_t h : handles) c.Get(h, kAllParts, d);
    EXPECT_EQ(c.GetCount(), 3u);
    c.Clear();
    EXPECT_EQ(c.GetBytes(), 0u);
}

// Random reads, writes, removals and bound changes against what each atom
// holds: the cache always gives an atom's own bytes, counts what it holds
// and never keeps more than its bounds allow (beyond the atom in use).
TEST(AtomCacheBounds, RandomUseAgainstAMapOfTheAtoms) {
    Store s;
    std::map<uint32_t, std::string> want;
    std::mt19937 random(5);
    for (int i = 0; i < 300; ++i) {
        std::string data(random() % 90, char('a' + i % 26));
        want[MakeAtom(*s.base, data)] = data;
    }
    std::vector<uint32_t> handles;
    for (const auto& [h, d] : want) handles.push_back(h);
    TAtomCache& c = s->Cache();
    c.Clear();
    for (int step = 0; step < 20000; ++step) {
        const uint32_t h = handles[random() % handles.size()];
        switch (random() % 10) {
            case 0:
                c.Remove(h);
                break;
            case 1: {
                // A write through an open atom stores through the cache.
                std::string data(random() % 90, char('A' + step % 26));
                Ref<TAtom> a = s->OpenAtom(0, h, amReadWrite);
                a->SetDataSize(0);
                if (!data.empty()) a->Write(0, data.data(), uint32_t(data.size()));
                want[h] = data;
                break;
            }
            case 2:
                c.SetCapacity(random() % 2 ? kUnboundedCacheCapacity : 1 + random() % 200);
                c.SetBudget(random() % 2 ? kDefaultCacheBudget : 64 + random() % 20000);
                break;
            case 3:
                if (random() % 50 == 0) c.Clear();
                break;
            default: {
                TAtomData d;
                c.Get(h, kAllParts, d);
                ASSERT_EQ(Text(d.data), want[h]) << "step " << step << " handle " << h;
                ASSERT_TRUE(c.GetCount() <= 1 || c.GetCount() <= c.GetCapacity()) << step;
                ASSERT_TRUE(c.GetCount() <= 1 || c.GetBytes() <= c.GetBudget()) << step;
            }
        }
    }
    // The items listed are the ones held, each once.
    std::set<uint32_t> listed;
    for (uint32_t i = 0; i < c.GetCount(); ++i) listed.insert(c.GetItemHandle(i));
    EXPECT_EQ(listed.size(), c.GetCount());
    EXPECT_EQ(c.GetItemHandle(c.GetCount()), 0u);
}

TEST(AtomCacheBounds, ReadsShareTheCachedArraysAndWritesCopyThem) {
    Store s;
    const uint32_t target = MakeAtom(*s.base, "target");
    const uint32_t h = MakeAtom(*s.base, std::string(64, 's'), {target, 1});
    TAtomCache& c = s->Cache();
    TAtomData first, second;
    c.Get(h, kAllParts, first);
    c.Get(h, kAllParts, second);
    EXPECT_TRUE(first.data.SharesWith(second.data));
    EXPECT_TRUE(first.links.SharesWith(second.links));

    // Two open atoms read the one cached buffer; a write makes the writer's
    // own copy and, once stored, the cache holds the new bytes while the
    // arrays handed out before keep what they held.
    {
        Ref<TAtom> reader = s->OpenAtom(0, h, amRead);
        Ref<TAtom> other = s->OpenAtom(0, h, amRead);
        EXPECT_EQ(CodeOf([&] { s->OpenAtom(0, h, amWriteData); }), ecShareViolation);
        reader->Close();
        other->Close();
        Ref<TAtom> writer = s->OpenAtom(0, h, amReadWrite);
        writer->Write(0, "W", 1);
        writer->SetLink(0, 0);
    }
    TAtomData after;
    c.Get(h, kAllParts, after);
    EXPECT_EQ(Text(first.data), std::string(64, 's'));
    EXPECT_EQ(first.links, (std::vector<uint32_t>{target, 1}));
    const std::string written = std::string(1, 'W').append(63, 's');
    EXPECT_EQ(Text(after.data), written);
    EXPECT_EQ(after.links, (std::vector<uint32_t>{0, 1}));

    // The same holds through a reopen: the file has what the cache had.
    s.Reopen();
    Ref<TAtom> again = s->OpenAtom(0, h, amRead);
    std::string back(again->GetDataSize(), '\0');
    again->Read(0, back.data(), uint32_t(back.size()));
    EXPECT_EQ(back, written);
    EXPECT_EQ(again->GetLink(0), 0u);
    EXPECT_EQ(again->GetLink(1), 1u);
}

TEST(ReadOnlyOpens, EveryOpenReadsTheStoredAtomUnderTheSameRules) {
    Store s;
    const uint32_t h = MakeAtom(*s.base, "stored", {1, 0, 2});
    s.Reopen(true);
    const uint32_t top = s->StartTransaction(0);
    const uint32_t inner = s->StartTransaction(top);

    Ref<TAtom> a = s->OpenAtom(inner, h, amRead);
    Ref<TAtom> b = s->OpenAtom(inner, h, amRead);
    Ref<TAtom> outer = s->OpenAtom(top, h, amReadData);
    EXPECT_EQ(a->GetDataSize(), 6u);
    EXPECT_EQ(b->GetLinkCount(), 3u);
    EXPECT_EQ(b->GetLink(2), 2u);
    EXPECT_EQ(CodeOf([&] { outer->GetLink(0); }), ecAccessDenied);

    // Mode changes that only read pass; anything that writes is refused.
    a->SetMode(amReadLinks);
    EXPECT_EQ(CodeOf([&] { a->GetDataSize(); }), ecAccessDenied);
    a->SetMode(amRead);
    EXPECT_EQ(CodeOf([&] { a->SetMode(amReadWrite); }), ecAccessDenied);
    EXPECT_EQ(a->GetMode(), amRead);
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(inner, h, amWriteData); }), ecAccessDenied);
    EXPECT_EQ(CodeOf([&] { a->AddExternalRefs(1); }), ecAccessDenied);

    // Counts are absolute at the root level and changes (none) below it.
    Ref<TAtom> rootLevel = s->OpenAtom(0, 1, 0);
    Ref<TAtom> inTransaction = s->OpenAtom(inner, 1, 0);
    EXPECT_EQ(rootLevel->GetLinkRefs(), 2);  // the pin and the link of h
    EXPECT_EQ(inTransaction->GetLinkRefs(), 0);
    EXPECT_EQ(outer->GetExternalRefs(), 0);
    rootLevel->Close();

    // Open atoms hold their transaction as they would on a writable file.
    EXPECT_EQ(CodeOf([&] { s->Commit(inner); }), ecTransactionFailed);
    EXPECT_EQ(CodeOf([&] { s->Abort(top); }), ecTransactionFailed);
    a->Close();
    b->Close();
    inTransaction->Close();
    s->Commit(inner);
    outer->Close();
    s->Abort(top);

    // A handle that names no atom, and one beyond the tables.
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(0, h + 1, amRead); }), ecInvalidAtomAddress);
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(0, 1u << 30, amRead); }), ecInvalidAtomAddress);

    // Reading one atom many times reads the file once.
    uint64_t lookups0, hits0, lookups1, hits1;
    s->Cache().GetStats(lookups0, hits0);
    for (int i = 0; i < 50; ++i) s->OpenAtom(0, h, amRead)->GetDataSize();
    s->Cache().GetStats(lookups1, hits1);
    EXPECT_GE(hits1 - hits0, 49u);
}

}  // namespace
}  // namespace tlvx
