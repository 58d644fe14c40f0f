#include "model/visitor_collection.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "model/collection_atoms.h"
#include "model/ipv4.h"
#include "model/testing/collection_db.h"
#include "platform/byte_codec.h"

namespace tlvx {
namespace {

using test::StoreCodeOf;
using test::TCollectionTestDb;

constexpr int32_t kVisitorsLink = 15;
const double kDay = EncodeDateTime(2026, 12, 8, 12, 0, 0);  // a whole half day: exact sums
const double kMinute = 1.0 / 1440;
const std::string kFirstGuid = "{A1A2A3A4-B1B2-C1C2-D1D2-E1E2E3E4E5E6}";

int32_t Ip(const char* text) { return int32_t(ParseIPv4(text)); }

TVisitHistogram Buckets(int32_t b1, int32_t b2, int32_t b3, int32_t b45, int32_t b610, int32_t more) {
    return TVisitHistogram{{b1, b2, b3, b45, b610, more}};
}

class VisitorCollectionTest : public ::testing::Test {
protected:
    const Ref<IVirtualAtom>& Root() {
        if (!root) root = db.Child(kVisitorsLink);
        return root;
    }
    Ref<IVisitorCollection> Visitors() { return TVisitorCollection::Create(Root()); }
    void Reopen(bool readOnly) {
        root.reset();
        db.Reopen(readOnly);
    }
    // The visitor's stored record and its key record for key, read straight
    // from the atoms.
    TVisitorRecord RecordOf(const std::string& id) {
        Ref<IIndexer> index = NeedIndexAt(*Root(), 1, "visitor index");
        return ReadVisitorRecord(*FindForReading(*index, GuidKey(*StrToGuid(id))));
    }
    TVisitorKeyRecord KeyRecordOf(const std::string& id, int32_t key) {
        Ref<IIndexer> index = NeedIndexAt(*Root(), 1, "visitor index");
        Ref<IVirtualAtom> visitor = FindForReading(*index, GuidKey(*StrToGuid(id)));
        index.reset();
        Ref<IIndexer> keys = NeedIndexAt(*visitor, 2, "key index");
        return ReadVisitorKeyRecord(*FindForReading(*keys, LittleEndianKey32(uint32_t(key))));
    }
    std::vector<uint8_t> FirstSeen(int32_t key) {
        Ref<IIndexer> index = NeedIndexAt(*Root(), 2, "first-seen index");
        Ref<IVirtualAtom> entry = FindForReading(*index, LittleEndianKey32(uint32_t(key)));
        return entry ? entry->GetAsBytes() : std::vector<uint8_t>{};
    }

    TCollectionTestDb db;
    Ref<IVirtualAtom> root;
};

TEST(VisitorRecords, GoldenBytes) {
    TVisitorRecord r{1.5, 0x01020304, -2.0, -1};
    auto b = EncodeVisitorRecord(r);
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.end()),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0xF8, 0x3F, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0xC0,
                                    0xFF, 0xFF, 0xFF, 0xFF}));
    TVisitorRecord back = DecodeVisitorRecord(b.data());
    EXPECT_EQ(back.LastHit, 1.5);
    EXPECT_EQ(back.Visits, 0x01020304);
    EXPECT_EQ(back.FirstVisit, -2.0);
    EXPECT_EQ(back.Hits, -1);
    auto k = EncodeVisitorKeyRecord({7, 8, 1.5, -2.0});
    EXPECT_EQ(k[0], 7);
    EXPECT_EQ(k[4], 8);
    EXPECT_EQ(k[14], 0xF8);
    EXPECT_EQ(k[23], 0xC0);
}

