// The atom manager's stored encoding, the cache with its two bounds and its
// shared arrays, nested transactions and the opens of a read-only file, over
// an in-memory file that survives reopen.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "store/atom_manager.h"
#include "store/crc32.h"
#include "store/errors.h"
#include "store/orv_base.h"
#include "store/testing/memory_atom_file.h"

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
    TOrvBase& operator*() { return *base; }
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

std::string ReadAll(TAtom& a) {
    std::string s(a.GetDataSize(), '\0');
    a.Read(0, s.data(), uint32_t(s.size()));
    return s;
}

// Makes an atom referenced from outside, with data and links.
uint32_t MakeAtom(TOrvBase& b, uint32_t tr, const std::string& data,
                  std::vector<uint32_t> links = {}) {
    Ref<TAtom> a = b.CreateAtom(tr, 15);
    a->Write(0, data.data(), uint32_t(data.size()));
    for (uint32_t i = 0; i < links.size(); ++i) a->SetLink(i, links[i]);
    a->AddExternalRefs(1);
    uint32_t h = a->GetHandle();
    a->Close();
    return h;
}

uint64_t EntryPos(TMemoryDisk& d, uint32_t h) { return d.atomTablePos + 16 + 32ull * (h - 1); }

TEST(AtomStore, NewFileHasPinnedAtomsOneAndTwo) {
    Store s;
    for (uint32_t h : {1u, 2u}) {
        Ref<TAtom> a = s->OpenAtom(0, h, 3);
        EXPECT_EQ(a->GetLinkRefs(), 1);
        EXPECT_EQ(a->GetExternalRefs(), 0);
        EXPECT_EQ(a->GetDataSize(), 0u);
        EXPECT_EQ(a->GetLinkCount(), 0u);
    }
    EXPECT_EQ(s->Manager().TableCount(), 1u);
    EXPECT_EQ(s->Manager().TotalCapacity(), 256u);
}

TEST(AtomStore, EncodingRoundTripsThroughReopen) {
    Store s;
    uint32_t tr = s->StartTransaction(0);
    // 10 data bytes and 3 one-byte links: 13 bytes, inline.
    uint32_t a = MakeAtom(*s, tr, std::string(10, 'a'), {1, 2, 1});
    // 17 + 3 = 20 bytes: external.
    uint32_t b = MakeAtom(*s, tr, std::string(17, 'b'), {1, 2, 1});
    // 19 bytes exactly: inline.
    uint32_t c = MakeAtom(*s, tr, std::string(16, 'c'), {1, 2, 1});
    // Trailing empty link: dropped inline, kept external.
    uint32_t d = MakeAtom(*s, tr, "dd", {1, 0});
    uint32_t e = MakeAtom(*s, tr, std::string(30, 'e'), {1, 0});
    s->Commit(tr);
    s.Reopen();
    auto& disk = *s.disk;
    EXPECT_EQ(disk.bytes[EntryPos(disk, a) + 12], 0x80 | 10);
    EXPECT_EQ(disk.bytes[EntryPos(disk, b) + 12], 0x00);
    EXPECT_EQ(disk.bytes[EntryPos(disk, c) + 12], 0x80 | 16);
    struct Want { uint32_t h; std::string data; std::vector<uint32_t> links; };
    for (const Want& w : {Want{a, std::string(10, 'a'), {1, 2, 1}},
                          Want{b, std::string(17, 'b'), {1, 2, 1}},
                          Want{c, std::string(16, 'c'), {1, 2, 1}},
                          Want{d, "dd", {1}},
                          Want{e, std::string(30, 'e'), {1, 0}}}) {
        Ref<TAtom> x = s->OpenAtom(0, w.h, 3);
        EXPECT_EQ(ReadAll(*x), w.data);
        std::vector<uint32_t> links;
        for (uint32_t i = 0; i < x->GetLinkCount(); ++i) links.push_back(x->GetLink(i));
        EXPECT_EQ(links, w.links) << w.h;
    }
    Ref<TAtom> one = s->OpenAtom(0, 1, 1);
    EXPECT_EQ(one->GetLinkRefs(), 1 + 2 + 2 + 2 + 1 + 1);
}

