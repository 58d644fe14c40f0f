// Nested transactions, the release rule with its garbage collector, commit
// and abort.
#include "store/orv_base.h"

#include <algorithm>

#include "store/errors.h"

namespace tlvx {

TAtomImage* TTransaction::Find(uint32_t h) const {
    auto it = images_.find(Key(h));
    return it == images_.end() ? nullptr : it->second.get();
}

std::vector<TAtomImage*> TTransaction::Backward() const {
    std::vector<std::pair<uint64_t, TAtomImage*>> keyed;
    keyed.reserve(images_.size());
    for (const auto& [key, img] : images_) keyed.emplace_back(key, img.get());
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<TAtomImage*> out;
    out.reserve(keyed.size());
    for (const auto& [key, img] : keyed) out.push_back(img);
    return out;
}

// --- enumerator -------------------------------------------------------------

class TAtomEnumerator : public IEnumAtoms {
public:
    TAtomEnumerator(TOrvBase& base, uint32_t trId, bool check, uint32_t next)
        : base_(base), trId_(trId), check_(check), next_(next) {}
    Ref<IEnumAtoms> Clone() override {
        return MakeRef<TAtomEnumerator>(base_, trId_, check_, next_);
    }
    uint32_t Next() override {
        while (base_.Manager().IsValidHandle(next_)) {
            const uint32_t h = next_++;
            if (!check_ || base_.AtomExists(trId_, h)) return h;
        }
        return 0;
    }
    void Reset() override { next_ = 1; }

private:
    TOrvBase& base_;
    uint32_t trId_;
    bool check_;
    uint32_t next_;
};

// --- store ------------------------------------------------------------------

TOrvBase::TOrvBase(std::unique_ptr<IAtomFile> file) : file_(std::move(file)) {
    manager_ = std::make_unique<TAtomManager>(*file_);
    cache_ = std::make_unique<TAtomCache>(*manager_, 6, kDefaultCacheCapacity);
    auto root = std::make_unique<TTransaction>(*this, 0, nullptr);
    root_ = root.get();
    trs_.emplace(0, std::move(root));
    if (file_->IsNew()) {
        // Atoms 1 and 2 are pinned so that they are never collected.
        for (int i = 0; i < 2; ++i) {
            Ref<TAtom> a = CreateAtom(0, 0);
            a->AddLinkRefs(1);
            a->Close();
        }
        file_->Flush();
    }
}

TOrvBase::~TOrvBase() {
    std::vector<uint32_t> top;
    for (TTransaction* t : root_->children_) top.push_back(t->id_);
    for (auto it = top.rbegin(); it != top.rend(); ++it) {
        try {
            if (trs_.count(*it)) Abort(*it);
        } catch (...) {
            // Open atoms keep their transaction; nothing more can be done here.
        }
    }
    // The file goes first: closing it lets other processes in, and what is
    // left in memory is dropped without writing.
    file_.reset();
    for (auto& [id, tr] : trs_) {
        for (auto& [k, img] : tr->images_) img->children_.clear();
    }
    trs_.clear();
}

TTransaction* TOrvBase::Tr(uint32_t id) const {
    auto it = trs_.find(id);
    if (it == trs_.end()) throw EInvalidTrID();
    return it->second.get();
}

uint32_t TOrvBase::ParentOf(uint32_t id) {
    TTransaction* tr = Tr(id);
    return tr->parent_ ? tr->parent_->id_ : 0;
}

uint32_t TOrvBase::StartTransaction(uint32_t parentId) {
    TTransaction* parent = Tr(parentId);
    uint32_t id;
    if (!freeIds_.empty()) {
        id = freeIds_.back();
        freeIds_.pop_back();
    } else {
        id = nextId_++;
    }
    auto tr = std::make_unique<TTransaction>(*this, id, parent);
    parent->children_.push_back(tr.get());
    trs_.emplace(id, std::move(tr));
    return id;
}

void TOrvBase::FreeId(uint32_t id) { freeIds_.push_back(id); }

TAtomImage* TOrvBase::GetImage(TTransaction* tr, uint32_t h) {
    if (TAtomImage* img = tr->Find(h)) return img;
    TAtomImage* parent = tr->parent_ ? GetImage(tr->parent_, h) : nullptr;
    auto img = std::make_unique<TAtomImage>(*this, tr, h, parent, false);
    TAtomImage* p = img.get();
    tr->images_.emplace(TTransaction::Key(h), std::move(img));
    if (parent) parent->children_.push_back(p);
    return p;
}

void TOrvBase::ShiftSubtree(TTransaction* tr, int delta) {
    while (tr && delta != 0) {
        const bool wasOpen = tr->subtreeCount_ != 0;
        tr->subtreeCount_ += delta;
        const bool isOpen = tr->subtreeCount_ != 0;
        if (wasOpen == isOpen) break;
        delta = isOpen ? +1 : -1;
        tr = tr->parent_;
    }
}

void TOrvBase::CountOpen(TTransaction* tr, int delta) {
    tr->openCount_ += delta;
    ShiftSubtree(tr, delta);
}

Ref<TAtom> TOrvBase::OpenImage(TAtomImage* image, uint8_t mode) {
    if (mode & (amWriteData | amWriteLinks)) file_->CheckWritable();
    image->AddLocks(TLockCounts::ForOpen(mode));
    Ref<TAtom> atom = MakeRef<TAtom>(*this, image, mode);
    CountOpen(image->tr_, +1);
    return atom;
}

Ref<TAtom> TOrvBase::CreateAtom(uint32_t trId, uint8_t mode) {
    TTransaction* tr = Tr(trId);
    file_->CheckWritable();
    const uint32_t h = manager_->AllocHandle();
    auto img = std::make_unique<TAtomImage>(*this, tr, h, nullptr, true);
    TAtomImage* p = img.get();
    tr->images_.emplace(TTransaction::Key(h), std::move(img));
    try {
        return OpenImage(p, mode);
    } catch (...) {
        ReleaseImage(tr, h);
        throw;
    }
}

Ref<TAtom> TOrvBase::OpenAtom(uint32_t trId, uint32_t handle, uint8_t mode) {
    TTransaction* tr = Tr(trId);
    if (!manager_->IsValidHandle(handle))
        throw EQmzError(ecInvalidAtomAddress, TQmzMessage::InvalidAtomAddress);
    if (file_->IsReadOnly()) return OpenReadOnly(tr, handle, mode);
    TAtomImage* img = GetImage(tr, handle);
    try {
        return OpenImage(img, mode);
    } catch (...) {
        ReleaseImage(tr, handle);
        throw;
    }
}

// Nothing changes a read-only file, so every transaction sees the stored
// atom and no two opens can conflict (only read bits pass the file's check).
// Each open atom therefore gets an image of its own straight from the cache:
// it joins no transaction's map and no parent image, keeps no share counts
// elsewhere and leaves nothing to release when it closes.
Ref<TAtom> TOrvBase::OpenReadOnly(TTransaction* tr, uint32_t handle, uint8_t mode) {
    if (mode & (amWriteData | amWriteLinks)) file_->CheckWritable();
    auto image = std::make_unique<TAtomImage>(*this, tr, handle, nullptr, false);
    image->AddLocks(TLockCounts::ForOpen(mode));
    Ref<TAtom> atom = MakeRef<TAtom>(*this, image.get(), mode);
    atom->own_ = std::move(image);
    CountOpen(tr, +1);
    return atom;
}

void TOrvBase::CloseAtom(TAtom& atom) {
    TAtomImage* img = atom.image_;
    if (!img) return;
    atom.image_ = nullptr;
    TTransaction* tr = img->tr_;
    if (atom.own_) {
        atom.own_.reset();
        CountOpen(tr, -1);
        return;
    }
    img->AddLocks(-TLockCounts::ForOpen(atom.mode_));
    CountOpen(tr, -1);
    ReleaseImage(tr, img->handle_);
}

bool TOrvBase::AtomExists(uint32_t trId, uint32_t handle) {
    for (TTransaction* t = Tr(trId); t; t = t->parent_) {
        if (TAtomImage* img = t->Find(handle); img && img->new_) return true;
    }
    return manager_->AtomExists(handle);
}

void TOrvBase::AdjustLinkRefs(uint32_t trId, uint32_t handle, int32_t delta) {
    AdjustLinkRefs(Tr(trId), handle, delta);
}

void TOrvBase::AdjustLinkRefs(TTransaction* tr, uint32_t h, int32_t delta) {
    if (!manager_->IsValidHandle(h))
        throw EQmzError(ecInvalidAtomAddress, TQmzMessage::InvalidAtomAddress);
    TAtomImage* img = GetImage(tr, h);
    TLockCounts opener;
    opener.v[4] = 1;
    try {
        img->AddLocks(opener);
        try {
            img->AddLinkCount(delta);
        } catch (...) {
            img->AddLocks(-opener);
            throw;
        }
        img->AddLocks(-opener);
    } catch (...) {
        ReleaseImage(tr, h);
        throw;
    }
    ReleaseImage(tr, h);
}

Ref<IEnumAtoms> TOrvBase::EnumAtoms(uint32_t trId) {
    Tr(trId);
    return MakeRef<TAtomEnumerator>(*this, trId, true, 1);
}

void TOrvBase::ReleaseImage(TTransaction* tr, uint32_t h) {
    pending_.emplace_back(tr, h);
    if (releasing_) return;
    releasing_ = true;
    try {
        while (!pending_.empty()) {
            auto [t, handle] = pending_.back();
            pending_.pop_back();
            ReleaseStep(t, handle);
        }
    } catch (...) {
        pending_.clear();
        releasing_ = false;
        throw;
    }
    releasing_ = false;
}

void TOrvBase::ReleaseStep(TTransaction* tr, uint32_t h) {
    TAtomImage* img = tr->Find(h);
    if (!img) return;
    const bool open = img->locks_.v[4] > 0;
    if (!img->parent_ && !open && (img->loaded_ & kPartCounters) && img->linkCount_ == 0 &&
        img->externalCount_ == 0 && !file_->IsReadOnly()) {
        DeleteGarbage(img);
        return;
    }
    if (tr->parent_) {
        if (open || img->dirty_ || img->new_ || !img->children_.empty()) return;
        const bool hasParent = img->parent_ != nullptr;
        DestroyImage(img);
        if (hasParent) ReleaseImage(tr->parent_, h);
        return;
    }
    if (open || !img->children_.empty()) return;
    img->Flush();
    DestroyImage(img);
}

void TOrvBase::DeleteGarbage(TAtomImage* img) {
    TTransaction* tr = img->tr_;
    const uint32_t h = img->handle_;
    TAtomHandleArray links;
    try {
        img->SetMode(amReadLinks);
        links = img->links_.Get();
    } catch (...) {
        // An unreadable atom is left where it is (a leak), not half deleted.
        DestroyImage(img);
        return;
    }
    for (uint32_t link : links) {
        if (!link) continue;
        try {
            AdjustLinkRefs(tr, link, -1);
        } catch (...) {
            // One broken link does not stop the others.
        }
    }
    // The decrements above only queue their releases, so img is still here.
    if (img->new_) {
        manager_->ReleaseHandle(h);
    } else {
        cache_->Remove(h);
        manager_->DeleteAtom(h);
    }
    DestroyImage(img);
}

void TOrvBase::DestroyImage(TAtomImage* img) {
    for (TAtomImage* child : std::vector<TAtomImage*>(img->children_)) {
        child->parent_ = nullptr;
        DestroyImage(child);
    }
    img->children_.clear();
    if (TAtomImage* parent = img->parent_) {
        auto& siblings = parent->children_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), img), siblings.end());
        try {
            parent->AddLocks(-TLockCounts::ForBits(img->mode_));
        } catch (...) {
            // Taking locks away cannot violate the share rule.
        }
    }
    img->tr_->images_.erase(TTransaction::Key(img->handle_));
}

