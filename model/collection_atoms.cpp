#include "model/collection_atoms.h"

#include <cstdio>
#include <stdexcept>
#include <string>

#include "model/need.h"
#include "model/node_atoms.h"
#include "platform/clock.h"
#include "store/access_modes.h"
#include "store/btree_factory.h"
#include "store/errors.h"
#include "store/virtual_storage.h"

namespace tlvx {

void RequireChange(IVirtualAtom& atom) {
    if (IsReadOnlyAtom(atom)) throw EQmzError(ecAccessDenied, TQmzMessage::AccessDenied);
}

Ref<IVirtualAtom> OpenLinkAt(IVirtualAtom& parent, int32_t link) {
    if (link < 0) throw std::out_of_range("Link number " + std::to_string(link) + " out of range");
    return parent.OpenLink(link);
}

Ref<IVirtualAtom> OpenOrCreateLinkAt(IVirtualAtom& parent, int32_t link) {
    if (Ref<IVirtualAtom> atom = OpenLinkAt(parent, link)) return atom;
    RequireChange(parent);
    Ref<IVirtualAtom> atom = Need(StorageOf(parent), "storage of atom").CreateAtom();
    parent.SetLink(link, atom);
    return atom;
}

Ref<IIndexer> OpenIndexAt(IVirtualAtom& parent, int32_t link) {
    Ref<IVirtualAtom> atom = OpenLinkAt(parent, link);
    if (!atom) return nullptr;
    return IndexFactory()->OpenIndex(atom, "", "");
}

Ref<IIndexer> NeedIndexAt(IVirtualAtom& parent, int32_t link, std::string_view what) {
    Ref<IIndexer> index = OpenIndexAt(parent, link);
    Need(index, what);
    return index;
}

Ref<IIndexer> OpenOrCreateIndexAt(IVirtualAtom& parent, int32_t link) {
    if (Ref<IIndexer> index = OpenIndexAt(parent, link)) return index;
    return CreateIndexAt(parent, link);
}

Ref<IIndexer> CreateIndexAt(IVirtualAtom& parent, int32_t link) {
    if (link < 0) throw std::out_of_range("Link number " + std::to_string(link) + " out of range");
    RequireChange(parent);
    Ref<IVirtualAtom> atom;
    Ref<IVirtualStorage> creator = StorageOf(parent);
    Need(creator, "storage of atom");
    Ref<IIndexer> index = IndexFactory()->CreateIndex(creator, atom, "", "");
    Need(atom, "new index atom");
    parent.SetLink(link, atom);
    return index;
}

Ref<IVirtualAtom> FindForReading(IIndexer& index, std::string_view key) {
    Ref<IVirtualAtom> value;
    if (!index.FindWithMode(key, amRead, value)) return nullptr;
    Need(value, "index value");
    return value;
}

Ref<IVirtualAtom> FindOrInsert(IIndexer& index, std::string_view key, bool* inserted) {
    Ref<IVirtualAtom> value;
    bool found = index.Find(key, value);
    if (inserted) *inserted = !found;
    if (!found) value = index.Insert(key);
    Need(value, "index value");
    return value;
}

std::vector<std::string> IndexKeys(IIndexer& index) {
    std::vector<std::string> keys;
    Ref<IIndexerCursor> cursor;
    if (index.GetCursor(cursor)) {
        do keys.push_back(cursor->GetKey());
        while (cursor->Next());
    }
    return keys;
}

std::string GuidKey(const TGUID& id) {
    auto bytes = id.ToBytes();
    return std::string(bytes.begin(), bytes.end());
}

std::string LittleEndianKey32(uint32_t value) {
    std::string key(4, '\0');
    for (int i = 0; i < 4; ++i) key[size_t(i)] = char(uint8_t(value >> (8 * i)));
    return key;
}

std::string LastModifiedText(std::string_view name) {
    TDateParts p = DecodeDateTime(Clock().Now());
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %d:%02d:%02d", p.day, p.month, p.year, p.hour,
                  p.minute, p.second);
    return std::string(name) + ". Last modified at " + text;
}

}  // namespace tlvx
