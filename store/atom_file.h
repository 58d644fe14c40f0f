// What the atom manager and the atom store need from the storage file below
// them: positioned I/O, the few header fields they read and change, the
// free-space allocator and the flush. The storage file implements it; tests
// also run the store over an in-memory file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tlvx {

class IAtomFile {
public:
    virtual ~IAtomFile() = default;

    // Exactly count bytes at position (code 9 when short).
    virtual void ReadAt(void* buffer, uint32_t count, uint64_t position) = 0;
    virtual void WriteAt(const void* buffer, uint32_t count, uint64_t position) = 0;
    virtual void Fill(uint32_t count, uint8_t value, uint64_t position) = 0;
    // Code 3 "Access is denied" on a file opened read-only.
    virtual void CheckWritable() const = 0;
    virtual bool IsReadOnly() const = 0;
    // The file was created by this open.
    virtual bool IsNew() const = 0;
    virtual const std::string& FullPath() const = 0;

    virtual uint64_t LogicalSize() const = 0;
    virtual uint8_t AtomSizeAlign() const = 0;
    virtual uint64_t AtomTablePos() const = 0;
    virtual void SetAtomTablePos(uint64_t position) = 0;
    virtual uint16_t Flags() const = 0;
    virtual void SetFlags(uint16_t flags) = 0;

    // The free-space allocator of the file.
    virtual uint64_t Alloc(uint32_t size) = 0;
    virtual void Free(uint32_t size, uint64_t position) = 0;

    // Makes everything written so far durable.
    virtual void Flush() = 0;

    // The atom tables as the file's chain summary gives them, in chain order
    // (store/chain_summary.h); null when there is none to trust.
    virtual const std::vector<uint64_t>* SummarizedAtomTables() const { return nullptr; }
    // The whole atom-table chain, told at open and after each appended table,
    // so that the next commit keeps the summary current.
    virtual void AtomTablesAre(const std::vector<uint64_t>& /*positions*/) {}
};

// Header flag bit set when a stored check fails.
inline constexpr uint16_t kAtomFileDamagedFlag = 2;

}  // namespace tlvx
