#include "store/orv_storage.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "store/atom_stream.h"
#include "store/errors.h"
#include "store/orv_base_open.h"
#include "store/orv_file.h"

namespace tlvx {

namespace {

[[noreturn]] void AccessDenied() { throw EQmzError(ecAccessDenied, TQmzMessage::AccessDenied); }
[[noreturn]] void AtomAccessDenied() {
    throw EQmzError(ecAccessDenied, TQmzMessage::AtomAccessDenied);
}
[[noreturn]] void CapabilityNotSupported() {
    throw EQmzError(ecCapabilityNotSupported, TQmzMessage::CapabilityNotSupported);
}

}  // namespace

// ---------------------------------------------------------------- transaction

class TStorageTransaction : public IStorageTransaction, public IStorageInfo {
public:
    TStorageTransaction(Ref<TOrvStorage> storage, Ref<TStorageTransaction> parent)
        : storage_(std::move(storage)), parent_(std::move(parent)) {
        id_ = storage_->Base().StartTransaction(parent_ ? parent_->id_ : 0);
        mask_ = storage_->GetAccessMask();
        listOwner_ = parent_.get();
        List().push_back(this);
        storage_->TransactionStarted(this);
    }

    ~TStorageTransaction() override {
        if (id_ != 0) {
            try {
                Abort();
            } catch (...) {
            }
        }
        auto& list = List();
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        storage_->TransactionGone(this);
    }

    void End() noexcept { id_ = 0; mask_ = 0; }
    uint32_t Id() const { return id_; }

    // IVirtualStorage
    Ref<IVirtualAtom> CreateAtom() override { return CreateAtomWithMode(amReadWrite); }
    Ref<IVirtualAtom> CreateAtomWithMode(uint8_t mode) override {
        if (!(mask_ & amCreateAtoms)) AccessDenied();
        return storage_->NewAtom(Self(), id_, mode);
    }
    Ref<IVirtualAtom> OpenRootAtom() override { return OpenRootAtomWithMode(storage_->DefaultMode()); }
    Ref<IVirtualAtom> OpenRootAtomWithMode(uint8_t mode) override {
        CheckActive();
        return storage_->Open(Self(), id_, TOrvBase::kRootAtom, storage_->MaskMode(mode));
    }
    Ref<IVirtualAtom> OpenAtom(const TAtomID& id) override {
        return OpenAtomWithMode(id, storage_->DefaultMode());
    }
    Ref<IVirtualAtom> OpenAtomWithMode(const TAtomID& id, uint8_t mode) override {
        CheckActive();
        return storage_->OpenByID(Self(), id_, id, mode);
    }
    void Flush() override {}
    Ref<IStorageTransaction> StartTransaction() override {
        CheckActive();
        return MakeRef<TStorageTransaction>(storage_, Ref<TStorageTransaction>(this));
    }
    TTransactionArray GetTransactions() override {
        return TTransactionArray(children_.begin(), children_.end());
    }
    Ref<IEnumVirtualAtoms> EnumAtoms(uint8_t mode) override;
    uint8_t GetAccessMask() override { return mask_; }
    TGUID GetDataClass() override { return storage_->GetDataClass(); }
    TGUID GetStorageID() override { return storage_->GetStorageID(); }
    std::string GetURL() override { return storage_->GetURL(); }

    // IStorageTransaction
    void Commit() override {
        // Number 0 is the root level: never hand it to the store.
        if (id_ == 0) throw EQmzError(ecTransactionFailed, TQmzMessage::CannotCommit);
        storage_->Base().Commit(id_);
        auto& up = List();
        for (auto* child : children_) {
            child->listOwner_ = listOwner_;
            up.push_back(child);
        }
        children_.clear();
        End();
    }
    void Abort() override {
        if (id_ == 0) throw EQmzError(ecTransactionFailed, TQmzMessage::CannotAbort);
        storage_->AbortTransaction(id_);
    }
    Ref<IVirtualStorage> GetStorage() override { return Ref<IVirtualStorage>(storage_.get()); }
    int32_t GetTransactionID() override { return int32_t(id_); }
    Ref<IStorageTransaction> GetParent() override {
        return Ref<IStorageTransaction>(parent_.get());
    }

