// The atom cache: recently used atoms' parts in memory, least recently used
// first out, every change written straight through to the atom manager. As
// nothing in it is ever dirty, an item can be dropped at any time.
//
// Two bounds hold it: a number of atoms (the capacity) and a number of bytes
// (the budget: the atoms' data and links plus a fixed charge per item).
// Atoms differ in size by three orders of magnitude, so the budget is what
// keeps a process's memory in hand; a reader that walks a year of records
// sets it high and lifts the capacity, a writer keeps both small.
//
// Get hands out the cached arrays themselves (shared_array.h): an atom read
// from the cache is neither copied nor checked again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>

#include "store/atom_manager.h"
#include "store/atom_rec.h"

namespace tlvx {

// The parts of an atom handed between the cache and the atom images.
struct TAtomData {
    TSharedBytes data;
    uint32_t linkCount = 0;
    uint32_t externalCount = 0;
    TSharedLinks links;
    uint8_t linkWidth = 1;
    uint8_t present = 0;  // kPart* bits
};

// The store's bounds unless its open says otherwise: 8000 atoms, 4 MiB.
inline constexpr uint32_t kDefaultCacheCapacity = 8000;
inline constexpr uint64_t kDefaultCacheBudget = uint64_t(4) << 20;
// A capacity that never binds: the budget alone bounds the cache.
inline constexpr uint32_t kUnboundedCacheCapacity = 0xFFFFFFFFu;
// The budget of a reader that walks long periods of many records (the report
// program): what one request reads should stay cached to its end.
inline constexpr uint64_t kReaderCacheBudget = uint64_t(128) << 20;

class TAtomCache {
public:
    TAtomCache(TAtomManager& manager, uint32_t bucketBits, uint32_t capacity,
               uint64_t budget = kDefaultCacheBudget);

    // Handle of the i-th item counting bucket by bucket; 0 beyond the last.
    uint32_t GetItemHandle(uint32_t i) const;
    uint32_t GetCount() const { return uint32_t(items_.size()); }
    uint32_t GetCapacity() const { return capacity_; }
    // Takes effect at the next lookup.
    void SetCapacity(uint32_t n) { capacity_ = n; }
    uint64_t GetBudget() const { return budget_; }
    // Takes effect at the next lookup.
    void SetBudget(uint64_t bytes) { budget_ = bytes; }
    // Bytes the items are charged with now.
    uint64_t GetBytes() const { return bytes_; }
    void Clear();
    void Remove(uint32_t handle);
    void Get(uint32_t handle, uint8_t parts, TAtomData& data);
    void Put(uint32_t handle, const TAtomData& data, uint8_t parts);
    void GetStats(uint64_t& lookups, uint64_t& hits) const {
        lookups = lookups_;
        hits = hits_;
    }

    // What one item is charged: its arrays and a fixed share for the item
    // itself and its place in the list and the table.
    static uint64_t Weigh(const TAtomRec& rec);

private:
    struct TItem {
        TAtomRec rec;
        uint64_t weight = 0;
    };
    using List = std::list<TItem>;  // newest first

    // The item of handle, made the newest (a new empty one when missing).
    TItem& Lookup(uint32_t handle);
    void Reweigh(TItem& item);
    // Drops the oldest items while a bound is exceeded, never the newest.
    void Trim();
    void Drop(List::iterator it);

    TAtomManager& manager_;
    uint32_t bits_;
    uint32_t capacity_;
    uint64_t budget_;
    uint64_t bytes_ = 0;
    uint64_t lookups_ = 0;
    uint64_t hits_ = 0;
    List lru_;
    std::unordered_map<uint32_t, List::iterator> items_;
};

}  // namespace tlvx
