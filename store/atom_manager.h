// The atom tables of a storage file: one 32-byte entry per handle in a chain
// of tables, small atoms inline in their entry, larger ones in an external
// body from the free-space allocator. Hands out and takes back handles and
// loads and saves the parts of an atom, checking every stored CRC.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/lock.h"
#include "store/atom_file.h"
#include "store/atom_rec.h"
#include "store/read_blocks.h"

namespace tlvx {

class TAtomManager {
public:
    // Follows the table chain of the header, or takes it from the file's
    // chain summary; a chain that leaves the file or has capacities out of
    // sequence is refused with 207.
    explicit TAtomManager(IAtomFile& file);
    TAtomManager(const TAtomManager&) = delete;
    TAtomManager& operator=(const TAtomManager&) = delete;

    void ReadEntry(uint32_t handle, TEntryBytes& entry);
    void WriteEntry(uint32_t handle, TEntryBytes& entry);
    // Writes the entry of an empty new atom; handle 0 allocates one.
    uint32_t CreateAtom(uint32_t handle);
    // Reserves a handle (nothing is written unless a table is appended).
    uint32_t AllocHandle();
    bool AtomExists(uint32_t handle);
    void DeleteAtom(uint32_t handle);
    void ReleaseHandle(uint32_t handle);
    bool IsValidHandle(uint32_t handle) const;
    void LoadImage(TAtomRec& rec, uint8_t parts);
    void SaveImage(TAtomRec& rec, uint8_t parts);

    uint32_t TotalCapacity() const { return total_; }
    size_t TableCount() const { return tables_.size(); }
    // Aligned size of the body an entry points to (0 for inline or free).
    uint32_t BodyAllocation(const TEntryBytes& entry) const;

private:
    struct Table {
        uint64_t position;
        uint32_t first;     // number of its first entry
        uint32_t capacity;
    };

    uint64_t EntryPosition(uint32_t handle) const;
    bool LoadChain(const std::vector<uint64_t>& known);
    std::vector<uint64_t> Positions() const;
    void AppendTable();
    // The first handle of the run of free entries that ends the table
    // (total_ + 1 when the last entry is in use).
    uint32_t FindFreeTail();
    // The entry is in use, or damaged: not to be handed out.
    bool EntryInUse(uint32_t handle);
    [[noreturn]] void EntryDamaged(uint32_t handle);
    [[noreturn]] void BodyDamaged(uint32_t handle);
    void MarkDamaged();

    // Entries and small bodies of a read-only file are read through blocks.
    void Read(void* buffer, uint32_t count, uint64_t position);

    IAtomFile& file_;
    std::unique_ptr<TBlockReader> blocks_;  // read-only files only
    TCriticalSection lock_;
    std::vector<uint32_t> pool_;
    uint32_t scanMark_ = 0;
    // The free entries that end the table (tailStart_ to the last), found
    // once per session; handed out before the scan from the first entry.
    bool tailSearched_ = false;
    uint32_t tailStart_ = 0;
    uint32_t tailNext_ = 0;
    std::vector<Table> tables_;
    uint32_t total_ = 0;
};

// Entry helpers, shared with the checks of the tests.
bool EntryIsFree(const TEntryBytes& entry);
bool EntryCrcValid(const TEntryBytes& entry);

}  // namespace tlvx
