#include "model/brw_collection.h"

#include <string>

#include "model/need.h"
#include "model/node_atoms.h"
#include "platform/text.h"

namespace tlvx {

TBrowserKind ClassifyUserAgent(std::string_view userAgent) {
    std::string text = UpperAscii(userAgent);
    size_t msie = text.find("MSIE");
    if (msie != std::string::npos) {
        std::string version = TrimBytes(std::string_view(text).substr(msie + 4));
        if (!version.empty() && version[0] == '4') return bkMSIE4;
        if (!version.empty() && version[0] == '5') return bkMSIE5;
        return bkMSIEOther;
    }
    if (text.find("LYNX") != std::string::npos) return bkLynx;
    if (text.find("OPERA") != std::string::npos) return bkOpera;
    if (text.find("MOZILLA") != std::string::npos) return bkMozilla;
    return bkOther;
}

int32_t BrowserKindLink(TBrowserKind kind) {
    switch (kind) {
        case bkOpera: return 4;
        case bkLynx: return 5;
        case bkMozilla: return 3;
        default: return static_cast<int32_t>(kind);
    }
}

TIBrwCollection::TIBrwCollection(Ref<IVirtualAtom> browserAtom) : atom_(std::move(browserAtom)) {}

Ref<TIBrwCollection> TIBrwCollection::Open(Ref<IVirtualAtom> browserAtom) {
    return MakeRef<TIBrwCollection>(std::move(browserAtom));
}

Ref<TIBrwCollection> TIBrwCollection::CreateNew(Ref<IVirtualAtom> browserAtom) {
    Ref<TIBrwCollection> collection = MakeRef<TIBrwCollection>(std::move(browserAtom));
    IVirtualAtom& atom = Need(collection->atom_, "browser atom");
    atom.SetLinkCount(0);
    Ref<IVirtualStorage> storage = StorageOf(atom);
    for (int32_t link = 0; link < kBrowserKindCount; ++link) {
        Ref<IVirtualAtom> counter = storage->CreateAtom();
        WriteInt32(*counter, 0);
        atom.SetLink(link, counter);
    }
    return collection;
}

void TIBrwCollection::RegisterAgent(std::string_view userAgent) {
    Ref<IVirtualAtom> counter =
        OpenNeededLink(Need(atom_, "browser atom"), BrowserKindLink(ClassifyUserAgent(userAgent)), "browser counter");
    WriteInt32(*counter, WrapAdd(ReadInt32(*counter), 1));
}

void TIBrwCollection::Reset() {
    for (int32_t link = 0; link < kBrowserKindCount; ++link)
        WriteInt32(*OpenNeededLink(Need(atom_, "browser atom"), link, "browser counter"), 0);
}

int32_t TIBrwCollection::Count(TBrowserSet mask) {
    int32_t sum = 0;
    if (!atom_) return 0;
    for (int32_t kind = 0; kind < kBrowserKindCount; ++kind) {
        if ((mask & BrowserSetOf(static_cast<TBrowserKind>(kind))) == 0) continue;
        Ref<IVirtualAtom> counter = atom_->OpenLink(BrowserKindLink(static_cast<TBrowserKind>(kind)));
        if (counter) sum = WrapAdd(sum, ReadInt32(*counter));
    }
    return sum;
}

}  // namespace tlvx
