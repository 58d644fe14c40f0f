// One node of a B-tree index: an atom and a copy of its data.
//
// Node atom layout (little-endian), with P = PageSize and
// HeaderSize = P * 8 + 8:
//   0        u32 Count      keys in the node, 0..P
//   4        u32 EndOffset  first free byte of the key area (HeaderSize when
//                           fresh or cleared)
//   8 + 8i   u32            offset of key i
//   12 + 8i  u32            length of key i
//   HeaderSize..EndOffset-1 key bytes, appended one key after the other
// Only the pairs in use are written. Key bytes are never rewritten in place:
// removed or replaced keys leave dead bytes until the node is compacted; the
// atom is never shortened.
//
// Links: link i (i < P) is the value of key i, link P + j (j <= Count) is
// child j, the subtree between key j-1 and key j. Positions stay fixed: an
// insertion drops the empty last slot of its range, a removal inserts one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ref.h"
#include "store/virtual_atom.h"

namespace tlvx {

// Unsigned byte order, shorter first on an equal prefix.
int CompareKeys(std::string_view a, std::string_view b);

// Levels below the root no index can reach: every node under the root holds
// at least PageSize / 2 >= 2 keys, so even 2^32 atoms give fewer than 21
// levels. A deeper descent means a damaged file links a node below itself.
inline constexpr uint32_t kMaxTreeDepth = 64;

// Raises "Assertion failure" when a descent reaches depth levels below the
// root and depth is beyond kMaxTreeDepth.
void CheckTreeDepth(size_t depth);

class TBTreeNode {
public:
    // Dead bytes a node may carry before it counts as wasteful.
    static constexpr uint32_t kWasteAllowance = 64;

    TBTreeNode() = default;
    TBTreeNode(Ref<IVirtualAtom> atom, uint32_t pageSize);

    static uint32_t HeaderSizeOf(uint32_t pageSize) { return pageSize * 8 + 8; }

    // Loads and checks the node; a damaged node raises "Assertion failure".
    void Read();
    // A fresh empty header (not written).
    void InitEmpty();
    // Stores Count * 8 + 8 header bytes.
    void WriteHeader();

    const Ref<IVirtualAtom>& Atom() const { return atom_; }
    uint32_t PageSize() const { return pageSize_; }
    uint32_t HeaderSize() const { return HeaderSizeOf(pageSize_); }
    uint32_t Count() const { return Get(0); }
    uint32_t EndOffset() const { return Get(4); }
    uint32_t KeyOffset(uint32_t i) const { return Get(8 + 8 * i); }
    uint32_t KeyLength(uint32_t i) const { return Get(12 + 8 * i); }

    std::string Key(uint32_t i) const { return std::string(KeyView(i)); }
    // The key's bytes in the node's copy; valid until the node changes.
    std::string_view KeyView(uint32_t i) const;
    // Binary search: true and the key's index, or false and the insertion
    // position 0..Count.
    bool Search(std::string_view key, uint32_t& pos) const;

    // Links.
    uint32_t ValueSlot(uint32_t i) const { return i; }
    uint32_t ChildSlot(uint32_t j) const { return pageSize_ + j; }
    // The target opened with mode 0 (only to move its link), null when empty.
    Ref<IVirtualAtom> LinkTarget(uint32_t slot) const;
    Ref<IVirtualAtom> OpenChild(uint32_t j, uint8_t mode) const;
    bool HasChild(uint32_t j) const;
    // Fixed-position insertion and removal inside the value or child range.
    void InsertValueLink(uint32_t i, const Ref<IVirtualAtom>& atom);
    void RemoveValueLink(uint32_t i);
    void InsertChildLink(uint32_t j, const Ref<IVirtualAtom>& atom);
    void RemoveChildLink(uint32_t j);
    void SetLink(uint32_t slot, const Ref<IVirtualAtom>& atom);

    // Header edits (in the copy; WriteHeader stores them).
    void SetCount(uint32_t count) { Put(0, count); }
    void SetEndOffset(uint32_t offset) { Put(4, offset); }
    void SetPair(uint32_t i, uint32_t offset, uint32_t length) {
        Put(8 + 8 * i, offset);
        Put(12 + 8 * i, length);
    }
    // Pairs i.. move up (down) one place; Count is not changed.
    void OpenPair(uint32_t i);
    void ClosePair(uint32_t i);
    // Writes key bytes at EndOffset as pair i (key must not point into this
    // node's own copy: the copy may grow).
    void AppendKey(uint32_t i, std::string_view key);

    uint64_t LiveBytes() const;
    bool Wasteful() const;
    // Copies the live keys to HeaderSize onwards in key order.
    void Compact();
    void CompactIfWasteful() {
        if (Wasteful()) Compact();
    }

private:
    uint32_t Get(uint32_t at) const;
    void Put(uint32_t at, uint32_t v);

    Ref<IVirtualAtom> atom_;
    uint32_t pageSize_ = 0;
    // A copy of the atom's data, at least HeaderSize bytes (zeros past the
    // atom's end): the header, then the key area. Key bytes written through
    // AppendKey are written to both, so searches need no atom reads.
    std::vector<uint8_t> bytes_;
};

}  // namespace tlvx
