// The fault-injection matrix of one hit through the counter program: for a
// hit against a database with history, every write, sync and truncate of the
// hit fails in turn, and the process crashes at each of them (the pending
// changes kept, dropped or torn). After every case the database reopens with
// exactly the state before or after the hit, the hit log reads from its
// first page to its last, and a request that failed still got its answer.
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
#include "platform/fault_file_system.h"
#include "platform/guid.h"
#include "platform/testing/fixed_sources.h"
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
        {
            TMapEnvironment console;
            std::ostringstream out, err;
            TMain module({program_, "-INSTALL", "main"}, out, console);
            RunCgi([&](const TWebRequest& r, TWebResponse& w) { module.MainMainActionAction(r, w); },
                   console, nullptr, out, err);
            ASSERT_NE(out.str().find("successfully created"), std::string::npos) << out.str();
        }
        for (const char* node : {"index", "news.a", "news.b", "news.a"}) Hit(node, "10.0.0.7");
    }
    void TearDown() override {
        SetFileSystem(nullptr);
        SetClock(nullptr);
        SetGuidSource(nullptr);
    }

    std::string Database() const { return dir_.File("main.orv"); }
    std::string Log() const { return dir_.File("hits.bin"); }

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

    TState State() {
        Ref<ICounter2> counter;
        OpenCounter2(Database(), counter, TSkinStreams{}, true, "");
        EXPECT_TRUE(counter);
        TState s;
        if (!counter) return s;
        s.settings = counter->GetSettings();
        if (Ref<INode> node = counter->GetNodes()->FindNode("news.a", false)) {
            s.hits = node->GetInfo()->GetHits();
            s.visits = node->GetInfo()->GetVisits();
            s.reloads = node->GetInfo()->GetReloads();
        }
        return s;
    }

    TTestTempDir dir_;
    TSettableClock clock_{46364.625, -180, 16};
    TSequenceGuids guids_;
    std::string program_;
    std::string cookies_;
};

TEST_F(HitFaultMatrix, EveryFailureAndCrashLeavesBeforeOrAfter) {
    const std::string startDb = ReadFile(Database()), startLog = ReadFile(Log());
    const std::string startCookies = cookies_;
    const uint32_t startGuid = guids_.n;
    const TState before = State();
    const int logBefore = CountLogRecords(Log());
    auto restore = [&] {
        std::filesystem::remove(JournalPathOf(ExpandFileName(Database())));
        WriteFile(Database(), startDb);
        WriteFile(Log(), startLog);
        cookies_ = startCookies;
        guids_.n = startGuid;
    };

    TFaultFileSystem fs;
    SetFileSystem(&fs);
    fs.Reset();
    const std::string reply = Hit("news.a", "10.0.0.7");
    const uint64_t points[3] = {fs.Count(TFaultOp::Write), fs.Count(TFaultOp::Sync),
                                fs.Count(TFaultOp::Truncate)};
    fs.Reset();
    SetFileSystem(nullptr);
    ASSERT_NE(reply.find("image/gif"), std::string::npos) << reply;
    const TState after = State();
    ASSERT_NE(before, after);
    ASSERT_EQ(CountLogRecords(Log()), logBefore + 1);
    ASSERT_GT(points[0], 0u);
    ASSERT_GT(points[1], 0u);

    int crashes = 0, cases = 0;
    for (int op = 0; op < 3; ++op) {
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

}  // namespace
}  // namespace tlvx
