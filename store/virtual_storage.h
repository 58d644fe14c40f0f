// An open storage and the (nested) transactions on it.
//
// A transaction offers every IVirtualStorage operation, done inside it.
// Transaction rules every implementation keeps:
// - Commit merges into the parent (a top-level commit reaches the file);
//   Abort discards the transaction and every descendant. Both raise EQmzError
//   7 while atoms are open ("Cannot commit transaction: some atoms are still
//   opened" for atoms open directly in it; "Cannot abort transaction: some
//   atoms are still opened" for atoms open in it or below) and the
//   transaction stays active; on an ended transaction they raise code 7
//   "Cannot commit transaction" / "Cannot abort transaction".
// - Once ended, GetTransactionID and GetAccessMask answer 0 and every
//   operation that needs the transaction raises code 3 "Access is denied".
// - Dropping the last reference to an active transaction aborts it; errors
//   there are swallowed (destructors never throw).
// - An abort also ends every child transaction object (recursively): the
//   store reuses transaction numbers, so a stale child must never act on,
//   or abort, an unrelated transaction that got its number.
// - After a commit the children still open move to the parent and stay
//   valid.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/guid.h"
#include "platform/ref.h"
#include "store/access_modes.h"
#include "store/atom_id.h"
#include "store/virtual_atom.h"

namespace tlvx {

class IStorageTransaction;
using TTransactionArray = std::vector<Ref<IStorageTransaction>>;

class IVirtualStorage : public virtual RefCounted {
public:
    // New atom, mode 15 (a storage: outside any transaction).
    virtual Ref<IVirtualAtom> CreateAtom() = 0;
    virtual Ref<IVirtualAtom> CreateAtomWithMode(uint8_t mode) = 0;
    // Atom 1 with the default mode (3 read-only, else 15).
    virtual Ref<IVirtualAtom> OpenRootAtom() = 0;
    // Mode masked with the default mode when the file is read-only.
    virtual Ref<IVirtualAtom> OpenRootAtomWithMode(uint8_t mode) = 0;
    // With the default mode.
    virtual Ref<IVirtualAtom> OpenAtom(const TAtomID& id) = 0;
    // An id of another storage raises code 2 "Capability is not
    // supported"; a number that is no atom raises code 5.
    virtual Ref<IVirtualAtom> OpenAtomWithMode(const TAtomID& id, uint8_t mode) = 0;
    // Flushes the file to disk (nothing inside a transaction).
    virtual void Flush() = 0;
    // A new top-level transaction (a child, inside a transaction).
    virtual Ref<IStorageTransaction> StartTransaction() = 0;
    // The top-level transactions (inside a transaction: its children) in
    // start order, as long as their objects live.
    virtual TTransactionArray GetTransactions() = 0;
    // Every atom as seen here, each opened with mode.
    virtual Ref<IEnumVirtualAtoms> EnumAtoms(uint8_t mode) = 0;
    // 3 read-only, else 31; a transaction's own mask (0 once ended).
    virtual uint8_t GetAccessMask() = 0;
    // The file's data-class GUID.
    virtual TGUID GetDataClass() = 0;
    // The file's instance GUID.
    virtual TGUID GetStorageID() = 0;
    // "file://" followed by the full path of the file.
    virtual std::string GetURL() = 0;
};

class IStorageTransaction : public IVirtualStorage {
public:
    virtual void Commit() = 0;
    virtual void Abort() = 0;
    virtual Ref<IVirtualStorage> GetStorage() = 0;
    // The store's number of the transaction; 0 once ended.
    virtual int32_t GetTransactionID() = 0;
    // Null at top level.
    virtual Ref<IStorageTransaction> GetParent() = 0;
};

// File-level facts of a storage, reached with RefCast / dynamic_cast from a
// storage or a transaction. Getters 5-13 answer 0 once the storage has been
// force-closed.
class IStorageInfo : public virtual RefCounted {
public:
    // Atom 1.
    virtual TAtomID GetRootAtomID() = 0;
    // Atom 2.
    virtual TAtomID GetSecondRootAtomID() = 0;
    // Atom 2, mode 15 (inside a transaction: opened in it).
    virtual Ref<IVirtualAtom> OpenSecondRootAtom() = 0;
    virtual Ref<IVirtualAtom> OpenSecondRootAtomWithMode(uint8_t mode) = 0;
    virtual uint16_t GetMaxVersion() = 0;
    virtual uint16_t GetMinVersion() = 0;
    // Days since 1899-12-30, local time.
    virtual double GetCreated() = 0;
    virtual double GetModified() = 0;
    // Atoms in the atom cache.
    virtual int32_t GetCacheCount() = 0;
    virtual int32_t GetCacheCapacity() = 0;
    virtual void SetCacheCapacity(int32_t capacity) = 0;
    virtual void GetCacheStats(int64_t& lookups, int64_t& hits) = 0;
    // Logical size from the header, physical size of the file.
    virtual void GetFileSizes(int64_t& logicalSize, int64_t& physicalSize) = 0;
};

}  // namespace tlvx
