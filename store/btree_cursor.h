// Cursors over a B-tree index: a path of levels from the root down to the
// node of the current key.
//
// Each level holds the node (atom and header copy), ChildPos (the child the
// walk is in or came from; -1 before child 0) and KeyPos (the current key at
// the last level, the key next to be visited above it). Level 0 shares the
// index's root atom and copies its header; deeper nodes are opened for
// reading and stay open while they are on the path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/btree_index.h"
#include "store/btree_node.h"
#include "store/indexer.h"

namespace tlvx {

class TBTreeCursor : public IIndexerCursor {
public:
    explicit TBTreeCursor(Ref<TBTreeIndex> index) : index_(std::move(index)) {}

    // IBidirectionalCursor
    bool Bof() override;
    bool Eof() override;
    bool IsEmpty() override;
    int32_t GetKeyCount() override;
    bool First() override;
    bool Last() override;
    bool Next() override;
    bool Prior() override;

    // IIndexerCursor
    Ref<IVirtualAtom> GetValue() override;
    Ref<IVirtualAtom> GetValueWithMode(uint8_t mode) override;
    Ref<IIndexerCursor> Clone() override;
    void Close() override;
    Ref<IIndexer> GetIndexer() override { return index_; }
    int32_t GetKeyLength() override;
    int32_t ReadKey(void* buffer, int32_t count) override;
    std::string GetKey() override;
    bool Seek(std::string_view key, TSeekMode mode) override;
    int32_t ReadValue(int32_t offset, void* buffer, int32_t count) override;

private:
    struct TLevel {
        TBTreeNode Node;
        int32_t ChildPos;
        int32_t KeyPos;
    };
    using TPath = std::vector<TLevel>;

    void CheckOpen() const;
    // Open and standing on a key.
    const TLevel& Current() const;

    TLevel RootLevel() const { return TLevel{index_->Root(), -1, 0}; }
    // Pushes the child of the last level, if there is one.
    bool PushChild(TPath& path, int32_t child, bool atEnd) const;
    bool FirstOn(TPath& path) const;
    bool LastOn(TPath& path) const;
    bool NextOn(TPath& path) const;
    bool PriorOn(TPath& path) const;
    int32_t CountKeys(const TBTreeNode& node, size_t depth) const;

    Ref<TBTreeIndex> index_;
    TPath path_;
};

}  // namespace tlvx
