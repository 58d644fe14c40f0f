#include "platform/web_response.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "platform/cgi_run.h"
#include "platform/clock.h"
#include "platform/testing/fixed_sources.h"

namespace tlvx {
namespace {

class WebResponseTest : public ::testing::Test {
protected:
    void SetUp() override { SetClock(&clock_); }
    void TearDown() override { SetClock(nullptr); }
    // Moscow-like clock: local time is UTC + 3 hours.
    TSettableClock clock_{EncodeDateTime(2026, 12, 8, 12, 0, 0), -180};
    std::ostringstream out_;
};

TEST_F(WebResponseTest, DefaultReplyBytes) {
    TWebResponse r(out_);
    r.SendResponse();
    EXPECT_EQ(out_.str(),
              "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: 0\r\n\r\n");
}

TEST_F(WebResponseTest, CookiesAndBytesExactly) {
    TWebResponse r(out_);
    r.SetContentType("image/gif");
    r.SetContent(std::string("GIF\0\r\n", 6));
    r.AddCookie("ABC", "{x y}", EncodeDateTime(2026, 12, 8, 12, 5, 0));
    r.AddCookie("ABC_userid", "1234", EncodeDateTime(2027, 12, 8, 1, 0, 0), "/", "example.org");
    r.AddCookie("plain", "v");
    r.SendResponse();
    EXPECT_EQ(out_.str(),
              "Status: 200 OK\r\n"
              "Content-Type: image/gif\r\n"
              "Content-Length: 6\r\n"
              "Set-Cookie: ABC={x%20y}; expires=Tue, 08 Dec 2026 09:05:00 GMT\r\n"
              "Set-Cookie: ABC_userid=1234; domain=example.org; path=/; "
              "expires=Tue, 07 Dec 2027 22:00:00 GMT\r\n"
              "Set-Cookie: plain=v\r\n"
              "\r\n" +
                  std::string("GIF\0\r\n", 6));
}

TEST_F(WebResponseTest, ExpiryTextAcrossYearAndBias) {
    EXPECT_EQ(FormatCookieExpires(EncodeDateTime(2027, 1, 1, 0, 30, 0), 60),
              "Fri, 01 Jan 2027 01:30:00 GMT");
    EXPECT_EQ(FormatCookieExpires(EncodeDateTime(2027, 1, 1, 0, 30, 0), -60),
              "Thu, 31 Dec 2026 23:30:00 GMT");
    EXPECT_EQ(FormatCookieExpires(EncodeDateTime(2024, 2, 29, 23, 59, 59), 0),
              "Thu, 29 Feb 2024 23:59:59 GMT");
    EXPECT_THROW(FormatCookieExpires(1e9, 0), std::invalid_argument);
}

TEST_F(WebResponseTest, SentOnceAndContentStream) {
    TWebResponse r(out_);
    auto stream = std::make_unique<TMemoryStream>(std::string("xxGIF89a"));
    stream->Seek(2);  // sent from its position
    r.SetContentStream(std::move(stream));
    r.SetStatus(404);
    r.SendResponse();
    const std::string first = out_.str();
    EXPECT_EQ(first,
              "Status: 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 6\r\n\r\nGIF89a");
    EXPECT_TRUE(r.Sent());
    r.SetContent("more");
    r.Reset();
    r.SendResponse();
    EXPECT_EQ(out_.str(), first);

    // Content replaces a stream and the other way round.
    std::ostringstream out2;
    TWebResponse r2(out2);
    r2.SetContentStream(std::make_unique<TMemoryStream>(std::string("stream")));
    r2.SetContent("text");
    r2.SendResponse();
    EXPECT_EQ(out2.str().substr(out2.str().size() - 4), "text");
}

TEST_F(WebResponseTest, HostileTextNeverBreaksAHeaderLine) {
    TWebResponse r(out_);
    r.SetContentType("text/html\r\nX-Injected: 1");
    r.SetStatus(200, "OK\r\nX-Injected: 2");
    r.AddCookie("S_lastvisit", "x\r\nSet-Cookie: evil=1");   // value: encoded
    r.AddCookie("bad\r\nX-Injected: 3", "v");                 // name: refused
    r.AddCookie("sp ace", "v");                               // no token: refused
    r.AddCookie("", "v");                                     // refused
    r.AddCookie("p", "v", 0, "/\r\nX-Injected: 4");           // path: refused
    r.AddCookie("d", "v", 0, "", "a.org;secure");             // domain: refused
    r.AddCookie("late", "v", 1e9);                            // no such date: refused
    r.SendResponse();
    const std::string text = out_.str();
    const std::string head = text.substr(0, text.find("\r\n\r\n") + 2);
    // Every CR is a line end of our own, and every line is one of ours.
    size_t lines = 0;
    for (size_t i = 0; i < head.size(); ++i) {
        if (head[i] == '\r') {
            ASSERT_EQ(head[i + 1], '\n');
            ++lines;
        } else if (head[i] == '\n') {
            ASSERT_EQ(head[i - 1], '\r');
        }
    }
    EXPECT_EQ(lines, 4u);
    EXPECT_NE(head.find("Status: 200 OKX-Injected: 2\r\n"), std::string::npos);
    EXPECT_NE(head.find("Content-Type: text/htmlX-Injected: 1\r\n"), std::string::npos);
    EXPECT_NE(head.find("Set-Cookie: S_lastvisit=x%0D%0ASet-Cookie:%20evil=1\r\n"),
              std::string::npos);
}

TEST_F(WebResponseTest, RunCgiTurnsAnEscapedErrorIntoABare500) {
    TMapEnvironment env({{"QUERY_STRING", "id=7"}, {"REQUEST_METHOD", "GET"}});
    std::ostringstream err;
    int rc = RunCgi(
        [](const TWebRequest& request, TWebResponse& response) {
            response.AddCookie("k", "v");
            response.SetContent("half a page");
            throw std::runtime_error("secret path /var/db/" + request.QueryFields().Value("id"));
        },
        env, nullptr, out_, err);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out_.str(),
              "Status: 500 Internal Server Error\r\nContent-Type: text/plain\r\n"
              "Content-Length: 23\r\n\r\nInternal Server Error\r\n");
    EXPECT_NE(err.str().find("secret path /var/db/7"), std::string::npos);
}

TEST_F(WebResponseTest, RunCgiLeavesASentReplyAndSendsNothingByItself) {
    TMapEnvironment env;
    std::ostringstream err;
    int rc = RunCgi(
        [](const TWebRequest&, TWebResponse& response) {
            response.SetContent("done");
            response.SendResponse();
            throw 42;  // not even a std::exception
        },
        env, nullptr, out_, err);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out_.str(),
              "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: 4\r\n\r\ndone");
    EXPECT_FALSE(err.str().empty());

    std::ostringstream console, err2;
    rc = RunCgi([&](const TWebRequest&, TWebResponse&) { console << "console line\n"; }, env,
                nullptr, console, err2);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(console.str(), "console line\n");
    EXPECT_EQ(err2.str(), "");
}

}  // namespace
}  // namespace tlvx
