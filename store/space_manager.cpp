#include "store/space_manager.h"

#include <algorithm>
#include <map>
#include <memory>

#include "platform/byte_codec.h"
#include "store/crc32.h"
#include "store/errors.h"
#include "store/orv_file.h"
#include "store/radix_sort.h"

namespace tlvx {
namespace {

struct TEntry {
    uint32_t crc;
    uint64_t position;
    uint32_t size;
    bool CrcOk(const uint8_t* bytes) const { return crc == Crc32(bytes + 4, 12); }
};

TEntry DecodeEntry(const uint8_t* b) { return {GetU32(b), GetU64(b + 4), GetU32(b + 12)}; }

void EncodeEntry(uint8_t* b, uint64_t position, uint32_t size) {
    PutU64(b + 4, position);
    PutU32(b + 12, size);
    PutU32(b, (position == 0 && size == 0) ? 0 : Crc32(b + 4, 12));
}

uint32_t TableCapacity(size_t place) { return static_cast<uint32_t>(256 * (place + 1)); }

// Whether a hole's range lies in the file and outside the hole tables and
// the chain summary.
class TRangeCheck {
public:
    TRangeCheck(TOrvFile& file, const std::vector<TSpaceManager::TTableInfo>& tables)
        : byPosition_(tables),
          logical_(file.LogicalSize()),
          summaryPos_(file.SummaryPosition()),
          summarySize_(file.SummarySize()) {
        std::sort(byPosition_.begin(), byPosition_.end(),
                  [](const auto& a, const auto& b) { return a.position < b.position; });
    }

    bool operator()(uint64_t position, uint32_t size) const {
        if (size == 0 || position < kHeaderSize || position > logical_ || size > logical_ - position) return false;
        if (summarySize_ != 0 && position < summaryPos_ + summarySize_ && summaryPos_ < position + size)
            return false;
        // The tables do not overlap each other: only the last one starting
        // before the range's end can reach into it.
        auto next = std::upper_bound(byPosition_.begin(), byPosition_.end(), position + size - 1,
                                     [](uint64_t p, const TSpaceManager::TTableInfo& t) { return p < t.position; });
        if (next == byPosition_.begin()) return true;
        const TSpaceManager::TTableInfo& t = *std::prev(next);
        return t.position + TSpaceManager::kTableHeaderSize + uint64_t{TSpaceManager::kEntrySize} * t.capacity <=
               position;
    }

private:
    std::vector<TSpaceManager::TTableInfo> byPosition_;
    uint64_t logical_;
    uint64_t summaryPos_;
    uint32_t summarySize_;
};

}  // namespace

Ref<TSpaceManager> TSpaceManager::Create(TOrvFile& file, int32_t windowSlots) {
    Ref<TSpaceManager> manager = MakeRef<TSpaceManager>(file);
    manager->Load(windowSlots > 0 ? windowSlots : kDefaultWindowSlots);
    return manager;
}

TSpaceManager::TSpaceManager(TOrvFile& file) : file_(&file) {}

TOrvFile& TSpaceManager::File() const {
    QMZ_ASSERT(file_ != nullptr);
    return *file_;
}

void TSpaceManager::Disconnect() { file_ = nullptr; }

// The chain from the header, or from the stored summary: the summarised
// tables are checked in memory, and only the last one is read, for its link
// to any table appended since (a read-only open reads none: it uses no hole).
// A summary that does not fit the file is left for the walk from the header.
void TSpaceManager::Load(int32_t windowSlots) {
    TOrvFile& file = File();
    const TChainSummary* summary = file.TrustedChains();
    bool loaded = false;
    if (summary && !summary->holeTables.empty() &&
        summary->holeTables.front() == file.Header().holeTablePos) {
        loaded = LoadChain(summary->holeTables);
        if (!loaded) {
            tables_.clear();
            totalCapacity_ = 0;
        }
    }
    if (!loaded) LoadChain({});
    if (file.ReadOnly()) return;
    if (windowSlots < totalCapacity_) {
        // The newest holes: those of the last table, or only the window's
        // size of them when it holds more. At least the window's size of
        // slots in all.
        const TTableInfo& last = tables_.back();
        int32_t from = last.firstSlot;
        const int32_t beyond = last.firstSlot + windowSlots;
        if (beyond < totalCapacity_ && SlotInUse(beyond)) from = UsedSlotsEnd(beyond) - windowSlots;
        windowStart_ = std::max(0, std::min(from, totalCapacity_ - windowSlots));
    }
    LoadHoles();
}

bool TSpaceManager::SlotInUse(int32_t slot) {
    uint8_t b[kEntrySize];
    File().ReadAt(b, sizeof b, SlotPosition(slot));
    return GetU64(b + 4) != 0;
}

// Slots fill from the first to the last, so the slots in use end where the
// free run that ends the tables begins: found by halving the gap between a
// slot in use and the end. A slot freed among the used ones may mislead it,
// which only moves the window.
int32_t TSpaceManager::UsedSlotsEnd(int32_t used) {
    int32_t lo = used, hi = totalCapacity_;
    while (hi - lo > 1) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (SlotInUse(mid)) lo = mid;
        else hi = mid;
    }
    return hi;
}

