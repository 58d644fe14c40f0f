#include "store/atom_cache.h"

#include <algorithm>
#include <vector>

namespace tlvx {

TAtomCache::TAtomCache(TAtomManager& manager, uint32_t bucketBits, uint32_t capacity)
    : manager_(manager), bits_(bucketBits), capacity_(capacity) {}

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
}

void TAtomCache::Remove(uint32_t handle) {
    auto it = items_.find(handle);
    if (it == items_.end()) return;
    lru_.erase(it->second);
    items_.erase(it);
}

TAtomRec& TAtomCache::Lookup(uint32_t handle) {
    ++lookups_;
    auto it = items_.find(handle);
    if (it != items_.end()) {
        ++hits_;
        if (it->second != lru_.begin()) lru_.splice(lru_.begin(), lru_, it->second);
    } else {
        lru_.emplace_front();
        lru_.front().handle = handle;
        items_.emplace(handle, lru_.begin());
    }
    // Never drops the item just looked up, which is the newest.
    while (items_.size() > capacity_ && lru_.size() > 1) {
        items_.erase(lru_.back().handle);
        lru_.pop_back();
    }
    return lru_.front();
}

void TAtomCache::Get(uint32_t handle, uint8_t parts, TAtomData& data) {
    TAtomRec& rec = Lookup(handle);
    if (parts & ~rec.loaded) {
        try {
            manager_.LoadImage(rec, parts);
        } catch (...) {
            // A free or unreadable entry is never kept.
            Remove(handle);
            throw;
        }
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
}

void TAtomCache::Put(uint32_t handle, const TAtomData& data, uint8_t parts) {
    TAtomRec& rec = Lookup(handle);
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
    try {
        manager_.SaveImage(rec, parts);
    } catch (...) {
        // The item may no longer match the file.
        Remove(handle);
        throw;
    }
}

}  // namespace tlvx
