// Crashes simulated over an in-memory disk: the fault file system wraps the
// memory file system as it wraps the real one, and the file storage's commit
// survives every crash point there too.
#include <gtest/gtest.h>

#include <set>

#include "platform/testing/fault_file_system.h"
#include "store/journaled_file.h"
#include "store/testing/memory_volumes.h"

namespace tlvx {
namespace {

// Runs one process that commits "new" into the root atom.
void CommitNew(test::TMemoryVolumes& volumes) {
    auto s = volumes.Open(false);
    auto t = s->StartTransaction();
    t->OpenRootAtom()->SetAsString("new");
    t->Commit();
}

TEST(MemoryDiskCrash, EveryCrashPointOfACommitLeavesTheOldOrTheNewRoot) {
    test::TMemoryVolumes volumes;
    volumes.Create()->OpenRootAtom()->SetAsString("old");
    const std::string journal = JournalPathOf(ExpandFileName(test::TMemoryVolumes::kName));
    const std::string database = volumes.Bytes();
    const bool hadJournal = volumes.Files().Exists(journal);
    const std::string journalBytes = volumes.Bytes(journal);
    auto restore = [&] {
        volumes.Files().SetContents(test::TMemoryVolumes::kName, database);
        if (hadJournal) volumes.Files().SetContents(journal, journalBytes);
        else volumes.Files().Remove(journal);
    };

    TFaultFileSystem fs(volumes.Files());
    SetFileSystem(&fs);
    CommitNew(volumes);
    uint64_t points[kFaultOpKinds];
    for (int op = 0; op < kFaultOpKinds; ++op) points[op] = fs.Count(TFaultOp(op));
    ASSERT_GT(points[int(TFaultOp::Sync)], 0u);

    int crashes = 0;
    std::set<std::string> outcomes;
    for (TCrashMode mode : {TCrashMode::Kill, TCrashMode::Drop, TCrashMode::Tear}) {
        for (int op = 0; op < kFaultOpKinds; ++op) {
            for (uint64_t n = 1; n <= points[op]; ++n) {
                SCOPED_TRACE(testing::Message() << "mode " << int(mode) << " op " << op << " #" << n);
                restore();
                fs.Reset();
                fs.CrashAt(TFaultOp(op), n, mode, uint32_t(n * 5 + op));
                try {
                    CommitNew(volumes);
                } catch (const ESimulatedCrash&) {
                }
                ASSERT_TRUE(fs.Crashed());
                ++crashes;
                fs.Restart();
                const std::string root = volumes.Open(true)->OpenRootAtom()->GetAsString();
                EXPECT_TRUE(root == "old" || root == "new") << root;
                outcomes.insert(root);
            }
        }
    }
    EXPECT_GT(crashes, 10);
    EXPECT_EQ(outcomes.size(), 2u) << "crashes before and after the commit point";
    // The volumes put back the file system they found when they end.
}

}  // namespace
}  // namespace tlvx
