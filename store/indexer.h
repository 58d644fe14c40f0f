// Indexes: ordered maps from byte-string keys to atoms, their cursors and the
// factory that creates and opens them.
//
// Keys are compared as unsigned bytes over their common length; on an equal
// prefix the shorter key is smaller. The empty key is a valid key. The forms
// ending in Buf take a pointer and a length and do the same as the string
// forms.
//
// Share rules (an index lives in atoms and keeps the store's rules):
// - an index object holds its root node open for writing as long as it
//   lives, so a second index object over the same index atom in a writable
//   storage fails with code 4, and any live index object blocks the commit of
//   its transaction (code 7);
// - a positioned cursor holds the nodes of its path open for reading: a
//   change that touches one of them fails with code 4; release (or Close) the
//   cursor before changing the index, and before committing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ref.h"
#include "store/virtual_atom.h"
#include "store/virtual_storage.h"

namespace tlvx {

// How a cursor seek picks its key. Any other value misses.
enum TSeekMode : int32_t {
    smEqual = 0,           // the key itself
    smLess = 1,            // the greatest smaller key
    smGreater = 2,         // the smallest greater key
    smLessOrEqual = 3,     // the key, else the greatest smaller key
    smGreaterOrEqual = 4,  // the key, else the smallest greater key
};

class IIndexer;

// The navigation part of a cursor.
class IBidirectionalCursor : public virtual RefCounted {
public:
    // The cursor stands where First leaves it (needs a key).
    virtual bool Bof() = 0;
    // The cursor stands where Last leaves it (needs a key).
    virtual bool Eof() = 0;
    // The index's current root holds no key.
    virtual bool IsEmpty() = 0;
    // Keys in the whole index.
    virtual int32_t GetKeyCount() = 0;
    // To the smallest key; false for an empty index.
    virtual bool First() = 0;
    // To the greatest key; false for an empty index.
    virtual bool Last() = 0;
    // To the next greater key; at the end false, standing on the last key.
    virtual bool Next() = 0;
    // To the next smaller key; at the start false, standing on the first.
    virtual bool Prior() = 0;
};

// A cursor over one index. "Needs a key" methods raise EQmzError 3 "Access is
// denied" when the cursor stands on no key; every method but IsEmpty raises
// it once the cursor is closed. A cursor does not follow changes made to the
// index after it was positioned: reposition it.
class IIndexerCursor : public IBidirectionalCursor {
public:
    // The current key's value, opened with the index's default mode.
    virtual Ref<IVirtualAtom> GetValue() = 0;
    virtual Ref<IVirtualAtom> GetValueWithMode(uint8_t mode) = 0;
    // A new cursor on the same index with its own copy of the position.
    virtual Ref<IIndexerCursor> Clone() = 0;
    // Drops the index and the position.
    virtual void Close() = 0;
    virtual Ref<IIndexer> GetIndexer() = 0;
    // Length of the current key.
    virtual int32_t GetKeyLength() = 0;
    // Copies up to count bytes of the current key; returns how many.
    virtual int32_t ReadKey(void* buffer, int32_t count) = 0;
    // The current key.
    virtual std::string GetKey() = 0;
    // 17/18. Positions by mode; on false the cursor keeps its position.
    virtual bool Seek(std::string_view key, TSeekMode mode) = 0;
    // Reads count bytes at offset of the current key's value (needs a key),
    // as GetValueWithMode(read data) followed by Read would; -1 when the
    // value link is empty. Cheaper than opening the value on a read-only
    // storage (IVirtualAtom::ReadLinkData).
    virtual int32_t ReadValue(int32_t offset, void* buffer, int32_t count) = 0;
    bool SeekBuf(const void* key, int32_t length, TSeekMode mode) {
        return Seek(std::string_view(static_cast<const char*>(key), size_t(length)), mode);
    }
};

// Maximum length of a key; Insert and Find refuse longer ones with
// std::runtime_error "Key too long %d bytes".
inline constexpr int32_t kMaxKeyLength = 65536;

class IIndexer : public virtual RefCounted {
public:
    // 1/2. A new atom (mode 15) made the value of key; an existing key gets it
    // as its new value.
    virtual Ref<IVirtualAtom> Insert(std::string_view key) = 0;
    // 3/4. Sets key to value (null allowed).
    virtual void InsertAtom(std::string_view key, const Ref<IVirtualAtom>& value) = 0;
    // 5/6.
    virtual bool Contains(std::string_view key) = 0;
    // 7/8. The value opened with the default mode (3 read-only, else 15);
    // false and null when absent. A key whose value link is empty is found
    // with a null value.
    virtual bool Find(std::string_view key, Ref<IVirtualAtom>& value) = 0;
    // 9/10.
    virtual bool FindWithMode(std::string_view key, uint8_t mode, Ref<IVirtualAtom>& value) = 0;
    // 11/12. A cursor on key; false and null when absent.
    virtual bool FindCursor(std::string_view key, Ref<IIndexerCursor>& cursor) = 0;
    // A cursor moved to the first key; returns what First returned (the
    // cursor is returned for an empty index too).
    virtual bool GetCursor(Ref<IIndexerCursor>& cursor) = 0;
    // A cursor that stands on no key yet, for a caller that positions it at
    // once (Seek, Last): it reads no node on the way to the first key.
    virtual Ref<IIndexerCursor> NewCursor() = 0;
    // EQmzError 1 "Not implemented".
    virtual Ref<RefCounted> ReservedKeyMethod(std::string_view key) = 0;
    virtual void ReservedMethod() = 0;
    // 17/18. True when key was present and is removed.
    virtual bool Delete(std::string_view key) = 0;
    // Removes every key.
    virtual void Clear() = 0;
    virtual Ref<IVirtualStorage> GetStorage() = 0;
    virtual Ref<IStorageTransaction> GetTransaction() = 0;
    virtual Ref<IVirtualAtom> GetIndexAtom() = 0;

