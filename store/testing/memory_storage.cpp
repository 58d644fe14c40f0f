#include "store/testing/memory_storage.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "store/atom_stream.h"
#include "store/errors.h"

namespace tlvx {

namespace {

[[noreturn]] void AccessDenied() { throw EQmzError(ecAccessDenied, TQmzMessage::AccessDenied); }
[[noreturn]] void AtomAccessDenied() {
    throw EQmzError(ecAccessDenied, TQmzMessage::AtomAccessDenied);
}
[[noreturn]] void InvalidAddress() {
    throw EQmzError(ecInvalidAtomAddress, TQmzMessage::InvalidAtomAddress);
}

}  // namespace

// ---------------------------------------------------------------- transaction

class TMemoryTransaction : public IStorageTransaction, public IStorageInfo {
public:
    TMemoryTransaction(Ref<TMemoryStorage> storage, Ref<TMemoryTransaction> parent)
        : storage_(std::move(storage)), parent_(std::move(parent)) {
        id_ = storage_->StartRecord(parent_ ? parent_->id_ : 0);
        mask_ = storage_->GetAccessMask();
        listOwner_ = parent_.get();
        List().push_back(this);
        storage_->TransactionStarted(this);
    }

    ~TMemoryTransaction() override {
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

    // IVirtualStorage
    Ref<IVirtualAtom> CreateAtom() override { return CreateAtomWithMode(amReadWrite); }
    Ref<IVirtualAtom> CreateAtomWithMode(uint8_t mode) override {
        if (!(mask_ & amCreateAtoms)) AccessDenied();
        return storage_->NewAtom(Self(), id_, mode);
    }
    Ref<IVirtualAtom> OpenRootAtom() override { return OpenRootAtomWithMode(storage_->DefaultMode()); }
    Ref<IVirtualAtom> OpenRootAtomWithMode(uint8_t mode) override {
        CheckActive();
        return storage_->Open(Self(), id_, kRootAtomNumber, storage_->MaskMode(mode));
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
        return MakeRef<TMemoryTransaction>(storage_, Ref<TMemoryTransaction>(this));
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
        if (id_ == 0) throw EQmzError(ecTransactionFailed, TQmzMessage::CannotCommit);
        storage_->CommitRecord(id_);
        // Children still open now belong to the parent.
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
        storage_->AbortRecord(id_);  // ends this object and its descendants
    }
    Ref<IVirtualStorage> GetStorage() override { return Ref<IVirtualStorage>(storage_.get()); }
    int32_t GetTransactionID() override { return id_; }
    Ref<IStorageTransaction> GetParent() override {
        return Ref<IStorageTransaction>(parent_.get());
    }

    // IStorageInfo
    TAtomID GetRootAtomID() override { return storage_->GetRootAtomID(); }
    TAtomID GetSecondRootAtomID() override { return storage_->GetSecondRootAtomID(); }
    Ref<IVirtualAtom> OpenSecondRootAtom() override { return OpenSecondRootAtomWithMode(amReadWrite); }
    Ref<IVirtualAtom> OpenSecondRootAtomWithMode(uint8_t mode) override {
        CheckActive();
        return storage_->Open(Self(), id_, kSecondRootAtomNumber, storage_->MaskMode(mode));
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
    friend class TMemoryStorage;

    Ref<IStorageTransaction> Self() { return Ref<IStorageTransaction>(this); }
    void CheckActive() const {
        if (id_ == 0) AccessDenied();
    }
    std::vector<TMemoryTransaction*>& List() {
        return listOwner_ ? listOwner_->children_ : storage_->TopLevel();
    }

    Ref<TMemoryStorage> storage_;
    Ref<TMemoryTransaction> parent_;
    // Whose list this object is in: the parent, after the parent's commit
    // its parent, and so on; null for the storage's top-level list. Always
    // kept alive through the parent chain.
    TMemoryTransaction* listOwner_ = nullptr;
    std::vector<TMemoryTransaction*> children_;  // uncounted
    int32_t id_ = 0;
    uint8_t mask_ = 0;
};

// ---------------------------------------------------------------- atom

class TMemoryAtom : public IVirtualAtom, public IAtomIdentity {
public:
    TMemoryAtom(Ref<TMemoryStorage> storage, Ref<IStorageTransaction> tr, int32_t trId,
                uint32_t number, uint8_t mode)
        : storage_(std::move(storage)), tr_(std::move(tr)), trId_(trId), number_(number),
          mode_(mode), stream_(*this) {
        storage_->Lock(number_, mode_);
        storage_->AtomOpened(this, trId_);
        open_ = true;
    }

    ~TMemoryAtom() override { Close(); }

    bool HasLink(int32_t index) override { return LinkAt(index) != 0; }
    Ref<IVirtualAtom> OpenLink(int32_t index) override {
        return OpenLinkWithMode(index, storage_->DefaultMode());
    }
    Ref<IVirtualAtom> OpenLinkWithMode(int32_t index, uint8_t mode) override {
        uint32_t target = LinkAt(index);
        if (target == 0) return nullptr;
        try {
            return storage_->Open(tr_, trId_, target, storage_->MaskMode(mode));
        } catch (const EQmzError& e) {
            if (e.ErrorCode() != ecInvalidAtomAddress) throw;
            throw EQmzError(ecBrokenLink, TQmzMessage::BrokenLink);
        }
    }
    void SetLink(int32_t index, const Ref<IVirtualAtom>& atom) override {
        uint32_t target = TargetOf(atom);
        Need(amWriteLinks);
        if (index < 0) AccessDenied();
        auto& links = storage_->Mutable(trId_, number_).Links;
        if (size_t(index) >= links.size()) links.resize(size_t(index) + 1, 0);
        uint32_t old = links[size_t(index)];
        if (old == target) return;
        links[size_t(index)] = target;
        if (target) storage_->AddLinkRef(trId_, target, +1);
        if (old) storage_->AddLinkRef(trId_, old, -1);
    }
    void InsertLink(int32_t index, const Ref<IVirtualAtom>& atom) override {
        uint32_t target = TargetOf(atom);
        Need(amWriteLinks);
        if (index < 0) AccessDenied();
        auto& links = storage_->Mutable(trId_, number_).Links;
        if (size_t(index) >= links.size()) {
            links.resize(size_t(index) + 1, 0);
            links[size_t(index)] = target;
        } else {
            links.insert(links.begin() + index, target);
        }
        if (target) storage_->AddLinkRef(trId_, target, +1);
    }
    void DeleteLink(int32_t index) override {
        Need(amWriteLinks);
        auto& links = storage_->Mutable(trId_, number_).Links;
        if (index < 0 || size_t(index) >= links.size()) return;
        uint32_t old = links[size_t(index)];
        links.erase(links.begin() + index);
        if (old) storage_->AddLinkRef(trId_, old, -1);
    }
    int32_t Read(int32_t offset, void* buffer, int32_t count) override {
        const auto& data = State(amReadData | amWriteData).Data;
        if (offset < 0 || count <= 0 || size_t(offset) >= data.size()) return 0;
        size_t n = std::min(size_t(count), data.size() - size_t(offset));
        std::memcpy(buffer, data.data() + offset, n);
        return int32_t(n);
    }
    int32_t Write(int32_t offset, const void* buffer, int32_t count) override {
        Need(amWriteData);
        CheckAtomRange(offset, count);
        if (count == 0) return 0;
        storage_->CheckWritable();
        auto& data = storage_->Mutable(trId_, number_).Data;
        size_t end = size_t(offset) + size_t(count);
        if (end > data.size()) data.resize(end, 0);
        std::memcpy(data.data() + offset, buffer, size_t(count));
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
        if (!storage_->IsReadOnly()) storage_->Mutable(trId_, number_).ExternalRefCount++;
        return GetID();
    }
    void ReleaseExternalRef() override {
        CheckOpen();
        if (storage_->IsReadOnly()) return;
        auto& st = storage_->Mutable(trId_, number_);
        if (st.ExternalRefCount > 0) st.ExternalRefCount--;
    }
    void Close() override {
        if (!open_) return;
        open_ = false;
        storage_->Unlock(number_, mode_);
        storage_->AtomClosed(this, trId_);
    }
    Ref<IVirtualAtom> Reopen(const Ref<IVirtualStorage>& storage, uint8_t mode) override {
        CheckOpen();
        IVirtualStorage* through = storage ? storage.get() : static_cast<IVirtualStorage*>(storage_.get());
        return through->OpenAtomWithMode(GetID(), mode);
    }
    int32_t GetLinkCount() override { return int32_t(State(amReadLinks | amWriteLinks).Links.size()); }
    std::vector<uint8_t> GetAsBytes() override { return State(amReadData | amWriteData).Data; }
    std::string GetAsString() override {
        const auto& d = State(amReadData | amWriteData).Data;
        return std::string(d.begin(), d.end());
    }
    int32_t GetSize() override { return int32_t(State(amReadData | amWriteData).Data.size()); }
    TStream& GetStream() override { return stream_; }
    Ref<IVirtualStorage> GetStorage() override { return Ref<IVirtualStorage>(storage_.get()); }
    Ref<IStorageTransaction> GetTransaction() override { return tr_; }
    uint8_t GetAccessMode() override {
        CheckOpen();
        return mode_;
    }
    void SetLinkCount(int32_t count) override {
        Need(amWriteLinks);
        if (count < 0) AccessDenied();
        auto& links = storage_->Mutable(trId_, number_).Links;
        for (size_t i = size_t(count); i < links.size(); ++i) {
            uint32_t old = std::exchange(links[i], 0);
            if (old) storage_->AddLinkRef(trId_, old, -1);
        }
        storage_->Mutable(trId_, number_).Links.resize(size_t(count), 0);
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
        storage_->CheckWritable();
        storage_->Mutable(trId_, number_).Data.resize(size_t(size), 0);
    }
    void SetAccessMode(uint8_t mode) override {
        CheckOpen();
        mode = storage_->MaskMode(mode);
        if (mode == mode_) return;
        storage_->Unlock(number_, mode_);
        try {
            storage_->Lock(number_, mode);
        } catch (...) {
            storage_->Lock(number_, mode_);
            throw;
        }
        mode_ = mode;
    }

    // IAtomIdentity
    void GetRefCounts(int32_t& linkCount, int32_t& externalRefCount) override {
        const auto& st = State(0);
        linkCount = st.LinkCount;
        externalRefCount = st.ExternalRefCount;
    }
    TAtomID GetID() override { return storage_->MakeID(number_); }

    void ForceClose() noexcept { Close(); }

private:
    void CheckOpen() const {
        if (!open_) AccessDenied();
    }
    // Open, and the mode has one of the bits (none needed for 0).
    void Need(uint8_t bits) const {
        CheckOpen();
        if (bits && !(mode_ & bits)) AtomAccessDenied();
    }
    const TMemoryAtomState& State(uint8_t bits) const {
        Need(bits);
        const TMemoryAtomState* st = storage_->Lookup(trId_, number_);
        if (!st) InvalidAddress();
        return *st;
    }
    uint32_t LinkAt(int32_t index) const {
        const auto& links = State(amReadLinks | amWriteLinks).Links;
        return (index < 0 || size_t(index) >= links.size()) ? 0 : links[size_t(index)];
    }
    // The atom number of a link target, checked to belong to this storage.
    uint32_t TargetOf(const Ref<IVirtualAtom>& atom) {
        CheckOpen();
        if (!atom) return 0;
        auto identity = RefCast<IAtomIdentity>(atom);
        if (!identity) throw EQmzError(ecCapabilityNotSupported, TQmzMessage::CapabilityNotSupported);
        TAtomID id = identity->GetID();
        if (!(id.StorageID == storage_->GetStorageID()))
            throw EQmzError(ecCapabilityNotSupported, TQmzMessage::CapabilityNotSupported);
        return id.AtomNumber;
    }
    static int32_t CheckedSize(size_t size) {
        CheckAtomRange(0, int64_t(std::min<size_t>(size, size_t(INT32_MAX) + 1)));
        return int32_t(size);
    }

    Ref<TMemoryStorage> storage_;
    Ref<IStorageTransaction> tr_;
    int32_t trId_;
    uint32_t number_;
    uint8_t mode_;
    bool open_ = false;
    TAtomStream stream_;
};

// ---------------------------------------------------------------- enumerator

class TMemoryEnumerator : public IEnumVirtualAtoms {
public:
    TMemoryEnumerator(Ref<TMemoryStorage> storage, Ref<IVirtualStorage> through, int32_t trId,
                      uint8_t mode)
        : storage_(std::move(storage)), through_(std::move(through)), trId_(trId), mode_(mode) {}

    Ref<IEnumVirtualAtoms> Clone() override {
        auto copy = MakeRef<TMemoryEnumerator>(storage_, through_, trId_, mode_);
        copy->next_ = next_;
        return copy;
    }
    Ref<IVirtualAtom> Next() override {
        while (next_ < storage_->NumberLimit()) {
            uint32_t number = next_++;
            if (!storage_->Lookup(trId_, number)) continue;
            try {
                return through_->OpenAtomWithMode(storage_->MakeID(number), mode_);
            } catch (const EQmzError& e) {
                if (!IsSkippableAtomError(e.ErrorCode())) throw;
            }
        }
        return nullptr;
    }
    void Reset() override { next_ = 1; }

private:
    Ref<TMemoryStorage> storage_;
    Ref<IVirtualStorage> through_;
    int32_t trId_;
    uint8_t mode_;
    uint32_t next_ = 1;
};

Ref<IEnumVirtualAtoms> TMemoryTransaction::EnumAtoms(uint8_t mode) {
    CheckActive();
    return MakeRef<TMemoryEnumerator>(storage_, Ref<IVirtualStorage>(this), id_, mode);
}

// ---------------------------------------------------------------- volume

std::shared_ptr<TMemoryVolume> TMemoryVolume::New(const TGUID& dataClass) {
    auto v = std::make_shared<TMemoryVolume>();
    v->DataClass = dataClass;
    v->StorageID = NewGuid();
    v->Created = v->Modified = Clock().Now();
    for (uint32_t n : {kRootAtomNumber, kSecondRootAtomNumber}) v->Atoms[n].LinkCount = 1;
    v->NextNumber = 3;
    return v;
}

// ---------------------------------------------------------------- storage

TMemoryStorage::TMemoryStorage(std::shared_ptr<TMemoryVolume> volume, bool readOnly, std::string url)
    : TCapabilities(kStorageCapabilities), volume_(std::move(volume)), readOnly_(readOnly),
      url_(std::move(url)) {
    (readOnly_ ? volume_->OpenReaders : volume_->OpenWriters)++;
    RegisterStorage(this);
}

TMemoryStorage::~TMemoryStorage() {
    UnregisterStorage(this);
    if (!closed_) (readOnly_ ? volume_->OpenReaders : volume_->OpenWriters)--;
}

Ref<TMemoryStorage> TMemoryStorage::Create(const TGUID& dataClass, bool readOnly) {
    return MakeRef<TMemoryStorage>(TMemoryVolume::New(dataClass), readOnly);
}

Ref<IVirtualAtom> TMemoryStorage::CreateAtom() { return CreateAtomWithMode(amReadWrite); }
Ref<IVirtualAtom> TMemoryStorage::CreateAtomWithMode(uint8_t mode) { return NewAtom(nullptr, 0, mode); }
Ref<IVirtualAtom> TMemoryStorage::OpenRootAtom() { return OpenRootAtomWithMode(DefaultMode()); }
Ref<IVirtualAtom> TMemoryStorage::OpenRootAtomWithMode(uint8_t mode) {
    return Open(nullptr, 0, kRootAtomNumber, MaskMode(mode));
}
Ref<IVirtualAtom> TMemoryStorage::OpenAtom(const TAtomID& id) { return OpenAtomWithMode(id, DefaultMode()); }
Ref<IVirtualAtom> TMemoryStorage::OpenAtomWithMode(const TAtomID& id, uint8_t mode) {
    return OpenByID(nullptr, 0, id, mode);
}
Ref<IVirtualAtom> TMemoryStorage::OpenSecondRootAtom() { return OpenSecondRootAtomWithMode(amReadWrite); }
Ref<IVirtualAtom> TMemoryStorage::OpenSecondRootAtomWithMode(uint8_t mode) {
    return Open(nullptr, 0, kSecondRootAtomNumber, MaskMode(mode));
}

Ref<IStorageTransaction> TMemoryStorage::StartTransaction() {
    if (closed_) AccessDenied();
    return MakeRef<TMemoryTransaction>(Ref<TMemoryStorage>(this), nullptr);
}

TTransactionArray TMemoryStorage::GetTransactions() {
    return TTransactionArray(topLevel_.begin(), topLevel_.end());
}

Ref<IEnumVirtualAtoms> TMemoryStorage::EnumAtoms(uint8_t mode) {
    return MakeRef<TMemoryEnumerator>(Ref<TMemoryStorage>(this), Ref<IVirtualStorage>(this), 0, mode);
}

void TMemoryStorage::GetFileSizes(int64_t& logicalSize, int64_t& physicalSize) {
    logicalSize = physicalSize = 0;
    if (closed_) return;
    for (const auto& [n, st] : volume_->Atoms)
        logicalSize += int64_t(st.Data.size() + 4 * st.Links.size());
    physicalSize = logicalSize;
}

void TMemoryStorage::ForceClose() noexcept {
    std::vector<TMemoryAtom*> atoms(openAtoms_.begin(), openAtoms_.end());
    for (auto* a : atoms) a->ForceClose();
    std::vector<TMemoryTransaction*> top = topLevel_;
    for (auto* t : top) {
        if (t->GetTransactionID() == 0) continue;
        try {
            t->Abort();
        } catch (...) {
        }
    }
    if (!closed_) (readOnly_ ? volume_->OpenReaders : volume_->OpenWriters)--;
    closed_ = true;
}

void TMemoryStorage::CheckWritable() const {
    if (readOnly_ || closed_) AccessDenied();
}

Ref<IVirtualAtom> TMemoryStorage::NewAtom(const Ref<IStorageTransaction>& tr, int32_t trId,
                                          uint8_t mode) {
    CheckWritable();
    uint32_t number = volume_->NextNumber;
    if (trId == 0)
        volume_->Atoms[number];
    else
        Record(trId).Overlay[number];
    volume_->NextNumber++;
    return MakeRef<TMemoryAtom>(Ref<TMemoryStorage>(this), tr, trId, number, mode);
}

Ref<IVirtualAtom> TMemoryStorage::Open(const Ref<IStorageTransaction>& tr, int32_t trId,
                                       uint32_t number, uint8_t mode) {
    if (closed_) AccessDenied();
    if ((mode & (amWriteData | amWriteLinks)) && readOnly_) AccessDenied();
    if (!Lookup(trId, number)) InvalidAddress();
    return MakeRef<TMemoryAtom>(Ref<TMemoryStorage>(this), tr, trId, number, mode);
}

Ref<IVirtualAtom> TMemoryStorage::OpenByID(const Ref<IStorageTransaction>& tr, int32_t trId,
                                           const TAtomID& id, uint8_t mode) {
    if (!(id.StorageID == volume_->StorageID))
        throw EQmzError(ecCapabilityNotSupported, TQmzMessage::CapabilityNotSupported);
    return Open(tr, trId, id.AtomNumber, MaskMode(mode));
}

const TMemoryAtomState* TMemoryStorage::Lookup(int32_t trId, uint32_t number) const {
    while (trId != 0) {
        auto r = records_.find(trId);
        if (r == records_.end()) break;
        auto a = r->second.Overlay.find(number);
        if (a != r->second.Overlay.end()) return &a->second;
        trId = r->second.Parent;
    }
    auto a = volume_->Atoms.find(number);
    return a == volume_->Atoms.end() ? nullptr : &a->second;
}

TMemoryAtomState& TMemoryStorage::Mutable(int32_t trId, uint32_t number) {
    CheckWritable();
    if (trId == 0) {
        auto a = volume_->Atoms.find(number);
        if (a == volume_->Atoms.end()) InvalidAddress();
        volume_->Modified = Clock().Now();
        return a->second;
    }
    auto& overlay = Record(trId).Overlay;
    auto a = overlay.find(number);
    if (a != overlay.end()) return a->second;
    const TMemoryAtomState* seen = Lookup(trId, number);
    if (!seen) InvalidAddress();
    return overlay.emplace(number, *seen).first->second;
}

void TMemoryStorage::AddLinkRef(int32_t trId, uint32_t number, int32_t delta) {
    if (!Lookup(trId, number)) return;  // a broken link releases nothing
    auto& st = Mutable(trId, number);
    st.LinkCount = std::max(0, st.LinkCount + delta);
}

TMemoryStorage::TRecord& TMemoryStorage::Record(int32_t trId) {
    auto r = records_.find(trId);
    if (r == records_.end()) throw EInvalidTrID();
    return r->second;
}

int32_t TMemoryStorage::StartRecord(int32_t parentId) {
    if (parentId != 0) Record(parentId);
    int32_t id;
    if (!freeIds_.empty()) {
        id = freeIds_.back();
        freeIds_.pop_back();
    } else {
        id = nextId_++;
    }
    records_[id].Parent = parentId;
    if (parentId != 0) Record(parentId).Children.push_back(id);
    return id;
}

void TMemoryStorage::CommitRecord(int32_t trId) {
    TRecord& r = Record(trId);
    if (r.OpenAtoms > 0) throw EQmzError(ecTransactionFailed, TQmzMessage::CannotCommitAtomsOpen);
    if (r.Parent == 0) {
        for (auto& [n, st] : r.Overlay) volume_->Atoms[n] = std::move(st);
        if (!r.Overlay.empty()) volume_->Modified = Clock().Now();
    } else {
        TRecord& p = Record(r.Parent);
        for (auto& [n, st] : r.Overlay) p.Overlay[n] = std::move(st);
    }
    for (int32_t c : r.Children) {
        records_[c].Parent = r.Parent;
        if (r.Parent != 0) Record(r.Parent).Children.push_back(c);
    }
    if (r.Parent != 0) {
        auto& siblings = Record(r.Parent).Children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), trId), siblings.end());
    }
    records_.erase(trId);
    freeIds_.push_back(trId);
}

