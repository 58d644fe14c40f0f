// A binary search tree with optional AVL balancing (TBinaryTree).
//
// The node class derives from TTreeNode<Node> and supplies its key:
//
//   struct TMyNode : TTreeNode<TMyNode> {
//       using Key = uint64_t;
//       explicit TMyNode(const Key& key);        // made by Insert
//       void CopyFrom(const TMyNode& other);     // balanced Delete moves contents
//       int Compare(const Key& key) const;       // <0 node smaller, >0 larger
//   };
//
// Balanced deletion moves the contents of the in-order predecessor into the
// node being deleted and frees the predecessor's node, so callers must not
// keep pointers to nodes across a deletion.
//
// Every operation walks iteratively with an explicit path, so an unbalanced
// tree that has degenerated into a list does not exhaust the stack.
#pragma once

#include <cstdint>
#include <vector>

#include "store/errors.h"

namespace tlvx {

template <class Node>
struct TTreeNode {
    int8_t balance = 0;  // -1 left subtree one higher, 0 even, +1 right higher
    Node* left = nullptr;
    Node* right = nullptr;
};

template <class Node>
class TBinaryTree {
public:
    using Key = typename Node::Key;

    explicit TBinaryTree(bool balanced = true) : balanced_(balanced) {}
    ~TBinaryTree() { Clear(); }
    TBinaryTree(const TBinaryTree&) = delete;
    TBinaryTree& operator=(const TBinaryTree&) = delete;

    int32_t Count() const { return count_; }
    bool Balanced() const { return balanced_; }
    Node* Root() const { return root_; }

    // The equal node if there is one (nothing inserted), else a new node.
    Node* Insert(const Key& key);
    Node* Find(const Key& key) const;
    // The equal node or nullptr; predecessor/successor receive the largest
    // smaller and the smallest larger node (either may be nullptr).
    Node* FindNearest(const Key& key, Node** predecessor, Node** successor = nullptr) const;
    // Removes and frees the equal node; nothing when absent.
    void Delete(const Key& key);
    // All nodes in post-order (left subtree, right subtree, node).
    void CollectNodes(std::vector<Node*>& list) const;
    Node* First() const;  // smallest node
    Node* Last() const;   // largest node
    void Clear();

private:
    struct TStep {
        Node** link;  // where the node on the path hangs
        int dir;      // -1 went left from it, +1 went right
    };

    static Node*& Child(Node* n, int dir) { return dir < 0 ? n->left : n->right; }
    // Rebalances the subtree at link whose balance reached +-2; returns true
    // when the subtree's height went down compared with before the rotation.
    static bool Rotate(Node** link);
    void RebalanceAfterInsert(std::vector<TStep>& path);
    void RebalanceAfterDelete(std::vector<TStep>& path);

