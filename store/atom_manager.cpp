#include "store/atom_manager.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_codec.h"
#include "store/crc32.h"
#include "store/errors.h"

namespace tlvx {

namespace {

constexpr uint32_t kEntrySize = 32;
constexpr uint32_t kTableHeader = 16;
constexpr uint32_t kInlineRoom = 19;
constexpr uint8_t kInlineFlag = 0x80;

uint32_t CapacityOfTable(size_t place) { return 256u << std::min<size_t>(place, 7); }

void PackLinks(const TAtomHandleArray& links, uint8_t width, uint8_t* out) {
    for (uint32_t link : links)
        for (uint8_t b = 0; b < width; ++b) *out++ = uint8_t(link >> (8 * b));
}

uint32_t UnpackLink(const uint8_t* p, uint8_t width) {
    uint32_t v = 0;
    for (uint8_t b = 0; b < width; ++b) v |= uint32_t(p[b]) << (8 * b);
    return v;
}

uint64_t AlignUp(uint64_t size, uint8_t align) {
    uint64_t a = align ? align : 1;
    return (size + a - 1) / a * a;
}

}  // namespace

bool EntryIsFree(const TEntryBytes& e) { return e[12] == 0 && GetU64(&e[24]) == 0; }

bool EntryCrcValid(const TEntryBytes& e) { return Crc32(&e[4], 28) == GetU32(&e[0]); }

bool EntryIsZero(const TEntryBytes& e) {
    return std::all_of(e.begin(), e.end(), [](uint8_t b) { return b == 0; });
}

// 128 KiB of a read-only file's blocks: enough for the neighbours of the
// atoms being opened, which are read next. Not more: a report process
// lives for one page, and every fresh page of memory it touches costs it
// more than the few extra reads a larger ring would save.
constexpr uint32_t kReadOnlyBlocks = 32;

TAtomManager::TAtomManager(IAtomFile& file) : file_(file) {
    if (file_.IsReadOnly()) blocks_ = std::make_unique<TBlockReader>(file_, kReadOnlyBlocks);
    const std::vector<uint64_t>* known = file_.SummarizedAtomTables();
    if (!known || known->empty() || known->front() != file_.AtomTablePos() || !LoadChain(*known)) {
        tables_.clear();
        total_ = 0;
        LoadChain({});
    }
    file_.AtomTablesAre(Positions());
}

// The summarised tables are checked in memory; the last one is read for its
// link to any table appended after it, and the chain followed from there.
bool TAtomManager::LoadChain(const std::vector<uint64_t>& known) {
    const uint64_t end = file_.LogicalSize();
    auto fits = [&](uint64_t pos, uint32_t capacity) {
        const uint64_t bytes = kTableHeader + uint64_t(kEntrySize) * capacity;
        // A chain cannot hold more tables than fit in the file.
        return pos >= 128 && pos <= end && bytes <= end - pos &&
               uint64_t(total_) + capacity <= 0xFFFFFFFFull &&
               tables_.size() < end / (kTableHeader + kEntrySize * 256);
    };
    auto add = [&](uint64_t pos, uint32_t capacity) {
        tables_.push_back({pos, total_, capacity});
        total_ += capacity;
    };
    for (size_t i = 0; i + 1 < known.size(); ++i) {
        const uint32_t expected = CapacityOfTable(tables_.size());
        if (!fits(known[i], expected)) return false;
        add(known[i], expected);
    }
    uint64_t pos = known.empty() ? file_.AtomTablePos() : known.back();
    while (pos != 0) {
        const uint32_t expected = CapacityOfTable(tables_.size());
        bool bad = !fits(pos, expected);
        uint8_t header[kTableHeader];
        if (!bad) {
            Read(header, kTableHeader, pos);
            bad = GetU32(header + 8) != expected;
        }
        if (bad && tables_.size() < known.size()) return false;
        if (bad) throw EOrvOpenError(ecFileDamaged, TQmzMessage::FileDamaged, {file_.FullPath()});
        add(pos, expected);
        pos = GetU64(header);
    }
    return true;
}

std::vector<uint64_t> TAtomManager::Positions() const {
    std::vector<uint64_t> positions;
    positions.reserve(tables_.size());
    for (const Table& t : tables_) positions.push_back(t.position);
    return positions;
}

bool TAtomManager::IsValidHandle(uint32_t handle) const { return handle != 0 && handle <= total_; }

uint64_t TAtomManager::EntryPosition(uint32_t handle) const {
    if (!IsValidHandle(handle)) throw EQmzError(ecInvalidAtomAddress, TQmzMessage::InvalidAtomAddress);
    const uint32_t n = handle - 1;
    auto it = std::upper_bound(tables_.begin(), tables_.end(), n,
                               [](uint32_t v, const Table& t) { return v < t.first; });
    QMZ_ASSERT(it != tables_.begin());
    --it;
    QMZ_ASSERT(n >= it->first && n - it->first < it->capacity);
    return it->position + kTableHeader + uint64_t(kEntrySize) * (n - it->first);
}

void TAtomManager::MarkDamaged() {
    if (file_.IsReadOnly()) return;
    try {
        file_.SetFlags(uint16_t(file_.Flags() | kAtomFileDamagedFlag));
    } catch (...) {
        // The check failure below is what the caller needs to see.
    }
}

void TAtomManager::EntryDamaged(uint32_t handle) {
    MarkDamaged();
    throw EQmzError(ecAtomTableCRC, TQmzMessage::AtomTableCRC, {file_.FullPath(), handle});
}

void TAtomManager::BodyDamaged(uint32_t handle) {
    MarkDamaged();
    throw EQmzError(ecAtomBodyCRC, TQmzMessage::AtomBodyCRC, {file_.FullPath(), handle});
}

void TAtomManager::Read(void* buffer, uint32_t count, uint64_t position) {
    if (blocks_) blocks_->ReadAt(buffer, count, position);
    else file_.ReadAt(buffer, count, position);
}

void TAtomManager::ReadEntry(uint32_t handle, TEntryBytes& entry) {
    const uint64_t pos = EntryPosition(handle);
    Read(entry.data(), kEntrySize, pos);
    if (!EntryCrcValid(entry)) EntryDamaged(handle);
    const uint8_t flags = entry[12];
    // A well-formed entry: inline length within the entry; external flags
    // carry only the link width.
    if ((flags & kInlineFlag) ? (flags & 0x1F) > kInlineRoom : (flags & 0x1F) != 0)
        EntryDamaged(handle);
}

void TAtomManager::WriteEntry(uint32_t handle, TEntryBytes& entry) {
    const uint64_t pos = EntryPosition(handle);
    PutU32(&entry[0], Crc32(&entry[4], 28));
    file_.WriteAt(entry.data(), kEntrySize, pos);
}

uint32_t TAtomManager::CreateAtom(uint32_t handle) {
    TCriticalSectionGuard guard(lock_);
    file_.CheckWritable();
    if (handle == 0) handle = AllocHandle();
    TEntryBytes entry{};
    entry[12] = kInlineFlag;
    WriteEntry(handle, entry);
    return handle;
}

uint32_t TAtomManager::AllocHandle() {
    TCriticalSectionGuard guard(lock_);
    if (!pool_.empty()) {
        uint32_t h = pool_.back();
        pool_.pop_back();
        return h;
    }
    // A grown file holds millions of entries in use and its free ones at
    // the end, where the last table was appended: a session takes those
    // first, found by probing back from the end, instead of reading every
    // entry from the first. Entries freed in the middle are found by the
    // scan from the first entry once the end is used up, before the table
    // grows.
    if (!tailSearched_ && scanMark_ == 0) {
        tailSearched_ = true;
        tailStart_ = tailNext_ = FindFreeTail();
    }
    while (tailSearched_ && tailNext_ <= total_) {
        const uint32_t h = tailNext_++;
        if (!EntryInUse(h)) return h;
    }
    const uint32_t scanEnd = tailSearched_ ? tailStart_ - 1 : total_;
    // Scan from the mark for a free entry, a block of entries at a time. The
    // block starts small and grows while entries are in use: in a fresh
    // table the first entry is free, and reading a whole block for it on
    // every new atom costs more than the atom itself.
    std::vector<uint8_t> block;
    uint32_t blockEntries = 8;
    while (scanMark_ < scanEnd) {
        const uint64_t pos = EntryPosition(scanMark_ + 1);
        auto it = std::upper_bound(tables_.begin(), tables_.end(), scanMark_,
                                   [](uint32_t v, const Table& t) { return v < t.first; }) - 1;
        const uint32_t inTable = std::min(it->first + it->capacity, scanEnd) - scanMark_;
        const uint32_t n = std::min<uint32_t>(inTable, blockEntries);
        blockEntries = std::min<uint32_t>(blockEntries * 2, 256);
        block.resize(size_t(n) * kEntrySize);
        file_.ReadAt(block.data(), uint32_t(block.size()), pos);
        for (uint32_t i = 0; i < n; ++i) {
            TEntryBytes e;
            std::memcpy(e.data(), &block[size_t(i) * kEntrySize], kEntrySize);
            ++scanMark_;
            // Entries in use are the rule here: the cheap free test first,
            // the CRC only for an entry that looks free.
            if (EntryIsFree(e) && EntryCrcValid(e)) return scanMark_;
        }
    }
    // Everything up to the end of the table is handed out; the new table
    // becomes the free end.
    scanMark_ = total_;
    file_.CheckWritable();
    AppendTable();
    tailSearched_ = true;
    tailStart_ = scanMark_ + 1;
    tailNext_ = tailStart_ + 1;
    return tailStart_;
}

bool TAtomManager::EntryInUse(uint32_t handle) {
    TEntryBytes e;
    file_.ReadAt(e.data(), kEntrySize, EntryPosition(handle));
    // Zeros are a free entry with a valid CRC: no CRC needed for them.
    return !EntryIsZero(e) && (!EntryIsFree(e) || !EntryCrcValid(e));
}

// Found by probing single entries, not by reading the tail: a table is
// appended whole, so the free run can be most of a megabyte. Back from the
// end in doubling steps to an entry in use, then halving the gap. Entries
// freed inside the used part can mislead the search; that costs nothing but
// order, because every entry of the run is checked again before it is
// handed out.
uint32_t TAtomManager::FindFreeTail() {
    uint32_t hi = total_ + 1;  // the lowest entry seen free (or the end)
    uint32_t lo = 0;           // an entry seen in use below it (0: none)
    for (uint32_t step = 1; hi > 1; step = std::min<uint32_t>(step * 2, 1u << 30)) {
        const uint32_t probe = hi > step ? hi - step : 1;
        if (EntryInUse(probe)) {
            lo = probe;
            break;
        }
        hi = probe;
    }
    while (hi - lo > 1) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (EntryInUse(mid)) lo = mid;
        else hi = mid;
    }
    return hi;
}