TEST(AtomStore, LinkWidthsOneToFour) {
    Store s;
    auto& m = s->Manager();
    uint32_t h = m.CreateAtom(0);
    for (uint32_t target : {0x7Fu, 300u, 70000u, 0x1234567u}) {
        TAtomRec r;
        r.handle = h;
        m.LoadImage(r, kAllParts);
        r.links = {target};
        r.linkWidth = LinkWidthFor(target);
        m.SaveImage(r, kPartLinks);
        TAtomRec back;
        back.handle = h;
        m.LoadImage(back, kAllParts);
        EXPECT_EQ(back.links, std::vector<uint32_t>{target});
        EXPECT_EQ(back.linkWidth, LinkWidthFor(target));
    }
    // 70000 with width 3 is stored as 70 11 01.
    TAtomRec r;
    r.handle = h;
    m.LoadImage(r, kAllParts);
    r.links = {70000};
    r.linkWidth = 3;
    m.SaveImage(r, kPartLinks);
    auto& disk = *s.disk;
    const uint8_t* p = &disk.bytes[EntryPos(disk, h) + 13];
    EXPECT_EQ(p[0], 0x70);
    EXPECT_EQ(p[1], 0x11);
    EXPECT_EQ(p[2], 0x01);
    EXPECT_EQ(disk.bytes[EntryPos(disk, h) + 12], 0x80 | (2 << 5));
}

TEST(AtomStore, AtomSizeAlignRoundsBodies) {
    Store s;
    s.disk->align = 16;
    auto& m = s->Manager();
    uint32_t h = m.CreateAtom(0);
    TAtomRec r;
    r.handle = h;
    m.LoadImage(r, kAllParts);
    r.data = TByteArray(21, 7);
    const uint64_t before = s.disk->bytes.size();
    m.SaveImage(r, kPartData);
    EXPECT_EQ(s.disk->bytes.size() - before, 32u);
    EXPECT_EQ(m.BodyAllocation(r.entry), 32u);
}

TEST(AtomStore, FlippedBytesGiveCrcErrorsAndDamagedBit) {
    Store s;
    uint32_t tr = s->StartTransaction(0);
    uint32_t a = MakeAtom(*s, tr, "inline");
    uint32_t b = MakeAtom(*s, tr, std::string(40, 'x'));
    s->Commit(tr);
    auto& disk = *s.disk;
    const uint64_t bodyPos = [&] {
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = v << 8 | disk.bytes[EntryPos(disk, b) + 24 + i];
        return v;
    }();
    disk.bytes[EntryPos(disk, a) + 14] ^= 1;
    disk.bytes[bodyPos + 3] ^= 0x40;
    s.Reopen();
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(0, a, 1); }), ecAtomTableCRC);
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(0, b, 1); }), ecAtomBodyCRC);
    EXPECT_TRUE(disk.flags & kAtomFileDamagedFlag);
    // Other atoms are still served.
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(0, 1, 3); }), 0);
}

TEST(AtomStore, MalformedEntriesAndBodiesAreRefused) {
    Store s;
    uint32_t tr = s->StartTransaction(0);
    uint32_t a = MakeAtom(*s, tr, "x");
    uint32_t b = MakeAtom(*s, tr, std::string(40, 'x'));
    s->Commit(tr);
    auto& disk = *s.disk;
    auto reseal = [&](uint32_t h) {
        TEntryBytes e;
        std::memcpy(e.data(), &disk.bytes[EntryPos(disk, h)], 32);
        uint32_t crc = 0;
        UpdateCrc32(crc, &e[4], 28);
        for (int i = 0; i < 4; ++i) disk.bytes[EntryPos(disk, h) + i] = uint8_t(crc >> (8 * i));
    };
    disk.bytes[EntryPos(disk, a) + 12] = 0x80 | 25;  // inline length above 19
    reseal(a);
    disk.bytes[EntryPos(disk, b) + 19] = 0x7F;  // data length far beyond the file
    reseal(b);
    s.Reopen();
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(0, a, 1); }), ecAtomTableCRC);
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(0, b, 1); }), ecAtomBodyCRC);
}

TEST(AtomStore, InvalidHandles) {
    Store s;
    auto& m = s->Manager();
    TEntryBytes e{};
    EXPECT_EQ(CodeOf([&] { m.ReadEntry(0, e); }), ecInvalidAtomAddress);
    EXPECT_EQ(CodeOf([&] { m.ReadEntry(257, e); }), ecInvalidAtomAddress);
    EXPECT_EQ(CodeOf([&] { m.WriteEntry(257, e); }), ecInvalidAtomAddress);
    const uint32_t cached = s->Cache().GetCount();
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(0, 100, 1); }), ecInvalidAtomAddress);
    // The failed open left no free entry cached.
    EXPECT_EQ(s->Cache().GetCount(), cached);
}

