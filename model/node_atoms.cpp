#include "model/node_atoms.h"

#include <string>

#include "model/need.h"
#include "platform/byte_codec.h"
#include "store/access_modes.h"

namespace tlvx {

Ref<IVirtualStorage> StorageOf(IVirtualAtom& atom) {
    Ref<IStorageTransaction> tr = atom.GetTransaction();
    if (tr) return tr;
    return atom.GetStorage();
}

bool IsReadOnlyAtom(IVirtualAtom& atom) {
    Ref<IVirtualStorage> storage = StorageOf(atom);
    return !storage || (storage->GetAccessMask() & amCreateAtoms) == 0;
}

int32_t ReadInt32(IVirtualAtom& atom, int32_t offset) {
    uint8_t bytes[4] = {0, 0, 0, 0};
    atom.Read(offset, bytes, 4);
    return static_cast<int32_t>(GetU32(bytes));
}

void WriteInt32(IVirtualAtom& atom, int32_t value, int32_t offset) {
    uint8_t bytes[4];
    PutU32(bytes, static_cast<uint32_t>(value));
    atom.Write(offset, bytes, 4);
}

Ref<IVirtualAtom> OpenNeededLink(IVirtualAtom& atom, int32_t index, std::string_view what) {
    Ref<IVirtualAtom> target = atom.OpenLink(index);
    Need(target, what);
    return target;
}

uint32_t AtomNumberOf(const Ref<IVirtualAtom>& atom) {
    Ref<IAtomIdentity> identity = RefCast<IAtomIdentity>(atom);
    return Need(identity, "atom identity").GetID().AtomNumber;
}

}  // namespace tlvx
