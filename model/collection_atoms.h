// The atom and index steps every collection of the counter database takes.
//
// Collections are views over their root atom: they open an index for one
// operation and drop it before the operation ends, so no index or cursor
// outlives the call and blocks a later change (code 4) or the commit (code
// 7). Nothing here creates an atom on a storage opened read-only: callers
// ask IsReadOnlyAtom (node_atoms.h) first and read a missing link as empty
// there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/guid.h"
#include "platform/ref.h"
#include "store/indexer.h"
#include "store/virtual_atom.h"

namespace tlvx {

// Raises EQmzError 3 "Access is denied" when IsReadOnlyAtom.
void RequireChange(IVirtualAtom& atom);

// The atom at link, null when the link is empty. A negative link raises
// std::out_of_range.
Ref<IVirtualAtom> OpenLinkAt(IVirtualAtom& parent, int32_t link);

// The atom at link, made empty and linked there when the link is empty
// (RequireChange first).
Ref<IVirtualAtom> OpenOrCreateLinkAt(IVirtualAtom& parent, int32_t link);

// The index kept at link, null when the link is empty; EQmzError 152 when
// the atom there holds no index.
Ref<IIndexer> OpenIndexAt(IVirtualAtom& parent, int32_t link);

// The index kept at link; an empty link raises ENilObject naming what.
Ref<IIndexer> NeedIndexAt(IVirtualAtom& parent, int32_t link, std::string_view what);

// The index at link, created and linked there when the link is empty
// (RequireChange first).
Ref<IIndexer> OpenOrCreateIndexAt(IVirtualAtom& parent, int32_t link);

// A new empty index made in parent's transaction and set as link (drop it
// before opening the link again).
Ref<IIndexer> CreateIndexAt(IVirtualAtom& parent, int32_t link);

// The value of key opened for reading, null when the key is absent. A key
// found with an empty value raises ENilObject.
Ref<IVirtualAtom> FindForReading(IIndexer& index, std::string_view key);

// The value of key opened for writing; a missing key is inserted with a new
// empty value first. inserted tells which happened.
Ref<IVirtualAtom> FindOrInsert(IIndexer& index, std::string_view key, bool* inserted = nullptr);

// Every key of the index in index order; the cursor is gone on return.
std::vector<std::string> IndexKeys(IIndexer& index);

// The index key of a GUID: its 16 bytes in the platform layout.
std::string GuidKey(const TGUID& id);

// The 4-byte little-endian key of an int32 (skip addresses, visitor keys:
// index order is not numeric order).
std::string LittleEndianKey32(uint32_t value);

// name + ". Last modified at " + the clock's date and time now
// ("08.12.2026 13:45:30"): the root text of the lists that stamp changes.
std::string LastModifiedText(std::string_view name);

}  // namespace tlvx
