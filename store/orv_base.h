// The transactional atom store of one storage file.
//
// Transactions nest to any depth; each holds images of the atoms it touched.
// The image of a nested transaction is a copy-on-write view of the image one
// level up (its counters are changes against it); the image of the root
// transaction reads and writes through the atom cache. A commit merges a
// transaction into its parent; only what reaches the root transaction is
// written to the file. Atoms are freed by reference counting: an atom that no
// link and no outside holder references and that nobody has open is deleted,
// and its links are released in turn.
#pragma once

#include <cstdint>
#include <map>
#include <unordered_map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/ref.h"
#include "store/access_modes.h"
#include "store/atom_cache.h"
#include "store/atom_file.h"
#include "store/atom_manager.h"

namespace tlvx {

class TOrvBase;
class TTransaction;
class TAtom;

// Data readers, link readers, data writers, link writers, openers.
struct TLockCounts {
    int32_t v[5] = {0, 0, 0, 0, 0};
    bool IsZero() const { return !v[0] && !v[1] && !v[2] && !v[3] && !v[4]; }
    TLockCounts& operator+=(const TLockCounts& o) {
        for (int i = 0; i < 5; ++i) v[i] += o.v[i];
        return *this;
    }
    TLockCounts operator-() const {
        TLockCounts r;
        for (int i = 0; i < 5; ++i) r.v[i] = -v[i];
        return r;
    }
    // The counts of one open atom with mode m.
    static TLockCounts ForOpen(uint8_t m);
    // The counts a nested image with combined mode m adds in its parent.
    static TLockCounts ForBits(uint8_t m);
};

// One atom as seen in one transaction.
class TAtomImage {
public:
    TAtomImage(TOrvBase& base, TTransaction* tr, uint32_t handle, TAtomImage* parent, bool isNew);

    uint32_t Handle() const { return handle_; }
    TAtomImage* Parent() const { return parent_; }
    TTransaction* Transaction() const { return tr_; }
    bool IsNew() const { return new_; }
    uint8_t Mode() const { return mode_; }
    uint8_t Dirty() const { return dirty_; }
    uint8_t Loaded() const { return loaded_; }
    const TLockCounts& Locks() const { return locks_; }
    int32_t LinkCount() const { return linkCount_; }
    int32_t ExternalCount() const { return externalCount_; }
    uint32_t DataSize() const { return uint32_t(data_.size()); }
    const TAtomHandleArray& Links() const { return links_.Get(); }
    uint8_t LinkWidth() const { return width_; }
    bool HasChildren() const { return !children_.empty(); }

    // The share rule: adds delta to the lock counts (code 4 leaves all as was).
    void AddLocks(const TLockCounts& delta);
    void SetMode(uint8_t m);

    void SetSize(uint32_t n);
    uint32_t Read(uint32_t offset, void* buffer, uint32_t count) const;
    void Write(uint32_t offset, const void* buffer, uint32_t count);
    void SetLink(uint32_t i, uint32_t h);
    void InsertLink(uint32_t i, uint32_t h);
    void DeleteLink(uint32_t i);
    void SetLinkCount(uint32_t n);
    void AddLinkCount(int32_t delta);
    void AddExternalCount(int32_t delta);

    // Pushes changes one level up, or stores a root image.
    void Flush();
    void Store();
    void MergeIntoParent();

private:
    friend class TOrvBase;
    void RaiseWidth(uint32_t h);
    void UpdateCounterDirt();

    TOrvBase& base_;
    TAtomImage* parent_;
    bool new_;
    TSharedBytes data_;  // shared with the cache or the parent until written
    uint32_t handle_;
    TSharedLinks links_;
    TLockCounts locks_;
    uint8_t mode_ = 0;
    uint8_t dirty_ = 0;
    uint8_t width_ = 1;
    std::vector<TAtomImage*> children_;
    int32_t linkCount_ = 0;  // absolute without a parent image, else a change
    TTransaction* tr_;
    int32_t externalCount_ = 0;
    uint8_t loaded_ = 0;
};

// An open atom: one image and an access mode. Releasing the last reference
// closes it; Close reports failures, the destructor swallows them.
class TAtom : public virtual RefCounted {
public:
    TAtom(TOrvBase& base, TAtomImage* image, uint8_t mode);
    ~TAtom() override;

    uint32_t GetHandle() const { return handle_; }
    bool IsOpen() const { return image_ != nullptr; }
    uint8_t GetMode() const { return mode_; }
    uint32_t GetDataSize() const;
    void SetDataSize(uint32_t n);
    uint32_t Read(uint32_t offset, void* buffer, uint32_t count) const;
    void Write(uint32_t offset, const void* buffer, uint32_t count);
    uint32_t GetLinkCount() const;
    uint32_t GetLink(uint32_t i) const;
    void SetLink(uint32_t i, uint32_t h);
    void SetLinkCount(uint32_t n);
    void InsertLink(uint32_t i, uint32_t h);
    void DeleteLink(uint32_t i);
    void SetMode(uint8_t m);
    void AddExternalRefs(int32_t delta);
    void AddLinkRefs(int32_t delta);
    // The reference counts as seen here: absolute at the root level and for
    // new atoms, changes against the enclosing transaction otherwise.
    int32_t GetLinkRefs() const;
    int32_t GetExternalRefs() const;
    void Close();

private:
    friend class TOrvBase;
    TAtomImage& Need(uint8_t bits) const;

