#include "platform/web_request.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tlvx {
namespace {

TWebRequest MakeRequest(std::map<std::string, std::string> vars, const std::string& body = "") {
    TMapEnvironment env(std::move(vars));
    std::istringstream in(body);
    return TWebRequest(env, &in);
}

TEST(WebFields, PercentAndPlusDecoding) {
    TWebFields f = ParseUrlEncodedFields("a=x%41y&b=1+2&c=%e9%C0&n%61me=v&d=%2B");
    EXPECT_EQ(f.Value("a"), "xAy");
    EXPECT_EQ(f.Value("b"), "1 2");
    EXPECT_EQ(f.Value("c"), "\xE9\xC0");
    EXPECT_EQ(f.Value("name"), "v");
    EXPECT_EQ(f.Value("d"), "+");
}

TEST(WebFields, MalformedPercentSequencesStayLiteral) {
    TWebFields f = ParseUrlEncodedFields("a=%&b=%4&c=%zz1&d=100%&e=%%41&f=%0");
    EXPECT_EQ(f.Value("a"), "%");
    EXPECT_EQ(f.Value("b"), "%4");
    EXPECT_EQ(f.Value("c"), "%zz1");
    EXPECT_EQ(f.Value("d"), "100%");
    EXPECT_EQ(f.Value("e"), "%A");
    EXPECT_EQ(f.Value("f"), "%0");
}

TEST(WebFields, FirstMatchWinsNamesIgnoreCaseEmptyPiecesSkipped) {
    TWebFields f = ParseUrlEncodedFields("&&id=1&ID=2&nocookies&x==y&=z&");
    EXPECT_EQ(f.Value("id"), "1");
    EXPECT_EQ(f.Value("Id"), "1");
    EXPECT_TRUE(f.Has("nocookies"));
    EXPECT_EQ(f.Value("nocookies"), "");  // a bare name has the empty value
    EXPECT_EQ(f.Value("x"), "=y");        // split at the first '='
    EXPECT_EQ(f.Value(""), "z");
    EXPECT_FALSE(f.Has("missing"));
    EXPECT_EQ(f.Value("missing"), "");
    EXPECT_EQ(f.Count(), 5u);
}

TEST(WebFields, DecodedValuesKeepNulAndLineBreaks) {
    TWebFields f = ParseUrlEncodedFields("node=a%00b%0D%0ASet-Cookie:x");
    EXPECT_EQ(f.Value("node"), std::string("a\0b\r\nSet-Cookie:x", 17));
}

TEST(WebFields, CookiesWithOddSpacing) {
    TWebFields c = ParseCookieFields("  a=1;b = 2 ;;  c=%41%3B%25+ ;\tb=3; =x; flag ;d=e=f");
    EXPECT_EQ(c.Value("a"), "1");
    EXPECT_EQ(c.Value("b"), "2");  // first match wins
    EXPECT_EQ(c.Value("c"), "A;%+");  // '+' is no blank in a cookie
    EXPECT_TRUE(c.Has("flag"));
    EXPECT_EQ(c.Value("d"), "e=f");
    EXPECT_EQ(c.Count(), 6u);
    EXPECT_EQ(ParseCookieFields("").Count(), 0u);
    EXPECT_EQ(ParseCookieFields(" ; ;").Count(), 0u);
}

TEST(WebFields, CookieValueEncodingRoundTripsEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string encoded = EncodeCookieValue(all);
    for (char c : encoded) {
        auto b = static_cast<unsigned char>(c);
        EXPECT_TRUE(b > 0x20 && b < 0x7F && c != ';' && c != ',' && c != '"' && c != '\\') << b;
    }
    EXPECT_EQ(ParseCookieFields("v=" + encoded).Value("v"), all);
    EXPECT_EQ(EncodeCookieValue("main.news_1+2"), "main.news_1+2");  // plain values unchanged
    EXPECT_EQ(EncodeCookieValue("a b%\r\n"), "a%20b%25%0D%0A");
}

TEST(WebRequest, CgiVariables) {
    TWebRequest r = MakeRequest({{"QUERY_STRING", "id=7&node=main"},
                                 {"REQUEST_METHOD", "GET"},
                                 {"REMOTE_ADDR", "10.0.0.1"},
                                 {"HTTP_REFERER", "http://site/page.html"},
                                 {"HTTP_USER_AGENT", "Mozilla/4.0"},
                                 {"HTTP_ACCEPT_LANGUAGE", "ru,en"},
                                 {"HTTP_X_FORWARDED_FOR", "1.2.3.4"},
                                 {"http_x_forwarded_for", "9.9.9.9"},
                                 {"REMOTE_USER", "bob"},
                                 {"PATH_INFO", "/"},
                                 {"SCRIPT_NAME", "/cgi-bin/tlvxcount"},
                                 {"HTTP_HOST", "site"},
                                 {"HTTP_COOKIE", "k=v"}});
    EXPECT_EQ(r.Query(), "id=7&node=main");
    EXPECT_EQ(r.QueryFields().Value("node"), "main");
    EXPECT_EQ(r.Method(), "GET");
    EXPECT_EQ(r.RemoteAddr(), "10.0.0.1");
    EXPECT_EQ(r.Referer(), "http://site/page.html");
    EXPECT_EQ(r.UserAgent(), "Mozilla/4.0");
    EXPECT_EQ(r.AcceptLanguage(), "ru,en");
    EXPECT_EQ(r.ForwardedFor(), "1.2.3.4");
    EXPECT_EQ(r.AuthUser(), "bob");
    EXPECT_EQ(r.PathInfo(), "/");
    EXPECT_EQ(r.ScriptName(), "/cgi-bin/tlvxcount");
    EXPECT_EQ(r.Host(), "site");
    EXPECT_EQ(r.URL(), "");
    EXPECT_EQ(r.CookieFields().Value("k"), "v");

    TWebRequest lower = MakeRequest({{"http_x_forwarded_for", "9.9.9.9"},
                                     {"AUTH_USER", "ann"}, {"REMOTE_USER", "bob"}});
    EXPECT_EQ(lower.ForwardedFor(), "9.9.9.9");
    EXPECT_EQ(lower.AuthUser(), "ann");

    TWebRequest none = MakeRequest({});  // a console run
    EXPECT_EQ(none.Query(), "");
    EXPECT_EQ(none.QueryFields().Count(), 0u);
    EXPECT_EQ(none.Method(), "");
}

TEST(WebRequest, PostBodyFieldsBesideQueryFields) {
    std::map<std::string, std::string> vars = {
        {"REQUEST_METHOD", "POST"},
        {"QUERY_STRING", "id=7"},
        {"CONTENT_TYPE", "application/x-www-form-urlencoded; charset=windows-1251"},
        {"CONTENT_LENGTH", "17"}};
    TWebRequest r = MakeRequest(vars, "nodename=a+b&id=8EXTRA");
    EXPECT_EQ(r.Content(), "nodename=a+b&id=8");
    EXPECT_EQ(r.ContentFields().Value("nodename"), "a b");
    EXPECT_EQ(r.ContentFields().Value("id"), "8");
    EXPECT_EQ(r.QueryFields().Value("id"), "7");

    vars["CONTENT_LENGTH"] = "100";  // the stream ends early
    EXPECT_EQ(MakeRequest(vars, "a=1").ContentFields().Value("a"), "1");

    vars["CONTENT_TYPE"] = "multipart/form-data";
    EXPECT_EQ(MakeRequest(vars, "a=1").ContentFields().Count(), 0u);
    vars["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
    vars["REQUEST_METHOD"] = "GET";
    EXPECT_EQ(MakeRequest(vars, "a=1").ContentFields().Count(), 0u);
}

TEST(WebRequest, BodyIsBoundedAndLengthChecked) {
    std::map<std::string, std::string> vars = {
        {"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", "application/x-www-form-urlencoded"}};
    std::string big(kMaxRequestBody + 1, 'a');
    vars["CONTENT_LENGTH"] = std::to_string(big.size());
    TWebRequest r = MakeRequest(vars, big);
    EXPECT_TRUE(r.ContentTooLarge());
    EXPECT_EQ(r.Content(), "");
    EXPECT_EQ(r.ContentFields().Count(), 0u);

    vars["CONTENT_LENGTH"] = "99999999999999999999999999";  // no overflow
    EXPECT_TRUE(MakeRequest(vars, "a=1").ContentTooLarge());

    for (const char* bad : {"-1", "+3", " 3", "3 ", "0x10", "", "abc"}) {
        vars["CONTENT_LENGTH"] = bad;
        TWebRequest b = MakeRequest(vars, "a=1");
        EXPECT_FALSE(b.ContentTooLarge()) << bad;
        EXPECT_EQ(b.Content(), "") << bad;
    }

    std::string exact(kMaxRequestBody, 'b');
    exact.replace(0, 2, "x=");
    vars["CONTENT_LENGTH"] = std::to_string(exact.size());
    TWebRequest e = MakeRequest(vars, exact);
    EXPECT_FALSE(e.ContentTooLarge());
    EXPECT_EQ(e.ContentFields().Value("x").size(), kMaxRequestBody - 2);

    TMapEnvironment env({{"CONTENT_LENGTH", "5"}, {"REQUEST_METHOD", "POST"}});
    TWebRequest noStream(env, nullptr);
    EXPECT_EQ(noStream.Content(), "");
}

TEST(CgiEnvironment, RunningUnderCgi) {
    EXPECT_FALSE(RunningUnderCgi(TMapEnvironment()));
    TMapEnvironment gateway, method;
    gateway.Set("GATEWAY_INTERFACE", "CGI/1.1");
    method.Set("REQUEST_METHOD", "");  // set, though empty
    EXPECT_TRUE(RunningUnderCgi(gateway));
    EXPECT_TRUE(RunningUnderCgi(method));

    // The install switch counts only from the console, in any letter case.
    const TMapEnvironment console;
    EXPECT_TRUE(IsConsoleInstall({"tlvxstat", "-install", "7"}, console));
    EXPECT_TRUE(IsConsoleInstall({"tlvxcount", "-InStAlL"}, console));
    EXPECT_FALSE(IsConsoleInstall({"tlvxcount", "-INSTALL", "7"}, gateway));
    EXPECT_FALSE(IsConsoleInstall({"tlvxcount", "-INSTALL", "7"}, method));
    EXPECT_FALSE(IsConsoleInstall({"tlvxcount", "install"}, console));
    EXPECT_FALSE(IsConsoleInstall({"tlvxcount"}, console));
}

}  // namespace
}  // namespace tlvx
