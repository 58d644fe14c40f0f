#include "model/skin_collection.h"

#include <gtest/gtest.h>

#include "model/testing/skin_pictures.h"
#include "platform/testing/temp_dir.h"
#include "raster/gif_writer.h"
#include "store/storage_factory.h"
#include "store/testing/memory_volumes.h"

namespace tlvx {
namespace {

TMemoryStream Stream(const std::string& text) { return TMemoryStream(text); }

std::string LinkText(const Ref<IVirtualAtom>& root, int32_t link) {
    return root->OpenLink(link)->GetAsString();
}

// The default skin's counter image drawn directly, for comparison.
TPaintRect DirectImage(int32_t value) {
    TSkin skin;
    TMemoryStream s(test::DefaultSkinStreamBytes());
    skin.LoadFromStream(&s);
    skin.SetValue(value);
    return skin.GetImage();
}

class SkinCollectionTest : public ::testing::Test {
protected:
    test::TMemoryVolumes volumes;
    Ref<TOrvStorage> storage = volumes.Create();
    Ref<IStorageTransaction> tr = storage->StartTransaction();
    Ref<IVirtualAtom> root = tr->CreateAtom();
};

TEST_F(SkinCollectionTest, PutAndAddFollowTheLinkRules) {
    TMemoryStream first = Stream("first"), second = Stream("second"), empty;
    root->SetLink(7, tr->CreateAtom());  // a stale link Create must remove
    auto skins = TSkinCollection::Create(root, first);
    EXPECT_EQ(root->GetLinkCount(), 1);
    EXPECT_EQ(skins->GetSkinCount(), 1);
    EXPECT_EQ(LinkText(root, 0), "first");

    skins->PutSkin(second, 0, false);  // occupied, no overwrite: unchanged
    EXPECT_EQ(LinkText(root, 0), "first");
    skins->PutSkin(empty, 0, true);  // an empty stream is never stored
    EXPECT_EQ(LinkText(root, 0), "first");
    skins->PutSkin(empty, 2, true);
    EXPECT_FALSE(skins->SkinExists(2));

    second.Seek(3);  // the whole stream goes in, whatever its position
    skins->PutSkin(second, 3, false);
    EXPECT_EQ(LinkText(root, 3), "second");
    EXPECT_EQ(second.Position(), 3u);
    EXPECT_EQ(skins->GetSkinCount(), 2);

    TMemoryStream third = Stream("third");
    skins->AddSkin(third);  // after the highest occupied link 3
    EXPECT_EQ(LinkText(root, 4), "third");
    skins->AddSkin(empty);
    EXPECT_EQ(root->GetLinkCount(), 5);

    skins->PutSkin(third, 0, true);
    EXPECT_EQ(LinkText(root, 0), "third");

    skins->DeleteSkin(4);
    skins->DeleteSkin(3);
    EXPECT_FALSE(skins->SkinExists(3));
    EXPECT_EQ(skins->GetSkinCount(), 1);
    skins->AddSkin(first);  // link 0 is the highest left: the new one is 1
    EXPECT_EQ(LinkText(root, 1), "first");

    skins->DeleteSkin(0);
    skins->DeleteSkin(1);
    skins->AddSkin(second);  // none occupied: link 0
    EXPECT_EQ(LinkText(root, 0), "second");
}

TEST_F(SkinCollectionTest, SkinNumbersOutsideTheRangeNameNoSkin) {
    TMemoryStream s = Stream("skin");
    auto skins = TSkinCollection::Create(root, s);
    for (int32_t n : {-1, INT32_MIN, kMaxSkinNumber + 1, INT32_MAX}) {
        EXPECT_FALSE(skins->SkinExists(n));
        skins->PutSkin(s, n, true);
        skins->DeleteSkin(n);
        EXPECT_EQ(skins->RenderGIF(1, n).Size(), 0u);
    }
    EXPECT_EQ(root->GetLinkCount(), 1);
}

TEST_F(SkinCollectionTest, RendersTheStoredSkinAsBmpAndGif) {
    TMemoryStream def(test::DefaultSkinStreamBytes());
    auto skins = TSkinCollection::Create(root, def);

    TMemoryStream bmp = skins->RenderBMP(555, 0);
    EXPECT_EQ(bmp.Position(), 0u);
    TPaintRect fromBmp;
    fromBmp.LoadFromStream(bmp);
    EXPECT_EQ(fromBmp, DirectImage(555));

    TMemoryStream gif = skins->RenderGIF(1234567, 0);
    EXPECT_EQ(gif.Position(), 0u);
    EXPECT_EQ(gif.Bytes(), PaintRectToGIFBytes(DirectImage(1234567)));
    test::TDecodedGif decoded = test::DecodeGif(gif.Bytes());
    EXPECT_EQ(decoded.Width, 81);
    EXPECT_EQ(decoded.Height, 63);

    TMemoryStream into;
    into.Write("xy", 2);
    skins->RenderBMPTo(&into, 555, 0);
    EXPECT_EQ(into.Position(), 0u);
    EXPECT_EQ(into.Size(), 2 + bmp.Size());
    skins->RenderBMPTo(nullptr, 555, 0);

    // Missing skins render nothing.
    EXPECT_EQ(skins->RenderBMP(555, 1).Size(), 0u);
    EXPECT_EQ(skins->RenderGIF(555, 9).Size(), 0u);
    TMemoryStream untouched;
    skins->RenderBMPTo(&untouched, 555, 1);
    EXPECT_EQ(untouched.Size(), 0u);
}

TEST_F(SkinCollectionTest, DamagedSkinDrawsTheBlankPreview) {
    std::vector<uint8_t> bytes = test::DefaultSkinStreamBytes();
    bytes.resize(4000);  // cut inside the background picture
    TMemoryStream damaged(bytes);
    auto skins = TSkinCollection::Create(root, damaged);
    test::TDecodedGif gif = test::DecodeGif(skins->RenderGIF(555, 0).Bytes());
    EXPECT_EQ(gif.Width, 100);
    EXPECT_EQ(gif.Height, 81);
    EXPECT_EQ(gif.At(10, 10), 0u);
}

TEST(SkinCollectionFile, SkinsSurviveCommitAndReopenReadOnly) {
    TTestTempDir dir;
    const std::string path = dir.File("skins.orv");
    const std::string cls = "{EEF8A118-B004-4CEF-885D-7A6D41788651}";
    {
        auto storage =
            StorageFactory().OpenStorage(0, 0, path, "", "mode=openorcreate; class=" + cls);
        auto tr = storage->StartTransaction();
        {
            auto root = tr->OpenRootAtom();
            auto skinsRoot = tr->CreateAtom();
            root->SetLink(11, skinsRoot);
            TMemoryStream def(test::DefaultSkinStreamBytes());
            auto skins = TSkinCollection::Create(skinsRoot, def);
            TMemoryStream other = TMemoryStream(std::string("second skin"));
            skins->PutSkin(other, 5, false);
        }
        tr->Commit();
    }
    auto storage = StorageFactory().OpenStorage(0, 0, path, "", "mode=readonly; class=" + cls);
    auto tr = storage->StartTransaction();
    auto root = tr->OpenRootAtom();
    auto skins = TSkinCollection::Open(root->OpenLink(11));
    EXPECT_EQ(skins->GetSkinCount(), 2);
    EXPECT_TRUE(skins->SkinExists(5));
    EXPECT_EQ(skins->RenderGIF(555, 0).Bytes(), PaintRectToGIFBytes(DirectImage(555)));
    // The second "skin" is no skin stream: the preview is drawn.
    EXPECT_EQ(test::DecodeGif(skins->RenderGIF(555, 5).Bytes()).Width, 100);
}

}  // namespace
}  // namespace tlvx
