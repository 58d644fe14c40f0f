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
// What is read from the file is checked before it is trusted: a chain that
// runs outside the file, overlaps itself or has the wrong capacities fails
// the open with 207; a hole entry outside the file or overlapping a table or
// another hole is cleared at a writable open (its space is lost, nothing is
// handed out twice).
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

    // Reads the table chain (and, on a writable file, every hole).
    static Ref<TSpaceManager> Create(TOrvFile& file);
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

private:
    void Load();
    void LoadHoles();
    TOrvFile& File() const;

    void AddHole(uint32_t size, uint64_t position);
    void RemoveHole(THole* hole);
    void GrowHole(THole* hole, uint32_t n, bool atFront);
    void ShrinkHole(THole* hole, uint32_t n, bool atFront);
    uint64_t GrowFile(uint32_t size, bool round);
    void AddHoleTable();

    uint64_t SlotPosition(int32_t slot) const;
    void WriteSlot(int32_t slot, uint64_t position, uint32_t size);
    // Whether the slot may be taken: empty or bad CRC.
    bool SlotIsFree(int32_t slot);
    void WriteTableHeader(const TTableInfo& table);

    TOrvFile* file_;
    std::vector<int32_t> pool_;  // free slots below the scan mark
    int32_t scanMark_ = 0;
    THoleList holes_;
    TCriticalSection lock_;
    std::vector<TTableInfo> tables_;
    int32_t totalCapacity_ = 0;
};

}  // namespace tlvx