bool TSpaceManager::LoadChain(const std::vector<uint64_t>& known) {
    TOrvFile& file = File();
    const uint64_t logical = file.LogicalSize();
    auto fits = [&](uint64_t position, uint32_t capacity) {
        const uint64_t bytes = kTableHeaderSize + uint64_t{kEntrySize} * capacity;
        if (position < kHeaderSize || position > logical || bytes > logical - position) return false;
        for (const TTableInfo& t : tables_)
            if (position < t.position + kTableHeaderSize + uint64_t{kEntrySize} * t.capacity &&
                t.position < position + bytes)
                return false;
        return true;
    };
    auto add = [&](uint64_t position, uint32_t capacity, uint64_t next) {
        tables_.push_back({position, capacity, totalCapacity_, next});
        totalCapacity_ += static_cast<int32_t>(capacity);
    };
    for (size_t i = 0; i + 1 < known.size(); ++i) {
        const uint32_t capacity = TableCapacity(tables_.size());
        if (!fits(known[i], capacity)) return false;
        add(known[i], capacity, known[i + 1]);
    }
    uint64_t position = known.empty() ? file.Header().holeTablePos : known.back();
    if (!known.empty() && file.ReadOnly()) {
        const uint32_t capacity = TableCapacity(tables_.size());
        if (!fits(position, capacity)) return false;
        add(position, capacity, 0);
        return true;
    }
    while (position != 0) {
        const uint32_t capacity = TableCapacity(tables_.size());
        bool bad = !fits(position, capacity);
        uint8_t head[kTableHeaderSize];
        if (!bad) {
            file.ReadAt(head, sizeof head, position);
            bad = GetU32(head + 8) != capacity;
        }
        if (bad && !known.empty() && tables_.size() < known.size()) return false;
        if (bad) throw EOrvOpenError(ecFileDamaged, TQmzMessage::FileDamaged, {file.FullPath()});
        add(position, capacity, GetU64(head));
        position = tables_.back().next;
    }
    return true;
}

// The entries are checked in slot order: an entry overlapping one of an
// earlier slot is the one cleared. Cleared on disk, not just skipped: left as
// it is, an entry could pass these checks at a later open, once the file or
// the other holes have changed, and hand out space in use.
void TSpaceManager::LoadHoles() {
    TWindowEntries entries = ReadWindowEntries();
    std::vector<int32_t> cleared = std::move(entries.rejected);
    holes_.Load(AcceptHoles(entries.found, cleared));
    ClearSlots(std::move(cleared));
}

// Reads the window's slots: the entries whose range lies in the file outside
// the tables and the chain summary, in slot order, and the slots of those
// that do not.
TSpaceManager::TWindowEntries TSpaceManager::ReadWindowEntries() {
    TWindowEntries result;
    const TRangeCheck inFileOutsideTables(File(), tables_);
    // Read a chunk at a time into one buffer: fresh memory costs a short
    // process more than the reads do.
    constexpr uint32_t kChunk = 1024;
    // Not zeroed: every byte used is read first.
    std::unique_ptr<uint8_t[]> entries(new uint8_t[size_t{kEntrySize} * kChunk]);
    for (const TTableInfo& t : tables_) {
        const int32_t end = t.firstSlot + static_cast<int32_t>(t.capacity);
        if (end <= windowStart_) continue;
        uint32_t i = static_cast<uint32_t>(std::max(0, windowStart_ - t.firstSlot));
        while (i < t.capacity) {
            const uint32_t count = std::min(kChunk, t.capacity - i);
            File().ReadAt(entries.get(), kEntrySize * count,
                          t.position + kTableHeaderSize + uint64_t{kEntrySize} * i);
            for (uint32_t k = 0; k < count; ++k, ++i) {
                const uint8_t* b = &entries[size_t{kEntrySize} * k];
                // Most slots of the window are the free ones after the holes.
                if (GetU64(b + 4) == 0) continue;
                const int32_t slot = t.firstSlot + static_cast<int32_t>(i);
                TEntry e = DecodeEntry(b);
                if (!e.CrcOk(b)) continue;
                if (inFileOutsideTables(e.position, e.size))
                    result.found.push_back({e.position, e.size, slot});
                else
                    result.rejected.push_back(slot);
            }
        }
    }
    return result;
}

