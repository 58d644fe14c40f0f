// The rollback journal under simulated crashes at every write, sync and
// truncate, with the changes applied, dropped or torn.
#include <gtest/gtest.h>

#include <random>

#include "platform/fault_file_system.h"
#include "platform/test_temp_dir.h"
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
    EXPECT_FALSE(FileSystem().Exists(JournalPathOf(path)));
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
        for (TFaultOp op : {TFaultOp::Write, TFaultOp::Sync, TFaultOp::Truncate}) {
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

}  // namespace
}  // namespace tlvx