TEST_F(VisitorCollectionTest, ScriptedVisitsCountReturnsAndTheHistogram) {
    auto visitors = Visitors();
    const int32_t home = Ip("10.0.0.1"), office = Ip("192.168.5.9");
    double t = kDay;
    db.env.clock.now = kDay + 0.25;

    // A new visitor: an empty id gets a GUID text.
    std::string id;
    EXPECT_FALSE(visitors->RegisterHit(id, home, false, true, t));
    ASSERT_TRUE(StrToGuid(id).has_value());
    EXPECT_EQ(id.substr(0, 10), "{A1A2A3A4-");  // from the GUID source
    TVisitorRecord r = RecordOf(id);
    EXPECT_EQ(r.Visits, 1);
    EXPECT_EQ(r.Hits, 1);
    EXPECT_EQ(r.FirstVisit, t);
    EXPECT_EQ(r.LastHit, t);
    EXPECT_EQ(visitors->GetVisitHistogram(), Buckets(1, 0, 0, 0, 0, 0));
    EXPECT_EQ(visitors->GetReturnCounters(), (TReturnCounters{0, 0, 0, 0}));
    EXPECT_EQ(visitors->GetReturnCount(), 0);
    TVisitorKeyRecord k = KeyRecordOf(id, home);
    EXPECT_EQ(k.Hits, 1);
    EXPECT_EQ(k.Visits, 1);
    EXPECT_EQ(k.FirstTime, kDay + 0.25);  // the clock, not the hit's time
    EXPECT_EQ(k.LastTime, kDay + 0.25);

    // A hit inside the same visit.
    t += 10 * kMinute;
    EXPECT_TRUE(visitors->RegisterHit(id, home, false, false, t));
    EXPECT_EQ(RecordOf(id).Hits, 2);
    EXPECT_EQ(RecordOf(id).Visits, 1);
    EXPECT_EQ(visitors->GetReturnCount(), 0);

    // A return 30 minutes later raises all four counters.
    t += 30 * kMinute;
    EXPECT_TRUE(visitors->RegisterHit(id, home, false, true, t));
    EXPECT_EQ(visitors->GetReturnCounters(), (TReturnCounters{1, 1, 1, 1}));
    EXPECT_EQ(visitors->GetReturnCount(), 1);
    EXPECT_EQ(visitors->GetVisitHistogram(), Buckets(0, 1, 0, 0, 0, 0));

    // Exactly one day later: not within the hour, within the day.
    t += 1;
    EXPECT_TRUE(visitors->RegisterHit(id, home, false, true, t));
    EXPECT_EQ(visitors->GetReturnCounters(), (TReturnCounters{1, 2, 2, 2}));
    EXPECT_EQ(visitors->GetVisitHistogram(), Buckets(0, 0, 1, 0, 0, 0));

    // Three days later, from another address on a second day.
    t += 3;
    db.env.clock.now = t;
    EXPECT_TRUE(visitors->RegisterHit(id, office, false, true, t));
    EXPECT_EQ(visitors->GetReturnCounters(), (TReturnCounters{1, 2, 3, 3}));
    EXPECT_EQ(visitors->GetVisitHistogram(), Buckets(0, 0, 0, 1, 0, 0));
    EXPECT_EQ(KeyRecordOf(id, office).FirstTime, t);
    EXPECT_EQ(KeyRecordOf(id, home).Hits, 4);

    // Forty days later: no counter, but the return is counted.
    t += 40;
    EXPECT_TRUE(visitors->RegisterHit(id, office, false, true, t));  // visit 5
    EXPECT_EQ(visitors->GetReturnCounters(), (TReturnCounters{1, 2, 3, 3}));
    EXPECT_EQ(visitors->GetReturnCount(), 4);
    EXPECT_EQ(visitors->GetVisitHistogram(), Buckets(0, 0, 0, 1, 0, 0));

    t += 0.5;
    visitors->RegisterHit(id, office, false, true, t);  // visit 6
    EXPECT_EQ(visitors->GetVisitHistogram(), Buckets(0, 0, 0, 0, 1, 0));
    for (int v = 7; v <= 11; ++v) visitors->RegisterHit(id, office, false, true, t += 0.5);
    EXPECT_EQ(visitors->GetVisitHistogram(), Buckets(0, 0, 0, 0, 0, 1));
    EXPECT_EQ(RecordOf(id).Visits, 11);
    EXPECT_EQ(RecordOf(id).Hits, 12);

    // A second visitor first seen on the second day, from the office.
    std::string second;
    EXPECT_FALSE(visitors->RegisterHit(second, office, false, true, kDay + 4));
    EXPECT_EQ(visitors->GetVisitHistogram(), Buckets(1, 0, 0, 0, 0, 1));
    EXPECT_EQ(FirstSeen(home).size(), 16u);
    EXPECT_EQ(FirstSeen(office).size(), 16u);  // the first visitor was seen at home first
    EXPECT_EQ(TGUID::FromBytes(FirstSeen(office).data()), *StrToGuid(second));

    // The report rows carry the keys with their bytes reversed.
    TVisitorList rows = visitors->ListVisitorsSince(kDay);
    ASSERT_EQ(rows.size(), 2u);
    const TVisitorLine& first = rows[0].Text == id ? rows[0] : rows[1];
    EXPECT_EQ(first.Object.Hits, 12);
    EXPECT_EQ(first.Object.Visits, 11);
    EXPECT_EQ(first.Object.FirstTime, kDay);
    EXPECT_EQ(first.Object.LastTime, t);
    std::vector<int32_t> reversed{Ip("1.0.0.10"), Ip("9.5.168.192")};
    EXPECT_EQ(first.Object.Keys, reversed);
    // Visitors first seen before the date's day are left out.
    rows = visitors->ListVisitorsSince(kDay + 4.4);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Text, second);
    EXPECT_FALSE(ErrorFlag());

    // All of it is in the file.
    visitors.reset();
    Reopen(true);
    visitors = Visitors();
    EXPECT_EQ(visitors->GetReturnCounters(), (TReturnCounters{1, 8, 9, 9}));  // six half-day returns
    EXPECT_EQ(visitors->GetReturnCount(), 10);
    EXPECT_EQ(visitors->ListVisitorsSince(0).size(), 2u);
}

