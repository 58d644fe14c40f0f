// The node statistics queries against a plain model of the same hits.
//
// Each fixture is a site whose hits go through the real hit recording
// (RecordNodeHit and RecordSiteHit) under a fixed clock; the reference model
// (model/testing/query_reference_model.h) takes the same hits and computes every figure
// from them alone. The queries then run in a fresh transaction, or on the
// database opened read-only, and must agree figure for figure.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

#include "model/byte_order.h"
#include "model/error_notes.h"
#include "model/node_collection.h"
#include "model/node_day_lists.h"
#include "model/node_period_walk.h"
#include "model/testing/query_reference_model.h"
#include "model/testing/synthetic_site.h"
#include "platform/clock.h"
#include "platform/testing/fixed_sources.h"
#include "platform/text.h"
#include "store/btree_factory.h"
#include "store/testing/memory_volumes.h"

namespace tlvx {
namespace {

using reference::TNodeModel;
using reference::TSiteModel;

constexpr int32_t kNodesLink = 13;


// A built fixture: the committed storage file and the model of its hits.
struct TSite {
    std::string File;
    TSiteModel Model;
    std::vector<std::string> Paths;
    int32_t FirstDay = 0;
    int32_t LastDay = 0;
    std::map<std::string, int32_t> Reloads;  // "" is the root
};

class NodeQueriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetClock(&clock_);
        ResetErrorNotes();
    }
    void TearDown() override {
        nodes_.reset();
        tr_.reset();
        storage_.reset();
        SetClock(nullptr);
        ResetErrorNotes();
    }

    // Records days days of a site of the given shape, starting on a Monday.
    TSite Build(int days, synthetic::TSiteShape shape) {
        TSite site;
        site.FirstDay = int32_t(EncodeDateTime(2025, 3, 3));
        site.LastDay = site.FirstDay + days - 1;
        clock_.now = site.FirstDay + 0.001;
        site.File = "/memory/site" + std::to_string(++sites_) + ".orv";
        storage_ = volumes_.Create(site.File);
        tr_ = storage_->StartTransaction();
        {
            Ref<IVirtualAtom> rootAtom;
            Ref<TNodeCollection> nodes = TNodeCollection::Create(tr_, rootAtom);
            tr_->OpenRootAtom()->SetLink(kNodesLink, rootAtom);
            rootAtom.reset();
            site.Model.Root.Created = clock_.now;
            synthetic::TSiteGenerator generator(shape);
            site.Paths = generator.Paths();
            synthetic::TRandom random(shape.Seed + 99);
            for (int32_t day = site.FirstDay; day <= site.LastDay; ++day) {
                for (const synthetic::THit& h : generator.Day(day)) {
                    clock_.now = h.When;
                    nodes->RecordNodeHit(h.Path, true, h.NodeFacts());
                    nodes->RecordSiteHit(h.SiteFacts());
                    site.Model.NodeHit(h.Path, h.IP, h.When, h.Referrer, h.PrevNode, h.SessionRef, h.NewVisit,
                                       h.IsEntry, h.IsExit, h.NewDay, h.NewVisitor, h.When);
                    site.Model.SiteHit(h.IP, h.When, h.Referrer, h.PrevNode, h.SessionRef, h.SiteNewVisit,
                                       h.IsEntry, h.IsExit, h.NewDay, h.SiteNewVisitor, h.When);
                    if (random.PerMille(20)) {  // a reload, counted by the hit road on node and root
                        nodes->GetNodeInfo(h.Path, false)->AddReloads(1);
                        nodes->GetRoot()->GetInfo()->AddReloads(1);
                        ++site.Reloads[h.Path];
                        ++site.Reloads[""];
                    }
                }
            }
        }
        EXPECT_FALSE(ErrorFlag());
        tr_->Commit();
        tr_.reset();
        storage_.reset();
        // "Today" is the day after the last one recorded.
        clock_.now = site.LastDay + 1.5;
        return site;
    }

    // Opens the fixture's tree (read-only or in a new transaction).
    void Open(const TSite& site, bool readOnly) {
        nodes_.reset();
        tr_.reset();
        storage_.reset();
        storage_ = volumes_.Open(readOnly, site.File);
        tr_ = storage_->StartTransaction();
        nodes_ = TNodeCollection::Open(tr_->OpenRootAtom()->OpenLink(kNodesLink));
    }

    Ref<INodeInfo> Info(const std::string& path) {
        return path.empty() ? nodes_->GetRoot()->GetInfo() : nodes_->GetNodeInfo(path, false);
    }
    Ref<INode> Node(const std::string& path) { return path.empty() ? nodes_->GetRoot() : nodes_->FindNode(path, false); }

