// The report program's three roads and their order, run in-process over
// fixture databases.
#include "webstat/main_module.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>

#include "model/counter2.h"
#include "model/error_notes.h"
#include "webstat/image_action.h"
#include "webstat/page_table.h"
#include "webstat/static_images.h"
#include "webstat/testing/page_parts.h"
#include "webstat/testing/report_site.h"

namespace tlvx {
namespace {

namespace fs = std::filesystem;
using test::FileBytes;
using test::TReportAnswer;
using test::TReportFixture;
using test::TReportSite;

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Every file below dir, with its bytes.
std::map<std::string, std::string> Tree(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        files[entry.path().string()] = entry.is_regular_file() ? FileBytes(entry.path().string()) : "(dir)";
    return files;
}

// The console install road of the site's program.
TReportAnswer Console(const TReportSite& site, std::vector<std::string> args,
                      const std::map<std::string, std::string>& vars = {}) {
    args.insert(args.begin(), site.Program());
    return test::RunReportInProcess(args, TMapEnvironment(vars));
}

TEST(ReportRoads, InstallFromTheConsoleCreatesTheDatabaseAndSaysSoAfterwards) {
    const TReportSite site(TReportFixture::Empty);
    fs::remove(site.Database());
    const TReportAnswer made = Console(site, {"-install", "site"});
    EXPECT_EQ("Tallyvex2 DataBase successfully created!\n", made.Out);
    EXPECT_EQ(0, made.ExitCode);
    {
        Ref<ICounter2> counter;
        OpenCounter2(site.Database(), counter, TSkinStreams{}, true, "");
        ASSERT_TRUE(counter);
        EXPECT_EQ(1, counter->GetSkins()->GetSkinCount());
        EXPECT_EQ(0, counter->GetSettings().TotalHits);
    }
    // Again: the database is found as it is and reported.
    const std::string before = FileBytes(site.Database());
    EXPECT_EQ("Tallyvex2 DataBase successfully created!\n", Console(site, {"-install", "site"}).Out);
    EXPECT_EQ(before, FileBytes(site.Database()));
    // No id: the database beside the program.
    fs::remove(site.DefaultDatabase());
    EXPECT_EQ("Tallyvex2 DataBase successfully created!\n", Console(site, {"-install"}).Out);
    EXPECT_TRUE(fs::exists(site.DefaultDatabase()));

    site.WriteConf("<Base:site>\nDataBaseName=" + site.Dir() + "/no/such/dir/x.orv\n</Base>\n");
    EXPECT_EQ("Tallyvex2 DataBase NOT created!!!\n", Console(site, {"-install", "site"}).Out);
    EXPECT_FALSE(fs::exists(site.Dir() + "/no"));
}

// What a cut-off install leaves (a file and its install marker) is no
// database: one install run clears it and creates the database.
TEST(ReportRoads, InstallFinishesTheRemainsOfACutOffOne) {
    const TReportSite site(TReportFixture::Empty);
    Write(site.Database(), "half a database");
    Write(site.Database() + "-install", "");
    EXPECT_EQ("Tallyvex2 DataBase successfully created!\n", Console(site, {"-install", "site"}).Out);
    EXPECT_FALSE(fs::exists(site.Database() + "-install"));
    Ref<ICounter2> counter;
    OpenCounter2(site.Database(), counter, TSkinStreams{}, true, "");
    ASSERT_TRUE(counter);
    EXPECT_EQ(0, counter->GetSettings().TotalHits);
}

TEST(ReportRoads, InstallSwitchIsNoInstallUnderAWebServerNorInAnotherCase) {
    const TReportSite site(TReportFixture::Empty);
    fs::remove(site.Database());
    fs::remove(site.DefaultDatabase());
    const auto before = Tree(site.Dir());
    // A web server passes an ISINDEX query as arguments: a page, no database.
    const TReportAnswer web = Console(site, {"-install", "site"},
                                      {{"GATEWAY_INTERFACE", "CGI/1.1"}, {"REQUEST_METHOD", "GET"},
                                       {"QUERY_STRING", "-install+site"}});
    EXPECT_EQ(200, web.Status);
    EXPECT_EQ(std::string(kNoStatisticsNotice), test::ContentArea(web.Body));
    EXPECT_EQ(before, Tree(site.Dir()));
    // "-INSTALL" is not the install road (that wants "-install"); the
    // request it then makes still creates the database beside the program,
    // since the creation takes the switch in any case.
    const TReportAnswer upper = Console(site, {"-INSTALL", "site"});
    EXPECT_EQ(std::string::npos, upper.Out.find("DataBase"));
    EXPECT_EQ(200, upper.Status);
    EXPECT_TRUE(fs::exists(site.DefaultDatabase()));
    EXPECT_FALSE(fs::exists(site.Database()));
}

TEST(ReportRoads, RefusedUserGets403AndNothingIsRead) {
    const TReportSite site(TReportFixture::OneDay);
    Write(site.AccessFile(), "# who sees what\nsite ann,bob\n");
    // A configuration with an unclosed block is warned about when it is
    // read: a refused request does not read it.
    site.WriteConf("<Base:site>\nDataBaseName=" + site.Database() + "\n");
    for (const std::string query : {"id=site&page=times", "id=site&img=1&imgind=12", "id=site&img=1&imgind=1"}) {
        for (const std::string user : {"carol", ""}) {
            const TReportAnswer refused = site.Get(query, {{"AUTH_USER", user}});
            EXPECT_EQ(403, refused.Status) << query << " " << user;
            EXPECT_EQ(std::string(kForbiddenBody), refused.Body);
            EXPECT_EQ("text/html", refused.Header("Content-Type"));
            EXPECT_EQ("", refused.Err);
        }
    }
    // The probe works: an admitted request does read the configuration.
    EXPECT_NE("", site.Get("id=other").Err);
    // A listed user passes, and so does any user on an id nobody guards.
    site.WriteConf(site.StandardConf());
    EXPECT_EQ(200, site.Get("id=site&img=1&imgind=12", {{"AUTH_USER", "bob"}}).Status);
    EXPECT_EQ("image/gif", site.Get("id=site&img=1&imgind=2", {{"AUTH_USER", "bob"}}).Header("Content-Type"));
    EXPECT_EQ(200, site.Get("id=other", {{"REMOTE_USER", "carol"}}).Status);
    EXPECT_EQ(403, site.Get("id=site", {{"REMOTE_USER", "carol"}}).Status);
}

TEST(ReportRoads, ImageRoadComesBeforeThePage) {
    const TReportSite site(TReportFixture::OneDay);
    const TReportAnswer logo = site.Get("id=site&page=times&img=1&imgind=12");
    EXPECT_EQ("image/gif", logo.Header("Content-Type"));
    const std::vector<uint8_t> gif = StaticImageGIF(12);
    EXPECT_EQ(std::string(gif.begin(), gif.end()), logo.Body);
    // img empty: no image road.
    EXPECT_EQ("text/html", site.Get("id=site&img=&imgind=12").Header("Content-Type"));
}

TEST(ReportRoads, MissingDatabaseLeavesNoFileAndShowsTheNotice) {
    const TReportSite site(TReportFixture::Empty);
    fs::remove(site.Database());
    fs::remove(site.DefaultDatabase());
    const auto before = Tree(site.Dir());
    for (const std::string query : {"id=site", "id=site&page=times", "id=nobody&page=weeks", "",
                                    "id=site&page=about"}) {
        const TReportAnswer answer = site.Get(query);
        EXPECT_EQ(200, answer.Status) << query;
        EXPECT_TRUE(test::ContentArea(answer.Body).starts_with(std::string(kNoStatisticsNotice))) << query;
        EXPECT_TRUE(test::SummaryCells(answer.Body).empty());
        EXPECT_EQ("", test::ServerTimeLine(answer.Body));
        EXPECT_NE(std::string::npos, answer.Err.find("to create it run: tlvxstat -install")) << answer.Err;
    }
    EXPECT_EQ(before, Tree(site.Dir()));
}

TEST(ReportRoads, DamagedDatabaseIsShownAsNoStatisticsAndLeftAlone) {
    const TReportSite site(TReportFixture::OneDay);
    std::string bytes = FileBytes(site.Database());
    for (size_t i = 0; i < 128; ++i) bytes[i] = char(~bytes[i]);
    Write(site.Database(), bytes);
    const TReportAnswer answer = site.Get("id=site&page=main");
    EXPECT_EQ(200, answer.Status);
    EXPECT_EQ(std::string(kNoStatisticsNotice), test::ContentArea(answer.Body));
    EXPECT_EQ(bytes, FileBytes(site.Database()));
}

TEST(ImageRoad, ServesEachPictureByNumberAndAnswers404Otherwise) {
    const TReportSite site(TReportFixture::OneDay);
    // Files named as the pies are not what the pies show.
    Write(site.Images() + "/lang.gif", "GIF89a lang");
    Write(site.Images() + "/brw.gif", "GIF89a brw");
    for (int32_t n = kFirstImageNumber; n <= kLastImageNumber; ++n) {
        const TReportAnswer image = site.Get("id=site&img=1&imgind=" + std::to_string(n));
        EXPECT_EQ(200, image.Status) << n;
        EXPECT_EQ("image/gif", image.Header("Content-Type")) << n;
        const std::string file = FileBytes(site.Images() + "/" + std::string(ImageFileName(n)));
        if (IsPieImage(n)) {
            EXPECT_TRUE(image.Body.starts_with("GIF87a") && image.Body != file) << n;
        } else {
            EXPECT_EQ(file, image.Body) << n;
        }
    }
    // A symbolic link to a picture is a picture.
    fs::remove(site.Images() + "/up.gif");
    fs::create_symlink(site.Images() + "/down.gif", site.Images() + "/up.gif");
    EXPECT_EQ(FileBytes(site.Images() + "/down.gif"), site.Get("id=site&img=1&imgind=10").Body);

    fs::remove(site.Images() + "/enex.gif");
    fs::create_directory(site.Images() + "/enex.gif");
    // A pipe is not waited on.
    fs::remove(site.Images() + "/pitrefs.gif");
    ASSERT_EQ(0, ::mkfifo((site.Images() + "/pitrefs.gif").c_str(), 0600));
    fs::remove(site.Images() + "/exits.gif");
    for (const std::string imgind : {"0", "14", "-1", "abc", "", "12abc", "99999999999", "8", "9", "7"}) {
        const TReportAnswer missing = site.Get("id=site&img=1&imgind=" + imgind);
        EXPECT_EQ(404, missing.Status) << imgind;
        EXPECT_EQ("text/html", missing.Header("Content-Type"));
        EXPECT_NE(std::string::npos, missing.Body.find("Not found"));
        EXPECT_EQ(0, missing.ExitCode);
    }
}

TEST(ImageRoad, WorksWithoutTheDatabaseAndWhileAWriterHoldsIt) {
    const TReportSite site(TReportFixture::OneDay);
    const int fd = ::open(site.Database().c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ::flock(fd, LOCK_EX));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FileBytes(site.Images() + "/logo.gif"), site.Get("id=site&img=1&imgind=12").Body);
    // Not held up by the writer's lock (a database open waits seconds).
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    ::close(fd);
    fs::remove(site.Database());
    EXPECT_EQ(FileBytes(site.Images() + "/name.gif"), site.Get("id=site&img=1&imgind=13").Body);
}

TEST(ImageRoad, ImagesDirectoryFallsBackBesideTheProgram) {
    const TReportSite site(TReportFixture::OneDay);
    const std::string beside = site.Dir() + "/cgi-bin/tlvxstat";
    fs::create_directory(beside);
    Write(beside + "/logo.gif", "beside");
    Write(site.Images() + "/logo.gif", "configured");
    EXPECT_EQ("configured", site.Get("id=site&img=1&imgind=12").Body);
    // No id: the configuration's directory is not used.
    EXPECT_EQ("beside", site.Get("img=1&imgind=12").Body);
    // An empty ImagesDirectory is no reason to read from "/".
    site.WriteConf("ImagesDirectory=\n<Base:site>\nDataBaseName=" + site.Database() + "\n</Base>\n");
    EXPECT_EQ("beside", site.Get("id=site&img=1&imgind=12").Body);
    // A directory without its trailing slash.
    site.WriteConf("ImagesDirectory=" + site.Images() + "\n<Base:site>\n</Base>\n");
    EXPECT_EQ("configured", site.Get("id=site&img=1&imgind=12").Body);
}

// Nothing a report request does writes a file: not the database, not the
// pictures, not even the images directory when it is missing.
TEST(ReportRoads, ReportRequestsWriteNoFile) {
    const TReportSite site(TReportFixture::FortyDays);
    const auto before = Tree(site.Dir());
    for (const TReportPage& page : ReportPages()) site.Get("id=site&page=" + std::string(page.Value));
    for (const std::string query : {"page=calendar&period=all", "page=calendar&kind=ref&ref=UNKNOWN&node=",
                                    "img=1&imgind=1", "img=1&imgind=2", "img=1&imgind=11"})
        site.Get("id=site&" + query);
    EXPECT_EQ(before, Tree(site.Dir()));
    fs::remove_all(site.Images());
    EXPECT_EQ(200, site.Get("id=site").Status);
    EXPECT_EQ(404, site.Get("id=site&img=1&imgind=12").Status);
    EXPECT_FALSE(fs::exists(site.Images()));
}

}  // namespace
}  // namespace tlvx