// Marks the window's slots whose holes are kept and returns those holes in
// position order; the slots of holes overlapping one of an earlier slot join
// cleared. Holes hardly ever overlap, so they are first checked all at once
// in position order; only a file where some do takes the slot-by-slot walk.
std::vector<THole> TSpaceManager::AcceptHoles(const std::vector<THoleEntry>& found, std::vector<int32_t>& cleared) {
    std::vector<THoleEntry> sorted = found;
    RadixSort(sorted, [](const THoleEntry& c) { return c.position; });
    bool disjoint = true;
    for (size_t i = 1; i < sorted.size() && disjoint; ++i)
        disjoint = sorted[i - 1].position + sorted[i - 1].size <= sorted[i].position;
    slotUsed_.assign(size_t(totalCapacity_ - windowStart_), 0);
    auto accepted = [&](int32_t slot) -> uint8_t& { return slotUsed_[size_t(slot - windowStart_)]; };
    std::vector<THole> holes;
    if (disjoint) {
        holes.reserve(sorted.size());
        for (const THoleEntry& c : sorted) {
            accepted(c.slot) = 1;
            holes.push_back({c.position, c.size, c.slot, uint64_t(c.slot)});
        }
        return holes;
    }
    std::map<uint64_t, uint64_t> taken;  // accepted ranges: position -> end
    for (const THoleEntry& c : found) {  // slot order
        auto next = taken.lower_bound(c.position);
        const bool overlaps = (next != taken.end() && next->first < c.position + c.size) ||
                              (next != taken.begin() && std::prev(next)->second > c.position);
        if (overlaps) {
            cleared.push_back(c.slot);
            continue;
        }
        taken.emplace(c.position, c.position + c.size);
        accepted(c.slot) = 1;
    }
    for (const THoleEntry& c : sorted)
        if (accepted(c.slot)) holes.push_back({c.position, c.size, c.slot, uint64_t(c.slot)});
    return holes;
}

// Zeroes the cleared slots on disk and sets the scan mark after the run of
// kept slots that starts the window.
void TSpaceManager::ClearSlots(std::vector<int32_t> cleared) {
    std::sort(cleared.begin(), cleared.end());
    for (int32_t slot : cleared) WriteSlot(slot, 0, 0);
    scanMark_ = windowStart_;
    while (scanMark_ < totalCapacity_ && slotUsed_[size_t(scanMark_ - windowStart_)]) ++scanMark_;
}

uint64_t TSpaceManager::SlotPosition(int32_t slot) const {
    for (const TTableInfo& t : tables_) {
        if (slot >= t.firstSlot && slot < t.firstSlot + static_cast<int32_t>(t.capacity))
            return t.position + kTableHeaderSize + uint64_t{kEntrySize} * (slot - t.firstSlot);
    }
    throw EInvalidIndex();
}

void TSpaceManager::WriteSlot(int32_t slot, uint64_t position, uint32_t size) {
    QMZ_ASSERT(slot >= windowStart_ && slot < totalCapacity_);
    uint8_t b[kEntrySize] = {};
    EncodeEntry(b, position, size);
    File().WriteAt(b, sizeof b, SlotPosition(slot));
    slotUsed_[size_t(slot - windowStart_)] = (position != 0 || size != 0) ? 1 : 0;
}

bool TSpaceManager::SlotIsFree(int32_t slot) const {
    return slotUsed_.at(size_t(slot - windowStart_)) == 0;
}

void TSpaceManager::WriteTableHeader(const TTableInfo& table) {
    uint8_t head[kTableHeaderSize] = {};
    PutU64(head, table.next);
    PutU32(head + 8, table.capacity);
    File().WriteAt(head, sizeof head, table.position);
}