    // IStorageInfo
    TAtomID GetRootAtomID() override { return storage_->GetRootAtomID(); }
    TAtomID GetSecondRootAtomID() override { return storage_->GetSecondRootAtomID(); }
    Ref<IVirtualAtom> OpenSecondRootAtom() override { return OpenSecondRootAtomWithMode(amReadWrite); }
    Ref<IVirtualAtom> OpenSecondRootAtomWithMode(uint8_t mode) override {
        CheckActive();
        return storage_->Open(Self(), id_, TOrvBase::kSecondAtom, storage_->MaskMode(mode));
    }
    uint16_t GetMaxVersion() override { return storage_->GetMaxVersion(); }
    uint16_t GetMinVersion() override { return storage_->GetMinVersion(); }
    double GetCreated() override { return storage_->GetCreated(); }
    double GetModified() override { return storage_->GetModified(); }
    int32_t GetCacheCount() override { return storage_->GetCacheCount(); }
    int32_t GetCacheCapacity() override { return storage_->GetCacheCapacity(); }
    void SetCacheCapacity(int32_t capacity) override { storage_->SetCacheCapacity(capacity); }
    void GetCacheStats(int64_t& lookups, int64_t& hits) override {
        storage_->GetCacheStats(lookups, hits);
    }
    void GetFileSizes(int64_t& logicalSize, int64_t& physicalSize) override {
        storage_->GetFileSizes(logicalSize, physicalSize);
    }

private:
    Ref<IStorageTransaction> Self() { return Ref<IStorageTransaction>(this); }
    void CheckActive() const {
        if (id_ == 0) AccessDenied();
    }
    std::vector<TStorageTransaction*>& List() {
        return listOwner_ ? listOwner_->children_ : storage_->TopLevel();
    }

    Ref<TOrvStorage> storage_;
    Ref<TStorageTransaction> parent_;
    // Whose list this object is in (after commits of its parents, an
    // ancestor further up; null: the storage's). Kept alive through parent_.
    TStorageTransaction* listOwner_ = nullptr;
    std::vector<TStorageTransaction*> children_;  // uncounted
    uint32_t id_ = 0;
    uint8_t mask_ = 0;
};

// ---------------------------------------------------------------- atom

class TVirtualAtom : public IVirtualAtom, public IAtomIdentity {
public:
    TVirtualAtom(Ref<TOrvStorage> storage, Ref<IStorageTransaction> tr, Ref<TAtom> atom)
        : storage_(std::move(storage)), tr_(std::move(tr)), atom_(std::move(atom)),
          number_(atom_->GetHandle()), stream_(*this) {
        storage_->AtomOpened(this);
    }
    ~TVirtualAtom() override { ForceClose(); }