    test::TMemoryVolumes volumes_;
    int sites_ = 0;
    TSettableClock clock_;
    Ref<IVirtualStorage> storage_;
    Ref<IStorageTransaction> tr_;
    Ref<TNodeCollection> nodes_;
};

struct TRange {
    double From, To;
};

// Periods worth asking about: the whole span and beyond it, single days
// with times of day, the first and last weeks and months, a from after its
// to, and periods picked at random.
std::vector<TRange> RangesOf(const TSite& site, uint64_t seed) {
    const double f = site.FirstDay, l = site.LastDay;
    std::vector<TRange> r{{f - 3, l + 3}, {f, l},          {f + 0.9, f + 0.1}, {l + 0.99, l},
                          {f, f + 6.5},   {l - 29, l + .7}, {l - 6, l},         {l + 1, l + 40},
                          {f - 40, f - 1}, {l, f},          {f + 1, f}};
    synthetic::TRandom random(seed);
    int span = site.LastDay - site.FirstDay + 1;
    for (int i = 0; i < 6; ++i) {
        double a = f + random.Below(uint32_t(span)) + random.Below(1000) / 1000.0;
        double b = a + random.Below(uint32_t(span)) + random.Below(1000) / 1000.0;
        r.push_back({a, b});
    }
    return r;
}

std::string Where(const std::string& path, const TRange& r) {
    return "node '" + path + "' " + std::to_string(r.From) + ".." + std::to_string(r.To);
}

constexpr TListOrder kEveryOrder[] = {TListOrder::Text,     TListOrder::Hits, TListOrder::Visits,
                                      TListOrder::Visitors, TListOrder::Time, TListOrder::HitsAscending};

// The reference list sorted as the queries sort: stable, by order.
TCObjectList SortedLike(TCObjectList list, TListOrder order) {
    std::stable_sort(list.begin(), list.end(), [order](const TCObjectLine& a, const TCObjectLine& b) {
        switch (order) {
            case TListOrder::Hits: return a.Object.Hits > b.Object.Hits;
            case TListOrder::Visits: return a.Object.Visits > b.Object.Visits;
            case TListOrder::Visitors: return a.Object.Visitors > b.Object.Visitors;
            case TListOrder::Time: return a.Object.Time > b.Object.Time;
            case TListOrder::HitsAscending: return a.Object.Hits < b.Object.Hits;
            case TListOrder::Text: break;
        }
        return a.Text < b.Text;
    });
    return list;
}

void ExpectSameList(const TCObjectList& got, const TCObjectList& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].Text, want[i].Text) << what << " line " << i;
        EXPECT_EQ(got[i].Object.Hits, want[i].Object.Hits) << what << " " << want[i].Text;
        EXPECT_EQ(got[i].Object.Visits, want[i].Object.Visits) << what << " " << want[i].Text;
        EXPECT_EQ(got[i].Object.Visitors, want[i].Object.Visitors) << what << " " << want[i].Text;
        EXPECT_EQ(got[i].Object.Time, want[i].Object.Time) << what << " " << want[i].Text;
    }
}

TIPArray ModelPeriodRows(const TNodeModel& m, const TRange& r) {
    TIPArray rows;
    for (const auto& [ip, c] : m.AddressesForPeriod(r.From, r.To)) rows.push_back({ip, c.Hits, c.Visits, c.Third, 0});
    return rows;
}

TIPArray ModelRecordRows(const TNodeModel& m) {
    TIPArray rows;
    for (const auto& [ip, a] : m.Addresses) rows.push_back({ip, a.Hits, a.Visits, a.NewDays, a.LastHit});
    return rows;
}

void ExpectSameRows(const TIPArray& got, const TIPArray& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], want[i]) << what << " row " << i;
}

