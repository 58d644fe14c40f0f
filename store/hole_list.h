// The in-memory list of holes of a storage file: one record per hole, found
// by position (for merging with neighbours) and by size (for best fit, the
// oldest hole first among holes of one size). Both indexes are balanced
// binary trees; the records live outside the tree nodes because balanced
// deletion moves node contents around.
#pragma once

#include <cstdint>
#include <map>

#include "store/binary_tree.h"

namespace tlvx {

struct THole {
    uint64_t position = 0;
    uint32_t size = 0;
    int32_t slot = -1;  // its entry in the hole tables
    uint64_t order = 0; // when it was (re)added, for the oldest-first rule
    uint64_t End() const { return position + size; }
};

struct TAddrNode : TTreeNode<TAddrNode> {
    using Key = uint64_t;
    explicit TAddrNode(uint64_t key) : position(key) {}
    void CopyFrom(const TAddrNode& o) {
        position = o.position;
        hole = o.hole;
    }
    int Compare(uint64_t key) const { return position < key ? -1 : position > key ? 1 : 0; }
    uint64_t position;
    THole* hole = nullptr;
};

struct TSizeNode : TTreeNode<TSizeNode> {
    using Key = uint32_t;
    explicit TSizeNode(uint32_t key) : size(key) {}
    // The donor node is freed right after, so its holes are taken, not copied.
    void CopyFrom(const TSizeNode& o) {
        size = o.size;
        holes.swap(o.holes);
    }
    int Compare(uint32_t key) const { return size < key ? -1 : size > key ? 1 : 0; }
    uint32_t size;
    mutable std::map<uint64_t, THole*> holes;  // by order: oldest first
};

class THoleList {
public:
    THoleList() = default;
    ~THoleList();
    THoleList(const THoleList&) = delete;
    THoleList& operator=(const THoleList&) = delete;

    int32_t Count() const { return byPosition_.Count(); }
    // Takes ownership of the record; it becomes the newest of its size.
    void Add(THole* hole);
    // Takes the record out of both indexes (the caller owns it again).
    void Remove(THole* hole);
    // The hole ending exactly at position and the one starting exactly at
    // position + size (either nullptr). A range overlapping a hole is an
    // internal error.
    void FindAdjacent(uint32_t size, uint64_t position, THole** before, THole** after) const;
    // The oldest hole of the smallest size >= size, or nullptr.
    THole* BestFit(uint32_t size) const;
    // Whether [position, position + size) overlaps a hole.
    bool Overlaps(uint64_t position, uint64_t size) const;
    // Every hole in position order.
    template <class F>
    void ForEach(F f) const {
        std::vector<TAddrNode*> nodes;
        byPosition_.CollectNodes(nodes);
        std::map<uint64_t, THole*> sorted;
        for (TAddrNode* n : nodes) sorted[n->position] = n->hole;
        for (auto& [pos, hole] : sorted) f(*hole);
    }

private:
    TBinaryTree<TAddrNode> byPosition_{true};
    TBinaryTree<TSizeNode> bySize_{true};
    uint64_t nextOrder_ = 0;
};

}  // namespace tlvx
