#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <random>

#include "model/node_atoms.h"
#include "model/node_day_lists.h"
#include "model/node_info.h"
#include "model/testing/node_store.h"
#include "model/time_split.h"
#include "platform/byte_codec.h"
#include "store/btree_factory.h"

namespace tlvx {
namespace {

TEST(NodeRecords, CounterRecordFieldsSitAtTheirOffsets) {
    TNodeCounters c;
    c.Hits = 1, c.Visits = 2, c.GroupHits = 3, c.GroupVisits = 4, c.Visitors = 5, c.Counter5 = 6;
    c.Entries = 7, c.Counter7 = 8, c.Exits = 9, c.Created = 46000.5, c.Interval = -1, c.Reloads = 12;
    c.GroupVisitors = 13;
    auto b = c.ToBytes();
    const int32_t ints[][2] = {{0, 1}, {4, 2}, {8, 3}, {12, 4}, {16, 5}, {20, 6}, {24, 7},
                               {28, 8}, {32, 9}, {44, -1}, {48, 12}, {52, 13}};
    for (auto [offset, value] : ints) EXPECT_EQ(GetInt32(&b[size_t(offset)]), value) << offset;
    EXPECT_EQ(GetDouble(&b[36]), 46000.5);
    EXPECT_EQ(TNodeCounters::FromBytes(b.data(), b.size()), c);
    TNodeCounters legacy = TNodeCounters::FromBytes(b.data(), 52);
    EXPECT_EQ(legacy.GroupVisitors, 0);
    EXPECT_EQ(legacy.Reloads, 12);
}

TEST(NodeRecords, WeekHourBlockAndDayRecordLayouts) {
    TWeekHourBlock block;
    block.Day(1).Total = 11;
    block.Day(7).Hours[23] = 77;
    block.AllDays.Total = 5;
    block.AllDays.Hours[0] = 6;
    std::vector<uint8_t> b = block.ToBytes();
    ASSERT_EQ(b.size(), 800u);
    EXPECT_EQ(GetInt32(&b[0]), 11);
    EXPECT_EQ(GetInt32(&b[600 + 4 + 23 * 4]), 77);
    EXPECT_EQ(GetInt32(&b[700]), 5);
    EXPECT_EQ(GetInt32(&b[704]), 6);
    EXPECT_EQ(TWeekHourBlock::FromBytes(b.data(), b.size()), block);

    TNodeDayRecord day;
    day.Hits = 3, day.Visits = 2, day.HourRow.Total = 3, day.HourRow.Hours[13] = 3, day.NewVisitors = 1;
    auto d = day.ToBytes();
    EXPECT_EQ(GetInt32(&d[8]), 3);
    EXPECT_EQ(GetInt32(&d[12 + 13 * 4]), 3);
    EXPECT_EQ(GetInt32(&d[108]), 1);
    EXPECT_EQ(TNodeDayRecord::FromBytes(d.data(), 108).NewVisitors, 0);
}

TEST(NodeRecords, DayPiecesOfADateTime) {
    double monday = EncodeDateTime(2026, 12, 7, 10, 30);
    EXPECT_EQ(IsoDayOfWeek(monday), 1);
    EXPECT_EQ(IsoDayOfWeek(EncodeDateTime(2026, 12, 13, 23, 59, 59, 999)), 7);
    EXPECT_EQ(IsoDayOfWeek(0), 6);  // 1899-12-30 was a Saturday
    EXPECT_EQ(HourOfDay(EncodeDateTime(2026, 12, 7, 23, 59, 59, 999)), 23);
    EXPECT_EQ(HourOfDay(monday), 10);
    EXPECT_EQ(DayNumber(monday), 46363);
    EXPECT_EQ(DayKey(monday), std::string("\x00\x00\xB5\x1B", 4));
    EXPECT_THROW(DayNumber(1e300), std::out_of_range);
    EXPECT_THROW(SplitTime(std::nan("")), std::out_of_range);
    // Every exact hour is its own hour, on the last days of a month and a
    // year as well; a hair before midnight is the next day's hour 0.
    for (int day : {30, 31})
        for (int hour = 0; hour < 24; ++hour) {
            const double when = EncodeDateTime(2026, 12, day, hour);
            const TTimeSplit split = SplitTime(when);
            EXPECT_EQ(split.Hour, hour) << day << " " << hour;
            EXPECT_EQ(split.Day, 46356 + day) << day << " " << hour;
            EXPECT_EQ(split.Weekday, day == 30 ? 3 : 4);  // Wednesday, Thursday
            EXPECT_EQ(split.Hour, DecodeDateTime(when).hour);
        }
    const double newYear = EncodeDateTime(2027, 1, 1);
    EXPECT_EQ(SplitTime(newYear - 0.0004 / 86400).Day, DayNumber(newYear));
    EXPECT_EQ(SplitTime(newYear - 0.0004 / 86400).Hour, 0);
    EXPECT_EQ(SplitTime(newYear - 0.001 / 86400).Hour, 23);
    EXPECT_EQ(WholeDay(newYear - 0.0004 / 86400), double(DayNumber(newYear)));
    EXPECT_TRUE(std::isnan(WholeDay(std::nan(""))));
}

class NodeInfoTest : public test::NodeStoreTest {
protected:
    // A list atom linked at root link 20, so it survives the commit.
    Ref<IVirtualAtom> NewList() {
        Ref<IVirtualAtom> list = tr_->CreateAtom();
        InitDayList(*list);
        Root()->SetLink(20, list);
        return list;
    }
    Ref<TNodeInfo> NewInfo() {
        Ref<IVirtualAtom> atom = tr_->CreateAtom();
        Root()->SetLink(21, atom);
        return TNodeInfo::Create(atom);
    }
    Ref<TNodeInfo> OpenInfo() { return TNodeInfo::Open(Root()->OpenLink(21)); }
};

TEST_F(NodeInfoTest, DayListStaysSortedAgainstAMapAndGrowsTenRowsAtATime) {
    Begin();
    Ref<IVirtualAtom> list = NewList();
    AddToIPDayRow(*list, 30, 1, 0, 0);
    AddToIPDayRow(*list, 10, 1, 1, 0);
    AddToIPDayRow(*list, 20, 1, 0, 1);
    EXPECT_EQ(ReadIPDayRows(*list),
              (std::vector<TIPDayRow>{{10, 1, 1, 0}, {20, 1, 0, 1}, {30, 1, 0, 0}}));
    EXPECT_EQ(list->GetSize(), 4 + 160);

    std::map<uint32_t, TIPDayRow> expected{{10, {10, 1, 1, 0}}, {20, {20, 1, 0, 1}}, {30, {30, 1, 0, 0}}};
    std::mt19937 random(7);
    for (int i = 0; i < 400; ++i) {
        // Addresses above 2^31 check the unsigned order.
        uint32_t ip = (random() % 2 ? 0x80000000u : 0u) + random() % 150;
        int32_t nv = int32_t(random() % 2), nd = int32_t(random() % 2);
        AddToIPDayRow(*list, ip, 1, nv, nd);
        TIPDayRow& row = expected[ip];
        row.IP = ip, row.Hits += 1, row.Visits += nv, row.NewDays += nd;
        int32_t count = ReadInt32(*list);
        int32_t rowsOfRoom = (list->GetSize() - 4) / 16;
        ASSERT_GE(rowsOfRoom, count);
        ASSERT_LT(rowsOfRoom, count + 10);
        ASSERT_EQ((list->GetSize() - 4) % 160, 0);
    }
    std::vector<TIPDayRow> want;
    for (auto& [ip, row] : expected) want.push_back(row);
    EXPECT_EQ(ReadIPDayRows(*list), want);
    TIPDayRow found;
    EXPECT_TRUE(FindIPDayRow(*list, 20, found));
    EXPECT_EQ(found, expected[20]);
    EXPECT_FALSE(FindIPDayRow(*list, 0x7FFFFFFF, found));

    Ref<IVirtualAtom> sources = tr_->CreateAtom();
    InitDayList(*sources);
    AddToSourceDayRow(*sources, 0x100000000ull, 1, 0, 0);
    AddToSourceDayRow(*sources, 7, 1, 1, 1);
    AddToSourceDayRow(*sources, 7, 1, 0, 0);
    EXPECT_EQ(ReadSourceDayRows(*sources),
              (std::vector<TSourceDayRow>{{7, 2, 1, 1}, {0x100000000ull, 1, 0, 0}}));
    EXPECT_EQ(sources->GetSize(), 4 + 240);
}

TEST_F(NodeInfoTest, DamagedListCountIsRefusedNotRead) {
    Begin();
    Ref<IVirtualAtom> list = NewList();
    WriteInt32(*list, 3);
    EXPECT_THROW(ReadIPDayRows(*list), std::runtime_error);
    EXPECT_THROW(AddToIPDayRow(*list, 1, 1, 0, 0), std::runtime_error);
    WriteInt32(*list, -1);
    EXPECT_THROW(DayListCount(*list, 16), std::runtime_error);
}

TEST_F(NodeInfoTest, NewInfoLayoutReadBackAfterReopen) {
    clock_.now = EncodeDateTime(2026, 12, 8, 9, 15);
    TAtomID id;
    Begin();
    {
        Ref<TNodeInfo> info = NewInfo();
        info->SetName("sport");
        id = RefCast<IAtomIdentity>(info->GetAtom())->GetID();
    }
    Commit();
    Begin("readonly");
    {
        Ref<IVirtualAtom> atom = Root()->OpenLink(21);
        for (int32_t link : {1, 5, 7, 8, 9})
            EXPECT_TRUE(IndexFactory()->IsBTreeIndex(atom->OpenLink(link))) << link;
        EXPECT_EQ(atom->OpenLink(2)->GetAsString(), "sport");
        std::vector<uint8_t> idBytes = atom->OpenLink(3)->GetAsBytes();
        ASSERT_EQ(idBytes.size(), 24u);
        EXPECT_EQ(TAtomID::FromBytes(idBytes.data()), id);
        EXPECT_EQ(atom->OpenLink(4)->GetSize(), 56);
        EXPECT_EQ(atom->OpenLink(6)->GetAsBytes(), std::vector<uint8_t>(800, 0));
        EXPECT_EQ(atom->OpenLink(9)->OpenLink(1)->GetAsBytes(), std::vector<uint8_t>(32, 0));
        EXPECT_EQ(atom->OpenLink(10)->GetLinkCount(), 7);
        EXPECT_TRUE(IndexFactory()->IsBTreeIndex(atom->OpenLink(11)->OpenLink(1)));

        Ref<TNodeInfo> info = TNodeInfo::Open(atom);
        EXPECT_EQ(info->GetName(), "sport");
        EXPECT_EQ(info->GetCreated(), clock_.now);
        EXPECT_EQ(info->GetInterval(), -1);
        EXPECT_EQ(info->GetHits(), 0);
        EXPECT_EQ(info->GetLinkPaths(), StringArray{"sport"});
        EXPECT_EQ(info->GetIPLastHit(5), -1.0);
    }
    Abandon();
}

TEST_F(NodeInfoTest, AddsAreGuardedPlainOrWrapping) {
    Begin();
    {
        Ref<TNodeInfo> info = NewInfo();
        info->SetHits(3);
        info->AddHits(-5);
        EXPECT_EQ(info->GetHits(), 3);
        info->AddHits(-3);
        EXPECT_EQ(info->GetHits(), 0);
        info->SetExits(-2);
        info->AddExits(-1);
        EXPECT_EQ(info->GetExits(), 0);
        info->SetExits(-2);
        info->AddExits(1);
        EXPECT_EQ(info->GetExits(), 1);
        info->AddGroupHits(-4);
        info->AddReloads(-1);
        EXPECT_EQ(info->GetGroupHits(), -4);
        EXPECT_EQ(info->GetReloads(), -1);
        info->SetVisits(INT32_MAX);
        info->AddVisits(1);  // wraps as the stored 32-bit counter always did
        EXPECT_EQ(info->GetVisits(), INT32_MIN);
        info->IncGroupVisits();
        info->IncGroupVisitors();
        info->SetInterval(30);
    }
    Commit();
    Begin();
    {
        Ref<TNodeInfo> info = OpenInfo();
        TNodeCounters c = info->GetCounters();
        EXPECT_EQ(c.Hits, 0);
        EXPECT_EQ(c.Exits, 1);
        EXPECT_EQ(c.GroupHits, -4);
        EXPECT_EQ(c.Visits, INT32_MIN);
        EXPECT_EQ(c.GroupVisits, 1);
        EXPECT_EQ(c.GroupVisitors, 1);
        EXPECT_EQ(c.Interval, 30);
    }
    Abandon();
}

TEST_F(NodeInfoTest, LegacyCounterRecordUpgradedOnlyWhenWritable) {
    Begin();
    {
        NewInfo()->SetReloads(9);
        Ref<IVirtualAtom> atom = Root()->OpenLink(21);
        Ref<IVirtualAtom> record = atom->OpenLink(4);
        std::vector<uint8_t> bytes = record->GetAsBytes();
        bytes.resize(52);
        record->SetAsBytes(bytes);
        atom->SetLink(11, nullptr);  // made before languages were counted
    }
    Commit();
    Begin("readonly");
    {
        Ref<TNodeInfo> info = OpenInfo();
        EXPECT_EQ(info->GetReloads(), 9);
        EXPECT_EQ(info->GetGroupVisitors(), 0);
        EXPECT_EQ(info->GetAtom()->OpenLink(4)->GetSize(), 52);
        Ref<ILangCollection> langs = info->GetLanguages();
        EXPECT_EQ(langs->GetCount("EN"), 0);
        EXPECT_FALSE(info->GetAtom()->HasLink(11));
    }
    Abandon();
    EXPECT_FALSE(ErrorFlag());
    Begin();
    {
        Ref<TNodeInfo> info = OpenInfo();
        EXPECT_EQ(info->GetReloads(), 9);
        info.reset();
        EXPECT_EQ(Root()->OpenLink(21)->OpenLink(4)->GetSize(), 56);
        info = OpenInfo();
        info->GetLanguages()->Add("en");
        EXPECT_TRUE(info->GetAtom()->HasLink(11));
        EXPECT_EQ(info->GetLanguages()->GetCount("EN"), 1);
    }
    Commit();
    Begin("readonly");
    EXPECT_EQ(OpenInfo()->GetLanguages()->GetCount("en"), 1);
    Abandon();
}

TEST_F(NodeInfoTest, ReadOnlyInfoWithoutCounterRecordReadsDefaults) {
    Begin();
    NewInfo();
    Root()->OpenLink(21)->SetLink(4, nullptr);
    Commit();
    Begin("readonly");
    {
        Ref<TNodeInfo> info = OpenInfo();
        EXPECT_EQ(info->GetHits(), 0);
        EXPECT_EQ(info->GetInterval(), -1);
        EXPECT_FALSE(info->GetAtom()->HasLink(4));
    }
    Abandon();
    Begin();
    OpenInfo();
    EXPECT_EQ(Root()->OpenLink(21)->OpenLink(4)->GetSize(), 56);
    Commit();
}

TEST(NodeLinkText, AtomNumbersParseSignedOrUnsigned) {
    uint32_t n = 0;
    EXPECT_TRUE(ParseAtomNumberText("17", n));
    EXPECT_EQ(n, 17u);
    EXPECT_TRUE(ParseAtomNumberText("-5", n));
    EXPECT_EQ(n, 4294967291u);
    EXPECT_TRUE(ParseAtomNumberText("4294967295", n));
    EXPECT_FALSE(ParseAtomNumberText("", n));
    EXPECT_FALSE(ParseAtomNumberText("12x", n));
    EXPECT_FALSE(ParseAtomNumberText("4294967296", n));
}

}  // namespace
}  // namespace tlvx
