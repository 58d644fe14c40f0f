// Creating a counter database under injected write failures and simulated
// crashes: afterwards there is either no database or a complete one, and an
// install that runs again succeeds.
#include <gtest/gtest.h>

#include "model/counter2_layout.h"
#include "model/testing/counter_database.h"
#include "platform/testing/fault_file_system.h"
#include "store/errors.h"

namespace tlvx {
namespace {

class CounterInstallTest : public test::CounterDatabaseTest {
protected:
    void SetUp() override {
        CounterDatabaseTest::SetUp();
        SetFileSystem(&fs);
    }
    void TearDown() override {
        fs.Reset();
        SetFileSystem(nullptr);
        CounterDatabaseTest::TearDown();
    }

    // One install run: open (creating the file) and release.
    bool Install() {
        SetInstallMode(true);
        bool made = false;
        try {
            made = bool(Open());
        } catch (const ESimulatedCrash&) {
        }
        SetInstallMode(false);
        return made;
    }

    // The database as a reader finds it: complete, with its default skin.
    void ExpectComplete() {
        Ref<ICounter2> c = Open(true);
        ASSERT_TRUE(c);
        EXPECT_EQ(c->GetSiteName(), "Your Site");
        EXPECT_EQ(c->GetSettings().DefaultInterval, 720);
        EXPECT_EQ(c->GetSkins()->RenderGIF(555, 0).Size() > 0, true);
        EXPECT_TRUE(c->GetNodes()->GetRoot());
        EXPECT_EQ(c->GetBlob(0).Size(), 0u);
        EXPECT_FALSE(Exists(path + "-install"));
    }

    TFaultFileSystem fs;
};

TEST_F(CounterInstallTest, FailedWriteLeavesNoFilesBehind) {
    ASSERT_TRUE(Install());
    const uint64_t writes = fs.Count(TFaultOp::Write);
    ASSERT_GT(writes, 3u);
    for (uint64_t n = 1; n <= writes; ++n) {
        fs.Reset();
        // The database and the idle journal its install left.
        FileSystem().Remove(path);
        FileSystem().Remove(JournalPathOf(ExpandFileName(path)));
        ASSERT_FALSE(AnyFileLeft());
        fs.FailAt(TFaultOp::Write, n);
        ResetErrorNotes();
        if (Install()) {
            ExpectComplete();  // the failure hit a write after the commit
        } else {
            EXPECT_FALSE(AnyFileLeft()) << "write " << n;
        }
    }
}

TEST_F(CounterInstallTest, CrashAtAnyPointLeavesNoDatabaseOrACompleteOne) {
    ASSERT_TRUE(Install());
    std::vector<std::pair<TFaultOp, uint64_t>> points;
    for (TFaultOp op : {TFaultOp::Write, TFaultOp::Sync, TFaultOp::Truncate})
        for (uint64_t n = 1, count = fs.Count(op); n <= count; ++n) points.push_back({op, n});
    ASSERT_GT(points.size(), 5u);

    int complete = 0, none = 0;
    for (TCrashMode mode : {TCrashMode::Apply, TCrashMode::Drop, TCrashMode::Tear}) {
        for (auto [op, n] : points) {
            SCOPED_TRACE(testing::Message() << "op " << int(op) << " #" << n << " mode "
                                            << int(mode));
            for (const std::string& p : {path, path + "-install", path + "-journal"})
                FileSystem().Remove(p);
            fs.Reset();  // the removals are on disk
            fs.CrashAt(op, n, mode, uint32_t(n));
            Install();
            ASSERT_TRUE(fs.Crashed());
            fs.Reset();
            ResetErrorNotes();

            Ref<ICounter2> reader = Open(true);
            if (reader) {
                reader.reset();
                ExpectComplete();
                ++complete;
            } else {
                // No database: nothing a reader can use, and the next install
                // clears the remains and succeeds.
                ++none;
                ASSERT_TRUE(Install());
                ExpectComplete();
            }
        }
    }
    // Every write and sync of an install happens before its marker goes, so
    // an interrupted install always reads as no database; a complete one is
    // only seen when nothing interrupted it.
    EXPECT_EQ(complete, 0);
    EXPECT_GT(none, 0);
}

TEST_F(CounterInstallTest, RemainsHeldOpenByAnotherOpenAreLeftAlone) {
    // A creation under way elsewhere: its marker is there and the file is
    // held open for writing. The hit road must not take the file away.
    ASSERT_TRUE(Install());
    auto marker = FileSystem().Open(path + "-install", TFileAccess::ReadWrite,
                                    TDisposition::CreateAlways);
    marker.reset();
    auto holder = FileSystem().Open(path, TFileAccess::ReadWrite, TDisposition::OpenExisting);
    EXPECT_FALSE(Open());
    EXPECT_TRUE(Exists(path));
    holder.reset();
    EXPECT_FALSE(Open(true));  // a reader never clears remains
    EXPECT_TRUE(Exists(path));
    ASSERT_TRUE(Install());
    ExpectComplete();
}

}  // namespace
}  // namespace tlvx
