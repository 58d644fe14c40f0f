#include "store/atom_cache.h"

#include <algorithm>

namespace tlvx {

namespace {

// Handles come in arithmetic runs (a node's day atoms are made one a day,
// every node's in the same order), and a multiplicative hash maps such runs
// onto a few lattices of places where linear probing meets long clusters.
// The finaliser of MurmurHash3 spreads every bit of the handle over the
// whole word, so runs of any stride fall apart.
size_t Home(uint32_t handle, size_t mask) {
    uint32_t h = handle;
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h & mask;
}

}  // namespace

TAtomCache::TAtomCache(TAtomManager& manager, uint32_t bucketBits, uint32_t capacity, uint64_t budget)
    : manager_(manager), bits_(bucketBits), capacity_(capacity), budget_(budget) {
    table_.assign(64, TEntry{0, kNone});
}

uint64_t TAtomCache::Weigh(const TAtomRec& rec) {
    return sizeof(TItem) + 2 * sizeof(TEntry) + rec.data.MemoryBytes() + rec.links.MemoryBytes();
}

uint32_t TAtomCache::GetItemHandle(uint32_t i) const {
    if (i >= count_) return 0;
    const uint32_t mask = (1u << bits_) - 1;
    std::vector<uint32_t> handles;
    handles.reserve(count_);
    for (const TEntry& e : table_)
        if (e.item != kNone) handles.push_back(e.handle);
    std::sort(handles.begin(), handles.end(), [&](uint32_t a, uint32_t b) {
        return (a & mask) != (b & mask) ? (a & mask) < (b & mask) : (a >> bits_) < (b >> bits_);
    });
    return handles[i];
}

size_t TAtomCache::Place(uint32_t handle) const {
    const size_t mask = table_.size() - 1;
    size_t at = Home(handle, mask);
    while (table_[at].item != kNone && table_[at].handle != handle) at = (at + 1) & mask;
    return at;
}

void TAtomCache::GrowTable() {
    std::vector<TEntry> old(table_.size() * 2, TEntry{0, kNone});
    old.swap(table_);
    for (const TEntry& e : old)
        if (e.item != kNone) table_[Place(e.handle)] = e;
}

void TAtomCache::Unlink(uint32_t i) {
    TItem& item = items_[i];
    if (item.newer != kNone) items_[item.newer].older = item.older;
    else newest_ = item.older;
    if (item.older != kNone) items_[item.older].newer = item.newer;
    else oldest_ = item.newer;
    item.newer = item.older = kNone;
}

void TAtomCache::LinkAtFront(uint32_t i) {
    TItem& item = items_[i];
    item.newer = kNone;
    item.older = newest_;
    if (newest_ != kNone) items_[newest_].newer = i;
    newest_ = i;
    if (oldest_ == kNone) oldest_ = i;
}

void TAtomCache::Clear() {
    items_.clear();
    freeItems_.clear();
    std::fill(table_.begin(), table_.end(), TEntry{0, kNone});
    count_ = 0;
    bytes_ = 0;
    newest_ = oldest_ = kNone;
}

void TAtomCache::Drop(uint32_t i) {
    TItem& item = items_[i];
    bytes_ -= item.weight;
    // Out of the table, closing the gap behind it (linear probing keeps no
    // marks for removed entries).
    const size_t mask = table_.size() - 1;
    size_t hole = Place(item.rec.handle);
    for (size_t next = (hole + 1) & mask; table_[next].item != kNone; next = (next + 1) & mask) {
        const size_t home = Home(table_[next].handle, mask);
        // The entry may move back into the hole unless its home lies after
        // the hole on the way round to it.
        const bool homeBetween = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
        if (!homeBetween) {
            table_[hole] = table_[next];
            hole = next;
        }
    }
    table_[hole].item = kNone;
    Unlink(i);
    item.rec = TAtomRec{};
    item.weight = 0;
    item.used = false;
    freeItems_.push_back(i);
    --count_;
}

void TAtomCache::Remove(uint32_t handle) {
    const TEntry& e = table_[Place(handle)];
    if (e.item != kNone) Drop(e.item);
}

uint32_t TAtomCache::Lookup(uint32_t handle) {
    ++lookups_;
    size_t at = Place(handle);
    if (table_[at].item != kNone) {
        ++hits_;
        items_[table_[at].item].used = true;
        return table_[at].item;
    }
    uint32_t i;
    if (!freeItems_.empty()) {
        i = freeItems_.back();
        freeItems_.pop_back();
    } else {
        i = uint32_t(items_.size());
        items_.emplace_back();
    }
    items_[i].rec.handle = handle;
    LinkAtFront(i);
    if (size_t(count_ + 1) * 2 > table_.size()) {
        GrowTable();
        at = Place(handle);
    }
    table_[at] = TEntry{handle, i};
    ++count_;
    Reweigh(items_[i]);
    return i;
}

void TAtomCache::Reweigh(TItem& item) {
    const uint64_t w = Weigh(item.rec);
    bytes_ = bytes_ - item.weight + w;
    item.weight = w;
}

void TAtomCache::Trim(uint32_t keep) {
    while ((count_ > capacity_ || bytes_ > budget_) && count_ > 1) {
        const uint32_t i = oldest_;
        TItem& item = items_[i];
        if (i == keep || item.used) {
            // Used since it came to the front (or in use right now): to the
            // front again. Every other item loses its mark on the way, so
            // the loop ends.
            item.used = false;
            Unlink(i);
            LinkAtFront(i);
            continue;
        }
        Drop(i);
    }
}

void TAtomCache::Get(uint32_t handle, uint8_t parts, TAtomData& data) {
    const uint32_t i = Lookup(handle);
    TItem& item = items_[i];
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
    Trim(i);
}

void TAtomCache::Put(uint32_t handle, const TAtomData& data, uint8_t parts) {
    const uint32_t i = Lookup(handle);
    TItem& item = items_[i];
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
    Trim(i);
}

}  // namespace tlvx