void TAtomManager::AppendTable() {
    const uint32_t capacity = CapacityOfTable(tables_.size());
    const uint32_t bytes = kTableHeader + kEntrySize * capacity;
    const uint64_t pos = file_.Alloc(bytes);
    uint8_t header[kTableHeader] = {};
    PutU32(header + 8, capacity);
    file_.WriteAt(header, kTableHeader, pos);
    file_.Fill(bytes - kTableHeader, 0, pos + kTableHeader);
    if (tables_.empty()) {
        file_.SetAtomTablePos(pos);
    } else {
        uint8_t prev[kTableHeader] = {};
        PutU64(prev, pos);
        PutU32(prev + 8, tables_.back().capacity);
        file_.WriteAt(prev, kTableHeader, tables_.back().position);
    }
    tables_.push_back({pos, total_, capacity});
    total_ += capacity;
    file_.AtomTablesAre(Positions());
}

bool TAtomManager::AtomExists(uint32_t handle) {
    if (!IsValidHandle(handle)) return false;
    TEntryBytes e;
    ReadEntry(handle, e);
    return !EntryIsFree(e);
}

uint32_t TAtomManager::BodyAllocation(const TEntryBytes& e) const {
    if (EntryIsFree(e) || (e[12] & kInlineFlag)) return 0;
    const uint8_t width = uint8_t(((e[12] >> 5) & 3) + 1);
    const uint64_t links = GetU32(&e[12]) >> 8;
    const uint64_t size = links * width + GetU32(&e[16]);
    return uint32_t(AlignUp(size, file_.AtomSizeAlign()));
}

