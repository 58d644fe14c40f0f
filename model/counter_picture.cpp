#include "model/counter_picture.h"

#include "model/skin_collection.h"

namespace tlvx {

TCounterPicture ReadCounterPicture(ICounter2& counter, int32_t skinNo) {
    TCounterPicture picture;
    picture.visits = counter.GetTotalVisits();
    Ref<ISkinCollection> skins = counter.GetSkins();
    if (!skins->SkinExists(skinNo)) skinNo = 0;
    picture.skin = skins->ReadSkin(skinNo);
    return picture;
}

TMemoryStream DrawCounterPicture(const TCounterPicture& picture) {
    return RenderSkinGIF(picture.skin, picture.visits);
}

}  // namespace tlvx
