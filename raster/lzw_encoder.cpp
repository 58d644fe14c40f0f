#include "raster/lzw_encoder.h"

#include <algorithm>
#include <memory>

namespace tlvx {

namespace {

// Packs codes LSB first into sub-blocks of out: a block is gathered here
// and appended whole when it is full.
class TCodePacker {
public:
    explicit TCodePacker(std::vector<uint8_t>& out) : out_(out) {}

    void PutCode(uint32_t code, int bits) {
        acc_ |= uint64_t(code) << nbits_;
        nbits_ += bits;
        while (nbits_ >= 8) {
            block_[used_++] = uint8_t(acc_);
            acc_ >>= 8;
            nbits_ -= 8;
            if (used_ == kBlockSize) WriteBlock();
        }
    }

    // Writes the bits left over and the terminator.
    void FlushCodes() {
        if (nbits_ > 0) block_[used_++] = uint8_t(acc_);
        acc_ = 0;
        nbits_ = 0;
        if (used_ > 0) WriteBlock();
        out_.push_back(0);
    }

private:
    static constexpr uint32_t kBlockSize = 255;

    void WriteBlock() {
        out_.push_back(uint8_t(used_));
        out_.insert(out_.end(), block_, block_ + used_);
        used_ = 0;
    }

    std::vector<uint8_t>& out_;
    uint8_t block_[kBlockSize];
    uint32_t used_ = 0;
    uint64_t acc_ = 0;
    int nbits_ = 0;
};

// Both dictionaries map (prefix code, index) to a code. Find returns the
// code or -1 and leaves a handle that Store uses for the new entry.

// The general table: an open-addressing hash whose slots hold
// key << 12 | code, key = prefix << 8 | index; 0 is a free slot, since
// every stored code is above 257. 8192 slots keep it under half full.
class THashDictionary {
public:
    THashDictionary() : slots_(kSlots, 0) {}

    void Clear() { std::fill(slots_.begin(), slots_.end(), 0); }

    int32_t Find(uint32_t prefix, uint32_t index, uint32_t& handle) const {
        uint32_t key = prefix << 8 | index;
        handle = (key * 2654435761u) >> 19;
        for (;;) {
            uint32_t s = slots_[handle];
            if (s == 0) return -1;
            if (s >> 12 == key) return int32_t(s & 0xFFF);
            handle = (handle + 1) & (kSlots - 1);
        }
    }

    void Store(uint32_t handle, uint32_t prefix, uint32_t index, uint32_t code) {
        slots_[handle] = (prefix << 8 | index) << 12 | code;
    }

private:
    static constexpr uint32_t kSlots = 8192;

    std::vector<uint32_t> slots_;
};

// For pictures of at most 16 palette indexes (counters, charts): a dense
// trie, one row of 16 child codes per string, so a lookup is a single load.
// Only the single indexes 0..15 and the made codes 258..4095 have rows, which
// keeps the table (123 KB) below the size malloc maps anew for each picture.
// A row is emptied when its code is made, so a clear only empties the rows
// of the single indexes.
class TDenseDictionary {
public:
    static constexpr uint32_t kMaxIndexes = 16;

    // Rows are emptied before use, so the table starts uninitialised.
    TDenseDictionary() : children_(std::make_unique_for_overwrite<uint16_t[]>(size_t(kRows) * kMaxIndexes)) {
        Clear();
    }

    void Clear() { std::fill_n(children_.get(), kMaxIndexes * kMaxIndexes, kNone); }

    int32_t Find(uint32_t prefix, uint32_t index, uint32_t& handle) const {
        handle = Row(prefix) * kMaxIndexes + index;
        uint16_t code = children_[handle];
        return code == kNone ? -1 : int32_t(code);
    }

    void Store(uint32_t handle, uint32_t, uint32_t, uint32_t code) {
        children_[handle] = uint16_t(code);
        std::fill_n(&children_[size_t(Row(code)) * kMaxIndexes], kMaxIndexes, kNone);
    }

private:
    static constexpr uint16_t kNone = 0xFFFF;
    static constexpr uint32_t kFirstMade = kLzwEndCode + 1;
    static constexpr uint32_t kRows = kMaxIndexes + 4096 - kFirstMade;

    static uint32_t Row(uint32_t code) { return code < kFirstMade ? code : code - (kFirstMade - kMaxIndexes); }

    std::unique_ptr<uint16_t[]> children_;
};

// Code width and the next code to store, between clears.
struct TCodeSpace {
    int size = 9;
    uint32_t limit = 512;
    uint32_t next = kLzwEndCode;
};

// The string prefix + c is new: emits prefix, stores the string and widens
// the codes, or clears the dictionary after code 4094 (true). Kept out of
// line so the lookup loop keeps its values in registers.
template <class TDictionary>
[[gnu::noinline]] bool AddString(TDictionary& dict, TCodePacker& packer, TCodeSpace& space,
                                 uint32_t handle, uint32_t prefix, uint32_t c) {
    packer.PutCode(prefix, space.size);
    dict.Store(handle, prefix, c, ++space.next);
    if (space.next >= space.limit) {
        space.limit *= 2;
        ++space.size;
        return false;
    }
    if (space.next < kLzwLastCode) return false;
    packer.PutCode(c, space.size);
    packer.PutCode(kLzwClearCode, space.size);
    dict.Clear();
    space = TCodeSpace{};
    return true;
}

template <class TDictionary>
void EncodeWith(TDictionary& dict, const uint8_t* indexes, size_t count, TCodePacker& packer) {
    TCodeSpace space;
    packer.PutCode(kLzwClearCode, space.size);
    if (count == 0) {
        // An empty picture still closes its (empty) string as code 0.
        packer.PutCode(0, space.size);
        packer.PutCode(kLzwEndCode, space.size);
        return;
    }

    const uint8_t* p = indexes;
    const uint8_t* const end = indexes + count;
    uint32_t prefix = *p++;  // the current string's code
    bool haveString = true;
    while (p < end) {
        const uint32_t c = *p++;
        uint32_t handle;
        const int32_t code = dict.Find(prefix, c, handle);
        if (code >= 0) {
            prefix = uint32_t(code);
        } else if (!AddString(dict, packer, space, handle, prefix, c)) {
            prefix = c;
        } else {
            // The next index, if any, begins a new string; after a clear on
            // the very last index there is no string left to close.
            haveString = p < end;
            if (haveString) prefix = *p++;
        }
    }
    if (haveString) packer.PutCode(prefix, space.size);
    packer.PutCode(kLzwEndCode, space.size);
}

}  // namespace

void LZWEncode(const uint8_t* indexes, size_t count, std::vector<uint8_t>& out) {
    out.push_back(8);
    TCodePacker packer(out);
    uint8_t highest = count == 0 ? 0 : *std::max_element(indexes, indexes + count);
    if (highest < TDenseDictionary::kMaxIndexes) {
        auto dict = std::make_unique<TDenseDictionary>();
        EncodeWith(*dict, indexes, count, packer);
    } else {
        THashDictionary dict;
        EncodeWith(dict, indexes, count, packer);
    }
    packer.FlushCodes();
}

}  // namespace tlvx
