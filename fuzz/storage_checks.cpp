#include "fuzz/storage_checks.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "platform/byte_codec.h"
#include "store/crc32.h"

namespace tlvx {

namespace {

constexpr uint64_t kHeaderSize = 128;
constexpr uint64_t kTableHead = 16;
constexpr uint64_t kAtomEntry = 32;
constexpr uint64_t kHoleEntry = 16;
constexpr int kMaxTables = 64;

uint8_t* At(std::string& f, uint64_t pos) { return reinterpret_cast<uint8_t*>(f.data()) + pos; }


bool Inside(const std::string& f, uint64_t pos, uint64_t bytes) {
    return pos >= kHeaderSize && pos <= f.size() && bytes <= f.size() - pos;
}

void RewriteAtomEntry(std::string& f, uint8_t* e) {
    const uint8_t flags = e[12];
    if (!(flags & 0x80)) {
        const uint64_t width = ((flags >> 5) & 3) + 1;
        const uint64_t size = (GetU32(e + 12) >> 8) * width + GetU32(e + 16);
        const uint64_t pos = GetU64(e + 24);
        if (pos != 0 && Inside(f, pos, size)) PutU32(e + 20, Crc32(At(f, pos), size));
    }
    PutU32(e, Crc32(e + 4, 28));
}

// Follows a chain of tables from the header field at link, calling entry on
// each slot; stops at the first table that is not where it should be.
template <class Entry>
void WalkChain(std::string& f, uint64_t link, uint64_t entrySize, uint32_t (*capacity)(size_t),
               Entry entry) {
    std::set<uint64_t> seen;
    uint64_t pos = GetU64(At(f, link));
    for (size_t k = 0; k < kMaxTables && pos != 0 && seen.insert(pos).second; ++k) {
        const uint32_t cap = capacity(k);
        if (!Inside(f, pos, kTableHead + entrySize * cap)) return;
        for (uint32_t i = 0; i < cap; ++i) entry(At(f, pos + kTableHead + entrySize * i));
        pos = GetU64(At(f, pos));
    }
}

}  // namespace

void RewriteStorageChecks(std::string& f) {
    if (f.size() < kHeaderSize) return;
    // Bodies first (their CRCs sit in the entries), then the entries.
    WalkChain(f, 24, kAtomEntry, [](size_t k) { return 256u << std::min<size_t>(k, 7); },
              [&](uint8_t* e) { RewriteAtomEntry(f, e); });
    WalkChain(f, 16, kHoleEntry, [](size_t k) { return uint32_t(256 * (k + 1)); },
              [](uint8_t* e) { PutU32(e, Crc32(e + 4, 12)); });
    PutU32(At(f, 124), Crc32(At(f, 0), 124));
}

}  // namespace tlvx