    // IVirtualAtom
    bool HasLink(int32_t index) override { return LinkAt(index) != 0; }
    Ref<IVirtualAtom> OpenLink(int32_t index) override {
        return OpenLinkWithMode(index, storage_->DefaultMode());
    }
    Ref<IVirtualAtom> OpenLinkWithMode(int32_t index, uint8_t mode) override {
        uint32_t target = LinkAt(index);
        if (target == 0) return nullptr;
        try {
            IVirtualStorage* through = tr_ ? static_cast<IVirtualStorage*>(tr_.get())
                                           : static_cast<IVirtualStorage*>(storage_.get());
            return through->OpenAtomWithMode(storage_->MakeID(target), mode);
        } catch (const EQmzError& e) {
            if (e.ErrorCode() == ecInvalidAtomAddress)
                throw EQmzError(ecBrokenLink, TQmzMessage::BrokenLink);
            throw;
        }
    }
    int32_t ReadLinkData(int32_t index, int32_t offset, void* buffer, int32_t count) override {
        if (!storage_->IsReadOnly()) return IVirtualAtom::ReadLinkData(index, offset, buffer, count);
        uint32_t target = LinkAt(index);
        // An ended transaction opens nothing more, so it reads nothing more.
        if (tr_ && tr_->GetTransactionID() == 0) AccessDenied();
        if (target == 0) return -1;
        try {
            return storage_->ReadStoredData(target, offset, buffer, count);
        } catch (const EQmzError& e) {
            if (e.ErrorCode() == ecInvalidAtomAddress)
                throw EQmzError(ecBrokenLink, TQmzMessage::BrokenLink);
            throw;
        }
    }
    void SetLink(int32_t index, const Ref<IVirtualAtom>& atom) override {
        Need(amWriteLinks);
        uint32_t target = TargetOf(atom);
        if (index < 0) AccessDenied();
        atom_->SetLink(uint32_t(index), target);
    }
    void InsertLink(int32_t index, const Ref<IVirtualAtom>& atom) override {
        Need(amWriteLinks);
        uint32_t target = TargetOf(atom);
        if (index < 0) AccessDenied();
        atom_->InsertLink(uint32_t(index), target);
    }
    void DeleteLink(int32_t index) override {
        Need(amWriteLinks);
        if (index < 0 || uint32_t(index) >= atom_->GetLinkCount()) return;
        atom_->DeleteLink(uint32_t(index));
    }
    int32_t Read(int32_t offset, void* buffer, int32_t count) override {
        Need(amReadData | amWriteData);
        uint32_t size = atom_->GetDataSize();
        if (offset < 0 || count <= 0 || uint32_t(offset) >= size) return 0;
        uint32_t n = std::min(uint32_t(count), size - uint32_t(offset));
        return int32_t(atom_->Read(uint32_t(offset), buffer, n));
    }
    int32_t Write(int32_t offset, const void* buffer, int32_t count) override {
        Need(amWriteData);
        CheckAtomRange(offset, count);
        if (count == 0) return 0;
        if (storage_->IsReadOnly()) AccessDenied();
        atom_->Write(uint32_t(offset), buffer, uint32_t(count));
        return count;
    }
    bool IsSameAtom(const Ref<IVirtualAtom>& other) override {
        CheckOpen();
        auto identity = RefCast<IAtomIdentity>(other);
        if (!identity) return false;
        TAtomID id = identity->GetID();
        return id.StorageID == storage_->GetStorageID() && id.Reserved == 0 &&
               id.AtomNumber == number_;
    }
    TAtomID AddExternalRef() override {
        CheckOpen();
        if (!storage_->IsReadOnly()) atom_->AddExternalRefs(+1);
        return GetID();
    }
    void ReleaseExternalRef() override {
        CheckOpen();
        if (storage_->IsReadOnly()) return;
        atom_->AddExternalRefs(-1);
    }
    void Close() override {
        if (!atom_) return;
        Ref<TAtom> atom = std::move(atom_);
        atom_ = nullptr;
        storage_->AtomClosed(this);
        atom->Close();
    }
    Ref<IVirtualAtom> Reopen(const Ref<IVirtualStorage>& storage, uint8_t mode) override {
        CheckOpen();
        IVirtualStorage* through =
            storage ? storage.get() : static_cast<IVirtualStorage*>(storage_.get());
        return through->OpenAtomWithMode(GetID(), mode);
    }
    int32_t GetLinkCount() override {
        Need(amReadLinks | amWriteLinks);
        return int32_t(atom_->GetLinkCount());
    }
    std::vector<uint8_t> GetAsBytes() override {
        std::vector<uint8_t> bytes(static_cast<size_t>(GetSize()));
        if (!bytes.empty()) atom_->Read(0, bytes.data(), uint32_t(bytes.size()));
        return bytes;
    }
    std::string GetAsString() override {
        std::string text(static_cast<size_t>(GetSize()), '\0');
        if (!text.empty()) atom_->Read(0, text.data(), uint32_t(text.size()));
        return text;
    }
    int32_t GetSize() override {
        Need(amReadData | amWriteData);
        return int32_t(atom_->GetDataSize());
    }
    TStream& GetStream() override { return stream_; }
    Ref<IVirtualStorage> GetStorage() override { return Ref<IVirtualStorage>(storage_.get()); }
    Ref<IStorageTransaction> GetTransaction() override { return tr_; }
    uint8_t GetAccessMode() override {
        CheckOpen();
        return atom_->GetMode();
    }
    void SetLinkCount(int32_t count) override {
        Need(amWriteLinks);
        if (count < 0) AccessDenied();
        atom_->SetLinkCount(uint32_t(count));
    }
    void SetAsBytes(const std::vector<uint8_t>& bytes) override {
        SetSize(CheckedSize(bytes.size()));
        Write(0, bytes.data(), int32_t(bytes.size()));
    }
    void SetAsString(std::string_view text) override {
        SetSize(CheckedSize(text.size()));
        Write(0, text.data(), int32_t(text.size()));
    }
    void SetSize(int32_t size) override {
        Need(amWriteData);
        CheckAtomRange(size, 0);
        if (storage_->IsReadOnly()) AccessDenied();
        atom_->SetDataSize(uint32_t(size));
    }
    void SetAccessMode(uint8_t mode) override {
        CheckOpen();
        mode = storage_->MaskMode(mode);
        if (mode == atom_->GetMode()) return;
        atom_->SetMode(mode);
    }