TEST_F(VisitorCollectionTest, ReturnIsCountedOnlyForAVisitorTheStoreKnew) {
    auto visitors = Visitors();
    // A cookie id the store has never seen (deleted, or another database).
    std::string id = "{01234567-89AB-CDEF-0123-456789ABCDEF}";
    EXPECT_FALSE(visitors->RegisterHit(id, 1, false, true, kDay));
    EXPECT_EQ(visitors->GetReturnCounters(), (TReturnCounters{0, 0, 0, 0}));
    EXPECT_EQ(visitors->GetReturnCount(), 0);
    EXPECT_EQ(visitors->GetVisitHistogram(), Buckets(1, 0, 0, 0, 0, 0));
    // A known visitor sent as new counts no return either.
    EXPECT_TRUE(visitors->RegisterHit(id, 1, true, true, kDay + kMinute));
    EXPECT_EQ(visitors->GetReturnCount(), 0);
}

TEST_F(VisitorCollectionTest, IdThatIsNoGuidIsNotedNeverCrashes) {
    auto visitors = Visitors();
    std::string id = "A1A2A3A4-B1B2-C1C2-D1D2-E1E2E3E4E5E6";  // braces dropped, as in the cookie
    EXPECT_FALSE(visitors->RegisterHit(id, 1, false, true, kDay));
    EXPECT_TRUE(ErrorFlag());
    EXPECT_EQ(id, "A1A2A3A4-B1B2-C1C2-D1D2-E1E2E3E4E5E6");
    EXPECT_THROW(visitors->GetVisitorNodeTime("main", "junk"), std::invalid_argument);
    EXPECT_THROW(visitors->SetVisitorNodeTime("main", "", 1), std::invalid_argument);
    EXPECT_THROW(visitors->ListVisitorNodes("{}"), std::invalid_argument);
    EXPECT_TRUE(visitors->ListVisitorsSince(0).empty());
}

TEST_F(VisitorCollectionTest, NodeTimesPerVisitor) {
    auto visitors = Visitors();
    std::string a, b;
    visitors->RegisterHit(a, 1, false, true, kDay);
    visitors->RegisterHit(b, 2, false, true, kDay);
    const std::string stranger = "{00000000-0000-0000-0000-000000000001}";
    visitors->SetVisitorNodeTime("main", stranger, kDay);  // ignored: no visitor made
    EXPECT_EQ(visitors->GetVisitorNodeTime("main", stranger), 0);
    EXPECT_TRUE(visitors->ListVisitorNodes(stranger).empty());
    EXPECT_EQ(visitors->ListVisitorsSince(0).size(), 2u);

    EXPECT_EQ(visitors->GetVisitorNodeTime("main", a), 0);
    visitors->SetVisitorNodeTime("main.news", a, kDay + 0.1);
    visitors->SetVisitorNodeTime("main", a, kDay + 0.2);
    visitors->SetVisitorNodeTime("main", a, kDay + 0.3);  // the same entry again
    visitors->SetVisitorNodeTime("main", b, kDay + 0.4);
    EXPECT_EQ(visitors->GetVisitorNodeTime("main", a), kDay + 0.3);
    EXPECT_EQ(visitors->GetVisitorNodeTime("main.news", a), kDay + 0.1);
    EXPECT_EQ(visitors->GetVisitorNodeTime("main.news", b), 0);
    EXPECT_EQ(visitors->GetVisitorNodeTime("main", b), kDay + 0.4);
    EXPECT_EQ(visitors->ListVisitorNodes(a), (std::vector<std::string>{"main", "main.news"}));

    visitors.reset();
    Reopen(true);
    visitors = Visitors();
    EXPECT_EQ(visitors->GetVisitorNodeTime("main", a), kDay + 0.3);
    TVisitorList rows = visitors->ListVisitorsSince(0);
    ASSERT_EQ(rows.size(), 2u);
    const TVisitorLine& rowA = rows[0].Text == a ? rows[0] : rows[1];
    EXPECT_EQ(rowA.Object.Nodes, (std::vector<std::string>{"main", "main.news"}));
    EXPECT_EQ(StoreCodeOf([&] { visitors->SetVisitorNodeTime("main", a, 1); }), ecAccessDenied);
}

