// The fault-injection matrix of one hit through the counter program: for a
// hit against a database with history, every write, sync and truncate of the
// hit fails in turn, and the process crashes at each of them (the pending
// changes kept, dropped or torn). After every case the database reopens with
// exactly the state before or after the hit, the hit log reads from its
// first page to its last, and a request that failed still got its answer.
// Then the same with two processes and a power loss (a hit killed, the next
// process, the power cut during it), a report that may not write after a
// killed hit, and an install cut off and run again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "counter/main_module.h"
#include "counter/tlvx_log_format.h"
#include "model/counter2.h"
#include "model/node_interfaces.h"
#include "platform/cgi_run.h"
#include "platform/clock.h"
#include "platform/testing/crash_matrix.h"
#include "platform/testing/fault_file_system.h"
#include "platform/guid.h"
#include "platform/testing/fixed_sources.h"
#include "platform/testing/read_only_file_system.h"
#include "platform/testing/temp_dir.h"
#include "store/journaled_file.h"

namespace tlvx {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct TState {
    TCounterSettings settings;
    int32_t hits = -1, visits = -1, reloads = -1;
    bool operator==(const TState&) const = default;
};

// Pages from the first, as a report reads them: all must decode.
int CountLogRecords(const std::string& path) {
    const std::string file = ReadFile(path);
    if (file.size() < kLogHeaderSize) return 0;
    TLogFileHeader header = DecodeLogHeader(std::string_view(file).substr(0, kLogHeaderSize));
    size_t offset = header.FirstPage;
    int records = 0;
    for (int32_t n = 0; n < header.PageCount; ++n) {
        if (offset >= file.size()) throw ETlvxLogError("page past the end");
        std::string_view page = std::string_view(file).substr(offset);
        TPageHeader ph = DecodePageHeader(page.substr(0, kPageHeaderSize));
        std::vector<TLogRecord> earlier;
        size_t pos = kPageHeaderSize;
        for (size_t i = 0; i < ph.RecordCount; ++i) earlier.push_back(DecodeLogRecord(page, pos, earlier));
        records += ph.RecordCount;
        offset += pos;
    }
    return records;
}

class HitFaultMatrix : public ::testing::Test {
protected:
    void SetUp() override {
        SetClock(&clock_);
        SetGuidSource(&guids_);
        std::filesystem::create_directories(dir_.File("cgi"));
        WriteFile(dir_.File("cgi/tlvx2.conf"), "HostInterval=720\n<Base:main>\nDataBaseName=" + Database() +
                                                   "\nBinaryLog=" + Log() + "\nCanAddNode=1\n</Base>\n");
        program_ = dir_.File("cgi/tlvxcount");
        const std::string said = Install();
        ASSERT_NE(said.find("successfully created"), std::string::npos) << said;
        for (const char* node : {"index", "news.a", "news.b", "news.a"}) Hit(node, "10.0.0.7");
    }
    void TearDown() override {
        SetFileSystem(nullptr);
        SetClock(nullptr);
        SetGuidSource(nullptr);
    }

    std::string Database() const { return dir_.File("main.orv"); }
    std::string Log() const { return dir_.File("hits.bin"); }

    // "tlvxcount -INSTALL main" from the console; what it says.
    std::string Install() {
        TMapEnvironment console;
        std::ostringstream out, err;
        TMain module({program_, "-INSTALL", "main"}, out, console);
        RunCgi([&](const TWebRequest& r, TWebResponse& w) { module.MainMainActionAction(r, w); },
               console, nullptr, out, err);
        return out.str();
    }

