#include "model/skin_collection.h"

#include "model/need.h"
#include "model/skin.h"
#include "model/stream_bytes.h"
#include "raster/gif_writer.h"
#include "store/access_modes.h"
#include "store/virtual_storage.h"

namespace tlvx {

namespace {

bool IsSkinNumber(int32_t skinNo) { return skinNo >= 0 && skinNo <= kMaxSkinNumber; }

}  // namespace

Ref<TSkinCollection> TSkinCollection::Create(const Ref<IVirtualAtom>& root, TStream& defaultSkin) {
    Need(root, "skins root atom");
    Ref<TSkinCollection> skins = MakeRef<TSkinCollection>(root);
    root->SetLinkCount(0);
    skins->PutSkin(defaultSkin, 0, true);
    return skins;
}

Ref<TSkinCollection> TSkinCollection::Open(const Ref<IVirtualAtom>& root) {
    Need(root, "skins root atom");
    return MakeRef<TSkinCollection>(root);
}

std::optional<std::vector<uint8_t>> TSkinCollection::ReadSkin(int32_t skinNo) {
    if (!SkinExists(skinNo)) return std::nullopt;
    Ref<IVirtualAtom> atom = root_->OpenLinkWithMode(skinNo, amReadData);
    return Need(atom, "skin atom").GetAsBytes();
}

template <class Encode>
TMemoryStream TSkinCollection::Draw(const std::optional<std::vector<uint8_t>>& skin, int32_t value,
                                    Encode encode) {
    TMemoryStream out;
    if (!skin) return out;
    TMemoryStream stored;
    stored.Bytes() = *skin;
    TSkin picture;
    picture.LoadFromStream(&stored);  // a skin that does not load shows its preview
    picture.SetValue(value);
    encode(picture.GetImage(), out);
    out.Seek(0);
    return out;
}

template <class Encode>
TMemoryStream TSkinCollection::Render(int32_t value, int32_t skinNo, Encode encode) {
    return Draw(ReadSkin(skinNo), value, encode);
}

TMemoryStream RenderSkinGIF(const std::optional<std::vector<uint8_t>>& skin, int32_t value) {
    return TSkinCollection::Draw(skin, value, [](const TPaintRect& image, TStream& out) {
        PaintRectToGIF(image, out);
    });
}

TMemoryStream TSkinCollection::RenderBMP(int32_t value, int32_t skinNo) {
    return Render(value, skinNo,
                  [](const TPaintRect& image, TStream& out) { image.SaveToStream(out); });
}

TMemoryStream TSkinCollection::RenderGIF(int32_t value, int32_t skinNo) {
    return RenderSkinGIF(ReadSkin(skinNo), value);
}

void TSkinCollection::RenderBMPTo(TStream* stream, int32_t value, int32_t skinNo) {
    if (!stream || !SkinExists(skinNo)) return;
    TMemoryStream image = RenderBMP(value, skinNo);
    stream->Write(image.Bytes().data(), image.Bytes().size());
    stream->Seek(0);
}

void TSkinCollection::DeleteSkin(int32_t skinNo) {
    if (SkinExists(skinNo)) root_->SetLink(skinNo, nullptr);
}

bool TSkinCollection::SkinExists(int32_t skinNo) {
    return IsSkinNumber(skinNo) && root_->HasLink(skinNo);
}

void TSkinCollection::PutSkin(TStream& stream, int32_t skinNo, bool overwrite) {
    if (!IsSkinNumber(skinNo) || stream.Size() == 0) return;
    if (!overwrite && root_->HasLink(skinNo)) return;
    std::vector<uint8_t> bytes = WholeStreamBytes(stream);
    Ref<IStorageTransaction> tr = root_->GetTransaction();
    Ref<IVirtualAtom> atom = tr ? tr->CreateAtom() : root_->GetStorage()->CreateAtom();
    Need(atom, "new skin atom").SetAsBytes(bytes);
    root_->SetLink(skinNo, atom);
}

void TSkinCollection::AddSkin(TStream& stream) {
    if (stream.Size() == 0) return;
    int32_t next = 0;
    for (int32_t i = root_->GetLinkCount() - 1; i >= 0; --i) {
        if (root_->HasLink(i)) {
            next = i + 1;
            break;
        }
    }
    PutSkin(stream, next, false);
}

int32_t TSkinCollection::GetSkinCount() {
    int32_t count = 0;
    for (int32_t i = 0, n = root_->GetLinkCount(); i < n; ++i)
        if (root_->HasLink(i)) ++count;
    return count;
}

}  // namespace tlvx