void TSpaceManager::AddHole(uint32_t size, uint64_t position) {
    int32_t slot = -1;
    if (!pool_.empty()) {
        slot = pool_.back();
        pool_.pop_back();
    } else {
        while (scanMark_ < totalCapacity_) {
            const int32_t candidate = scanMark_++;
            if (SlotIsFree(candidate)) {
                slot = candidate;
                break;
            }
        }
    }
    if (slot < 0) {
        slot = totalCapacity_;
        ++scanMark_;
        AddHoleTable();
    }
    auto* hole = new THole{position, size, slot, 0};
    holes_.Add(hole);
    WriteSlot(slot, position, size);
}

void TSpaceManager::RemoveHole(THole* hole) {
    if (hole->slot < scanMark_) pool_.push_back(hole->slot);
    const int32_t slot = hole->slot;
    holes_.Erase(hole);
    WriteSlot(slot, 0, 0);
}

void TSpaceManager::GrowHole(THole* hole, uint32_t n, bool atFront) {
    holes_.Remove(hole);
    hole->size += n;
    if (atFront) hole->position -= n;
    holes_.Add(hole);
    WriteSlot(hole->slot, hole->position, hole->size);
}

void TSpaceManager::ShrinkHole(THole* hole, uint32_t n, bool atFront) {
    if (n >= hole->size) {
        RemoveHole(hole);
        return;
    }
    holes_.Remove(hole);
    hole->size -= n;
    if (atFront) hole->position += n;
    holes_.Add(hole);
    WriteSlot(hole->slot, hole->position, hole->size);
}

uint64_t TSpaceManager::GrowFile(uint32_t size, bool round) {
    TOrvFile& file = File();
    const uint64_t old = file.LogicalSize();
    const uint64_t grown = old + size;
    if (round && file.WriteThrough()) {
        const uint64_t rounded = (grown + TOrvFile::kPageSize - 1) & ~(TOrvFile::kPageSize - 1);
        // The size is set first: recording the slack may append a hole
        // table at the (new) end of the file.
        file.SetSize(rounded);
        if (rounded != grown) AddHole(static_cast<uint32_t>(rounded - grown), grown);
    } else {
        file.SetSize(grown);
    }
    return old;
}

void TSpaceManager::AddHoleTable() {
    TTableInfo table{};
    table.capacity = TableCapacity(tables_.size());
    table.firstSlot = totalCapacity_;
    const uint32_t entryBytes = kEntrySize * table.capacity;
    table.position = Alloc(kTableHeaderSize + entryBytes, false);
    WriteTableHeader(table);
    File().Fill(entryBytes, 0, table.position + kTableHeaderSize);
    // Linked only once it is complete on disk.
    tables_.push_back(table);
    totalCapacity_ += static_cast<int32_t>(table.capacity);
    slotUsed_.resize(size_t(totalCapacity_ - windowStart_), 0);
    if (tables_.size() == 1) {
        File().SetHoleTablePos(table.position);
    } else {
        TTableInfo& previous = tables_[tables_.size() - 2];
        previous.next = table.position;
        WriteTableHeader(previous);
    }
}

uint64_t TSpaceManager::Alloc(uint32_t size, bool round) {
    TCriticalSectionGuard guard(lock_);
    File().CheckWritable();
    if (size == 0) return File().LogicalSize();
    if (THole* hole = holes_.BestFit(size)) {
        const uint64_t position = hole->position;
        ShrinkHole(hole, size, true);
        return position;
    }
    return GrowFile(size, round);
}

void TSpaceManager::Free(uint32_t size, uint64_t position) {
    if (size == 0) return;
    TCriticalSectionGuard guard(lock_);
    TOrvFile& file = File();
    file.CheckWritable();
    const uint64_t logical = file.LogicalSize();
    QMZ_ASSERT(position >= kHeaderSize && position <= logical && size <= logical - position);
    THole *before = nullptr, *after = nullptr;
    holes_.FindAdjacent(size, position, &before, &after);
    // A merged hole must still fit its 32-bit size field.
    if (before && uint64_t{before->size} + size > UINT32_MAX) before = nullptr;
    if (after && uint64_t{after->size} + size + (before ? before->size : 0) > UINT32_MAX)
        after = nullptr;
    if (position + size == logical) {
        uint64_t end = position;
        if (before) {
            end = before->position;
            RemoveHole(before);
        }
        file.SetSize(end);
    } else if (before && after) {
        const uint32_t afterSize = after->size;
        RemoveHole(after);
        GrowHole(before, size + afterSize, false);
    } else if (before) {
        GrowHole(before, size, false);
    } else if (after) {
        GrowHole(after, size, true);
    } else {
        AddHole(size, position);
    }
}

}  // namespace tlvx