TEST(AtomStore, HandleReuseAndSecondTable) {
    Store s;
    auto& m = s->Manager();
    uint32_t h = m.CreateAtom(0);
    m.DeleteAtom(h);
    EXPECT_EQ(m.AllocHandle(), h);
    while (m.TotalCapacity() == 256) m.AllocHandle();
    EXPECT_EQ(m.TableCount(), 2u);
    EXPECT_EQ(m.TotalCapacity(), 256u + 512u);
    s.Reopen();
    EXPECT_EQ(s->Manager().TotalCapacity(), 768u);
}

// A session hands out the free entries at the end of the table first (found
// without reading the entries in use), then the ones freed in the middle,
// and only then grows the table; no handle is handed out twice, and one
// handed out and released goes back to the session's pool.
TEST(AtomStore, NewSessionTakesTheFreeEndThenTheMiddleThenGrows) {
    Store s;
    std::vector<uint32_t> made;
    for (int i = 0; i < 100; ++i) made.push_back(s->Manager().CreateAtom(0));
    s->Manager().DeleteAtom(made[10]);
    s->Manager().DeleteAtom(made[20]);
    s.Reopen();
    auto& m = s->Manager();
    const uint32_t end = made.back() + 1;
    EXPECT_EQ(m.AllocHandle(), end);
    m.ReleaseHandle(end);
    EXPECT_EQ(m.AllocHandle(), end);
    std::set<uint32_t> given{end};
    for (uint32_t h = end + 1; h <= 256; ++h) EXPECT_EQ(m.AllocHandle(), h);
    EXPECT_EQ(m.AllocHandle(), made[10]);
    EXPECT_EQ(m.AllocHandle(), made[20]);
    EXPECT_EQ(m.TableCount(), 1u);
    EXPECT_EQ(m.AllocHandle(), 257u);
    EXPECT_EQ(m.TableCount(), 2u);
    EXPECT_EQ(m.AllocHandle(), 258u);
}

TEST(AtomStore, DamagedFreeEntryAtTheEndIsNeverHandedOut) {
    Store s;
    uint32_t last = 0;
    for (int i = 0; i < 100; ++i) last = s->Manager().CreateAtom(0);
    s.disk->bytes[EntryPos(*s.disk, 256) + 20] ^= 1;  // looks free, fails its CRC
    s.Reopen();
    auto& m = s->Manager();
    for (uint32_t h = last + 1; h < 256; ++h) EXPECT_EQ(m.AllocHandle(), h);
    EXPECT_EQ(m.AllocHandle(), 257u);
}

TEST(AtomCache, LookupsHitsCapacity) {
    Store s;
    auto& c = s->Cache();
    TAtomData d;
    c.Clear();
    uint64_t l0, h0, l1, h1;
    c.GetStats(l0, h0);
    c.Get(1, kAllParts, d);
    c.Get(1, kAllParts, d);
    c.GetStats(l1, h1);
    EXPECT_EQ(l1 - l0, 2u);
    EXPECT_EQ(h1 - h0, 1u);
    c.SetCapacity(0);
    c.Get(2, kAllParts, d);
    EXPECT_EQ(c.GetCount(), 1u);
    EXPECT_EQ(c.GetItemHandle(0), 2u);
    c.Clear();
    c.GetStats(l0, h0);
    EXPECT_EQ(l0, l1 + 1);
}

