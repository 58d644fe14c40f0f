// The rollback journal under simulated crashes at every write, sync and
// truncate, with the changes applied, dropped or torn.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "platform/testing/fault_file_system.h"
#include "platform/testing/temp_dir.h"
#include "store/journaled_file.h"

namespace tlvx {
namespace {

std::vector<uint8_t> Contents(const std::string& path) {
    auto f = FileSystem().Open(path, TFileAccess::Read, TDisposition::OpenExisting);
    std::vector<uint8_t> b(size_t(f->Size()));
    b.resize(f->ReadAt(b.data(), b.size(), 0));
    return b;
}

// One session: random overwrites, appends and a shrink, then the commit.
void Session(IFile& f, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int i = 0; i < 12; ++i) {
        const uint64_t size = f.Size();
        std::vector<uint8_t> bytes(1 + rng() % 5000, uint8_t(rng()));
        const uint64_t pos = rng() % (size + 3000);
        if (i == 6 && size > 3000) f.SetSize(size - 2500);
        else f.WriteAt(bytes.data(), bytes.size(), pos);
    }
    f.Sync();
}

std::unique_ptr<IFile> OpenJournaled(const std::string& path) {
    return std::make_unique<TJournaledFile>(
        FileSystem().Open(path, TFileAccess::ReadWrite, TDisposition::OpenAlways),
        JournalPathOf(path));
}

TEST(JournaledFile, ReadsSeeWritesAndShrinkThenGrowGivesZeros) {
    TTestTempDir dir;
    const std::string path = dir.File("db");
    auto f = OpenJournaled(path);
    f->WriteAt("abcdef", 6, 0);
    f->Sync();
    f->SetSize(2);
    f->WriteAt("z", 1, 5);
    char buf[6];
    ASSERT_EQ(f->ReadAt(buf, 6, 0), 6u);
    EXPECT_EQ(std::string(buf, 6), std::string("ab\0\0\0z", 6));
    f.reset();
    auto c = Contents(path);
    EXPECT_EQ(std::string(c.begin(), c.end()), std::string("ab\0\0\0z", 6));
}

const std::string kIdleJournal("TLVX-JOURNAL-0\0\0", 16);

std::string JournalText(const std::string& path) {
    auto bytes = Contents(JournalPathOf(path));
    return std::string(bytes.begin(), bytes.end());
}

// Small reads are served from cached pages, large ones from the file between
// changed pages: both must agree with a plain model of the bytes through
// writes, shrinks, regrowth and commits, and so must the file reopened.
TEST(JournaledFile, ReadsAgreeWithAModelThroughWritesShrinksAndCommits) {
    TTestTempDir dir;
    const std::string path = dir.File("db");
    std::vector<uint8_t> model;
    std::mt19937 rng(7);
    auto f = OpenJournaled(path);
    for (int step = 0; step < 3000; ++step) {
        const uint32_t op = rng() % 100;
        const size_t span = rng() % 3 == 0 ? 1 + rng() % 20000 : 1 + rng() % 300;
        const uint64_t pos = rng() % (model.size() + 5000);
        if (op < 40) {
            std::vector<uint8_t> bytes(span);
            for (auto& b : bytes) b = uint8_t(rng());
            f->WriteAt(bytes.data(), bytes.size(), pos);
            if (model.size() < pos + span) model.resize(pos + span, 0);
            std::copy(bytes.begin(), bytes.end(), model.begin() + std::ptrdiff_t(pos));
        } else if (op < 90) {
            std::vector<uint8_t> got(span, 0xEE);
            const size_t n = f->ReadAt(got.data(), span, pos);
            const size_t want = pos >= model.size() ? 0 : std::min<size_t>(span, model.size() - pos);
            ASSERT_EQ(want, n) << "step " << step;
            ASSERT_TRUE(std::equal(got.begin(), got.begin() + std::ptrdiff_t(n),
                                   model.begin() + std::ptrdiff_t(pos)))
                << "step " << step;
        } else if (op < 96) {
            const uint64_t size = op % 2 ? model.size() / 2 + rng() % 100 : model.size() + rng() % 9000;
            f->SetSize(size);
            model.resize(size, 0);
        } else {
            f->Sync();
        }
        ASSERT_EQ(model.size(), f->Size());
    }
    f.reset();
    EXPECT_EQ(model, Contents(path));
}

TEST(JournaledFile, CrashAtEveryPointLeavesBeforeOrAfter) {
    TTestTempDir dir;
    const std::string path = dir.File("db");
    TFaultFileSystem fs;
    SetFileSystem(&fs);
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        // The state before: an empty file, then the result of earlier sessions.
        std::vector<uint8_t> before, after;
        {
            auto f = OpenJournaled(path);
            f.reset();
            before = Contents(path);
            fs.Reset();
            auto g = OpenJournaled(path);
            Session(*g, seed);
            g.reset();
            after = Contents(path);
            // Back to the state before for the crash runs.
            auto h = FileSystem().Open(path, TFileAccess::ReadWrite, TDisposition::OpenAlways);
            h->WriteAt(before.data(), before.size(), 0);
            h->SetSize(before.size());
            h->Sync();
        }
        for (TFaultOp op : {TFaultOp::Write, TFaultOp::Sync, TFaultOp::Truncate,
                            TFaultOp::DirectorySync}) {
            fs.Reset();
            {
                auto g = OpenJournaled(path);
                Session(*g, seed);
            }
            const uint64_t points = fs.Count(op);
            {
                // Undo the clean run.
                fs.Reset();
                auto h = FileSystem().Open(path, TFileAccess::ReadWrite, TDisposition::OpenAlways);
                h->WriteAt(before.data(), before.size(), 0);
                h->SetSize(before.size());
                h->Sync();
            }
            for (uint64_t n = 1; n <= points; ++n) {
                for (TCrashMode mode : {TCrashMode::Apply, TCrashMode::Drop, TCrashMode::Tear}) {
                    fs.Reset();
                    fs.CrashAt(op, n, mode, uint32_t(n));
                    try {
                        auto g = OpenJournaled(path);
                        Session(*g, seed);
                    } catch (const ESimulatedCrash&) {
                    }
                    fs.Reset();
                    OpenJournaled(path).reset();  // recovery
                    const auto got = Contents(path);
                    ASSERT_TRUE(got == before || got == after)
                        << "seed " << seed << " op " << int(op) << " point " << n << " mode "
                        << int(mode);
                    // Put the state before back for the next point.
                    auto h = FileSystem().Open(path, TFileAccess::ReadWrite, TDisposition::OpenAlways);
                    h->WriteAt(before.data(), before.size(), 0);
                    h->SetSize(before.size());
                    h->Sync();
                }
            }
        }
        // The next seed starts from this seed's result.
        fs.Reset();
        auto h = FileSystem().Open(path, TFileAccess::ReadWrite, TDisposition::OpenAlways);
        h->WriteAt(after.data(), after.size(), 0);
        h->SetSize(after.size());
        h->Sync();
    }
    fs.Reset();
    SetFileSystem(nullptr);
}

