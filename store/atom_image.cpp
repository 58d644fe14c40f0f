// Atom images and open atoms: access modes, the share rule across nesting
// levels, loading parts on demand and every change operation.
#include <algorithm>
#include <cstring>

#include "store/errors.h"
#include "store/orv_base.h"

namespace tlvx {

namespace {

enum { kDataReaders, kLinkReaders, kDataWriters, kLinkWriters, kOpeners };

uint8_t ModeFromCounts(const TLockCounts& c) {
    uint8_t m = 0;
    if (c.v[kOpeners] > 0) m |= amOpen;
    if (c.v[kDataWriters] > 0) m |= amWriteData;
    else if (c.v[kDataReaders] > 0) m |= amReadData;
    if (c.v[kLinkWriters] > 0) m |= amWriteLinks;
    else if (c.v[kLinkReaders] > 0) m |= amReadLinks;
    return m;
}

uint8_t PartsFor(uint8_t m) {
    uint8_t p = 0;
    if (m & amOpen) p |= kPartCounters;
    if (m & (amReadData | amWriteData)) p |= kPartData;
    if (m & (amReadLinks | amWriteLinks)) p |= kPartLinks;
    return p;
}

[[noreturn]] void ShareViolation() {
    throw EQmzError(ecShareViolation, TQmzMessage::AtomShareViolation);
}

}  // namespace

TLockCounts TLockCounts::ForOpen(uint8_t m) {
    TLockCounts c;
    c.v[kOpeners] = 1;
    if (m & amWriteData) c.v[kDataWriters] = 1;
    else if (m & amReadData) c.v[kDataReaders] = 1;
    if (m & amWriteLinks) c.v[kLinkWriters] = 1;
    else if (m & amReadLinks) c.v[kLinkReaders] = 1;
    return c;
}

TLockCounts TLockCounts::ForBits(uint8_t m) {
    TLockCounts c;
    c.v[kDataReaders] = (m & amReadData) ? 1 : 0;
    c.v[kLinkReaders] = (m & amReadLinks) ? 1 : 0;
    c.v[kDataWriters] = (m & amWriteData) ? 1 : 0;
    c.v[kLinkWriters] = (m & amWriteLinks) ? 1 : 0;
    c.v[kOpeners] = (m & amOpen) ? 1 : 0;
    return c;
}

TAtomImage::TAtomImage(TOrvBase& base, TTransaction* tr, uint32_t handle, TAtomImage* parent,
                       bool isNew)
    : base_(base), parent_(parent), new_(isNew), handle_(handle), tr_(tr) {}

void TAtomImage::AddLocks(const TLockCounts& delta) {
    if (delta.IsZero()) return;
    TLockCounts c = locks_;
    c += delta;
    if (c.v[kDataWriters] > 1 || (c.v[kDataWriters] > 0 && c.v[kDataReaders] > 0)) ShareViolation();
    if (c.v[kLinkWriters] > 1 || (c.v[kLinkWriters] > 0 && c.v[kLinkReaders] > 0)) ShareViolation();
    uint8_t m = ModeFromCounts(c);
    // Dirty parts keep the mode that holds them.
    if (dirty_) m |= amOpen;
    if (dirty_ & kPartData) m = uint8_t((m & ~(amReadData | amWriteData)) | amWriteData);
    if (dirty_ & kPartLinks) m = uint8_t((m & ~(amReadLinks | amWriteLinks)) | amWriteLinks);
    SetMode(m);
    locks_ = c;
}

void TAtomImage::SetMode(uint8_t m) {
    if (m == mode_) return;
    if (parent_) {
        TLockCounts d;
        for (int bit = 0; bit < 5; ++bit) {
            const uint8_t b = uint8_t(1u << bit);
            if ((m & b) && !(mode_ & b)) d.v[bit] += 1;
            if (!(m & b) && (mode_ & b)) d.v[bit] -= 1;
        }
        // Bit order 1, 2, 4, 8, 16 matches the order of the counts.
        parent_->AddLocks(d);
    }
    const uint8_t needed = PartsFor(m);
    if (parent_) {
        if (!(m & (amReadData | amWriteData)) && (loaded_ & kPartData) && !(dirty_ & kPartData)) {
            data_.clear();
            loaded_ &= uint8_t(~kPartData);
        }
        if (!(m & (amReadLinks | amWriteLinks)) && (loaded_ & kPartLinks) &&
            !(dirty_ & kPartLinks)) {
            links_.clear();
            width_ = 1;
            loaded_ &= uint8_t(~kPartLinks);
        }
    }
    const uint8_t missing = uint8_t(needed & ~loaded_);
    if (missing) {
        if (parent_) {
            if (missing & kPartCounters) linkCount_ = externalCount_ = 0;
            if (missing & kPartLinks) {
                links_ = parent_->links_;
                width_ = parent_->width_;
            }
            if (missing & kPartData) data_ = parent_->data_;
        } else if (new_) {
            if (missing & kPartCounters) linkCount_ = externalCount_ = 0;
            if (missing & kPartLinks) {
                links_.clear();
                width_ = 1;
            }
            if (missing & kPartData) data_.clear();
        } else {
            TAtomData d;
            base_.Cache().Get(handle_, missing, d);
            if (missing & kPartCounters) {
                linkCount_ = int32_t(d.linkCount);
                externalCount_ = int32_t(d.externalCount);
            }
            if (missing & kPartLinks) {
                links_ = std::move(d.links);
                width_ = d.linkWidth;
            }
            if (missing & kPartData) data_ = std::move(d.data);
        }
        loaded_ |= missing;
    }
    mode_ = m;
}

void TAtomImage::SetSize(uint32_t n) {
    base_.File().CheckWritable();
    QMZ_ASSERT(loaded_ & kPartData);
    // Growth always brings zeros, never bytes of an earlier size.
    if (n == 0) data_.clear();
    else if (n != data_.size()) data_.Mut().resize(n, 0);
    dirty_ |= kPartData;
    loaded_ |= kPartData;
}

uint32_t TAtomImage::Read(uint32_t offset, void* buffer, uint32_t count) const {
    QMZ_ASSERT(loaded_ & kPartData);
    if (count == 0 || offset >= data_.size()) return 0;
    const uint32_t n = std::min<uint32_t>(count, uint32_t(data_.size()) - offset);
    std::memcpy(buffer, data_.data() + offset, n);
    return n;
}

void TAtomImage::Write(uint32_t offset, const void* buffer, uint32_t count) {
    base_.File().CheckWritable();
    if (count == 0) return;
    QMZ_ASSERT(loaded_ & kPartData);
    const uint64_t end = uint64_t(offset) + count;
    if (end > 0x7FFFFFFF) throw EQmzError(ecFileIO, TQmzMessage::FileWrite);
    TByteArray& data = data_.Mut();
    if (end > data.size()) data.resize(size_t(end), 0);
    std::memcpy(data.data() + offset, buffer, count);
    dirty_ |= kPartData;
}

void TAtomImage::RaiseWidth(uint32_t h) { width_ = std::max(width_, LinkWidthFor(h)); }

void TAtomImage::SetLink(uint32_t i, uint32_t h) {
    base_.File().CheckWritable();
    QMZ_ASSERT(loaded_ & kPartLinks);
    if (i >= links_.size()) links_.Mut().resize(size_t(i) + 1, 0);
    if (h != links_[i]) {
        RaiseWidth(h);
        if (h) base_.AdjustLinkRefs(tr_, h, +1);
        const uint32_t old = links_[i];
        if (old) {
            try {
                base_.AdjustLinkRefs(tr_, old, -1);
            } catch (...) {
                // A broken old target does not stop the change.
            }
        }
        links_.Mut()[i] = h;
    }
    dirty_ |= kPartLinks;
}

void TAtomImage::InsertLink(uint32_t i, uint32_t h) {
    if (i >= links_.size()) return SetLink(i, h);
    base_.File().CheckWritable();
    QMZ_ASSERT(loaded_ & kPartLinks);
    RaiseWidth(h);
    if (h) base_.AdjustLinkRefs(tr_, h, +1);
    TAtomHandleArray& links = links_.Mut();
    links.insert(links.begin() + i, h);
    dirty_ |= kPartLinks;
}

void TAtomImage::DeleteLink(uint32_t i) {
    base_.File().CheckWritable();
    QMZ_ASSERT(loaded_ & kPartLinks);
    if (i >= links_.size()) return;
    if (links_[i]) {
        try {
            base_.AdjustLinkRefs(tr_, links_[i], -1);
        } catch (...) {
        }
    }
    TAtomHandleArray& links = links_.Mut();
    links.erase(links.begin() + i);
    dirty_ |= kPartLinks;
}

void TAtomImage::SetLinkCount(uint32_t n) {
    base_.File().CheckWritable();
    QMZ_ASSERT(loaded_ & kPartLinks);
    for (size_t i = n; i < links_.size(); ++i) {
        if (links_[i]) {
            const uint32_t old = links_[i];
            links_.Mut()[i] = 0;
            try {
                base_.AdjustLinkRefs(tr_, old, -1);
            } catch (...) {
            }
        }
    }
    if (n == 0) links_.clear();
    else if (n != links_.size()) links_.Mut().resize(n, 0);
    if (n == 0) width_ = 1;
    dirty_ |= kPartLinks;
}

void TAtomImage::UpdateCounterDirt() {
    if (!parent_ || linkCount_ != 0 || externalCount_ != 0) dirty_ |= kPartCounters;
    else dirty_ &= uint8_t(~kPartCounters);
}

void TAtomImage::AddLinkCount(int32_t delta) {
    base_.File().CheckWritable();
    QMZ_ASSERT(loaded_ & kPartCounters);
    linkCount_ += delta;
    if (!parent_ && linkCount_ < 0) linkCount_ = 0;
    UpdateCounterDirt();
}

void TAtomImage::AddExternalCount(int32_t delta) {
    base_.File().CheckWritable();
    QMZ_ASSERT(loaded_ & kPartCounters);
    externalCount_ += delta;
    if (!parent_ && externalCount_ < 0) externalCount_ = 0;
    UpdateCounterDirt();
}

void TAtomImage::Flush() {
    if (parent_) {
        if (!dirty_) return;
        if (dirty_ & kPartCounters) {
            if (linkCount_) parent_->AddLinkCount(linkCount_);
            if (externalCount_) parent_->AddExternalCount(externalCount_);
            linkCount_ = externalCount_ = 0;
        }
        if (dirty_ & kPartData) {
            parent_->data_ = data_;
            parent_->dirty_ |= kPartData;
            parent_->loaded_ |= kPartData;
        }
        if (dirty_ & kPartLinks) {
            parent_->links_ = links_;
            parent_->width_ = width_;
            parent_->dirty_ |= kPartLinks;
            parent_->loaded_ |= kPartLinks;
        }
        dirty_ = 0;
    } else if (new_ || dirty_) {
        Store();
    }
}

void TAtomImage::Store() {
    QMZ_ASSERT(!parent_);
    base_.File().CheckWritable();
    if (new_) {
        // A reused handle must not find an old item in the cache.
        base_.Cache().Remove(handle_);
        base_.Manager().CreateAtom(handle_);
        new_ = false;
        // The fresh entry holds none of the parts yet.
        dirty_ = loaded_;
    }
    if (dirty_) {
        TAtomData d;
        d.present = loaded_;
        d.linkCount = uint32_t(std::max(linkCount_, 0));
        d.externalCount = uint32_t(std::max(externalCount_, 0));
        d.links = links_;
        d.linkWidth = width_;
        d.data = data_;
        base_.Cache().Put(handle_, d, dirty_);
        dirty_ = 0;
    }
    SetMode(ModeFromCounts(locks_));
}

void TAtomImage::MergeIntoParent() {
    QMZ_ASSERT(parent_ != nullptr);
    Flush();
    TLockCounts d = -TLockCounts::ForBits(mode_);
    for (TAtomImage* child : children_) {
        child->parent_ = parent_;
        parent_->children_.push_back(child);
        d += TLockCounts::ForBits(child->mode_);
    }
    children_.clear();
    parent_->AddLocks(d);
    data_.clear();
    links_.clear();
    locks_ = TLockCounts();
    mode_ = dirty_ = loaded_ = 0;
    linkCount_ = externalCount_ = 0;
}

// --- TAtom -----------------------------------------------------------------

TAtom::TAtom(TOrvBase& base, TAtomImage* image, uint8_t mode)
    : base_(base), image_(image), handle_(image->Handle()), mode_(mode) {}

TAtom::~TAtom() {
    try {
        Close();
    } catch (...) {
        // Destructors never throw; Close reports the failure to whoever asks.
    }
}

TAtomImage& TAtom::Need(uint8_t bits) const {
    if (!image_ || (bits && !(mode_ & bits)))
        throw EQmzError(ecAccessDenied, TQmzMessage::AtomAccessDenied);
    return *image_;
}

uint32_t TAtom::GetDataSize() const { return Need(amReadData | amWriteData).DataSize(); }
void TAtom::SetDataSize(uint32_t n) { Need(amWriteData).SetSize(n); }
uint32_t TAtom::Read(uint32_t offset, void* buffer, uint32_t count) const {
    return Need(amReadData | amWriteData).Read(offset, buffer, count);
}
void TAtom::Write(uint32_t offset, const void* buffer, uint32_t count) {
    Need(amWriteData).Write(offset, buffer, count);
}
uint32_t TAtom::GetLinkCount() const {
    return uint32_t(Need(amReadLinks | amWriteLinks).Links().size());
}
uint32_t TAtom::GetLink(uint32_t i) const {
    const auto& links = Need(amReadLinks | amWriteLinks).Links();
    return i < links.size() ? links[i] : 0;
}
void TAtom::SetLink(uint32_t i, uint32_t h) { Need(amWriteLinks).SetLink(i, h); }
void TAtom::SetLinkCount(uint32_t n) { Need(amWriteLinks).SetLinkCount(n); }
void TAtom::InsertLink(uint32_t i, uint32_t h) { Need(amWriteLinks).InsertLink(i, h); }
void TAtom::DeleteLink(uint32_t i) { Need(amWriteLinks).DeleteLink(i); }

void TAtom::SetMode(uint8_t m) {
    TAtomImage& image = Need(0);
    if (m & (amWriteData | amWriteLinks)) base_.File().CheckWritable();
    TLockCounts d = TLockCounts::ForOpen(m);
    d += -TLockCounts::ForOpen(mode_);
    image.AddLocks(d);
    mode_ = m;
}

void TAtom::AddExternalRefs(int32_t delta) { Need(0).AddExternalCount(delta); }
void TAtom::AddLinkRefs(int32_t delta) { Need(0).AddLinkCount(delta); }
// A read-only atom opened below the root level reports what a nested image
// would: no change against the enclosing transaction.
int32_t TAtom::GetLinkRefs() const {
    const TAtomImage& image = Need(0);
    return own_ && image.Transaction() != base_.root_ ? 0 : image.LinkCount();
}
int32_t TAtom::GetExternalRefs() const {
    const TAtomImage& image = Need(0);
    return own_ && image.Transaction() != base_.root_ ? 0 : image.ExternalCount();
}

void TAtom::Close() {
    if (image_) base_.CloseAtom(*this);
}

}  // namespace tlvx