std::string Text(const TSharedBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(AtomCacheBounds, BudgetHoldsTheBytesAndNeverDropsTheAtomInUse) {
    Store s;
    std::vector<uint32_t> handles;
    for (int i = 1; i <= 40; ++i) handles.push_back(MakeAtom(*s, 0, std::string(size_t(i) * 100, 'x')));
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
    const uint32_t big = MakeAtom(*s, 0, std::string(40000, 'b'));
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
        want[MakeAtom(*s, 0, data)] = data;
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

// Handles as a long walk meets them: interleaved runs of one stride (every
// node's day atom, made day after day in the same order), thousands held at
// once in an unbounded cache while random ones are removed. The table must
// find each held atom, forget each removed one and list exactly what it
// holds, whatever clusters such runs make.
TEST(AtomCacheBounds, StridedRunsOfHandlesAgainstASetOfTheHeld) {
    Store s;
    constexpr uint32_t kNodes = 13, kDays = 60;
    std::vector<uint32_t> made;
    for (uint32_t i = 0; i < kNodes * kDays; ++i) made.push_back(MakeAtom(*s, 0, std::to_string(i)));
    TAtomCache& c = s->Cache();
    c.Clear();
    c.SetCapacity(kUnboundedCacheCapacity);
    c.SetBudget(uint64_t(1) << 40);
    std::set<uint32_t> held;
    std::mt19937 random(11);
    TAtomData d;
    for (int round = 0; round < 3; ++round) {
        // Node by node, day by day: handle = node + stride * day.
        for (uint32_t node = 0; node < kNodes; ++node) {
            for (uint32_t day = 0; day < kDays; day += 1 + round) {
                const uint32_t i = node + kNodes * day;
                c.Get(made[i], kAllParts, d);
                ASSERT_EQ(Text(d.data), std::to_string(i));
                held.insert(made[i]);
                if (random() % 3 == 0) {
                    const uint32_t gone = made[random() % made.size()];
                    c.Remove(gone);
                    held.erase(gone);
                }
            }
        }
        ASSERT_EQ(c.GetCount(), held.size());
        if (round == 0) {
            // (Listing sorts every held handle per call: once is enough.)
            std::set<uint32_t> listed;
            for (uint32_t i = 0; i < c.GetCount(); ++i) listed.insert(c.GetItemHandle(i));
            ASSERT_EQ(listed, held);
        }
        // Every held atom is a hit; every other one a miss that loads it.
        uint64_t lookups0, hits0, lookups1, hits1;
        c.GetStats(lookups0, hits0);
        for (uint32_t h : made) {
            const bool was = held.count(h) > 0;
            c.Get(h, kAllParts, d);
            c.GetStats(lookups1, hits1);
            ASSERT_EQ(hits1 - hits0, was ? 1u : 0u) << h;
            hits0 = hits1;
            held.insert(h);
        }
    }
}

TEST(AtomCacheBounds, ReadsShareTheCachedArraysAndWritesCopyThem) {
    Store s;
    const uint32_t target = MakeAtom(*s, 0, "target");
    const uint32_t h = MakeAtom(*s, 0, std::string(64, 's'), {target, 1});
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
    const uint32_t h = MakeAtom(*s, 0, "stored", {1, 0, 2});
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

TEST(AtomImages, ShareRules) {
    Store s;
    uint32_t tr = s->StartTransaction(0);
    uint32_t h = MakeAtom(*s, tr, "data");
    Ref<TAtom> r1 = s->OpenAtom(tr, h, 1);
    Ref<TAtom> r2 = s->OpenAtom(tr, h, 1);
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(tr, h, 4); }), ecShareViolation);
    Ref<TAtom> w = s->OpenAtom(tr, h, 8);
    EXPECT_EQ(CodeOf([&] { r1->SetMode(4); }), ecShareViolation);
    EXPECT_EQ(r1->GetMode(), 1);
    r1->Close();
    r2->Close();
    w->Close();
    // A writer in a nested transaction excludes data readers above it.
    uint32_t inner = s->StartTransaction(tr);
    Ref<TAtom> nw = s->OpenAtom(inner, h, 4);
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(tr, h, 1); }), ecShareViolation);
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(tr, h, 2); }), 0);
    nw->Write(0, "X", 1);
    nw->Close();
    // Still dirty in the nested transaction: it counts as a writer.
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(tr, h, 1); }), ecShareViolation);
    s->Commit(inner);
    Ref<TAtom> r = s->OpenAtom(tr, h, 1);
    EXPECT_EQ(ReadAll(*r), "Xata");
    // Access bits.
    EXPECT_EQ(CodeOf([&] { r->Write(0, "a", 1); }), ecAccessDenied);
    EXPECT_EQ(CodeOf([&] { r->GetLinkCount(); }), ecAccessDenied);
    r->Close();
    EXPECT_EQ(CodeOf([&] { r->GetDataSize(); }), ecAccessDenied);
    s->Commit(tr);
}

