// The root layout of a new counter database.
#include "model/counter2_object.h"
#include "model/need.h"
#include "model/node_collection.h"
#include "model/skin.h"
#include "platform/clock.h"

namespace tlvx {

bool IsCompleteSkin(const TSkinStreams& skins) {
    for (TStream* s : skins)
        if (!s || s->Size() == 0) return false;
    return true;
}

namespace {

// A new atom of tr set as root link, with text (none for nullptr).
Ref<IVirtualAtom> NewChild(IVirtualAtom& root, IStorageTransaction& tr, TRootChild link,
                           const char* text = nullptr) {
    Ref<IVirtualAtom> atom = tr.CreateAtom();
    Need(atom, "new root child");
    if (text) atom->SetAsString(text);
    root.SetLink(link, atom);
    return atom;
}

// The default skin's image stream, with the texts every new database shows.
TMemoryStream DefaultSkinStream(const TSkinStreams& skins) {
    TSkin skin;
    TSkinImageStreams images;
    for (size_t i = 0; i < images.size(); ++i) images[i] = skins[i];
    skin.SetImages(images);
    skin.SetLayout(TSkinLayout{});
    skin.SetTexts({"http://", "Counter", "Default"});
    TMemoryStream stream;
    skin.SaveToStream(&stream);
    return stream;
}

}  // namespace

void CreateBlobContainer(IVirtualAtom& root, IVirtualStorage& creator) {
    Ref<IVirtualAtom> blobs = creator.CreateAtom();
    Need(blobs, "blob container");
    for (int32_t i = 0; i < kBlobCount; ++i) blobs->SetLink(i, creator.CreateAtom());
    root.SetLink(rcBlobs, blobs);
}

void CreateCounterDatabase(const Ref<IStorageTransaction>& trRef, const TSkinStreams& skins) {
    if (!trRef) throw ECounterStorageError("Invalid Storage.");
    if (!IsCompleteSkin(skins)) throw ECounterStorageError("Non-complete default skin.");
    IStorageTransaction& tr = *trRef;
    Ref<IVirtualAtom> rootRef = tr.OpenRootAtom();
    IVirtualAtom& root = Need(rootRef, "root atom");

    uint8_t settings[TCounterSettings::kSize];
    NewCounterSettings(Clock().Now()).ToBytes(settings);
    NewChild(root, tr, rcSettings)->Write(0, settings, int32_t(sizeof settings));
    NewChild(root, tr, rcRecord3);
    NewChild(root, tr, rcRecord4);
    NewChild(root, tr, rcUnused5);
    NewChild(root, tr, rcUnused6);
    NewChild(root, tr, rcSiteName, kNewSiteName);
    NewChild(root, tr, rcDefaultPage, kNewDefaultPage);
    NewChild(root, tr, rcString7);
    NewChild(root, tr, rcAddress, kNewAddress);
    NewChild(root, tr, rcString9);
    NewChild(root, tr, rcString10);

    {
        TMemoryStream skin = DefaultSkinStream(skins);
        TSkinCollection::Create(NewChild(root, tr, rcSkins), skin);
    }
    TSkipCollection::Create(NewChild(root, tr, rcSkipList));
    {
        Ref<IVirtualAtom> nodesRoot;
        Ref<INodeCollection> nodes = TNodeCollection::Create(trRef, nodesRoot);
        Need(nodesRoot, "node tree root");
        root.SetLink(rcNodes, nodesRoot);
    }
    TPathCollection::Create(NewChild(root, tr, rcPaths));
    TVisitorCollection::Create(NewChild(root, tr, rcVisitors));
    NewChild(root, tr, rcMainNode);
    CreateBlobContainer(root, tr);
}

}  // namespace tlvx
