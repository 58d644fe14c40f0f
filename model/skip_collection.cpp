#include "model/skip_collection.h"

#include <algorithm>

#include "model/collection_atoms.h"
#include "model/error_notes.h"
#include "model/ipv4.h"
#include "model/need.h"
#include "platform/byte_codec.h"
#include "store/btree_factory.h"

namespace tlvx {

namespace {

constexpr int32_t kAddressLink = 1;
constexpr int32_t kNetworkLink = 2;

Ref<IIndexer> IndexAt(IVirtualAtom& root, int32_t link) {
    return NeedIndexAt(root, link, link == kAddressLink ? "skip address index" : "skip network index");
}

}  // namespace

const char* TSkipCollectionError::MessageOf(uint16_t code) {
    switch (code) {
        case 1: return "NIL Root Atom of skip collection. Can't proceed";
        case 2: return "Can't create skip collection";
        case 3: return "Can't open skip collection";
        default: return "Unknown skip collection error";
    }
}

TSkipCollectionError::TSkipCollectionError(uint16_t code) : std::runtime_error(MessageOf(code)), code_(code) {}

std::string SkipAddressKey(int32_t address) { return LittleEndianKey32(uint32_t(address)); }

std::string SkipNetworkKey(int32_t address, int32_t mask) {
    std::string key(8, '\0');
    PutU32(reinterpret_cast<uint8_t*>(key.data()), uint32_t(mask));
    PutU32(reinterpret_cast<uint8_t*>(key.data()) + 4, uint32_t(address));
    return key;
}

Ref<ISkipCollection> TSkipCollection::Create(const Ref<IVirtualAtom>& root) {
    if (!root) throw TSkipCollectionError(1);
    Ref<TSkipCollection> list = MakeRef<TSkipCollection>(root);
    try {
        RequireChange(*root);
        root->SetLinkCount(0);
        CreateIndexAt(*root, kAddressLink);
        CreateIndexAt(*root, kNetworkLink);
        list->Stamp(true);
    } catch (...) {
        NoteError(kNoteSkipCreate);
        throw TSkipCollectionError(2);
    }
    return list;
}

Ref<ISkipCollection> TSkipCollection::Open(const Ref<IVirtualAtom>& root) {
    if (!root) throw TSkipCollectionError(1);
    try {
        for (int32_t link : {kAddressLink, kNetworkLink}) {
            Ref<IVirtualAtom> atom = OpenLinkAt(*root, link);
            if (!atom || !IndexFactory()->IsBTreeIndex(atom)) throw TSkipCollectionError(3);
        }
    } catch (...) {
        NoteError(kNoteSkipOpen);
        throw TSkipCollectionError(3);
    }
    return MakeRef<TSkipCollection>(root);
}

void TSkipCollection::Stamp(bool byCreate) {
    std::string text = LastModifiedText("SkipCollection");
    if (byCreate) text += " by Create";
    root_->SetAsString(text);
}

void TSkipCollection::AddAddress(int32_t address, std::string_view description) {
    RequireChange(*root_);
    {
        Ref<IIndexer> index = IndexAt(*root_, kAddressLink);
        Need(index->Insert(SkipAddressKey(address)), "skip entry").SetAsString(description);
    }
    Stamp(false);
}

void TSkipCollection::AddNetwork(int32_t address, int32_t mask, std::string_view description) {
    RequireChange(*root_);
    {
        Ref<IIndexer> index = IndexAt(*root_, kNetworkLink);
        Need(index->Insert(SkipNetworkKey(address, mask)), "skip entry").SetAsString(description);
    }
    Stamp(false);
}

void TSkipCollection::AddNetworkBits(int32_t address, uint8_t bits, std::string_view description) {
    AddNetwork(address, int32_t(NetworkMask(bits)), description);
}

void TSkipCollection::AddRange(uint32_t first, uint32_t last, std::string_view description) {
    RequireChange(*root_);
    {
        Ref<IIndexer> index = IndexAt(*root_, kAddressLink);
        // 64-bit counter: a range ending at 255.255.255.255 must end too.
        for (uint64_t a = std::min(first, last); a <= std::max(first, last); ++a)
            Need(index->Insert(SkipAddressKey(int32_t(uint32_t(a)))), "skip entry").SetAsString(description);
    }
    Stamp(false);
}

void TSkipCollection::DeleteAddress(int32_t address) {
    RequireChange(*root_);
    IndexAt(*root_, kAddressLink)->Delete(SkipAddressKey(address));
    Stamp(false);
}

void TSkipCollection::DeleteNetwork(int32_t address, int32_t mask) {
    RequireChange(*root_);
    IndexAt(*root_, kNetworkLink)->Delete(SkipNetworkKey(address, mask));
    Stamp(false);
}

void TSkipCollection::DeleteRange(uint32_t first, uint32_t last) {
    RequireChange(*root_);
    {
        Ref<IIndexer> index = IndexAt(*root_, kAddressLink);
        for (uint64_t a = std::min(first, last); a <= std::max(first, last); ++a)
            index->Delete(SkipAddressKey(int32_t(uint32_t(a))));
    }
    Stamp(false);
}

bool TSkipCollection::Match(int32_t address, std::string* description) {
    if (description) description->clear();
    {
        Ref<IIndexer> addresses = IndexAt(*root_, kAddressLink);
        if (Ref<IVirtualAtom> entry = FindForReading(*addresses, SkipAddressKey(address))) {
            if (description) *description = entry->GetAsString();
            return true;
        }
    }
    Ref<IIndexer> networks = IndexAt(*root_, kNetworkLink);
    Ref<IIndexerCursor> cursor;
    if (!networks->GetCursor(cursor)) return false;
    do {
        std::string key = cursor->GetKey();
        if (key.size() != 8) throw TSkipCollectionError(0);
        const auto* bytes = reinterpret_cast<const uint8_t*>(key.data());
        uint32_t mask = GetU32(bytes), network = GetU32(bytes + 4);
        if ((uint32_t(address) & mask) == network) {
            if (description) *description = Need(cursor->GetValueWithMode(amRead), "skip entry").GetAsString();
            return true;
        }
    } while (cursor->Next());
    return false;
}

bool TSkipCollection::IsSkipped(int32_t address) { return Match(address, nullptr); }

bool TSkipCollection::IsSkippedEx(int32_t address, std::string& description) {
    return Match(address, &description);
}

std::vector<int32_t> TSkipCollection::ListAddresses() {
    std::vector<int32_t> addresses;
    for (const std::string& key : IndexKeys(*IndexAt(*root_, kAddressLink))) {
        if (key.size() != 4) throw TSkipCollectionError(0);
        addresses.push_back(int32_t(GetU32(reinterpret_cast<const uint8_t*>(key.data()))));
    }
    return addresses;
}

std::vector<TSkipNetwork> TSkipCollection::ListNetworks() {
    std::vector<TSkipNetwork> networks;
    for (const std::string& key : IndexKeys(*IndexAt(*root_, kNetworkLink))) {
        if (key.size() != 8) throw TSkipCollectionError(0);
        const auto* bytes = reinterpret_cast<const uint8_t*>(key.data());
        networks.push_back({int32_t(GetU32(bytes + 4)), int32_t(GetU32(bytes))});
    }
    return networks;
}

void TSkipCollection::Clear(int32_t link) {
    RequireChange(*root_);
    IndexAt(*root_, link)->Clear();
}

void TSkipCollection::ClearAll() {
    Clear(kAddressLink);
    Clear(kNetworkLink);
}

void TSkipCollection::ClearAddresses() {
    Clear(kAddressLink);
    Stamp(false);
}

void TSkipCollection::ClearNetworks() {
    Clear(kNetworkLink);
    Stamp(false);
}

}  // namespace tlvx