TEST(AtomImages, DataAndLinkOperations) {
    Store s;
    uint32_t tr = s->StartTransaction(0);
    Ref<TAtom> a = s->CreateAtom(tr, 15);
    a->AddExternalRefs(1);
    a->Write(100, "0123456789", 10);
    EXPECT_EQ(a->GetDataSize(), 110u);
    std::string all = ReadAll(*a);
    EXPECT_EQ(all.substr(0, 100), std::string(100, '\0'));
    // Shrink then grow: the new bytes are zeros.
    a->SetDataSize(2);
    a->SetDataSize(8);
    EXPECT_EQ(ReadAll(*a), std::string(2, '\0') + std::string(6, '\0'));
    a->Write(0, "ab", 2);
    a->SetDataSize(1);
    a->SetDataSize(2);
    EXPECT_EQ(ReadAll(*a).substr(0, 2), std::string("a\0", 2));
    a->SetLink(0, 1);
    a->SetLink(1, 2);
    EXPECT_EQ(a->GetLink(5), 0u);
    a->SetLink(5, 1);
    EXPECT_EQ(a->GetLinkCount(), 6u);
    EXPECT_EQ(a->GetLink(3), 0u);
    a->DeleteLink(5);
    a->InsertLink(0, 2);
    EXPECT_EQ(a->GetLink(0), 2u);
    EXPECT_EQ(a->GetLink(1), 1u);
    EXPECT_EQ(CodeOf([&] { a->SetLink(0, 5000); }), ecInvalidAtomAddress);
    uint32_t h = a->GetHandle();
    a->Close();
    s->Commit(tr);
    Ref<TAtom> one = s->OpenAtom(0, 1, 1);
    EXPECT_EQ(one->GetLinkRefs(), 2);
    Ref<TAtom> two = s->OpenAtom(0, 2, 1);
    EXPECT_EQ(two->GetLinkRefs(), 3);
    one->Close();
    two->Close();
    s.Reopen();
    Ref<TAtom> back = s->OpenAtom(0, h, 3);
    // Inline: the two trailing empty links are not kept.
    EXPECT_EQ(back->GetLinkCount(), 3u);
    EXPECT_EQ(back->GetDataSize(), 2u);
}

TEST(AtomImages, NestedCounterDeltaCancelsToClean) {
    Store s;
    uint32_t tr = s->StartTransaction(0);
    uint32_t h = MakeAtom(*s, tr, "x");
    s->Commit(tr);
    tr = s->StartTransaction(0);
    Ref<TAtom> a = s->OpenAtom(tr, h, 0);
    a->AddExternalRefs(1);
    a->AddExternalRefs(-1);
    a->Close();
    TTransaction* t = nullptr;
    (void)t;
    s->Commit(tr);
    Ref<TAtom> back = s->OpenAtom(0, h, 0);
    EXPECT_EQ(back->GetExternalRefs(), 1);
}

TEST(Transactions, VisibilityCommitAbortAndReopen) {
    Store s;
    uint32_t top = s->StartTransaction(0);
    uint32_t h = MakeAtom(*s, top, "one");
    uint32_t inner = s->StartTransaction(top);
    {
        Ref<TAtom> a = s->OpenAtom(inner, h, 5);
        a->Write(0, "two", 3);
    }
    {
        // The enclosing transaction may read links, not data, meanwhile.
        Ref<TAtom> a = s->OpenAtom(top, h, 2);
        EXPECT_EQ(a->GetLinkCount(), 0u);
    }
    s->Abort(inner);
    {
        Ref<TAtom> a = s->OpenAtom(top, h, 1);
        EXPECT_EQ(ReadAll(*a), "one");
    }
    inner = s->StartTransaction(top);
    {
        Ref<TAtom> a = s->OpenAtom(inner, h, 5);
        a->Write(0, "six", 3);
    }
    s->Commit(inner);
    // Not on disk before the top-level commit.
    s->Commit(top);
    s.Reopen();
    Ref<TAtom> a = s->OpenAtom(0, h, 1);
    EXPECT_EQ(ReadAll(*a), "six");
}

TEST(Transactions, ErrorsAndIdReuse) {
    Store s;
    EXPECT_EQ(CodeOf([&] { s->Commit(0); }), ecTransactionFailed);
    EXPECT_EQ(CodeOf([&] { s->Abort(0); }), ecTransactionFailed);
    EXPECT_THROW(s->Commit(77), EInvalidTrID);
    uint32_t t = s->StartTransaction(0);
    s->Abort(t);
    EXPECT_EQ(s->StartTransaction(0), t);
    Ref<TAtom> a = s->OpenAtom(t, 1, 1);
    try {
        s->Commit(t);
        FAIL();
    } catch (const EQmzError& e) {
        EXPECT_EQ(e.ErrorCode(), ecTransactionFailed);
        EXPECT_STREQ(e.what(), "Cannot commit transaction: some atoms are still opened");
    }
    a->Close();
    uint32_t child = s->StartTransaction(t);
    Ref<TAtom> b = s->OpenAtom(child, 1, 1);
    try {
        s->Abort(t);
        FAIL();
    } catch (const EQmzError& e) {
        EXPECT_EQ(e.ErrorCode(), ecTransactionFailed);
        EXPECT_STREQ(e.what(), "Cannot abort transaction: some atoms are still opened");
    }
    // A commit of the parent moves the open child up.
    s->Commit(t);
    EXPECT_EQ(s->ParentOf(child), 0u);
    b->Close();
    s->Commit(child);
}