    Ref<IVirtualAtom> InsertBuf(const void* key, int32_t length) { return Insert(View(key, length)); }
    void InsertAtomBuf(const void* key, int32_t length, const Ref<IVirtualAtom>& value) {
        InsertAtom(View(key, length), value);
    }
    bool ContainsBuf(const void* key, int32_t length) { return Contains(View(key, length)); }
    bool FindBuf(const void* key, int32_t length, Ref<IVirtualAtom>& value) {
        return Find(View(key, length), value);
    }
    bool FindBufWithMode(const void* key, int32_t length, uint8_t mode, Ref<IVirtualAtom>& value) {
        return FindWithMode(View(key, length), mode, value);
    }
    bool FindCursorBuf(const void* key, int32_t length, Ref<IIndexerCursor>& cursor) {
        return FindCursor(View(key, length), cursor);
    }
    Ref<RefCounted> ReservedKeyMethodBuf(const void* key, int32_t length) {
        return ReservedKeyMethod(View(key, length));
    }
    bool DeleteBuf(const void* key, int32_t length) { return Delete(View(key, length)); }

private:
    static std::string_view View(const void* key, int32_t length) {
        return std::string_view(static_cast<const char*>(key), size_t(length));
    }
};

// A text picture of an index's tree, for diagnostics.
class IBTreeDump : public virtual RefCounted {
public:
    // Appends one line per key ("N" after a key without value), children
    // indented one blank per level below their parent, "p0" before a first
    // child.
    virtual void DumpTree(std::vector<std::string>& lines) = 0;
};

class IIndexerFactory : public virtual RefCounted {
public:
    // The index kept in indexAtom; EQmzError 152 "not BTREE index" when it
    // is none. params are not read.
    virtual Ref<IIndexer> OpenIndex(const Ref<IVirtualAtom>& indexAtom, std::string_view requiredCaps,
                                    std::string_view params) = 0;
    // A new empty index in storage (a storage or a transaction); its atom
    // goes to indexAtom. params: "PageSize=n" (even, 4..1024; default 40).
    virtual Ref<IIndexer> CreateIndex(const Ref<IVirtualStorage>& storage, Ref<IVirtualAtom>& indexAtom,
                                      std::string_view requiredCaps, std::string_view params) = 0;
    // The index at link linkIndex of parent, created and linked there when
    // the link is empty.
    virtual Ref<IIndexer> OpenOrCreateIndex(const Ref<IVirtualAtom>& parent, int32_t linkIndex,
                                            std::string_view requiredCaps, std::string_view params) = 0;
    // atom holds an index header and a root link.
    virtual bool IsBTreeIndex(const Ref<IVirtualAtom>& atom) = 0;
};

}  // namespace tlvx