void TAtomManager::DeleteAtom(uint32_t handle) {
    if (handle == 0) throw EQmzError(ecInvalidAtomAddress, TQmzMessage::InvalidAtomAddress);
    TCriticalSectionGuard guard(lock_);
    file_.CheckWritable();
    TEntryBytes e;
    ReadEntry(handle, e);
    const uint32_t body = BodyAllocation(e);
    const uint64_t bodyPos = GetU64(&e[24]);
    // The entry goes first, so that no entry ever points at freed space.
    TEntryBytes zero{};
    WriteEntry(handle, zero);
    if (body != 0) file_.Free(body, bodyPos);
    ReleaseHandle(handle);
}

void TAtomManager::ReleaseHandle(uint32_t handle) {
    TCriticalSectionGuard guard(lock_);
    const bool handedOut = handle <= scanMark_ || (tailSearched_ && handle >= tailStart_ && handle < tailNext_);
    if (handle != 0 && handedOut &&
        std::find(pool_.begin(), pool_.end(), handle) == pool_.end())
        pool_.push_back(handle);
}

void TAtomManager::LoadImage(TAtomRec& rec, uint8_t parts) {
    if (parts == 0) return;
    if (!rec.entryLoaded) {
        TEntryBytes e;
        ReadEntry(rec.handle, e);
        if (EntryIsFree(e)) throw EQmzError(ecInvalidAtomAddress, TQmzMessage::InvalidAtomAddress);
        rec.entry = e;
        rec.entryLoaded = true;
    }
    const TEntryBytes& e = rec.entry;
    const uint8_t fill = uint8_t((parts | ~rec.loaded) & kAllParts);
    const uint8_t flags = e[12];
    const uint8_t width = uint8_t(((flags >> 5) & 3) + 1);
    if (fill & kPartCounters) {
        rec.linkCount = GetU32(&e[4]);
        rec.externalCount = GetU32(&e[8]);
    }
    if (flags & kInlineFlag) {
        const uint32_t d = flags & 0x1F;
        const uint8_t* area = &e[13] + d;
        uint32_t used = kInlineRoom - d;
        while (used > 0 && area[used - 1] == 0) --used;
        const uint32_t count = (used + width - 1) / width;
        if (fill & kPartLinks) {
            TAtomHandleArray links(count, 0);
            for (uint32_t i = 0; i < count; ++i) {
                // The last link may run past the room only through its zero bytes.
                uint8_t tmp[4] = {};
                for (uint8_t b = 0; b < width && i * width + b < kInlineRoom - d; ++b)
                    tmp[b] = area[i * width + b];
                links[i] = UnpackLink(tmp, width);
            }
            rec.links = std::move(links);
            rec.linkWidth = width;
        }
        if (fill & kPartData) rec.data = TByteArray(&e[13], &e[13] + d);
        rec.loaded |= fill;
        return;
    }
    if (fill & (kPartLinks | kPartData)) {
        const uint64_t count = GetU32(&e[12]) >> 8;
        const uint64_t d = GetU32(&e[16]);
        const uint64_t size = count * width + d;
        const uint64_t pos = GetU64(&e[24]);
        if (pos < 128 || size > file_.LogicalSize() || pos + size > file_.LogicalSize())
            BodyDamaged(rec.handle);
        TByteArray body(size);
        if (size) Read(body.data(), uint32_t(size), pos);
        if (Crc32(body.data(), body.size()) != GetU32(&e[20])) BodyDamaged(rec.handle);
        if (fill & kPartLinks) {
            TAtomHandleArray links(count);
            for (uint64_t i = 0; i < count; ++i) links[i] = UnpackLink(&body[d + i * width], width);
            rec.links = std::move(links);
            rec.linkWidth = width;
        }
        if (fill & kPartData) {
            // The body is the data followed by the links: keep its front.
            body.resize(d);
            rec.data = std::move(body);
        }
    }
    rec.loaded |= fill;
}

