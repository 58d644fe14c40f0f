#include "model/node.h"

#include <algorithm>
#include <exception>

#include "model/need.h"
#include "model/node_atoms.h"
#include "store/btree_factory.h"
#include "store/errors.h"

namespace tlvx {

namespace {

constexpr int32_t kChildrenLink = 0;
constexpr int32_t kInfoLink = 1;

bool OnList(const std::vector<uint32_t>& list, uint32_t number) {
    return std::find(list.begin(), list.end(), number) != list.end();
}

StringArray KeysOf(IIndexer* index) {
    StringArray keys;
    if (!index) return keys;
    Ref<IIndexerCursor> cursor;
    if (index->GetCursor(cursor) && cursor) {
        do keys.push_back(cursor->GetKey());
        while (cursor->Next());
    }
    return keys;
}

// The atom number of a child without opening it for reading or writing, so
// that a node already open (an ancestor on a cycle) is not touched.
bool ChildNumber(IIndexer& children, std::string_view name, uint32_t& number) {
    Ref<IVirtualAtom> probe;
    if (!children.FindWithMode(name, 0, probe) || !probe) return false;
    number = AtomNumberOf(probe);
    return true;
}

// A freed node's number may since have been given to any other atom: only
// an atom with the node's shape is opened as one, so that opening it never
// writes (a node view completes missing parts of a node it opens).
bool LooksLikeNode(IVirtualAtom& atom) {
    const Ref<IIndexerFactory>& factory = IndexFactory();
    Ref<IVirtualAtom> children = atom.OpenLinkWithMode(kChildrenLink, amRead);
    if (!children || !factory->IsBTreeIndex(children)) return false;
    Ref<IVirtualAtom> info = atom.OpenLinkWithMode(kInfoLink, amRead);
    if (!info || !info->HasLink(ilCounters)) return false;
    Ref<IVirtualAtom> links = info->OpenLinkWithMode(ilLinks, amRead);
    return links && factory->IsBTreeIndex(links);
}

}  // namespace

TNode* TOpenNodes::Find(uint32_t atomNumber) const {
    for (TNode* node : nodes_)
        if (node && node->AtomNumber() == atomNumber) return node;
    return nullptr;
}

Ref<TNode> TNode::Create(std::string_view name, Ref<IVirtualAtom> atom) {
    Ref<TNode> node = MakeRef<TNode>();
    node->atom_ = std::move(atom);
    IVirtualAtom& nodeAtom = Need(node->atom_, "node atom");
    Ref<IVirtualStorage> storage = StorageOf(nodeAtom);
    Ref<IVirtualAtom> indexAtom;
    node->children_ = IndexFactory()->CreateIndex(storage, indexAtom, "", "");
    node->childrenRead_ = true;
    nodeAtom.SetLink(kChildrenLink, indexAtom);
    Ref<IVirtualAtom> infoAtom = storage->CreateAtom();
    nodeAtom.SetLink(kInfoLink, infoAtom);
    node->info_ = TNodeInfo::Create(infoAtom);
    node->info_->SetName(name);
    return node;
}

Ref<TNode> TNode::Open(Ref<IVirtualAtom> atom) {
    Ref<TNode> node = MakeRef<TNode>();
    node->atom_ = std::move(atom);
    IVirtualAtom& nodeAtom = Need(node->atom_, "node atom");
    // A reader opens the children index when first asked about children:
    // most nodes are leaves that a report asks only for their figures.
    if (!IsReadOnlyAtom(nodeAtom)) node->Children();
    node->info_ = TNodeInfo::Open(OpenNeededLink(nodeAtom, kInfoLink, "node info atom"));
    return node;
}

IIndexer* TNode::Children() {
    if (!childrenRead_) {
        childrenRead_ = true;
        if (atom_->HasLink(kChildrenLink))
            children_ = IndexFactory()->OpenIndex(atom_->OpenLink(kChildrenLink), "", "");
    }
    return children_.get();
}

Ref<TNode> FindChildNode(IIndexer& children, std::string_view name) {
    Ref<IVirtualAtom> value;
    if (!children.Find(name, value)) return nullptr;
    Need(value, "child node atom");
    return TNode::Open(value);
}

uint32_t TNode::AtomNumber() {
    if (number_ == 0) number_ = AtomNumberOf(atom_);
    return number_;
}

Ref<TNode> TNode::ChildNamed(std::string_view name) {
    if (memo_) return memo_->Child(*this, name);
    return Children() ? FindChildNode(*children_, name) : nullptr;
}

StringArray TNode::ChildNames() {
    if (!IsReadOnly()) return KeysOf(Children());
    if (!childNamesRead_) {
        childNames_ = KeysOf(Children());
        childNamesRead_ = true;
    }
    return childNames_;
}

Ref<IStorageTransaction> TNode::GetTransaction() { return info_->GetAtom()->GetTransaction(); }

Ref<INode> TNode::GetChild(std::string_view name, bool create) {
    if (Children()) {
        if (Ref<TNode> child = ChildNamed(name)) return child;
    }
    if (!create) return nullptr;
    Ref<TNode> child = Create(name, Need(children_, "children index").Insert(name));
    if (!GetName().empty()) child->AddLinks(Ref<INode>(this));
    return child;
}

TNodes TNode::GetChildren() {
    TNodes nodes;
    for (const std::string& name : ChildNames()) nodes.push_back(ChildNamed(name));
    return nodes;
}

TNodes TNode::GetLinkedNodes() { return info_->GetLinkedNodes(); }

int32_t TNode::GetChildCount() {
    if (!Children()) return 0;
    if (childCount_ >= 0) return childCount_;
    Ref<IIndexerCursor> cursor;
    children_->GetCursor(cursor);
    int32_t count = cursor ? cursor->GetKeyCount() : 0;
    if (IsReadOnly()) childCount_ = count;
    return count;
}

StringArray TNode::GetChildNames() { return ChildNames(); }

bool TNode::HasChild(std::string_view name) { return Children() && children_->Contains(name); }

Ref<INode> TNode::NewChild(std::string_view name, bool replace) {
    IIndexer& children = Need(children_, "children index");
    if (children.Contains(name) && !replace) return nullptr;
    return Create(name, children.Insert(name));
}

void TNode::AttachChild(std::string_view name, const Ref<INode>& node, bool replace) {
    IIndexer& children = Need(children_, "children index");
    Need(node, "node to attach");
    if (children.Contains(name) && !replace) return;
    children.InsertAtom(name, node->GetAtom());
    node->AddLinks(Ref<INode>(this));
}

void TNode::DeleteChild(std::string_view name, bool cascade) {
    TOpenNodes open;
    open.Add(this);
    DeleteChildWith(name, cascade, open);
}

void TNode::DeleteChildWith(std::string_view name, bool cascade, const TOpenNodes& open) {
    if (!HasChild(name)) return;
    if (!cascade) {
        children_->Delete(name);
        return;
    }
    // The child's parents are read as atom numbers, so this node is never
    // opened a second time.
    std::vector<std::pair<std::string, uint32_t>> parents;
    if (Ref<TNode> child = FindChildNode(*children_, name)) parents = child->info_->ReadLinkTargets();
    children_->Delete(name);
    uint32_t self = AtomNumber();
    std::vector<uint32_t> done{self};
    for (const auto& [path, number] : parents) {
        if (OnList(done, number)) continue;
        done.push_back(number);
        if (TNode* held = open.Find(number)) {
            held->DeleteChildWith(name, false, open);
        } else if (Ref<TNode> parent = OpenByNumber(*atom_, number)) {
            parent->DeleteChildWith(name, false, open);
        }
    }
}

Ref<TNode> TNode::OpenByNumber(IVirtualAtom& anyAtom, uint32_t atomNumber) {
    Ref<IVirtualStorage> storage = StorageOf(anyAtom);
    TAtomID id;
    id.StorageID = storage->GetStorageID();
    id.AtomNumber = atomNumber;
    try {
        Ref<IVirtualAtom> atom = storage->OpenAtom(id);
        if (!LooksLikeNode(*atom)) return nullptr;
        return Open(atom);
    } catch (const EQmzError& e) {
        int32_t code = e.ErrorCode();
        if (code == ecInvalidAtomAddress || code == ecBrokenLink || code == ecNotIndex) return nullptr;
        throw;
    } catch (const ENilObject&) {
        return nullptr;
    }
}

void TNode::WalkSubtree(bool subtree, const TNodeVisit& visit) {
    visit(*this);
    if (!subtree) return;
    std::vector<uint32_t> onWalk{AtomNumber()};
    WalkChildren(onWalk, visit);
}

void TNode::WalkChildren(std::vector<uint32_t>& onWalk, const TNodeVisit& visit) {
    if (!Children()) return;
    for (const std::string& name : ChildNames()) {
        uint32_t number = 0;
        Ref<TNode> child;
        if (memo_) {
            // The memo opens a node once, so an ancestor met again (a
            // cycle) is the object already open, not a second open.
            child = memo_->Child(*this, name);
            if (!child) continue;
            number = child->AtomNumber();
            if (OnList(onWalk, number)) continue;
        } else {
            if (!ChildNumber(*children_, name, number) || OnList(onWalk, number)) continue;
            child = FindChildNode(*children_, name);
            if (!child) continue;
        }
        visit(*child);
        onWalk.push_back(number);
        child->WalkChildren(onWalk, visit);
        onWalk.pop_back();
    }
}

void TNode::CollectLinkPaths(StringArray& paths) {
    WalkSubtree(true, [&paths](TNode& node) {
        StringArray own = node.GetLinkPaths();
        paths.insert(paths.end(), own.begin(), own.end());
    });
}

void TNode::RecordHit(bool propagated, const THitFacts& hit) {
    TOpenNodes open;
    open.Add(this);
    RecordHitWith(propagated, hit, open);
}

void TNode::RecordHitWith(bool propagated, const THitFacts& hit, const TOpenNodes& open) {
    if (propagated) {
        info_->AddGroupHits(1);
    } else {
        info_->AddHit(hit);
        info_->AddHits(1);
        if (hit.newVisit) info_->AddVisits(1);
        if (hit.newVisitor) info_->AddVisitors(1);
    }
    std::vector<uint32_t> onClimb{AtomNumber()};
    Climb(hit, open, onClimb);
}

// Each parent is opened, given its group hit and dropped before the climb
// goes on from its links, so at most one parent is open at a time: a parent
// reached along two links is counted twice without being open twice, a
// parent already on this climb (a cycle) is skipped, and a parent deleted
// since the link was made is passed over.
void TNode::Climb(const THitFacts& hit, const TOpenNodes& open, std::vector<uint32_t>& onClimb) {
    ClimbLinks(*atom_, info_->ReadLinkTargets(), hit, open, onClimb);
}

void TNode::ClimbLinks(IVirtualAtom& anyAtom, const TLinkTargets& targets, const THitFacts& hit,
                       const TOpenNodes& open, std::vector<uint32_t>& onClimb) {
    for (const auto& [path, number] : targets) {
        if (OnList(onClimb, number)) continue;
        TLinkTargets next;
        if (TNode* held = open.Find(number)) {
            held->info_->AddGroupHits(1);
            next = held->info_->ReadLinkTargets();
        } else if (Ref<TNode> parent = OpenByNumber(anyAtom, number)) {
            parent->info_->AddGroupHits(1);
            next = parent->info_->ReadLinkTargets();
        } else {
            continue;
        }
        onClimb.push_back(number);
        ClimbLinks(anyAtom, next, hit, open, onClimb);
        onClimb.pop_back();
    }
}

}  // namespace tlvx
