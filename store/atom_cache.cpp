#include "store/atom_cache.h"

#include <algorithm>
#include <vector>

namespace tlvx {

namespace {

// A list node, a table node and the table's bucket slot beside the record.
constexpr uint64_t kItemOverhead = 64;

}  // namespace

TAtomCache::TAtomCache(TAtomManager& manager, uint32_t bucketBits, uint32_t capacity, uint64_t budget)
    : manager_(manager), bits_(bucketBits), capacity_(capacity), budget_(budget) {}

uint64_t TAtomCache::Weigh(const TAtomRec& rec) {
    return sizeof(TItem) + kItemOverhead + rec.data.MemoryBytes() + rec.links.MemoryBytes();
}

uint32_t TAtomCache::GetItemHandle(uint32_t i) const {
    if (i >= items_.size()) return 0;
    const uint32_t mask = (1u << bits_) - 1;
    std::vector<uint32_t> handles;
    handles.reserve(items_.size());
    for (const auto& [h, it] : items_) handles.push_back(h);
    std::sort(handles.begin(), handles.end(), [&](uint32_t a, uint32_t b) {
        return (a & mask) != (b & mask) ? (a & mask) < (b & mask) : (a >> bits_) < (b >> bits_);
    });
    return handles[i];
}

void TAtomCache::Clear() {
    items_.clear();
    lru_.clear();
    bytes_ = 0;
}

void TAtomCache::Drop(List::iterator it) {
    bytes_ -= it->weight;
    items_.erase(it->rec.handle);
    lru_.erase(it);
}

void TAtomCache::Remove(uint32_t handle) {
    auto it = items_.find(handle);
    if (it != items_.end()) Drop(it->second);
}

TAtomCache::TItem& TAtomCache::Lookup(uint32_t handle) {
    ++lookups_;
    auto it = items_.find(handle);
    if (it != items_.end()) {
        ++hits_;
        if (it->second != lru_.begin()) lru_.splice(lru_.begin(), lru_, it->second);
        return lru_.front();
    }
    lru_.emplace_front();
    TItem& item = lru_.front();
    item.rec.handle = handle;
    items_.emplace(handle, lru_.begin());
    Reweigh(item);
    return item;
}

void TAtomCache::Reweigh(TItem& item) {
    const uint64_t w = Weigh(item.rec);
    bytes_ = bytes_ - item.weight + w;
    item.weight = w;
}

void TAtomCache::Trim() {
    while ((items_.size() > capacity_ || bytes_ > budget_) && lru_.size() > 1) Drop(std::prev(lru_.end()));
}

void TAtomCache::Get(uint32_t handle, uint8_t parts, TAtomData& data) {
    TItem& item = Lookup(handle);
    TAtomRec& rec = item.rec;
    if (parts & ~rec.loaded) {
        try {
            manager_.LoadImage(rec, parts);
        } catch (...) {
            // A free or unreadable entry is never kept.
            Remove(handle);
            throw;
        }
        Reweigh(item);
    }
    if (parts & kPartCounters) {
        data.linkCount = rec.linkCount;
        data.externalCount = rec.externalCount;
    }
    if (parts & kPartLinks) {
        data.links = rec.links;
        data.linkWidth = rec.linkWidth;
    }
    if (parts & kPartData) data.data = rec.data;
    data.present = parts;
    Trim();
}

void TAtomCache::Put(uint32_t handle, const TAtomData& data, uint8_t parts) {
    TItem& item = Lookup(handle);
    TAtomRec& rec = item.rec;
    const uint8_t take = uint8_t((parts | (data.present & ~rec.loaded)) & data.present);
    if (take & kPartCounters) {
        rec.linkCount = data.linkCount;
        rec.externalCount = data.externalCount;
    }
    if (take & kPartLinks) {
        rec.links = data.links;
        rec.linkWidth = data.linkWidth;
    }
    if (take & kPartData) rec.data = data.data;
    rec.loaded |= take;
    Reweigh(item);
    try {
        manager_.SaveImage(rec, parts);
    } catch (...) {
        // The item may no longer match the file.
        Remove(handle);
        throw;
    }
    Trim();
}

}  // namespace tlvx
