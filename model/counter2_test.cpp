#include "model/counter2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>

#include "model/counter2_layout.h"
#include "model/testing/counter_database.h"
#include "platform/byte_codec.h"
#include "platform/testing/fault_file_system.h"
#include "store/access_modes.h"
#include "store/storage_factory.h"

namespace tlvx {
namespace {

using test::ReadFileBytes;

Ref<IVirtualStorage> RawStorage(const std::string& path, const char* mode) {
    return StorageFactory().OpenStorage(0, 0, path, "",
                                        std::string("mode=") + mode + "; class=" +
                                            std::string(StorageClassGUID));
}

class CounterFacadeTest : public test::CounterDatabaseTest {};

TEST_F(CounterFacadeTest, NewDatabaseHasItsRootLayoutAfterReopen) {
    TGUID id;
    {
        Ref<ICounter2> c = Open();
        ASSERT_TRUE(c);
        EXPECT_FALSE(ErrorFlag());
        id = c->GetDatabaseGUID();
        EXPECT_EQ(c->GetDatabaseGUIDString(), GuidToStr(id));
        EXPECT_EQ(c->GetDatabaseGUIDString().size(), 38u);
    }
    EXPECT_TRUE(Exists(path));
    EXPECT_FALSE(Exists(path + "-install"));
    EXPECT_FALSE(HasLeftoverJournal(path));

    {
        // The raw atoms: every root child there, the settings record in bytes.
        auto storage = RawStorage(path, "readonly");
        auto root = storage->OpenRootAtom();
        EXPECT_EQ(root->GetLinkCount(), 18);
        for (int32_t link = 0; link <= rcBlobs; ++link) EXPECT_TRUE(root->HasLink(link)) << link;
        std::vector<uint8_t> s = root->OpenLink(rcSettings)->GetAsBytes();
        ASSERT_EQ(s.size(), 56u);
        EXPECT_EQ(GetU32(&s[0]), 0u);
        EXPECT_EQ(GetU32(&s[12]), 720u);
        EXPECT_EQ(s[16], 1);
        EXPECT_EQ(std::bit_cast<double>(GetU64(&s[17])), env.clock.now);
        EXPECT_EQ(s[29], 0);
        EXPECT_EQ(s[30], 1);
        EXPECT_EQ(std::bit_cast<double>(GetU64(&s[47])), env.clock.now);
        EXPECT_EQ(s[55], 1);
        for (int32_t link : {3, 4, 5, 6, 7, 9, 10, 16})
            EXPECT_EQ(root->OpenLink(link)->GetSize(), 0) << link;
        EXPECT_EQ(root->OpenLink(rcBlobs)->GetLinkCount(), kBlobCount);
    }

    Ref<ICounter2> c = Open(true);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->GetDatabaseGUID(), id);
    EXPECT_EQ(c->GetSettings(), NewCounterSettings(env.clock.now));
    EXPECT_EQ(c->GetSiteName(), "Your Site");
    EXPECT_EQ(c->GetDefaultPage(), "/default.htm");
    EXPECT_EQ(c->GetAddress(), "127.0.0.1");
    EXPECT_EQ(c->GetString7(), "");
    EXPECT_EQ(c->GetMainNodeName(), "");
    EXPECT_EQ(c->GetSkins()->GetSkinCount(), 1);
    EXPECT_FALSE(c->GetSkipList()->IsSkipped(0x7F000001));
    EXPECT_TRUE(c->GetNodes()->GetRoot());
    EXPECT_EQ(c->GetPaths()->GetPath(id), "");
    EXPECT_EQ(c->GetVisitors()->GetReturnCount(), 0);
    for (int32_t i = 0; i < kBlobCount; ++i) EXPECT_EQ(c->GetBlob(i).Size(), 0u);
}

TEST_F(CounterFacadeTest, FailureNoteRollsTheRunBackAndError2AloneCommits) {
    Open().reset();
    const std::vector<uint8_t> before = ReadFileBytes(path);
    {
        Ref<ICounter2> c = Open();
        c->SetSiteName("changed");
        EXPECT_TRUE(c->GetNodes()->FindNode("sport", true));
        TCounterSettings s = c->GetSettings();
        s.TotalVisits = 99;
        c->SetSettings(s);
        NoteError("Error5!");
    }
    EXPECT_EQ(ReadFileBytes(path), before);

    ResetErrorNotes();
    {
        Ref<ICounter2> c = Open();
        ASSERT_TRUE(c);
        EXPECT_EQ(c->GetSiteName(), "Your Site");
        c->SetSiteName("kept");
        c->SetString9("nine");
        EXPECT_TRUE(c->GetNodes()->FindNode("news.day1", true));
        c->GetSkipList()->AddAddress(0x0A000001, "office");
        NoteError(kNoteLastDateCookie);
    }
    EXPECT_FALSE(ErrorFlag());
    Ref<ICounter2> c = Open(true);
    EXPECT_EQ(c->GetSiteName(), "kept");
    EXPECT_EQ(c->GetString9(), "nine");
    EXPECT_TRUE(c->GetNodes()->NodeExists("news.day1"));
    EXPECT_FALSE(c->GetNodes()->NodeExists("sport"));
    EXPECT_TRUE(c->GetSkipList()->IsSkipped(0x0A000001));
    NoteError("Error4!");  // a read-only run neither commits nor aborts
    c.reset();
    EXPECT_TRUE(Open(true));
}

// A commit that fails loses the run's changes and says in one line which
// file failed and why: here the journal, whose sync is the commit's first.
TEST_F(CounterFacadeTest, FailedCommitNamesTheFileThatFailed) {
    Open().reset();
    IFileSystem& base = FileSystem();
    TFaultFileSystem faults(base);
    SetFileSystem(&faults);
    {
        Ref<ICounter2> c = Open();
        ASSERT_TRUE(c);
        c->SetSiteName("lost");
        faults.FailAt(TFaultOp::Sync, 1, true);
        ::testing::internal::CaptureStderr();
    }
    const std::string err = ::testing::internal::GetCapturedStderr();
    SetFileSystem(&base);
    EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
    EXPECT_NE(std::string::npos, err.find("File write error")) << err;
    EXPECT_NE(std::string::npos, err.find(JournalPathOf(ExpandFileName(path)))) << err;
    EXPECT_EQ(Open(true)->GetSiteName(), "Your Site");
}

TEST_F(CounterFacadeTest, MissingDatabaseIsNeverMadeHollow) {
    EXPECT_FALSE(Open(true));  // read-only, even with a complete skin
    EXPECT_TRUE(ErrorFlag());
    EXPECT_FALSE(AnyFileLeft());

    ResetErrorNotes();
    EXPECT_FALSE(Open(false, false));  // the counter program's hit: no skin
    EXPECT_TRUE(ErrorFlag());
    EXPECT_FALSE(AnyFileLeft());

    TMemoryStream empty;
    pictures.Streams[4] = empty;  // digit 3
    EXPECT_FALSE(Open());
    EXPECT_FALSE(AnyFileLeft());

    Ref<ICounter2> c;
    OpenCounter2("", c, pictures.Pointers(), false, "");
    EXPECT_FALSE(c);
}

TEST_F(CounterFacadeTest, FileWithoutTheRequiredChildrenIsRefused) {
    {
        auto storage = RawStorage(path, "openorcreate");
        auto tr = storage->StartTransaction();
        auto root = tr->OpenRootAtom();
        for (int32_t link = 0; link < 11; ++link) root->SetLink(link, tr->CreateAtom());
        root.reset();
        tr->Commit();
    }
    const std::vector<uint8_t> before = ReadFileBytes(path);
    EXPECT_FALSE(Open());
    EXPECT_TRUE(ErrorFlag());
    EXPECT_FALSE(Open(true));
    EXPECT_EQ(ReadFileBytes(path), before);

    // A storage file of another data class is no counter database either.
    const std::string other = env.dir.File("other.orv");
    StorageFactory().OpenStorage(0, 0, other, "",
                                 "mode=openorcreate; class={11223344-5566-7788-99AA-BBCCDDEEFF00}");
    Ref<ICounter2> c;
    OpenCounter2(other, c, pictures.Pointers(), false, "");
    EXPECT_FALSE(c);
}

TEST_F(CounterFacadeTest, BlobContainerAddedOnceAndOnlyWhenWritable) {
    Open().reset();
    {
        auto storage = RawStorage(path, "open");
        auto tr = storage->StartTransaction();
        tr->OpenRootAtom()->SetLink(rcBlobs, nullptr);
        tr->Commit();
    }
    const std::vector<uint8_t> before = ReadFileBytes(path);
    {
        Ref<ICounter2> c = Open(true);
        ASSERT_TRUE(c);
        EXPECT_EQ(c->GetBlob(0).Size(), 0u);
        TMemoryStream s(std::string("ignored"));
        c->PutBlob(0, s);
    }
    EXPECT_EQ(ReadFileBytes(path), before);

    {
        Ref<ICounter2> c = Open();
        TMemoryStream s(std::string("blob three"));
        c->PutBlob(3, s);
    }
    Ref<ICounter2> c = Open();
    EXPECT_EQ(c->GetBlob(3).Text(), "blob three");  // the second open kept it
    c.reset();
    auto storage = RawStorage(path, "readonly");
    EXPECT_EQ(storage->OpenRootAtom()->OpenLink(rcBlobs)->GetLinkCount(), kBlobCount);
}

TEST_F(CounterFacadeTest, BlobsReplaceTheirContentAndIgnoreOtherIndexes) {
    Ref<ICounter2> c = Open();
    TMemoryStream longer(std::string("a rather long first blob"));
    longer.Seek(5);
    c->PutBlob(8, longer);
    TMemoryStream shorter(std::string("short"));
    c->PutBlob(8, shorter);
    TMemoryStream blob = c->GetBlob(8);
    EXPECT_EQ(blob.Text(), "short");
    EXPECT_EQ(blob.Position(), 0u);
    for (int32_t i : {-1, INT32_MIN, 9, 1000}) {
        c->PutBlob(i, shorter);
        EXPECT_EQ(c->GetBlob(i).Size(), 0u) << i;
    }
}

TEST_F(CounterFacadeTest, CounterImageFallsBackToSkinZero) {
    Ref<ICounter2> c = Open();
    TCounterSettings s = c->GetSettings();
    s.TotalVisits = 555;
    c->SetSettings(s);
    EXPECT_EQ(c->GetTotalVisits(), 555);

    TMemoryStream image;
    image.Write(std::string(5000, 'x').data(), 5000);  // stale bytes must go
    c->DrawCounterImage(&image, 7);
    EXPECT_EQ(image.Position(), 0u);
    EXPECT_EQ(image.Bytes(), c->GetSkins()->RenderGIF(555, 0).Bytes());
    test::TDecodedGif gif = test::DecodeGif(image.Bytes());
    EXPECT_EQ(gif.Width, 81);
    EXPECT_EQ(gif.Height, 63);
    c->DrawCounterImage(nullptr, 0);
    TMemoryStream negative;
    c->DrawCounterImage(&negative, -3);
    EXPECT_EQ(negative.Bytes(), image.Bytes());
}

TEST_F(CounterFacadeTest, MainNodeNameChildMadeOnlyOnAWritableStorage) {
    Open().reset();
    {
        auto storage = RawStorage(path, "open");
        auto tr = storage->StartTransaction();
        tr->OpenRootAtom()->SetLink(rcMainNode, nullptr);
        tr->Commit();
    }
    const std::vector<uint8_t> before = ReadFileBytes(path);
    EXPECT_EQ(Open(true)->GetMainNodeName(), "");
    EXPECT_EQ(ReadFileBytes(path), before);
    {
        Ref<ICounter2> c = Open();
        EXPECT_EQ(c->GetMainNodeName(), "");
        c->SetMainNodeName("news");
    }
    EXPECT_EQ(Open(true)->GetMainNodeName(), "news");
}

}  // namespace
}  // namespace tlvx
