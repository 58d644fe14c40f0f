#include "platform/testing/fault_file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>

#include "platform/testing/file_text.h"
#include "platform/testing/memory_file_system.h"
#include "platform/testing/temp_dir.h"

namespace tlvx {
namespace {

using test::ReadAll;

void Put(IFile& f, const std::string& text, uint64_t pos) { test::WriteText(f, text, pos); }

// Every case runs over the real file system and over the one in memory: the
// simulation must not depend on what holds the bytes.
class FaultFileSystem : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { SetFileSystem(&fs); }
    void TearDown() override { SetFileSystem(nullptr); }
    std::unique_ptr<IFile> Open(const std::string& name,
                                TDisposition d = TDisposition::OpenAlways) {
        return FileSystem().Open(dir.File(name), TFileAccess::ReadWrite, d);
    }
    // A synced base "0123456789", then unsynced: an overwrite, an extension
    // and a shrink.
    std::unique_ptr<IFile> Scenario(const std::string& name) {
        auto f = Open(name, TDisposition::CreateNew);
        fs.SyncDirectoryOf(dir.File(name));
        Put(*f, "0123456789", 0);
        f->Sync();
        Put(*f, "AB", 2);
        Put(*f, "XYZ", 12);   // size 15, zero gap at 10-11
        f->SetSize(13);       // cuts "YZ"
        return f;
    }

    // What the base holds now: what survived a crash.
    std::string Contents(const std::string& path) {
        return ReadAll(*base.Open(path, TFileAccess::Read, TDisposition::OpenExisting));
    }

