#include "model/node_collection.h"

#include "model/need.h"
#include "model/node_path.h"

namespace tlvx {

namespace {
constexpr int32_t kDefaultNodeInterval = 720;
}

TNodeCollection::TNodeCollection(Ref<TNode> root) : root_(std::move(root)) {
    if (root_->IsReadOnly()) {
        memo_ = std::make_unique<TNodeMemo>();
        memo_->Adopt(root_);
    }
}

Ref<TNodeCollection> TNodeCollection::Create(const Ref<IVirtualStorage>& transaction,
                                             Ref<IVirtualAtom>& rootAtom) {
    rootAtom = Need(transaction, "transaction").CreateAtom();
    return MakeRef<TNodeCollection>(TNode::Create("", rootAtom));
}

Ref<TNodeCollection> TNodeCollection::Open(Ref<IVirtualAtom> rootAtom) {
    return MakeRef<TNodeCollection>(TNode::Open(std::move(rootAtom)));
}

Ref<TNode> TNodeCollection::Find(std::string_view path, bool create) {
    std::vector<std::string> names = SplitNodePath(path);
    if (names.empty()) return nullptr;
    Ref<TNode> current = root_;
    for (const std::string& name : names) {
        // The level above is dropped as soon as the next one is open.
        Ref<INode> next = current->GetChild(name, create);
        if (!next) return nullptr;
        current = Ref<TNode>(static_cast<TNode*>(next.get()));
    }
    return current;
}

Ref<TNode> TNodeCollection::RootOrFind(std::string_view path, bool create) {
    if (path.empty()) return root_;
    return Find(path, create);
}

TOpenNodes TNodeCollection::Held(TNode* node) {
    TOpenNodes open;
    open.Add(root_.get());
    if (node != root_.get()) open.Add(node);
    return open;
}

Ref<INode> TNodeCollection::FindNode(std::string_view path, bool create) { return Find(path, create); }

bool TNodeCollection::NodeExists(std::string_view path) {
    std::vector<std::string> names = SplitNodePath(path);
    if (names.empty()) return false;
    Ref<INode> current = root_;
    for (size_t i = 0; i < names.size(); ++i) {
        if (!current->HasChild(names[i])) return false;
        if (i + 1 < names.size()) current = current->GetChild(names[i], false);
        if (!current) return false;
    }
    return true;
}

// A top-level node has no link: its parent is the root.
void TNodeCollection::DeleteNode(std::string_view path, bool cascade) {
    Ref<TNode> node = Find(path, false);
    if (!node) return;
    std::string name = node->GetName();
    auto parents = node->Info().ReadLinkTargets();
    node.reset();
    TOpenNodes open = Held(root_.get());
    if (parents.empty()) {
        root_->DeleteChildWith(name, cascade, open);
        return;
    }
    uint32_t first = parents.front().second;
    if (TNode* held = open.Find(first)) {
        held->DeleteChildWith(name, cascade, open);
    } else if (Ref<TNode> parent = TNode::OpenByNumber(*root_->GetAtom(), first)) {
        parent->DeleteChildWith(name, cascade, open);
    }
}

TNodes TNodeCollection::GetChildren(std::string_view path) {
    Ref<TNode> node = Find(path, false);
    return node ? node->GetChildren() : TNodes{};
}

TNodes TNodeCollection::GetLinkedNodes(std::string_view path) {
    Ref<TNode> node = Find(path, false);
    return node ? node->GetLinkedNodes() : TNodes{};
}

StringArray TNodeCollection::GetChildNames(std::string_view path) {
    Ref<TNode> node = Find(path, false);
    return node ? node->GetChildNames() : StringArray{};
}

int32_t TNodeCollection::GetChildCount(std::string_view path) {
    Ref<TNode> node = Find(path, false);
    return node ? node->GetChildCount() : 0;
}

StringArray TNodeCollection::GetLinkNames(std::string_view path) {
    Ref<TNode> node = Find(path, false);
    return node ? node->GetLinkNames() : StringArray{};
}

int32_t TNodeCollection::GetLinkCount(std::string_view path) {
    Ref<TNode> node = Find(path, false);
    return node ? node->GetLinkCount() : 0;
}

Ref<INodeInfo> TNodeCollection::GetNodeInfo(std::string_view path, bool create) {
    Ref<TNode> node = Find(path, create);
    return node ? node->GetInfo() : nullptr;
}

std::string TNodeCollection::GetNodeName(std::string_view path) {
    Ref<TNode> node = Find(path, false);
    return node ? node->GetName() : std::string();
}

std::string TNodeCollection::GetNameOf(const Ref<INode>& node) { return Need(node, "node").GetName(); }

StringArray TNodeCollection::GetAllLinkPaths() {
    if (allPathsRead_) return allPaths_;
    StringArray paths;
    root_->WalkSubtree(true, [&](TNode& node) {
        if (&node == root_.get()) return;
        StringArray own = node.GetLinkPaths();
        paths.insert(paths.end(), own.begin(), own.end());
    });
    if (memo_) {
        allPaths_ = paths;
        allPathsRead_ = true;
    }
    return paths;
}

void TNodeCollection::RecordOn(TNode& node, const THitFacts& hit) {
    node.RecordHitWith(false, hit, Held(&node));
    if (hit.isEntry) node.Info().AddEntries(1);
    if (hit.isExit) node.Info().AddExits(1);
}

void TNodeCollection::RecordNodeHit(std::string_view path, bool canCreate, const THitFacts& hit) {
    Ref<TNode> node = Find(path, canCreate);
    if (!node) return;
    RecordOn(*node, hit);
}

void TNodeCollection::RecordSiteHit(const THitFacts& hit) { RecordOn(*root_, hit); }

double TNodeCollection::GetIPLastHit(uint32_t ip, std::string_view path) {
    Ref<TNode> node = RootOrFind(path, false);
    return node ? node->Info().GetIPLastHit(ip) : 0.0;
}

int32_t TNodeCollection::GetNodeInterval(std::string_view path) {
    Ref<TNode> node = RootOrFind(path, false);
    if (!node) node = root_;
    if (!node) return kDefaultNodeInterval;
    return node->Info().GetInterval();
}

void TNodeCollection::CountBrowser(std::string_view userAgent, std::string_view path, bool canCreate) {
    Ref<TNode> node = RootOrFind(path, canCreate);
    if (node) node->Info().GetBrowsers()->RegisterAgent(userAgent);
}

void TNodeCollection::CountNodeLanguage(std::string_view path, std::string_view code) {
    if (path.empty() || code.empty()) return;
    Ref<TNode> node = Find(path, false);
    if (node) node->GetLanguages()->Add(code);
}

void TNodeCollection::CountLanguage(std::string_view code) {
    if (!code.empty()) root_->GetLanguages()->Add(code);
}

void TNodeCollection::GetIPRecords(std::string_view path, TIPArray& rows, bool subtree) {
    Ref<TNode> node = RootOrFind(path, false);
    if (node) rows = node->GetIPRecords(subtree);
}

void TNodeCollection::GetIPStatsForPeriod(std::string_view path, TIPArray& rows, bool subtree,
                                          double fromDate, double toDate) {
    Ref<TNode> node = RootOrFind(path, false);
    if (node) rows = node->GetIPStatsForPeriod(subtree, fromDate, toDate);
}

double TNodeCollection::GetCreated(std::string_view path) {
    Ref<TNode> node = Find(path, false);
    return node ? node->Info().GetCreated() : 0.0;
}

double TNodeCollection::GetLastDay(std::string_view path, bool subtree) {
    Ref<TNode> node = Find(path, false);
    return node ? node->GetLastDay(subtree) : 0.0;
}

}  // namespace tlvx
