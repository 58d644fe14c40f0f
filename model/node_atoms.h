// Small helpers shared by the data model's thin views over atoms: where new
// atoms of an atom are made, whether its storage may be changed at all, and
// 32-bit counters kept as 4 little-endian bytes.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/ref.h"
#include "store/virtual_atom.h"
#include "store/virtual_storage.h"

namespace tlvx {

// The atom's transaction, or its storage when it was opened outside any.
Ref<IVirtualStorage> StorageOf(IVirtualAtom& atom);

// True when new atoms cannot be made where atom lives (a storage opened
// read-only has access mask 3): views then read defaults instead of creating
// or rewriting anything.
bool IsReadOnlyAtom(IVirtualAtom& atom);

// Counters wrap as 32-bit values, as the stored format always did.
inline int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// The int32 at offset (missing bytes read as 0).
int32_t ReadInt32(IVirtualAtom& atom, int32_t offset = 0);
void WriteInt32(IVirtualAtom& atom, int32_t value, int32_t offset = 0);

// A link that must be there: raises ENilObject naming what when it is empty.
Ref<IVirtualAtom> OpenNeededLink(IVirtualAtom& atom, int32_t index, std::string_view what);

// The atom number of an open atom.
uint32_t AtomNumberOf(const Ref<IVirtualAtom>& atom);

}  // namespace tlvx
