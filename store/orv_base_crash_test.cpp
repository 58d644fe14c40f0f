// Commits of the atom store on real files under simulated crashes at every
// write, sync and truncate (changes applied, dropped or torn), and under
// SIGKILL of a child process: every reopen shows the state before or after
// the commit and passes a full consistency check.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>

#include "platform/testing/crash_matrix.h"
#include "platform/testing/fault_file_system.h"
#include "platform/testing/temp_dir.h"
#include "store/errors.h"
#include "store/journaled_file.h"
#include "store/orv_base_open.h"
#include "store/testing/chain_walk.h"

namespace tlvx {
namespace {

const TGUID kClass{0x12345678, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

struct AtomState {
    std::string data;
    std::vector<uint32_t> links;
    int32_t linkRefs = 0, extRefs = 0;
    bool operator==(const AtomState&) const = default;
};
using StoreState = std::map<uint32_t, AtomState>;

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
void WriteBytes(const std::string& path, const std::vector<uint8_t>& b) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

uint64_t Get64(const std::vector<uint8_t>& b, uint64_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | b[at + i];
    return v;
}
uint32_t Get32(const std::vector<uint8_t>& b, uint64_t at) { return uint32_t(Get64(b, at)); }

// Reads every atom; checks that links resolve, counts match the links, and
// no byte of the file is both free and used (or used twice).
StoreState Check(const std::string& path, TOpenMode mode = omOpen) {
    StoreState s;
    {
        auto base = OpenOrvBase(path, false, {kClass}, mode);
        Ref<IEnumAtoms> en = base->EnumAtoms(0);
        for (uint32_t h; (h = en->Next()) != 0;) {
            Ref<TAtom> a = base->OpenAtom(0, h, 3);
            AtomState st;
            st.data.resize(a->GetDataSize());
            a->Read(0, st.data.data(), uint32_t(st.data.size()));
            for (uint32_t i = 0; i < a->GetLinkCount(); ++i) st.links.push_back(a->GetLink(i));
            st.linkRefs = a->GetLinkRefs();
            st.extRefs = a->GetExternalRefs();
            s[h] = st;
        }
        std::map<uint32_t, int32_t> in;
        for (auto& [h, a] : s)
            for (uint32_t l : a.links)
                if (l) {
                    EXPECT_TRUE(s.count(l)) << "link " << h << " -> " << l;
                    ++in[l];
                }
        for (auto& [h, a] : s) EXPECT_EQ(a.linkRefs, in[h] + (h <= 2 ? 1 : 0)) << h;
        // Space: atom tables, bodies and holes never overlap.
        auto& m = base->Manager();
        std::vector<uint8_t> b = ReadBytes(path);
        const uint64_t logical = Get64(b, 88);
        std::map<uint64_t, uint64_t> used;
        auto add = [&](uint64_t pos, uint64_t len) {
            if (!len) return;
            EXPECT_GE(pos, 128u);
            EXPECT_LE(pos + len, logical);
            auto next = used.lower_bound(pos);
            if (next != used.end()) {
                EXPECT_LE(pos + len, next->first) << pos;
            }
            if (next != used.begin()) {
                EXPECT_LE(std::prev(next)->second, pos) << pos;
            }
            used[pos] = pos + len;
        };
        // The chain summary lists the chains as they are, and its block is
        // space in use.
        if (auto stored = test::StoredChainSummary(b)) {
            EXPECT_EQ(stored->chains, test::WalkedChains(b));
            add(stored->position, stored->size);
        } else {
            EXPECT_EQ(Get64(b, 96), 0u);
        }
        uint32_t k = 0;
        for (uint64_t t = Get64(b, 24); t; t = Get64(b, t), ++k)
            add(t, 16 + 32ull * (256u << std::min<uint32_t>(k, 7)));
        k = 0;
        for (uint64_t t = Get64(b, 16); t; t = Get64(b, t), ++k) {
            const uint32_t cap = 256 * (k + 1);
            add(t, 16 + 16ull * cap);
            for (uint32_t i = 0; i < cap; ++i) {
                const uint64_t e = t + 16 + 16ull * i;
                if (Get64(b, e + 4)) add(Get64(b, e + 4), Get32(b, e + 12));
            }
        }
        for (uint32_t h = 1; h <= m.TotalCapacity(); ++h) {
            TEntryBytes e;
            m.ReadEntry(h, e);
            if (EntryIsFree(e)) continue;
            uint64_t bp = 0;
            for (int i = 7; i >= 0; --i) bp = bp << 8 | e[24 + i];
            add(bp, m.BodyAllocation(e));
        }
    }
    return s;
}

uint32_t Make(TOrvBase& b, uint32_t tr, size_t size, uint32_t link = 0) {
    Ref<TAtom> a = b.CreateAtom(tr, 15);
    std::string d(size, char('a' + size % 26));
    a->Write(0, d.data(), uint32_t(d.size()));
    if (link) a->SetLink(0, link);
    a->AddExternalRefs(1);
    return a->GetHandle();
}

using Scenario = std::function<void(const std::string& path)>;

constexpr const char* kNewTable = "a table and the chain summary";

void Populate(const std::string& path) {
    auto b = OpenOrvBase(path, false, {kClass}, omOpenOrCreate);
    uint32_t tr = b->StartTransaction(0);
    uint32_t prev = 0;
    for (int i = 0; i < 30; ++i) prev = Make(*b, tr, size_t(i * 37 % 300), i % 3 ? prev : 0);
    // A chain hanging off atom 1, held by nothing else.
    Ref<TAtom> root = b->OpenAtom(tr, 1, 15);
    Ref<TAtom> link = b->CreateAtom(tr, 15);
    root->SetLink(0, link->GetHandle());
    for (int i = 0; i < 20; ++i) {
        link->Write(0, "chain-link-body-data", 20);
        Ref<TAtom> a = b->CreateAtom(tr, 15);
        link->SetLink(0, a->GetHandle());
        link = a;
    }
    link.reset();
    root->Close();
    b->Commit(tr);
}

// Three full atom tables and a hole table: the next atom appends a fourth
// atom table, and with it the chains are long enough for a summary.
void FillTables(const std::string& path) {
    auto b = OpenOrvBase(path, false, {kClass}, omOpen);
    uint32_t tr = b->StartTransaction(0);
    std::vector<uint32_t> bodies;
    for (int i = 0; i < 4; ++i) bodies.push_back(Make(*b, tr, 40));
    while (Make(*b, tr, 5) < 256 + 512 + 1024) {
    }
    b->Commit(tr);
    tr = b->StartTransaction(0);
    for (uint32_t h : {bodies[0], bodies[2]}) b->OpenAtom(tr, h, 0)->AddExternalRefs(-1);
    b->Commit(tr);
}

const std::vector<std::pair<const char*, Scenario>>& Scenarios() {
    static const std::vector<std::pair<const char*, Scenario>> all = {
        {"new file", [](const std::string& p) { OpenOrvBase(p, false, {kClass}, omOpenOrCreate); }},
        {"small change",
         [](const std::string& p) {
             auto b = OpenOrvBase(p, false, {kClass}, omOpen);
             uint32_t tr = b->StartTransaction(0);
             Ref<TAtom> a = b->OpenAtom(tr, 5, 15);
             a->Write(0, "changed", 7);
             a->Close();
             Make(*b, tr, 10, 5);
             b->Commit(tr);
         }},
        {"growth",
         [](const std::string& p) {
             auto b = OpenOrvBase(p, false, {kClass}, omOpen);
             uint32_t tr = b->StartTransaction(0);
             for (int i = 0; i < 300; ++i) Make(*b, tr, 3000 + i);
             b->Commit(tr);
         }},
        {"shrink",
         [](const std::string& p) {
             auto b = OpenOrvBase(p, false, {kClass}, omOpen);
             uint32_t tr = b->StartTransaction(0);
             for (uint32_t h = 3; h < 40; ++h) {
                 if (!b->AtomExists(tr, h)) continue;
                 Ref<TAtom> a = b->OpenAtom(tr, h, 15);
                 a->SetDataSize(0);
                 a->SetLinkCount(0);
             }
             b->Commit(tr);
         }},
        {kNewTable,
         [](const std::string& p) {
             auto b = OpenOrvBase(p, false, {kClass}, omOpen);
             uint32_t tr = b->StartTransaction(0);
             for (int i = 0; i < 3; ++i) Make(*b, tr, 30);
             b->Commit(tr);
         }},
        {"garbage cascade",
         [](const std::string& p) {
             auto b = OpenOrvBase(p, false, {kClass}, omOpen);
             uint32_t tr = b->StartTransaction(0);
             Ref<TAtom> root = b->OpenAtom(tr, 1, 15);
             root->SetLinkCount(0);
             root->Close();
             for (uint32_t h = 3; h < 12; ++h) {
                 if (!b->AtomExists(tr, h)) continue;
                 Ref<TAtom> a = b->OpenAtom(tr, h, 0);
                 if (a->GetExternalRefs() == 0) continue;
                 a->AddExternalRefs(-1);
             }
             b->Commit(tr);
         }},
    };
    return all;
}

TEST(OrvBaseCrash, EveryCrashPointGivesBeforeOrAfter) {
    TTestTempDir dir(CrashMatrixScratchBase());
    const std::string path = dir.File("c.orv");
    const std::string journal = JournalPathOf(ExpandFileName(path));
    TFaultFileSystem fs;
    for (const auto& [name, scenario] : Scenarios()) {
        SCOPED_TRACE(name);
        std::filesystem::remove(path);
        if (std::string(name) != "new file") Populate(path);
        if (std::string(name) == kNewTable) FillTables(path);
        const bool existed = std::filesystem::exists(path);
        const std::vector<uint8_t> start = existed ? ReadBytes(path) : std::vector<uint8_t>{};
        const StoreState before = existed ? Check(path) : StoreState{};
        auto restore = [&] {
            std::filesystem::remove(journal);
            if (existed) WriteBytes(path, start);
            else std::filesystem::remove(path);
        };
        SetFileSystem(&fs);
        fs.Reset();
        scenario(path);
        uint64_t points[kFaultOpKinds];
        for (int op = 0; op < kFaultOpKinds; ++op) points[op] = fs.Count(TFaultOp(op));
        fs.Reset();
        SetFileSystem(nullptr);
        const StoreState after = Check(path);
        ASSERT_NE(before, after);
        int crashes = 0;
        for (int op = 0; op < kFaultOpKinds; ++op) {
            for (uint64_t n = 1; n <= points[op]; ++n) {
                for (TCrashMode mode : {TCrashMode::Apply, TCrashMode::Drop, TCrashMode::Tear}) {
                    restore();
                    SetFileSystem(&fs);
                    fs.Reset();
                    fs.CrashAt(TFaultOp(op), n, mode, uint32_t(n * 7 + op));
                    try {
                        scenario(path);
                    } catch (const ESimulatedCrash&) {
                    } catch (const std::exception&) {
                        // A crashed file system fails later operations too.
                    }
                    crashes += fs.Crashed();
                    fs.Reset();
                    SetFileSystem(nullptr);
                    if (!existed && !std::filesystem::exists(path)) continue;
                    StoreState got;
                    if (!existed) {
                        // Rolled back to the empty file that the creation
                        // started with: the next open creates it afresh.
                        RecoverDatabase(path, 0);
                        if (std::filesystem::file_size(path) == 0) continue;
                    }
                    got = Check(path);
                    ASSERT_FALSE(::testing::Test::HasFailure())
                        << "op " << op << " point " << n << " mode " << int(mode);
                    ASSERT_TRUE(got == after || got == before || (!existed && got == after))
                        << "op " << op << " point " << n << " mode " << int(mode);
                }
            }
        }
        EXPECT_GT(crashes, 0);
    }
}

// A commit killed at each of its writes and syncs, then the next process on
// the same file (a writer that commits, a writer that changes nothing, a
// reader), then a power loss at each write and sync of that process: every
// reopen passes the full check and holds the state before or after the killed
// commit, or either with the next writer's change.
TEST(OrvBaseCrash, KilledCommitThenNextProcessThenPowerLoss) {
    TTestTempDir dir(CrashMatrixScratchBase());
    const std::string path = dir.File("m.orv");
    Populate(path);
    const std::vector<uint8_t> start = ReadBytes(path);
    auto restore = [&] {
        std::filesystem::remove(JournalPathOf(ExpandFileName(path)));
        WriteBytes(path, start);
    };
    auto killed = Scenarios()[1].second;  // a small change
    auto writer = [&] {
        auto b = OpenOrvBase(path, false, {kClass}, omOpen);
        uint32_t tr = b->StartTransaction(0);
        Ref<TAtom> a = b->OpenAtom(tr, 7, 15);
        a->Write(0, "next", 4);
        a->Close();
        b->Commit(tr);
    };
    auto reader = [&] {
        auto b = OpenOrvBase(path, false, {kClass}, omReadOnly);
        Ref<IEnumAtoms> en = b->EnumAtoms(0);
        while (en->Next() != 0) {
        }
    };
    const StoreState before = Check(path);
    writer();
    const StoreState beforeNext = Check(path);
    restore();
    killed(path);
    const StoreState after = Check(path);
    writer();
    const StoreState afterNext = Check(path);

    TFaultFileSystem fs;
    TCrashMatrix matrix(fs);
    matrix.restore = restore;
    matrix.first = [&] { killed(path); };
    matrix.AddNext("a writer", writer);
    matrix.AddNext("an open without change", [&] { OpenOrvBase(path, false, {kClass}, omOpen); });
    matrix.AddNext("a reader", reader);
    matrix.check = [&](const TCrashCase& c) {
        SCOPED_TRACE(c.Describe());
        EXPECT_EQ(c.nextError, "");
        const StoreState got = Check(path);
        const bool wrote = c.next == "a writer";
        EXPECT_TRUE(got == before || got == after ||
                    (wrote && (got == beforeNext || got == afterNext)));
        return !::testing::Test::HasFailure();
    };
    const TCrashMatrix::TStats stats = matrix.Run();
    EXPECT_FALSE(stats.stopped);
    EXPECT_GT(stats.killPoints, 3u);
}

// A file system that hides the journal from the first look for it: the
// reader's view when a writer dies mid-commit while the reader waits for the
// share lock.
class TJournalAppearsLate : public IFileSystem {
public:
    explicit TJournalAppearsLate(std::string journal) : journal_(std::move(journal)) {}
    std::unique_ptr<IFile> Open(const std::string& path, TFileAccess access,
                                TDisposition disposition, const TFileOptions& options) override {
        return RealFileSystem().Open(path, access, disposition, options);
    }
    bool Exists(const std::string& path) override {
        if (path == journal_ && !seen_) {
            seen_ = true;
            return false;
        }
        return RealFileSystem().Exists(path);
    }
    bool Remove(const std::string& path) override { return RealFileSystem().Remove(path); }
    void SyncDirectoryOf(const std::string& path) override { RealFileSystem().SyncDirectoryOf(path); }

private:
    std::string journal_;
    bool seen_ = false;
};

TEST(OrvBaseCrash, ReaderThatMissedALeftoverJournalReadsThroughIt) {
    TTestTempDir dir(CrashMatrixScratchBase());
    const std::string path = dir.File("r.orv");
    const std::string journal = JournalPathOf(ExpandFileName(path));
    Populate(path);
    const std::vector<uint8_t> start = ReadBytes(path);
    const StoreState before = Check(path);
    auto change = [&] {
        auto b = OpenOrvBase(path, false, {kClass}, omOpen);
        uint32_t tr = b->StartTransaction(0);
        for (int i = 0; i < 40; ++i) Make(*b, tr, 500 + i);
        b->Commit(tr);
    };
    TFaultFileSystem fs;
    SetFileSystem(&fs);
    change();
    const uint64_t writes = fs.Count(TFaultOp::Write);
    fs.Reset();
    SetFileSystem(nullptr);
    const StoreState after = Check(path);
    int leftovers = 0;
    for (uint64_t n = 1; n <= writes; ++n) {
        std::filesystem::remove(journal);
        WriteBytes(path, start);
        SetFileSystem(&fs);
        fs.Reset();
        fs.CrashAt(TFaultOp::Write, n, TCrashMode::Tear, uint32_t(n));
        try {
            change();
        } catch (const ESimulatedCrash&) {
        } catch (const std::exception&) {
        }
        fs.Reset();
        SetFileSystem(nullptr);
        if (!HasLeftoverJournal(path)) continue;
        ++leftovers;
        TJournalAppearsLate late(journal);
        SetFileSystem(&late);
        const StoreState got = Check(path, omReadOnly);
        SetFileSystem(nullptr);
        ASSERT_FALSE(::testing::Test::HasFailure()) << "write " << n;
        EXPECT_TRUE(got == before || got == after) << "write " << n;
        // The reader changed nothing; the next writer's repair finds what it read.
        EXPECT_TRUE(std::filesystem::exists(journal)) << "write " << n;
        EXPECT_TRUE(Check(path) == got) << "write " << n;
        EXPECT_FALSE(std::filesystem::exists(journal)) << "write " << n;
    }
    EXPECT_GT(leftovers, 0);
}

TEST(OrvBaseCrash, KilledChildLeavesACommittedState) {
    TTestTempDir dir;
    const std::string path = dir.File("k.orv");
    Populate(path);
    std::mt19937 rng(42);
    for (int round = 0; round < 12; ++round) {
        int committed[2];
        ASSERT_EQ(pipe(committed), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // The child commits forever: each commit sets every counter atom
            // to the same new number, so a torn commit would show two values.
            // It tells the parent of its first commit: before that the atoms
            // still hold their different first values.
            close(committed[0]);
            try {
                auto b = OpenOrvBase(path, false, {kClass}, omOpen, 10000);
                for (uint32_t v = 1;; ++v) {
                    uint32_t tr = b->StartTransaction(0);
                    for (uint32_t h = 3; h < 13; ++h) {
                        Ref<TAtom> a = b->OpenAtom(tr, h, 15);
                        std::string d(50 + v % 300, char('0' + v % 10));
                        a->SetDataSize(0);
                        a->Write(0, d.data(), uint32_t(d.size()));
                    }
                    b->Commit(tr);
                    if (v == 1 && write(committed[1], "c", 1) != 1) _exit(2);
                }
            } catch (...) {
            }
            _exit(1);
        }
        close(committed[1]);
        char c = 0;
        const bool began = read(committed[0], &c, 1) == 1;
        close(committed[0]);
        if (began) usleep(rng() % 80000);
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(began) << "the child ended before its first commit, status " << status;
        StoreState s = Check(path);
        ASSERT_FALSE(::testing::Test::HasFailure()) << "round " << round;
        std::string first;
        for (uint32_t h = 3; h < 13; ++h) {
            const std::string& d = s[h].data;
            if (h == 3) first = d;
            ASSERT_EQ(d, first) << "round " << round << " atom " << h;
        }
    }
}

}  // namespace
}  // namespace tlvx
