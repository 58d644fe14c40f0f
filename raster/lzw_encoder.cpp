#include "raster/lzw_encoder.h"

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

// The string table: (prefix code, index) -> code, as an open-addressing hash
// whose slots hold key << 12 | code. 8192 slots keep it under half full.
class TLzwDictionary {
public:
    TLzwDictionary() { Clear(); }

    void Clear() { std::memset(slots_, 0xFF, sizeof slots_); }

    // The code of prefix + index, or -1.
    int32_t Find(uint32_t key, uint32_t& slot) const {
        slot = Hash(key);
        for (;;) {
            uint32_t s = slots_[slot];
            if (s == kEmpty) return -1;
            if (s >> 12 == key) return int32_t(s & 0xFFF);
            slot = (slot + 1) & (kSlots - 1);
        }
    }

    // Stores at the empty slot Find ended on.
    void Store(uint32_t slot, uint32_t key, uint32_t code) { slots_[slot] = key << 12 | code; }

private:
    static constexpr uint32_t kSlots = 8192;
    static constexpr uint32_t kEmpty = 0xFFFFFFFF;

    static uint32_t Hash(uint32_t key) { return (key * 2654435761u) >> 19; }

    uint32_t slots_[kSlots];
};

}  // namespace

void LZWEncode(const uint8_t* indexes, size_t count, std::vector<uint8_t>& out) {
    out.push_back(8);
    TCodePacker packer(out);
    auto dict = std::make_unique<TLzwDictionary>();
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
        uint32_t key = prefix << 8 | c, slot;
        int32_t code = dict->Find(key, slot);
        if (code >= 0) {
            prefix = uint32_t(code);
            continue;
        }
        packer.PutCode(prefix, size);
        dict->Store(slot, key, ++next);
        prefix = c;
        if (next >= limit) {
            limit *= 2;
            ++size;
        } else if (next >= kLzwLastCode) {
            packer.PutCode(c, size);
            packer.PutCode(kLzwClearCode, size);
            dict->Clear();
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
    packer.FlushCodes();
}

}  // namespace tlvx
