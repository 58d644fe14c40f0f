// The in-memory list of holes of a storage file: one record per hole, found
// by position (for merging with neighbours) and by size (for best fit, the
// oldest hole first among holes of one size).
//
// A grown file holds a hundred thousand holes, every writable open loads
// them all and a request touches a few dozen. So the holes read at the open
// stay in one array sorted by position, with a size index of one array per
// size, and are never moved there: a loaded hole that is removed or changed
// is only marked as gone from the array, and holes added or changed since
// the load live in small ordered maps beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace tlvx {

struct THole {
    uint64_t position = 0;
    uint32_t size = 0;
    int32_t slot = -1;  // its entry in the hole tables
    uint64_t order = 0; // when it was (re)added, for the oldest-first rule
    uint64_t End() const { return position + size; }
};

class THoleList {
public:
    THoleList() = default;
    ~THoleList();
    THoleList(const THoleList&) = delete;
    THoleList& operator=(const THoleList&) = delete;

    // Replaces the contents with holes sorted by position and not
    // overlapping; each keeps its order (smaller is older), and holes added
    // later are newer than all of them.
    void Load(std::vector<THole> sorted);
    int32_t Count() const { return loadedCount_ + static_cast<int32_t>(added_.size()); }
    // Takes ownership of a new record (from new), or takes back one that
    // Remove detached; it becomes the newest of its size.
    void Add(THole* hole);
    // Detaches the record from both indexes, to be changed and added again.
    void Remove(THole* hole);
    // Removes the record and frees it.
    void Erase(THole* hole);
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
        auto a = added_.begin();
        for (size_t i = 0; i < loaded_.size(); ++i) {
            if (!present_[i]) continue;
            for (; a != added_.end() && a->first < loaded_[i].position; ++a) f(*a->second);
            f(loaded_[i]);
        }
        for (; a != added_.end(); ++a) f(*a->second);
    }

private:
    // The loaded hole's index, or -1 for a record from new.
    ptrdiff_t LoadedIndex(const THole* hole) const;
    // The nearest present loaded holes before and from position.
    const THole* LoadedBefore(uint64_t position) const;
    const THole* LoadedFrom(uint64_t position) const;
    THole* Before(uint64_t position) const;  // the last hole starting before position
    THole* From(uint64_t position) const;    // the first hole starting at or after position

    std::vector<THole> loaded_;           // never moves after Load
    std::vector<uint64_t> loadedAt_;      // loaded_[i]'s position at the load, ascending
    std::vector<uint8_t> present_;        // loaded_[i] is still in the indexes
    int32_t loadedCount_ = 0;
    // The loaded holes by size, the oldest first among one size: a run of
    // loadedBySize_ per size; the run's holes before its head are gone.
    struct TSizeRun {
        uint32_t size;
        uint32_t head;
        uint32_t end;
    };
    std::vector<int32_t> loadedBySize_;
    mutable std::vector<TSizeRun> runs_;
    std::map<uint64_t, THole*> added_;
    std::map<std::pair<uint32_t, uint64_t>, THole*> addedBySize_;  // by (size, order)
    uint64_t nextOrder_ = 0;
};

}  // namespace tlvx