    bool balanced_;
    int32_t count_ = 0;
    std::vector<TStep> path_;
    Node* root_ = nullptr;
};

template <class Node>
Node* TBinaryTree<Node>::Insert(const Key& key) {
    // One path buffer for the tree: an allocation per call cost more than
    // the walk (the hole list loads hundreds of holes at every open).
    std::vector<TStep>& path = path_;
    path.clear();
    Node** link = &root_;
    while (*link) {
        int c = (*link)->Compare(key);
        if (c == 0) return *link;
        int dir = c > 0 ? -1 : +1;
        path.push_back({link, dir});
        link = &Child(*link, dir);
    }
    Node* node = new Node(key);
    *link = node;
    ++count_;
    if (balanced_) RebalanceAfterInsert(path);
    return node;
}

template <class Node>
Node* TBinaryTree<Node>::Find(const Key& key) const {
    Node* n = root_;
    while (n) {
        int c = n->Compare(key);
        if (c == 0) return n;
        n = c > 0 ? n->left : n->right;
    }
    return nullptr;
}

template <class Node>
Node* TBinaryTree<Node>::FindNearest(const Key& key, Node** predecessor, Node** successor) const {
    Node* pred = nullptr;
    Node* succ = nullptr;
    Node* found = nullptr;
    Node* n = root_;
    while (n) {
        int c = n->Compare(key);
        if (c == 0) {
            found = n;
            if (n->left) {
                pred = n->left;
                while (pred->right) pred = pred->right;
            }
            if (n->right) {
                succ = n->right;
                while (succ->left) succ = succ->left;
            }
            break;
        }
        if (c > 0) {
            succ = n;
            n = n->left;
        } else {
            pred = n;
            n = n->right;
        }
    }
    if (predecessor) *predecessor = pred;
    if (successor) *successor = succ;
    return found;
}

template <class Node>
void TBinaryTree<Node>::Delete(const Key& key) {
    // One path buffer for the tree: an allocation per call cost more than
    // the walk (the hole list loads hundreds of holes at every open).
    std::vector<TStep>& path = path_;
    path.clear();
    Node** link = &root_;
    while (*link) {
        int c = (*link)->Compare(key);
        if (c == 0) break;
        int dir = c > 0 ? -1 : +1;
        path.push_back({link, dir});
        link = &Child(*link, dir);
    }
    Node* node = *link;
    if (!node) return;

    if (!balanced_) {
        if (!node->right) {
            *link = node->left;
        } else if (!node->left) {
            *link = node->right;
        } else {
            // The in-order predecessor takes the node's place.
            Node** predLink = &node->left;
            while ((*predLink)->right) predLink = &(*predLink)->right;
            Node* pred = *predLink;
            if (predLink != &node->left) {
                *predLink = pred->left;
                pred->left = node->left;
            }
            pred->right = node->right;
            *link = pred;
        }
        delete node;
        --count_;
        return;
    }

    Node* removed = node;
    if (node->left && node->right) {
        path.push_back({link, -1});
        Node** predLink = &node->left;
        while ((*predLink)->right) {
            path.push_back({predLink, +1});
            predLink = &(*predLink)->right;
        }
        removed = *predLink;
        node->CopyFrom(*removed);
        *predLink = removed->left;
    } else {
        *link = node->left ? node->left : node->right;
    }
    delete removed;
    --count_;
    RebalanceAfterDelete(path);
}

template <class Node>
bool TBinaryTree<Node>::Rotate(Node** link) {
    Node* n = *link;
    const int dir = n->balance > 0 ? +1 : -1;  // the heavy side
    Node* c = Child(n, dir);
    if (c->balance == -dir) {
        // Double rotation: the inner grandchild becomes the subtree root.
        Node* g = Child(c, -dir);
        Child(c, -dir) = Child(g, dir);
        Child(n, dir) = Child(g, -dir);
        Child(g, dir) = c;
        Child(g, -dir) = n;
        n->balance = static_cast<int8_t>(g->balance == dir ? -dir : 0);
        c->balance = static_cast<int8_t>(g->balance == -dir ? dir : 0);
        g->balance = 0;
        *link = g;
        return true;
    }
    // Single rotation.
    Child(n, dir) = Child(c, -dir);
    Child(c, -dir) = n;
    *link = c;
    if (c->balance == 0) {  // only after a deletion: height unchanged
        n->balance = static_cast<int8_t>(dir);
        c->balance = static_cast<int8_t>(-dir);
        return false;
    }
    n->balance = 0;
    c->balance = 0;
    return true;
}

template <class Node>
void TBinaryTree<Node>::RebalanceAfterInsert(std::vector<TStep>& path) {
    // Each step's subtree grew by one on the side of dir.
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        Node* n = *it->link;
        n->balance = static_cast<int8_t>(n->balance + it->dir);
        if (n->balance == 0) return;
        if (n->balance == 2 || n->balance == -2) {
            Rotate(it->link);
            return;  // a rotation after insertion restores the old height
        }
    }
}

template <class Node>
void TBinaryTree<Node>::RebalanceAfterDelete(std::vector<TStep>& path) {
    // Each step's subtree shrank by one on the side of dir.
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        Node* n = *it->link;
        n->balance = static_cast<int8_t>(n->balance - it->dir);
        if (n->balance == 1 || n->balance == -1) return;  // height unchanged
        if (n->balance == 2 || n->balance == -2) {
            if (!Rotate(it->link)) return;
        }
        // balance 0, or a rotation that lowered the subtree: keep going up.
    }
}

template <class Node>
void TBinaryTree<Node>::CollectNodes(std::vector<Node*>& list) const {
    // Iterative post-order with an explicit stack.
    std::vector<Node*> stack;
    Node* last = nullptr;
    Node* n = root_;
    while (n || !stack.empty()) {
        if (n) {
            stack.push_back(n);
            n = n->left;
            continue;
        }
        Node* top = stack.back();
        if (top->right && last != top->right) {
            n = top->right;
        } else {
            list.push_back(top);
            last = top;
            stack.pop_back();
        }
    }
}

template <class Node>
Node* TBinaryTree<Node>::First() const {
    Node* n = root_;
    while (n && n->left) n = n->left;
    return n;
}

template <class Node>
Node* TBinaryTree<Node>::Last() const {
    Node* n = root_;
    while (n && n->right) n = n->right;
    return n;
}

template <class Node>
void TBinaryTree<Node>::Clear() {
    std::vector<Node*> nodes;
    CollectNodes(nodes);
    for (Node* n : nodes) delete n;
    root_ = nullptr;
    count_ = 0;
}

}  // namespace tlvx
