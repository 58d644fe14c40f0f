#include "platform/testing/crash_matrix.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "platform/testing/temp_dir.h"

namespace tlvx {
namespace {

void Put(IFile& f, const std::string& text, uint64_t pos) { f.WriteAt(text.data(), text.size(), pos); }

std::string Contents(const std::string& path) {
    if (!RealFileSystem().Exists(path)) return "(none)";
    auto f = RealFileSystem().Open(path, TFileAccess::Read, TDisposition::OpenExisting);
    std::string s(f->Size(), '\0');
    s.resize(f->ReadAt(s.data(), s.size(), 0));
    return s;
}

// Two small processes over one file: the first writes "A" twice and syncs;
// the next copies what it sees into a second file before syncing either.
class CrashMatrixTest : public ::testing::Test {
protected:
    void SetUp() override {
        matrix.restore = [&] {
            RealFileSystem().Remove(a);
            RealFileSystem().Remove(b);
        };
        matrix.first = [&] {
            auto f = FileSystem().Open(a, TFileAccess::ReadWrite, TDisposition::CreateAlways);
            FileSystem().SyncDirectoryOf(a);
            Put(*f, "A", 0);
            Put(*f, "A", 1);
            f->Sync();
        };
    }

    TTestTempDir dir{CrashMatrixScratchBase()};
    std::string a = dir.File("a"), b = dir.File("b");
    TFaultFileSystem fs;
    TCrashMatrix matrix{fs};
};

TEST_F(CrashMatrixTest, TriesEveryKillPointThenEveryLossPoint) {
    // The next process: 2 writes, 2 syncs, 1 directory sync.
    matrix.AddNext("copier", [&] {
        auto f = FileSystem().Open(a, TFileAccess::ReadWrite, TDisposition::OpenExisting);
        std::string seen(2, '\0');
        seen.resize(f->ReadAt(seen.data(), 2, 0));
        auto g = FileSystem().Open(b, TFileAccess::ReadWrite, TDisposition::CreateAlways);
        Put(*g, seen, 0);
        Put(*g, "!", seen.size());
        g->Sync();
        f->Sync();
        FileSystem().SyncDirectoryOf(b);
    });
    std::set<std::tuple<int, uint64_t, int, uint64_t, int>> cases;
    matrix.check = [&](const TCrashCase& c) {
        cases.insert({int(c.killOp), c.killAt, int(c.op), c.at, int(c.mode)});
        EXPECT_TRUE(c.nextEnded == (c.at == 0)) << c.Describe();
        EXPECT_EQ(c.nextError, "");
        return true;
    };
    const TCrashMatrix::TStats stats = matrix.Run();
    EXPECT_FALSE(stats.stopped);
    EXPECT_EQ(stats.killPoints, 4u);  // 2 writes, 1 sync, 1 directory sync
    // After each kill: the end (drop, tear); drops at 2 syncs and 1
    // directory sync; tears at 2 writes, 2 syncs, 1 directory sync.
    EXPECT_EQ(stats.cases, 4u * (2 + 3 + 5));
    EXPECT_EQ(cases.size(), stats.cases);
}

// The next process that takes the dead one's unsynced bytes for durable ones
// is caught: a power loss drops them from the first file after the copy had
// made them durable in the second.
TEST_F(CrashMatrixTest, ReportsACaseThatBreaksAndStops) {
    matrix.AddNext("careless copier", [&] {
        auto f = FileSystem().Open(a, TFileAccess::Read, TDisposition::OpenExisting);
        std::string seen(2, '\0');
        seen.resize(f->ReadAt(seen.data(), 2, 0));
        auto g = FileSystem().Open(b, TFileAccess::ReadWrite, TDisposition::CreateAlways);
        Put(*g, seen, 0);
        g->Sync();
        FileSystem().SyncDirectoryOf(b);
    });
    std::string broken;
    matrix.check = [&](const TCrashCase& c) {
        const std::string inA = Contents(a), inB = Contents(b);
        if (inB == "(none)" || inA.substr(0, inB.size()) == inB) return true;
        broken = c.Describe() + ": a=" + inA + " b=" + inB;
        return false;
    };
    const TCrashMatrix::TStats stats = matrix.Run();
    EXPECT_TRUE(stats.stopped);
    EXPECT_EQ(broken.rfind("killed at write 2, then careless copier, power drop", 0), 0u) << broken;
}

TEST_F(CrashMatrixTest, ALimitOfPointsStillReachesEachAcrossTheKills) {
    // 10 writes in the next process, at most 4 tried after each kill.
    matrix.AddNext("writer", [&] {
        auto g = FileSystem().Open(b, TFileAccess::ReadWrite, TDisposition::CreateAlways);
        for (int i = 0; i < 10; ++i) Put(*g, "x", uint64_t(i));
    });
    matrix.maxPointsPerKind = 4;
    std::map<uint64_t, int> perKill;
    std::set<uint64_t> reached;
    matrix.check = [&](const TCrashCase& c) {
        if (c.op == TFaultOp::Write && c.at != 0) {
            ++perKill[uint64_t(c.killOp) * 100 + c.killAt];
            reached.insert(c.at);
        }
        return true;
    };
    EXPECT_FALSE(matrix.Run().stopped);
    for (auto [kill, n] : perKill) EXPECT_LE(n, 4) << kill;
    EXPECT_EQ(reached.size(), 10u);
}

}  // namespace
}  // namespace tlvx
