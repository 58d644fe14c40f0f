#include "model/node_info.h"

#include <charconv>
#include <exception>

#include "model/need.h"
#include "model/node.h"
#include "model/node_atoms.h"
#include "platform/clock.h"
#include "store/btree_factory.h"

namespace tlvx {

namespace {

constexpr int32_t kSourceIndexReservedLink = 1;
constexpr int32_t kSourceIndexReservedSize = 32;

Ref<IIndexer> NewIndexAt(IVirtualAtom& parent, int32_t link, Ref<IVirtualAtom>* indexAtomOut = nullptr) {
    Ref<IVirtualAtom> indexAtom;
    Ref<IIndexer> index = IndexFactory()->CreateIndex(StorageOf(parent), indexAtom, "", "");
    parent.SetLink(link, indexAtom);
    if (indexAtomOut) *indexAtomOut = indexAtom;
    return index;
}

Ref<IVirtualAtom> NewAtomAt(IVirtualAtom& parent, int32_t link, const void* bytes, int32_t size) {
    Ref<IVirtualAtom> atom = StorageOf(parent)->CreateAtom();
    if (size > 0) atom->Write(0, bytes, size);
    parent.SetLink(link, atom);
    return atom;
}

TNodeCounters InitialCounters() {
    TNodeCounters c;
    c.Created = Clock().Now();
    c.Interval = -1;
    return c;
}

}  // namespace

bool ParseAtomNumberText(std::string_view text, uint32_t& number) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < INT32_MIN || value > UINT32_MAX) return false;
    number = static_cast<uint32_t>(value);
    return true;
}

TNodeInfo::TNodeInfo(Ref<IVirtualAtom> infoAtom) : atom_(std::move(infoAtom)) {
    Need(atom_, "node info atom");
    readOnly_ = IsReadOnlyAtom(*atom_);
}

Ref<TNodeInfo> TNodeInfo::Create(Ref<IVirtualAtom> infoAtom) {
    Ref<TNodeInfo> info = MakeRef<TNodeInfo>(std::move(infoAtom));
    IVirtualAtom& atom = *info->atom_;
    info->links_ = NewIndexAt(atom, ilLinks);
    info->linksRead_ = info->nameRead_ = true;
    NewAtomAt(atom, ilName, nullptr, 0);
    info->id_ = Need(RefCast<IAtomIdentity>(info->atom_), "atom identity").GetID();
    auto idBytes = info->id_.ToBytes();
    NewAtomAt(atom, ilAtomID, idBytes.data(), int32_t(idBytes.size()));
    info->counters_ = InitialCounters();
    info->countersRead_ = true;
    auto counterBytes = info->counters_.ToBytes();
    info->counterAtom_ = NewAtomAt(atom, ilCounters, counterBytes.data(), TNodeCounters::kSize);
    NewIndexAt(atom, ilDays);
    std::vector<uint8_t> zeros(TWeekHourBlock::kSize, 0);
    NewAtomAt(atom, ilWeekHours, zeros.data(), TWeekHourBlock::kSize);
    NewIndexAt(atom, ilIPs);
    NewIndexAt(atom, ilPrevNodes);
    {
        Ref<IVirtualAtom> sourceIndexAtom;
        Ref<IIndexer> sources = NewIndexAt(atom, ilSources, &sourceIndexAtom);
        NewAtomAt(*sourceIndexAtom, kSourceIndexReservedLink, zeros.data(), kSourceIndexReservedSize);
    }
    TIBrwCollection::CreateNew(NewAtomAt(atom, ilBrowsers, nullptr, 0));
    TLangCollection languages(NewAtomAt(atom, ilLanguages, nullptr, 0));
    return info;
}

Ref<TNodeInfo> TNodeInfo::Open(Ref<IVirtualAtom> infoAtom) {
    Ref<TNodeInfo> info = MakeRef<TNodeInfo>(std::move(infoAtom));
    info->Load();
    return info;
}

void TNodeInfo::Load() {
    IVirtualAtom& atom = *atom_;
    // A reader reads the link index and the name when asked for them; the
    // identifier is never asked for.
    if (!readOnly_) {
        if (atom.HasLink(ilLinks)) links_ = IndexFactory()->OpenIndex(atom.OpenLink(ilLinks), "", "");
        else links_ = NewIndexAt(atom, ilLinks);
        linksRead_ = true;

        if (Ref<IVirtualAtom> name = atom.OpenLink(ilName)) name_ = name->GetAsString();
        nameRead_ = true;

        if (Ref<IVirtualAtom> idAtom = atom.OpenLink(ilAtomID)) {
            std::vector<uint8_t> bytes = idAtom->GetAsBytes();
            bytes.resize(TAtomID::kSize, 0);
            id_ = TAtomID::FromBytes(bytes.data());
        }
    }

    if (readOnly_) openedAt_ = Clock().Now();
    else ReadCounters();
}

void TNodeInfo::ReadCounters() {
    countersRead_ = true;
    IVirtualAtom& atom = *atom_;
    counterAtom_ = atom.OpenLink(ilCounters);
    if (!counterAtom_) {
        counters_ = InitialCounters();
        if (readOnly_) {
            counters_.Created = openedAt_;
            return;
        }
        auto bytes = counters_.ToBytes();
        counterAtom_ = NewAtomAt(atom, ilCounters, bytes.data(), TNodeCounters::kSize);
        return;
    }
    std::vector<uint8_t> bytes = counterAtom_->GetAsBytes();
    counters_ = TNodeCounters::FromBytes(bytes.data(), bytes.size());
    if (bytes.size() < size_t(TNodeCounters::kSize) && !readOnly_) StoreCounters();
}

