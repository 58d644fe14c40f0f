#include "store/hole_list.h"

#include "store/errors.h"

namespace tlvx {

THoleList::~THoleList() {
    std::vector<TAddrNode*> nodes;
    byPosition_.CollectNodes(nodes);
    for (TAddrNode* n : nodes) delete n->hole;
}

void THoleList::Add(THole* hole) {
    TAddrNode* a = byPosition_.Insert(hole->position);
    QMZ_ASSERT(a->hole == nullptr);
    a->hole = hole;
    hole->order = nextOrder_++;
    bySize_.Insert(hole->size)->holes[hole->order] = hole;
}

void THoleList::Remove(THole* hole) {
    byPosition_.Delete(hole->position);
    TSizeNode* s = bySize_.Find(hole->size);
    QMZ_ASSERT(s != nullptr);
    s->holes.erase(hole->order);
    if (s->holes.empty()) bySize_.Delete(hole->size);
}

void THoleList::FindAdjacent(uint32_t size, uint64_t position, THole** before,
                             THole** after) const {
    TAddrNode *pred = nullptr, *succ = nullptr;
    TAddrNode* same = byPosition_.FindNearest(position, &pred, &succ);
    QMZ_ASSERT(same == nullptr);  // freeing a range that is already free
    QMZ_ASSERT(!pred || pred->hole->End() <= position);
    QMZ_ASSERT(!succ || succ->position >= position + size);
    *before = pred && pred->hole->End() == position ? pred->hole : nullptr;
    *after = succ && succ->position == position + size ? succ->hole : nullptr;
}

THole* THoleList::BestFit(uint32_t size) const {
    TSizeNode* larger = nullptr;
    TSizeNode* node = bySize_.FindNearest(size, nullptr, &larger);
    if (!node) node = larger;
    if (!node) return nullptr;
    QMZ_ASSERT(!node->holes.empty());
    return node->holes.begin()->second;
}

bool THoleList::Overlaps(uint64_t position, uint64_t size) const {
    TAddrNode *pred = nullptr, *succ = nullptr;
    if (byPosition_.FindNearest(position, &pred, &succ)) return true;
    if (pred && pred->hole->End() > position) return true;
    return succ && succ->position < position + size;
}

}  // namespace tlvx
