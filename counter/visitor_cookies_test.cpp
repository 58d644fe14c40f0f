#include "counter/visitor_cookies.h"

#include <gtest/gtest.h>

#include <sstream>

#include "model/error_notes.h"
#include "platform/clock.h"
#include "platform/guid.h"

namespace tlvx {
namespace {

const std::string kDb = "{EEF8A118-B004-4CEF-885D-7A6D41788651}";
const std::string kG = "EEF8A118-B004-4CEF-885D-7A6D41788651";
const std::string kS = "0A1B2C3D-1111-2222-3333-444455556666";
const std::string kU = "9A1B2C3D-1111-2222-3333-444455556666";

TEST(LastDateCookie, FormatsAndReadsBack) {
    const double t = EncodeDateTime(2026, 12, 8, 13, 4, 5);
    EXPECT_EQ("08.12.2026 13.04.05", FormatLastDate(t));
    EXPECT_EQ("08.12.2026", FormatLastDate(EncodeDateTime(2026, 12, 8)));
    double back = 0;
    ASSERT_TRUE(ParseLastDate("08.12.2026 13.04.05", back));
    EXPECT_DOUBLE_EQ(t, back);
    ASSERT_TRUE(ParseLastDate("8.12.2026 1.4", back));
    EXPECT_DOUBLE_EQ(EncodeDateTime(2026, 12, 8, 1, 4), back);
    ASSERT_TRUE(ParseLastDate("08.12.2026", back));
    EXPECT_DOUBLE_EQ(EncodeDateTime(2026, 12, 8), back);
    for (const char* bad : {"", "31.02.2026", "08.12.2026 24.00.00", "08.12.2026 13.04.05x",
                            "08/12/2026", "08.12.2026  13.04", "08.12.", "a"})
        EXPECT_FALSE(ParseLastDate(bad, back)) << bad;
}

TEST(VisitorCookies, ReadBackWhatWasWritten) {
    std::ostringstream out;
    TWebResponse response(out);
    response.AddCookie("stale", "x");
    const double t = EncodeDateTime(2026, 12, 8, 13, 4, 5);
    const std::string node = "news.a\r\nSet-Cookie: evil=1; x";
    WriteCookies(response, kDb, "{" + kS + "}", t, "{" + kU + "}", "YANDEX.RU", node);
    const auto& c = response.Cookies();
    ASSERT_EQ(5u, c.size());
    EXPECT_EQ(kG, c[0].Name);
    EXPECT_EQ(kS, c[0].Value);
    EXPECT_EQ(kG + "_lastdate", c[1].Name);
    EXPECT_EQ("08.12.2026 13.04.05", c[1].Value);
    EXPECT_DOUBLE_EQ(t + 365, c[1].Expires);
    EXPECT_EQ(kS + "_lastvisit", c[2].Name);
    EXPECT_EQ(node, c[2].Value);
    EXPECT_EQ(kG + "_userid", c[3].Name);
    EXPECT_EQ(kU, c[3].Value);
    EXPECT_DOUBLE_EQ(t + 365, c[3].Expires);
    EXPECT_EQ(kS + "_outref", c[4].Name);
    EXPECT_EQ("YANDEX.RU", c[4].Value);
    const double now = Clock().Now();
    for (int i : {0, 2, 4}) EXPECT_NEAR(now + 5.0 / 1440, c[size_t(i)].Expires, 1.0 / 1440);

    // Back as a browser would send them: the header values, %XX-encoded.
    std::string header;
    for (const TWebCookie& cookie : c)
        header += cookie.Name + "=" + EncodeCookieValue(cookie.Value) + "; ";
    ResetErrorNotes();
    TVisitorCookies read = ReadCookies(kG, ParseCookieFields(header));
    EXPECT_DOUBLE_EQ(t, read.LastDate);
    EXPECT_EQ("{" + kS + "}", read.SessionId);
    EXPECT_EQ("{" + kU + "}", read.UserId);
    EXPECT_EQ(node, read.LastVisitedNode);
    EXPECT_EQ("YANDEX.RU", read.OutsideReferrer);
    EXPECT_FALSE(ErrorFlag());
}

TEST(VisitorCookies, MissingOrGarbledIdsAreNew) {
    ResetErrorNotes();
    TVisitorCookies none = ReadCookies(kDb, ParseCookieFields(""));
    EXPECT_EQ(0, none.LastDate);
    EXPECT_TRUE(StrToGuid(none.SessionId).has_value());
    EXPECT_EQ("", none.UserId);
    EXPECT_EQ("", none.LastVisitedNode);
    EXPECT_FALSE(ErrorFlag());  // "Error2!" for the missing date only

    // A garbled session cookie is no session: its node and referrer
    // cookies are not read.
    TVisitorCookies garbled = ReadCookies(
        kDb, ParseCookieFields(kG + "=not-a-guid; not-a-guid_lastvisit=x; " + kG +
                               "_userid=" + kU + "x; " + kG + "_lastdate=99.99.9999"));
    EXPECT_TRUE(StrToGuid(garbled.SessionId).has_value());
    EXPECT_NE("{not-a-guid}", garbled.SessionId);
    EXPECT_EQ("", garbled.LastVisitedNode);
    EXPECT_EQ("", garbled.UserId);
    EXPECT_EQ(0, garbled.LastDate);
    EXPECT_FALSE(ErrorFlag());
}

}  // namespace
}  // namespace tlvx
