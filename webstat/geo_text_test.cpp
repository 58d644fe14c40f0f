#include "webstat/geo_text.h"

#include <gtest/gtest.h>

#include "model/ipv4.h"

namespace tlvx {
namespace {

uint32_t Ip(const char* text) { return uint32_t(ParseIPv4(text)); }

TEST(GeoTextTest, NetworkLineRoundTripAndGoldenBytes) {
    const TNetDescription entry{Ip("10.1.0.0"), Ip("255.255.0.0"), "DE", "Bavaria",
                                "M\xFCnchen \xCC\xEE\xF1", "office *MEMO:x *AREA:y"};
    const std::string line = FormatNetworkLine(entry);
    EXPECT_EQ(line,
              "10.1.0.0 net 255.255.0.0\t*COUNTRY:DE\t*AREA:Bavaria\t*POINT:M\xFCnchen \xCC\xEE\xF1"
              "\t*MEMO:office *MEMO:x *AREA:y");
    TNetDescription back;
    ASSERT_TRUE(ParseNetworkLine(line, back));
    EXPECT_EQ(back, entry);

    // Texts that cannot stand in a field come out as blanks, so one entry
    // stays one line of four fields.
    TNetDescription broken = entry;
    broken.Memo = "a\tb\r\n10.0.0.0 net 255.0.0.0";
    EXPECT_EQ(SplitTextLines(FormatNetworkLine(broken)).size(), 1u);
    ASSERT_TRUE(ParseNetworkLine(FormatNetworkLine(broken), back));
    EXPECT_EQ(back.Memo, "a b  10.0.0.0 net 255.0.0.0");
}

TEST(GeoTextTest, NetworkLineFieldsInAnyOrderTrimmedAndOptional) {
    struct Case {
        const char* line;
        TNetDescription want;
    };
    const Case cases[] = {
        {"1.2.3.0 net 255.255.255.0", {Ip("1.2.3.0"), Ip("255.255.255.0"), "", "", "", ""}},
        {"  1.2.3.0  net  255.255.255.0 \t*MEMO: m \t*COUNTRY: ru\t*POINT:p",
         {Ip("1.2.3.0"), Ip("255.255.255.0"), "ru", "", "p", "m"}},
        {"0.0.0.0 net 0.0.0.0\t*AREA:a\t*AREA:second\t*MEMO:", {0, 0, "", "a", "", ""}},
        // An unaligned network and a mask with a hole are taken as written.
        {"10.1.2.3 net 255.0.255.0\t*COUNTRY:x", {Ip("10.1.2.3"), Ip("255.0.255.0"), "x", "", "", ""}},
        // A tag not at the start of a field is text.
        {"1.0.0.0 net 255.0.0.0\t*COUNTRY:a*AREA:b", {Ip("1.0.0.0"), Ip("255.0.0.0"), "a*AREA:b", "", "", ""}},
    };
    for (const Case& c : cases) {
        TNetDescription got;
        EXPECT_TRUE(ParseNetworkLine(c.line, got)) << c.line;
        EXPECT_EQ(got, c.want) << c.line;
    }

    for (const char* bad : {"", "   ", "garbage", "1.2.3.4", "net 255.0.0.0", "10.0.0.0 net 255.0.0",
                            "10.0.0.0 net 256.0.0.0\t*COUNTRY:x", "10.0.0.0 255.0.0.0\t*COUNTRY:x",
                            "10.0.0.0\tnet 255.0.0.0", "10.0.0.0.0 net 255.0.0.0", "10.0.0.0 net\t255.0.0.0",
                            "*COUNTRY:x 10.0.0.0 net 255.0.0.0"}) {
        TNetDescription got{7, 7, "keep", "", "", ""};
        EXPECT_FALSE(ParseNetworkLine(bad, got)) << bad;
        EXPECT_EQ(got.Country, "keep") << bad;
    }
}

TEST(GeoTextTest, CountryLines) {
    struct Case {
        const char* line;
        const char* key;
        const char* names;
    };
    for (const Case& c : {Case{"de\tDeutschland\tGermany", "DE", "Deutschland=Germany"},
                          Case{"  ru \t\xD0\xEE\xF1\xF1\xE8\xFF\tRussia \r", "RU", "\xD0\xEE\xF1\xF1\xE8\xFF=Russia"},
                          Case{"fr\tFrance", "FR", "France"}, Case{"x\ta\t\tb", "X", "a==b"}}) {
        std::string key, names;
        ASSERT_TRUE(ParseCountryLine(c.line, key, names)) << c.line;
        EXPECT_EQ(key, c.key);
        EXPECT_EQ(names, c.names);
    }
    for (const char* bad : {"", "DE Germany", "\tGermany", " \t Germany", "DE\t"}) {
        std::string key = "keep", names;
        EXPECT_FALSE(ParseCountryLine(bad, key, names)) << bad;
        EXPECT_EQ(key, "keep");
    }
    EXPECT_EQ(SplitCountryNames("Deutschland=Germany"), (TNetCountry{"Deutschland", "Germany"}));
    EXPECT_EQ(SplitCountryNames("a==b"), (TNetCountry{"a", "=b"}));
    EXPECT_EQ(SplitCountryNames("Germany"), (TNetCountry{"", "Germany"}));
    EXPECT_EQ(SplitCountryNames("=Germany"), (TNetCountry{"", "Germany"}));
}

TEST(GeoTextTest, LinesEndWithLfCrLfOrCr) {
    using L = std::vector<std::string_view>;
    EXPECT_EQ(SplitTextLines(""), L{});
    EXPECT_EQ(SplitTextLines("a"), L{"a"});
    EXPECT_EQ(SplitTextLines("a\r\n"), L{"a"});
    EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd"), (L{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitTextLines("\n\r\n\r"), (L{"", "", ""}));
    EXPECT_EQ(SplitTextLines("a\n\rb"), (L{"a", "", "b"}));
}

}  // namespace
}  // namespace tlvx
