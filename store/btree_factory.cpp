#include "store/btree_factory.h"

#include <array>
#include <cstring>

#include "platform/byte_codec.h"
#include "store/btree_index.h"
#include "store/capabilities.h"
#include "store/errors.h"
#include "store/param_parser.h"

namespace tlvx {

namespace {

// The 24 header bytes, or false when the atom holds fewer.
bool ReadHeader(const Ref<IVirtualAtom>& atom, std::array<uint8_t, kBTreeIndexHeaderSize>& header) {
    return atom->Read(0, header.data(), kBTreeIndexHeaderSize) == kBTreeIndexHeaderSize;
}

[[noreturn]] void NotIndex() { throw EQmzError(ecNotIndex, kNotBTreeIndex); }

}  // namespace

uint32_t ParsePageSize(std::string_view params) {
    TParamList list;
    list.Parse(params);
    const TParam* p = list.FindParam("PageSize");
    if (!p) return kDefaultPageSize;
    int32_t value;
    try {
        value = p->AsInteger();
    } catch (const EConvertError&) {
        throw EQmzError(ecInvalidParameter, kInvalidPageSize);
    }
    if (!IsValidPageSize(value)) throw EQmzError(ecInvalidParameter, kPageSizeOutOfRange);
    return uint32_t(value);
}

bool TBtreeFactory::IsBTreeIndex(const Ref<IVirtualAtom>& atom) {
    std::array<uint8_t, kBTreeIndexHeaderSize> header{};
    if (!ReadHeader(atom, header)) return false;
    const auto type = kBTreeIndexType.ToBytes();
    if (std::memcmp(header.data(), type.data(), type.size()) != 0) return false;
    if (GetU32(header.data() + 16) != kBTreeIndexVersion) return false;
    try {
        return bool(atom->OpenLinkWithMode(0, 0));
    } catch (const EQmzError& e) {
        if (e.ErrorCode() == ecBrokenLink) return false;
        throw;
    }
}

// The checks of IsBTreeIndex, with the root opened once: by the index, which
// refuses a missing root instead of making one.
Ref<IIndexer> TBtreeFactory::OpenIndex(const Ref<IVirtualAtom>& indexAtom, std::string_view requiredCaps,
                                       std::string_view) {
    std::array<uint8_t, kBTreeIndexHeaderSize> header{};
    if (!ReadHeader(indexAtom, header)) NotIndex();
    const auto type = kBTreeIndexType.ToBytes();
    if (std::memcmp(header.data(), type.data(), type.size()) != 0) NotIndex();
    if (GetU32(header.data() + 16) != kBTreeIndexVersion) NotIndex();
    const uint32_t pageSize = GetU32(header.data() + 20);
    if (!IsValidPageSize(pageSize)) NotIndex();
    return MakeRef<TBTreeIndex>(indexAtom, 0, pageSize, requiredCaps, true);
}

Ref<IIndexer> TBtreeFactory::CreateIndex(const Ref<IVirtualStorage>& storage, Ref<IVirtualAtom>& indexAtom,
                                         std::string_view requiredCaps, std::string_view params) {
    Ref<IVirtualAtom> atom = storage->CreateAtom();
    const uint32_t pageSize = ParsePageSize(params);
    std::array<uint8_t, kBTreeIndexHeaderSize> header{};
    const auto type = kBTreeIndexType.ToBytes();
    std::memcpy(header.data(), type.data(), type.size());
    PutU32(header.data() + 16, kBTreeIndexVersion);
    PutU32(header.data() + 20, pageSize);
    atom->Write(0, header.data(), kBTreeIndexHeaderSize);
    Ref<IIndexer> index = MakeRef<TBTreeIndex>(atom, 0, pageSize, requiredCaps);
    indexAtom = atom;
    return index;
}

Ref<IIndexer> TBtreeFactory::OpenOrCreateIndex(const Ref<IVirtualAtom>& parent, int32_t linkIndex,
                                               std::string_view requiredCaps, std::string_view params) {
    if (Ref<IVirtualAtom> atom = parent->OpenLink(linkIndex)) return OpenIndex(atom, requiredCaps, params);
    Ref<IStorageTransaction> tr = parent->GetTransaction();
    Ref<IVirtualStorage> creator = tr ? Ref<IVirtualStorage>(tr) : parent->GetStorage();
    Ref<IVirtualAtom> atom;
    Ref<IIndexer> index = CreateIndex(creator, atom, requiredCaps, params);
    parent->SetLink(linkIndex, atom);
    return index;
}

const Ref<IIndexerFactory>& IndexFactory() {
    static const Ref<IIndexerFactory> factory = MakeRef<TBtreeFactory>();
    return factory;
}

}  // namespace tlvx
