// Walks everything a storage file holds, the way a reader of a damaged file
// would: every atom's data and links, and every atom that looks like a
// B-tree index through its cursors. Every walk is bounded, so a file whose
// links or tree nodes form a cycle still ends.
#pragma once

#include "store/virtual_storage.h"

namespace tlvx {

// Reads the whole storage; errors propagate.
void WalkStorage(const Ref<IVirtualStorage>& storage);

// Reads one atom and, when it holds an index, walks the index.
void WalkAtom(const Ref<IVirtualAtom>& atom);

}  // namespace tlvx