bool TMemoryStorage::SubtreeHasOpenAtoms(int32_t trId) const {
    const TRecord& r = records_.at(trId);
    if (r.OpenAtoms > 0) return true;
    for (int32_t c : r.Children)
        if (SubtreeHasOpenAtoms(c)) return true;
    return false;
}

void TMemoryStorage::DropRecord(int32_t trId, std::set<int32_t>& ended) {
    std::vector<int32_t> children = Record(trId).Children;
    for (int32_t c : children) DropRecord(c, ended);
    records_.erase(trId);
    freeIds_.push_back(trId);
    ended.insert(trId);
}

void TMemoryStorage::AbortRecord(int32_t trId) {
    Record(trId);
    if (SubtreeHasOpenAtoms(trId))
        throw EQmzError(ecTransactionFailed, TQmzMessage::CannotAbortAtomsOpen);
    int32_t parent = records_.at(trId).Parent;
    std::set<int32_t> ended;
    DropRecord(trId, ended);
    if (parent != 0) {
        auto& siblings = Record(parent).Children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), trId), siblings.end());
    }
    // End every front object whose transaction went, before any number is
    // handed out again.
    for (auto* t : liveTransactions_)
        if (t->id_ != 0 && ended.count(t->id_)) t->End();
}

void TMemoryStorage::Lock(uint32_t number, uint8_t mode) {
    TLocks next = locks_[number];
    if (mode & amWriteData) next.DataWriters++;
    else if (mode & amReadData) next.DataReaders++;
    if (mode & amWriteLinks) next.LinkWriters++;
    else if (mode & amReadLinks) next.LinkReaders++;
    if (next.DataWriters > 1 || (next.DataWriters > 0 && next.DataReaders > 0) ||
        next.LinkWriters > 1 || (next.LinkWriters > 0 && next.LinkReaders > 0))
        throw EQmzError(ecShareViolation, TQmzMessage::AtomShareViolation);
    locks_[number] = next;
}