    // IAtomIdentity
    void GetRefCounts(int32_t& linkCount, int32_t& externalRefCount) override {
        CheckOpen();
        linkCount = atom_->GetLinkRefs();
        externalRefCount = atom_->GetExternalRefs();
    }
    TAtomID GetID() override { return storage_->MakeID(number_); }

    void ForceClose() noexcept {
        try {
            Close();
        } catch (...) {
        }
    }

    // The storage's list of open atoms.
    TVirtualAtom* prevOpen_ = nullptr;
    TVirtualAtom* nextOpen_ = nullptr;

private:
    void CheckOpen() const {
        if (!atom_) AccessDenied();
    }
    void Need(uint8_t bits) const {
        CheckOpen();
        if (bits && !(atom_->GetMode() & bits)) AtomAccessDenied();
    }
    uint32_t LinkAt(int32_t index) const {
        Need(amReadLinks | amWriteLinks);
        if (index < 0 || uint32_t(index) >= atom_->GetLinkCount()) return 0;
        return atom_->GetLink(uint32_t(index));
    }
    uint32_t TargetOf(const Ref<IVirtualAtom>& atom) {
        if (!atom) return 0;
        auto identity = RefCast<IAtomIdentity>(atom);
        if (!identity) CapabilityNotSupported();
        TAtomID id = identity->GetID();
        if (!(id.StorageID == storage_->GetStorageID())) CapabilityNotSupported();
        return id.AtomNumber;
    }
    static int32_t CheckedSize(size_t size) {
        CheckAtomRange(0, int64_t(std::min<size_t>(size, size_t(INT32_MAX) + 1)));
        return int32_t(size);
    }

    Ref<TOrvStorage> storage_;
    Ref<IStorageTransaction> tr_;
    Ref<TAtom> atom_;  // null once closed
    uint32_t number_;
    TAtomStream stream_;
};

// ---------------------------------------------------------------- enumerator

class TVirtualAtomEnumerator : public IEnumVirtualAtoms {
public:
    TVirtualAtomEnumerator(Ref<TOrvStorage> storage, Ref<IVirtualStorage> through,
                           Ref<IEnumAtoms> handles, uint8_t mode)
        : storage_(std::move(storage)), through_(std::move(through)),
          handles_(std::move(handles)), mode_(mode) {}

