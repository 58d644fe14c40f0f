// The B-tree index: an ordered map from byte-string keys to atoms kept in one
// index atom and one atom per tree node (layout in btree_node.h).
//
// Index atom data (little-endian, written by the factory):
//   0  16  index type GUID {B3A60230-0BA1-11D5-8F94-000102FAE9E5}
//  16   4  u32 version, 2
//  20   4  u32 PageSize: most keys in a node (even, 4..1024)
// Link 0 of the index atom is the root node; other links of the index atom
// belong to whoever owns it.
//
// The index holds its root node open (with the storage's access mask as
// mode) and keeps a copy of the root header current through its own changes.
// Links that move between nodes are set in their new place before they are
// cleared in the old one, so the store never collects a node or value in
// flight.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/guid.h"
#include "store/btree_node.h"
#include "store/capabilities.h"
#include "store/indexer.h"

namespace tlvx {

// {B3A60230-0BA1-11D5-8F94-000102FAE9E5}
extern const TGUID kBTreeIndexType;
inline constexpr uint32_t kBTreeIndexVersion = 2;
inline constexpr int32_t kBTreeIndexHeaderSize = 24;
inline constexpr uint32_t kMinPageSize = 4;
inline constexpr uint32_t kMaxPageSize = 1024;

inline bool IsValidPageSize(int64_t pageSize) {
    return pageSize >= kMinPageSize && pageSize <= kMaxPageSize && pageSize % 2 == 0;
}

class TBTreeIndex : public IIndexer, public IBTreeDump, public TCapabilities {
public:
    // Opens (or, when rootLink is empty and mustExist is false, creates) the
    // root. Unmet required capabilities raise EQmzError 2; with mustExist, a
    // root that is missing or a broken link raises 152 "not BTREE index".
    TBTreeIndex(Ref<IVirtualAtom> indexAtom, int32_t rootLink, uint32_t pageSize,
                std::string_view requiredCaps, bool mustExist = false);

    // IIndexer
    Ref<IVirtualAtom> Insert(std::string_view key) override;
    void InsertAtom(std::string_view key, const Ref<IVirtualAtom>& value) override;
    bool Contains(std::string_view key) override;
    bool Find(std::string_view key, Ref<IVirtualAtom>& value) override;
    bool FindWithMode(std::string_view key, uint8_t mode, Ref<IVirtualAtom>& value) override;
    bool FindCursor(std::string_view key, Ref<IIndexerCursor>& cursor) override;
    bool GetCursor(Ref<IIndexerCursor>& cursor) override;
    Ref<IIndexerCursor> NewCursor() override;
    Ref<RefCounted> ReservedKeyMethod(std::string_view key) override;
    void ReservedMethod() override;
    bool Delete(std::string_view key) override;
    void Clear() override;
    Ref<IVirtualStorage> GetStorage() override { return storage_; }
    Ref<IStorageTransaction> GetTransaction() override { return transaction_; }
    Ref<IVirtualAtom> GetIndexAtom() override { return indexAtom_; }

    // IBTreeDump
    void DumpTree(std::vector<std::string>& lines) override;

    // For cursors.
    const TBTreeNode& Root() const { return root_; }
    uint32_t PageSize() const { return pageSize_; }
    uint8_t DefaultMode() const { return defaultMode_; }

private:
    // An entry travelling one level up out of a split.
    struct TPromotion {
        std::string Key;
        Ref<IVirtualAtom> Value;
        Ref<IVirtualAtom> Right;
        // Value links still holding Value in the nodes it came up from;
        // cleared once a level above links it.
        struct TPending {
            Ref<IVirtualAtom> Atom;
            uint32_t Slot;
        };
        std::vector<TPending> Pending;
        // The entry is the one that was being inserted into the split node.
        bool CarriesNew = false;
        void ClearPending() {
            for (auto& p : Pending) p.Atom->SetLink(int32_t(p.Slot), nullptr);
            Pending.clear();
        }
    };

    uint32_t Half() const { return pageSize_ / 2; }
    TBTreeNode Node(Ref<IVirtualAtom> atom) const;
    // The node holding key, or false; pos is the key's index there.
    bool Locate(std::string_view key, TBTreeNode& node, uint32_t& pos);

    bool InsertInto(TBTreeNode& node, std::string_view key, const Ref<IVirtualAtom>& value,
                    TPromotion& up);
    bool InsertEntry(TBTreeNode& node, uint32_t pos, std::string_view key,
                     const Ref<IVirtualAtom>& value, const Ref<IVirtualAtom>& right, TPromotion& up);
    void Split(TBTreeNode& node, uint32_t pos, std::string_view key, const Ref<IVirtualAtom>& value,
               const Ref<IVirtualAtom>& right, TPromotion& up);
    void GrowRoot(TPromotion& up);

    // Each returns whether the node it worked on fell below half keys.
    bool DeleteFrom(TBTreeNode& node, std::string_view key, bool& removed);
    bool TakeLast(TBTreeNode& node);
    bool Repair(TBTreeNode& parent, uint32_t c, TBTreeNode& child);
    bool RepairFromRight(TBTreeNode& parent, uint32_t c, TBTreeNode& child);
    bool RepairFromLeft(TBTreeNode& parent, uint32_t c, TBTreeNode& child);
    void CollapseRoot();

    void Dump(const TBTreeNode& node, int depth, std::vector<std::string>& lines);

    Ref<IVirtualAtom> indexAtom_;
    Ref<IVirtualStorage> storage_;
    Ref<IStorageTransaction> transaction_;
    Ref<IVirtualStorage> creator_;
    int32_t rootLink_;
    uint32_t pageSize_;
    uint8_t accessMask_;
    uint8_t defaultMode_;
    TBTreeNode root_;
};

// Raises std::runtime_error "Key too long %d bytes" above kMaxKeyLength.
void CheckKeyLength(std::string_view key);

}  // namespace tlvx