IIndexer* TNodeInfo::Links() {
    if (!linksRead_) {
        linksRead_ = true;
        if (atom_->HasLink(ilLinks)) links_ = IndexFactory()->OpenIndex(atom_->OpenLink(ilLinks), "", "");
    }
    return links_.get();
}

const std::string& TNodeInfo::Name() {
    if (!nameRead_) {
        nameRead_ = true;
        if (Ref<IVirtualAtom> name = atom_->OpenLink(ilName)) name_ = name->GetAsString();
    }
    return name_;
}

void TNodeInfo::StoreCounters() {
    auto bytes = counters_.ToBytes();
    Need(counterAtom_, "node counter record").Write(0, bytes.data(), TNodeCounters::kSize);
}

void TNodeInfo::GuardedAdd(int32_t& field, int32_t delta) {
    Counters();
    if (delta < 0 && int64_t(field) + delta < 0) return;
    field = WrapAddField(field, delta);
    StoreCounters();
}

void TNodeInfo::AddExits(int32_t delta) {
    Counters();
    if (counters_.Exits < 0) counters_.Exits = 0;
    GuardedAdd(counters_.Exits, delta);
}

void TNodeInfo::SetCreated(double value) {
    Counters();
    counters_.Created = value;
    StoreCounters();
}

void TNodeInfo::SetCounters(const TNodeCounters& counters) {
    Counters();
    counters_ = counters;
    StoreCounters();
}

void TNodeInfo::SetName(std::string_view name) {
    Ref<IVirtualAtom> nameAtom = atom_->OpenLink(ilName);
    if (!nameAtom) nameAtom = NewAtomAt(*atom_, ilName, nullptr, 0);
    nameAtom->SetAsString(name);
    name_ = std::string(name);
    nameRead_ = true;
}

void TNodeInfo::AddLinks(const Ref<INode>& node) {
    if (!node) return;
    IIndexer& links = Need(Links(), "node link index");
    std::string number = std::to_string(AtomNumberOf(node->GetAtom()));
    for (const std::string& path : node->GetLinkPaths()) {
        if (links.Contains(path)) continue;
        Need(links.Insert(path), "node link value").SetAsString(number);
    }
}

void TNodeInfo::RemoveLinks(const Ref<INode>& node) {
    if (!node || !Links()) return;
    for (const std::string& path : node->GetLinkPaths()) links_->Delete(path);
}

void TNodeInfo::RemoveLink(std::string_view name) {
    if (Links()) links_->Delete(name);
}

int32_t TNodeInfo::GetLinkCount() {
    if (!Links()) return 0;
    Ref<IIndexerCursor> cursor;
    links_->GetCursor(cursor);
    return cursor ? cursor->GetKeyCount() : 0;
}

StringArray TNodeInfo::GetLinkNames() {
    StringArray names;
    if (!Links()) return names;
    Ref<IIndexerCursor> cursor;
    if (links_->GetCursor(cursor) && cursor) {
        do names.push_back(cursor->GetKey());
        while (cursor->Next());
    }
    return names;
}

std::vector<std::pair<std::string, uint32_t>> TNodeInfo::ReadLinkTargets() {
    std::vector<std::pair<std::string, uint32_t>> targets;
    if (!Links()) return targets;
    Ref<IIndexerCursor> cursor;
    if (links_->GetCursor(cursor) && cursor) {
        do {
            Ref<IVirtualAtom> value = cursor->GetValueWithMode(amReadData);
            uint32_t number = 0;
            if (!ParseAtomNumberText(Need(value, "node link value").GetAsString(), number))
                throw std::runtime_error("Node link value is no atom number");
            targets.emplace_back(cursor->GetKey(), number);
        } while (cursor->Next());
    }
    return targets;
}

TNodes TNodeInfo::GetLinkedNodes() {
    TNodes nodes;
    Ref<IVirtualStorage> storage = StorageOf(*atom_);
    TAtomID id;
    id.StorageID = storage->GetStorageID();
    for (const auto& [path, number] : ReadLinkTargets()) {
        id.AtomNumber = number;
        nodes.push_back(TNode::Open(storage->OpenAtom(id)));
    }
    return nodes;
}

StringArray TNodeInfo::GetLinkPaths() {
    StringArray paths = GetLinkNames();
    const std::string& name = Name();
    if (paths.empty()) return {name};
    for (std::string& path : paths) path += "." + name;
    return paths;
}

Ref<IBrwCollection> TNodeInfo::GetBrowsers() { return TIBrwCollection::Open(atom_->OpenLink(ilBrowsers)); }

Ref<ILangCollection> TNodeInfo::GetLanguages() {
    Ref<IVirtualAtom> languageAtom = atom_->OpenLink(ilLanguages);
    if (!languageAtom && !readOnly_) languageAtom = NewAtomAt(*atom_, ilLanguages, nullptr, 0);
    return MakeRef<TLangCollection>(languageAtom);
}

Ref<IIndexer> TNodeInfo::OpenIndexLink(int32_t link) {
    if (readOnly_) {
        for (const auto& [at, index] : openIndexes_)
            if (at == link) return index;
    }
    Ref<IIndexer> index;
    if (Ref<IVirtualAtom> indexAtom = atom_->OpenLink(link)) index = IndexFactory()->OpenIndex(indexAtom, "", "");
    if (readOnly_) openIndexes_.emplace_back(link, index);
    return index;
}

}  // namespace tlvx
