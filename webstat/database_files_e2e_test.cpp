// Both programs as CGI processes on one counter database: files in its place
// that are no files of ours, and the order in which hits and report pages
// get the database. Every run has a deadline, so that a program that hangs
// fails the test instead of holding it.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <tuple>
#include <thread>

#include "model/counter2.h"
#include "platform/file.h"
#include "platform/share_gate.h"
#include "platform/testing/lighttpd.h"
#include "platform/testing/proc_locks.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_dir.h"
#include "store/journaled_file.h"
#include "webstat/testing/page_parts.h"

namespace tlvx {
namespace {

namespace fs = std::filesystem;

constexpr int kDeadlineMs = 20000;

size_t Lines(const std::string& text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

class DatabaseFiles : public ::testing::Test {
protected:
    void SetUp() override {
        // Open to other users: one case runs the programs as nobody.
        fs::permissions(dir_.Path(), fs::perms(0755));
        for (const char* name : {"tlvxcount", "tlvxstat"}) {
            const std::string to = dir_.File(name);
            fs::copy_file(name == std::string("tlvxcount") ? TLVX_TLVXCOUNT : TLVX_TLVXSTAT, to);
            fs::permissions(to, fs::perms(0755));
        }
        fs::create_directories(Data());
        fs::permissions(Data(), fs::perms(0777));
        test::WriteWholeFile(Conf(), "<Base:7>\nDataBaseName=" + Database() + "\n</Base>\n");
        const test::TProgramRun install =
            test::RunProgram({dir_.File("tlvxcount"), "-INSTALL", "7"}, {"PATH=/usr/bin:/bin"}, kDeadlineMs);
        ASSERT_NE(std::string::npos, install.Out.find("successfully created")) << install.Err;
    }
    std::string Data() const { return dir_.File("data"); }
    std::string Database() const { return Data() + "/seven.orv"; }
    std::string Conf() const { return dir_.File("tlvx2.conf"); }

    // One request of program with query, as the web server starts it; as
    // the user nobody when asked, and the test runs as root.
    test::TProgramRun Run(const std::string& program, const std::string& query, bool asNobody = false) {
        std::vector<std::string> args{dir_.File(program)};
        if (asNobody && ::geteuid() == 0)
            args.insert(args.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        return test::RunProgram(args,
                                {"GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=GET", "QUERY_STRING=" + query,
                                 "REMOTE_ADDR=127.0.0.1", "SCRIPT_NAME=/cgi-bin/" + program,
                                 "HTTP_HOST=www.example.com"},
                                kDeadlineMs);
    }
    test::TProgramRun Hit(bool asNobody = false) { return Run("tlvxcount", "id=7&node=main", asNobody); }
    test::TProgramRun Page(bool asNobody = false) { return Run("tlvxstat", "id=7&page=main", asNobody); }

    int32_t StoredHits() {
        Ref<ICounter2> counter;
        OpenCounter2(Database(), counter, TSkinStreams{}, true, "");
        return counter ? counter->GetSettings().TotalHits : -1;
    }

    TTestTempDir dir_;
};

void ExpectOneLineNaming(const test::TProgramRun& run, const std::string& file) {
    EXPECT_FALSE(run.TimedOut);
    EXPECT_EQ(0, run.ExitCode);
    EXPECT_EQ(1u, Lines(run.Err)) << run.Err;
    EXPECT_NE(std::string::npos, run.Err.find(file)) << run.Err;
}

// A hit on a database it cannot get is answered with the pixel, a page with
// the notice; each says why on stderr, in one line that names the file.
void ExpectAnsweredWithoutTheDatabase(const test::TProgramRun& hit, const test::TProgramRun& page,
                                      const std::string& file) {
    ExpectOneLineNaming(hit, file);
    EXPECT_NE(std::string::npos, hit.Out.find("Content-Type: image/gif")) << hit.Out.substr(0, 200);
    ExpectOneLineNaming(page, file);
    EXPECT_NE(std::string::npos, page.Out.find("No statistics yet"));
}

struct THostileCase {
    const char* Name;
    std::function<std::string(DatabaseFiles&)> Make;  // returns the file the lines must name
};

int MakePipe(const std::string& path) {
    fs::remove(path);
    return ::mkfifo(path.c_str(), 0666);
}

TEST_F(DatabaseFiles, NoFileOfOursInPlaceHangsOrPassesInSilence) {
    const std::string journal = JournalPathOf(Database()), gate = GatePathOf(Database());
    const std::string marker = Database() + "-install";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"database", Database()}, {"journal", journal}, {"gate", gate}, {"install marker", marker}};
    for (const auto& [name, path] : cases) {
        SCOPED_TRACE(name + " is a named pipe");
        const std::string keep = path + ".kept";
        if (fs::exists(path)) fs::rename(path, keep);
        ASSERT_EQ(0, MakePipe(path));
        ExpectAnsweredWithoutTheDatabase(Hit(), Page(), path);
        fs::remove(path);
        if (fs::exists(keep)) fs::rename(keep, path);
    }
    {
        SCOPED_TRACE("journal is a directory");
        fs::remove(journal);
        fs::create_directory(journal);
        ExpectAnsweredWithoutTheDatabase(Hit(), Page(), journal);
        fs::remove(journal);
    }
    {
        SCOPED_TRACE("database is a loop of links");
        fs::rename(Database(), Database() + ".kept");
        fs::create_symlink(Database() + ".b", Database());
        fs::create_symlink(Database(), Database() + ".b");
        ExpectAnsweredWithoutTheDatabase(Hit(), Page(), Database());
        fs::remove(Database());
        fs::remove(Database() + ".b");
        fs::rename(Database() + ".kept", Database());
    }
    {
        SCOPED_TRACE("data folder that may not be searched");
        fs::permissions(Data(), fs::perms(0700));  // root's, and nobody runs the programs
        if (::geteuid() != 0) fs::permissions(Data(), fs::perms::none);
        ExpectAnsweredWithoutTheDatabase(Hit(true), Page(true), Database());
        fs::permissions(Data(), fs::perms(0777));
    }
    {
        SCOPED_TRACE("configuration and access list are named pipes");
        ASSERT_EQ(0, MakePipe(dir_.File(".tlvx2access")));
        const test::TProgramRun refused = Page();
        ExpectOneLineNaming(refused, dir_.File(".tlvx2access"));
        EXPECT_NE(std::string::npos, refused.Out.find("Status: 403"));
        fs::remove(dir_.File(".tlvx2access"));
        const std::string conf = test::ReadWholeFile(Conf());
        ASSERT_EQ(0, MakePipe(Conf()));
        ExpectAnsweredWithoutTheDatabase(Hit(), Page(), Conf());
        fs::remove(Conf());
        test::WriteWholeFile(Conf(), conf);
    }
    // Nothing was counted, nothing was harmed: the next hit counts.
    EXPECT_EQ(0, StoredHits());
    const test::TProgramRun hit = Hit();
    EXPECT_EQ("", hit.Err);
    EXPECT_EQ(1, StoredHits());
}

// A database that is not there, as a site owner gets it wrong: each program
// names the file, says it does not exist and gives the console command that
// creates it, in one line.
TEST_F(DatabaseFiles, AMissingDatabaseIsNamedWithTheCommandThatMakesIt) {
    auto expectMissing = [&](const std::string& id, const std::string& hitFile, const std::string& pageFile,
                             bool configured) {
        SCOPED_TRACE(id);
        const test::TProgramRun hit = Run("tlvxcount", "id=" + id + "&node=main"), page = Run("tlvxstat", "id=" + id);
        EXPECT_NE(std::string::npos, hit.Out.find("Content-Type: image/gif"));
        EXPECT_NE(std::string::npos, page.Out.find("No statistics yet"));
        for (const auto& [run, file, command] : {std::tuple{&hit, hitFile, "tlvxcount -INSTALL "},
                                                 std::tuple{&page, pageFile, "tlvxstat -install "}}) {
            ExpectOneLineNaming(*run, file);
            EXPECT_NE(std::string::npos, run->Err.find(file + " does not exist")) << run->Err;
            EXPECT_NE(std::string::npos, run->Err.find(command + id + "\n")) << run->Err;
            EXPECT_EQ(!configured, run->Err.find("no block for this id") != std::string::npos) << run->Err;
        }
    };
    const std::string typo = Data() + "/sevn.orv";
    test::WriteWholeFile(Conf(), "<Base:7>\nDataBaseName=" + typo + "\n</Base>\n");
    expectMissing("7", typo, typo, true);
    test::WriteWholeFile(Conf(), "<Base:7>\nDataBaseName=\n</Base>\n");
    for (const test::TProgramRun& run : {Hit(), Page()}) {
        EXPECT_EQ(1u, Lines(run.Err));
        EXPECT_NE(std::string::npos, run.Err.find("block of id 7 names no counter database")) << run.Err;
    }
    // No block for the id: the install makes the file beside each program.
    expectMissing("8", dir_.File("tlvxcount.orv"), dir_.File("tlvxstat.orv"), false);
    EXPECT_FALSE(fs::exists(dir_.File("tlvxcount.orv")) || fs::exists(dir_.File("tlvxstat.orv")) || fs::exists(typo));

    // An id of the request's making leaves one short line with no raw
    // control byte: a log line cannot be split, forged or made to steer a
    // terminal.
    const std::string hostile = "%0D%0Awarning:%20forged%1B[31m%5C" + std::string(6000, 'x');
    for (const char* program : {"tlvxcount", "tlvxstat"}) {
        const test::TProgramRun run = Run(program, "id=" + hostile);
        ASSERT_EQ(1u, Lines(run.Err)) << run.Err.substr(0, 300);
        EXPECT_LT(run.Err.size(), 400u);
        EXPECT_EQ(run.Err.end() - 1, std::find_if(run.Err.begin(), run.Err.end(),
                                                  [](char c) { return (unsigned char)c < 0x20 || c == 0x7f; }));
        EXPECT_NE(std::string::npos, run.Err.find(" \\x0d\\x0awarning: forged\\x1b[31m\\\\xxx")) << run.Err;
        EXPECT_NE(std::string::npos, run.Err.find("[cut, 6023 bytes]")) << run.Err;
    }
    // Where the database is there, nothing is said.
    test::WriteWholeFile(Conf(), "<Base:7>\nDataBaseName=" + Database() + "\n</Base>\n");
    EXPECT_EQ("", Hit().Err);
    EXPECT_EQ("", Page().Err);
    EXPECT_EQ(1, StoredHits());
}

// A hit that waits for a reader is served before a report page that comes
// after it: the page shows the hit.
TEST_F(DatabaseFiles, AHitQueuedBehindAReaderGoesBeforeALaterPage) {
    // A reader of a database too large for its copy: it holds the lock.
    auto reader = RealFileSystem().Open(Database(), TFileAccess::Read, TDisposition::OpenExisting);
    test::TProgramRun hit, page;
    std::thread hitter([&] { hit = Hit(); });
    const bool hitQueued = test::WaitUntilQueued(Database(), 1);
    std::thread viewer([&] { page = Page(); });
    const bool pageQueued = hitQueued && test::WaitUntilQueued(GatePathOf(Database()), 1);
    reader.reset();
    hitter.join();
    viewer.join();
    ASSERT_TRUE(hitQueued);
    ASSERT_TRUE(pageQueued) << "the later page did not wait at the gate";
    EXPECT_EQ("", hit.Err);
    EXPECT_EQ(1, StoredHits());
    const std::vector<std::string> cells = test::SummaryCells(page.Out);
    ASSERT_EQ(25u, cells.size()) << page.Err;
    EXPECT_EQ("1", cells[5]);  // total hits: the page read after the hit
}

}  // namespace
}  // namespace tlvx
