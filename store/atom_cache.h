// The atom cache: recently used atoms' parts in memory, least recently used
// first out, every change written straight through to the atom manager. As
// nothing in it is ever dirty, an item can be dropped at any time.
#pragma once

#include <cstdint>
#include <list>
#include <unordered_map>

#include "store/atom_manager.h"
#include "store/atom_rec.h"

namespace tlvx {

// The parts of an atom handed between the cache and the atom images.
struct TAtomData {
    TByteArray data;
    uint32_t linkCount = 0;
    uint32_t externalCount = 0;
    TAtomHandleArray links;
    uint8_t linkWidth = 1;
    uint8_t present = 0;  // kPart* bits
};

class TAtomCache {
public:
    // The store uses 6 bucket bits and room for 8000 atoms.
    TAtomCache(TAtomManager& manager, uint32_t bucketBits, uint32_t capacity);

    // Handle of the i-th item counting bucket by bucket; 0 beyond the last.
    uint32_t GetItemHandle(uint32_t i) const;
    uint32_t GetCount() const { return uint32_t(items_.size()); }
    uint32_t GetCapacity() const { return capacity_; }
    // Takes effect at the next lookup.
    void SetCapacity(uint32_t n) { capacity_ = n; }
    void Clear();
    void Remove(uint32_t handle);
    void Get(uint32_t handle, uint8_t parts, TAtomData& data);
    void Put(uint32_t handle, const TAtomData& data, uint8_t parts);
    void GetStats(uint64_t& lookups, uint64_t& hits) const {
        lookups = lookups_;
        hits = hits_;
    }

private:
    using List = std::list<TAtomRec>;  // newest first
    TAtomRec& Lookup(uint32_t handle);

    TAtomManager& manager_;
    uint32_t bits_;
    uint32_t capacity_;
    uint64_t lookups_ = 0;
    uint64_t hits_ = 0;
    List lru_;
    std::unordered_map<uint32_t, List::iterator> items_;
};

}  // namespace tlvx