// Every query of INodeInfo on one node against the model.
void CheckNode(INodeInfo& info, const TSite& site, const std::string& path, const std::vector<TRange>& ranges,
               double today) {
    const TNodeModel& m = site.Model.Of(path);
    const std::vector<std::string> noOrder;
    auto orderIt = site.Model.SourceOrder.find(path);
    const std::vector<std::string>& order = orderIt == site.Model.SourceOrder.end() ? noOrder : orderIt->second;

    // Day ranges and addresses over periods.
    for (const TRange& r : ranges) {
        const std::string w = Where(path, r);
        EXPECT_EQ(info.GetDayHits(r.From, r.To), m.DayHits(r.From, r.To)) << w;
        EXPECT_EQ(info.GetDayVisits(r.From, r.To), m.DayVisits(r.From, r.To)) << w;
        EXPECT_EQ(info.GetDayNewVisitors(r.From, r.To), m.DayNewVisitors(r.From, r.To)) << w;
        EXPECT_EQ(info.GetDayVisitors(r.From, r.To), m.DayVisitors(r.From, r.To)) << w;
        ExpectSameRows(info.GetIPStatsForPeriod(r.From, r.To), ModelPeriodRows(m, r), w);

        TCObjectList period;
        for (const auto& [name, c] : m.PeriodSources(r.From, r.To, order))
            period.push_back({name, TCObject(c.Hits, c.Visits, c.Third)});
        ExpectSameList(info.GetPeriodSourceList(r.From, r.To), period, "period sources " + w);
        for (const auto& [name, s] : m.Sources) {
            for (int kind : {0, 1, 2, 7})
                EXPECT_EQ(info.GetSourceDaySum(name, kind, r.From, r.To), m.SourceDaySum(name, kind, r.From, r.To))
                    << w << " " << name << " kind " << kind;
            EXPECT_EQ(info.GetSourceDayTransitions(name, r.From, r.To), m.SourceDayTransitions(name, r.From, r.To))
                << w << " " << name;
            TSourceDayRow totals = info.GetSourceTotals(name, r.From, r.To);
            EXPECT_EQ(totals.Hits, m.SourceDaySum(name, 0, r.From, r.To)) << w << " " << name;
            EXPECT_EQ(totals.Visits, m.SourceDaySum(name, 1, r.From, r.To)) << w << " " << name;
            EXPECT_EQ(totals.Visitors, m.SourceDaySum(name, 2, r.From, r.To)) << w << " " << name;
        }
    }
    EXPECT_EQ(info.GetSourceDaySum("NO.SUCH.HOST", 0, site.FirstDay, site.LastDay), 0);
    EXPECT_EQ(info.GetSourceDayTransitions("NO.SUCH.HOST", site.FirstDay, site.LastDay), 0);

    // Single days.
    for (int32_t day = site.FirstDay - 1; day <= site.LastDay + 1; ++day) {
        if (day - site.FirstDay > 10 && site.LastDay - day > 10 && day % 17) continue;
        EXPECT_EQ(info.GetDayVisitorCount(day + 0.7), m.DayVisitorCount(day)) << path << " " << day;
        TCObjectList daySources;
        auto d = m.Days.find(day);
        if (d != m.Days.end())
            for (const std::string& name : order) {
                auto row = d->second.Sources.find(name);
                if (row != d->second.Sources.end())
                    daySources.push_back({name, TCObject(row->second.Hits, row->second.Visits, row->second.Third)});
            }
        ExpectSameList(info.GetDaySourceList(day + 0.25), daySources, path + " day " + std::to_string(day));
    }
    EXPECT_EQ(info.GetLastDay(), m.LastDay()) << path;

    // Addresses.
    ExpectSameRows(info.GetIPRecords(), ModelRecordRows(m), path + " address records");

    // Sources as a whole.
    StringArray names;
    TCObjectList sources;
    for (const auto& [name, s] : m.Sources) {
        names.push_back(name);
        sources.push_back({name, TCObject(s.Hits, s.Visits, s.Visitors, s.LastTime)});
    }
    EXPECT_EQ(info.GetSourceNames(), names) << path;
    for (TListOrder order : kEveryOrder)
        ExpectSameList(info.GetSourceList(order), SortedLike(sources, order),
                       path + " sources order " + std::to_string(int(order)));
    for (const auto& [name, s] : m.Sources) {
        EXPECT_EQ(info.GetSourceTransitions(name), s.Weekdays[0]) << path << " " << name;
        EXPECT_EQ(info.GetSourceFirstTime(name), s.FirstTime) << path << " " << name;
        EXPECT_EQ(info.GetSourceLastTime(name), s.LastTime) << path << " " << name;
        int32_t hits = -1, visits = -1, visitors = -1, transitions = -1;
        double last = -1, first = -1;
        info.GetSourceStats(name, hits, visits, visitors, transitions, last, first);
        EXPECT_EQ(hits, s.Hits);
        EXPECT_EQ(visits, s.Visits);
        EXPECT_EQ(visitors, s.Visitors);
        EXPECT_EQ(transitions, s.Transitions);
        EXPECT_EQ(last, s.LastTime);
        EXPECT_EQ(first, s.FirstTime);
        // Day rows: one per day of the period; the source is upper-cased.
        std::string lower = LowerAscii(name);
        double from = site.FirstDay - 2, to = std::min<double>(site.LastDay + 1, site.FirstDay + 40);
        trefarray rows = info.GetSourceDayRows(lower, from + 0.5, to + 0.25);
        ASSERT_EQ(rows.size(), size_t(to - from + 1)) << path << " " << name;
        uint64_t number = 0;
        for (size_t i = 0; i < rows.size(); ++i) {
            int32_t day = int32_t(from) + int32_t(i);
            auto dm = m.Days.find(day);
            if (dm == m.Days.end()) {
                EXPECT_EQ(rows[i], TSourceDayRow{}) << path << " " << name << " " << day;
                continue;
            }
            if (number == 0) number = rows[i].Number;
            EXPECT_NE(rows[i].Number, 0u);
            EXPECT_EQ(rows[i].Number, number) << path << " " << name << " " << day;
            auto row = dm->second.Sources.find(name);
            reference::TCounts c = row == dm->second.Sources.end() ? reference::TCounts{} : row->second;
            EXPECT_EQ(rows[i].Hits, c.Hits) << path << " " << name << " " << day;
            EXPECT_EQ(rows[i].Visits, c.Visits) << path << " " << name << " " << day;
            EXPECT_EQ(rows[i].Visitors, c.Third) << path << " " << name << " " << day;
        }
    }
    auto unknown = m.Sources.find("UNKNOWN");
    int32_t unknownTransitions = unknown == m.Sources.end() ? -1 : unknown->second.Weekdays[0];
    EXPECT_EQ(info.GetSourceTransitions(""), unknownTransitions) << path;
    EXPECT_EQ(info.GetSourceTransitions(" \t"), unknownTransitions) << path;
    EXPECT_EQ(info.GetSourceTransitions("NO.SUCH.HOST"), -1) << path;
    EXPECT_EQ(info.GetSourceFirstTime("NO.SUCH.HOST"), 0.0);
    for (double day = site.FirstDay - 1; day <= site.LastDay + 1; day += std::max(1, (site.LastDay - site.FirstDay) / 9)) {
        EXPECT_EQ(info.CountSourcesUsedAfter(day + 0.5), m.CountSourcesUsedAfter(day)) << path << " " << day;
        EXPECT_EQ(info.CountSourcesUsefulBefore(day + 0.5), m.CountSourcesUsefulBefore(day)) << path << " " << day;
        for (double span : {0.0, 6.0, 29.0, -1.0})
            EXPECT_EQ(info.CountSourcesFirstSeen(day - span + 0.9, day + 0.5), m.CountSourcesFirstSeen(day - span, day))
                << path << " " << day << " " << span;
    }
    for (double from : {double(site.FirstDay), site.FirstDay + 0.8, double(site.LastDay), today - 1, today,
                        today + 3, site.FirstDay - 5.5}) {
        std::vector<double> want = m.UnknownShares(from, today);
        FloatArray got = info.GetUnknownShares(from);
        ASSERT_EQ(got.size(), want.size()) << path << " from " << from;
        for (size_t i = 0; i < got.size(); ++i) EXPECT_DOUBLE_EQ(got[i], want[i]) << path << " day " << i;
    }

    // Previous pages.
    StringArray prevNames;
    TCObjectList prev;
    for (const auto& [name, count] : m.PrevNodes) {
        prevNames.push_back(name);
        prev.push_back({name, TCObject(count, 0, 0)});
        EXPECT_EQ(info.GetPrevNodeCount(name), count);
    }
    EXPECT_EQ(info.GetPrevNodeNames(), prevNames) << path;
    for (TListOrder order : kEveryOrder)
        ExpectSameList(info.GetPrevNodeList(order),
                       SortedLike(prev, order == TListOrder::Hits ? order : TListOrder::Text), path + " previous pages");
    EXPECT_EQ(info.GetPrevNodeCount("no.such.page"), -1);

    // Week and hour.
    TWeekHourBlock block = info.GetWeekHourBlock();
    TWeekdayTotals totals = info.GetWeekdayTotals();
    EXPECT_EQ(totals[0], m.Week[0][0]);
    EXPECT_EQ(block.AllDays.Total, m.Week[0][0]);
    for (int d = 1; d <= 7; ++d) {
        EXPECT_EQ(totals[size_t(d)], m.Week[size_t(d)][0]) << path << " weekday " << d;
        EXPECT_EQ(block.Day(d).Total, m.Week[size_t(d)][0]);
        for (int h = 0; h < 24; ++h) EXPECT_EQ(block.Day(d).Hours[size_t(h)], m.Week[size_t(d)][size_t(1 + h)]);
    }
    for (int h = 0; h < 24; ++h) EXPECT_EQ(block.AllDays.Hours[size_t(h)], m.Week[0][size_t(1 + h)]);

    // The most frequent source of a day and of all time.
    for (double day : {0.0, double(site.FirstDay), double(site.LastDay)}) {
        for (bool withUnknown : {false, true}) {
            std::vector<std::pair<std::string, int32_t>> candidates;
            if (day >= 1) {
                auto d = m.Days.find(int32_t(day));
                if (d != m.Days.end())
                    for (const std::string& name : order)
                        if (auto row = d->second.Sources.find(name); row != d->second.Sources.end())
                            candidates.emplace_back(name, row->second.Hits);
                std::stable_sort(candidates.begin(), candidates.end(),
                                 [](const auto& a, const auto& b) { return a.second > b.second; });
            } else {
                for (const auto& [name, s] : m.Sources) candidates.emplace_back(name, s.Hits);
            }
            const std::string exclude = synthetic::HostName(0);
            int32_t best = 0, total = 0;
            std::string bestName;
            for (const auto& [name, hits] : candidates) {
                if (name != exclude && (name != "UNKNOWN" || withUnknown) && hits > best) best = hits, bestName = name;
                total += hits;
            }
            int32_t count = -1, percent = -1;
            std::string top = "x";
            info.GetTopSource(count, percent, top, withUnknown, day, exclude);
            EXPECT_EQ(count, best) << path << " " << day;
            EXPECT_EQ(top, bestName) << path << " " << day;
            EXPECT_EQ(percent, total == 0 ? (best >= 1 ? 100 : 0) : int32_t(std::nearbyint(100.0 * best / total)));
        }
    }
}