TEST_F(VisitorCollectionTest, DeleteVisitorsOfDayCollectsThenDeletes) {
    auto visitors = Visitors();
    std::vector<std::string> ids(5);
    // Two days, several visitors each; more than a page of keys is not
    // needed: the cursor alone would block the first delete.
    visitors->RegisterHit(ids[0], 1, false, true, kDay - 0.4);
    visitors->RegisterHit(ids[1], 2, false, true, kDay + 0.3);
    visitors->RegisterHit(ids[2], 3, false, true, kDay + 1);
    visitors->RegisterHit(ids[3], 4, false, true, kDay + 0.49);
    visitors->RegisterHit(ids[4], 5, false, true, kDay + 1.2);
    visitors->RegisterHit(ids[2], 3, false, true, kDay + 2);  // last hit later: first visit counts

    EXPECT_EQ(visitors->DeleteVisitorsOfDay(kDay + 0.3), 3);  // ids 0, 1, 3
    TVisitorList rows = visitors->ListVisitorsSince(0);
    ASSERT_EQ(rows.size(), 2u);
    for (const TVisitorLine& row : rows) EXPECT_TRUE(row.Text == ids[2] || row.Text == ids[4]);
    EXPECT_EQ(FirstSeen(1).size(), 16u);  // first-seen entries stay
    EXPECT_EQ(visitors->DeleteVisitorsOfDay(kDay), 0);

    // A deleted visitor comes back as new.
    std::string back = ids[0];
    EXPECT_FALSE(visitors->RegisterHit(back, 1, false, true, kDay + 3));
    EXPECT_EQ(FirstSeen(1).size(), 32u);

    visitors.reset();
    Reopen(false);  // the commit finds no index or cursor left open
    visitors = Visitors();
    EXPECT_EQ(visitors->ListVisitorsSince(0).size(), 3u);
    EXPECT_EQ(visitors->DeleteVisitorsOfDay(0), 0);
    EXPECT_TRUE(visitors->ListVisitorsSince(0).empty());
    EXPECT_TRUE(FirstSeen(1).empty());
    EXPECT_EQ(visitors->GetVisitHistogram(), Buckets(5, 1, 0, 0, 0, 0));  // counters stay
    // Enough visitors for a tree of several levels, every other one on the
    // day that goes.
    for (int i = 0; i < 300; ++i) {
        char id[40];
        std::snprintf(id, sizeof id, "{%08X-0000-0000-0000-000000000000}", i * 7919);
        std::string text = id;
        EXPECT_FALSE(visitors->RegisterHit(text, i, true, true, kDay + 10 + (i % 2) * 0.9));
    }
    EXPECT_EQ(visitors->DeleteVisitorsOfDay(kDay + 10.9), 150);
    EXPECT_EQ(visitors->ListVisitorsSince(0).size(), 150u);
    EXPECT_FALSE(ErrorFlag());
    visitors.reset();
    Reopen(true);
    EXPECT_EQ(Visitors()->ListVisitorsSince(kDay + 10).size(), 150u);
}