TEST(Transactions, GarbageCascadeAndHandleReuse) {
    Store s;
    uint32_t tr = s->StartTransaction(0);
    // An unreferenced new atom is deleted as soon as it closes.
    uint32_t lone;
    {
        Ref<TAtom> a = s->CreateAtom(tr, 15);
        lone = a->GetHandle();
    }
    {
        Ref<TAtom> a = s->CreateAtom(tr, 15);
        EXPECT_EQ(a->GetHandle(), lone);
        a->AddExternalRefs(1);
    }
    // A chain head -> c1 -> ... -> cN, only the head referenced from outside.
    const int n = 3000;
    std::vector<uint32_t> chain;
    Ref<TAtom> prev = s->CreateAtom(tr, 15);
    prev->AddExternalRefs(1);
    const uint32_t next = prev->GetHandle();
    chain.push_back(next);
    for (int i = 1; i < n; ++i) {
        Ref<TAtom> a = s->CreateAtom(tr, 15);
        a->Write(0, "payload-payload-payload", 23);
        prev->SetLink(0, a->GetHandle());
        chain.push_back(a->GetHandle());
        prev = a;
    }
    prev.reset();
    s->Commit(tr);
    EXPECT_TRUE(s->AtomExists(0, chain.front()));
    tr = s->StartTransaction(0);
    {
        Ref<TAtom> head = s->OpenAtom(tr, next, 0);
        head->AddExternalRefs(-1);
    }
    // Unreferenced but not collected before the commit reaches the root.
    EXPECT_TRUE(s->AtomExists(tr, next));
    s->Commit(tr);
    for (uint32_t h : chain) EXPECT_FALSE(s->AtomExists(0, h));
    s.Reopen();
    for (uint32_t h : chain) ASSERT_FALSE(s->AtomExists(0, h));
    Ref<IEnumAtoms> en = s->EnumAtoms(0);
    std::vector<uint32_t> alive;
    for (uint32_t h; (h = en->Next()) != 0;) alive.push_back(h);
    EXPECT_EQ(alive, (std::vector<uint32_t>{1, 2, lone}));
}

TEST(Transactions, AbortedCreationLeavesNoEntry) {
    Store s;
    uint32_t top = s->StartTransaction(0);
    uint32_t inner = s->StartTransaction(top);
    uint32_t h = MakeAtom(*s, inner, std::string(50, 'q'));
    EXPECT_TRUE(s->AtomExists(inner, h));
    EXPECT_FALSE(s->AtomExists(0, h));
    s->Abort(top);
    EXPECT_FALSE(s->Manager().AtomExists(h));
    uint32_t t = s->StartTransaction(0);
    EXPECT_EQ(MakeAtom(*s, t, "z"), h);
    s->Commit(t);
}

TEST(Transactions, DestroyAbortsOpenTransactions) {
    Store s;
    uint32_t top = s->StartTransaction(0);
    uint32_t h = MakeAtom(*s, top, "gone");
    s.Reopen();  // top never committed
    EXPECT_FALSE(s->AtomExists(0, h));
}

TEST(Transactions, ReadOnlyStoreRefusesChanges) {
    Store s;
    s.Reopen(true);
    uint32_t tr = s->StartTransaction(0);
    EXPECT_EQ(CodeOf([&] { s->CreateAtom(tr, 0); }), ecAccessDenied);
    EXPECT_EQ(CodeOf([&] { s->OpenAtom(tr, 1, 4); }), ecAccessDenied);
    Ref<TAtom> a = s->OpenAtom(0, 1, 3);
    EXPECT_EQ(a->GetLinkRefs(), 1);
    a->Close();
    s->Abort(tr);
}

}  // namespace
}  // namespace tlvx
