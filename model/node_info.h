// TNodeInfo: the statistics of one node, a view over its info atom (layout
// in node_records.h).
//
// The counter record and the name are kept in memory and every change writes
// the whole 56-byte record back at once; everything else is read and written
// through to the store on each call. On a read-only database nothing is
// created or rewritten: a missing link reads as empty, a short counter
// record as zeros in its missing fields.
//
// On a read-only database nothing can change while the view lives (the
// reader's share lock keeps writers out), so the view opens what it needs
// when it is first asked for and keeps it: the link index and the name on
// first use, each statistics index once. A report asks the same node for
// many figures; each costs a walk of the records, not a fresh open.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/node_interfaces.h"
#include "model/node_period_walk.h"
#include "store/atom_id.h"
#include "store/indexer.h"

namespace tlvx {

class TNodeInfo : public INodeInfo {
public:
    // Builds the statistics of a new node in infoAtom (every link made).
    static Ref<TNodeInfo> Create(Ref<IVirtualAtom> infoAtom);
    // Opens existing statistics. A missing or short counter record is
    // completed (and written back unless the database is read-only).
    static Ref<TNodeInfo> Open(Ref<IVirtualAtom> infoAtom);

    Ref<INode> GetNodeView() override { return nullptr; }
    Ref<INode> GetNodeView2() override { return nullptr; }
    Ref<IVirtualAtom> GetAtom() override { return atom_; }
    Ref<IVirtualAtom> GetAtom2() override { return atom_; }
    void SetName(std::string_view name) override;
    std::string GetName() override { return Name(); }
    void AddLinks(const Ref<INode>& node) override;
    void RemoveLinks(const Ref<INode>& node) override;
    void RemoveLink(std::string_view name) override;
    int32_t GetLinkCount() override;
    StringArray GetLinkNames() override;
    TNodes GetLinkedNodes() override;
    StringArray GetLinkPaths() override;

    int32_t GetHits() override { return Counters().Hits; }
    int32_t GetVisits() override { return Counters().Visits; }
    int32_t GetVisitors() override { return Counters().Visitors; }
    int32_t GetCounter5() override { return Counters().Counter5; }
    int32_t GetEntries() override { return Counters().Entries; }
    int32_t GetCounter7() override { return Counters().Counter7; }
    int32_t GetExits() override { return Counters().Exits; }
    double GetCreated() override { return Counters().Created; }
    int32_t GetInterval() override { return Counters().Interval; }
    int32_t GetGroupHits() override { return Counters().GroupHits; }
    int32_t GetGroupVisits() override { return Counters().GroupVisits; }
    int32_t GetGroupVisitors() override { return Counters().GroupVisitors; }
    int32_t GetReloads() override { return Counters().Reloads; }
    void SetHits(int32_t v) override { SetField(counters_.Hits, v); }
    void SetVisits(int32_t v) override { SetField(counters_.Visits, v); }
    void SetVisitors(int32_t v) override { SetField(counters_.Visitors, v); }
    void SetCounter5(int32_t v) override { SetField(counters_.Counter5, v); }
    void SetEntries(int32_t v) override { SetField(counters_.Entries, v); }
    void SetCounter7(int32_t v) override { SetField(counters_.Counter7, v); }
    void SetExits(int32_t v) override { SetField(counters_.Exits, v); }
    void SetCreated(double v) override;
    void SetInterval(int32_t v) override { SetField(counters_.Interval, v); }
    void SetGroupHits(int32_t v) override { SetField(counters_.GroupHits, v); }
    void SetGroupVisits(int32_t v) override { SetField(counters_.GroupVisits, v); }
    void SetReloads(int32_t v) override { SetField(counters_.Reloads, v); }
    void AddHits(int32_t d) override { GuardedAdd(counters_.Hits, d); }
    void AddVisits(int32_t d) override { GuardedAdd(counters_.Visits, d); }
    void AddVisitors(int32_t d) override { GuardedAdd(counters_.Visitors, d); }
    void AddCounter5(int32_t d) override { GuardedAdd(counters_.Counter5, d); }
    void AddEntries(int32_t d) override { GuardedAdd(counters_.Entries, d); }
    void AddCounter7(int32_t d) override { GuardedAdd(counters_.Counter7, d); }
    void AddExits(int32_t d) override;
    void AddGroupHits(int32_t d) override { PlainAdd(counters_.GroupHits, d); }
    void IncGroupVisits() override { PlainAdd(counters_.GroupVisits, 1); }
    void IncGroupVisitors() override { PlainAdd(counters_.GroupVisitors, 1); }
    void AddReloads(int32_t d) override { PlainAdd(counters_.Reloads, d); }
    TNodeCounters GetCounters() override { return Counters(); }
    void SetCounters(const TNodeCounters& counters) override;

    void AddHit(const THitFacts& hit) override;
    double GetIPLastHit(uint32_t ip) override;
    Ref<IBrwCollection> GetBrowsers() override;
    Ref<ILangCollection> GetLanguages() override;

