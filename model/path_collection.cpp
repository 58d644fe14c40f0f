#include "model/path_collection.h"

#include <algorithm>
#include <map>

#include "model/collection_atoms.h"
#include "model/error_notes.h"
#include "model/need.h"
#include "model/node_atoms.h"
#include "platform/text.h"
#include "store/access_modes.h"

namespace tlvx {

namespace {

constexpr int32_t kUnusedIndexLink = 1;
constexpr int32_t kPathLink = 2;
constexpr int32_t kLastNodeLink = 3;
constexpr int32_t kZeroTextLink = 4;

struct TCaseBlindLess {
    bool operator()(const std::string& a, const std::string& b) const { return CompareText(a, b) < 0; }
};

}  // namespace

Ref<IPathCollection> TPathCollection::Create(const Ref<IVirtualAtom>& root) {
    Need(root, "paths root");
    RequireChange(*root);
    for (int32_t link : {kUnusedIndexLink, kPathLink, kLastNodeLink}) CreateIndexAt(*root, link);
    Ref<IVirtualAtom> zero = Need(StorageOf(*root), "storage of paths root").CreateAtom();
    zero->SetAsString("0");
    root->SetLink(kZeroTextLink, zero);
    return MakeRef<TPathCollection>(root);
}

Ref<IPathCollection> TPathCollection::Open(const Ref<IVirtualAtom>& root) {
    Need(root, "paths root");
    for (int32_t link : {kUnusedIndexLink, kPathLink, kLastNodeLink}) OpenIndexAt(*root, link);
    return MakeRef<TPathCollection>(root);
}

void TPathCollection::SetText(int32_t link, const TGUID& sessionId, std::string_view text) {
    RequireChange(*root_);
    Ref<IIndexer> index = OpenOrCreateIndexAt(*root_, link);
    FindOrInsert(*index, GuidKey(sessionId))->SetAsString(text);
}

std::string TPathCollection::GetText(int32_t link, const TGUID& sessionId) {
    Ref<IIndexer> index = OpenIndexAt(*root_, link);
    if (!index) return {};
    Ref<IVirtualAtom> entry = FindForReading(*index, GuidKey(sessionId));
    return entry ? entry->GetAsString() : std::string();
}

void TPathCollection::SetLastNode(const TGUID& sessionId, std::string_view node) {
    SetText(kLastNodeLink, sessionId, node);
}

void TPathCollection::SetPath(const TGUID& sessionId, std::string_view path) {
    SetText(kPathLink, sessionId, path);
}

std::string TPathCollection::GetLastNode(const TGUID& sessionId) { return GetText(kLastNodeLink, sessionId); }

std::string TPathCollection::GetPath(const TGUID& sessionId) { return GetText(kPathLink, sessionId); }

TPathStatistics TPathCollection::GetPathStatistics() {
    std::map<std::string, int32_t, TCaseBlindLess> counts;
    try {
        Ref<IIndexer> index = OpenIndexAt(*root_, kPathLink);
        Ref<IIndexerCursor> cursor;
        if (index && index->GetCursor(cursor)) {
            do {
                try {
                    ++counts[Need(cursor->GetValueWithMode(amRead), "path entry").GetAsString()];
                } catch (...) {
                    NoteError(kNotePathCount);
                }
            } while (cursor->Next());
        }
    } catch (...) {
        NoteError(kNotePathList);
    }
    TPathStatistics lines;
    lines.reserve(counts.size());
    for (auto& [path, count] : counts) lines.push_back({path, count});
    std::stable_sort(lines.begin(), lines.end(),
                     [](const TPathCount& a, const TPathCount& b) { return a.Count > b.Count; });
    return lines;
}

}  // namespace tlvx