void TOrvBase::Commit(uint32_t id) {
    TTransaction* tr = Tr(id);
    if (id == 0) throw EQmzError(ecTransactionFailed, TQmzMessage::CannotCommit);
    if (tr->openCount_ > 0)
        throw EQmzError(ecTransactionFailed, TQmzMessage::CannotCommitAtomsOpen);
    TTransaction* parent = tr->parent_;
    const std::vector<TAtomImage*> images = tr->Backward();
    // Merge first, then detach every merged image, and only then run the
    // release rule in the parent: a garbage cascade there may free parent
    // images, so they are looked up again by handle.
    std::vector<uint32_t> merged;
    std::vector<TAtomImage*> handed;
    for (TAtomImage* img : images) {
        if (img->new_) handed.push_back(img);
        else img->MergeIntoParent();
    }
    for (TAtomImage* img : images) {
        if (img->new_) continue;
        merged.push_back(img->handle_);
        DestroyImage(img);
    }
    for (TAtomImage* img : handed) {
        const uint64_t key = TTransaction::Key(img->handle_);
        std::unique_ptr<TAtomImage> owned = std::move(tr->images_[key]);
        tr->images_.erase(key);
        owned->tr_ = parent;
        parent->images_[key] = std::move(owned);
    }
    for (TAtomImage* img : handed) ReleaseImage(parent, img->handle_);
    for (uint32_t h : merged) ReleaseImage(parent, h);
    // Children still open move up; the parent's subtree count then counts
    // each of them instead of tr.
    int openChildren = 0;
    for (TTransaction* child : tr->children_) {
        child->parent_ = parent;
        parent->children_.push_back(child);
        if (child->subtreeCount_ != 0) ++openChildren;
    }
    ShiftSubtree(parent, openChildren - (tr->subtreeCount_ != 0 ? 1 : 0));
    tr->subtreeCount_ = 0;
    tr->children_.clear();
    DestroyTransaction(tr);
    if (parent == root_) file_->Flush();
}