    // One hit as the web server starts the program; the reply.
    std::string Hit(const std::string& node, const std::string& address) {
        TMapEnvironment env;
        env.Set("GATEWAY_INTERFACE", "CGI/1.1");
        env.Set("REQUEST_METHOD", "GET");
        env.Set("QUERY_STRING", "id=main&node=" + node);
        env.Set("REMOTE_ADDR", address);
        env.Set("HTTP_REFERER", "http://yandex.ru/yandsearch?text=counter");
        env.Set("HTTP_USER_AGENT", "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
        if (!cookies_.empty()) env.Set("HTTP_COOKIE", cookies_);
        std::ostringstream out, err;
        TMain module({program_}, out, env);
        RunCgi([&](const TWebRequest& r, TWebResponse& w) { module.MainMainActionAction(r, w); }, env,
               nullptr, out, err);
        std::string cookies;
        std::istringstream lines(out.str());
        for (std::string line; std::getline(lines, line) && line != "\r";) {
            if (line.rfind("Set-Cookie: ", 0) != 0) continue;
            std::string pair = line.substr(12);
            cookies += (cookies.empty() ? "" : "; ") + pair.substr(0, pair.find(';'));
        }
        if (!cookies.empty()) cookies_ = cookies;
        return out.str();
    }

    // The files and the browser as they are before a case, and back again.
    struct TStart {
        std::string db, log, cookies;
        uint32_t guid;
    };
    TStart Start() { return {ReadFile(Database()), ReadFile(Log()), cookies_, guids_.n}; }
    void Restore(const TStart& start) {
        std::filesystem::remove(JournalPathOf(ExpandFileName(Database())));
        WriteFile(Database(), start.db);
        WriteFile(Log(), start.log);
        cookies_ = start.cookies;
        guids_.n = start.guid;
    }

    TState State() {
        TState s;
        EXPECT_TRUE(ReadState(s));
        return s;
    }
    // The state as a reader finds it; false when the database does not open
    // or does not read.
    bool ReadState(TState& s) {
        s = TState{};
        try {
            Ref<ICounter2> counter;
            OpenCounter2(Database(), counter, TSkinStreams{}, true, "");
            if (!counter) return false;
            s.settings = counter->GetSettings();
            if (Ref<INode> node = counter->GetNodes()->FindNode("news.a", false)) {
                s.hits = node->GetInfo()->GetHits();
                s.visits = node->GetInfo()->GetVisits();
                s.reloads = node->GetInfo()->GetReloads();
            }
        } catch (const std::exception& e) {
            std::cerr << "reading the counter: " << e.what() << "\n";
            return false;
        }
        return true;
    }

    TTestTempDir dir_{CrashMatrixScratchBase()};
    TSettableClock clock_{46364.625, -180, 16};
    TSequenceGuids guids_;
    std::string program_;
    std::string cookies_;
};

TEST_F(HitFaultMatrix, EveryFailureAndCrashLeavesBeforeOrAfter) {
    const TStart start = Start();
    const TState before = State();
    const int logBefore = CountLogRecords(Log());
    auto restore = [&] { Restore(start); };

    TFaultFileSystem fs;
    SetFileSystem(&fs);
    fs.Reset();
    const std::string reply = Hit("news.a", "10.0.0.7");
    uint64_t points[kFaultOpKinds];
    for (int op = 0; op < kFaultOpKinds; ++op) points[op] = fs.Count(TFaultOp(op));
    fs.Reset();
    SetFileSystem(nullptr);
    ASSERT_NE(reply.find("image/gif"), std::string::npos) << reply;
    const TState after = State();
    ASSERT_NE(before, after);
    ASSERT_EQ(CountLogRecords(Log()), logBefore + 1);
    ASSERT_GT(points[0], 0u);
    ASSERT_GT(points[1], 0u);

    int crashes = 0, cases = 0;
    for (int op = 0; op < kFaultOpKinds; ++op) {
        for (uint64_t n = 1; n <= points[op]; ++n) {
            for (int mode = -1; mode < 3; ++mode) {  // -1: the operation fails
                SCOPED_TRACE("op " + std::to_string(op) + " point " + std::to_string(n) + " mode " +
                             std::to_string(mode));
                restore();
                SetFileSystem(&fs);
                fs.Reset();
                if (mode < 0) fs.FailAt(TFaultOp(op), n);
                else fs.CrashAt(TFaultOp(op), n, TCrashMode(mode), uint32_t(n * 7 + op));
                std::string got;
                try {
                    got = Hit("news.a", "10.0.0.7");
                } catch (const ESimulatedCrash&) {
                }
                const bool crashed = fs.Crashed();
                crashes += crashed;
                ++cases;
                fs.Reset();
                SetFileSystem(nullptr);
                if (!crashed) {
                    // A failed write or sync: the visitor still gets the picture.
                    EXPECT_NE(got.find("image/gif"), std::string::npos) << got;
                }
                const TState state = State();
                EXPECT_TRUE(state == before || state == after)
                    << "total hits " << state.settings.TotalHits << " (before "
                    << before.settings.TotalHits << ", after " << after.settings.TotalHits << ")";
                int records = -1;
                EXPECT_NO_THROW(records = CountLogRecords(Log()));
                EXPECT_TRUE(records == logBefore || records == logBefore + 1) << records;
                // And the next hit goes through and is counted.
                const int32_t total = State().settings.TotalHits;
                EXPECT_NE(Hit("news.b", "10.0.0.8").find("image/gif"), std::string::npos);
                EXPECT_EQ(State().settings.TotalHits, total + 1);
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
    EXPECT_GT(crashes, 0);
    std::cerr << cases << " cases, " << crashes << " crashes\n";
}

// A hit killed at each of its writes and syncs, then the next hit, an install
// run over the existing database or a reader, then a power loss at each write
// and sync of that second process: the database holds the state before the
// killed hit, or the state after it, or either plus the next hit; the hit
// log reads; and the counter keeps counting.
TEST_F(HitFaultMatrix, KilledHitThenNextProcessThenPowerLoss) {
    const TStart start = Start();
    const int logBefore = CountLogRecords(Log());
    auto restore = [&] { Restore(start); };
    // The browser of the killed hit got no answer: it comes back with the
    // cookies it had.
    auto killedHit = [&] { Hit("news.a", "10.0.0.7"); };
    auto nextHit = [&] {
        cookies_ = start.cookies;
        Hit("news.b", "10.0.0.9");
    };
    auto install = [&] { Install(); };
    TState seen;  // what the reader found
    auto reader = [&] { ReadState(seen); };

    // The states a reopened database may hold.
    restore();
    const TState before = State();
    nextHit();
    const TState beforeNext = State();
    restore();
    killedHit();
    const TState after = State();
    nextHit();
    const TState afterNext = State();
    ASSERT_NE(before, after);
    ASSERT_NE(after, afterNext);

    TFaultFileSystem fs;
    TCrashMatrix matrix(fs);
    matrix.restore = restore;
    matrix.first = killedHit;
    // A repair writes back every saved range of the killed commit, one by one.
    matrix.maxPointsPerKind = 8;
    matrix.AddNext("the next hit", nextHit);
    matrix.AddNext("an install run", install);
    matrix.AddNext("a reader", reader);
    int withNext = 0, withKilled = 0;
    matrix.check = [&](const TCrashCase& c) {
        SCOPED_TRACE(c.Describe());
        EXPECT_EQ(c.nextError, "");
        if (c.next == "a reader" && c.nextEnded) {
            EXPECT_TRUE(seen == before || seen == after);
        }
        const TState state = State();
        const bool hitNext = c.next == "the next hit";
        EXPECT_TRUE(state == before || state == after ||
                    (hitNext && (state == beforeNext || state == afterNext)))
            << "total hits " << state.settings.TotalHits << " (before "
            << before.settings.TotalHits << ")";
        withNext += state == beforeNext || state == afterNext;
        withKilled += state == after || state == afterNext;
        int records = -1;
        EXPECT_NO_THROW(records = CountLogRecords(Log()));
        EXPECT_TRUE(records >= logBefore && records <= logBefore + 2) << records;
        const int32_t total = state.settings.TotalHits;
        EXPECT_NE(Hit("news.b", "10.0.0.8").find("image/gif"), std::string::npos);
        EXPECT_EQ(State().settings.TotalHits, total + 1);
        return !::testing::Test::HasFailure();
    };
    const TCrashMatrix::TStats stats = matrix.Run();
    EXPECT_FALSE(stats.stopped);
    EXPECT_GT(stats.killPoints, 0u);
    EXPECT_GT(withNext, 0);
    EXPECT_GT(withKilled, 0);
    std::cerr << stats.killPoints << " kill points, " << stats.cases << " cases\n";
}

// A hit killed at each of its writes, syncs and truncates, then a report
// that may not write: it reads the database as the repair will leave it
// (before or after the killed hit) and changes no byte; the next hit then
// repairs the database to exactly what the report read, and is counted.
TEST_F(HitFaultMatrix, AReportThatMayNotWriteReadsAKilledHitAsTheRepairWill) {
    const TStart start = Start();
    const TState before = State();
    const std::string journal = JournalPathOf(ExpandFileName(Database()));
    TFaultFileSystem fs;
    SetFileSystem(&fs);
    fs.Reset();
    Hit("news.a", "10.0.0.7");
    uint64_t points[kFaultOpKinds];
    for (int op = 0; op < kFaultOpKinds; ++op) points[op] = fs.Count(TFaultOp(op));
    fs.Reset();
    SetFileSystem(nullptr);
    const TState after = State();
    int rolledBack = 0, standing = 0;
    for (int op = 0; op < kFaultOpKinds; ++op) {
        for (uint64_t n = 1; n <= points[op]; ++n) {
            SCOPED_TRACE("killed at op " + std::to_string(op) + " #" + std::to_string(n));
            Restore(start);
            SetFileSystem(&fs);
            fs.Reset();
            fs.CrashAt(TFaultOp(op), n, TCrashMode::Kill);
            try {
                Hit("news.a", "10.0.0.7");
            } catch (const ESimulatedCrash&) {
            }
            fs.Restart();
            const bool leftover = HasLeftoverJournal(Database());
            const std::string bytes = ReadFile(Database()), journalBytes = ReadFile(journal);
            test::TReadOnlyFileSystem readOnly(fs);
            SetFileSystem(&readOnly);
            TState seen;
            const bool read = ReadState(seen);
            SetFileSystem(&fs);
            ASSERT_TRUE(read);
            EXPECT_TRUE(seen == before || seen == after) << "total hits " << seen.settings.TotalHits;
            EXPECT_EQ(ReadFile(Database()), bytes);
            EXPECT_EQ(ReadFile(journal), journalBytes);
            EXPECT_EQ(HasLeftoverJournal(Database()), leftover);
            if (leftover) {
                EXPECT_GT(readOnly.Refused(), 0);  // it would have repaired had it been let
                rolledBack += seen == before;
                standing += seen == after;
            }
            EXPECT_NE(Hit("news.b", "10.0.0.8").find("image/gif"), std::string::npos);
            fs.Reset();
            SetFileSystem(nullptr);
            TState next = State();
            EXPECT_EQ(next.settings.TotalHits, seen.settings.TotalHits + 1);
            EXPECT_EQ(std::tie(next.hits, next.visits, next.reloads), std::tie(seen.hits, seen.visits, seen.reloads));
            if (::testing::Test::HasFailure()) return;
        }
    }
    EXPECT_GT(rolledBack, 0);
    EXPECT_GT(standing, 0);
}

// An install cut off at any write or sync, by a kill or a power loss, is
// finished by the next install run alone: it clears what the cut-off one
// left, creates the database and says so; then hits count.
TEST_F(HitFaultMatrix, OneInstallFinishesAnInterruptedOne) {
    const std::string marker = Database() + "-install";
    auto clear = [&] {
        for (const std::string& p : {Database(), marker, JournalPathOf(Database()), Log()})
            std::filesystem::remove(p);
    };
    TFaultFileSystem fs;
    clear();
    SetFileSystem(&fs);
    fs.Reset();
    ASSERT_NE(Install().find("successfully created"), std::string::npos);
    uint64_t points[kFaultOpKinds];
    for (int op = 0; op < kFaultOpKinds; ++op) points[op] = fs.Count(TFaultOp(op));
    fs.Reset();
    SetFileSystem(nullptr);
    int unfinished = 0;
    for (int op = 0; op < kFaultOpKinds; ++op) {
        for (uint64_t n = 1; n <= points[op]; ++n) {
            for (TCrashMode mode : {TCrashMode::Kill, TCrashMode::Drop, TCrashMode::Tear}) {
                SCOPED_TRACE(testing::Message() << "op " << op << " #" << n << " mode " << int(mode));
                clear();
                SetFileSystem(&fs);
                fs.Reset();
                fs.CrashAt(TFaultOp(op), n, mode, uint32_t(n));
                std::string said;
                try {
                    said = Install();
                } catch (const ESimulatedCrash&) {
                }
                ASSERT_TRUE(fs.Crashed());
                unfinished += std::filesystem::exists(marker);
                fs.Reset();
                said = Install();
                EXPECT_NE(said.find("successfully created"), std::string::npos) << said;
                EXPECT_FALSE(std::filesystem::exists(marker));
                SetFileSystem(nullptr);
                cookies_.clear();
                EXPECT_NE(Hit("index", "10.0.0.5").find("image/gif"), std::string::npos);
                EXPECT_EQ(State().settings.TotalHits, 1);
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
    EXPECT_GT(unfinished, 0);
}

}  // namespace
}  // namespace tlvx