    TOrvBase& base_;
    TAtomImage* image_;
    uint32_t handle_;
    uint8_t mode_;
    // On a read-only file: the atom's own image, in no transaction's map.
    std::unique_ptr<TAtomImage> own_;
};

class IEnumAtoms : public virtual RefCounted {
public:
    virtual Ref<IEnumAtoms> Clone() = 0;
    // The next existing handle, 0 at the end.
    virtual uint32_t Next() = 0;
    virtual void Reset() = 0;
};

class TTransaction {
public:
    TTransaction(TOrvBase& base, uint32_t id, TTransaction* parent)
        : base_(base), id_(id), parent_(parent) {}
    uint32_t Id() const { return id_; }
    TTransaction* Parent() const { return parent_; }
    TAtomImage* Find(uint32_t h) const;
    size_t ImageCount() const { return images_.size(); }
    int32_t OpenCount() const { return openCount_; }

private:
    friend class TOrvBase;
    friend class TAtomImage;
    // Keyed in the store's bucket order: low 6 bits first, then the rest.
    static uint64_t Key(uint32_t h) { return uint64_t(h & 63) << 32 | (h >> 6); }
    // Images from the last bucket down, highest handle first.
    std::vector<TAtomImage*> Backward() const;

    TOrvBase& base_;
    // Hashed: a large transaction looks up an image on every atom access;
    // only commit and abort need the bucket order, and sort for it.
    std::unordered_map<uint64_t, std::unique_ptr<TAtomImage>> images_;
    std::vector<TTransaction*> children_;
    uint32_t id_;
    int32_t openCount_ = 0;
    int32_t subtreeCount_ = 0;
    TTransaction* parent_;
};

class TOrvBase {
public:
    static constexpr uint32_t kRootAtom = 1;
    static constexpr uint32_t kSecondAtom = 2;

    // Takes over the open storage file; a new file gets atoms 1 and 2 at once.
    explicit TOrvBase(std::unique_ptr<IAtomFile> file);
    // Aborts every open top-level transaction (their atoms must be closed).
    ~TOrvBase();
    TOrvBase(const TOrvBase&) = delete;
    TOrvBase& operator=(const TOrvBase&) = delete;

    uint32_t StartTransaction(uint32_t parentId);
    // Into the parent; a top-level commit is on disk when it returns.
    void Commit(uint32_t id);
    void Abort(uint32_t id);
    Ref<TAtom> CreateAtom(uint32_t trId, uint8_t mode);
    Ref<TAtom> OpenAtom(uint32_t trId, uint32_t handle, uint8_t mode);
    void CloseAtom(TAtom& atom);
    bool AtomExists(uint32_t trId, uint32_t handle);
    void AdjustLinkRefs(uint32_t trId, uint32_t handle, int32_t delta);
    Ref<IEnumAtoms> EnumAtoms(uint32_t trId);
    bool IsValidTransaction(uint32_t id) const { return trs_.count(id) != 0; }
    uint32_t ParentOf(uint32_t id);

    IAtomFile& File() { return *file_; }
    TAtomManager& Manager() { return *manager_; }
    TAtomCache& Cache() { return *cache_; }

private:
    friend class TAtomImage;
    friend class TAtom;
    friend class TAtomEnumerator;

    TTransaction* Tr(uint32_t id) const;
    TAtomImage* GetImage(TTransaction* tr, uint32_t h);
    Ref<TAtom> OpenImage(TAtomImage* image, uint8_t mode);
    Ref<TAtom> OpenReadOnly(TTransaction* tr, uint32_t handle, uint8_t mode);
    void AdjustLinkRefs(TTransaction* tr, uint32_t h, int32_t delta);
    // The release rule, run from a worklist so that garbage cascades along
    // long chains of links without deep recursion.
    void ReleaseImage(TTransaction* tr, uint32_t h);
    void ReleaseStep(TTransaction* tr, uint32_t h);
    void DeleteGarbage(TAtomImage* image);
    void DestroyImage(TAtomImage* image);
    void CountOpen(TTransaction* tr, int delta);
    void ShiftSubtree(TTransaction* tr, int delta);
    void AbortTree(TTransaction* tr);
    void DestroyTransaction(TTransaction* tr);
    void FreeId(uint32_t id);

    std::unique_ptr<IAtomFile> file_;
    std::unique_ptr<TAtomManager> manager_;
    std::unique_ptr<TAtomCache> cache_;
    std::map<uint32_t, std::unique_ptr<TTransaction>> trs_;
    std::vector<uint32_t> freeIds_;
    uint32_t nextId_ = 1;
    TTransaction* root_ = nullptr;
    std::vector<std::pair<TTransaction*, uint32_t>> pending_;
    bool releasing_ = false;
};

}  // namespace tlvx