TEST_F(VisitorCollectionTest, ReadOnlyStoreOfAnOlderFileReadsZerosAndMakesNothing) {
    {
        auto visitors = Visitors();
        std::string id = kFirstGuid;
        visitors->RegisterHit(id, 7, true, true, kDay);
        visitors->RegisterHit(id, 7, false, true, kDay + 2);
        visitors->RegisterHit(id, 7, false, true, kDay + 2.01);
        EXPECT_EQ(visitors->GetReturnCounters(), (TReturnCounters{1, 1, 2, 2}));
    }
    // An older file: no counted returns, no histogram; and an atom that
    // holds no store at all.
    Root()->SetLink(3, nullptr);
    Root()->SetLink(4, nullptr);
    db.Child(16);
    Reopen(true);

    auto visitors = Visitors();
    EXPECT_FALSE(Root()->HasLink(3));
    EXPECT_EQ(visitors->GetReturnCount(), 0);
    EXPECT_EQ(visitors->GetVisitHistogram(), Buckets(0, 0, 0, 0, 0, 0));
    EXPECT_FALSE(Root()->HasLink(4));
    EXPECT_EQ(visitors->GetReturnCounters(), (TReturnCounters{1, 1, 2, 2}));
    EXPECT_EQ(visitors->GetVisitorNodeTime("main", kFirstGuid), 0);  // no node index made
    EXPECT_TRUE(visitors->ListVisitorNodes(kFirstGuid).empty());
    EXPECT_EQ(visitors->ListVisitorsSince(0).size(), 1u);
    EXPECT_FALSE(ErrorFlag());

    std::string id = kFirstGuid;
    EXPECT_FALSE(visitors->RegisterHit(id, 7, false, true, kDay + 3));
    EXPECT_TRUE(ErrorFlag());  // refused and noted
    ResetErrorNotes();
    EXPECT_EQ(StoreCodeOf([&] { visitors->DeleteVisitorsOfDay(0); }), ecAccessDenied);
    EXPECT_EQ(visitors->ListVisitorsSince(0).size(), 1u);

    // A root with no store at all reads as empty and stays so.
    Ref<IVirtualAtom> bare = db.root->OpenLink(16);
    auto empty = TVisitorCollection::Create(bare);
    EXPECT_EQ(empty->GetReturnCount(), 0);
    EXPECT_EQ(empty->GetReturnCounters(), (TReturnCounters{0, 0, 0, 0}));
    EXPECT_EQ(empty->GetVisitHistogram(), Buckets(0, 0, 0, 0, 0, 0));
    EXPECT_TRUE(empty->ListVisitorsSince(0).empty());
    EXPECT_EQ(empty->GetVisitorNodeTime("main", kFirstGuid), 0);
    EXPECT_EQ(bare->GetLinkCount(), 0);
    EXPECT_FALSE(ErrorFlag());

    // Writable again, the older file gains the counted returns, starting
    // from the 30-day counter.
    visitors.reset();
    empty.reset();
    bare.reset();
    Reopen(false);
    visitors = Visitors();
    EXPECT_EQ(visitors->GetReturnCount(), 2);
    EXPECT_EQ(visitors->GetVisitHistogram(), Buckets(0, 0, 0, 0, 0, 0));
    EXPECT_TRUE(Root()->HasLink(4));
}

// The visitor list's lighter walk lists the same visitors in the same order
// with the same figures and, asked, the same first key as the full rows;
// visitors without keys and those first seen too early stay out of both.
TEST_F(VisitorCollectionTest, EntriesAgreeWithTheFullRows) {
    std::mt19937 rng(5);
    std::vector<std::string> ids;
    {
        auto visitors = Visitors();
        for (int i = 0; i < 120; ++i) {
            std::string id;
            const double first = kDay + double(rng() % 10);
            visitors->RegisterHit(id, int32_t(rng()), true, true, first);
            for (uint32_t k = rng() % 4; k > 0; --k)
                visitors->RegisterHit(id, int32_t(rng() % 8), false, rng() % 2 == 0, first + double(rng() % 50) / 10);
            if (i % 3 == 0) visitors->SetVisitorNodeTime("news.a", id, first);
            ids.push_back(id);
        }
    }
    // One visitor loses its key index: neither walk lists it.
    {
        Ref<IIndexer> index = NeedIndexAt(*Root(), 1, "visitor index");
        Ref<IVirtualAtom> visitor = FindOrInsert(*index, GuidKey(*StrToGuid(ids[7])));
        index.reset();
        visitor->SetLink(2, nullptr);
    }
    Reopen(true);
    auto visitors = Visitors();
    for (double date : {0.0, kDay + 4.5}) {
        const TVisitorList rows = visitors->ListVisitorsSince(date);
        TVisitorEntries entries = visitors->ListVisitorEntries(date);
        ASSERT_EQ(entries.size(), rows.size()) << date;
        if (date == 0) {
            EXPECT_EQ(rows.size(), ids.size() - 1);
        }
        for (size_t i = 0; i < rows.size(); ++i) {
            const TVObject& row = rows[i].Object;
            TVisitorEntry& entry = entries[i];
            EXPECT_EQ(entry.VisitorId, row.VisitorId) << i;
            EXPECT_EQ(entry.Hits, row.Hits);
            EXPECT_EQ(entry.Visits, row.Visits);
            EXPECT_EQ(entry.LastTime, row.LastTime);
            EXPECT_EQ(entry.FirstTime, row.FirstTime);
            EXPECT_EQ(FirstVisitorKey(entry), std::optional<int32_t>(row.Keys.front())) << i;
        }
    }
    EXPECT_FALSE(ErrorFlag());
}

}  // namespace
}  // namespace tlvx