TEST(JournaledFile, SyncsPerCommitAndTheJournalStaysIdleForTheNextSession) {
    TTestTempDir dir;
    const std::string path = dir.File("db");
    {
        std::vector<uint8_t> bytes(10000, 7);
        auto inner = FileSystem().Open(path, TFileAccess::ReadWrite, TDisposition::OpenAlways);
        inner->WriteAt(bytes.data(), bytes.size(), 0);
        inner->Sync();
    }
    auto session = [&] {
        return std::make_unique<TJournaledFile>(
            FileSystem().Open(path, TFileAccess::ReadWrite, TDisposition::OpenAlways), JournalPathOf(path));
    };
    {
        auto f = session();
        f->Sync();
        EXPECT_EQ(f->SyncCount(), 0u);  // nothing to commit
        std::vector<uint8_t> same(300, 7);
        f->WriteAt(same.data(), same.size(), 4000);
        f->Sync();
        EXPECT_EQ(f->SyncCount(), 0u);  // written back as it was
        EXPECT_FALSE(FileSystem().Exists(JournalPathOf(path)));
        f->WriteAt("one", 3, 5000);
        f->Sync();
        // Journal, its new directory entry, the file.
        EXPECT_EQ(f->SyncCount(), 3u);
        EXPECT_EQ(kIdleJournal, JournalText(path));
        f->WriteAt("two", 3, 100);
        f->Sync();
        // The journal of this session is listed already.
        EXPECT_EQ(f->SyncCount(), 5u);
    }
    EXPECT_EQ(kIdleJournal, JournalText(path));
    {
        // A later session takes the idle journal as it is: two syncs a commit.
        auto f = session();
        f->WriteAt("three", 5, 9000);
        f->Sync();
        EXPECT_EQ(f->SyncCount(), 2u);
    }
    EXPECT_EQ(kIdleJournal, JournalText(path));
    {
        // An empty journal (its maker died before writing it) may not be
        // listed yet: it is made anew, and its entry synced.
        FileSystem().Open(JournalPathOf(path), TFileAccess::ReadWrite, TDisposition::CreateAlways);
        auto f = session();
        f->WriteAt("four", 4, 9500);
        f->Sync();
        EXPECT_EQ(f->SyncCount(), 3u);
    }
    auto c = Contents(path);
    EXPECT_EQ(std::string(c.begin() + 5000, c.begin() + 5003), "one");
    EXPECT_EQ(std::string(c.begin() + 100, c.begin() + 103), "two");
    EXPECT_EQ(std::string(c.begin() + 9000, c.begin() + 9005), "three");
    EXPECT_EQ(std::string(c.begin() + 9500, c.begin() + 9504), "four");
    EXPECT_FALSE(HasLeftoverJournal(path));
}

