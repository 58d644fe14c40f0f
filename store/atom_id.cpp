#include "store/atom_id.h"

#include "platform/byte_codec.h"
namespace tlvx {

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