void TMemoryStorage::Unlock(uint32_t number, uint8_t mode) noexcept {
    auto it = locks_.find(number);
    if (it == locks_.end()) return;
    TLocks& l = it->second;
    if (mode & amWriteData) l.DataWriters--;
    else if (mode & amReadData) l.DataReaders--;
    if (mode & amWriteLinks) l.LinkWriters--;
    else if (mode & amReadLinks) l.LinkReaders--;
    if (!l.DataReaders && !l.LinkReaders && !l.DataWriters && !l.LinkWriters) locks_.erase(it);
}

void TMemoryStorage::AtomOpened(TMemoryAtom* atom, int32_t trId) {
    if (trId != 0) Record(trId).OpenAtoms++;
    openAtoms_.insert(atom);
}

void TMemoryStorage::AtomClosed(TMemoryAtom* atom, int32_t trId) noexcept {
    if (trId != 0) {
        auto r = records_.find(trId);
        if (r != records_.end()) r->second.OpenAtoms--;
    }
    openAtoms_.erase(atom);
}

// ---------------------------------------------------------------- factory hook

TStorageCreator MemoryStorageCreator() {
    auto volumes = std::make_shared<std::map<std::string, std::shared_ptr<TMemoryVolume>>>();
    return [volumes](const std::string& location, const TStorageOpenParams& params,
                     const std::string& requiredCaps) -> Ref<IVirtualStorage> {
        auto found = volumes->find(location);
        bool exists = found != volumes->end();
        bool create = params.Mode == omCreate || (params.Mode == omOpenOrCreate && !exists);
        if (!create && !exists)
            throw EOrvOpenError(ecOpenFile, TQmzMessage::OpenFile,
                                {location, "No such file or directory"});
        if (exists) {
            bool writer = params.Mode != omReadOnly;
            const auto& held = *found->second;
            if (held.OpenWriters > 0 || (writer && held.OpenReaders > 0))
                throw EOrvOpenError(ecOpenFile, TQmzMessage::OpenFile,
                                    {location, "The file is in use by another process"});
        }
        std::shared_ptr<TMemoryVolume> volume;
        if (create) {
            if (params.Classes.size() != 1)
                throw EOrvOpenError(ecUnmatchedClass, TQmzMessage::UnmatchedClass, {location});
            volume = TMemoryVolume::New(params.Classes[0]);
        } else {
            volume = found->second;
            bool matched = params.Classes.empty();
            for (const auto& c : params.Classes) matched = matched || c == volume->DataClass;
            if (!matched)
                throw EOrvOpenError(ecUnmatchedClass, TQmzMessage::UnmatchedClass, {location});
        }
        auto storage = MakeRef<TMemoryStorage>(volume, params.Mode == omReadOnly, "file://" + location);
        if (!storage->Supports(requiredCaps))
            throw EQmzError(ecCapabilityNotSupported, TQmzMessage::CapabilityNotSupported);
        if (params.Cache != 0) storage->SetCacheCapacity(params.Cache);
        (*volumes)[location] = volume;
        return Ref<IVirtualStorage>(storage.get());
    };
}

}  // namespace tlvx