    // The base enumerator refers to the store uncounted: once the storage
    // has been force-closed it must not be touched (Base raises code 3).
    Ref<IEnumVirtualAtoms> Clone() override {
        storage_->Base();
        return MakeRef<TVirtualAtomEnumerator>(storage_, through_, handles_->Clone(), mode_);
    }
    Ref<IVirtualAtom> Next() override {
        for (;;) {
            storage_->Base();
            uint32_t handle = handles_->Next();
            if (handle == 0) return nullptr;
            try {
                return through_->OpenAtomWithMode(storage_->MakeID(handle), mode_);
            } catch (const EQmzError& e) {
                if (!IsSkippableAtomError(e.ErrorCode())) throw;
            }
        }
    }
    void Reset() override { handles_->Reset(); }

private:
    Ref<TOrvStorage> storage_;
    Ref<IVirtualStorage> through_;
    Ref<IEnumAtoms> handles_;
    uint8_t mode_;
};

Ref<IEnumVirtualAtoms> TStorageTransaction::EnumAtoms(uint8_t mode) {
    CheckActive();
    return MakeRef<TVirtualAtomEnumerator>(storage_, Ref<IVirtualStorage>(this),
                                           storage_->Base().EnumAtoms(id_), mode);
}

// ---------------------------------------------------------------- storage

TOrvStorage::TOrvStorage(std::unique_ptr<TOrvBase> base, bool readOnly)
    : TCapabilities(StorageCapList()), base_(std::move(base)), readOnly_(readOnly) {
    TOrvFile& file = OrvFileOf(*base_);
    storageId_ = file.Header().storageId;
    dataClass_ = file.Header().dataClass;
    url_ = "file://" + file.FullPath();
    RegisterStorage(this);
}

TOrvStorage::~TOrvStorage() {
    UnregisterStorage(this);
    CloseStore();
}

Ref<TOrvStorage> TOrvStorage::Open(const std::string& fileName, const TStorageOpenParams& params) {
    auto base = OpenOrvBase(fileName, params.WriteThrough, params.Classes, params.Mode, 3000,
                            uint64_t(params.SnapshotBytes));
    auto storage = MakeRef<TOrvStorage>(std::move(base), params.Mode == omReadOnly);
    TAtomCache& cache = storage->Base().Cache();
    if (params.CacheBytes > 0) {
        cache.SetBudget(uint64_t(params.CacheBytes));
        cache.SetCapacity(kUnboundedCacheCapacity);
    }
    if (params.Cache != 0) storage->SetCacheCapacity(params.Cache);
    return storage;
}

TOrvBase& TOrvStorage::Base() {
    if (!base_) AccessDenied();
    return *base_;
}

Ref<IVirtualAtom> TOrvStorage::CreateAtom() { return CreateAtomWithMode(amReadWrite); }
Ref<IVirtualAtom> TOrvStorage::CreateAtomWithMode(uint8_t mode) { return NewAtom(nullptr, 0, mode); }
Ref<IVirtualAtom> TOrvStorage::OpenRootAtom() { return OpenRootAtomWithMode(DefaultMode()); }
Ref<IVirtualAtom> TOrvStorage::OpenRootAtomWithMode(uint8_t mode) {
    return Open(nullptr, 0, TOrvBase::kRootAtom, MaskMode(mode));
}
Ref<IVirtualAtom> TOrvStorage::OpenAtom(const TAtomID& id) { return OpenAtomWithMode(id, DefaultMode()); }
Ref<IVirtualAtom> TOrvStorage::OpenAtomWithMode(const TAtomID& id, uint8_t mode) {
    return OpenByID(nullptr, 0, id, mode);
}
Ref<IVirtualAtom> TOrvStorage::OpenSecondRootAtom() { return OpenSecondRootAtomWithMode(amReadWrite); }
Ref<IVirtualAtom> TOrvStorage::OpenSecondRootAtomWithMode(uint8_t mode) {
    return Open(nullptr, 0, TOrvBase::kSecondAtom, MaskMode(mode));
}

void TOrvStorage::Flush() {
    if (base_) OrvFileOf(*base_).Flush();
}

Ref<IStorageTransaction> TOrvStorage::StartTransaction() {
    Base();
    return MakeRef<TStorageTransaction>(Ref<TOrvStorage>(this), nullptr);
}

TTransactionArray TOrvStorage::GetTransactions() {
    return TTransactionArray(topLevel_.begin(), topLevel_.end());
}

Ref<IEnumVirtualAtoms> TOrvStorage::EnumAtoms(uint8_t mode) {
    return MakeRef<TVirtualAtomEnumerator>(Ref<TOrvStorage>(this), Ref<IVirtualStorage>(this),
                                           Base().EnumAtoms(0), mode);
}

uint8_t TOrvStorage::GetAccessMask() { return readOnly_ ? amRead : amFullMask; }
TGUID TOrvStorage::GetDataClass() { return dataClass_; }
TGUID TOrvStorage::GetStorageID() { return storageId_; }
std::string TOrvStorage::GetURL() { return url_; }

uint16_t TOrvStorage::GetMaxVersion() { return base_ ? OrvFileOf(*base_).Header().maxVersion : 0; }
uint16_t TOrvStorage::GetMinVersion() { return base_ ? OrvFileOf(*base_).Header().minVersion : 0; }
double TOrvStorage::GetCreated() { return base_ ? OrvFileOf(*base_).GetCreated() : 0; }
double TOrvStorage::GetModified() { return base_ ? OrvFileOf(*base_).GetModified() : 0; }
int32_t TOrvStorage::GetCacheCount() { return base_ ? int32_t(base_->Cache().GetCount()) : 0; }
int32_t TOrvStorage::GetCacheCapacity() {
    return base_ ? int32_t(std::min<uint32_t>(base_->Cache().GetCapacity(), INT32_MAX)) : 0;
}
void TOrvStorage::SetCacheCapacity(int32_t capacity) {
    if (base_ && capacity >= 0) base_->Cache().SetCapacity(uint32_t(capacity));
}
void TOrvStorage::GetCacheStats(int64_t& lookups, int64_t& hits) {
    lookups = hits = 0;
    if (!base_) return;
    uint64_t l = 0, h = 0;
    base_->Cache().GetStats(l, h);
    lookups = int64_t(l);
    hits = int64_t(h);
}
void TOrvStorage::GetFileSizes(int64_t& logicalSize, int64_t& physicalSize) {
    logicalSize = physicalSize = 0;
    if (!base_) return;
    TOrvFile& file = OrvFileOf(*base_);
    logicalSize = int64_t(file.LogicalSize());
    physicalSize = int64_t(file.PhysicalSize());
}

void TOrvStorage::AtomOpened(TVirtualAtom* atom) noexcept {
    atom->prevOpen_ = nullptr;
    atom->nextOpen_ = openAtoms_;
    if (openAtoms_) openAtoms_->prevOpen_ = atom;
    openAtoms_ = atom;
}

void TOrvStorage::AtomClosed(TVirtualAtom* atom) noexcept {
    if (atom->prevOpen_) atom->prevOpen_->nextOpen_ = atom->nextOpen_;
    else if (openAtoms_ == atom) openAtoms_ = atom->nextOpen_;
    if (atom->nextOpen_) atom->nextOpen_->prevOpen_ = atom->prevOpen_;
    atom->prevOpen_ = atom->nextOpen_ = nullptr;
}

void TOrvStorage::CloseStore() noexcept {
    // Closing an atom takes it off the list.
    while (openAtoms_) openAtoms_->ForceClose();
    std::vector<TStorageTransaction*> top = topLevel_;
    for (auto* t : top) {
        if (t->Id() == 0) continue;
        try {
            t->Abort();
        } catch (...) {
        }
    }
    base_.reset();
}

void TOrvStorage::ForceClose() noexcept { CloseStore(); }

Ref<IVirtualAtom> TOrvStorage::NewAtom(const Ref<IStorageTransaction>& tr, uint32_t trId,
                                       uint8_t mode) {
    if (readOnly_) AccessDenied();
    Ref<TAtom> atom = Base().CreateAtom(trId, mode);
    return MakeRef<TVirtualAtom>(Ref<TOrvStorage>(this), tr, std::move(atom));
}

Ref<IVirtualAtom> TOrvStorage::Open(const Ref<IStorageTransaction>& tr, uint32_t trId,
                                    uint32_t number, uint8_t mode) {
    TOrvBase& base = Base();
    if ((mode & (amWriteData | amWriteLinks)) && readOnly_) AccessDenied();
    Ref<TAtom> atom = base.OpenAtom(trId, number, mode);
    return MakeRef<TVirtualAtom>(Ref<TOrvStorage>(this), tr, std::move(atom));
}

Ref<IVirtualAtom> TOrvStorage::OpenByID(const Ref<IStorageTransaction>& tr, uint32_t trId,
                                        const TAtomID& id, uint8_t mode) {
    if (!(id.StorageID == storageId_)) CapabilityNotSupported();
    return Open(tr, trId, id.AtomNumber, MaskMode(mode));
}

int32_t TOrvStorage::ReadStoredData(uint32_t number, int32_t offset, void* buffer, int32_t count) {
    TOrvBase& base = Base();
    if (!base.Manager().IsValidHandle(number))
        throw EQmzError(ecInvalidAtomAddress, TQmzMessage::InvalidAtomAddress);
    TAtomData data;
    base.Cache().Get(number, kPartData, data);
    if (offset < 0 || count <= 0 || size_t(offset) >= data.data.size()) return 0;
    const size_t n = std::min(size_t(count), data.data.size() - size_t(offset));
    std::memcpy(buffer, data.data.data() + offset, n);
    return int32_t(n);
}

void TOrvStorage::AbortTransaction(uint32_t trId) {
    TOrvBase& base = Base();
    // The front objects of trId and of everything below it, found before the
    // store forgets the parent chain.
    std::vector<TStorageTransaction*> ending;
    for (auto* t : liveTransactions_) {
        for (uint32_t id = t->Id(); id != 0; id = base.ParentOf(id)) {
            if (id == trId) {
                ending.push_back(t);
                break;
            }
        }
    }
    base.Abort(trId);
    for (auto* t : ending) t->End();
}

// ---------------------------------------------------------------- factory hook

TStorageCreator OrvStorageCreator() {
    return [](const std::string& location, const TStorageOpenParams& params,
              const std::string& requiredCaps) -> Ref<IVirtualStorage> {
        auto storage = TOrvStorage::Open(location, params);
        if (!storage->Supports(requiredCaps)) CapabilityNotSupported();
        return Ref<IVirtualStorage>(storage.get());
    };
}

}  // namespace tlvx
