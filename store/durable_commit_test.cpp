// What a durable commit of the atom store leaves for closing to do: nothing.
// The modification stamp goes to disk with the commit, so a store closed
// right after its commit is not written or synced again.
#include <gtest/gtest.h>

#include "platform/testing/fault_file_system.h"
#include "store/journaled_file.h"
#include "store/orv_base_open.h"
#include "store/testing/store_env.h"

namespace tlvx {
namespace {

using test::kClassA;

uint32_t GetU32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

TEST(DurableCommit, StampGoesWithTheCommitAndCloseWritesNothing) {
    test::TStoreTestEnv env;
    const std::string path = env.dir.File("s.orv");
    OpenOrvBase(path, false, {kClassA}, omOpenOrCreate).reset();
    TFaultFileSystem fs;
    SetFileSystem(&fs);
    {
        auto b = OpenOrvBase(path, false, {kClassA}, omOpen);
        env.clock.now = EncodeDateTime(2027, 3, 4, 5, 6, 7);
        uint32_t tr = b->StartTransaction(0);
        Ref<TAtom> a = b->CreateAtom(tr, 15);
        a->Write(0, "hit", 3);
        a->AddExternalRefs(1);
        a->Close();
        b->Commit(tr);
        // The journal and the file: the idle journal left by the creation
        // is reused, its directory entry synced back then.
        EXPECT_EQ(JournalSyncCount(*b), 2u);
        const auto committed = test::ReadFileBytes(path);
        // The stamp (seconds of the day, day number) is on disk already.
        EXPECT_EQ(GetU32(committed, 72), 5u * 3600 + 6 * 60 + 7);
        EXPECT_EQ(GetU32(committed, 76), uint32_t(EncodeDateTime(2027, 3, 4, 0, 0, 0)));
        const uint64_t writes = fs.Count(TFaultOp::Write), syncs = fs.Count(TFaultOp::Sync);
        env.clock.now = EncodeDateTime(2027, 3, 4, 9, 0, 0);
        b.reset();
        EXPECT_EQ(fs.Count(TFaultOp::Write), writes);
        EXPECT_EQ(fs.Count(TFaultOp::Sync), syncs);
        EXPECT_EQ(test::ReadFileBytes(path), committed);
    }
    EXPECT_FALSE(HasLeftoverJournal(path));
    {
        // Changes after the last commit still get committed, stamp and all,
        // when the store closes.
        auto b = OpenOrvBase(path, false, {kClassA}, omOpen);
        Ref<TAtom> a = b->OpenAtom(0, 3, 15);
        a->Write(0, "HIT", 3);
        a->Close();
        b.reset();
        const auto closed = test::ReadFileBytes(path);
        EXPECT_EQ(GetU32(closed, 72), 9u * 3600);
        auto c = OpenOrvBase(path, false, {kClassA}, omReadOnly);
        Ref<TAtom> r = c->OpenAtom(0, 3, 1);
        char got[3];
        r->Read(0, got, 3);
        EXPECT_EQ(std::string(got, 3), "HIT");
    }
    fs.Reset();
    SetFileSystem(nullptr);
}

}  // namespace
}  // namespace tlvx
