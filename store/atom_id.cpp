#include "store/atom_id.h"

namespace tlvx {

namespace {

void PutU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

std::array<uint8_t, TAtomID::kSize> TAtomID::ToBytes() const {
    std::array<uint8_t, kSize> out{};
    auto guid = StorageID.ToBytes();
    for (size_t i = 0; i < guid.size(); ++i) out[i] = guid[i];
    PutU32(out.data() + 16, AtomNumber);
    PutU32(out.data() + 20, Reserved);
    return out;
}

TAtomID TAtomID::FromBytes(const uint8_t* bytes) {
    TAtomID id;
    id.StorageID = TGUID::FromBytes(bytes);
    id.AtomNumber = GetU32(bytes + 16);
    id.Reserved = GetU32(bytes + 20);
    return id;
}

}  // namespace tlvx
