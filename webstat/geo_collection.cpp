#include "webstat/geo_collection.h"

#include <algorithm>
#include <bit>

#include "model/collection_atoms.h"
#include "platform/byte_codec.h"
#include "platform/file.h"
#include "platform/text.h"
#include "store/access_modes.h"
#include "store/btree_factory.h"
#include "store/storage_factory.h"
#include "store/storage_params.h"
#include "webstat/geo_text.h"

namespace tlvx {

namespace {

constexpr std::string_view kRootPrefix = "GeoCollection.";
constexpr std::string_view kStampName = "GeoCollection";

// Links of the root atom.
constexpr int32_t kNetworkLink = 1;
constexpr int32_t kTextLink = 2;
constexpr int32_t kSpareLink = 3;
constexpr int32_t kCountryLink = 4;
constexpr int32_t kMaskLink = 5;
// Links of an entry atom.
constexpr int32_t kAreaLink = 2;
constexpr int32_t kPointLink = 3;

bool FitsKey(std::string_view text) { return text.size() <= size_t(kMaxKeyLength); }

bool HasRootPrefix(IVirtualAtom& root) {
    std::string head(kRootPrefix.size(), '\0');
    int32_t got = root.Read(0, head.data(), int32_t(head.size()));
    return got == int32_t(head.size()) && head == kRootPrefix;
}

// The index at link, null when the link is empty or holds no index.
Ref<IIndexer> IndexIfAny(IVirtualAtom& root, int32_t link) {
    Ref<IVirtualAtom> atom = root.OpenLink(link);
    if (!atom || !IndexFactory()->IsBTreeIndex(atom)) return nullptr;
    return IndexFactory()->OpenIndex(atom, "", "");
}

std::string LinkedText(IVirtualAtom& entry, int32_t link) {
    Ref<IVirtualAtom> atom = entry.OpenLinkWithMode(link, amRead);
    return atom ? atom->GetAsString() : std::string();
}

// How specific a match is: the more mask bits, the narrower the network.
std::pair<int, uint32_t> Specificity(const TNetDescription& d) { return {std::popcount(d.Mask), d.Mask}; }

}  // namespace

const char* TGeoCollectionError::MessageOf(uint16_t code) {
    switch (code) {
        case 1: return "NIL Root Atom of Geo collection. Can't proceed";
        case 2: return "Can't create Geo collection";
        case 3: return "Can't open Geo collection";
        case 4: return "Invalid Geo collection";
        default: return "Unknown Geo collection error";
    }
}

TGeoCollectionError::TGeoCollectionError(uint16_t code) : std::runtime_error(MessageOf(code)), code_(code) {}

std::string GeoNetworkKey(uint32_t network, uint32_t mask) {
    return LittleEndianKey32(mask) + LittleEndianKey32(network);
}

TGeoCollection::TGeoCollection(Ref<IVirtualAtom> root, bool readOnly)
    : root_(std::move(root)), readOnly_(readOnly) {}

Ref<IGeoCollection> TGeoCollection::Create(const Ref<IVirtualAtom>& root, bool readOnly) {
    if (!root) throw TGeoCollectionError(1);
    Ref<TGeoCollection> geo = MakeRef<TGeoCollection>(root, readOnly);
    try {
        if (!HasRootPrefix(*root)) throw TGeoCollectionError(4);
        geo->OpenIndexes();
        geo->LoadMasks();
    } catch (const TGeoCollectionError&) {
        throw;
    } catch (...) {
        throw TGeoCollectionError(3);
    }
    return geo;
}

Ref<IGeoCollection> TGeoCollection::InitNew(const Ref<IVirtualAtom>& root) {
    if (!root) throw TGeoCollectionError(1);
    try {
        RequireChange(*root);
        root->SetLinkCount(0);
        for (int32_t link = kNetworkLink; link <= kMaskLink; ++link) CreateIndexAt(*root, link);
        root->SetAsString(LastModifiedText(kStampName));
        return Create(root, false);
    } catch (...) {
        throw TGeoCollectionError(2);
    }
}

// The spare index at link 3 may be missing: nothing but Clear touches it.
// Without any of the other four the collection could not answer at all.
void TGeoCollection::OpenIndexes() {
    networks_ = IndexIfAny(*root_, kNetworkLink);
    texts_ = IndexIfAny(*root_, kTextLink);
    spare_ = IndexIfAny(*root_, kSpareLink);
    countries_ = IndexIfAny(*root_, kCountryLink);
    masks_ = IndexIfAny(*root_, kMaskLink);
    if (!networks_ || !texts_ || !countries_ || !masks_) throw TGeoCollectionError(4);
}

void TGeoCollection::LoadMasks() {
    std::vector<uint32_t> masks;
    for (const std::string& key : IndexKeys(*masks_)) {
        if (key.size() != 4) throw TGeoCollectionError(4);
        masks.push_back(GetU32(reinterpret_cast<const uint8_t*>(key.data())));
    }
    maskList_ = std::move(masks);
}

void TGeoCollection::Stamp() { root_->SetAsString(LastModifiedText(kStampName)); }

Ref<IVirtualAtom> TGeoCollection::SharedText(const std::string& text) {
    Ref<IVirtualAtom> atom;
    if (texts_->FindWithMode(text, amRead, atom) && atom) return atom;
    atom = texts_->Insert(text);
    atom->SetAsString(text);
    return atom;
}

// Inserting under an existing key replaces its entry: the index drops the
// old value.
void TGeoCollection::Add(uint32_t network, uint32_t mask, const TNetDescription& description) {
    if (!FitsKey(description.Area) || !FitsKey(description.Point))
        throw std::invalid_argument("Geo area or point text longer than an index key");
    const std::string maskKey = LittleEndianKey32(mask);
    if (!masks_->Contains(maskKey)) {
        masks_->InsertAtom(maskKey, nullptr);
        LoadMasks();
    }
    Ref<IVirtualAtom> entry = networks_->Insert(GeoNetworkKey(network, mask));
    if (!description.Area.empty()) entry->SetLink(kAreaLink, SharedText(description.Area));
    if (!description.Point.empty()) entry->SetLink(kPointLink, SharedText(description.Point));
    entry->SetAsString(description.Country + '\t' + description.Memo);
}

void TGeoCollection::AddNetwork(uint32_t network, uint32_t mask, const TNetDescription& description) {
    if (readOnly_) return;
    Add(network, mask, description);
    Stamp();
}

void TGeoCollection::DeleteNetwork(uint32_t network, uint32_t mask) {
    if (readOnly_) return;
    if (networks_->Delete(GeoNetworkKey(network, mask))) Stamp();
}

void TGeoCollection::LoadCountries(const std::string& fileName) {
    if (readOnly_) return;
    std::string text;
    if (!ReadGeoTextFile(fileName, text)) return;
    countries_->Clear();
    for (std::string_view line : SplitTextLines(text)) {
        std::string key, names;
        if (!ParseCountryLine(line, key, names) || !FitsKey(key)) continue;
        countries_->Insert(key)->SetAsString(names);
    }
    Stamp();
}

bool TGeoCollection::FindCountry(std::string_view key, TNetCountry& country) {
    const std::string k = UpperAscii(TrimBytes(key));
    Ref<IVirtualAtom> names;
    if (!FitsKey(k) || !countries_->FindWithMode(k, amRead, names) || !names) return false;
    country = SplitCountryNames(names->GetAsString());
    return true;
}

TGeoImportCounts TGeoCollection::ImportText(const std::string& fileName) {
    TGeoImportCounts counts;
    if (readOnly_) return counts;
    std::string text;
    if (!ReadGeoTextFile(fileName, text)) return counts;
    for (std::string_view line : SplitTextLines(text)) {
        if (TrimBytes(line).empty()) continue;
        TNetDescription entry;
        if (!ParseNetworkLine(line, entry) || !FitsKey(entry.Area) || !FitsKey(entry.Point)) {
            ++counts.Skipped;
            continue;
        }
        Add(entry.Network, entry.Mask, entry);
        ++counts.Added;
    }
    if (counts.Added > 0) Stamp();
    return counts;
}

TNetDescription TGeoCollection::Describe(std::string_view key, IVirtualAtom& entry) {
    if (key.size() != 8) throw TGeoCollectionError(4);
    const auto* bytes = reinterpret_cast<const uint8_t*>(key.data());
    TNetDescription d;
    d.Mask = GetU32(bytes);
    d.Network = GetU32(bytes + 4);
    const std::string text = entry.GetAsString();
    const size_t tab = text.find('\t');
    d.Country = text.substr(0, tab);
    if (tab != std::string::npos) d.Memo = text.substr(tab + 1);
    d.Area = LinkedText(entry, kAreaLink);
    d.Point = LinkedText(entry, kPointLink);
    return d;
}

void TGeoCollection::ExportText(const std::string& fileName) {
    std::string text;
    {
        Ref<IIndexerCursor> cursor;
        if (networks_->GetCursor(cursor)) {
            do {
                Ref<IVirtualAtom> entry = cursor->GetValueWithMode(amRead);
                if (!entry) throw TGeoCollectionError(4);
                text += FormatNetworkLine(Describe(cursor->GetKey(), *entry));
                text += "\r\n";
            } while (cursor->Next());
        }
    }
    WriteGeoTextFile(fileName, text);
}

bool TGeoCollection::FindAddress(uint32_t address, TNetDescriptions& found) {
    found.clear();
    for (auto mask = maskList_.rbegin(); mask != maskList_.rend(); ++mask) {
        const std::string key = GeoNetworkKey(address & *mask, *mask);
        Ref<IVirtualAtom> entry;
        if (networks_->FindWithMode(key, amRead, entry) && entry) found.push_back(Describe(key, *entry));
    }
    return !found.empty();
}

void TGeoCollection::Clear() {
    if (readOnly_) return;
    for (Ref<IIndexer>* index : {&networks_, &texts_, &spare_, &countries_, &masks_})
        if (*index) (*index)->Clear();
    maskList_.clear();
    Stamp();
}

bool OpenGeoCollection(const std::string& fileName, Ref<IGeoCollection>& geo) {
    geo.reset();
    try {
        if (!FileSystem().Exists(StripFileScheme(fileName))) return false;
        Ref<IVirtualStorage> storage = StorageFactory().OpenStorage(0, 0, fileName, "", "mode=readonly");
        geo = TGeoCollection::Create(storage->OpenRootAtom(), true);
        return true;
    } catch (...) {
        geo.reset();
        return false;
    }
}

std::string GeoRegionOf(uint32_t address, const Ref<IGeoCollection>& geo) {
    if (!geo) return "?";
    try {
        TNetDescriptions found;
        if (!geo->FindAddress(address, found)) return "?";
        const TNetDescription& best = *std::max_element(
            found.begin(), found.end(),
            [](const TNetDescription& a, const TNetDescription& b) { return Specificity(a) < Specificity(b); });
        std::string text = best.Area;
        TNetCountry country;
        if (text.empty() && geo->FindCountry(best.Country, country))
            text = country.First.empty() ? country.Second : country.First;
        return text.empty() ? "?" : text;
    } catch (...) {
        return "?";
    }
}

}  // namespace tlvx
