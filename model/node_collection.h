// TNodeCollection: the node tree of a counter database (root child 13),
// addressed by dotted paths, with the hit-recording entry points.
//
// The collection holds the root node open while it lives. On a writable
// database every path walk drops each level as soon as the next is open, and
// no method keeps a node it found once the method returns. On a read-only
// one the collection keeps every node it reaches in its memo (node_memo.h)
// and the list of all paths once made, for its own life.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "model/node.h"

namespace tlvx {

class TNodeCollection : public INodeCollection {
public:
    // A new tree: a root node (no name) in a new atom of transaction, which
    // the caller links as root child 13.
    static Ref<TNodeCollection> Create(const Ref<IVirtualStorage>& transaction, Ref<IVirtualAtom>& rootAtom);
    // The tree whose root node atom is rootAtom.
    static Ref<TNodeCollection> Open(Ref<IVirtualAtom> rootAtom);

    Ref<INode> FindNode(std::string_view path, bool create) override;
    bool NodeExists(std::string_view path) override;
    void DeleteNode(std::string_view path, bool cascade) override;
    TNodes GetChildren(std::string_view path) override;
    TNodes GetLinkedNodes(std::string_view path) override;
    StringArray GetChildNames(std::string_view path) override;
    int32_t GetChildCount(std::string_view path) override;
    StringArray GetLinkNames(std::string_view path) override;
    int32_t GetLinkCount(std::string_view path) override;
    Ref<INodeInfo> GetNodeInfo(std::string_view path, bool create) override;
    std::string GetNodeName(std::string_view path) override;
    std::string GetNameOf(const Ref<INode>& node) override;
    StringArray GetAllLinkPaths() override;
    Ref<INode> GetRoot() override { return root_; }
    void RecordNodeHit(std::string_view path, bool canCreate, const THitFacts& hit) override;
    void RecordSiteHit(const THitFacts& hit) override;
    double GetIPLastHit(uint32_t ip, std::string_view path) override;
    int32_t GetNodeInterval(std::string_view path) override;
    void CountBrowser(std::string_view userAgent, std::string_view path, bool canCreate) override;
    void CountNodeLanguage(std::string_view path, std::string_view code) override;
    void CountLanguage(std::string_view code) override;
    void GetIPRecords(std::string_view path, TIPArray& rows, bool subtree) override;
    void GetIPStatsForPeriod(std::string_view path, TIPArray& rows, bool subtree, double fromDate,
                             double toDate) override;
    double GetCreated(std::string_view path) override;
    double GetLastDay(std::string_view path, bool subtree) override;

private:
    friend class RefMaker;
    explicit TNodeCollection(Ref<TNode> root);
    Ref<TNode> Find(std::string_view path, bool create);
    // The root for an empty path, else the node of path (nil when missing).
    Ref<TNode> RootOrFind(std::string_view path, bool create);
    TOpenNodes Held(TNode* node);
    void RecordOn(TNode& node, const THitFacts& hit);

    // Read-only only: the memo (before root_, so that it goes after it) and
    // the list of all paths.
    std::unique_ptr<TNodeMemo> memo_;
    Ref<TNode> root_;
    bool allPathsRead_ = false;
    StringArray allPaths_;
};

}  // namespace tlvx