class NodeQueriesSites : public NodeQueriesTest {
protected:
    void CheckAll(const TSite& site, bool readOnly) {
        Open(site, readOnly);
        const double today = clock_.now;
        std::vector<TRange> ranges = RangesOf(site, 7);
        std::vector<std::string> paths{""};
        for (const auto& [path, n] : site.Model.Nodes) paths.push_back(path);
        for (const std::string& path : paths) {
            Ref<INodeInfo> info = Info(path);
            ASSERT_TRUE(info) << path;
            CheckNode(*info, site, path, ranges, today);
        }
        for (const std::string& path : paths) CheckSubtree(site, path, ranges);
        EXPECT_FALSE(ErrorFlag());
    }

    // The subtree forms against the model and against the node queries of
    // every node below, added up.
    void CheckSubtree(const TSite& site, const std::string& path, const std::vector<TRange>& ranges) {
        std::vector<const TNodeModel*> below = site.Model.Subtree(path);
        std::vector<std::string> order = site.Model.SubtreeOrder(path);
        // What the node queries of each node below give, one node open at a time.
        std::vector<int32_t> ownHits(ranges.size(), 0);
        const TWeekHourBlock ownBlock = Info(path)->GetWeekHourBlock();
        for (const std::string& p : order) {
            Ref<INodeInfo> info = Info(p);
            for (size_t i = 0; i < ranges.size(); ++i)
                ownHits[i] += info->GetDayHits(ranges[i].From, ranges[i].To);
        }
        Ref<INode> node = Node(path);
        ASSERT_TRUE(node) << path;
        for (size_t i = 0; i < ranges.size(); ++i) {
            const TRange& r = ranges[i];
            int32_t hits = 0, visits = 0, fresh = 0, visitors = 0;
            for (const TNodeModel* m : below) {
                hits += m->DayHits(r.From, r.To), visits += m->DayVisits(r.From, r.To);
                fresh += m->DayNewVisitors(r.From, r.To), visitors += m->DayVisitors(r.From, r.To);
            }
            const std::string w = Where(path, r) + " subtree";
            EXPECT_EQ(node->GetDayHits(true, r.From, r.To), hits) << w;
            EXPECT_EQ(node->GetDayHits(true, r.From, r.To), ownHits[i]) << w;
            EXPECT_EQ(node->GetDayHits(false, r.From, r.To), site.Model.Of(path).DayHits(r.From, r.To)) << w;
            EXPECT_EQ(node->GetDayVisits(true, r.From, r.To), visits) << w;
            EXPECT_EQ(node->GetDayNewVisitors(true, r.From, r.To), fresh) << w;
            EXPECT_EQ(node->GetDayVisitors(true, r.From, r.To), visitors) << w;
            EXPECT_EQ(node->GetDayVisitors(false, r.From, r.To), site.Model.Of(path).DayVisitors(r.From, r.To)) << w;
            // The same day by day, in one walk.
            const TDayRange range = DayRangeOf(r.From, r.To);
            std::map<int32_t, TDayFigures> byDay;
            for (const TNodeModel* m : below)
                for (auto d = m->Days.lower_bound(int32_t(range.First));
                     d != m->Days.end() && d->first <= range.Last; ++d) {
                    TDayFigures& f = byDay[d->first];
                    f.Day = d->first, f.Hits += d->second.Hits, f.Visits += d->second.Visits;
                    f.NewVisitors += d->second.NewVisitors, f.Visitors += d->second.VisitorCount;
                }
            std::vector<TDayFigures> days;
            for (const auto& [day, f] : byDay) days.push_back(f);
            EXPECT_EQ(node->GetDayFigures(true, r.From, r.To), days) << w;

            // Address rows merged in the order of the walk.
            TIPArray merged;
            std::map<uint32_t, size_t> at;
            for (const std::string& p : order) {
                for (TIPRow row : ModelPeriodRows(site.Model.Of(p), r)) {
                    auto [it, fresh2] = at.try_emplace(row.IP, merged.size());
                    if (fresh2) {
                        merged.push_back(row);
                    } else {
                        merged[it->second].Hits += row.Hits, merged[it->second].Visits += row.Visits;
                        merged[it->second].NewDays += row.NewDays;
                    }
                }
            }
            ExpectSameRows(node->GetIPStatsForPeriod(true, r.From, r.To), merged, w + " addresses");
        }
        TIPArray records;
        std::map<uint32_t, size_t> at;
        bool first = true;
        for (const std::string& p : order) {
            for (TIPRow row : ModelRecordRows(site.Model.Of(p))) {
                auto [it, fresh] = at.try_emplace(row.IP, records.size());
                if (fresh) {
                    if (!first) row.LastHit = 0;
                    records.push_back(row);
                } else {
                    records[it->second].Hits += row.Hits, records[it->second].Visits += row.Visits;
                    records[it->second].NewDays += row.NewDays;
                }
            }
            first = false;
        }
        ExpectSameRows(node->GetIPRecords(true), records, path + " subtree address records");
        ExpectSameRows(node->GetIPRecords(false), ModelRecordRows(site.Model.Of(path)), path + " own records");

        double last = 0;
        int32_t reloads = 0;
        TWeekHourBlock block;
        TWeekdayTotals totals{};
        for (const TNodeModel* m : below) last = std::max(last, m->LastDay());
        for (const std::string& p : order) {
            auto it = site.Reloads.find(p);
            reloads += it == site.Reloads.end() ? 0 : it->second;
            const TNodeModel& m = site.Model.Of(p);
            for (size_t d = 0; d < 8; ++d) totals[d] += m.Week[d][0];
            block.AllDays.Total += m.Week[0][0];
            for (int wd = 1; wd <= 7; ++wd) {
                block.Day(wd).Total += m.Week[size_t(wd)][0];
                for (size_t h = 0; h < 24; ++h) block.Day(wd).Hours[h] += m.Week[size_t(wd)][1 + h];
            }
            for (size_t h = 0; h < 24; ++h) block.AllDays.Hours[h] += m.Week[0][1 + h];
        }
        EXPECT_EQ(node->GetLastDay(true), last) << path;
        EXPECT_EQ(node->GetLastDay(false), site.Model.Of(path).LastDay()) << path;
        EXPECT_EQ(node->GetReloads(), reloads) << path;
        EXPECT_EQ(node->GetWeekdayTotals(true), totals) << path;
        EXPECT_EQ(node->GetWeekHourBlock(true), block) << path;
        EXPECT_EQ(node->GetWeekHourBlock(false), ownBlock) << path;
    }
};

