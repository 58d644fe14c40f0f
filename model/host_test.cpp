#include <gtest/gtest.h>

#include "model/host.h"

namespace tlvx {
namespace {

TEST(NormaliseHostTest, RealReferrerShapes) {
    struct Case {
        const char* url;
        const char* host;
    } cases[] = {
        {"http://www.example.com/index.html?q=1", "EXAMPLE.COM"},
        {"HTTP://WWW.Example.COM", "EXAMPLE.COM"},
        {"https://www.example.com/path/", "EXAMPLE.COM"},
        {"https://search.example.org:443/?q=x", "SEARCH.EXAMPLE.ORG"},
        {"http://example.com:8080/", "EXAMPLE.COM"},
        {"  http://mail.example.ru/  ", "MAIL.EXAMPLE.RU"},
        {"www.example.com", "EXAMPLE.COM"},
        {"example.com/a/b", "EXAMPLE.COM"},
        {"http://192.168.0.1/x", "192.168.0.1"},
        {"http://localhost./", "LOCALHOST"},  // a lone trailing dot goes
        {"http://user@example.com/", ""},
        {"mailto:someone@example.com", ""},
        {"http://.example.com/", ""},
        {"http://a;b.com/", ""},
        {"localhost", ""},
        {"http://localhost/", ""},
        {"", ""},
        {"ftp://files.example.com/x", "FTP"},  // other schemes keep their name
        {"http://www.пример.рф/", "пример.рф"},
    };
    for (const Case& c : cases) EXPECT_EQ(NormaliseHost(c.url), c.host) << c.url;
}

TEST(NormaliseHostTest, HttpsIsNotItsOwnHost) {
    EXPECT_EQ(NormaliseHost("https://a.example.com/"), "A.EXAMPLE.COM");
    EXPECT_EQ(NormaliseHost("https://b.example.net/"), "B.EXAMPLE.NET");
    EXPECT_NE(NormaliseHost("https://x.y/"), "HTTPS");
}

TEST(NormaliseHostTest, IdempotentOnItsResult) {
    for (const char* url : {"http://www.Example.com:81/x", "https://sub.example.org", "a.b"}) {
        std::string h = NormaliseHost(url);
        EXPECT_EQ(NormaliseHost(h), h) << url;
    }
}

}  // namespace
}  // namespace tlvx
