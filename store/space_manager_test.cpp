#include "store/space_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "platform/byte_codec.h"
#include "platform/testing/fault_file_system.h"
#include "store/crc32.h"
#include "store/errors.h"
#include "store/journaled_file.h"
#include "store/orv_file.h"
#include "store/testing/store_env.h"

namespace tlvx {
namespace {

using test::kClassA;
using test::ReadFileBytes;
using test::WriteFileBytes;

using THoleRow = std::tuple<uint64_t, uint32_t, int32_t>;  // position, size, slot

uint64_t RoundToPage(uint64_t n) { return (n + 4095) / 4096 * 4096; }
uint64_t TableBytes(uint32_t capacity) { return 16 + 16ull * capacity; }

class SpaceManagerTest : public ::testing::Test {
protected:
    // Modes: omReadOnly, omOpen (existing, read/write), omCreate.
    // windowSlots: how many of the newest hole slots a writable open reads
    // (0 the default, TSpaceManager::kAllSlots every one).
    void Open(TOpenMode mode = omCreate, bool writeThrough = false, int32_t windowSlots = 0) {
        file_.reset();
        if (mode == omCreate) std::filesystem::remove(path_);
        TOrvFileOptions options;
        options.holeWindowSlots = windowSlots;
        file_ = std::make_unique<TOrvFile>(path_, writeThrough, std::vector<TGUID>{kClassA}, mode,
                                           options);
    }
    void Close() { file_.reset(); }
    TSpaceManager& Mgr() { return *dynamic_cast<TSpaceManager*>(file_->SpaceAllocator()); }
    uint64_t Alloc(uint32_t size) { return file_->SpaceAllocator()->Alloc(size); }
    void Free(uint32_t size, uint64_t position) { file_->SpaceAllocator()->Free(size, position); }
    std::vector<THoleRow> HoleRows() {
        std::vector<THoleRow> rows;
        Mgr().Holes().ForEach([&](const THole& h) { rows.emplace_back(h.position, h.size, h.slot); });
        return rows;
    }
    // The 16 bytes of a slot as they are on disk.
    std::vector<uint8_t> SlotBytes(uint64_t tablePos, uint32_t index) {
        auto bytes = ReadFileBytes(path_);
        auto at = bytes.begin() + static_cast<long>(tablePos + 16 + 16 * index);
        return {at, at + 16};
    }
    // Opens the file and returns the code of the error raised (0 if none).
    int32_t OpenCode(TOpenMode mode = omOpen) {
        try {
            Open(mode);
        } catch (const EQmzError& e) {
            return e.ErrorCode();
        }
        return 0;
    }
    // Makes a file whose table 0 sits at 148: a free 10-byte hole at 128 in
    // slot 0 and a used range at 138; the logical size is 4260.
    void MakeFileWithTable() {
        Open();
        ASSERT_EQ(Alloc(10), 128u);
        ASSERT_EQ(Alloc(10), 138u);
        Free(10, 128);
        ASSERT_EQ(Mgr().Tables().at(0).position, 148u);
        ASSERT_EQ(file_->LogicalSize(), 148 + TableBytes(256));
    }

    // Every range in use lies inside the file, outside every hole and table.
    void ExpectNothingInUseIsFree(const std::map<uint64_t, uint32_t>& used) {
        for (auto& [p, s] : used) {
            EXPECT_FALSE(Mgr().Holes().Overlaps(p, s)) << p;
            EXPECT_LE(p + s, file_->LogicalSize());
            for (auto& t : Mgr().Tables())
                EXPECT_TRUE(p + s <= t.position || t.position + TableBytes(t.capacity) <= p);
        }
    }
    // Runs a session that the fault layer may stop, then reopens the file
    // reading every slot, as the next process after a crash does. Returns
    // whether the session was stopped.
    bool RunAndReopen(TFaultFileSystem& faults, const std::function<void()>& session) {
        bool crashed = false;
        try {
            session();
        } catch (const ESimulatedCrash&) {
            crashed = true;
        }
        crashed = crashed || faults.Crashed();
        faults.Reset();
        file_.reset();
        Open(omOpen, false, TSpaceManager::kAllSlots);
        return crashed;
    }
    // The fault-injecting file system for the time of a test.
    struct TFaultScope {
        TFaultFileSystem faults;
        TFaultScope() { SetFileSystem(&faults); }
        ~TFaultScope() { SetFileSystem(nullptr); }
    };