synthetic::TSiteShape Shape(int top, int second, int leaves, int visitors, int hits, int hosts, uint64_t seed) {
    synthetic::TSiteShape s;
    s.TopNodes = top, s.SecondPerTop = second, s.LeavesPerSecond = leaves;
    s.VisitorsPerDay = visitors, s.HitsPerVisitor = hits, s.Hosts = hosts, s.Seed = seed;
    s.ZeroIPPerMille = 40;
    s.UnknownSessionPerMille = 40;
    return s;
}

TEST_F(NodeQueriesSites, OneDay) {
    TSite site = Build(1, Shape(2, 2, 3, 40, 4, 6, 11));
    CheckAll(site, false);
    CheckAll(site, true);
}

TEST_F(NodeQueriesSites, EightDays) {
    TSite site = Build(8, Shape(2, 2, 2, 15, 4, 5, 12));
    CheckAll(site, true);
}

TEST_F(NodeQueriesSites, ThirtyOneDays) {
    TSite site = Build(31, Shape(2, 2, 2, 8, 3, 5, 13));
    CheckAll(site, true);
}

TEST_F(NodeQueriesSites, FourHundredDays) {
    TSite site = Build(400, Shape(2, 1, 2, 3, 3, 4, 14));
    CheckAll(site, false);
}

