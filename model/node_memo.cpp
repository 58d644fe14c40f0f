#include "model/node_memo.h"

#include "model/node.h"
#include "model/node_atoms.h"

namespace tlvx {

TNodeMemo::~TNodeMemo() {
    for (auto& [number, node] : nodes_) node->memo_ = nullptr;
}

void TNodeMemo::Adopt(const Ref<TNode>& node) {
    node->memo_ = this;
    nodes_.emplace(node->AtomNumber(), node);
}

Ref<TNode> TNodeMemo::Child(TNode& parent, std::string_view name) {
    auto key = std::make_pair(parent.AtomNumber(), std::string(name));
    auto known = children_.find(key);
    if (known != children_.end()) {
        if (known->second == 0) return nullptr;
        return nodes_.at(known->second);
    }
    Ref<TNode> child;
    uint32_t number = 0;
    Ref<IVirtualAtom> value;
    // A key without a value names no node, as in a walk over the children.
    if (parent.Children() && parent.children_->Find(name, value) && value) {
        number = AtomNumberOf(value);
        auto held = nodes_.find(number);
        if (held != nodes_.end()) {
            child = held->second;
        } else {
            child = TNode::Open(std::move(value));
            child->memo_ = this;
            nodes_.emplace(number, child);
        }
    }
    children_.emplace(std::move(key), number);
    return child;
}

}  // namespace tlvx
