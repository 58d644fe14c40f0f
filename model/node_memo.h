// The nodes of a read-only database that one collection has opened, each
// opened once and handed out again for the rest of the request.
//
// Nothing can change a database opened read-only while it is open (the
// reader's share lock keeps writers out), so a node answers the same for the
// whole request. A report asks for the same nodes again and again: the
// summary panel's hot page reads every node on every page, the page lists
// find every node by its path, the group forms count every node's children.
// The memo owns the nodes it opened, by their atom numbers, so a node reached
// along two paths is one object. The nodes point back to it uncounted; it
// detaches them when it goes, and a detached node opens what it reaches
// afresh.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/ref.h"

namespace tlvx {

class TNode;

class TNodeMemo {
public:
    TNodeMemo() = default;
    TNodeMemo(const TNodeMemo&) = delete;
    TNodeMemo& operator=(const TNodeMemo&) = delete;
    ~TNodeMemo();

    // Keeps node (the collection's root) as the one object of its atom.
    void Adopt(const Ref<TNode>& node);
    // The child name of parent, opened on first asking; nil when parent has
    // no such child.
    Ref<TNode> Child(TNode& parent, std::string_view name);

private:
    std::unordered_map<uint32_t, Ref<TNode>> nodes_;
    // (parent atom number, child name) -> child atom number, 0 for none.
    std::map<std::pair<uint32_t, std::string>, uint32_t> children_;
};

}  // namespace tlvx