// The day atom of day in the statistics of info, opened for changing.
Ref<IVirtualAtom> DayAtom(INodeInfo& info, int32_t day) {
    Ref<IIndexer> days = IndexFactory()->OpenIndex(info.GetAtom()->OpenLink(ilDays), "", "");
    Ref<IVirtualAtom> atom;
    days->Find(BigEndianKey32(uint32_t(day)), atom);
    return atom;
}

// An older or partly written database: links that a reader must take as
// empty or zero are missing, a day record is of the 108-byte kind, a day's
// source list has a row naming no source. Opened read-only, every query
// gives the figures of what is there and nothing is written.
TEST_F(NodeQueriesSites, ReadOnlyDatabaseWithoutOptionalLinks) {
    TSite site = Build(8, Shape(2, 2, 2, 15, 4, 5, 21));
    const int32_t strippedDay = site.FirstDay + 3, zeroRowDay = site.FirstDay + 5;
    const std::string noPrev = "s0.g0.p0", noWeek = "s0.g1", noIPs = "s1.g0.p1", noDays = "s1";
    Open(site, false);
    {
        Ref<INodeInfo> root = Info("");
        Ref<IVirtualAtom> day = DayAtom(*root, strippedDay);
        ASSERT_TRUE(day);
        for (int32_t link : {dlVisitorCount, dlSourceList, dlTransitionList}) day->SetLink(link, nullptr);
        day->SetSize(TNodeDayRecord::kLegacySize);
        Ref<IVirtualAtom> zeroDay = DayAtom(*root, zeroRowDay);
        AddToSourceDayRow(*zeroDay->OpenLink(dlSourceList), 0, 7, 7, 7);
        Ref<IIndexer> sources = IndexFactory()->OpenIndex(root->GetAtom()->OpenLink(ilSources), "", "");
        Ref<IVirtualAtom> unknown;
        ASSERT_TRUE(sources->Find("UNKNOWN", unknown));
        unknown->SetLink(slRecord, nullptr);
        unknown->SetLink(slUsefulSince, nullptr);
        root->GetAtom()->SetLink(ilLanguages, nullptr);
    }
    Info(noPrev)->GetAtom()->SetLink(ilPrevNodes, nullptr);
    Info(noWeek)->GetAtom()->SetLink(ilWeekHours, nullptr);
    Info(noIPs)->GetAtom()->SetLink(ilIPs, nullptr);
    Info(noDays)->GetAtom()->SetLink(ilDays, nullptr);
    nodes_.reset();
    tr_->Commit();
    tr_.reset();
    storage_.reset();

    // The same in the model.
    reference::TDay& day = site.Model.Root.Days.at(strippedDay);
    day.VisitorCount = 0, day.NewVisitors = 0;
    day.Sources.clear(), day.Transitions.clear();
    reference::TSource& unknown = site.Model.Root.Sources.at("UNKNOWN");
    unknown.Hits = unknown.Visits = unknown.Visitors = unknown.Transitions = 0;
    unknown.LastTime = unknown.FirstTime = 0;
    unknown.HasUseful = false;
    site.Model.Nodes.at(noPrev).PrevNodes.clear();
    site.Model.Nodes.at(noWeek).Week = {};
    site.Model.Nodes.at(noIPs).Addresses.clear();
    for (auto& [d, rec] : site.Model.Nodes.at(noIPs).Days) rec.Addresses.clear();
    site.Model.Nodes.at(noDays).Days.clear();

    const std::string before = volumes_.Bytes(site.File);
    CheckAll(site, true);
    nodes_.reset();
    tr_.reset();
    storage_.reset();
    EXPECT_TRUE(volumes_.Bytes(site.File) == before);
    EXPECT_FALSE(ErrorFlag());
}