// The state a crash can leave when the emptying of the journal did not reach
// the disk (or the file's sync failed after all its writes got through): a
// complete journal beside a file that holds the whole commit. The open must
// keep the commit; once any committed page differs, it must undo it.
TEST(JournaledFile, JournalOutlivingItsCommitKeepsTheCommit) {
    TTestTempDir dir;
    const std::string path = dir.File("db");
    const std::string journal = JournalPathOf(path);
    TFaultFileSystem fs;
    SetFileSystem(&fs);
    std::vector<uint8_t> before, after, leftJournal;
    {
        auto f = OpenJournaled(path);
        Session(*f, 5);
    }
    before = Contents(path);
    fs.Reset();
    {
        auto f = OpenJournaled(path);
        Session(*f, 6);
    }
    after = Contents(path);
    ASSERT_NE(before, after);
    for (int damage = 0; damage < 2; ++damage) {
        SCOPED_TRACE(damage);
        fs.Reset();
        {
            auto h = FileSystem().Open(path, TFileAccess::ReadWrite, TDisposition::OpenAlways);
            h->WriteAt(before.data(), before.size(), 0);
            h->SetSize(before.size());
            h->Sync();
        }
        fs.Reset();
        {
            // The journal's sync is the first, the file's the second.
            auto f = OpenJournaled(path);
            fs.FailAt(TFaultOp::Sync, 2);
            EXPECT_THROW(Session(*f, 6), EPlatformError);
            // A failed commit is not retried over a file it half changed.
            EXPECT_THROW(f->Sync(), EPlatformError);
        }
        fs.Reset();
        ASSERT_TRUE(FileSystem().Exists(journal));
        ASSERT_GT(Contents(journal).size(), 0u);
        ASSERT_EQ(Contents(path), after);
        if (damage) {
            auto h = FileSystem().Open(path, TFileAccess::ReadWrite, TDisposition::OpenExisting);
            std::vector<uint8_t> b = after;
            // Some byte the commit wrote.
            size_t at = 0;
            while (at < b.size() && (at >= before.size() || b[at] == before[at])) ++at;
            ASSERT_LT(at, b.size());
            uint8_t x = uint8_t(b[at] ^ 0x5A);
            h->WriteAt(&x, 1, at);
            h->Sync();
        }
        OpenJournaled(path).reset();  // recovery
        EXPECT_FALSE(FileSystem().Exists(journal));
        EXPECT_EQ(Contents(path), damage ? before : after);
    }
    fs.Reset();
    SetFileSystem(nullptr);
}

// A writer killed after writing its commit but before syncing it leaves a
// commit that looks complete, through the page cache only. Both roads that
// deal with its journal (a writer's open, a reader's repair) keep the commit
// and must sync the database before the journal goes: when that sync fails
// the journal stays, and a power loss after the repair finds the commit on
// disk.
TEST(JournaledFile, CompleteLookingCommitIsSyncedBeforeItsJournalGoes) {
    TTestTempDir dir;
    const std::string path = dir.File("db");
    const std::string journal = JournalPathOf(path);
    TFaultFileSystem fs;
    SetFileSystem(&fs);
    {
        auto f = OpenJournaled(path);
        Session(*f, 5);
    }
    const std::vector<uint8_t> before = Contents(path);
    const std::function<void()> roads[] = {[&] { OpenJournaled(path).reset(); },
                                           [&] { RecoverDatabase(path, 0); }};
    for (const auto& road : roads) {
        fs.Reset();
        {
            auto h = FileSystem().Open(path, TFileAccess::ReadWrite, TDisposition::OpenAlways);
            h->WriteAt(before.data(), before.size(), 0);
            h->SetSize(before.size());
        }
        fs.Reset();
        {
            // The journal's sync is the first, the database's the second.
            auto f = OpenJournaled(path);
            fs.CrashAt(TFaultOp::Sync, 2, TCrashMode::Kill);
            EXPECT_THROW(Session(*f, 6), ESimulatedCrash);
        }
        fs.Restart();
        const std::vector<uint8_t> after = Contents(path);
        ASSERT_NE(after, before);
        ASSERT_GT(Contents(journal).size(), 0u);

        fs.FailAt(TFaultOp::Sync, 1);
        EXPECT_THROW(road(), EPlatformError);
        EXPECT_TRUE(FileSystem().Exists(journal));

        road();
        EXPECT_FALSE(FileSystem().Exists(journal));
        fs.Crash(TCrashMode::Drop);
        fs.Reset();
        EXPECT_FALSE(FileSystem().Exists(journal));
        EXPECT_TRUE(Contents(path) == after);
    }
    fs.Reset();
    SetFileSystem(nullptr);
}

}  // namespace
}  // namespace tlvx
