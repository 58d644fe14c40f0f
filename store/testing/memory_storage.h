// An in-memory storage with nested transactions: the test double of the
// file storage for everything built on the storage interfaces.
//
// What it keeps of the file storage's rules:
// - atoms 1 and 2 exist in every new volume; numbers start at 1 and are not
//   reused; an atom number that never existed (or whose creating transaction
//   aborted) raises code 5, through a link code 10;
// - nested transactions see their parents' state and their own changes
//   (copy-on-write per atom); commit merges into the parent, abort discards
//   the transaction and its descendants; transaction numbers are reused last
//   in, first out, as the file store does, and an abort ends the child
//   transaction objects too;
// - share rules per atom across every open atom object of the storage: one
//   data writer or many data readers, and independently for the links
//   (code 4 "Atom share violation");
// - commit with atoms open in the transaction, abort with atoms open in it
//   or below: code 7; closed atoms, ended transactions: code 3 "Access is
//   denied"; missing mode bits: code 3 "Atom access is denied";
// - a read-only storage has access mask 3 and masks every open to mode 3.
// It does not collect unreferenced atoms, and the link and external counts
// it reports are totals, also inside nested transactions.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/guid.h"
#include "store/capabilities.h"
#include "store/storage_factory.h"
#include "store/storage_registry.h"
#include "store/virtual_storage.h"

namespace tlvx {

struct TMemoryAtomState {
    std::vector<uint8_t> Data;
    std::vector<uint32_t> Links;  // 0 = empty link
    int32_t LinkCount = 0;
    int32_t ExternalRefCount = 0;
};

// The committed content of one in-memory "file"; storages opened one after
// another over the same volume see what the earlier ones committed.
struct TMemoryVolume {
    TGUID DataClass;
    TGUID StorageID;
    double Created = 0;
    double Modified = 0;
    std::map<uint32_t, TMemoryAtomState> Atoms;
    uint32_t NextNumber = 1;
    // Storages open over the volume now, as the file's share lock counts
    // them: while a writer has it open, no other open succeeds; while
    // readers have it open, only readers may join.
    int32_t OpenReaders = 0;
    int32_t OpenWriters = 0;

