#include "store/btree_cursor.h"

#include <algorithm>

#include "store/errors.h"

namespace tlvx {

namespace {

[[noreturn]] void Denied() { throw EQmzError(ecAccessDenied, TQmzMessage::AccessDenied); }

}  // namespace

void TBTreeCursor::CheckOpen() const {
    if (!index_) Denied();
}

const TBTreeCursor::TLevel& TBTreeCursor::Current() const {
    CheckOpen();
    if (path_.empty() || path_.front().Node.Count() == 0) Denied();
    const TLevel& last = path_.back();
    QMZ_ASSERT(last.KeyPos >= 0 && uint32_t(last.KeyPos) < last.Node.Count());
    return last;
}

bool TBTreeCursor::PushChild(TPath& path, int32_t child, bool atEnd) const {
    if (child < 0) return false;
    CheckTreeDepth(path.size());
    Ref<IVirtualAtom> atom = path.back().Node.OpenChild(uint32_t(child), amRead);
    if (!atom) return false;
    TBTreeNode node(atom, index_->PageSize());
    node.Read();
    const int32_t pos = atEnd ? int32_t(node.Count()) : 0;
    path.push_back(TLevel{std::move(node), atEnd ? pos : -1, pos});
    return true;
}

bool TBTreeCursor::FirstOn(TPath& path) const {
    path.clear();
    path.push_back(RootLevel());
    for (;;) {
        if (!PushChild(path, 0, false)) break;
        path[path.size() - 2].ChildPos = 0;
    }
    return path.front().Node.Count() > 0;
}

bool TBTreeCursor::LastOn(TPath& path) const {
    path.clear();
    path.push_back(RootLevel());
    for (;;) {
        TLevel& level = path.back();
        const int32_t count = int32_t(level.Node.Count());
        level.ChildPos = level.KeyPos = count - 1;
        if (!PushChild(path, count, false)) break;
        TLevel& parent = path[path.size() - 2];
        parent.ChildPos = parent.KeyPos = count;
    }
    return path.front().Node.Count() > 0;
}

bool TBTreeCursor::NextOn(TPath& path) const {
    path.back().KeyPos++;
    while (!path.empty()) {
        TLevel& level = path.back();
        if (level.ChildPos < level.KeyPos) {
            const int32_t child = ++level.ChildPos;
            PushChild(path, child, false);
            continue;
        }
        if (level.KeyPos < int32_t(level.Node.Count())) return true;
        path.pop_back();
    }
    LastOn(path);
    return false;
}

bool TBTreeCursor::PriorOn(TPath& path) const {
    while (!path.empty()) {
        TLevel& level = path.back();
        if (level.ChildPos >= level.KeyPos && PushChild(path, level.ChildPos, true)) continue;
        TLevel& same = path.back();
        if (--same.KeyPos >= 0) return true;
        path.pop_back();
        if (!path.empty()) path.back().ChildPos--;
    }
    FirstOn(path);
    return false;
}

bool TBTreeCursor::Bof() {
    Current();
    for (size_t i = 0; i + 1 < path_.size(); ++i)
        if (path_[i].ChildPos != 0 || path_[i].KeyPos != 0) return false;
    return path_.back().ChildPos == -1 && path_.back().KeyPos == 0;
}

bool TBTreeCursor::Eof() {
    Current();
    for (size_t i = 0; i + 1 < path_.size(); ++i) {
        const int32_t count = int32_t(path_[i].Node.Count());
        if (path_[i].ChildPos != count || path_[i].KeyPos != count) return false;
    }
    const int32_t last = int32_t(path_.back().Node.Count()) - 1;
    return path_.back().ChildPos == last && path_.back().KeyPos == last;
}

bool TBTreeCursor::IsEmpty() {
    CheckOpen();
    return index_->Root().Count() == 0;
}

int32_t TBTreeCursor::CountKeys(const TBTreeNode& node, size_t depth) const {
    CheckTreeDepth(depth);
    int32_t sum = int32_t(node.Count());
    for (uint32_t j = 0; j <= node.Count(); ++j) {
        Ref<IVirtualAtom> atom = node.OpenChild(j, amRead);
        if (!atom) continue;
        TBTreeNode child(atom, index_->PageSize());
        child.Read();
        sum += CountKeys(child, depth + 1);
    }
    return sum;
}

int32_t TBTreeCursor::GetKeyCount() {
    CheckOpen();
    return CountKeys(index_->Root(), 0);
}

bool TBTreeCursor::First() {
    CheckOpen();
    return FirstOn(path_);
}

bool TBTreeCursor::Last() {
    CheckOpen();
    return LastOn(path_);
}

bool TBTreeCursor::Next() {
    Current();
    return NextOn(path_);
}

bool TBTreeCursor::Prior() {
    Current();
    return PriorOn(path_);
}

Ref<IVirtualAtom> TBTreeCursor::GetValue() { return GetValueWithMode(index_ ? index_->DefaultMode() : 0); }

Ref<IVirtualAtom> TBTreeCursor::GetValueWithMode(uint8_t mode) {
    const TLevel& level = Current();
    return level.Node.Atom()->OpenLinkWithMode(level.KeyPos, mode);
}

int32_t TBTreeCursor::ReadValue(int32_t offset, void* buffer, int32_t count) {
    const TLevel& level = Current();
    return level.Node.Atom()->ReadLinkData(level.KeyPos, offset, buffer, count);
}

Ref<IIndexerCursor> TBTreeCursor::Clone() {
    CheckOpen();
    Ref<TBTreeCursor> copy = MakeRef<TBTreeCursor>(index_);
    copy->path_ = path_;
    return copy;
}

void TBTreeCursor::Close() {
    path_.clear();
    index_.reset();
}

int32_t TBTreeCursor::GetKeyLength() {
    const TLevel& level = Current();
    return int32_t(level.Node.KeyLength(uint32_t(level.KeyPos)));
}

int32_t TBTreeCursor::ReadKey(void* buffer, int32_t count) {
    const TLevel& level = Current();
    const std::string_view key = level.Node.KeyView(uint32_t(level.KeyPos));
    const int32_t n = std::max(0, std::min(count, int32_t(key.size())));
    std::copy_n(key.data(), size_t(n), static_cast<char*>(buffer));
    return n;
}

std::string TBTreeCursor::GetKey() {
    const TLevel& level = Current();
    return level.Node.Key(uint32_t(level.KeyPos));
}

bool TBTreeCursor::Seek(std::string_view key, TSeekMode mode) {
    CheckOpen();
    if (mode < smEqual || mode > smGreaterOrEqual) return false;
    TPath path;
    path.push_back(RootLevel());
    bool result;
    for (;;) {
        TLevel& level = path.back();
        uint32_t pos;
        const bool found = level.Node.Search(key, pos);
        level.ChildPos = level.KeyPos = int32_t(pos);
        if (found) {
            if (mode == smLess) result = PriorOn(path);
            else if (mode == smGreater) result = NextOn(path);
            else result = true;
            break;
        }
        CheckTreeDepth(path.size());
        Ref<IVirtualAtom> atom = level.Node.OpenChild(pos, amRead);
        if (atom) {
            TBTreeNode child(atom, index_->PageSize());
            child.Read();
            path.push_back(TLevel{std::move(child), -1, 0});
            continue;
        }
        // Key lies between keys pos-1 and pos of this leaf.
        if (mode == smEqual) result = false;
        else if (mode == smLess || mode == smLessOrEqual) result = PriorOn(path);
        else if (pos == level.Node.Count()) result = NextOn(path);
        else result = true;
        break;
    }
    if (result) path_ = std::move(path);
    return result;
}

}  // namespace tlvx