    test::TStoreTestEnv env_;
    std::string path_ = env_.dir.File("space.orv");
    std::unique_ptr<TOrvFile> file_;
};

TEST_F(SpaceManagerTest, FirstHoleMakesTableZeroAtTheEndOfTheFile) {
    Open();
    EXPECT_TRUE(Mgr().Tables().empty());
    EXPECT_EQ(Alloc(100), 128u);
    EXPECT_EQ(Alloc(100), 228u);
    EXPECT_EQ(file_->LogicalSize(), 328u);
    Free(100, 128);
    ASSERT_EQ(Mgr().Tables().size(), 1u);
    EXPECT_EQ(Mgr().Tables()[0].position, 328u);
    EXPECT_EQ(Mgr().TotalCapacity(), 256);
    EXPECT_EQ(file_->LogicalSize(), 328u + 4112u);
    EXPECT_EQ(file_->PhysicalSize(), 8192u);
    EXPECT_EQ(file_->Header().holeTablePos, 328u);
    EXPECT_EQ(HoleRows(), (std::vector<THoleRow>{{128, 100, 0}}));
    Close();
    auto bytes = ReadFileBytes(path_);
    EXPECT_EQ(GetU64(&bytes[16]), 328u);
    EXPECT_EQ(GetU64(&bytes[328]), 0u);
    EXPECT_EQ(GetU32(&bytes[336]), 256u);
    EXPECT_EQ(GetU32(&bytes[340]), 0u);
    const uint8_t* e = &bytes[344];
    EXPECT_EQ(GetU64(e + 4), 128u);
    EXPECT_EQ(GetU32(e + 12), 100u);
    EXPECT_EQ(GetU32(e), Crc32(e + 4, 12));
    EXPECT_TRUE(std::all_of(bytes.begin() + 360, bytes.begin() + 328 + 4112,
                            [](uint8_t b) { return b == 0; }));
    Open(omOpen);
    EXPECT_EQ(HoleRows(), (std::vector<THoleRow>{{128, 100, 0}}));
    EXPECT_EQ(Mgr().ScanMark(), 1);
}

TEST_F(SpaceManagerTest, BestFitCutsFromTheFrontAndTakesTheOldestOfEqualSizes) {
    MakeFileWithTable();
    // Guards of 11 bytes keep the ranges apart without using the 10-byte hole.
    const uint64_t p = Alloc(300);
    Alloc(11);
    const uint64_t a = Alloc(100);
    Alloc(11);
    const uint64_t b = Alloc(100);
    Alloc(11);
    Free(300, p);
    EXPECT_EQ(Alloc(100), p);
    EXPECT_EQ(HoleRows()[1], (THoleRow{p + 100, 200, 1}));
    // b is recorded before a although a lies lower.
    Free(100, b);
    Free(100, a);
    EXPECT_EQ(Alloc(100), b);
    EXPECT_EQ(Alloc(100), a);
    // Exact fit beats the older larger hole.
    EXPECT_EQ(Alloc(10), 128u);
}

TEST_F(SpaceManagerTest, FreeingAtTheEndShortensTheFile) {
    Open();
    Alloc(100);
    const uint64_t big = Alloc(9000);
    EXPECT_EQ(file_->PhysicalSize(), RoundToPage(9228));
    Free(9000, big);
    EXPECT_EQ(file_->LogicalSize(), 228u);
    EXPECT_EQ(file_->PhysicalSize(), 4096u);
    EXPECT_TRUE(Mgr().Tables().empty());
    Close();

    // A hole that ends the used area goes with the freed range.
    MakeFileWithTable();
    const uint64_t a = Alloc(100);
    const uint64_t b = Alloc(5000);
    Free(100, a);
    Free(5000, b);
    EXPECT_EQ(file_->LogicalSize(), a);
    EXPECT_EQ(file_->PhysicalSize(), RoundToPage(a));
    EXPECT_EQ(HoleRows(), (std::vector<THoleRow>{{128, 10, 0}}));
    EXPECT_EQ(SlotBytes(148, 1), std::vector<uint8_t>(16, 0));
    Open(omOpen);
    EXPECT_EQ(file_->LogicalSize(), a);
    EXPECT_EQ(HoleRows(), (std::vector<THoleRow>{{128, 10, 0}}));
}

TEST_F(SpaceManagerTest, FreeingBetweenTwoHolesKeepsTheLowerSlot) {
    MakeFileWithTable();
    const uint64_t a = Alloc(50), b = Alloc(60), c = Alloc(70);
    Alloc(11);
    const uint64_t d = Alloc(15);
    Alloc(11);
    const uint64_t e = Alloc(15);
    Alloc(11);
    Free(70, c);  // slot 1
    Free(50, a);  // slot 2
    Free(60, b);
    EXPECT_EQ(HoleRows(), (std::vector<THoleRow>{{128, 10, 0}, {a, 180, 2}}));
    EXPECT_EQ(SlotBytes(148, 1), std::vector<uint8_t>(16, 0));
    // The emptied slot is the next one used.
    Free(15, d);
    EXPECT_EQ(std::get<2>(HoleRows().back()), 1);
    Free(15, e);
    EXPECT_EQ(std::get<2>(HoleRows().back()), 3);
}

TEST_F(SpaceManagerTest, WriteThroughRoundsGrowthAndRecordsTheSlack) {
    Open();
    ASSERT_EQ(Alloc(4072), 128u);
    EXPECT_EQ(Alloc(100), 4200u);
    EXPECT_EQ(file_->LogicalSize(), 4300u);
    EXPECT_TRUE(Mgr().Holes().Count() == 0);
    Free(100, 4200);

    // Without a hole table the slack's own table follows the rounded end.
    Open(omOpen, true);
    EXPECT_EQ(Alloc(100), 4200u);
    EXPECT_EQ(HoleRows(), (std::vector<THoleRow>{{4300, 3892, 0}}));
    EXPECT_EQ(Mgr().Tables().at(0).position, 8192u);
    EXPECT_EQ(file_->LogicalSize(), 8192u + 4112u);
    Close();

    // With a free slot the logical size is the rounded one.
    MakeFileWithTable();
    ASSERT_EQ(Alloc(4036), 4260u);
    Open(omOpen, true);
    EXPECT_EQ(Alloc(100), 8296u);
    EXPECT_EQ(file_->LogicalSize(), 12288u);
    EXPECT_EQ(HoleRows().back(), (THoleRow{8396, 3892, 1}));
    // Hole tables themselves are never rounded.
    EXPECT_EQ(file_->PhysicalSize(), 12288u);
}

TEST_F(SpaceManagerTest, HoleTwoHundredFiftySevenMakesALinkedTableOf512) {
    Open();
    std::vector<uint64_t> ranges;
    for (int i = 0; i < 257; ++i) {
        ranges.push_back(Alloc(10));
        Alloc(1);
    }
    for (uint64_t p : ranges) Free(10, p);
    ASSERT_EQ(Mgr().Tables().size(), 2u);
    const auto t0 = Mgr().Tables()[0], t1 = Mgr().Tables()[1];
    EXPECT_EQ(t1.capacity, 512u);
    EXPECT_EQ(t1.firstSlot, 256);
    EXPECT_EQ(t0.next, t1.position);
    EXPECT_EQ(t1.position, t0.position + TableBytes(256));
    EXPECT_EQ(file_->LogicalSize(), t1.position + TableBytes(512));
    EXPECT_EQ(std::get<2>(HoleRows().back()), 256);
    const auto before = HoleRows();
    Close();
    auto bytes = ReadFileBytes(path_);
    EXPECT_EQ(GetU64(&bytes[t0.position]), t1.position);
    EXPECT_EQ(GetU32(&bytes[t1.position + 8]), 512u);
    Open(omOpen);
    EXPECT_EQ(HoleRows(), before);
    EXPECT_EQ(Mgr().TotalCapacity(), 768);

    // A read-only open follows the chain but loads no hole.
    Open(omReadOnly);
    EXPECT_EQ(Mgr().Tables().size(), 2u);
    EXPECT_EQ(Mgr().Holes().Count(), 0);
    try {
        Alloc(10);
        ADD_FAILURE() << "allocation on a read-only file";
    } catch (const EQmzError& e) {
        EXPECT_EQ(e.ErrorCode(), ecAccessDenied);
    }
}

TEST_F(SpaceManagerTest, DamagedChainFailsTheOpen) {
    MakeFileWithTable();
    Close();
    const auto good = ReadFileBytes(path_);
    auto patched = [&](size_t at, uint64_t v, bool wide) {
        auto b = good;
        ASSERT_GE(b.size(), at + 8);
        uint8_t* field = b.data() + at;
        wide ? PutU64(field, v) : PutU32(field, static_cast<uint32_t>(v));
        WriteFileBytes(path_, b);
    };
    patched(148, 1u << 20, true);  // next table past the end
    EXPECT_EQ(OpenCode(), ecFileDamaged);
    patched(148, 148, true);  // loop back onto itself
    EXPECT_EQ(OpenCode(), ecFileDamaged);
    EXPECT_EQ(OpenCode(omReadOnly), ecFileDamaged);
    patched(156, 512, false);  // wrong capacity
    EXPECT_EQ(OpenCode(), ecFileDamaged);
    WriteFileBytes(path_, good);
    EXPECT_EQ(OpenCode(), 0);
}

TEST_F(SpaceManagerTest, DamagedEntriesAreSkippedAndTheirSlotsReused) {
    MakeFileWithTable();
    const uint64_t a = Alloc(20);
    Alloc(11);
    const uint64_t c = Alloc(30);
    Alloc(11);
    Free(20, a);  // slot 1
    Free(30, c);  // slot 2
    Close();
    auto bytes = ReadFileBytes(path_);
    auto forge = [&](uint32_t slot, uint64_t position, uint32_t size) {
        uint8_t* e = &bytes[164 + 16 * slot];
        PutU64(e + 4, position);
        PutU32(e + 12, size);
        PutU32(e, Crc32(e + 4, 12));
    };
    bytes[164 + 5] ^= 0x40;      // slot 0: CRC no longer matches
    forge(1, 1ull << 40, 20);    // outside the file
    forge(3, c + 5, 10);         // inside the hole of slot 2
    forge(4, 200, 16);           // inside table 0
    WriteFileBytes(path_, bytes);
    Open(omOpen);
    EXPECT_EQ(HoleRows(), (std::vector<THoleRow>{{c, 30, 2}}));
    EXPECT_EQ(Mgr().ScanMark(), 0);
    // Once the hole is in use, the entry that overlapped it must not come
    // back as a hole at the next open.
    EXPECT_EQ(Alloc(30), c);
    Open(omOpen);
    EXPECT_EQ(Mgr().Holes().Count(), 0);
    // Nothing is handed out from damaged entries; their slots are reused.
    std::vector<uint64_t> fresh;
    for (int i = 0; i < 4; ++i) {
        fresh.push_back(Alloc(40));
        Alloc(11);
    }
    for (uint64_t p : fresh) Free(40, p);
    std::vector<THoleRow> expected;
    for (int32_t i = 0; i < 4; ++i) expected.emplace_back(fresh[i], 40, i);
    EXPECT_EQ(HoleRows(), expected);
    Open(omOpen);
    EXPECT_EQ(HoleRows(), expected);
}

// Stopping after any write or truncate (all earlier ones on disk) leaves a
// file that opens and whose holes and tables never cover space in use.
TEST_F(SpaceManagerTest, ACrashAtAnyWriteNeverFreesSpaceInUse) {
    // Three holes short of a full table 0 before the scenario starts.
    MakeFileWithTable();
    std::map<uint64_t, uint32_t> before{{138, 10}};
    auto setupTake = [&](uint32_t s) {
        const uint64_t p = Alloc(s);
        before[p] = s;
        return p;
    };
    std::vector<uint64_t> r, small;
    for (int i = 0; i < 6; ++i) r.push_back(setupTake(100));
    for (int i = 0; i < 262; ++i) {
        small.push_back(setupTake(8));
        setupTake(13);
    }
    auto setupRelease = [&](uint64_t p) {
        Free(before.at(p), p);
        before.erase(p);
    };
    setupRelease(r[1]);
    setupRelease(r[3]);
    for (int i = 0; i < 252; ++i) setupRelease(small[i]);
    ASSERT_EQ(Mgr().Holes().Count(), 254);
    Close();
    const auto setup = ReadFileBytes(path_);
    TFaultScope scope;
    TFaultFileSystem& faults = scope.faults;
    for (TFaultOp op : {TFaultOp::Write, TFaultOp::Truncate}) {
        for (uint64_t n = 1; n < 1000; ++n) {
            SCOPED_TRACE(testing::Message() << "crash at " << static_cast<int>(op) << "/" << n);
            faults.Reset();
            WriteFileBytes(path_, setup);
            std::map<uint64_t, uint32_t> used = before;
            auto release = [&](uint64_t p) {
                const uint32_t s = used.at(p);
                used.erase(p);  // may be free or not after a crash in Free
                Free(s, p);
            };
            auto take = [&](uint32_t s) { used[Alloc(s)] = s; };
            const bool crashed = RunAndReopen(faults, [&] {
                Open(omOpen);
                faults.CrashAt(op, n, TCrashMode::Apply);
                release(r[2]);  // merges with both neighbours
                take(50);       // from the front of the merged hole
                release(r[5]);  // at the end
                release(r[4]);  // at the end, after a hole: cut back
                take(5000);     // grows the file
                for (int i = 252; i < 262; ++i) release(small[i]);  // a second table
                Close();
            });
            if (!crashed) {
                EXPECT_EQ(Mgr().Tables().size(), 2u);
            }
            ExpectNothingInUseIsFree(used);
            Close();
            if (HasFailure() || !crashed) break;
        }
    }
}

// Every byte below the logical size is exactly one of: header, hole table,
// hole, allocated range.
// Sessions that read only the newest slots may leave holes side by side.
void CheckLayout(TOrvFile& file, TSpaceManager& mgr, const std::map<uint64_t, uint32_t>& used,
                 int step, bool merged = true) {
    SCOPED_TRACE(step);
    std::vector<std::pair<uint64_t, uint64_t>> parts{{0, 128}};
    for (auto& [p, s] : used) parts.emplace_back(p, s);
    for (auto& t : mgr.Tables()) parts.emplace_back(t.position, TableBytes(t.capacity));
    uint64_t holeEnd = 0;
    mgr.Holes().ForEach([&](const THole& h) {
        if (merged) {
            EXPECT_NE(h.position, holeEnd) << "adjacent holes were not merged";
        }
        holeEnd = h.End();
        parts.emplace_back(h.position, h.size);
    });
    std::sort(parts.begin(), parts.end());
    uint64_t end = 0;
    for (auto& [p, s] : parts) {
        ASSERT_EQ(p, end) << "overlap or lost space at " << p;
        end = p + s;
    }
    EXPECT_EQ(end, file.LogicalSize());
    EXPECT_EQ(file.PhysicalSize(), RoundToPage(file.LogicalSize()));
}

class SpaceManagerScript : public SpaceManagerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SpaceManagerScript, RandomAllocAndFreeAgainstAMap) {
    const bool writeThrough = GetParam();
    std::mt19937 rng(writeThrough ? 1234 : 987);
    Open(omCreate, writeThrough);
    std::map<uint64_t, uint32_t> used;
    auto size = [&]() -> uint32_t {
        const uint32_t kind = rng() % 10;
        if (kind < 5) return 1 + rng() % 64;
        if (kind < 9) return 65 + rng() % 2000;
        return 5000 + rng() % 70000;
    };
    int step = 0;
    auto allocOne = [&](uint32_t n) {
        const uint64_t p = Alloc(n);
        ASSERT_TRUE(used.emplace(p, n).second) << "handed out twice: " << p;
    };
    auto freeOne = [&](std::map<uint64_t, uint32_t>::iterator it) {
        Free(it->second, it->first);
        used.erase(it);
    };
    auto check = [&] {
        CheckLayout(*file_, Mgr(), used, step);
        if (++step % 300 == 0) {
            const auto before = HoleRows();
            Open(omOpen, writeThrough);
            ASSERT_EQ(HoleRows(), before) << "step " << step;
        }
    };
    const int steps = writeThrough ? 600 : 4000;  // write-through opens sync every write
    while (step < steps) {
        if (used.empty() || rng() % 100 < 55) {
            allocOne(size());
        } else {
            auto it = used.begin();
            std::advance(it, rng() % used.size());
            freeOne(it);
        }
        check();
        if (HasFatalFailure()) return;
    }
    // A burst of small ranges, every second one freed: more holes than one
    // table holds, so a second table is carved from the holes or the end.
    std::vector<uint64_t> burst;
    for (int i = 0; i < 600; ++i) {
        const uint32_t n = 1 + rng() % 40;
        const uint64_t p = Alloc(n);
        ASSERT_TRUE(used.emplace(p, n).second);
        burst.push_back(p);
        check();
        if (HasFatalFailure()) return;
    }
    for (size_t i = 0; i < burst.size(); i += 2) {
        freeOne(used.find(burst[i]));
        check();
        if (HasFatalFailure()) return;
    }
    EXPECT_GE(Mgr().Tables().size(), 2u);
    // Giving everything back, in random order, still leaves a consistent file.
    while (!used.empty()) {
        auto it = used.begin();
        std::advance(it, rng() % used.size());
        freeOne(it);
        check();
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(SpaceManager, SpaceManagerScript, ::testing::Bool());

// A file of many small holes in several tables, as a grown database has:
// 1,800 ranges of 8 and 13 bytes side by side, every 8-byte one freed (three
// tables), then a few larger ranges. Returns the ranges in use.
std::map<uint64_t, uint32_t> MakeFileOfSlivers(const std::function<uint64_t(uint32_t)>& alloc,
                                                const std::function<void(uint32_t, uint64_t)>& free) {
    std::map<uint64_t, uint32_t> used;
    std::vector<uint64_t> slivers;
    for (int i = 0; i < 900; ++i) {
        slivers.push_back(alloc(8));
        used[alloc(13)] = 13;
    }
    for (uint64_t p : slivers) free(8, p);
    for (uint32_t n : {300u, 700u, 1500u, 40u, 2200u, 90u}) used[alloc(n)] = n;
    return used;
}

// Sessions that read only the newest slots, against a map of the ranges in
// use: nothing is handed out twice and, read whole, the file is still tiled
// by the header, the tables, the holes and the ranges in use.
TEST_F(SpaceManagerTest, WindowedSessionsNeverHandOutSpaceTwice) {
    Open();
    std::map<uint64_t, uint32_t> used = MakeFileOfSlivers(
        [&](uint32_t n) { return Alloc(n); }, [&](uint32_t n, uint64_t p) { Free(n, p); });
    ASSERT_EQ(Mgr().Tables().size(), 3u);
    std::mt19937 rng(4242);
    for (int session = 0; session < 40; ++session) {
        Open(omOpen, false, 1);  // the newest slot and the free ones after it
        ASSERT_GE(Mgr().WindowStart(), Mgr().Tables().back().firstSlot);
        for (int op = 0; op < 60; ++op) {
            if (used.empty() || rng() % 100 < 50) {
                const uint32_t n = rng() % 4 == 0 ? 1 + rng() % 30 : 20 + rng() % 900;
                const uint64_t p = Alloc(n);
                ASSERT_TRUE(used.emplace(p, n).second) << "handed out twice: " << p;
            } else {
                auto it = used.begin();
                std::advance(it, rng() % used.size());
                Free(it->second, it->first);
                used.erase(it);
            }
        }
        Open(omOpen, false, TSpaceManager::kAllSlots);
        CheckLayout(*file_, Mgr(), used, session, false);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(Mgr().Tables().size(), 3u);
}

// A windowed session changes no byte of the tables before its window, and
// space in an older table's hole is not handed out by it.
TEST_F(SpaceManagerTest, HolesBeforeTheWindowStayAsTheyAre) {
    Open();
    std::map<uint64_t, uint32_t> used = MakeFileOfSlivers(
        [&](uint32_t n) { return Alloc(n); }, [&](uint32_t n, uint64_t p) { Free(n, p); });
    // The first 13-byte range, between the 8-byte holes of slots 0 and 1.
    const uint64_t middle = used.begin()->first;
    ASSERT_EQ(used.begin()->second, 13u);
    const auto tables = Mgr().Tables();
    ASSERT_EQ(tables.size(), 3u);
    Close();
    const auto before = ReadFileBytes(path_);
    Open(omOpen, false, 1);
    // The newest hole (slot 899 of the 900 in use) and the free slots after.
    EXPECT_EQ(Mgr().WindowStart(), 899);
    EXPECT_EQ(Mgr().Holes().Count(), 1);
    // Table 0 holds 8-byte holes: an 8-byte request is served from a hole of
    // the window or from the end of the file, never from table 0's holes.
    std::set<uint64_t> oldHoles;
    for (int32_t i = 0; i < 256; ++i) {
        const auto slot = SlotBytes(tables[0].position, uint32_t(i));
        oldHoles.insert(GetU64(slot.data() + 4));
    }
    for (int i = 0; i < 20; ++i) EXPECT_EQ(oldHoles.count(Alloc(8)), 0u);
    // Freed beside a hole of table 0, a range becomes a hole of its own.
    Free(13, middle);
    used.erase(middle);
    Close();
    const auto after = ReadFileBytes(path_);
    for (size_t k = 0; k < 2; ++k) {
        const auto from = before.begin() + long(tables[k].position);
        const auto to = from + long(TableBytes(tables[k].capacity));
        EXPECT_TRUE(std::equal(from, to, after.begin() + long(tables[k].position))) << "table " << k;
    }
    Open(omOpen, false, TSpaceManager::kAllSlots);
    EXPECT_TRUE(Mgr().Holes().Overlaps(middle, 13));
}

// A session that reads only the last table, stopped after any write or
// truncate: read whole, the file's holes and tables never cover space in use.
TEST_F(SpaceManagerTest, ACrashInAWindowedSessionNeverFreesSpaceInUse) {
    Open();
    const std::map<uint64_t, uint32_t> before = MakeFileOfSlivers(
        [&](uint32_t n) { return Alloc(n); }, [&](uint32_t n, uint64_t p) { Free(n, p); });
    Close();
    const auto setup = ReadFileBytes(path_);
    TFaultScope scope;
    TFaultFileSystem& faults = scope.faults;
    for (TFaultOp op : {TFaultOp::Write, TFaultOp::Truncate}) {
        // Every seventh point: a few hundred sessions.
        for (uint64_t n = 1; n < 20000; n += 7) {
            SCOPED_TRACE(testing::Message() << "crash at " << static_cast<int>(op) << "/" << n);
            faults.Reset();
            WriteFileBytes(path_, setup);
            std::map<uint64_t, uint32_t> used = before;
            const bool crashed = RunAndReopen(faults, [&] {
                Open(omOpen, false, 1);
                faults.CrashAt(op, n, TCrashMode::Apply);
                // Every range, beside holes of older tables and at the end:
                // enough new holes to add a table.
                std::vector<uint64_t> order;
                for (auto& [p, size] : used) order.push_back(p);
                for (size_t i = 0; i < order.size(); ++i) {
                    const uint32_t size = used.at(order[i]);
                    used.erase(order[i]);  // may be free or not after a crash in Free
                    Free(size, order[i]);
                    if (i % 8 == 0) used[Alloc(5)] = 5;
                }
                used[Alloc(5000)] = 5000;
                Close();
            });
            ExpectNothingInUseIsFree(used);
            if (!crashed) {
                EXPECT_GT(Mgr().Tables().size(), 3u);
                CheckLayout(*file_, Mgr(), used, 0, false);
            }
            Close();
            if (HasFailure() || !crashed) break;
        }
    }
}

// An open that rolls back an interrupted commit reads every slot: a hole
// entry before the window that claims space in use is cleared then, and
// only then.
TEST_F(SpaceManagerTest, AnOpenThatRollsBackChecksEveryHole) {
    Open();
    const std::map<uint64_t, uint32_t> used = MakeFileOfSlivers(
        [&](uint32_t n) { return Alloc(n); }, [&](uint32_t n, uint64_t p) { Free(n, p); });
    const uint64_t table0 = Mgr().Tables().at(0).position;
    Close();
    // Slot 5 of table 0 claims, with a valid CRC, slot 0's hole and the
    // range in use after it.
    const uint64_t first = used.begin()->first;
    auto bytes = ReadFileBytes(path_);
    ASSERT_EQ(GetU64(bytes.data() + table0 + 16 + 4), first - 8);
    uint8_t* slot5 = bytes.data() + table0 + 16 + 16 * 5;
    PutU64(slot5 + 4, first - 8);
    PutU32(slot5 + 12, 20);
    PutU32(slot5, Crc32(slot5 + 4, 12));
    const std::vector<uint8_t> claim(slot5, slot5 + 16);
    WriteFileBytes(path_, bytes);

    TFaultScope scope;
    TFaultFileSystem& faults = scope.faults;
    // The store's writer open: the journal's wrapper, its repair reported.
    auto openJournaled = [&] {
        file_.reset();
        TJournaledFile* journal = nullptr;
        TOrvFileOptions options;
        options.holeWindowSlots = 1;
        options.wrapFile = [&](std::unique_ptr<IFile> f) -> std::unique_ptr<IFile> {
            auto j = std::make_unique<TJournaledFile>(std::move(f), JournalPathOf(path_));
            journal = j.get();
            return j;
        };
        options.recovered = [&] { return journal != nullptr && journal->RestoredAtOpen(); };
        file_ = std::make_unique<TOrvFile>(path_, false, std::vector<TGUID>{kClassA}, omOpen, options);
        return journal->RestoredAtOpen();
    };
    ASSERT_FALSE(openJournaled());
    EXPECT_GE(Mgr().WindowStart(), Mgr().Tables().back().firstSlot);
    Alloc(3000);
    Close();
    EXPECT_EQ(SlotBytes(table0, 5), claim) << "a windowed open reads no slot of table 0";

    bool rolledBack = false;
    for (uint64_t n = 1; n < 20 && !rolledBack; ++n) {
        SCOPED_TRACE(n);
        faults.Reset();
        ASSERT_FALSE(openJournaled());
        faults.CrashAt(TFaultOp::Write, n, TCrashMode::Kill);
        try {
            Alloc(5000);
            Close();
        } catch (const ESimulatedCrash&) {
        }
        file_.reset();
        faults.Restart();
        rolledBack = openJournaled();
        if (rolledBack) {
            EXPECT_EQ(Mgr().WindowStart(), 0);
            EXPECT_FALSE(Mgr().Holes().Overlaps(first, used.begin()->second));
        }
        Close();
    }
    ASSERT_TRUE(rolledBack);
    faults.Reset();
    EXPECT_EQ(SlotBytes(table0, 5), std::vector<uint8_t>(16, 0));
}

}  // namespace
}  // namespace tlvx
