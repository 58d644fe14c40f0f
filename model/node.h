// TNode: one node of the tree, a view over its node atom.
//
// Node atom links: 0 the children index (key = the child's name, value atom
// = the child's node atom itself), 1 the info atom (TNodeInfo). A node knows
// its parents through the link index of its info: each key is a parent's
// dotted path, each value that parent's node atom number.
//
// A node object holds its node atom, children index and info open while it
// lives. Everything here that reaches other nodes opens them one at a time
// and drops each before the next, so no node is ever open twice: the walks
// below the node skip a node already on the walk (a cycle made by
// AttachChild), and the climb to the parents skips one already on the climb.
// On a read-only database a node reached through a collection belongs to the
// collection's memo (node_memo.h): its children are opened once and kept, as
// are its child names and count.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/node_info.h"
#include "model/node_memo.h"
#include "store/indexer.h"

namespace tlvx {

class TNode;

// Nodes the caller already holds open (the collection's root, the node a
// climb starts on): reaching one of them uses the open object instead of
// opening its atom again.
class TOpenNodes {
public:
    void Add(TNode* node) { nodes_.push_back(node); }
    TNode* Find(uint32_t atomNumber) const;

private:
    std::vector<TNode*> nodes_;
};

class TNode : public INode {
public:
    // A new node in a fresh atom: children index, info atom, name.
    static Ref<TNode> Create(std::string_view name, Ref<IVirtualAtom> atom);
    // An existing node. A node atom without info raises ENilObject (EQmzError
    // 152 when link 0 is no index); one without children index has no
    // children and can get none.
    static Ref<TNode> Open(Ref<IVirtualAtom> atom);

    Ref<INode> GetChild(std::string_view name, bool create) override;
    TNodes GetChildren() override;
    TNodes GetLinkedNodes() override;
    int32_t GetChildCount() override;
    int32_t GetLinkCount() override { return info_->GetLinkCount(); }
    std::string GetName() override { return info_->GetName(); }
    StringArray GetLinkPaths() override { return info_->GetLinkPaths(); }
    Ref<INode> NewChild(std::string_view name, bool replace) override;
    void DeleteChild(std::string_view name, bool cascade) override;
    Ref<INodeInfo> GetInfo() override { return info_; }
    Ref<IVirtualAtom> GetAtom() override { return atom_; }
    Ref<IStorageTransaction> GetTransaction() override;
    Ref<IStorageTransaction> GetTransaction2() override { return GetTransaction(); }
    StringArray GetChildNames() override;
    StringArray GetLinkNames() override { return info_->GetLinkNames(); }
    void AttachChild(std::string_view name, const Ref<INode>& node, bool replace) override;
    void AddLinks(const Ref<INode>& node) override { info_->AddLinks(node); }
    void RemoveLink(std::string_view name) override { info_->RemoveLink(name); }
    bool HasChild(std::string_view name) override;
    void CollectLinkPaths(StringArray& paths) override;
    void RecordHit(bool propagated, const THitFacts& hit) override;
    Ref<ILangCollection> GetLanguages() override { return info_->GetLanguages(); }

    // Subtree queries (node_subtree_queries.cpp).
    int32_t GetDayHits(bool subtree, double fromDate, double toDate) override;
    int32_t GetDayVisits(bool subtree, double fromDate, double toDate) override;
    int32_t GetDayNewVisitors(bool subtree, double fromDate, double toDate) override;
    int32_t GetDayVisitors(bool subtree, double fromDate, double toDate) override;
    std::vector<TDayFigures> GetDayFigures(bool subtree, double fromDate, double toDate) override;
    double GetLastDay(bool subtree) override;
    TIPArray GetIPStatsForPeriod(bool subtree, double fromDate, double toDate) override;
    TIPArray GetIPRecords(bool subtree) override;
    int32_t GetReloads() override;
    TWeekdayTotals GetWeekdayTotals(bool subtree) override;
    TWeekHourBlock GetWeekHourBlock(bool subtree) override;

    TNodeInfo& Info() { return *info_; }
    uint32_t AtomNumber();
    bool IsReadOnly() const { return info_->IsReadOnly(); }

    // Calls visit on this node and, with subtree, on every node below it:
    // depth first, children in key order, each child open only while it and
    // what lies below it are visited. A node reached along two paths is
    // visited on each; a node already on the walk (a cycle) is skipped.
    using TNodeVisit = std::function<void(TNode& node)>;
    void WalkSubtree(bool subtree, const TNodeVisit& visit);

    // The hit of RecordHit, with nodes the caller holds open.
    void RecordHitWith(bool propagated, const THitFacts& hit, const TOpenNodes& open);
    // DeleteChild, with nodes the caller holds open.
    void DeleteChildWith(std::string_view name, bool cascade, const TOpenNodes& open);

private:
    friend class TNodeMemo;
    friend class RefMaker;
    TNode() = default;
    // The children index (nil when the node has none), opened on first use
    // on a read-only database.
    IIndexer* Children();
    // The child of that name (nil when there is none), through the memo when
    // the node has one.
    Ref<TNode> ChildNamed(std::string_view name);
    // The children's names in key order, kept on a read-only database.
    StringArray ChildNames();
    void WalkChildren(std::vector<uint32_t>& onWalk, const TNodeVisit& visit);
    using TLinkTargets = std::vector<std::pair<std::string, uint32_t>>;
    void Climb(const THitFacts& hit, const TOpenNodes& open, std::vector<uint32_t>& onClimb);
    static void ClimbLinks(IVirtualAtom& anyAtom, const TLinkTargets& targets, const THitFacts& hit,
                           const TOpenNodes& open, std::vector<uint32_t>& onClimb);

public:
    // The node with that atom number in anyAtom's transaction, or nil when
    // the number names no node any more (a parent deleted since the link was
    // made).
    static Ref<TNode> OpenByNumber(IVirtualAtom& anyAtom, uint32_t atomNumber);

private:

    // In this order: the node atom, the children index, the info.
    Ref<IVirtualAtom> atom_;
    Ref<IIndexer> children_;
    Ref<TNodeInfo> info_;
    uint32_t number_ = 0;  // of atom_, once asked for
    // Read-only: the memo the node belongs to (uncounted, cleared by the
    // memo when it goes), and what the node has read of its children.
    TNodeMemo* memo_ = nullptr;
    bool childrenRead_ = false;
    bool childNamesRead_ = false;
    StringArray childNames_;
    int32_t childCount_ = -1;
};

// The default-mode node of an index value, nil when the key is absent.
Ref<TNode> FindChildNode(IIndexer& children, std::string_view name);

}  // namespace tlvx
