// The statistics queries over a node and the nodes below it.
//
// Each walks the subtree depth first with one node open at a time below this
// one (TNode::WalkSubtree): a node reached along two paths counts on each,
// a node already on the walk (a cycle) is skipped.
#include "model/node.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <vector>

#include "model/node_atoms.h"
#include "model/node_period_walk.h"

namespace tlvx {

namespace {

template <class F>
int32_t SumOver(TNode& top, bool subtree, F value) {
    int32_t sum = 0;
    top.WalkSubtree(subtree, [&](TNode& node) { sum = WrapAdd(sum, value(node.Info())); });
    return sum;
}

void AddRow(THourRow& to, const THourRow& from) {
    to.Total = WrapAdd(to.Total, from.Total);
    for (size_t h = 0; h < to.Hours.size(); ++h) to.Hours[h] = WrapAdd(to.Hours[h], from.Hours[h]);
}

// The merge of address rows by IP: the first node's rows as they are, then
// every later row added to the row of its address, or appended (with
// LastHit 0) when the address is new. Rows are met in the walk's order, so
// this gives what merging each child's merged rows into its parent's does.
class TAddressMerge {
public:
    void Add(const TIPArray& rows, bool first) {
        for (const TIPRow& row : rows) {
            auto [it, fresh] = at_.try_emplace(row.IP, result_.size());
            if (fresh) {
                result_.push_back(TIPRow{row.IP, row.Hits, row.Visits, row.NewDays, first ? row.LastHit : 0.0});
                continue;
            }
            TIPRow& into = result_[it->second];
            into.Hits = WrapAdd(into.Hits, row.Hits);
            into.Visits = WrapAdd(into.Visits, row.Visits);
            into.NewDays = WrapAdd(into.NewDays, row.NewDays);
        }
    }
    TIPArray Take() { return std::move(result_); }

private:
    TIPArray result_;
    std::unordered_map<uint32_t, size_t> at_;
};

template <class F>
TIPArray MergeOver(TNode& top, bool subtree, F rowsOf) {
    TAddressMerge merge;
    bool first = true;
    top.WalkSubtree(subtree, [&](TNode& node) {
        merge.Add(rowsOf(node.Info()), first);
        first = false;
    });
    return merge.Take();
}

// The sum of one field of the day records of the node and, with subtree,
// of every node below it (ownSum gives one node's). On a read-only database
// the nodes' day indexes are walked side by side, day by day: what all the
// nodes recorded on one day lies together in the file. A writer visits one
// node at a time, as the share rule needs.
int32_t SumDayRecords(TNode& top, bool subtree, double fromDate, double toDate, int32_t TNodeDayRecord::*field,
                      int32_t (TNodeInfo::*ownSum)(double, double)) {
    if (!subtree || !top.IsReadOnly())
        return SumOver(top, subtree, [&](TNodeInfo& i) { return (i.*ownSum)(fromDate, toDate); });
    // The nodes stay open (a read-only collection keeps them anyway); one
    // reached along two paths is here twice and counts twice.
    std::vector<Ref<TNode>> nodes;
    top.WalkSubtree(true, [&](TNode& node) { nodes.push_back(Ref<TNode>(&node)); });
    std::vector<Ref<IIndexer>> held;
    std::vector<IIndexer*> days;
    for (const Ref<TNode>& node : nodes) {
        held.push_back(node->Info().OpenIndexLink(ilDays));
        days.push_back(held.back().get());
    }
    int32_t sum = 0;
    WalkDayBytesOfAll(days, DayRangeOf(fromDate, toDate), TNodeDayRecord::kSize,
                      [&](size_t, int32_t, const uint8_t* bytes, size_t size) {
                          sum = WrapAdd(sum, TNodeDayRecord::FromBytes(bytes, size).*field);
                      });
    return sum;
}

}  // namespace

int32_t TNode::GetDayHits(bool subtree, double fromDate, double toDate) {
    return SumDayRecords(*this, subtree, fromDate, toDate, &TNodeDayRecord::Hits, &TNodeInfo::GetDayHits);
}

int32_t TNode::GetDayVisits(bool subtree, double fromDate, double toDate) {
    return SumDayRecords(*this, subtree, fromDate, toDate, &TNodeDayRecord::Visits, &TNodeInfo::GetDayVisits);
}

int32_t TNode::GetDayNewVisitors(bool subtree, double fromDate, double toDate) {
    return SumDayRecords(*this, subtree, fromDate, toDate, &TNodeDayRecord::NewVisitors,
                         &TNodeInfo::GetDayNewVisitors);
}

int32_t TNode::GetDayVisitors(bool subtree, double fromDate, double toDate) {
    return SumOver(*this, subtree, [&](TNodeInfo& i) { return i.GetDayVisitors(fromDate, toDate); });
}

std::vector<TDayFigures> TNode::GetDayFigures(bool subtree, double fromDate, double toDate) {
    const TDayRange range = DayRangeOf(fromDate, toDate);
    std::map<int32_t, TDayFigures> byDay;
    WalkSubtree(subtree, [&](TNode& node) { node.Info().AddDayFigures(range, byDay); });
    std::vector<TDayFigures> figures;
    figures.reserve(byDay.size());
    for (const auto& [day, f] : byDay) figures.push_back(f);
    return figures;
}

double TNode::GetLastDay(bool subtree) {
    double last = info_->GetLastDay();
    WalkSubtree(subtree, [&](TNode& node) { last = std::max(last, node.Info().GetLastDay()); });
    return last;
}

TIPArray TNode::GetIPStatsForPeriod(bool subtree, double fromDate, double toDate) {
    return MergeOver(*this, subtree, [&](TNodeInfo& i) { return i.GetIPStatsForPeriod(fromDate, toDate); });
}

TIPArray TNode::GetIPRecords(bool subtree) {
    return MergeOver(*this, subtree, [](TNodeInfo& i) { return i.GetIPRecords(); });
}

int32_t TNode::GetReloads() {
    return SumOver(*this, true, [](TNodeInfo& i) { return i.GetReloads(); });
}

TWeekdayTotals TNode::GetWeekdayTotals(bool subtree) {
    TWeekdayTotals totals{};
    WalkSubtree(subtree, [&](TNode& node) {
        TWeekdayTotals own = node.Info().GetWeekdayTotals();
        for (size_t i = 0; i < totals.size(); ++i) totals[i] = WrapAdd(totals[i], own[i]);
    });
    return totals;
}

TWeekHourBlock TNode::GetWeekHourBlock(bool subtree) {
    TWeekHourBlock block;
    WalkSubtree(subtree, [&](TNode& node) {
        TWeekHourBlock own = node.Info().GetWeekHourBlock();
        for (size_t d = 0; d < block.Days.size(); ++d) AddRow(block.Days[d], own.Days[d]);
        AddRow(block.AllDays, own.AllDays);
    });
    return block;
}

}  // namespace tlvx
