// tlvxcount as a CGI program under lighttpd, spoken to over HTTP.
#include <gtest/gtest.h>

#include <filesystem>

#include "counter/pixel_image.h"
#include "counter/test_http_client.h"
#include "counter/test_lighttpd.h"

namespace tlvx {
namespace {

using test::HttpGet;
using test::THttpReply;

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

class CounterServer : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = server_.InstallCgi(TLVX_TLVXCOUNT, "tlvxcount");
        server_.Start();
    }
    THttpReply Get(const std::string& query, const std::string& headers = "") {
        return HttpGet(server_.Port(), "/cgi-bin/tlvxcount" + query, headers);
    }
    std::string DatabasePath() const { return server_.CgiDir() + "/tlvxcount.orv"; }

    test::TLighttpd server_;
    std::string program_;
};

TEST_F(CounterServer, WithoutDatabaseAnswersOnePixelAndCreatesNothing) {
    THttpReply black = Get("?id=7&node=main");
    EXPECT_EQ(200, black.Status);
    EXPECT_EQ("image/gif", black.Header("Content-Type"));
    EXPECT_EQ(Bytes(OnePixelGIF(0)), black.Body);
    ASSERT_EQ(799u, black.Body.size());
    EXPECT_EQ(std::string("\0\0\0", 3), black.Body.substr(13, 3));
    EXPECT_TRUE(black.All("Set-Cookie").empty());

    // BBGGRR: 0000FF is red.
    THttpReply red = Get("?style=point&color=0000ff");
    EXPECT_EQ(Bytes(OnePixelGIF(0x0000FF)), red.Body);
    EXPECT_EQ(std::string("\xFF\0\0", 3), red.Body.substr(13, 3));

    THttpReply ssi = Get("?call=Ssi&node=main");
    EXPECT_EQ(200, ssi.Status);
    EXPECT_EQ("text/html", ssi.Header("Content-Type"));
    EXPECT_EQ("", ssi.Body);

    EXPECT_FALSE(std::filesystem::exists(DatabasePath()));
}

TEST_F(CounterServer, InstallSwitchInAWebQueryCreatesNothing) {
    // An ISINDEX query reaches a CGI program as command-line arguments.
    THttpReply reply = Get("?-INSTALL+7");
    EXPECT_EQ(200, reply.Status);
    EXPECT_EQ("image/gif", reply.Header("Content-Type"));
    EXPECT_EQ(std::string::npos, reply.Body.find("DataBase"));
    EXPECT_FALSE(std::filesystem::exists(DatabasePath()));
}

}  // namespace
}  // namespace tlvx
