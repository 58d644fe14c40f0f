// TSpaceManager: the free-space allocator of a storage file.
//
// Freed ranges (holes) are kept in hole tables inside the file, chained from
// header offset 16:
//
//   table:  u64 next table (0 = last), u32 capacity, u32 0, then entries
//   entry:  u32 CRC of entry bytes 4..15, u64 position, u32 size
//
// An empty slot is 16 zero bytes. Slots are numbered across the chain; the
// k-th table (from 0) holds 256 * (k + 1) entries. Allocation is best fit,
// the oldest hole first among equal sizes; a freed range merges with its
// neighbours, and freeing the range at the end of the file shortens it.
//
// A writable open reads the table chain and the holes of the newest slots
// only (the window): those of the last table, or only the window's size of
// slots before the end of the slots in use when the last table holds more,
// and every slot after them (at least the window's size of slots). A grown
// file holds a hundred thousand holes, nearly all of them slivers of a few
// bytes left by best fit that no allocation can use, while a request
// allocates a few hundred bytes; the newest slots hold the old images of
// the atoms just rewritten (the holes worth reusing) and the free slots,
// which fill from the first table to the last. So an open loads at most the
// window's size of holes whatever the number of holes (the free slots after
// them, up to a table's worth, are read but hold nothing to load; where the
// slots in use end is found by probing a few slots of the last table when
// it holds more than the window). Holes outside the window stay on disk as
// they are, untouched by the session: their space is not handed out, a
// range freed beside one of them becomes a hole of its own (adjacent holes
// are harmless, and a later session that loads both merges neither), and
// their slots are not reused. A file of up to 768 slots (two tables) is
// read whole, as is every file whose open has just rolled back an
// interrupted commit (the repair road).
//
// The table chain comes from the file's chain summary when it has one
// (store/chain_summary.h): the summarised tables are checked in memory and
// only the last one's header is read, for any table appended after it. A
// writable open that checks the file in full walks the chain from the header.
//
// What is read from the file is checked before it is trusted: a chain that
// runs outside the file, overlaps itself or has the wrong capacities fails
// the open with 207; a hole entry of the window outside the file or
// overlapping a table, the chain summary or another hole of the window is
// cleared at a writable open (its space is lost, nothing is handed out
// twice).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/lock.h"
#include "store/hole_list.h"
#include "store/internal_object.h"
#include "store/space_allocator.h"

namespace tlvx {

class TOrvFile;

class TSpaceManager : public ISpaceAllocator, public IDisconnectInternalObject {
public:
    static constexpr uint32_t kTableHeaderSize = 16;
    static constexpr uint32_t kEntrySize = 16;

    // The window's size when the open asks for none.
    static constexpr int32_t kDefaultWindowSlots = 1024;
    static constexpr int32_t kAllSlots = INT32_MAX;

    // Reads the table chain (and, on a writable file, the holes of the last
    // windowSlots slots or more; 0 means kDefaultWindowSlots).
    static Ref<TSpaceManager> Create(TOrvFile& file, int32_t windowSlots = 0);
    explicit TSpaceManager(TOrvFile& file);

    uint64_t Alloc(uint32_t size) override { return Alloc(size, true); }
    // round: in write-through mode, growing the file goes to a page boundary
    // and the slack becomes a hole (not for the hole tables themselves).
    uint64_t Alloc(uint32_t size, bool round);
    void Free(uint32_t size, uint64_t position) override;
    void Disconnect() override;

    // Introspection for checks and tests.
    const THoleList& Holes() const { return holes_; }
    struct TTableInfo {
        uint64_t position;
        uint32_t capacity;
        int32_t firstSlot;
        uint64_t next;
    };
    const std::vector<TTableInfo>& Tables() const { return tables_; }
    int32_t TotalCapacity() const { return totalCapacity_; }
    int32_t ScanMark() const { return scanMark_; }
    // The first slot whose hole was read.
    int32_t WindowStart() const { return windowStart_; }

private:
    void Load(int32_t windowSlots);
    // Follows the chain from the last of the known tables (from the header
    // when there are none); false when the known ones do not fit the file.
    bool LoadChain(const std::vector<uint64_t>& known);
    bool SlotInUse(int32_t slot);
    // The slot after the last one in use from a slot known to be in use
    // (roughly: see the definition).
    int32_t UsedSlotsEnd(int32_t used);
    // Reads the window's holes, keeps those that are sound and clears the
    // slots of the others.
    void LoadHoles();
    struct THoleEntry {
        uint64_t position;
        uint32_t size;
        int32_t slot;
    };
    struct TWindowEntries {
        std::vector<THoleEntry> found;  // in slot order
        std::vector<int32_t> rejected;  // slots cleared whatever the other holes
    };
    TWindowEntries ReadWindowEntries();
    std::vector<THole> AcceptHoles(const std::vector<THoleEntry>& found, std::vector<int32_t>& cleared);
    void ClearSlots(std::vector<int32_t> cleared);
    TOrvFile& File() const;

    void AddHole(uint32_t size, uint64_t position);
    void RemoveHole(THole* hole);
    void GrowHole(THole* hole, uint32_t n, bool atFront);
    void ShrinkHole(THole* hole, uint32_t n, bool atFront);
    uint64_t GrowFile(uint32_t size, bool round);
    void AddHoleTable();

    uint64_t SlotPosition(int32_t slot) const;
    void WriteSlot(int32_t slot, uint64_t position, uint32_t size);
    // Whether the slot may be taken: empty or bad CRC (slots of the window).
    bool SlotIsFree(int32_t slot) const;
    void WriteTableHeader(const TTableInfo& table);

    TOrvFile* file_;
    std::vector<int32_t> pool_;  // free slots below the scan mark
    int32_t scanMark_ = 0;
    int32_t windowStart_ = 0;
    std::vector<uint8_t> slotUsed_;  // the window's slots, from windowStart_
    THoleList holes_;
    TCriticalSection lock_;
    std::vector<TTableInfo> tables_;
    int32_t totalCapacity_ = 0;
};

}  // namespace tlvx