void TOrvBase::Abort(uint32_t id) {
    TTransaction* tr = Tr(id);
    if (id == 0) throw EQmzError(ecTransactionFailed, TQmzMessage::CannotAbort);
    if (tr->subtreeCount_ != 0)
        throw EQmzError(ecTransactionFailed, TQmzMessage::CannotAbortAtomsOpen);
    AbortTree(tr);
}

void TOrvBase::AbortTree(TTransaction* tr) {
    for (TTransaction* child : std::vector<TTransaction*>(tr->children_)) AbortTree(child);
    TTransaction* parent = tr->parent_;
    std::vector<uint32_t> released;
    for (TAtomImage* img : tr->Backward()) {
        const uint32_t h = img->handle_;
        if (img->new_) manager_->ReleaseHandle(h);
        if (img->parent_) released.push_back(h);
        DestroyImage(img);
    }
    for (uint32_t h : released) ReleaseImage(parent, h);
    DestroyTransaction(tr);
}

void TOrvBase::DestroyTransaction(TTransaction* tr) {
    for (TAtomImage* img : tr->Backward()) DestroyImage(img);
    if (TTransaction* parent = tr->parent_) {
        auto& c = parent->children_;
        c.erase(std::remove(c.begin(), c.end(), tr), c.end());
        // The subtree count of tr is 0 here (commit needs no open atoms in tr,
        // and its children moved up with their own counts).
    }
    for (TTransaction* child : tr->children_) child->parent_ = nullptr;
    const uint32_t id = tr->id_;
    trs_.erase(id);
    FreeId(id);
}

}  // namespace tlvx