TEST_F(NodeQueriesSites, EmptyReversedAndOutOfRangePeriodsGiveZeros) {
    TSite site = Build(3, Shape(1, 1, 1, 10, 3, 3, 31));
    Open(site, true);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double f = site.FirstDay, l = site.LastDay;
    const std::vector<TRange> empty{{l, f}, {nan, l}, {f, nan}, {nan, nan}, {1e300, 2e300},
                                    {-2e300, -1e300}, {inf, -inf}, {l + 1, l + 9}, {-1e9, f - 1}};
    for (const std::string& path : {std::string(), std::string("s0.g0.p0")}) {
        Ref<INodeInfo> info = Info(path);
        for (const TRange& r : empty) {
            const std::string w = Where(path, r);
            EXPECT_EQ(info->GetDayHits(r.From, r.To), 0) << w;
            EXPECT_EQ(info->GetDayVisitors(r.From, r.To), 0) << w;
            EXPECT_EQ(info->GetSourceDaySum("UNKNOWN", 0, r.From, r.To), 0) << w;
            EXPECT_EQ(info->GetSourceTotals("UNKNOWN", r.From, r.To), TSourceDayRow{}) << w;
            EXPECT_TRUE(info->GetPeriodSourceList(r.From, r.To).empty()) << w;
            for (const TIPRow& row : info->GetIPStatsForPeriod(r.From, r.To)) EXPECT_EQ(row.Hits, 0) << w;
            trefarray rows = info->GetSourceDayRows("unknown", r.From, r.To);
            if (!(r.From <= r.To) || r.From > 1e299 || r.To < -1e299) {
                EXPECT_TRUE(rows.empty()) << w;
            }
            for (const TSourceDayRow& row : rows) EXPECT_EQ(row, TSourceDayRow{}) << w;
        }
        // The whole span of dates holds every hit; one day is that day's.
        EXPECT_EQ(info->GetDayHits(-inf, inf), site.Model.Of(path).DayHits(f, l));
        EXPECT_EQ(info->GetDayHits(f + 0.99, f + 0.01), site.Model.Of(path).DayHits(f, f));
        EXPECT_EQ(info->GetDayVisitorCount(nan), 0);
        EXPECT_EQ(info->GetDayVisitorCount(1e300), 0);
        EXPECT_TRUE(info->GetDaySourceList(nan).empty());
        // Shares: none from today on, one from yesterday, none for NaN.
        EXPECT_TRUE(info->GetUnknownShares(clock_.now).empty());
        EXPECT_TRUE(info->GetUnknownShares(clock_.now + 10).empty());
        EXPECT_TRUE(info->GetUnknownShares(nan).empty());
        EXPECT_EQ(info->GetUnknownShares(clock_.now - 1).size(), 1u);
        for (double share : info->GetUnknownShares(f - 30)) EXPECT_TRUE(share >= 0 && share <= 100);
        int32_t count = -1, percent = -1;
        std::string name;
        info->GetTopSource(count, percent, name, true, l + 5, "");
        EXPECT_EQ(count, 0);
        EXPECT_EQ(percent, 0);
        EXPECT_EQ(name, "");
    }
    // A clock stopped on a NaN gives no shares rather than a crash.
    clock_.now = nan;
    EXPECT_TRUE(Info("")->GetUnknownShares(f).empty());
}

