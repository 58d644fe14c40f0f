#include "store/storage_factory.h"

#include <gtest/gtest.h>

#include "platform/testing/memory_file_system.h"
#include "store/errors.h"
#include "store/orv_storage.h"
#include "store/snapshot_file.h"
#include "store/storage_registry.h"

namespace tlvx {
namespace {

const std::string kClass = "{5A12A904-7DD7-11D4-A788-000021D7A140}";

// The factory over the file storage, its files in memory.
class StorageFactoryTest : public ::testing::Test {
protected:
    void SetUp() override { SetStorageCreator(OrvStorageCreator()); }
    void TearDown() override { SetStorageCreator(nullptr); }

    Ref<IVirtualStorage> Open(const std::string& location, const std::string& params,
                              uint16_t serverType = 0, const std::string& caps = "") {
        return StorageFactory().OpenStorage(serverType, 0, location, caps, params);
    }
    static int32_t CodeOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const EQmzError& e) {
            return e.ErrorCode();
        }
        return 0;
    }

    TMemoryFileSystemScope files_;
};

TEST_F(StorageFactoryTest, CreateThenReopenReadOnly) {
    TGUID storageId;
    {
        auto s = Open("FILE:///data/c.orv", "mode=openorcreate; class=" + kClass + "; AtomSizeAlign=16");
        EXPECT_EQ(NewFileAtomSizeAlign(), 16);
        EXPECT_EQ(s->GetURL(), "file:///data/c.orv");
        EXPECT_EQ(s->GetDataClass(), *StrToGuid(kClass));
        storageId = s->GetStorageID();
        auto t = s->StartTransaction();
        t->OpenRootAtom()->SetAsString("hits");
        t->Commit();
    }
    auto s = Open("/data/c.orv", "mode=readonly; class=" + kClass);
    EXPECT_EQ(NewFileAtomSizeAlign(), 1);  // set before every open
    EXPECT_EQ(s->GetStorageID(), storageId);
    EXPECT_EQ(s->GetAccessMask(), 3);
    EXPECT_EQ(s->OpenRootAtom()->GetAsString(), "hits");
}

TEST_F(StorageFactoryTest, OpenVolumeIsShareLocked) {
    auto writer = Open("shared", "class=" + kClass);
    EXPECT_EQ(CodeOf([&] { Open("shared", "mode=readonly"); }), ecOpenFile);
    EXPECT_EQ(CodeOf([&] { Open("shared", "mode=open"); }), ecOpenFile);
    EXPECT_EQ(CodeOf([&] { Open("shared", "mode=create;class=" + kClass); }), ecOpenFile);
    writer.reset();
    auto r1 = Open("shared", "mode=readonly");
    auto r2 = Open("shared", "mode=readonly");
    try {
        Open("shared", "mode=open");
        ADD_FAILURE();
    } catch (const EOrvOpenError& e) {
        EXPECT_STREQ(e.what(),
                     "Error opening file \"shared\": still locked by another open");
    }
    r1.reset();
    r2.reset();
    EXPECT_NE(Open("shared", "mode=open;class=" + kClass), nullptr);
    // A create never replaces a file, even one that nothing holds.
    EXPECT_EQ(CodeOf([&] { Open("shared", "mode=create;class=" + kClass); }), ecOpenFile);
}

// A reader that has read a good part of a file takes its copy: writers get
// in, and the reader keeps reading the state it copied. A file larger than
// the copy's bound stays read in place, under the lock.
TEST_F(StorageFactoryTest, AReaderWithItsCopyKeepsNoWriterOut) {
    auto write = [&](const std::string& text) {
        auto t = Open("snap", "mode=openorcreate; class=" + kClass)->StartTransaction();
        t->OpenRootAtom()->SetAsString(text);
        t->Commit();
    };
    const std::string big(TSnapshotFile::kCopyAfterBytes + 1000, 'x');
    write(big);
    auto reader = Open("snap", "mode=readonly; SnapshotBytes=16777216");
    EXPECT_EQ(CodeOf([&] { write("second"); }), ecOpenFile);  // nothing read yet
    EXPECT_EQ(reader->OpenRootAtom()->GetAsString(), big);
    write("second");
    EXPECT_EQ(reader->OpenRootAtom()->GetAsString(), big);
    EXPECT_EQ(Open("snap", "mode=readonly")->OpenRootAtom()->GetAsString(), "second");

    reader.reset();
    write(big);
    reader = Open("snap", "mode=readonly; SnapshotBytes=65536");
    EXPECT_EQ(reader->OpenRootAtom()->GetAsString(), big);
    EXPECT_EQ(CodeOf([&] { write("third"); }), ecOpenFile);
    EXPECT_EQ(CodeOf([&] { Open("snap", "mode=readonly; SnapshotBytes=-1"); }), ecInvalidParameter);
}

