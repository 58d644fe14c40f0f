// A few pages of a file as the disk holds them, kept so that the small reads
// of a session (atom entries and bodies, a few dozen bytes each) cost no
// system call when they fall on a page read a moment ago.
//
// The cache is small and reuses its least recently used slot. Every page of
// memory a short-lived process touches for the first time costs a page fault,
// dearer than reading the page again: a cache of every page read made a hit
// on a grown file touch a megabyte of fresh memory for pages it read once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tlvx {

class TCleanPages {
public:
    static constexpr size_t kSlots = 32;
    static constexpr size_t kPageSize = 4096;

    // The cached copy of page index, or nullptr.
    const uint8_t* Find(uint64_t index);
    // The slot that now holds page index, for the caller to fill: the least
    // recently used one.
    uint8_t* Take(uint64_t index);
    void Drop(uint64_t index);
    // Forgets every page from index on.
    void DropFrom(uint64_t index);
    void Clear();

private:
    struct TSlot {
        uint64_t index = 0;
        uint64_t lastUse = 0;  // 0: empty
    };
    uint8_t* SlotData(size_t slot) { return data_.get() + slot * kPageSize; }

    // Allocated at the first use and left uninitialised, so that only the
    // slots in use are ever touched.
    std::unique_ptr<uint8_t[]> data_;
    std::array<TSlot, kSlots> slots_{};
    uint64_t tick_ = 0;
};

}  // namespace tlvx
