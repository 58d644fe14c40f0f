#include "store/clean_pages.h"

namespace tlvx {

const uint8_t* TCleanPages::Find(uint64_t index) {
    for (size_t i = 0; i < kSlots; ++i) {
        TSlot& s = slots_[i];
        if (s.lastUse != 0 && s.index == index) {
            s.lastUse = ++tick_;
            return SlotData(i);
        }
    }
    return nullptr;
}

uint8_t* TCleanPages::Take(uint64_t index) {
    if (!data_) data_.reset(new uint8_t[kSlots * kPageSize]);
    size_t victim = 0;
    for (size_t i = 0; i < kSlots; ++i) {
        if (slots_[i].lastUse != 0 && slots_[i].index == index) {
            victim = i;
            break;
        }
        if (slots_[i].lastUse < slots_[victim].lastUse) victim = i;
    }
    slots_[victim] = {index, ++tick_};
    return SlotData(victim);
}

void TCleanPages::Drop(uint64_t index) {
    for (TSlot& s : slots_)
        if (s.index == index) s.lastUse = 0;
}

void TCleanPages::DropFrom(uint64_t index) {
    for (TSlot& s : slots_)
        if (s.index >= index) s.lastUse = 0;
}

void TCleanPages::Clear() {
    for (TSlot& s : slots_) s.lastUse = 0;
}

}  // namespace tlvx
