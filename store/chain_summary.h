// The chain summary: where every hole table and every atom table of a storage
// file lies, in one block, so that an open reads a fixed number of pages
// however long the chains are. Without it an open reads the header of every
// table to find the next (a file of a million hits has over a hundred).
//
// The block, little-endian, anywhere in the file (allocated from the free
// space like an atom body), found through header bytes 96..107:
//
//   0   8  magic "TLVXCHN1"
//   8   4  u32 capacity: positions the block has room for
//  12   4  u32 number of hole tables H
//  16   4  u32 number of atom tables A
//  20   4  u32 CRC-32 (uninverted, from 0) of bytes 0..19 and the positions
//  24  8n  u64 positions: the H hole tables, then the A atom tables, each
//          chain in its order; then zeros up to the capacity
//
// The tables' own links stay the truth. The summary is a prefix of the
// chains: tables are never moved or freed, so a summary stays true when a
// program that does not know it appends a table (and leaves the header bytes
// as they are). An open therefore reads the last summarised table of each
// chain it uses and follows its link onwards (normally there is none). An
// open that checks the file in full (after rolling back an interrupted
// commit, and in tests) walks the chains from the header instead; the walked
// chains win over a summary that disagrees. A summary that fails its checks
// is ignored, its block left in place (it may overlap anything).
//
// The commit that appends a table rewrites the summary before its sync (in
// place while it has room, else in a new block, the old one freed); a file
// without one gains it at its first commit once its chains hold
// kChainSummaryMinTables tables (fewer cost no more to walk than the summary
// costs to read: the first atom table shares the header's page).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tlvx {

inline constexpr uint32_t kChainSummaryHeaderBytes = 24;
inline constexpr size_t kChainSummaryMinTables = 5;

struct TChainSummary {
    std::vector<uint64_t> holeTables;
    std::vector<uint64_t> atomTables;
    friend bool operator==(const TChainSummary&, const TChainSummary&) = default;

    size_t TableCount() const { return holeTables.size() + atomTables.size(); }
};

// Bytes of a block with room for capacity positions.
inline uint64_t ChainSummaryBytes(uint32_t capacity) {
    return kChainSummaryHeaderBytes + 8ull * capacity;
}

// The block for summary with room for capacity positions (at least its own).
std::vector<uint8_t> EncodeChainSummary(const TChainSummary& summary, uint32_t capacity);

// The summary in a block of size bytes; nothing when the magic, the counts
// or the CRC do not hold, or the capacity does not match the size.
std::optional<TChainSummary> DecodeChainSummary(const uint8_t* bytes, size_t size);

}  // namespace tlvx