    TTestTempDir dir;
    TMemoryFileSystem memory;
    IFileSystem& base = GetParam() ? static_cast<IFileSystem&>(memory) : RealFileSystem();
    TFaultFileSystem fs{base};
};

TEST_P(FaultFileSystem, PassesThroughAndCounts) {
    {
        auto f = Scenario("a");
        EXPECT_EQ(ReadAll(*f), std::string("01AB456789\0\0X", 13));
    }
    EXPECT_EQ(fs.Count(TFaultOp::Write), 3u);
    EXPECT_EQ(fs.Count(TFaultOp::Sync), 1u);
    EXPECT_EQ(fs.Count(TFaultOp::Truncate), 1u);
    EXPECT_EQ(fs.Count(TFaultOp::DirectorySync), 1u);
    EXPECT_TRUE(fs.Exists(dir.File("a")));
    EXPECT_TRUE(fs.Remove(dir.File("a")));
    EXPECT_FALSE(fs.Crashed());
}

TEST_P(FaultFileSystem, FailsTheNthOperationOfEachKind) {
    auto f = Open("a");
    Put(*f, "x", 0);
    fs.FailAt(TFaultOp::Write, 2);
    Put(*f, "y", 1);
    try {
        Put(*f, "z", 2);
        FAIL();
    } catch (const EPlatformError& e) {
        EXPECT_EQ(e.Errno(), EIO);
    }
    Put(*f, "w", 2);  // only the one
    EXPECT_EQ(ReadAll(*f), "xyw");

    fs.FailAt(TFaultOp::Sync, 1);
    EXPECT_THROW(f->Sync(), EPlatformError);
    f->Sync();
    fs.FailAt(TFaultOp::Truncate, 1, true);
    EXPECT_THROW(f->SetSize(1), EPlatformError);
    EXPECT_THROW(f->SetSize(1), EPlatformError);  // and every later one
    EXPECT_EQ(f->Size(), 3u);
    EXPECT_EQ(fs.Count(TFaultOp::Truncate), 2u);
    fs.Reset();
    EXPECT_EQ(fs.Count(TFaultOp::Write), 0u);
}

TEST_P(FaultFileSystem, CrashApplyKeepsEverything) {
    auto f = Scenario("a");
    fs.Crash(TCrashMode::Apply);
    EXPECT_TRUE(fs.Crashed());
    EXPECT_EQ(Contents(dir.File("a")), std::string("01AB456789\0\0X", 13));
}

TEST_P(FaultFileSystem, CrashDropRestoresBytesAndSizeOfTheLastSync) {
    auto f = Scenario("a");
    auto g = Open("b", TDisposition::CreateNew);
    fs.SyncDirectoryOf(dir.File("b"));
    Put(*g, "data", 0);  // never synced: back to empty
    auto h = Open("c", TDisposition::CreateNew);
    Put(*h, "data", 0);
    h->Sync();  // synced, but its directory was not: gone
    fs.Crash(TCrashMode::Drop);
    EXPECT_EQ(Contents(dir.File("a")), "0123456789");
    EXPECT_EQ(Contents(dir.File("b")), "");
    EXPECT_FALSE(base.Exists(dir.File("c")));
}

TEST_P(FaultFileSystem, PendingChangesOutliveCloseUntilSynced) {
    Scenario("a").reset();
    {
        auto f = Open("a", TDisposition::OpenExisting);
        Put(*f, "Q", 0);
    }
    fs.Crash(TCrashMode::Drop);
    EXPECT_EQ(Contents(dir.File("a")), "0123456789");
    fs.Reset();
    {
        auto f = Open("a", TDisposition::OpenExisting);
        Put(*f, "Q", 0);
        f->Sync();
    }
    fs.Crash(TCrashMode::Drop);
    EXPECT_EQ(Contents(dir.File("a")), "Q123456789");
}

TEST_P(FaultFileSystem, AfterTheCrashEverythingIsANoOpUntilReset) {
    auto f = Scenario("a");
    fs.CrashAt(TFaultOp::Sync, 1, TCrashMode::Drop);
    EXPECT_THROW(f->Sync(), ESimulatedCrash);
    Put(*f, "lost", 0);
    f->SetSize(0);
    f->Sync();
    char c;
    EXPECT_EQ(f->ReadAt(&c, 1, 0), 0u);
    EXPECT_EQ(f->Size(), 0u);
    EXPECT_THROW(Open("a"), ESimulatedCrash);
    // The dead process's lock is gone: a fresh open succeeds at once.
    TFileOptions noWait;
    noWait.lockWaitMs = 0;
    EXPECT_NO_THROW(base.Open(dir.File("a"), TFileAccess::ReadWrite,
                                          TDisposition::OpenExisting, noWait));
    fs.Reset();
    Put(*f, "still dead", 0);
    auto g = Open("a", TDisposition::OpenExisting);
    EXPECT_EQ(ReadAll(*g), "0123456789");
}

TEST_P(FaultFileSystem, CrashAtAWriteLeavesThatWriteOut) {
    auto f = Scenario("a");
    fs.CrashAt(TFaultOp::Write, 2, TCrashMode::Apply);
    Put(*f, "P", 0);
    EXPECT_THROW(Put(*f, "never", 0), ESimulatedCrash);
    EXPECT_EQ(Contents(dir.File("a")), std::string("P1AB456789\0\0X", 13));
}

TEST_P(FaultFileSystem, TearAppliesASeededSubsetAndHalfTheCrashWrite) {
    std::set<std::string> outcomes;
    for (uint32_t seed = 0; seed < 40; ++seed) {
        const std::string name = std::to_string(seed) + "t";
        {
            auto f = Scenario(name);
            fs.CrashAt(TFaultOp::Write, 1, TCrashMode::Tear, seed);
            EXPECT_THROW(Put(*f, "abcd", 4), ESimulatedCrash);
        }
        std::string got = Contents(dir.File(name));
        // The half write "ab" at 4 always lands; the rest is a subset of the
        // pending changes over the synced base.
        ASSERT_GE(got.size(), 10u);
        EXPECT_EQ(got.substr(4, 2), "ab");
        EXPECT_EQ(got.substr(6, 4), "6789");
        const std::string head = got.substr(0, 4);
        EXPECT_TRUE(head == "0123" || head == "01AB") << head;
        EXPECT_TRUE(got.size() == 10 || got.size() == 13 || got.size() == 15) << got.size();
        outcomes.insert(got);
        fs.Reset();
    }
    EXPECT_GE(outcomes.size(), 4u);
    // The same seed tears the same way.
    std::string first, second;
    for (std::string* out : {&first, &second}) {
        auto f = Scenario("s" + std::to_string(out == &first));
        fs.Crash(TCrashMode::Tear, 7);
        *out = Contents(dir.File("s" + std::to_string(out == &first)));
        fs.Reset();
    }
    EXPECT_EQ(first, second);
}

TEST_P(FaultFileSystem, EveryCrashPointOfARunCanBeEnumerated) {
    auto run = [&](const std::string& name) {
        auto f = Open(name, TDisposition::CreateAlways);
        fs.SyncDirectoryOf(dir.File(name));
        for (int i = 0; i < 5; ++i) {
            Put(*f, std::string(1, static_cast<char>('a' + i)), static_cast<uint64_t>(i));
            f->Sync();
        }
    };
    run("clean");
    const uint64_t syncs = fs.Count(TFaultOp::Sync);
    ASSERT_EQ(syncs, 5u);
    fs.Reset();
    for (uint64_t n = 1; n <= syncs; ++n) {
        const std::string name = std::to_string(n) + "c";
        fs.CrashAt(TFaultOp::Sync, n, TCrashMode::Drop);
        EXPECT_THROW(run(name), ESimulatedCrash);
        fs.Reset();
        EXPECT_EQ(Contents(dir.File(name)), std::string("abcde").substr(0, n - 1));
    }
}

TEST_P(FaultFileSystem, AKilledProcessLeavesItsWritesPendingForTheNext) {
    Scenario("a").reset();
    {
        auto f = Open("a", TDisposition::OpenExisting);
        Put(*f, "K", 0);
        fs.CrashAt(TFaultOp::Write, 1, TCrashMode::Kill);
        EXPECT_THROW(Put(*f, "never", 5), ESimulatedCrash);
    }
    fs.Restart();
    EXPECT_EQ(fs.Count(TFaultOp::Write), 0u);
    // The next process sees the dead one's writes, and its lock is gone.
    TFileOptions noWait;
    noWait.lockWaitMs = 0;
    auto g = FileSystem().Open(dir.File("a"), TFileAccess::ReadWrite, TDisposition::OpenExisting,
                               noWait);
    EXPECT_EQ(ReadAll(*g), std::string("K1AB456789\0\0X", 13));
    g.reset();
    // Nothing synced them: the power loss takes them.
    fs.Crash(TCrashMode::Drop);
    EXPECT_EQ(Contents(dir.File("a")), "0123456789");
}

TEST_P(FaultFileSystem, ASyncOfTheNextProcessCoversTheDeadOnesWrites) {
    Scenario("a").reset();
    {
        auto f = Open("a", TDisposition::OpenExisting);
        Put(*f, "K", 0);
    }
    fs.Crash(TCrashMode::Kill);
    fs.Restart();
    {
        auto g = Open("a", TDisposition::OpenExisting);
        Put(*g, "N", 1);
        g->Sync();
        Put(*g, "lost", 0);
    }
    fs.Crash(TCrashMode::Drop);
    EXPECT_EQ(Contents(dir.File("a")), std::string("KNAB456789\0\0X", 13));
}

TEST_P(FaultFileSystem, DirectoryChangesLastOnlyOnceTheDirectoryIsSynced) {
    {
        auto f = Open("old", TDisposition::CreateNew);
        Put(*f, "synced", 0);
        f->Sync();
        fs.SyncDirectoryOf(dir.File("old"));
        Put(*f, "unsynced", 0);
        auto g = Open("new", TDisposition::CreateNew);
        Put(*g, "new", 0);
        g->Sync();
    }
    EXPECT_TRUE(fs.Remove(dir.File("old")));
    fs.Crash(TCrashMode::Kill);
    fs.Restart();
    EXPECT_FALSE(fs.Exists(dir.File("old")));
    fs.Crash(TCrashMode::Drop);
    // The removal is undone with the bytes of the last sync; the creation
    // is undone although its bytes were synced.
    EXPECT_EQ(Contents(dir.File("old")), "synced");
    EXPECT_FALSE(base.Exists(dir.File("new")));

    fs.Reset();
    {
        auto g = Open("new", TDisposition::CreateNew);
        Put(*g, "new", 0);
        g->Sync();
    }
    fs.Remove(dir.File("old"));
    fs.SyncDirectoryOf(dir.File("new"));
    fs.Crash(TCrashMode::Drop);
    EXPECT_FALSE(base.Exists(dir.File("old")));
    EXPECT_EQ(Contents(dir.File("new")), "new");
}

TEST_P(FaultFileSystem, CreateAlwaysCutsTheFileOnlyUntilASync) {
    Scenario("a").reset();
    Open("a", TDisposition::CreateAlways)->WriteAt("x", 1, 0);
    EXPECT_EQ(Contents(dir.File("a")), "x");
    fs.Crash(TCrashMode::Drop);
    EXPECT_EQ(Contents(dir.File("a")), "0123456789");
}

TEST_P(FaultFileSystem, DirectorySyncsCountFailAndCrash) {
    Open("a", TDisposition::CreateNew).reset();
    fs.FailAt(TFaultOp::DirectorySync, 1);
    EXPECT_THROW(fs.SyncDirectoryOf(dir.File("a")), EPlatformError);
    fs.CrashAt(TFaultOp::DirectorySync, 1, TCrashMode::Drop);
    EXPECT_THROW(fs.SyncDirectoryOf(dir.File("a")), ESimulatedCrash);
    EXPECT_EQ(fs.Count(TFaultOp::DirectorySync), 2u);
    // Neither sync happened.
    EXPECT_FALSE(base.Exists(dir.File("a")));
}

TEST_P(FaultFileSystem, TearKeepsOrLosesEachDirectoryChange) {
    std::set<std::pair<bool, bool>> outcomes;
    for (uint32_t seed = 0; seed < 16; ++seed) {
        Open("x", TDisposition::CreateNew)->Sync();
        fs.SyncDirectoryOf(dir.File("x"));
        fs.Remove(dir.File("x"));
        Open("y", TDisposition::CreateNew)->Sync();
        fs.Crash(TCrashMode::Tear, seed);
        outcomes.insert({base.Exists(dir.File("x")),
                         base.Exists(dir.File("y"))});
        fs.Reset();
        base.Remove(dir.File("x"));
        base.Remove(dir.File("y"));
    }
    EXPECT_EQ(outcomes.size(), 4u);
}

TEST_P(FaultFileSystem, ATornWriteStaysWithItsFile) {
    std::set<std::string> outcomes;
    for (uint32_t seed = 0; seed < 16; ++seed) {
        {
            auto f = Open("a", TDisposition::CreateNew);
            Put(*f, "old-bytes", 0);
            f->Sync();
        }
        fs.SyncDirectoryOf(dir.File("a"));
        fs.Remove(dir.File("a"));
        auto g = Open("a", TDisposition::CreateNew);
        Put(*g, "n", 0);
        fs.CrashAt(TFaultOp::Write, 1, TCrashMode::Tear, seed);
        EXPECT_THROW(Put(*g, "XXXX", 0), ESimulatedCrash);
        // The name keeps the new file, half written, or gets the old one
        // back untouched.
        const std::string got = Contents(dir.File("a"));
        EXPECT_TRUE(got == "old-bytes" || got == "XX") << got;
        outcomes.insert(got);
        fs.Reset();
        base.Remove(dir.File("a"));
    }
    EXPECT_EQ(outcomes.size(), 2u);
}

TEST_P(FaultFileSystem, FilesStillTakeTheShareLocks) {
    auto f = Open("a");
    TFileOptions wait;
    wait.lockWaitMs = 20;
    EXPECT_THROW(FileSystem().Open(dir.File("a"), TFileAccess::Read, TDisposition::OpenExisting,
                                   wait),
                 EFileLocked);
}

INSTANTIATE_TEST_SUITE_P(Bases, FaultFileSystem, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Memory" : "Real"; });

}  // namespace
}  // namespace tlvx
