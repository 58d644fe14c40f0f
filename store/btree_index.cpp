#include "store/btree_index.h"

#include <stdexcept>

#include "store/btree_cursor.h"
#include "store/errors.h"

namespace tlvx {

const TGUID kBTreeIndexType{0xB3A60230, 0x0BA1, 0x11D5, {0x8F, 0x94, 0x00, 0x01, 0x02, 0xFA, 0xE9, 0xE5}};

namespace {

struct TEntry {
    std::string Key;
    Ref<IVirtualAtom> Value;
    Ref<IVirtualAtom> Right;
};

// Key i of node with its value and right child, ready to be linked elsewhere.
TEntry EntryOf(const TBTreeNode& node, uint32_t i) {
    return TEntry{node.Key(i), node.LinkTarget(node.ValueSlot(i)), node.LinkTarget(node.ChildSlot(i + 1))};
}

// Sets entry e as key i of node (links first, then the key bytes).
void PlaceEntry(TBTreeNode& node, uint32_t i, const TEntry& e) {
    node.SetLink(node.ValueSlot(i), e.Value);
    node.SetLink(node.ChildSlot(i + 1), e.Right);
    node.AppendKey(i, e.Key);
}

}  // namespace

void CheckKeyLength(std::string_view key) {
    if (key.size() > size_t(kMaxKeyLength))
        throw std::runtime_error(FormatText("Key too long %d bytes", {int64_t(key.size())}));
}

TBTreeIndex::TBTreeIndex(Ref<IVirtualAtom> indexAtom, int32_t rootLink, uint32_t pageSize,
                         std::string_view requiredCaps, bool mustExist)
    : TCapabilities(BTreeCapList()),
      indexAtom_(std::move(indexAtom)),
      rootLink_(rootLink),
      pageSize_(pageSize) {
    QMZ_ASSERT(IsValidPageSize(pageSize_));
    storage_ = indexAtom_->GetStorage();
    transaction_ = indexAtom_->GetTransaction();
    creator_ = transaction_ ? Ref<IVirtualStorage>(transaction_) : storage_;
    accessMask_ = storage_->GetAccessMask();
    defaultMode_ = uint8_t(accessMask_ & amReadWrite);

    Ref<IVirtualAtom> root;
    try {
        root = indexAtom_->OpenLinkWithMode(rootLink_, accessMask_);
    } catch (const EQmzError& e) {
        if (mustExist && e.ErrorCode() == ecBrokenLink) throw EQmzError(ecNotIndex, kNotBTreeIndex);
        throw;
    }
    if (!root && mustExist) throw EQmzError(ecNotIndex, kNotBTreeIndex);
    if (root) {
        root_ = Node(root);
        root_.Read();
    } else {
        root = creator_->CreateAtom();
        indexAtom_->SetLink(rootLink_, root);
        root_ = Node(root);
        root_.InitEmpty();
        root_.WriteHeader();
    }
    if (!Supports(requiredCaps)) throw EQmzError(ecCapabilityNotSupported, TQmzMessage::CapabilityNotSupported);
}

TBTreeNode TBTreeIndex::Node(Ref<IVirtualAtom> atom) const { return TBTreeNode(std::move(atom), pageSize_); }

// ---- search ---------------------------------------------------------------

bool TBTreeIndex::Locate(std::string_view key, TBTreeNode& node, uint32_t& pos) {
    // Search the root copy in place; only deeper nodes are read.
    const TBTreeNode* current = &root_;
    for (size_t depth = 0;; ++depth) {
        CheckTreeDepth(depth);
        if (current->Search(key, pos)) {
            if (current == &root_) node = root_;
            return true;
        }
        Ref<IVirtualAtom> child = current->OpenChild(pos, amRead);
        if (!child) return false;
        node = Node(child);
        node.Read();
        current = &node;
    }
}

bool TBTreeIndex::Contains(std::string_view key) {
    TBTreeNode node;
    uint32_t pos;
    return Locate(key, node, pos);
}

bool TBTreeIndex::Find(std::string_view key, Ref<IVirtualAtom>& value) {
    return FindWithMode(key, defaultMode_, value);
}

bool TBTreeIndex::FindWithMode(std::string_view key, uint8_t mode, Ref<IVirtualAtom>& value) {
    CheckKeyLength(key);
    value.reset();
    TBTreeNode node;
    uint32_t pos;
    if (!Locate(key, node, pos)) return false;
    value = node.Atom()->OpenLinkWithMode(int32_t(node.ValueSlot(pos)), mode);
    return true;
}

bool TBTreeIndex::FindCursor(std::string_view key, Ref<IIndexerCursor>& cursor) {
    CheckKeyLength(key);
    cursor.reset();
    Ref<TBTreeCursor> c = MakeRef<TBTreeCursor>(Ref<TBTreeIndex>(this));
    if (!c->Seek(key, smEqual)) return false;
    cursor = c;
    return true;
}

bool TBTreeIndex::GetCursor(Ref<IIndexerCursor>& cursor) {
    Ref<TBTreeCursor> c = MakeRef<TBTreeCursor>(Ref<TBTreeIndex>(this));
    cursor = c;
    return c->First();
}

Ref<IIndexerCursor> TBTreeIndex::NewCursor() { return MakeRef<TBTreeCursor>(Ref<TBTreeIndex>(this)); }

Ref<RefCounted> TBTreeIndex::ReservedKeyMethod(std::string_view) {
    throw EQmzError(ecNotImplemented, TQmzMessage::NotImplemented);
}

void TBTreeIndex::ReservedMethod() { throw EQmzError(ecNotImplemented, TQmzMessage::NotImplemented); }

// ---- insert ---------------------------------------------------------------

Ref<IVirtualAtom> TBTreeIndex::Insert(std::string_view key) {
    CheckKeyLength(key);
    Ref<IVirtualAtom> value = creator_->CreateAtom();
    InsertAtom(key, value);
    return value;
}

void TBTreeIndex::InsertAtom(std::string_view key, const Ref<IVirtualAtom>& value) {
    CheckKeyLength(key);
    TPromotion up;
    if (InsertInto(root_, key, value, up)) GrowRoot(up);
}

bool TBTreeIndex::InsertInto(TBTreeNode& node, std::string_view key, const Ref<IVirtualAtom>& value,
                             TPromotion& up) {
    uint32_t pos;
    if (node.Search(key, pos)) {
        node.SetLink(node.ValueSlot(pos), value);
        return false;
    }
    Ref<IVirtualAtom> childAtom = node.OpenChild(pos, amReadWrite);
    if (!childAtom) return InsertEntry(node, pos, key, value, nullptr, up);

    TBTreeNode child = Node(childAtom);
    child.Read();
    TPromotion below;
    if (!InsertInto(child, key, value, below)) return false;
    bool promoted = InsertEntry(node, pos, below.Key, below.Value, below.Right, up);
    if (promoted && up.CarriesNew) {
        // The entry travels on: its old links stay until a level links it.
        for (auto& p : below.Pending) up.Pending.push_back(std::move(p));
    } else {
        // The entry is linked here (or in this node's new sibling) now.
        below.ClearPending();
    }
    return promoted;
}

bool TBTreeIndex::InsertEntry(TBTreeNode& node, uint32_t pos, std::string_view key,
                              const Ref<IVirtualAtom>& value, const Ref<IVirtualAtom>& right,
                              TPromotion& up) {
    const uint32_t count = node.Count();
    if (count == pageSize_) {
        Split(node, pos, key, value, right, up);
        return true;
    }
    QMZ_ASSERT(count < pageSize_ && pos <= count);
    // A node that never splits would otherwise collect dead bytes forever.
    node.CompactIfWasteful();
    node.OpenPair(pos);
    node.InsertValueLink(pos, value);
    node.InsertChildLink(pos + 1, right);
    node.AppendKey(pos, key);
    node.SetCount(count + 1);
    node.WriteHeader();
    return false;
}

void TBTreeIndex::Split(TBTreeNode& node, uint32_t pos, std::string_view key, const Ref<IVirtualAtom>& value,
                        const Ref<IVirtualAtom>& right, TPromotion& up) {
    const uint32_t P = pageSize_, half = Half();
    QMZ_ASSERT(node.Count() == P && pos <= P);

    // All P + 1 entries in order; the middle one goes up, the lower half
    // stays, the upper half moves to a new node.
    std::vector<TEntry> all;
    all.reserve(P + 1);
    for (uint32_t i = 0; i < P; ++i) all.push_back(EntryOf(node, i));
    all.insert(all.begin() + pos, TEntry{std::string(key), value, right});
    const TEntry& mid = all[half];

    Ref<IVirtualAtom> siblingAtom = creator_->CreateAtom();
    TBTreeNode sibling = Node(siblingAtom);
    sibling.InitEmpty();
    sibling.SetLink(sibling.ChildSlot(0), mid.Right);
    for (uint32_t j = 0; j < half; ++j) PlaceEntry(sibling, j, all[half + 1 + j]);
    sibling.SetCount(half);
    sibling.WriteHeader();

    // The old node: everything from slot half on now lives in the sibling,
    // apart from the middle value, which stays until the level above has it.
    int32_t pending = -1;
    if (pos >= half) {
        // Keys 0..half-1 keep their places; the middle is the new entry
        // (pos == half) or old key half.
        if (pos > half) pending = int32_t(half);
        for (uint32_t i = half; i < P; ++i)
            if (int32_t(i) != pending) node.SetLink(node.ValueSlot(i), nullptr);
        for (uint32_t j = half + 1; j <= P; ++j) node.SetLink(node.ChildSlot(j), nullptr);
    } else {
        // The middle is old key half-1; its right child went to the sibling.
        for (uint32_t i = half; i < P; ++i) node.SetLink(node.ValueSlot(i), nullptr);
        for (uint32_t j = half; j <= P; ++j) node.SetLink(node.ChildSlot(j), nullptr);
        node.InsertValueLink(pos, value);    // old key half-1 moves to slot half
        node.InsertChildLink(pos + 1, right);
        pending = int32_t(half);
    }
    // Rewrite the lower keys packed from the start of the key area.
    node.SetEndOffset(node.HeaderSize());
    for (uint32_t i = 0; i < half; ++i) node.AppendKey(i, all[i].Key);
    node.SetCount(half);
    node.WriteHeader();

    up.Key = mid.Key;
    up.Value = mid.Value;
    up.Right = siblingAtom;
    up.CarriesNew = pos == half;
    up.Pending.clear();
    if (pending >= 0) up.Pending.push_back({node.Atom(), uint32_t(pending)});
}

void TBTreeIndex::GrowRoot(TPromotion& up) {
    Ref<IVirtualAtom> newRootAtom = creator_->CreateAtom();
    TBTreeNode newRoot = Node(newRootAtom);
    newRoot.InitEmpty();
    newRoot.SetLink(newRoot.ValueSlot(0), up.Value);
    newRoot.SetLink(newRoot.ChildSlot(0), root_.Atom());
    newRoot.SetLink(newRoot.ChildSlot(1), up.Right);
    newRoot.AppendKey(0, up.Key);
    newRoot.SetCount(1);
    newRoot.WriteHeader();
    indexAtom_->SetLink(rootLink_, newRootAtom);
    up.ClearPending();
    root_ = newRoot;
}

// ---- delete ---------------------------------------------------------------

bool TBTreeIndex::Delete(std::string_view key) {
    bool removed = false;
    bool underflow = DeleteFrom(root_, key, removed);
    if (underflow && root_.Count() == 0) CollapseRoot();
    return removed;
}

bool TBTreeIndex::DeleteFrom(TBTreeNode& node, std::string_view key, bool& removed) {
    uint32_t pos;
    const bool found = node.Search(key, pos);
    Ref<IVirtualAtom> childAtom = node.OpenChild(pos, amReadWrite);

    if (found && !childAtom) {
        node.RemoveValueLink(pos);
        node.RemoveChildLink(pos + 1);
        node.ClosePair(pos);
        node.SetCount(node.Count() - 1);
        node.WriteHeader();
        removed = true;
        return node.Count() < Half();
    }
    if (!childAtom) return false;

    TBTreeNode child = Node(childAtom);
    child.Read();
    if (found) {
        // Replace the key by its in-order predecessor: the last key of the
        // rightmost leaf of the left subtree. Link its value here first, then
        // take it out of the leaf.
        std::string predKey;
        Ref<IVirtualAtom> predValue;
        {
            TBTreeNode leaf = child;
            for (size_t depth = 0;; ++depth) {
                CheckTreeDepth(depth);
                Ref<IVirtualAtom> next = leaf.OpenChild(leaf.Count(), amRead);
                if (!next) break;
                leaf = Node(next);
                leaf.Read();
            }
            QMZ_ASSERT(leaf.Count() > 0);
            predKey = leaf.Key(leaf.Count() - 1);
            predValue = leaf.LinkTarget(leaf.ValueSlot(leaf.Count() - 1));
        }
        node.SetLink(node.ValueSlot(pos), predValue);
        node.CompactIfWasteful();
        node.AppendKey(pos, predKey);
        node.WriteHeader();
        removed = true;
        if (TakeLast(child)) return Repair(node, pos, child);
        return false;
    }
    if (DeleteFrom(child, key, removed)) return Repair(node, pos, child);
    return false;
}

bool TBTreeIndex::TakeLast(TBTreeNode& node) {
    const uint32_t count = node.Count();
    QMZ_ASSERT(count > 0);
    Ref<IVirtualAtom> childAtom = node.OpenChild(count, amReadWrite);
    if (childAtom) {
        TBTreeNode child = Node(childAtom);
        child.Read();
        if (TakeLast(child)) return Repair(node, count, child);
        return false;
    }
    node.SetLink(node.ValueSlot(count - 1), nullptr);
    node.SetCount(count - 1);
    node.WriteHeader();
    return node.Count() < Half();
}

bool TBTreeIndex::Repair(TBTreeNode& parent, uint32_t c, TBTreeNode& child) {
    QMZ_ASSERT(child.Count() + 1 == Half() && c <= parent.Count());
    if (c < parent.Count()) return RepairFromRight(parent, c, child);
    QMZ_ASSERT(c > 0);
    return RepairFromLeft(parent, c, child);
}

bool TBTreeIndex::RepairFromRight(TBTreeNode& parent, uint32_t c, TBTreeNode& child) {
    Ref<IVirtualAtom> rightAtom = parent.OpenChild(c + 1, amReadWrite);
    QMZ_ASSERT(bool(rightAtom));
    TBTreeNode right = Node(rightAtom);
    right.Read();
    const uint32_t n0 = child.Count(), rn = right.Count();
    QMZ_ASSERT(rn >= n0);
    const uint32_t k = (rn - n0) / 2;

    // The separator comes down as the child's next key, right's child 0
    // after it.
    const TEntry sep{parent.Key(c), parent.LinkTarget(parent.ValueSlot(c)), right.LinkTarget(right.ChildSlot(0))};
    PlaceEntry(child, n0, sep);

    if (k < 1) {
        QMZ_ASSERT(n0 + 1 + rn <= pageSize_);
        for (uint32_t j = 0; j < rn; ++j) PlaceEntry(child, n0 + 1 + j, EntryOf(right, j));
        child.SetCount(n0 + 1 + rn);
        // Everything of right is linked in the child now.
        right.Atom()->SetLinkCount(0);
        parent.RemoveValueLink(c);
        parent.RemoveChildLink(c + 1);
        parent.ClosePair(c);
        parent.SetCount(parent.Count() - 1);
        child.CompactIfWasteful();
        child.WriteHeader();
        parent.CompactIfWasteful();
        parent.WriteHeader();
        return parent.Count() < Half();
    }

    for (uint32_t j = 0; j + 1 < k; ++j) PlaceEntry(child, n0 + 1 + j, EntryOf(right, j));
    child.SetCount(n0 + k);
    // Right's key k-1 becomes the separator.
    parent.SetLink(parent.ValueSlot(c), right.LinkTarget(right.ValueSlot(k - 1)));
    parent.AppendKey(c, right.Key(k - 1));
    for (uint32_t t = 0; t < k; ++t) {
        right.RemoveValueLink(0);
        right.RemoveChildLink(0);
        right.ClosePair(0);
    }
    right.SetCount(rn - k);
    child.CompactIfWasteful();
    child.WriteHeader();
    right.CompactIfWasteful();
    right.WriteHeader();
    parent.CompactIfWasteful();
    parent.WriteHeader();
    return false;
}

bool TBTreeIndex::RepairFromLeft(TBTreeNode& parent, uint32_t c, TBTreeNode& child) {
    Ref<IVirtualAtom> leftAtom = parent.OpenChild(c - 1, amReadWrite);
    QMZ_ASSERT(bool(leftAtom));
    TBTreeNode left = Node(leftAtom);
    left.Read();
    const uint32_t n0 = child.Count(), ln = left.Count();
    QMZ_ASSERT(ln >= n0);
    const uint32_t k = (ln - n0) / 2;

    if (k < 1) {
        QMZ_ASSERT(ln + 1 + n0 <= pageSize_);
        PlaceEntry(left, ln,
                   TEntry{parent.Key(c - 1), parent.LinkTarget(parent.ValueSlot(c - 1)),
                          child.LinkTarget(child.ChildSlot(0))});
        for (uint32_t j = 0; j < n0; ++j) PlaceEntry(left, ln + 1 + j, EntryOf(child, j));
        left.SetCount(ln + 1 + n0);
        child.Atom()->SetLinkCount(0);
        parent.RemoveValueLink(c - 1);
        parent.RemoveChildLink(c);
        parent.ClosePair(c - 1);
        parent.SetCount(parent.Count() - 1);
        left.CompactIfWasteful();
        left.WriteHeader();
        parent.CompactIfWasteful();
        parent.WriteHeader();
        return parent.Count() < Half();
    }

    // Make room for k keys at the front of the child; its old child 0 ends
    // up as child k, the right child of the separator.
    for (uint32_t t = 0; t < k; ++t) {
        child.InsertValueLink(0, nullptr);
        child.InsertChildLink(0, nullptr);
        child.OpenPair(0);
    }
    child.SetLink(child.ValueSlot(k - 1), parent.LinkTarget(parent.ValueSlot(c - 1)));
    child.AppendKey(k - 1, parent.Key(c - 1));
    const uint32_t s = ln - k;  // left's key that goes up
    for (uint32_t j = 0; j + 1 < k; ++j) PlaceEntry(child, j, EntryOf(left, s + 1 + j));
    child.SetLink(child.ChildSlot(0), left.LinkTarget(left.ChildSlot(s + 1)));
    child.SetCount(n0 + k);
    parent.SetLink(parent.ValueSlot(c - 1), left.LinkTarget(left.ValueSlot(s)));
    parent.AppendKey(c - 1, left.Key(s));
    for (uint32_t i = s; i < ln; ++i) left.SetLink(left.ValueSlot(i), nullptr);
    for (uint32_t j = s + 1; j <= ln; ++j) left.SetLink(left.ChildSlot(j), nullptr);
    left.SetCount(s);
    child.CompactIfWasteful();
    child.WriteHeader();
    left.CompactIfWasteful();
    left.WriteHeader();
    parent.CompactIfWasteful();
    parent.WriteHeader();
    return false;
}

void TBTreeIndex::CollapseRoot() {
    Ref<IVirtualAtom> newRootAtom = root_.OpenChild(0, accessMask_);
    if (!newRootAtom) return;  // an empty leaf root stays
    indexAtom_->SetLink(rootLink_, newRootAtom);
    root_.Atom()->SetLinkCount(0);
    TBTreeNode newRoot = Node(newRootAtom);
    newRoot.Read();
    root_ = newRoot;
}

// ---- clear and dump -------------------------------------------------------

void TBTreeIndex::Clear() {
    root_.Atom()->SetLinkCount(0);
    root_.InitEmpty();
    root_.WriteHeader();
}

void TBTreeIndex::DumpTree(std::vector<std::string>& lines) { Dump(root_, 0, lines); }

void TBTreeIndex::Dump(const TBTreeNode& node, int depth, std::vector<std::string>& lines) {
    CheckTreeDepth(size_t(depth));
    const std::string indent(size_t(depth), ' ');
    auto dumpChild = [&](uint32_t j) {
        Ref<IVirtualAtom> atom = node.OpenChild(j, amRead);
        if (!atom) return false;
        TBTreeNode child = Node(atom);
        child.Read();
        if (j == 0) lines.push_back(indent + "p0");
        Dump(child, depth + 1, lines);
        return true;
    };
    dumpChild(0);
    for (uint32_t i = 0; i < node.Count(); ++i) {
        std::string line = indent + node.Key(i);
        if (!node.Atom()->HasLink(int32_t(node.ValueSlot(i)))) line += "N";
        lines.push_back(line);
        dumpChild(i + 1);
    }
}

}  // namespace tlvx
