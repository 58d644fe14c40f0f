#include <gtest/gtest.h>

#include <string>

#include "model/byte_order.h"
#include "model/error_notes.h"
#include "model/node_atoms.h"
#include "model/node_collection.h"
#include "model/node_day_lists.h"
#include "model/testing/node_store.h"
#include "platform/byte_codec.h"
#include "store/btree_factory.h"
#include "store/errors.h"

namespace tlvx {
namespace {

using Names = std::vector<std::string>;

// Monday 2026-12-07, mid-hour so that the hour is not at a rounding edge.
const double kMonday1030 = EncodeDateTime(2026, 12, 7, 10, 30);
const uint32_t kIP = 0x0A000001;  // 10.0.0.1

class NodeHitTest : public test::NodeTreeStoreTest {
protected:
    void Hit(const std::string& path, uint32_t ip, double when, const std::string& referrer = "",
             const std::string& prev = "", const std::string& session = "", bool newVisit = false,
             bool newDay = false, bool newVisitor = false) {
        nodes_->RecordNodeHit(path, true,
                              {.ip = ip, .when = when, .referrer = referrer, .prevNode = prev,
                               .sessionRef = session, .newVisit = newVisit, .newDay = newDay,
                               .newVisitor = newVisitor});
    }
    TNodeCounters Counters(const std::string& path) {
        Ref<INodeInfo> info = path.empty() ? nodes_->GetRoot()->GetInfo() : nodes_->GetNodeInfo(path, false);
        return info->GetCounters();
    }
    // The info atom of a node, opened read-only after the views are gone.
    Ref<IVirtualAtom> InfoAtomOf(const std::string& path) {
        uint32_t number = 0;
        {
            Ref<INode> node = path.empty() ? nodes_->GetRoot() : nodes_->FindNode(path, false);
            number = AtomNumberOf(node->GetInfo()->GetAtom());
        }
        TAtomID id;
        id.StorageID = tr_->GetStorageID();
        id.AtomNumber = number;
        return tr_->OpenAtom(id);
    }
    uint32_t NodeNumber(const std::string& path) {
        return AtomNumberOf(nodes_->FindNode(path, false)->GetAtom());
    }
    Ref<IVirtualAtom> DayAtom(IVirtualAtom& info, double when) {
        Ref<IIndexer> days = IndexFactory()->OpenIndex(info.OpenLink(ilDays), "", "");
        Ref<IVirtualAtom> day;
        days->Find(DayKey(when), day);
        return day;
    }
    Ref<IVirtualAtom> SourceEntry(IVirtualAtom& info, const std::string& name) {
        Ref<IIndexer> sources = IndexFactory()->OpenIndex(info.OpenLink(ilSources), "", "");
        Ref<IVirtualAtom> entry;
        sources->Find(name, entry);
        return entry;
    }
};

int32_t At(const std::vector<uint8_t>& b, size_t offset) { return GetInt32(&b[offset]); }

TEST_F(NodeHitTest, OneHitGoldenBytesAfterReopen) {
    NewTree();
    Hit("news.sport.day1", kIP, kMonday1030, "EXAMPLE.COM", "", "", true, true, true);
    CommitTree();
    EXPECT_FALSE(ErrorFlag());

    OpenTree("readonly");
    const uint32_t news = NodeNumber("news"), sport = NodeNumber("news.sport");
    Ref<IVirtualAtom> info = InfoAtomOf("news.sport.day1");

    std::vector<uint8_t> c = info->OpenLink(ilCounters)->GetAsBytes();
    ASSERT_EQ(c.size(), 56u);
    EXPECT_EQ(At(c, 0), 1);   // Hits
    EXPECT_EQ(At(c, 4), 1);   // Visits
    EXPECT_EQ(At(c, 8), 0);   // GroupHits
    EXPECT_EQ(At(c, 16), 1);  // Visitors
    EXPECT_EQ(GetDouble(&c[36]), clock_.now);
    EXPECT_EQ(At(c, 44), -1);

    Ref<IIndexer> days = IndexFactory()->OpenIndex(info->OpenLink(ilDays), "", "");
    Ref<IIndexerCursor> cursor;
    ASSERT_TRUE(days->GetCursor(cursor));
    EXPECT_EQ(cursor->GetKey(), std::string("\x00\x00\xB5\x1B", 4));  // day 46363 big-endian
    Ref<IVirtualAtom> day = cursor->GetValue();
    cursor.reset();
    days.reset();
    std::vector<uint8_t> d = day->GetAsBytes();
    ASSERT_EQ(d.size(), 112u);
    EXPECT_EQ(At(d, 0), 1);
    EXPECT_EQ(At(d, 4), 1);
    EXPECT_EQ(At(d, 8), 1);             // Total
    EXPECT_EQ(At(d, 12 + 4 * 10), 1);   // hour 10
    EXPECT_EQ(At(d, 108), 1);           // NewVisitors
    EXPECT_EQ(ReadInt32(*day->OpenLink(dlVisitorCount)), 1);
    std::vector<uint8_t> ips = day->OpenLink(dlIPList)->GetAsBytes();
    ASSERT_EQ(ips.size(), 4u + 160u);
    EXPECT_EQ(std::vector<uint8_t>(ips.begin(), ips.begin() + 20),
              (std::vector<uint8_t>{1, 0, 0, 0, 0x01, 0, 0, 0x0A, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));

    Ref<IIndexer> ipIndex = IndexFactory()->OpenIndex(info->OpenLink(ilIPs), "", "");
    ASSERT_TRUE(ipIndex->GetCursor(cursor));
    EXPECT_EQ(cursor->GetKey(), std::string("\x0A\x00\x00\x01", 4));
    std::vector<uint8_t> r = cursor->GetValue()->GetAsBytes();
    cursor.reset();
    ASSERT_EQ(r.size(), 28u);
    EXPECT_EQ(At(r, 0), 1);
    EXPECT_EQ(At(r, 4), 1);
    EXPECT_EQ(GetDouble(&r[8]), kMonday1030);
    EXPECT_EQ(At(r, 16), 1);
    EXPECT_EQ(GetDouble(&r[20]), clock_.now);

    std::vector<uint8_t> w = info->OpenLink(ilWeekHours)->GetAsBytes();
    ASSERT_EQ(w.size(), 800u);
    EXPECT_EQ(At(w, 0), 1);            // Monday's total
    EXPECT_EQ(At(w, 4 + 4 * 10), 1);   // Monday, hour 10
    EXPECT_EQ(At(w, 700), 1);
    EXPECT_EQ(At(w, 704 + 4 * 10), 1);
    int32_t sum = 0;
    for (size_t i = 0; i < 800; i += 4) sum += At(w, i);
    EXPECT_EQ(sum, 4);

    Ref<IVirtualAtom> entry = SourceEntry(*info, "EXAMPLE.COM");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->GetAsString(), "EXAMPLE.COM");
    std::vector<uint8_t> wd = entry->OpenLink(slWeekdays)->GetAsBytes();
    EXPECT_EQ(wd, (std::vector<uint8_t>{1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    std::vector<uint8_t> sr = entry->OpenLink(slRecord)->GetAsBytes();
    ASSERT_EQ(sr.size(), 32u);
    EXPECT_EQ(At(sr, 0), 1);
    EXPECT_EQ(At(sr, 4), 1);
    EXPECT_EQ(GetDouble(&sr[8]), kMonday1030);
    EXPECT_EQ(At(sr, 16), 1);
    EXPECT_EQ(GetDouble(&sr[20]), clock_.now);
    EXPECT_EQ(At(sr, 28), 1);
    EXPECT_FALSE(entry->HasLink(slUsefulSince));
    uint64_t number = AtomNumberOf(entry);
    EXPECT_EQ(ReadSourceDayRows(*day->OpenLink(dlSourceList)),
              (std::vector<TSourceDayRow>{{number, 1, 1, 1}}));
    EXPECT_EQ(ReadSourceDayRows(*day->OpenLink(dlTransitionList)),
              (std::vector<TSourceDayRow>{{number, 1, 0, 0}}));
    EXPECT_EQ(day->OpenLink(dlSourceList)->GetSize(), 4 + 240);

    // Link indexes: the parent's path, and its node atom number as text.
    Ref<IIndexer> links = IndexFactory()->OpenIndex(info->OpenLink(ilLinks), "", "");
    Ref<IVirtualAtom> parent;
    ASSERT_TRUE(links->Find("news.sport", parent));
    EXPECT_EQ(parent->GetAsString(), std::to_string(sport));
    links.reset();
    Ref<IVirtualAtom> sportInfo = InfoAtomOf("news.sport");
    links = IndexFactory()->OpenIndex(sportInfo->OpenLink(ilLinks), "", "");
    ASSERT_TRUE(links->Find("news", parent));
    EXPECT_EQ(parent->GetAsString(), std::to_string(news));
    links.reset();
    parent.reset();

    // The climb: group hits above, nothing at the root.
    EXPECT_EQ(GetInt32(&sportInfo->OpenLink(ilCounters)->GetAsBytes()[8]), 1);
    sportInfo.reset();
    day.reset();
    entry.reset();
    info.reset();
    EXPECT_EQ(Counters("news").GroupHits, 1);
    EXPECT_EQ(Counters("news").Hits, 0);
    EXPECT_EQ(Counters("").GroupHits, 0);
    EXPECT_EQ(Counters("").Hits, 0);
    CloseTree();
}

TEST_F(NodeHitTest, SameDayHitsFillTheHourRowAndASortedAddressList) {
    NewTree();
    Hit("page", 30, kMonday1030, "", "", "", true, true, true);
    Hit("page", 10, kMonday1030 + 1.0 / 1440, "", "", "", true, true, false);
    Hit("page", 20, kMonday1030 + 2.0 / 1440);
    Hit("page", 10, kMonday1030 + 3.0 / 1440);
    Hit("page", 0, kMonday1030 + 4.0 / 1440);
    Hit("page", 20, EncodeDateTime(2026, 12, 7, 23, 59, 59, 999));
    nodes_->RecordSiteHit(
        {.ip = 10, .when = kMonday1030, .newVisit = true, .isEntry = true, .newDay = true, .newVisitor = true});
    CommitTree();

    OpenTree("readonly");
    EXPECT_EQ(nodes_->GetIPLastHit(10, "page"), kMonday1030 + 3.0 / 1440);
    EXPECT_EQ(nodes_->GetIPLastHit(99, "page"), -1.0);
    EXPECT_EQ(nodes_->GetIPLastHit(10, "nothing"), 0.0);
    EXPECT_EQ(nodes_->GetIPLastHit(10, ""), kMonday1030);
    EXPECT_EQ(nodes_->GetIPLastHit(0, "page"), -1.0);
    TNodeCounters page = Counters("page");
    EXPECT_EQ(page.Hits, 6);
    EXPECT_EQ(page.Visits, 2);
    EXPECT_EQ(page.Visitors, 1);
    TNodeCounters site = Counters("");
    EXPECT_EQ(site.Hits, 1);
    EXPECT_EQ(site.Entries, 1);
    EXPECT_EQ(site.Exits, 0);

    Ref<IVirtualAtom> info = InfoAtomOf("page");
    Ref<IVirtualAtom> day = DayAtom(*info, kMonday1030);
    TNodeDayRecord record = TNodeDayRecord::FromBytes(day->GetAsBytes().data(), 112);
    EXPECT_EQ(record.Hits, 6);
    EXPECT_EQ(record.Visits, 2);
    EXPECT_EQ(record.NewVisitors, 1);
    EXPECT_EQ(record.HourRow.Total, 6);
    EXPECT_EQ(record.HourRow.Hours[10], 5);
    EXPECT_EQ(record.HourRow.Hours[23], 1);
    EXPECT_EQ(ReadInt32(*day->OpenLink(dlVisitorCount)), 2);
    EXPECT_EQ(ReadIPDayRows(*day->OpenLink(dlIPList)),
              (std::vector<TIPDayRow>{{10, 2, 1, 1}, {20, 2, 0, 0}, {30, 1, 1, 1}}));
    Ref<IIndexer> ips = IndexFactory()->OpenIndex(info->OpenLink(ilIPs), "", "");
    Ref<IIndexerCursor> cursor;
    ips->GetCursor(cursor);
    EXPECT_EQ(cursor->GetKeyCount(), 3);  // address 0 is never recorded
    TWeekHourBlock block = TWeekHourBlock::FromBytes(info->OpenLink(ilWeekHours)->GetAsBytes().data(), 800);
    EXPECT_EQ(block.Day(1).Total, 6);
    EXPECT_EQ(block.AllDays.Total, 6);
    EXPECT_EQ(block.AllDays.Hours[23], 1);
    cursor.reset();
    ips.reset();
    day.reset();
    info.reset();
    CloseTree();
}

TEST_F(NodeHitTest, SourcesTransitionsSessionCreditUnknownAndInternalHits) {
    const double t = kMonday1030;
    NewTree();
    Hit("p", 1, t, "A.COM");                                   // transition from A.COM
    Hit("p", 1, t + 0.001, "", "p", "A.COM", true, false, true);  // session credit, no transition
    Hit("p", 2, t + 0.002);                                     // UNKNOWN
    Hit("p", 2, t + 0.003, "", "home");                         // internal: previous page only
    Hit("p", 3, t + 0.004, "A.COM", "", "", true);              // second transition, first visit
    Hit("p", 3, t + 0.005, "", "", "NEVER.SEEN");               // credit to no known source
    CommitTree();

    OpenTree("readonly");
    Ref<IVirtualAtom> info = InfoAtomOf("p");
    Ref<IVirtualAtom> day = DayAtom(*info, t);
    Ref<IVirtualAtom> a = SourceEntry(*info, "A.COM");
    Ref<IVirtualAtom> unknown = SourceEntry(*info, "UNKNOWN");
    ASSERT_TRUE(a);
    ASSERT_TRUE(unknown);
    EXPECT_FALSE(SourceEntry(*info, "NEVER.SEEN"));
    TSourceRecord ar = TSourceRecord::FromBytes(a->OpenLink(slRecord)->GetAsBytes().data(), 32);
    EXPECT_EQ(ar.Hits, 3);
    EXPECT_EQ(ar.Visits, 2);
    EXPECT_EQ(ar.Visitors, 1);
    EXPECT_EQ(ar.Transitions, 2);
    EXPECT_EQ(ar.LastTime, t + 0.004);
    EXPECT_EQ(TSourceWeekdays::FromBytes(a->OpenLink(slWeekdays)->GetAsBytes().data(), 32).Counts[0], 2);
    ASSERT_TRUE(a->HasLink(slUsefulSince));
    EXPECT_EQ(GetDouble(a->OpenLink(slUsefulSince)->GetAsBytes().data()), t + 0.004);
    EXPECT_FALSE(unknown->HasLink(slUsefulSince));

    uint64_t an = AtomNumberOf(a), un = AtomNumberOf(unknown);
    std::vector<TSourceDayRow> sources = ReadSourceDayRows(*day->OpenLink(dlSourceList));
    std::vector<TSourceDayRow> transitions = ReadSourceDayRows(*day->OpenLink(dlTransitionList));
    auto row = [](const std::vector<TSourceDayRow>& rows, uint64_t n) {
        for (const TSourceDayRow& r : rows)
            if (r.Number == n) return r;
        return TSourceDayRow{};
    };
    EXPECT_EQ(row(sources, an), (TSourceDayRow{an, 3, 2, 1}));
    EXPECT_EQ(row(sources, un), (TSourceDayRow{un, 1, 0, 0}));
    EXPECT_EQ(row(transitions, an), (TSourceDayRow{an, 2, 0, 0}));
    EXPECT_EQ(row(transitions, un), (TSourceDayRow{un, 1, 0, 0}));
    EXPECT_EQ(sources.size(), 2u);
    EXPECT_LT(sources[0].Number, sources[1].Number);

    Ref<IIndexer> prev = IndexFactory()->OpenIndex(info->OpenLink(ilPrevNodes), "", "");
    Ref<IVirtualAtom> count;
    ASSERT_TRUE(prev->Find("home", count));
    EXPECT_EQ(ReadInt32(*count), 1);
    ASSERT_TRUE(prev->Find("p", count));
    EXPECT_EQ(ReadInt32(*count), 1);
    count.reset();
    prev.reset();
    a.reset();
    unknown.reset();
    day.reset();
    info.reset();
    CloseTree();
}

TEST_F(NodeHitTest, ClimbCountsEveryPathToAParentOneOpenAtATime) {
    NewTree();
    {
        Ref<INode> x = nodes_->FindNode("a.x", true);
        nodes_->FindNode("b", true)->AttachChild("x", x, false);   // a second parent
        nodes_->FindNode("a", false)->AttachChild("again", x, false);  // a twice
        nodes_->GetRoot()->AttachChild("top", x, false);            // and the root
    }
    EXPECT_EQ(nodes_->GetLinkNames("a.x"), (Names{"", "a", "b"}));
    Hit("a.x", 5, kMonday1030);
    Hit("b.x", 5, kMonday1030);
    EXPECT_EQ(Counters("a.x").Hits, 2);
    // a is one link of x (one path), b another; the root through the attach.
    EXPECT_EQ(Counters("a").GroupHits, 2);
    EXPECT_EQ(Counters("b").GroupHits, 2);
    EXPECT_EQ(Counters("").GroupHits, 2);
    CommitTree();
    EXPECT_FALSE(ErrorFlag());
}

// A parent with two paths gives its new child two links to one atom: the
// climb counts it once per link and never holds it open twice.
TEST_F(NodeHitTest, ParentWithTwoPathsCountsOncePerLink) {
    NewTree();
    {
        Ref<INode> p = nodes_->FindNode("a.p", true);
        nodes_->FindNode("b", true)->AttachChild("p", p, false);
        p->GetChild("c", true);
    }
    EXPECT_EQ(nodes_->GetLinkNames("a.p.c"), (Names{"a.p", "b.p"}));
    Hit("b.p.c", 1, kMonday1030);
    EXPECT_EQ(Counters("a.p").GroupHits, 2);
    EXPECT_EQ(Counters("a").GroupHits, 2);
    EXPECT_EQ(Counters("b").GroupHits, 2);
    CommitTree();
    EXPECT_FALSE(ErrorFlag());
}

TEST_F(NodeHitTest, DiamondAncestorCountsTwiceAndCyclesEnd) {
    NewTree();
    {
        Ref<INode> d = nodes_->FindNode("g.p1.d", true);
        nodes_->FindNode("g.p2", true)->AttachChild("d", d, false);
        Ref<INode> g = nodes_->FindNode("g", false);
        Ref<INode> p1 = g->GetChild("p1", false);
        d.reset();
        p1->AttachChild("gg", g, false);  // g hangs under its own child
    }
    // Every path up from d that visits no node twice: d-p1-g, d-p2-g-p1.
    Hit("g.p1.d", 1, kMonday1030);
    EXPECT_EQ(Counters("g.p1").GroupHits, 2);
    EXPECT_EQ(Counters("g.p2").GroupHits, 1);
    EXPECT_EQ(Counters("g").GroupHits, 2);  // reached through p1 and p2
    Hit("g", 1, kMonday1030);
    EXPECT_EQ(Counters("g").Hits, 1);
    EXPECT_EQ(Counters("g").GroupHits, 2);  // g-p1, then g again: skipped
    EXPECT_EQ(Counters("g.p1").GroupHits, 3);
    CommitTree();
    EXPECT_FALSE(ErrorFlag());
}

TEST_F(NodeHitTest, StaleParentLinkIsSkipped) {
    NewTree();
    {
        Ref<INode> c = nodes_->FindNode("p.c", true);
        nodes_->FindNode("q", true)->AttachChild("c", c, false);
    }
    const uint32_t p = NodeNumber("p");
    nodes_->GetRoot()->DeleteChild("p", false);  // p goes; c keeps its link to it
    CommitTree();
    OpenTree();
    EXPECT_FALSE(TNode::OpenByNumber(*Root(), p));
    EXPECT_EQ(nodes_->GetLinkNames("q.c"), (Names{"p", "q"}));
    Hit("q.c", 1, kMonday1030);
    Hit("q.c", 2, kMonday1030);
    EXPECT_EQ(Counters("q").GroupHits, 2);
    EXPECT_EQ(Counters("q.c").Hits, 2);
    CommitTree();
    EXPECT_FALSE(ErrorFlag());
}

TEST_F(NodeHitTest, LegacyDayRecordGetsItsNewVisitorsField) {
    NewTree();
    Hit("p", 1, kMonday1030);
    CommitTree();
    OpenTree();
    {
        Ref<IVirtualAtom> day = DayAtom(*InfoAtomOf("p"), kMonday1030);
        day->SetSize(108);
    }
    Hit("p", 1, kMonday1030, "", "", "", false, false, true);
    {
        Ref<IVirtualAtom> day = DayAtom(*InfoAtomOf("p"), kMonday1030);
        EXPECT_EQ(day->GetSize(), 112);
        EXPECT_EQ(ReadInt32(*day, 108), 1);
        EXPECT_EQ(ReadInt32(*day, 0), 2);
    }
    CommitTree();
}

TEST_F(NodeHitTest, BrokenIndexIsNotedAndTheOtherRecordsStillCount) {
    NewTree();
    Hit("p", 1, kMonday1030);
    {
        Ref<IVirtualAtom> info = InfoAtomOf("p");
        Ref<IVirtualAtom> junk = tr_->CreateAtom();
        junk->SetAsString("no index");
        info->SetLink(ilIPs, junk);
    }
    EXPECT_FALSE(ErrorFlag());
    Hit("p", 1, kMonday1030);
    EXPECT_TRUE(ErrorFlag());
    EXPECT_EQ(Counters("p").Hits, 2);
    {
        Ref<IVirtualAtom> day = DayAtom(*InfoAtomOf("p"), kMonday1030);
        EXPECT_EQ(ReadInt32(*day, 0), 2);
    }
    CloseTree();
}

TEST_F(NodeHitTest, EntryPointsForMissingNodesIntervalsBrowsersAndLanguages) {
    NewTree();
    const THitFacts kEverythingNew{.ip = 1, .when = kMonday1030, .newVisit = true, .isEntry = true,
                                   .isExit = true, .newDay = true, .newVisitor = true};
    nodes_->RecordNodeHit("nothing", false, kEverythingNew);
    EXPECT_FALSE(nodes_->NodeExists("nothing"));
    nodes_->RecordNodeHit("made.here", true, kEverythingNew);
    EXPECT_EQ(Counters("made.here").Entries, 1);
    EXPECT_EQ(Counters("made.here").Exits, 1);
    EXPECT_EQ(Counters("made").GroupHits, 1);

    nodes_->GetRoot()->GetInfo()->SetInterval(30);
    EXPECT_EQ(nodes_->GetNodeInterval("made"), -1);
    EXPECT_EQ(nodes_->GetNodeInterval("nothing"), 30);
    EXPECT_EQ(nodes_->GetNodeInterval(""), 30);

    nodes_->CountBrowser("Lynx/2.8.9rel.1", "", false);
    nodes_->CountBrowser("Opera/9.80", "made", false);
    nodes_->CountBrowser("Opera/9.80", "other", false);
    EXPECT_FALSE(nodes_->NodeExists("other"));
    nodes_->CountBrowser("Opera/9.80", "other", true);
    EXPECT_EQ(nodes_->GetRoot()->GetInfo()->GetBrowsers()->Count(BrowserSetOf(bkLynx)), 1);
    EXPECT_EQ(nodes_->GetNodeInfo("made", false)->GetBrowsers()->Count(BrowserSetOf(bkOpera)), 1);
    EXPECT_EQ(nodes_->GetNodeInfo("other", false)->GetBrowsers()->Count(0x7F), 1);

    nodes_->CountNodeLanguage("made", "ru-RU");
    nodes_->CountNodeLanguage("missing", "ru-RU");
    nodes_->CountNodeLanguage("made", "");
    nodes_->CountLanguage("en-us");
    nodes_->CountLanguage("");
    EXPECT_FALSE(nodes_->NodeExists("missing"));
    EXPECT_EQ(nodes_->FindNode("made", false)->GetLanguages()->GetCodes(), Names{"RU-RU"});
    EXPECT_EQ(nodes_->GetRoot()->GetLanguages()->GetCodes(), Names{"EN-US"});
    CommitTree();
}

}  // namespace
}  // namespace tlvx
