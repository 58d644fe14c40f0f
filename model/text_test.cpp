#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "model/text_marks.h"
#include "platform/text.h"

namespace tlvx {
namespace {

TEST(TextTest, TrimTreatsHighBytesAsLetters) {
    EXPECT_EQ(TrimBytes(std::string("\x01\t  ab c\r\n \x20", 11)), "ab c");
    // Windows-1251 letters (0xC0.., 0xFF) are negative as signed char and
    // must survive trimming at both ends.
    EXPECT_EQ(TrimBytes(" \xC0\xFF "), "\xC0\xFF");
    EXPECT_EQ(TrimBytes(std::string("\0\0", 2)), "");
    EXPECT_EQ(TrimBytes(""), "");
}

TEST(TextTest, UpperCaseIsAsciiOnlyAndKeepsPositions) {
    std::string mixed = "ab\xE0\xFFz-Q\x80";
    std::string upper = UpperAscii(mixed);
    EXPECT_EQ(upper, "AB\xE0\xFFZ-Q\x80");
    EXPECT_EQ(upper.size(), mixed.size());
    EXPECT_EQ(LowerAscii("AbC\xC0"), "abc\xC0");
}

TEST(TextTest, CaseInsensitiveCompareAndSearch) {
    EXPECT_TRUE(SameText("SkipAddress", "SKIPaddress"));
    EXPECT_FALSE(SameText("a", "ab"));
    EXPECT_FALSE(SameText("\xE0", "\xC0"));  // Cyrillic letters are not folded
    EXPECT_LT(CompareText("abc", "ABD"), 0);
    EXPECT_GT(CompareText("\x80", "z"), 0);  // unsigned byte order
    EXPECT_LT(CompareText("ab", "abc"), 0);
    EXPECT_EQ(FindText("xxHostInterval=5", "hostinterval=", false), 2u);
    EXPECT_EQ(FindText("xxHostInterval=5", "hostinterval=", true), std::string_view::npos);
    EXPECT_EQ(FindText("abcabc", "BC", false, 2), 4u);
    EXPECT_EQ(FindText("ab", "abc", false), std::string_view::npos);
    EXPECT_EQ(FindText("ab", "", false, 5), std::string_view::npos);
    EXPECT_TRUE(StartsWithText("HTTP://x", "http://", false));
}

TEST(TextTest, StrictIntegerConversion) {
    int32_t v = 77;
    EXPECT_TRUE(TryStrToInt(" 30 ", v));
    EXPECT_EQ(v, 30);
    EXPECT_TRUE(TryStrToInt("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_TRUE(TryStrToInt("+2147483647", v));
    EXPECT_EQ(v, INT32_MAX);
    v = 77;
    for (const char* bad : {"", " ", "+", "-", "2147483648", "-2147483649", "1e3", "0x10", "12a",
                            "1 2", "99999999999999999999999999999"}) {
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
        EXPECT_EQ(v, 77) << bad;
    }
}

TEST(BetweenTest, Marks) {
    EXPECT_EQ(Between("HostInterval=30", "HostInterval=", "#", false, false), "");
    EXPECT_EQ(Between("HostInterval=30", "HostInterval=", "#", false, true), "30");
    EXPECT_EQ(Between("hostINTERVAL= 30 #x", "HostInterval=", "#", false, false), " 30 ");
    EXPECT_EQ(Between("hostinterval=30", "HostInterval=", "#", true, true), "");
    EXPECT_EQ(Between("<Base:Main>", "<base:", ">", false, false), "Main");
    EXPECT_EQ(Between("a=b", "a=", "b", false, false), "");  // found, empty between
    EXPECT_EQ(Between("", "a", "b", false, true), "");
    EXPECT_EQ(Between("ab", "", "b", false, true), "");
    EXPECT_EQ(Between("ab", "a", "", false, true), "");
    // The original letters come back, whatever the case of the marks.
    EXPECT_EQ(Between("X=MiXeD\xE0;", "x=", ";", false, false), "MiXeD\xE0");
}

TEST(ReplaceAllTest, SinglePass) {
    EXPECT_EQ(ReplaceAll("a.b.c", ".", "..", true, false), "a..b..c");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b", true, false), "ba");
    EXPECT_EQ(ReplaceAll("xAbxab", "ab", "-", false, false), "x-x-");
    EXPECT_EQ(ReplaceAll("xAbxab", "ab", "-", true, false), "xAbx-");
    EXPECT_EQ(ReplaceAll("abc", "", "x", true, false), "");
    EXPECT_EQ(ReplaceAll("abc", "z", "x", true, false), "abc");
}

TEST(ReplaceAllTest, RepeatedRescansUntilNoneLeft) {
    EXPECT_EQ(ReplaceAll("a    b", "  ", " ", true, true), "a b");
    EXPECT_EQ(ReplaceAll("aabb", "ab", "", true, true), "");
    EXPECT_EQ(ReplaceAll("aaab", "ab", "b", true, true), "b");
    // A replacement holding the searched text (in any case) would loop.
    EXPECT_EQ(ReplaceAll("xx", "x", "X", true, true), "");
    EXPECT_EQ(ReplaceAll("xx", "x", "yx", true, true), "");
    // Geometric growth is cut off rather than eating memory: "ab" -> "baa"
    // doubles the a's as they pass each b.
    EXPECT_EQ(ReplaceAll("a" + std::string(40, 'b'), "ab", "baa", true, true), "");
    EXPECT_EQ(ReplaceAll("aab", "ab", "baa", true, true), "baaaa");
}

}  // namespace
}  // namespace tlvx

namespace tlvx {
namespace {

// The plain reading of repeated replacement: replace the first occurrence,
// search again from the start.
// Gives up (nullopt) after a few hundred steps.
std::optional<std::string> NaiveRepeated(std::string text, const std::string& find,
                                         const std::string& repl, bool caseSensitive) {
    for (int steps = 0; steps < 300; ++steps) {
        size_t at = FindText(text, find, caseSensitive);
        if (at == std::string::npos) return text;
        text.replace(at, find.size(), repl);
    }
    return std::nullopt;
}

TEST(ReplaceAllTest, RepeatedAgreesWithThePlainReading) {
    std::mt19937 rng(11);
    const char alphabet[] = "aAbB";
    auto word = [&](size_t maxLen) {
        std::string w(rng() % (maxLen + 1), 'a');
        for (char& c : w) c = alphabet[rng() % 4];
        return w;
    };
    for (int i = 0; i < 5000; ++i) {
        std::string text = word(12), find = word(3), repl = word(2);
        bool cs = rng() % 2;
        std::string repl2 = word(4);
        if (rng() % 2) repl = repl2;
        if (find.empty() || ContainsText(repl, find, false)) continue;
        auto expected = NaiveRepeated(text, find, repl, cs);
        if (!expected) continue;
        ASSERT_EQ(ReplaceAll(text, find, repl, cs, true), *expected)
            << text << " / " << find << " / " << repl << " / " << cs;
    }
}

}  // namespace
}  // namespace tlvx
