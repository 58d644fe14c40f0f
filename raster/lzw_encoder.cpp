#include "raster/lzw_encoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace tlvx {

namespace {

// Packs codes LSB first straight into sub-blocks of out.
class TCodePacker {
public:
    explicit TCodePacker(std::vector<uint8_t>& out) : out_(out) { StartBlock(); }

    void PutCode(uint32_t code, int bits) {
        acc_ |= uint64_t(code) << nbits_;
        nbits_ += bits;
        while (nbits_ >= 8) {
            PutByte(uint8_t(acc_));
            acc_ >>= 8;
            nbits_ -= 8;
        }
    }

    // Writes the bits left over and the terminator.
    void FlushCodes() {
        if (nbits_ > 0) PutByte(uint8_t(acc_));
        acc_ = 0;
        nbits_ = 0;
        size_t used = out_.size() - lengthAt_ - 1;
        if (used == 0)
            out_.pop_back();  // the placeholder of a block never started
        else
            out_[lengthAt_] = uint8_t(used);
        out_.push_back(0);
    }

private:
    void StartBlock() {
        lengthAt_ = out_.size();
        out_.push_back(255);
    }

    void PutByte(uint8_t b) {
        out_.push_back(b);
        if (out_.size() - lengthAt_ - 1 == 255) StartBlock();
    }

    std::vector<uint8_t>& out_;
    size_t lengthAt_ = 0;
    uint64_t acc_ = 0;
    int nbits_ = 0;
};

// Both dictionaries map (prefix code, index) to a code. Find returns the
// code or -1 and leaves a handle that Store uses for the new entry.

// The general table: an open-addressing hash whose slots hold
// key << 12 | code, key = prefix << 8 | index. 8192 slots keep it under half
// full.
class THashDictionary {
public:
    THashDictionary() { Clear(); }

    void Clear() { std::memset(slots_, 0xFF, sizeof slots_); }

    int32_t Find(uint32_t prefix, uint32_t index, uint32_t& handle) const {
        uint32_t key = prefix << 8 | index;
        handle = (key * 2654435761u) >> 19;
        for (;;) {
            uint32_t s = slots_[handle];
            if (s == kEmpty) return -1;
            if (s >> 12 == key) return int32_t(s & 0xFFF);
            handle = (handle + 1) & (kSlots - 1);
        }
    }

    void Store(uint32_t handle, uint32_t prefix, uint32_t index, uint32_t code) {
        slots_[handle] = (prefix << 8 | index) << 12 | code;
    }

private:
    static constexpr uint32_t kSlots = 8192;
    static constexpr uint32_t kEmpty = 0xFFFFFFFF;

    uint32_t slots_[kSlots];
};

// For pictures of at most 16 palette indexes (counters, charts): a dense
// trie, one row of 16 child codes per code, so a lookup is a single load.
// A row is emptied when its code is made, so a clear only empties the rows
// of the single indexes.
class TDenseDictionary {
public:
    static constexpr uint32_t kMaxIndexes = 16;

    // Rows are emptied before use, so the table starts uninitialised.
    TDenseDictionary()
        : children_(std::make_unique_for_overwrite<uint16_t[]>(size_t(4096) * kMaxIndexes)) {
        Clear();
    }

    void Clear() { std::fill_n(children_.get(), 256 * kMaxIndexes, kNone); }

    int32_t Find(uint32_t prefix, uint32_t index, uint32_t& handle) const {
        handle = prefix * kMaxIndexes + index;
        uint16_t code = children_[handle];
        return code == kNone ? -1 : int32_t(code);
    }

    void Store(uint32_t handle, uint32_t, uint32_t, uint32_t code) {
        children_[handle] = uint16_t(code);
        std::fill_n(&children_[size_t(code) * kMaxIndexes], kMaxIndexes, kNone);
    }

private:
    static constexpr uint16_t kNone = 0xFFFF;

    std::unique_ptr<uint16_t[]> children_;
};

template <class TDictionary>
void EncodeWith(TDictionary& dict, const uint8_t* indexes, size_t count, TCodePacker& packer) {
    int size = 9;
    uint32_t limit = 512, next = kLzwEndCode;
    packer.PutCode(kLzwClearCode, size);

    bool haveString = false;
    uint32_t prefix = 0;
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = indexes[i];
        if (!haveString) {
            prefix = c;
            haveString = true;
            continue;
        }
        uint32_t handle;
        int32_t code = dict.Find(prefix, c, handle);
        if (code >= 0) {
            prefix = uint32_t(code);
            continue;
        }
        packer.PutCode(prefix, size);
        dict.Store(handle, prefix, c, ++next);
        prefix = c;
        if (next >= limit) {
            limit *= 2;
            ++size;
        } else if (next >= kLzwLastCode) {
            packer.PutCode(c, size);
            packer.PutCode(kLzwClearCode, size);
            dict.Clear();
            size = 9;
            limit = 512;
            next = kLzwEndCode;
            haveString = false;
        }
    }
    // After a clear on the very last index there is no string left to close;
    // an empty picture still closes its (empty) string as code 0.
    if (haveString || count == 0) packer.PutCode(prefix, size);
    packer.PutCode(kLzwEndCode, size);
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
        auto dict = std::make_unique<THashDictionary>();
        EncodeWith(*dict, indexes, count, packer);
    }
    packer.FlushCodes();
}

}  // namespace tlvx
