#include "store/btree_node.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/byte_codec.h"
#include "store/errors.h"
#include "store/indexer.h"

namespace tlvx {

int CompareKeys(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (c != 0) return c < 0 ? -1 : 1;
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

void CheckTreeDepth(size_t depth) { QMZ_ASSERT(depth <= kMaxTreeDepth); }

TBTreeNode::TBTreeNode(Ref<IVirtualAtom> atom, uint32_t pageSize)
    : atom_(std::move(atom)), pageSize_(pageSize), bytes_(HeaderSizeOf(pageSize), 0) {}

uint32_t TBTreeNode::Get(uint32_t at) const {
    QMZ_ASSERT(at + 4 <= HeaderSize());
    return GetU32(bytes_.data() + at);
}

void TBTreeNode::Put(uint32_t at, uint32_t v) {
    QMZ_ASSERT(at + 4 <= HeaderSize());
    PutU32(bytes_.data() + at, v);
}

void TBTreeNode::InitEmpty() {
    // Bytes past the header stay: the atom keeps them too.
    std::fill(bytes_.begin(), bytes_.begin() + HeaderSize(), 0);
    SetEndOffset(HeaderSize());
}

void TBTreeNode::Read() {
    const int32_t atomSize = atom_->GetSize();
    bytes_.assign(std::max<size_t>(size_t(atomSize), HeaderSize()), 0);
    if (atomSize > 0) atom_->Read(0, bytes_.data(), atomSize);
    const uint64_t size = uint64_t(atomSize);
    const uint32_t count = Count(), end = EndOffset();
    QMZ_ASSERT(count <= pageSize_);
    QMZ_ASSERT(end >= HeaderSize() && end <= uint32_t(std::numeric_limits<int32_t>::max()));
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t off = KeyOffset(i), len = KeyLength(i);
        QMZ_ASSERT(len <= uint64_t(kMaxKeyLength));
        // An empty key appended to a fresh node stands past the atom's end
        // (the atom holds only the pairs in use); it reads nothing.
        QMZ_ASSERT(off >= HeaderSize() && off + len <= end && (len == 0 || off + len <= size));
    }
}

void TBTreeNode::WriteHeader() {
    atom_->Write(0, bytes_.data(), int32_t(Count() * 8 + 8));
}

std::string_view TBTreeNode::KeyView(uint32_t i) const {
    QMZ_ASSERT(i < Count());
    const uint64_t off = KeyOffset(i), len = KeyLength(i);
    QMZ_ASSERT(off + len <= bytes_.size());
    return std::string_view(reinterpret_cast<const char*>(bytes_.data()) + off, size_t(len));
}

bool TBTreeNode::Search(std::string_view key, uint32_t& pos) const {
    uint32_t lo = 0, n = Count();
    while (n > 0) {
        uint32_t mid = lo + n / 2;
        int c = CompareKeys(key, KeyView(mid));
        if (c == 0) {
            pos = mid;
            return true;
        }
        if (c < 0) {
            n = n / 2;
        } else {
            n = n - n / 2 - 1;
            lo = mid + 1;
        }
    }
    pos = lo;
    return false;
}

Ref<IVirtualAtom> TBTreeNode::LinkTarget(uint32_t slot) const {
    return atom_->OpenLinkWithMode(int32_t(slot), 0);
}

Ref<IVirtualAtom> TBTreeNode::OpenChild(uint32_t j, uint8_t mode) const {
    return atom_->OpenLinkWithMode(int32_t(ChildSlot(j)), mode);
}

bool TBTreeNode::HasChild(uint32_t j) const { return atom_->HasLink(int32_t(ChildSlot(j))); }

void TBTreeNode::InsertValueLink(uint32_t i, const Ref<IVirtualAtom>& atom) {
    QMZ_ASSERT(i < pageSize_);
    atom_->DeleteLink(int32_t(pageSize_ - 1));
    atom_->InsertLink(int32_t(i), atom);
}

void TBTreeNode::RemoveValueLink(uint32_t i) {
    QMZ_ASSERT(i < pageSize_);
    atom_->DeleteLink(int32_t(i));
    atom_->InsertLink(int32_t(pageSize_ - 1), nullptr);
}

void TBTreeNode::InsertChildLink(uint32_t j, const Ref<IVirtualAtom>& atom) {
    QMZ_ASSERT(j <= pageSize_);
    atom_->DeleteLink(int32_t(2 * pageSize_));
    atom_->InsertLink(int32_t(ChildSlot(j)), atom);
}

void TBTreeNode::RemoveChildLink(uint32_t j) {
    QMZ_ASSERT(j <= pageSize_);
    atom_->DeleteLink(int32_t(ChildSlot(j)));
    atom_->InsertLink(int32_t(2 * pageSize_), nullptr);
}

void TBTreeNode::SetLink(uint32_t slot, const Ref<IVirtualAtom>& atom) {
    QMZ_ASSERT(slot <= 2 * pageSize_);
    // Clearing a link that lies past the end of the array changes nothing;
    // do not extend the array for it.
    if (!atom && int32_t(slot) >= atom_->GetLinkCount()) return;
    atom_->SetLink(int32_t(slot), atom);
}

// Pair k lies at 8 + 8k; the pairs move as one block.
void TBTreeNode::OpenPair(uint32_t i) {
    QMZ_ASSERT(i < pageSize_);
    uint8_t* at = bytes_.data() + 8 + 8 * size_t(i);
    std::memmove(at + 8, at, 8 * size_t(pageSize_ - 1 - i));
}

void TBTreeNode::ClosePair(uint32_t i) {
    QMZ_ASSERT(i < pageSize_);
    uint8_t* at = bytes_.data() + 8 + 8 * size_t(i);
    std::memmove(at, at + 8, 8 * size_t(pageSize_ - 1 - i));
}

void TBTreeNode::AppendKey(uint32_t i, std::string_view key) {
    QMZ_ASSERT(i < pageSize_ && key.size() <= size_t(kMaxKeyLength));
    const uint64_t end = EndOffset();
    QMZ_ASSERT(end + key.size() <= uint64_t(std::numeric_limits<int32_t>::max()));
    if (!key.empty()) {
        atom_->Write(int32_t(end), key.data(), int32_t(key.size()));
        if (bytes_.size() < end + key.size()) bytes_.resize(size_t(end + key.size()), 0);
        std::memcpy(bytes_.data() + end, key.data(), key.size());
    }
    SetPair(i, uint32_t(end), uint32_t(key.size()));
    SetEndOffset(uint32_t(end + key.size()));
}

uint64_t TBTreeNode::LiveBytes() const {
    uint64_t sum = 0;
    for (uint32_t i = 0; i < Count(); ++i) sum += KeyLength(i);
    return sum;
}

bool TBTreeNode::Wasteful() const {
    return uint64_t(EndOffset()) > uint64_t(HeaderSize()) + LiveBytes() + kWasteAllowance;
}

void TBTreeNode::Compact() {
    // Read every live key before writing: the new places overlap the old.
    std::vector<std::string> keys;
    keys.reserve(Count());
    for (uint32_t i = 0; i < Count(); ++i) keys.push_back(Key(i));
    SetEndOffset(HeaderSize());
    for (uint32_t i = 0; i < keys.size(); ++i) AppendKey(i, keys[i]);
}

}  // namespace tlvx