    // Queries (node_info_queries.cpp).
    int32_t GetDayHits(double fromDate, double toDate) override;
    int32_t GetDayVisits(double fromDate, double toDate) override;
    int32_t GetDayNewVisitors(double fromDate, double toDate) override;
    int32_t GetDayVisitors(double fromDate, double toDate) override;
    StringArray GetSourceNames() override;
    TCObjectList GetSourceList(TListOrder order) override;
    StringArray GetPrevNodeNames() override;
    TCObjectList GetPrevNodeList(TListOrder order) override;
    int32_t GetSourceTransitions(std::string_view source) override;
    int32_t GetPrevNodeCount(std::string_view prevNode) override;
    int32_t GetSourceDaySum(std::string_view source, int32_t kind, double fromDate, double toDate) override;
    int32_t GetSourceDayTransitions(std::string_view source, double fromDate, double toDate) override;
    int32_t CountSourcesUsedAfter(double day) override;
    int32_t CountSourcesUsefulBefore(double day) override;
    int32_t CountSourcesFirstSeen(double fromDate, double toDate) override;
    FloatArray GetUnknownShares(double fromDate) override;
    double GetLastDay() override;
    TIPArray GetIPRecords() override;
    double GetSourceFirstTime(std::string_view source) override;
    double GetSourceLastTime(std::string_view source) override;
    TIPArray GetIPStatsForPeriod(double fromDate, double toDate) override;
    trefarray GetSourceDayRows(std::string_view source, double fromDate, double toDate) override;
    TSourceDayRow GetSourceTotals(std::string_view source, double fromDate, double toDate) override;
    void GetSourceStats(std::string_view source, int32_t& hits, int32_t& visits, int32_t& visitors,
                        int32_t& transitions, double& lastTime, double& firstTime) override;
    void GetTopSource(int32_t& count, int32_t& percent, std::string& name, bool includeUnknown,
                      double day, std::string_view exclude) override;
    TCObjectList GetDaySourceList(double day) override;
    TCObjectList GetPeriodSourceList(double fromDate, double toDate) override;
    int32_t GetDayVisitorCount(double day) override;
    TWeekdayTotals GetWeekdayTotals() override;
    TWeekHourBlock GetWeekHourBlock() override;

    // For the statistics code: the index at link of the info atom, nil when
    // the link is empty.
    Ref<IIndexer> OpenIndexLink(int32_t link);
    // Adds the figures of each day of range that has a day record here into
    // figures, by day number, wrapping as the stored counters do.
    void AddDayFigures(const TDayRange& range, std::map<int32_t, TDayFigures>& figures);
    // The atom number of each link-index key's value, in key order; the
    // cursor is closed before this returns.
    std::vector<std::pair<std::string, uint32_t>> ReadLinkTargets();
    bool IsReadOnly() const { return readOnly_; }

private:
    friend class RefMaker;
    explicit TNodeInfo(Ref<IVirtualAtom> infoAtom);
    // The link index (nil when missing), the name and the counter record,
    // read on first use on a read-only database.
    IIndexer* Links();
    const std::string& Name();
    const TNodeCounters& Counters() {
        if (!countersRead_) ReadCounters();
        return counters_;
    }
    void ReadCounters();
    int32_t SumDayField(double fromDate, double toDate, int32_t TNodeDayRecord::*field);
    StringArray KeysOfIndexLink(int32_t link);
    void Load();
    void StoreCounters();
    // field is a member of counters_, read first when it was not yet.
    void SetField(int32_t& field, int32_t value) {
        Counters();
        field = value;
        StoreCounters();
    }
    void GuardedAdd(int32_t& field, int32_t delta);
    void PlainAdd(int32_t& field, int32_t delta) {
        Counters();
        field = WrapAddField(field, delta);
        StoreCounters();
    }
    static int32_t WrapAddField(int32_t a, int32_t b) {
        return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
    }

    // In this order: the info atom, the link index, the identifier from
    // link 3, the name, the counter-record atom and its copy.
    Ref<IVirtualAtom> atom_;
    Ref<IIndexer> links_;
    TAtomID id_;
    std::string name_;
    Ref<IVirtualAtom> counterAtom_;
    TNodeCounters counters_;
    bool readOnly_ = false;
    // Read-only: whether links_ and name_ were read, and the indexes opened
    // so far by their link.
    bool linksRead_ = false;
    bool nameRead_ = false;
    bool countersRead_ = false;
    double openedAt_ = 0;  // "now" for a missing counter record
    std::vector<std::pair<int32_t, Ref<IIndexer>>> openIndexes_;
};

// The atom number written as decimal text in a link-index value; the
// original wrote it as a signed number, so "-5" is 4294967291. False for
// anything else.
bool ParseAtomNumberText(std::string_view text, uint32_t& number);

}  // namespace tlvx
