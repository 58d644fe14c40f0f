// The node tree of a counter database and each node's statistics, as the
// hit counter and the report pages see them.
//
// Every object here is a thin view over atoms and holds them open while it
// lives. In a writable database the store allows one writer per atom per
// transaction, so two live views over one node fail with EQmzError 4: drop a
// node before finding it again, and drop every view before the transaction
// commits.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/brw_collection.h"
#include "model/cobject.h"
#include "model/lang_collection.h"
#include "model/node_records.h"
#include "platform/ref.h"
#include "store/virtual_atom.h"
#include "store/virtual_storage.h"

namespace tlvx {

class INode;
class INodeInfo;
using TNodes = std::vector<Ref<INode>>;
using TWeekdayTotals = std::array<int32_t, 8>;

// The figures of one day: the day records' Hits, Visits and NewVisitors and
// the day's visitor counter (visitors counted once a day).
struct TDayFigures {
    int32_t Day = 0;  // the day number
    int32_t Hits = 0;
    int32_t Visits = 0;
    int32_t NewVisitors = 0;
    int32_t Visitors = 0;
    friend bool operator==(const TDayFigures&, const TDayFigures&) = default;
};

// What the counter program's hit road knows of one hit. ip 0 is no address;
// an empty text is none. isEntry and isExit count on the node the hit lands
// on only; the rest goes into every record the hit touches.
struct THitFacts {
    uint32_t ip = 0;
    double when = 0;
    std::string_view referrer{};    // the outside page the hit came from
    std::string_view prevNode{};    // the page of this site seen just before
    std::string_view sessionRef{};  // the outside referrer that began the visit
    bool newVisit = false;
    bool isEntry = false;
    bool isExit = false;
    bool newDay = false;  // first hit of the visitor on this node today
    bool newVisitor = false;
    std::string_view extra{};
};

// {BAEBD2D1-C15F-4DB5-AC62-D2390C194437}
class INodeInfo : public virtual RefCounted {
public:
    // A node view over this info atom; none is made (nil).
    virtual Ref<INode> GetNodeView() = 0;
    virtual Ref<INode> GetNodeView2() = 0;
    // The info atom.
    virtual Ref<IVirtualAtom> GetAtom() = 0;
    virtual Ref<IVirtualAtom> GetAtom2() = 0;
    virtual void SetName(std::string_view name) = 0;
    virtual std::string GetName() = 0;
    // Each link path of node not held yet becomes a key whose value is
    // node's atom number as decimal text. Nothing for nil.
    virtual void AddLinks(const Ref<INode>& node) = 0;
    virtual void RemoveLinks(const Ref<INode>& node) = 0;
    virtual void RemoveLink(std::string_view name) = 0;
    // Keys of the link index (the parents' paths), ascending.
    virtual int32_t GetLinkCount() = 0;
    virtual StringArray GetLinkNames() = 0;
    // Every parent opened at once, one per key. In a writable database
    // this fails with code 4 when two keys name one parent; the climb of a
    // hit opens them one at a time instead.
    virtual TNodes GetLinkedNodes() = 0;
    // Each key + "." + name; the name alone without keys.
    virtual StringArray GetLinkPaths() = 0;

    virtual int32_t GetHits() = 0;
    virtual int32_t GetVisits() = 0;
    virtual int32_t GetVisitors() = 0;
    virtual int32_t GetCounter5() = 0;
    virtual int32_t GetEntries() = 0;
    virtual int32_t GetCounter7() = 0;
    virtual int32_t GetExits() = 0;
    virtual double GetCreated() = 0;
    virtual int32_t GetInterval() = 0;
    virtual int32_t GetGroupHits() = 0;
    virtual int32_t GetGroupVisits() = 0;
    virtual int32_t GetGroupVisitors() = 0;
    virtual int32_t GetReloads() = 0;
    // Each writes the whole record.
    virtual void SetHits(int32_t value) = 0;
    virtual void SetVisits(int32_t value) = 0;
    virtual void SetVisitors(int32_t value) = 0;
    virtual void SetCounter5(int32_t value) = 0;
    virtual void SetEntries(int32_t value) = 0;
    virtual void SetCounter7(int32_t value) = 0;
    virtual void SetExits(int32_t value) = 0;
    virtual void SetCreated(double value) = 0;
    virtual void SetInterval(int32_t value) = 0;
    virtual void SetGroupHits(int32_t value) = 0;
    virtual void SetGroupVisits(int32_t value) = 0;
    virtual void SetReloads(int32_t value) = 0;
    // Guarded: an add that would leave the counter below zero is
    // ignored. AddExits first takes a negative stored value as 0.
    virtual void AddHits(int32_t delta) = 0;
    virtual void AddVisits(int32_t delta) = 0;
    virtual void AddVisitors(int32_t delta) = 0;
    virtual void AddCounter5(int32_t delta) = 0;
    virtual void AddEntries(int32_t delta) = 0;
    virtual void AddCounter7(int32_t delta) = 0;
    virtual void AddExits(int32_t delta) = 0;
    // Plain adds.
    virtual void AddGroupHits(int32_t delta) = 0;
    virtual void IncGroupVisits() = 0;
    virtual void IncGroupVisitors() = 0;
    virtual void AddReloads(int32_t delta) = 0;
    virtual TNodeCounters GetCounters() = 0;
    virtual void SetCounters(const TNodeCounters& counters) = 0;

