#include "model/node_day_lists.h"

#include <cstring>
#include <stdexcept>

#include "model/node_atoms.h"
#include "platform/byte_codec.h"

namespace tlvx {

namespace {

constexpr int32_t kGrowRows = 10;

struct TListShape {
    int32_t rowSize;
    int32_t keySize;  // 4 or 8, little-endian at the row's start
};
constexpr TListShape kIPList{TIPDayRow::kSize, 4};
constexpr TListShape kSourceList{TSourceDayRow::kSize, 8};

int32_t RowOffset(const TListShape& s, int32_t index) { return 4 + index * s.rowSize; }

uint64_t KeyAt(IVirtualAtom& list, const TListShape& s, int32_t index) {
    uint8_t b[8] = {};
    list.Read(RowOffset(s, index), b, s.keySize);
    return s.keySize == 4 ? GetU32(b) : GetU64(b);
}

// The first row whose key is not below key; found when it equals key.
int32_t LowerBound(IVirtualAtom& list, const TListShape& s, int32_t count, uint64_t key, bool& found) {
    int32_t lo = 0, hi = count;
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (KeyAt(list, s, mid) < key) lo = mid + 1;
        else hi = mid;
    }
    found = lo < count && KeyAt(list, s, lo) == key;
    return lo;
}

void AddToRow(IVirtualAtom& list, const TListShape& s, uint64_t key, const int32_t add[3]) {
    int32_t count = DayListCount(list, s.rowSize);
    bool found = false;
    int32_t at = LowerBound(list, s, count, key, found);
    if (found) {
        uint8_t b[12];
        int32_t offset = RowOffset(s, at) + s.keySize;
        list.Read(offset, b, 12);
        for (int i = 0; i < 3; ++i) PutInt32(b + 4 * i, WrapAdd(GetInt32(b + 4 * i), add[i]));
        list.Write(offset, b, 12);
        return;
    }
    std::vector<uint8_t> bytes = list.GetAsBytes();
    size_t needed = size_t(RowOffset(s, count + 1));
    if (bytes.size() < needed) bytes.resize(bytes.size() + size_t(kGrowRows * s.rowSize), 0);
    if (bytes.size() < needed) bytes.resize(needed, 0);  // a list shorter than its Count's rows
    uint8_t* row = &bytes[size_t(RowOffset(s, at))];
    std::memmove(row + s.rowSize, row, size_t((count - at) * s.rowSize));
    std::memset(row, 0, size_t(s.rowSize));
    if (s.keySize == 4) PutU32(row, static_cast<uint32_t>(key));
    else PutU64(row, key);
    for (int i = 0; i < 3; ++i) PutInt32(row + s.keySize + 4 * i, add[i]);
    PutInt32(&bytes[0], count + 1);
    list.SetAsBytes(bytes);
}

}  // namespace

int32_t DayListCount(IVirtualAtom& list, int32_t rowSize) {
    int32_t size = list.GetSize();
    int32_t count = size < 4 ? 0 : ReadInt32(list, 0);
    if (count < 0 || int64_t(count) * rowSize > int64_t(size) - 4)
        throw std::runtime_error("Damaged day list: Count " + std::to_string(count) + " in " +
                                 std::to_string(size) + " bytes");
    return count;
}

std::vector<TIPDayRow> ReadIPDayRows(IVirtualAtom& list) {
    int32_t count = DayListCount(list, TIPDayRow::kSize);
    std::vector<uint8_t> bytes = list.GetAsBytes();
    std::vector<TIPDayRow> rows(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* p = &bytes[size_t(RowOffset(kIPList, i))];
        rows[size_t(i)] = {GetU32(p), GetInt32(p + 4), GetInt32(p + 8), GetInt32(p + 12)};
    }
    return rows;
}

std::vector<TSourceDayRow> ReadSourceDayRows(IVirtualAtom& list) {
    int32_t count = DayListCount(list, TSourceDayRow::kSize);
    std::vector<uint8_t> bytes = list.GetAsBytes();
    std::vector<TSourceDayRow> rows(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* p = &bytes[size_t(RowOffset(kSourceList, i))];
        rows[size_t(i)] = {GetU64(p), GetInt32(p + 8), GetInt32(p + 12), GetInt32(p + 16)};
    }
    return rows;
}

bool FindIPDayRow(IVirtualAtom& list, uint32_t ip, TIPDayRow& row) {
    bool found = false;
    int32_t at = LowerBound(list, kIPList, DayListCount(list, kIPList.rowSize), ip, found);
    if (!found) return false;
    uint8_t b[16];
    list.Read(RowOffset(kIPList, at), b, 16);
    row = {GetU32(b), GetInt32(b + 4), GetInt32(b + 8), GetInt32(b + 12)};
    return true;
}

bool FindSourceDayRow(IVirtualAtom& list, uint64_t number, TSourceDayRow& row) {
    bool found = false;
    int32_t at = LowerBound(list, kSourceList, DayListCount(list, kSourceList.rowSize), number, found);
    if (!found) return false;
    uint8_t b[24];
    list.Read(RowOffset(kSourceList, at), b, 24);
    row = {GetU64(b), GetInt32(b + 8), GetInt32(b + 12), GetInt32(b + 16)};
    return true;
}

void AddToIPDayRow(IVirtualAtom& list, uint32_t ip, int32_t hits, int32_t visits, int32_t newDays) {
    const int32_t add[3] = {hits, visits, newDays};
    AddToRow(list, kIPList, ip, add);
}

void AddToSourceDayRow(IVirtualAtom& list, uint64_t number, int32_t hits, int32_t visits,
                       int32_t visitors) {
    const int32_t add[3] = {hits, visits, visitors};
    AddToRow(list, kSourceList, number, add);
}

void InitDayList(IVirtualAtom& list) { WriteInt32(list, 0); }

}  // namespace tlvx
