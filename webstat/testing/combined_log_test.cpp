#include "webstat/testing/combined_log.h"

#include <gtest/gtest.h>

#include "platform/clock.h"

namespace tlvx::test {
namespace {

TEST(CombinedLog, ReadsTheFieldsTheReplayUses) {
    const auto line = ParseCombinedLogLine(
        R"(83.149.9.216 - - [17/May/2015:10:05:03 +0200] "GET /blog/a.html?utm_source=x HTTP/1.1" 200 203023 )"
        R"("http://semicomplete.com/p/" "Mozilla/5.0 (X11) \"quoted\"")");
    ASSERT_TRUE(line);
    EXPECT_EQ("83.149.9.216", line->Client);
    EXPECT_DOUBLE_EQ(EncodeDateTime(2015, 5, 17, 8, 5, 3), line->When);  // GMT
    EXPECT_EQ("GET", line->Method);
    EXPECT_EQ("/blog/a.html", line->Path);
    EXPECT_EQ("utm_source=x", line->Query);
    EXPECT_EQ(200, line->Status);
    EXPECT_EQ("http://semicomplete.com/p/", line->Referrer);
    EXPECT_EQ(R"(Mozilla/5.0 (X11) \"quoted\")", line->Agent);
}

TEST(CombinedLog, ToleratesAMissingClosingQuoteAndDashesAndSkipsWhatIsNoLine) {
    const auto open = ParseCombinedLogLine(R"(1.2.3.4 - - [20/May/2015:21:05:59 +0000] "GET / HTTP/1.1" 200 1 "-" "curl/7.1)");
    ASSERT_TRUE(open);
    EXPECT_EQ("", open->Referrer);
    EXPECT_EQ("curl/7.1", open->Agent);
    EXPECT_FALSE(ParseCombinedLogLine(""));
    EXPECT_FALSE(ParseCombinedLogLine("1.2.3.4 - - [32/Foo/2015:10:05:03 +0000] \"GET / HTTP/1.1\" 200 1"));
    EXPECT_EQ(1u, ParseCombinedLog("garbage\n" + std::string(R"(1.2.3.4 - - [20/May/2015:21:05:59 +0000] "GET / HTTP/1.1" 200 1 "-" "-")") + "\n").size());
}

TEST(CombinedLog, PageViewsAndTheirNodes) {
    auto node = [](const std::string& method, const std::string& target, int status) {
        TLogLine line;
        line.Method = method;
        line.Path = target.substr(0, target.find('?'));
        if (target.find('?') != std::string::npos) line.Query = target.substr(target.find('?') + 1);
        line.Status = status;
        return PageViewNode(line);
    };
    EXPECT_EQ("index", node("GET", "/", 200));
    EXPECT_EQ("blog.geekery.ssl-latency_html", node("GET", "/blog/geekery/ssl-latency.html?utm_source=feed", 200));
    EXPECT_EQ("projects.xdotool", node("GET", "/projects//xdotool/", 200));
    EXPECT_EQ("", node("GET", "/blog/tags/puppet?flav=rss20", 200));  // a feed
    EXPECT_EQ("", node("GET", "/images/logo.PNG", 200));
    EXPECT_EQ("", node("HEAD", "/", 200));
    EXPECT_EQ("", node("GET", "/missing.html", 404));
}

}  // namespace
}  // namespace tlvx::test