    // Counts one hit in every record of the node; each stage notes its
    // own failure and goes on; nothing escapes.
    virtual void AddHit(const THitFacts& hit) = 0;
    // LastHit of the address, -1.0 when it was never seen.
    virtual double GetIPLastHit(uint32_t ip) = 0;
    virtual Ref<IBrwCollection> GetBrowsers() = 0;
    virtual Ref<ILangCollection> GetLanguages() = 0;

    // Queries; none changes anything.
    virtual int32_t GetDayHits(double fromDate, double toDate) = 0;
    virtual int32_t GetDayVisits(double fromDate, double toDate) = 0;
    virtual int32_t GetDayNewVisitors(double fromDate, double toDate) = 0;
    virtual int32_t GetDayVisitors(double fromDate, double toDate) = 0;
    virtual StringArray GetSourceNames() = 0;
    // A line per source with Hits, Visits, Visitors and the last transition's
    // Time, sorted under order.
    virtual TCObjectList GetSourceList(TListOrder order) = 0;
    virtual StringArray GetPrevNodeNames() = 0;
    // A line per previous page with its count in Hits; every order but Hits
    // reads as Text.
    virtual TCObjectList GetPrevNodeList(TListOrder order) = 0;
    virtual int32_t GetSourceTransitions(std::string_view source) = 0;
    virtual int32_t GetPrevNodeCount(std::string_view prevNode) = 0;
    virtual int32_t GetSourceDaySum(std::string_view source, int32_t kind, double fromDate,
                                    double toDate) = 0;
    virtual int32_t GetSourceDayTransitions(std::string_view source, double fromDate, double toDate) = 0;
    virtual int32_t CountSourcesUsedAfter(double day) = 0;
    virtual int32_t CountSourcesUsefulBefore(double day) = 0;
    // The sources other than UNKNOWN whose first transition (FirstTime)
    // lies on a day of the period: the referrers new in it.
    virtual int32_t CountSourcesFirstSeen(double fromDate, double toDate) = 0;
    virtual FloatArray GetUnknownShares(double fromDate) = 0;
    virtual double GetLastDay() = 0;
    virtual TIPArray GetIPRecords() = 0;
    virtual double GetSourceFirstTime(std::string_view source) = 0;
    virtual double GetSourceLastTime(std::string_view source) = 0;
    virtual TIPArray GetIPStatsForPeriod(double fromDate, double toDate) = 0;
    virtual trefarray GetSourceDayRows(std::string_view source, double fromDate, double toDate) = 0;
    virtual TSourceDayRow GetSourceTotals(std::string_view source, double fromDate, double toDate) = 0;
    virtual void GetSourceStats(std::string_view source, int32_t& hits, int32_t& visits,
                                int32_t& visitors, int32_t& transitions, double& lastTime,
                                double& firstTime) = 0;
    virtual void GetTopSource(int32_t& count, int32_t& percent, std::string& name, bool includeUnknown,
                              double day, std::string_view exclude) = 0;
    virtual TCObjectList GetDaySourceList(double day) = 0;
    virtual TCObjectList GetPeriodSourceList(double fromDate, double toDate) = 0;
    virtual int32_t GetDayVisitorCount(double day) = 0;
    virtual TWeekdayTotals GetWeekdayTotals() = 0;
    virtual TWeekHourBlock GetWeekHourBlock() = 0;
};

// {BDDDCD7F-4CDE-4A46-A87B-E9EA1CCEBE2F}
class INode : public virtual RefCounted {
public:
    // The child of that name; made (with this node's link paths as its
    // links, unless this node has no name) when absent and create is set;
    // else nil.
    virtual Ref<INode> GetChild(std::string_view name, bool create) = 0;
    // In ascending key order, all open at once.
    virtual TNodes GetChildren() = 0;
    // The parents (INodeInfo::GetLinkedNodes).
    virtual TNodes GetLinkedNodes() = 0;
    virtual int32_t GetChildCount() = 0;
    virtual int32_t GetLinkCount() = 0;
    virtual std::string GetName() = 0;
    // The node's full dotted paths, one per link.
    virtual StringArray GetLinkPaths() = 0;
    // A new child without links; an existing name only with replace.
    virtual Ref<INode> NewChild(std::string_view name, bool replace) = 0;
    // Removes the entry; with cascade also from the child's other parents.
    virtual void DeleteChild(std::string_view name, bool cascade) = 0;
    virtual Ref<INodeInfo> GetInfo() = 0;
    virtual Ref<IVirtualAtom> GetAtom() = 0;
    virtual Ref<IStorageTransaction> GetTransaction() = 0;
    virtual Ref<IStorageTransaction> GetTransaction2() = 0;
    virtual StringArray GetChildNames() = 0;
    virtual StringArray GetLinkNames() = 0;
    // node becomes entry name (an existing one only with replace) and
    // gets this node's link paths.
    virtual void AttachChild(std::string_view name, const Ref<INode>& node, bool replace) = 0;
    virtual void AddLinks(const Ref<INode>& node) = 0;
    virtual void RemoveLink(std::string_view name) = 0;
    virtual bool HasChild(std::string_view name) = 0;
    // Appends this node's link paths, then each child's, depth first.
    virtual void CollectLinkPaths(StringArray& paths) = 0;
    // One hit on this node (propagated: one group hit), then the same
    // propagated to every parent, one parent open at a time.
    virtual void RecordHit(bool propagated, const THitFacts& hit) = 0;
    virtual Ref<ILangCollection> GetLanguages() = 0;
    // Subtree queries: the node's own value, and with subtree the
    // values of every node below it added (GetReloads: always the subtree).
    virtual int32_t GetDayHits(bool subtree, double fromDate, double toDate) = 0;
    virtual int32_t GetDayVisits(bool subtree, double fromDate, double toDate) = 0;
    virtual int32_t GetDayNewVisitors(bool subtree, double fromDate, double toDate) = 0;
    virtual int32_t GetDayVisitors(bool subtree, double fromDate, double toDate) = 0;
    // The same four day by day, in one walk: every day of the period that
    // has a day record on the node (or, with subtree, on a node below it),
    // in day order.
    virtual std::vector<TDayFigures> GetDayFigures(bool subtree, double fromDate, double toDate) = 0;
    virtual double GetLastDay(bool subtree) = 0;
    virtual TIPArray GetIPStatsForPeriod(bool subtree, double fromDate, double toDate) = 0;
    virtual TIPArray GetIPRecords(bool subtree) = 0;
    virtual int32_t GetReloads() = 0;
    virtual TWeekdayTotals GetWeekdayTotals(bool subtree) = 0;
    virtual TWeekHourBlock GetWeekHourBlock(bool subtree) = 0;
};

// {D47596B5-CE47-47BB-9CBE-187B930E54DC}
// Paths are dotted names; the empty path is the root only where said.
class INodeCollection : public virtual RefCounted {
public:
    // Walks from the root level by level; nil for a path without names
    // or a missing level that is not created.
    virtual Ref<INode> FindNode(std::string_view path, bool create) = 0;
    // Never creates; false for an empty path.
    virtual bool NodeExists(std::string_view path) = 0;
    // The node's first parent (the root for a top-level node) deletes it.
    virtual void DeleteNode(std::string_view path, bool cascade) = 0;
    // Empty, 0 or nil when the path names no node.
    virtual TNodes GetChildren(std::string_view path) = 0;
    virtual TNodes GetLinkedNodes(std::string_view path) = 0;
    virtual StringArray GetChildNames(std::string_view path) = 0;
    virtual int32_t GetChildCount(std::string_view path) = 0;
    virtual StringArray GetLinkNames(std::string_view path) = 0;
    virtual int32_t GetLinkCount(std::string_view path) = 0;
    virtual Ref<INodeInfo> GetNodeInfo(std::string_view path, bool create) = 0;
    virtual std::string GetNodeName(std::string_view path) = 0;
    virtual std::string GetNameOf(const Ref<INode>& node) = 0;
    // The dotted paths of every node, each parent before what is below.
    virtual StringArray GetAllLinkPaths() = 0;
    virtual Ref<INode> GetRoot() = 0;
    // A hit on the node of path (made when canCreate), then its entry and
    // exit counts. Nothing when there is no node.
    virtual void RecordNodeHit(std::string_view path, bool canCreate, const THitFacts& hit) = 0;
    // The same on the root, whose info holds the site's statistics.
    virtual void RecordSiteHit(const THitFacts& hit) = 0;
    // The root for an empty path; 0.0 when the path names no node, -1.0
    // when the address was never seen there.
    virtual double GetIPLastHit(uint32_t ip, std::string_view path) = 0;
    // The node's stored interval (-1: none of its own); the root's when
    // the path names no node; 720 without a root.
    virtual int32_t GetNodeInterval(std::string_view path) = 0;
    // The root for an empty path.
    virtual void CountBrowser(std::string_view userAgent, std::string_view path, bool canCreate) = 0;
    // Never creates the node.
    virtual void CountNodeLanguage(std::string_view path, std::string_view code) = 0;
    // On the root.
    virtual void CountLanguage(std::string_view code) = 0;
    // The root for an empty path; rows untouched when a non-empty path
    // names no node.
    virtual void GetIPRecords(std::string_view path, TIPArray& rows, bool subtree) = 0;
    virtual void GetIPStatsForPeriod(std::string_view path, TIPArray& rows, bool subtree,
                                     double fromDate, double toDate) = 0;
    // 0 when the path names no node.
    virtual double GetCreated(std::string_view path) = 0;
    virtual double GetLastDay(std::string_view path, bool subtree) = 0;
};

}  // namespace tlvx