TEST_F(StorageFactoryTest, Errors) {
    EXPECT_EQ(CodeOf([&] { Open("a", "class=" + kClass, 2); }), ecServerTypeNotSupported);
    EXPECT_NE(Open("a", "class=" + kClass, 1), nullptr);
    EXPECT_NE(Open("a", "class=" + kClass, 3), nullptr);
    EXPECT_EQ(CodeOf([&] { Open("a", "mode=fast"); }), ecInvalidParameter);
    EXPECT_EQ(CodeOf([&] { Open("missing", "mode=open"); }), ecOpenFile);
    EXPECT_EQ(CodeOf([&] { Open("missing", "mode=readonly"); }), ecOpenFile);
    EXPECT_EQ(CodeOf([&] { Open("b", "mode=create"); }), ecUnmatchedClass);
    EXPECT_EQ(CodeOf([&] { Open("a", "class={00000000-0000-0000-0000-000000000001}"); }), ecUnmatchedClass);
    EXPECT_EQ(CodeOf([&] { Open("a", "class=" + kClass, 0, "CACHE=2"); }), ecCapabilityNotSupported);
    EXPECT_NE(Open("a", "class=" + kClass, 0, "CACHE=1;TRANSACTIONS=3"), nullptr);
    EXPECT_EQ(StorageFactory().GetNilStorage(0, 0, "a", "", ""), nullptr);
    SetStorageCreator(nullptr);
    EXPECT_EQ(CodeOf([&] { Open("a", ""); }), ecNotImplemented);
    try {
        Open("a", "", 4);
    } catch (const EQmzError& e) {
        EXPECT_STREQ(e.what(), "Server type not supported");
    }
}

TEST_F(StorageFactoryTest, ShutdownReportsAndClosesStoragesLeftOpen) {
    ASSERT_EQ(RegisteredStorageCount(), 0u);
    auto s = Open("leak", "class=" + kClass);
    auto active = s->StartTransaction();
    auto ended = s->StartTransaction();
    ended->Commit();
    auto atom = active->OpenRootAtom();
    atom->SetAsString("not committed");
    EXPECT_EQ(RegisteredStorageCount(), 1u);

    testing::internal::CaptureStderr();
    ShutdownStorages();  // must not throw on the ended transaction
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Orv-Error: TOrvStorage: 1 object(s) not destroyed\n");
    EXPECT_EQ(RegisteredStorageCount(), 0u);
    EXPECT_EQ(active->GetTransactionID(), 0);
    EXPECT_THROW(atom->GetSize(), EQmzError);
    atom.reset();
    active.reset();
    ended.reset();
    s.reset();
    // Nothing left: no report at all.
    testing::internal::CaptureStderr();
    ShutdownStorages();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    auto again = Open("leak", "mode=open;class=" + kClass);
    EXPECT_EQ(again->OpenRootAtom()->GetAsString(), "");
}

TEST_F(StorageFactoryTest, StoreShutdownWritesToStderr) {
    auto s = Open("err", "class=" + kClass);
    testing::internal::CaptureStderr();
    StoreShutdown();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Orv-Error: TOrvStorage: 1 object(s) not destroyed\n");
    // The factory is made again on the next use.
    EXPECT_NE(Open("err2", "class=" + kClass), nullptr);
}

}  // namespace
}  // namespace tlvx
