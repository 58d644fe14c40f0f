// The file storage: the storage interfaces over the transactional atom store
// of one storage file.
//
// Outside any transaction the storage works on the store's root level
// (transaction 0); a transaction object owns one store transaction and ends
// when it commits or aborts, or when an enclosing transaction aborts (the
// store reuses numbers, so a stale object must never reach a new
// transaction). Every atom object is closed before the store is aborted or
// destroyed: force-closing closes the atoms first, then aborts the
// transactions, then releases the store.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "store/capabilities.h"
#include "store/orv_base.h"
#include "store/storage_factory.h"
#include "store/storage_registry.h"
#include "store/virtual_storage.h"

namespace tlvx {

class TStorageTransaction;
class TVirtualAtom;

class TOrvStorage : public IVirtualStorage,
                    public IStorageInfo,
                    public TCapabilities,
                    public TRegisteredStorage {
public:
    // Takes over an open store; readOnly when the file was opened read-only.
    TOrvStorage(std::unique_ptr<TOrvBase> base, bool readOnly);
    ~TOrvStorage() override;

    // Opens (or creates) the file with the factory's open parameters.
    static Ref<TOrvStorage> Open(const std::string& fileName, const TStorageOpenParams& params);

    uint8_t DefaultMode() const { return readOnly_ ? amRead : amReadWrite; }
    bool IsReadOnly() const { return readOnly_; }

    // IVirtualStorage
    Ref<IVirtualAtom> CreateAtom() override;
    Ref<IVirtualAtom> CreateAtomWithMode(uint8_t mode) override;
    Ref<IVirtualAtom> OpenRootAtom() override;
    Ref<IVirtualAtom> OpenRootAtomWithMode(uint8_t mode) override;
    Ref<IVirtualAtom> OpenAtom(const TAtomID& id) override;
    Ref<IVirtualAtom> OpenAtomWithMode(const TAtomID& id, uint8_t mode) override;
    void Flush() override;
    Ref<IStorageTransaction> StartTransaction() override;
    TTransactionArray GetTransactions() override;
    Ref<IEnumVirtualAtoms> EnumAtoms(uint8_t mode) override;
    uint8_t GetAccessMask() override;
    TGUID GetDataClass() override;
    TGUID GetStorageID() override;
    std::string GetURL() override;

    // IStorageInfo
    TAtomID GetRootAtomID() override { return MakeID(TOrvBase::kRootAtom); }
    TAtomID GetSecondRootAtomID() override { return MakeID(TOrvBase::kSecondAtom); }
    Ref<IVirtualAtom> OpenSecondRootAtom() override;
    Ref<IVirtualAtom> OpenSecondRootAtomWithMode(uint8_t mode) override;
    uint16_t GetMaxVersion() override;
    uint16_t GetMinVersion() override;
    double GetCreated() override;
    double GetModified() override;
    int32_t GetCacheCount() override;
    int32_t GetCacheCapacity() override;
    void SetCacheCapacity(int32_t capacity) override;
    void GetCacheStats(int64_t& lookups, int64_t& hits) override;
    void GetFileSizes(int64_t& logicalSize, int64_t& physicalSize) override;

    // TRegisteredStorage
    void ForceClose() noexcept override;

    // Used by the transaction, atom and enumerator objects.
    TOrvBase& Base();
    TAtomID MakeID(uint32_t number) const { return TAtomID{storageId_, number, 0}; }
    uint8_t MaskMode(uint8_t mode) const { return readOnly_ ? uint8_t(mode & DefaultMode()) : mode; }
    Ref<IVirtualAtom> NewAtom(const Ref<IStorageTransaction>& tr, uint32_t trId, uint8_t mode);
    Ref<IVirtualAtom> Open(const Ref<IStorageTransaction>& tr, uint32_t trId, uint32_t number,
                           uint8_t mode);
    Ref<IVirtualAtom> OpenByID(const Ref<IStorageTransaction>& tr, uint32_t trId, const TAtomID& id,
                               uint8_t mode);
    // Aborts trId and its descendants, then ends their front objects.
    void AbortTransaction(uint32_t trId);
    // On a read-only file: the stored data of atom number read straight from
    // the cache, as an open atom would read it (code 5 when there is none).
    int32_t ReadStoredData(uint32_t number, int32_t offset, void* buffer, int32_t count);

    void AtomOpened(TVirtualAtom* atom) noexcept;
    void AtomClosed(TVirtualAtom* atom) noexcept;
    void TransactionStarted(TStorageTransaction* tr) { liveTransactions_.insert(tr); }
    void TransactionGone(TStorageTransaction* tr) noexcept { liveTransactions_.erase(tr); }
    std::vector<TStorageTransaction*>& TopLevel() { return topLevel_; }

private:
    void CloseStore() noexcept;

    std::unique_ptr<TOrvBase> base_;
    bool readOnly_;
    TGUID storageId_;
    TGUID dataClass_;
    std::string url_;
    std::vector<TStorageTransaction*> topLevel_;       // uncounted, start order
    std::set<TStorageTransaction*> liveTransactions_;  // uncounted
    // Uncounted, linked through the atoms themselves: opening and closing
    // an atom costs no allocation.
    TVirtualAtom* openAtoms_ = nullptr;
};

// The factory's creation hook for storage files: the default one.
TStorageCreator OrvStorageCreator();

}  // namespace tlvx