TEST_F(NodeQueriesTest, NodeWithoutHitsAnswersItsCreationAndZeros) {
    clock_.now = EncodeDateTime(2026, 5, 4, 9, 30);
    storage_ = volumes_.Create();
    tr_ = storage_->StartTransaction();
    Ref<IVirtualAtom> rootAtom;
    nodes_ = TNodeCollection::Create(tr_, rootAtom);
    rootAtom.reset();
    Ref<INode> a = nodes_->FindNode("a.b", true);
    a.reset();
    clock_.now += 3;
    Ref<INode> node = nodes_->FindNode("a", false);
    EXPECT_EQ(node->GetLastDay(true), EncodeDateTime(2026, 5, 4, 9, 30));
    EXPECT_EQ(node->GetDayHits(true, 0, 1e6), 0);
    EXPECT_TRUE(node->GetIPRecords(true).empty());
    EXPECT_EQ(node->GetReloads(), 0);
    EXPECT_EQ(node->GetWeekHourBlock(true), TWeekHourBlock{});
    Ref<INodeInfo> info = node->GetInfo();
    EXPECT_EQ(info->GetUnknownShares(clock_.now - 2), (FloatArray{0.0, 0.0}));
    EXPECT_TRUE(info->GetSourceList(TListOrder::Hits).empty());
    EXPECT_EQ(info->GetSourceTransitions(""), -1);
    EXPECT_EQ(info->GetSourceDayRows("x", 10, 12), trefarray(3));
    EXPECT_FALSE(ErrorFlag());
}

// Two children that share an address give one row with the summed counters,
// and the parent's own row keeps its last hit while added rows carry none.
TEST_F(NodeQueriesTest, SubtreeAddressRowsMergeByAddress) {
    clock_.now = EncodeDateTime(2026, 5, 4, 9, 30);
    storage_ = volumes_.Create();
    tr_ = storage_->StartTransaction();
    Ref<IVirtualAtom> rootAtom;
    nodes_ = TNodeCollection::Create(tr_, rootAtom);
    rootAtom.reset();
    const double t = clock_.now;
    nodes_->FindNode("top", true).reset();
    nodes_->RecordNodeHit("top.x", true, {.ip = 30, .when = t, .newVisit = true, .newDay = true, .newVisitor = true});
    nodes_->RecordNodeHit("top.y", true, {.ip = 30, .when = t + 0.01, .newVisit = true});
    nodes_->RecordNodeHit("top.y", true, {.ip = 20, .when = t + 0.02, .newDay = true});
    nodes_->RecordNodeHit("top", true, {.ip = 20, .when = t + 0.03, .newVisit = true, .newDay = true});
    Ref<INode> top = nodes_->FindNode("top", false);
    TIPArray rows = top->GetIPRecords(true);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (TIPRow{20, 2, 1, 2, t + 0.03}));
    EXPECT_EQ(rows[1], (TIPRow{30, 2, 2, 1, 0.0}));
    TIPArray period = top->GetIPStatsForPeriod(true, t, t);
    ASSERT_EQ(period.size(), 2u);
    EXPECT_EQ(period[1], (TIPRow{30, 2, 2, 1, 0.0}));
    EXPECT_EQ(top->GetDayHits(true, t, t), 4);
    EXPECT_EQ(top->GetDayHits(false, t, t), 1);
}

}  // namespace
}  // namespace tlvx
