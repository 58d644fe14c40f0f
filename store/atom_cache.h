// The atom cache: recently used atoms' parts in memory, the least recently
// used going first, every change written straight through to the atom
// manager. As nothing in it is ever dirty, an item can be dropped at any
// time.
//
// Two bounds hold it: a number of atoms (the capacity) and a number of bytes
// (the budget: the atoms' data and links plus a fixed charge per item).
// Atoms differ in size by three orders of magnitude, so the budget is what
// keeps a process's memory in hand; a reader that walks a year of records
// sets it high and lifts the capacity, a writer keeps both small.
//
// Get hands out the cached arrays themselves (shared_array.h): an atom read
// from the cache is neither copied nor checked again.
//
// A lookup must cost little even with a million items, as a year of days of
// two hundred nodes makes: items sit in one array and are found through an
// open-addressed table of (handle, item) pairs, and a hit only marks its
// item used instead of moving it in a list (which would touch two more
// items' memory). The oldest item is dropped first unless it was used since
// it last came to the front: then it goes to the front again (a second
// chance), which keeps the order of least recent use for every item that is
// not in use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

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

    // Handle of the i-th item counting bucket by bucket (handle mod 2^bits,
    // then the rest of the handle); 0 beyond the last.
    uint32_t GetItemHandle(uint32_t i) const;
    uint32_t GetCount() const { return count_; }
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
    // itself and its place in the table.
    static uint64_t Weigh(const TAtomRec& rec);

private:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    struct TItem {
        TAtomRec rec;
        uint64_t weight = 0;
        // Order of coming to the front: newer is towards the front.
        uint32_t newer = kNone;
        uint32_t older = kNone;
        bool used = false;  // looked up since it last came to the front
    };
    struct TEntry {
        uint32_t handle;
        uint32_t item;  // kNone: an empty place
    };

    // The item of handle, a new empty one at the front when missing.
    uint32_t Lookup(uint32_t handle);
    // The table place of handle, or of the empty place where it would go.
    size_t Place(uint32_t handle) const;
    void GrowTable();
    void Reweigh(TItem& item);
    // Drops the oldest items while a bound is exceeded, never keep.
    void Trim(uint32_t keep);
    void Drop(uint32_t item);
    void Unlink(uint32_t item);
    void LinkAtFront(uint32_t item);

    TAtomManager& manager_;
    uint32_t bits_;
    uint32_t capacity_;
    uint64_t budget_;
    uint64_t bytes_ = 0;
    uint64_t lookups_ = 0;
    uint64_t hits_ = 0;
    // A deque: growing never moves the items, so a short-lived reader
    // touches only the memory its items need (fresh pages are what a
    // process that opens, reads a page's worth and exits pays most for).
    std::deque<TItem> items_;
    std::vector<uint32_t> freeItems_;
    std::vector<TEntry> table_;  // a power of two, at most half full
    uint32_t count_ = 0;
    uint32_t newest_ = kNone;
    uint32_t oldest_ = kNone;
};

}  // namespace tlvx