    // A fresh volume with atoms 1 and 2 (link count 1 each, so they are
    // pinned), a new storage id and the creation time from the clock.
    static std::shared_ptr<TMemoryVolume> New(const TGUID& dataClass);
};

class TMemoryTransaction;
class TMemoryAtom;

class TMemoryStorage : public IVirtualStorage,
                       public IStorageInfo,
                       public TCapabilities,
                       public TRegisteredStorage {
public:
    // url is what GetURL answers.
    TMemoryStorage(std::shared_ptr<TMemoryVolume> volume, bool readOnly,
                   std::string url = "file://memory");
    ~TMemoryStorage() override;

    // A storage over a fresh volume.
    static Ref<TMemoryStorage> Create(const TGUID& dataClass = TGUID{}, bool readOnly = false);

    const std::shared_ptr<TMemoryVolume>& Volume() const { return volume_; }
    uint8_t DefaultMode() const { return readOnly_ ? amRead : amReadWrite; }
    bool IsReadOnly() const { return readOnly_; }

    // IVirtualStorage
    Ref<IVirtualAtom> CreateAtom() override;
    Ref<IVirtualAtom> CreateAtomWithMode(uint8_t mode) override;
    Ref<IVirtualAtom> OpenRootAtom() override;
    Ref<IVirtualAtom> OpenRootAtomWithMode(uint8_t mode) override;
    Ref<IVirtualAtom> OpenAtom(const TAtomID& id) override;
    Ref<IVirtualAtom> OpenAtomWithMode(const TAtomID& id, uint8_t mode) override;
    void Flush() override {}
    Ref<IStorageTransaction> StartTransaction() override;
    TTransactionArray GetTransactions() override;
    Ref<IEnumVirtualAtoms> EnumAtoms(uint8_t mode) override;
    uint8_t GetAccessMask() override { return readOnly_ ? amRead : amFullMask; }
    TGUID GetDataClass() override { return volume_->DataClass; }
    TGUID GetStorageID() override { return volume_->StorageID; }
    std::string GetURL() override { return url_; }

    // IStorageInfo
    TAtomID GetRootAtomID() override { return MakeID(kRootAtomNumber); }
    TAtomID GetSecondRootAtomID() override { return MakeID(kSecondRootAtomNumber); }
    Ref<IVirtualAtom> OpenSecondRootAtom() override;
    Ref<IVirtualAtom> OpenSecondRootAtomWithMode(uint8_t mode) override;
    uint16_t GetMaxVersion() override { return closed_ ? 0 : 1; }
    uint16_t GetMinVersion() override { return closed_ ? 0 : 1; }
    double GetCreated() override { return closed_ ? 0 : volume_->Created; }
    double GetModified() override { return closed_ ? 0 : volume_->Modified; }
    int32_t GetCacheCount() override { return 0; }
    int32_t GetCacheCapacity() override { return closed_ ? 0 : cacheCapacity_; }
    void SetCacheCapacity(int32_t capacity) override { if (!closed_) cacheCapacity_ = capacity; }
    void GetCacheStats(int64_t& lookups, int64_t& hits) override { lookups = hits = 0; }
    void GetFileSizes(int64_t& logicalSize, int64_t& physicalSize) override;

    // TRegisteredStorage
    void ForceClose() noexcept override;

    // Used by the transaction, atom and enumerator objects.
    TAtomID MakeID(uint32_t number) const { return TAtomID{volume_->StorageID, number, 0}; }
    uint8_t MaskMode(uint8_t mode) const { return readOnly_ ? uint8_t(mode & DefaultMode()) : mode; }
    Ref<IVirtualAtom> NewAtom(const Ref<IStorageTransaction>& tr, int32_t trId, uint8_t mode);
    Ref<IVirtualAtom> Open(const Ref<IStorageTransaction>& tr, int32_t trId, uint32_t number,
                           uint8_t mode);
    Ref<IVirtualAtom> OpenByID(const Ref<IStorageTransaction>& tr, int32_t trId, const TAtomID& id,
                               uint8_t mode);
    // The atom as transaction trId sees it; null when it does not exist.
    const TMemoryAtomState* Lookup(int32_t trId, uint32_t number) const;
    // The atom's own copy in transaction trId, made on first change.
    TMemoryAtomState& Mutable(int32_t trId, uint32_t number);
    void AddLinkRef(int32_t trId, uint32_t number, int32_t delta);
    uint32_t NumberLimit() const { return volume_->NextNumber; }
    void CheckWritable() const;

    int32_t StartRecord(int32_t parentId);
    void CommitRecord(int32_t trId);
    // Aborts trId and its descendants; the front objects of all of them end.
    void AbortRecord(int32_t trId);

    void Lock(uint32_t number, uint8_t mode);  // raises code 4
    void Unlock(uint32_t number, uint8_t mode) noexcept;
    void AtomOpened(TMemoryAtom* atom, int32_t trId);
    void AtomClosed(TMemoryAtom* atom, int32_t trId) noexcept;

    void TransactionStarted(TMemoryTransaction* tr) { liveTransactions_.insert(tr); }
    void TransactionGone(TMemoryTransaction* tr) noexcept { liveTransactions_.erase(tr); }
    std::vector<TMemoryTransaction*>& TopLevel() { return topLevel_; }

private:
    struct TRecord {
        int32_t Parent = 0;
        std::map<uint32_t, TMemoryAtomState> Overlay;
        std::vector<int32_t> Children;
        int32_t OpenAtoms = 0;
    };
    struct TLocks {
        int32_t DataReaders = 0, LinkReaders = 0, DataWriters = 0, LinkWriters = 0;
    };

    TRecord& Record(int32_t trId);
    bool SubtreeHasOpenAtoms(int32_t trId) const;
    void DropRecord(int32_t trId, std::set<int32_t>& ended);

    std::shared_ptr<TMemoryVolume> volume_;
    bool readOnly_;
    std::string url_;
    bool closed_ = false;
    int32_t cacheCapacity_ = 8000;
    std::map<int32_t, TRecord> records_;
    std::vector<int32_t> freeIds_;
    int32_t nextId_ = 1;
    std::map<uint32_t, TLocks> locks_;
    std::vector<TMemoryTransaction*> topLevel_;          // uncounted, start order
    std::set<TMemoryTransaction*> liveTransactions_;     // uncounted
    std::set<TMemoryAtom*> openAtoms_;                   // uncounted
};

// A creation hook for the storage factory over named in-memory volumes kept
// for the life of the hook: "files" that later opens find again. It follows
// the file storage's open rules: omCreate makes a new volume (replacing an
// old one), omOpen and omReadOnly need an existing one (else open error 201),
// omOpenOrCreate takes either; a volume held open by a writer, or by a
// reader when a writer asks, refuses with open error 201; a new volume needs exactly one class and an
// existing one a data class among the given classes (none given: any) (else
// 203); unmet required capabilities raise code 2. The URL is "file://" and
// the location.
TStorageCreator MemoryStorageCreator();

}  // namespace tlvx
