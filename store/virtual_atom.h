// An open atom as clients see it: data bytes and numbered links, opened in a
// transaction or outside any.
//
// Every method except Close, GetStorage, GetTransaction and GetStream raises
// EQmzError 3 "Access is denied" on a closed atom; a method whose mode bit is
// missing from the atom's access mode raises EQmzError 3 "Atom access is
// denied" (read data 1, read links 2, write data 4, write links 8).
//
// Offsets and sizes are 32-bit; range arithmetic is done in 64 bits and a
// write or size outside 0..INT32_MAX raises before anything changes
// (CheckAtomRange below). Reading at a negative offset or beyond the end
// reads nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ref.h"
#include "platform/stream.h"
#include "store/atom_id.h"

namespace tlvx {

class IVirtualStorage;
class IStorageTransaction;

class IVirtualAtom : public virtual RefCounted {
public:
    // Link index is set (read links).
    virtual bool HasLink(int32_t index) = 0;
    // The link's target opened with the storage's default mode; null when
    // the link is empty.
    virtual Ref<IVirtualAtom> OpenLink(int32_t index) = 0;
    // Opened through the atom's transaction (or its storage when it has
    // none); the mode is masked with the storage's default mode on a
    // read-only file. A target that does not exist raises code 10 "Broken
    // link (atom does not exist)".
    virtual Ref<IVirtualAtom> OpenLinkWithMode(int32_t index, uint8_t mode) = 0;
    // Link index := the atom number of atom (0 for null), extending the
    // links when index is beyond the last one (write links). An atom of
    // another storage raises code 2 "Capability is not supported" and leaves
    // the link unchanged.
    virtual void SetLink(int32_t index, const Ref<IVirtualAtom>& atom) = 0;
    // Inserts a link at index; later links move up one place. Same check.
    virtual void InsertLink(int32_t index, const Ref<IVirtualAtom>& atom) = 0;
    // Removes link index; later links move down. Nothing beyond the end.
    virtual void DeleteLink(int32_t index) = 0;
    // Bytes read from offset (read data).
    virtual int32_t Read(int32_t offset, void* buffer, int32_t count) = 0;
    // Writes count bytes at offset, growing the data (zero-filled) as
    // needed; returns count (write data).
    virtual int32_t Write(int32_t offset, const void* buffer, int32_t count) = 0;
    // False for null; true when other is this same atom of this storage.
    virtual bool IsSameAtom(const Ref<IVirtualAtom>& other) = 0;
    // External reference count + 1 (not on a read-only file); the id
    // either way.
    virtual TAtomID AddExternalRef() = 0;
    // External reference count - 1 (not on a read-only file).
    virtual void ReleaseExternalRef() = 0;
    // Closes the atom; afterwards every checked method raises code 3.
    // Closing twice does nothing.
    virtual void Close() = 0;
    // Opens this atom again through storage (a storage or a transaction;
    // null means the own storage) with mode.
    virtual Ref<IVirtualAtom> Reopen(const Ref<IVirtualStorage>& storage, uint8_t mode) = 0;
    // Number of links (read links).
    virtual int32_t GetLinkCount() = 0;
    // All data bytes (read data).
    virtual std::vector<uint8_t> GetAsBytes() = 0;
    // All data bytes as 8-bit text (read data).
    virtual std::string GetAsString() = 0;
    // Data length (read data).
    virtual int32_t GetSize() = 0;
    // The atom's own stream over its data, owned by the atom.
    virtual TStream& GetStream() = 0;
    virtual Ref<IVirtualStorage> GetStorage() = 0;
    // Null when the atom was opened outside a transaction.
    virtual Ref<IStorageTransaction> GetTransaction() = 0;
    virtual uint8_t GetAccessMode() = 0;
    // Dropped links release their targets (write links).
    virtual void SetLinkCount(int32_t count) = 0;
    // The size becomes the length and the bytes are written at 0.
    virtual void SetAsBytes(const std::vector<uint8_t>& bytes) = 0;
    // Likewise with text.
    virtual void SetAsString(std::string_view text) = 0;
    // (write data)
    virtual void SetSize(int32_t size) = 0;
    // Changes the access mode (masked on a read-only file); a conflict
    // with other open atoms raises code 4 "Atom share violation" and keeps
    // the old mode.
    virtual void SetAccessMode(uint8_t mode) = 0;

    // Reads count bytes at offset of the data of link index's target, as
    // OpenLinkWithMode(index, read data) followed by Read would, and returns
    // the bytes read; -1 when the link is empty. A storage that can read the
    // target without opening it (a read-only one: nothing there can differ
    // from what is stored) does so.
    virtual int32_t ReadLinkData(int32_t index, int32_t offset, void* buffer, int32_t count);
};

// The identity side of an open atom, reached with RefCast / dynamic_cast.
class IAtomIdentity : public virtual RefCounted {
public:
    // The counts as the atom's transaction sees them: inside a nested
    // transaction these are its changes against the parent.
    virtual void GetRefCounts(int32_t& linkCount, int32_t& externalRefCount) = 0;
    virtual TAtomID GetID() = 0;
};

// Walks every atom of a storage or transaction.
class IEnumVirtualAtoms : public virtual RefCounted {
public:
    // A new enumerator at the same position, same mode and storage.
    virtual Ref<IEnumVirtualAtoms> Clone() = 0;
    // The next atom opened with the enumerator's mode, null at the end.
    // Atoms that are locked, denied, freed or broken (codes 3, 4, 5, 10) are
    // skipped; other errors (I/O, CRC) propagate.
    virtual Ref<IVirtualAtom> Next() = 0;
    // Starts again at atom number 1.
    virtual void Reset() = 0;
};

// Raises EQmzError 3 "Access is denied" unless offset >= 0, count >= 0 and
// offset + count <= INT32_MAX.
void CheckAtomRange(int64_t offset, int64_t count);

// True for the errors an enumerator skips (codes 3, 4, 5, 10).
bool IsSkippableAtomError(int32_t code);

}  // namespace tlvx