void TAtomManager::SaveImage(TAtomRec& rec, uint8_t parts) {
    parts &= rec.loaded;
    if (parts == 0) return;
    file_.CheckWritable();
    if (!rec.entryLoaded) {
        TEntryBytes e;
        ReadEntry(rec.handle, e);
        if (EntryIsFree(e)) throw EQmzError(ecInvalidAtomAddress, TQmzMessage::InvalidAtomAddress);
        rec.entry = e;
        rec.entryLoaded = true;
    }
    TEntryBytes e = rec.entry;
    if (parts & kPartCounters) {
        PutU32(&e[4], rec.linkCount);
        PutU32(&e[8], rec.externalCount);
    }
    uint32_t oldBody = 0;
    uint64_t oldPos = 0;
    uint64_t newPos = 0;
    if (parts & (kPartLinks | kPartData)) {
        const uint8_t missing = uint8_t((kPartLinks | kPartData) & ~rec.loaded);
        if (missing) LoadImage(rec, missing);
        const uint8_t w = std::clamp<uint8_t>(rec.linkWidth, 1, 4);
        const uint64_t l = rec.links.size();
        const uint64_t d = rec.data.size();
        const uint64_t size = d + l * w;
        oldBody = BodyAllocation(rec.entry);
        oldPos = GetU64(&rec.entry[24]);
        if (size > kInlineRoom) {
            if (size > 0x7FFFFFFF || l > 0xFFFFFF)
                throw EQmzError(ecFileIO, TQmzMessage::FileWrite);
            TByteArray body(size);
            if (d) std::memcpy(body.data(), rec.data.data(), d);
            PackLinks(rec.links.Get(), w, body.data() + d);
            const uint32_t aligned = uint32_t(AlignUp(size, file_.AtomSizeAlign()));
            // A body of another size goes to new space; the entry is switched
            // to it and only then is the old body given back.
            newPos = (aligned == oldBody) ? oldPos : file_.Alloc(aligned);
            file_.WriteAt(body.data(), uint32_t(size), newPos);
            e[12] = uint8_t((w - 1) << 5);
            e[13] = uint8_t(l);
            e[14] = uint8_t(l >> 8);
            e[15] = uint8_t(l >> 16);
            PutU32(&e[16], uint32_t(d));
            PutU32(&e[20], Crc32(body.data(), body.size()));
            PutU64(&e[24], newPos);
        } else {
            e[12] = uint8_t(kInlineFlag | ((w - 1) << 5) | d);
            std::memset(&e[13], 0, kInlineRoom);
            if (d) std::memcpy(&e[13], rec.data.data(), d);
            PackLinks(rec.links.Get(), w, &e[13] + d);
            newPos = 0;
        }
    }
    WriteEntry(rec.handle, e);
    rec.entry = e;
    if (oldBody != 0 && newPos != oldPos) file_.Free(oldBody, oldPos);
}

}  // namespace tlvx
