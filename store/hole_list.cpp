#include "store/hole_list.h"

#include <algorithm>

#include "store/errors.h"
#include "store/radix_sort.h"

namespace tlvx {

THoleList::~THoleList() {
    for (auto& [pos, hole] : added_)
        if (LoadedIndex(hole) < 0) delete hole;
}

void THoleList::Load(std::vector<THole> sorted) {
    for (auto& [pos, hole] : added_)
        if (LoadedIndex(hole) < 0) delete hole;
    added_.clear();
    addedBySize_.clear();
    loadedBySize_.clear();
    runs_.clear();
    loaded_ = std::move(sorted);
    present_.assign(loaded_.size(), 1);
    loadedAt_.resize(loaded_.size());
    for (size_t i = 0; i < loaded_.size(); ++i) loadedAt_[i] = loaded_[i].position;
    loadedCount_ = static_cast<int32_t>(loaded_.size());
    // Indexes of loaded_ by order, then (stably) by size: the oldest first
    // within a size. The orders given at a load are the holes' slots: a few
    // hundred spread over tens of thousands of slots.
    uint64_t minOrder = UINT64_MAX;
    for (const THole& h : loaded_) minOrder = std::min(minOrder, h.order);
    std::vector<int32_t> byOrder(loaded_.size());
    for (size_t i = 0; i < byOrder.size(); ++i) byOrder[i] = static_cast<int32_t>(i);
    RadixSort(byOrder, [&](int32_t i) { return loaded_[size_t(i)].order - minOrder; });
    for (size_t i = 1; i < byOrder.size(); ++i)
        QMZ_ASSERT(loaded_[size_t(byOrder[i - 1])].order < loaded_[size_t(byOrder[i])].order);
    nextOrder_ = 0;
    for (const THole& h : loaded_) nextOrder_ = std::max(nextOrder_, h.order + 1);
    for (size_t i = 1; i < loaded_.size(); ++i) QMZ_ASSERT(loaded_[i - 1].End() <= loaded_[i].position);
    RadixSort(byOrder, [&](int32_t i) { return uint64_t{loaded_[size_t(i)].size}; });
    loadedBySize_ = std::move(byOrder);
    for (size_t k = 0; k < loadedBySize_.size(); ++k) {
        const uint32_t size = loaded_[size_t(loadedBySize_[k])].size;
        if (runs_.empty() || runs_.back().size != size) runs_.push_back({size, uint32_t(k), uint32_t(k)});
        runs_.back().end = uint32_t(k + 1);
    }
}

ptrdiff_t THoleList::LoadedIndex(const THole* hole) const {
    if (loaded_.empty() || hole < loaded_.data() || hole >= loaded_.data() + loaded_.size()) return -1;
    return hole - loaded_.data();
}

void THoleList::Add(THole* hole) {
    auto it = added_.try_emplace(hole->position, hole).first;
    QMZ_ASSERT(it->second == hole);
    QMZ_ASSERT(LoadedFrom(hole->position) == nullptr || LoadedFrom(hole->position)->position != hole->position);
    hole->order = nextOrder_++;
    addedBySize_.emplace(std::make_pair(hole->size, hole->order), hole);
}

void THoleList::Remove(THole* hole) {
    const ptrdiff_t i = LoadedIndex(hole);
    if (i >= 0 && present_[size_t(i)]) {
        present_[size_t(i)] = 0;  // its size run skips it from now on
        --loadedCount_;
        return;
    }
    auto p = added_.find(hole->position);
    QMZ_ASSERT(p != added_.end() && p->second == hole);
    added_.erase(p);
    auto s = addedBySize_.find(std::make_pair(hole->size, hole->order));
    QMZ_ASSERT(s != addedBySize_.end());
    addedBySize_.erase(s);
}

void THoleList::Erase(THole* hole) {
    Remove(hole);
    if (LoadedIndex(hole) < 0) delete hole;
}

const THole* THoleList::LoadedBefore(uint64_t position) const {
    auto it = std::lower_bound(loadedAt_.begin(), loadedAt_.end(), position);
    for (size_t i = size_t(it - loadedAt_.begin()); i-- > 0;)
        if (present_[i]) return &loaded_[i];
    return nullptr;
}

const THole* THoleList::LoadedFrom(uint64_t position) const {
    auto it = std::lower_bound(loadedAt_.begin(), loadedAt_.end(), position);
    for (size_t i = size_t(it - loadedAt_.begin()); i < loaded_.size(); ++i)
        if (present_[i]) return &loaded_[i];
    return nullptr;
}

THole* THoleList::Before(uint64_t position) const {
    const THole* a = LoadedBefore(position);
    auto it = added_.lower_bound(position);
    const THole* b = it == added_.begin() ? nullptr : std::prev(it)->second;
    if (!a) return const_cast<THole*>(b);
    if (!b) return const_cast<THole*>(a);
    return const_cast<THole*>(a->position > b->position ? a : b);
}

THole* THoleList::From(uint64_t position) const {
    const THole* a = LoadedFrom(position);
    auto it = added_.lower_bound(position);
    const THole* b = it == added_.end() ? nullptr : it->second;
    if (!a) return const_cast<THole*>(b);
    if (!b) return const_cast<THole*>(a);
    return const_cast<THole*>(a->position < b->position ? a : b);
}

void THoleList::FindAdjacent(uint32_t size, uint64_t position, THole** before,
                             THole** after) const {
    THole* pred = Before(position);
    THole* next = From(position);
    QMZ_ASSERT(!next || next->position != position);  // freeing a range that is already free
    QMZ_ASSERT(!pred || pred->End() <= position);
    QMZ_ASSERT(!next || next->position >= position + size);
    *before = pred && pred->End() == position ? pred : nullptr;
    *after = next && next->position == position + size ? next : nullptr;
}

THole* THoleList::BestFit(uint32_t size) const {
    const THole* loaded = nullptr;
    auto run = std::lower_bound(runs_.begin(), runs_.end(), size,
                                [](const TSizeRun& r, uint32_t s) { return r.size < s; });
    for (; run != runs_.end() && !loaded; ++run) {
        while (run->head < run->end && !present_[size_t(loadedBySize_[run->head])]) ++run->head;
        if (run->head < run->end) loaded = &loaded_[size_t(loadedBySize_[run->head])];
    }
    auto it = addedBySize_.lower_bound(std::make_pair(size, uint64_t{0}));
    const THole* added = it == addedBySize_.end() ? nullptr : it->second;
    if (!loaded) return const_cast<THole*>(added);
    if (!added) return const_cast<THole*>(loaded);
    const bool loadedFirst = loaded->size != added->size ? loaded->size < added->size : loaded->order < added->order;
    return const_cast<THole*>(loadedFirst ? loaded : added);
}

bool THoleList::Overlaps(uint64_t position, uint64_t size) const {
    const THole* next = From(position);
    if (next && next->position == position) return true;
    const THole* pred = Before(position);
    if (pred && pred->End() > position) return true;
    return next && next->position < position + size;
}

}  // namespace tlvx
