#include "webstat/ui_tables.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "webstat/ui_text_eng.h"

namespace tlvx {
namespace {

// The texts pages quote with their quirks, checked when this compiles.
static_assert(UiText("Most populsr exit point") == "Most populsr exit point");
static_assert(UiText("Group of pages:&nbsp").size() == 20);
static_assert(UiText("Transitions &nbspper&nbsp day").size() == 29);
static_assert(UiText("Change of number of  transitions").find("  ") == 19);
static_assert(UiText(" from ").front() == ' ' && UiText(" month ").back() == ' ');
static_assert(UiText("").empty());
static_assert(DayNounForms().Many == "days" && DayNounForms().One == "days" && DayNounForms().Few == "days");

TEST(EnglishText, ShapeOfTheTable) {
    EXPECT_EQ(EnglishText.LanguageCode, "ENG");
    EXPECT_EQ(EnglishText.Texts.size(), 334u);
    EXPECT_EQ(EnglishText.MonthNames[0], "January");
    EXPECT_EQ(EnglishText.MonthNames[11], "December");
    EXPECT_EQ(EnglishText.WeekdayNames[0], "Monday");
    EXPECT_EQ(EnglishText.WeekdayNames[6], "Sunday");
    EXPECT_EQ(std::string(EnglishText.WeekdayShortNames[2]), "Wn");
    int empty = 0;
    size_t bytes = 0;
    uint32_t hash = 2166136261u;  // FNV-1a over every text and its end
    for (std::string_view t : EnglishText.Texts) {
        empty += t.empty();
        bytes += t.size();
        for (char c : t) hash = (hash ^ uint8_t(c)) * 16777619u;
        hash = (hash ^ 0xFFu) * 16777619u;
        for (char c : t) EXPECT_LT(uint8_t(c), 0x80) << t;  // all ASCII, so valid Windows-1251
    }
    EXPECT_EQ(empty, 2);
    // A fingerprint of the whole table, taken from the texts as published:
    // any edit to a text shows here.
    EXPECT_EQ(bytes, 5356u);
    EXPECT_EQ(hash, 3963500576u) << hash;
}

// "#RRGGBB" and 0x00BBGGRR name the same colour.
TEST(UiTables, PaletteNumbersMatchTheHtmlColours) {
    for (size_t i = 0; i < ChartPalette1.size(); ++i) {
        const uint32_t rgb = uint32_t(std::stoul(std::string(ChartPalette1[i].substr(1)), nullptr, 16));
        const uint32_t bgr = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16);
        EXPECT_EQ(ChartPalette1Colors[i], bgr) << i;
    }
    EXPECT_EQ(ChartPalette1[8], "#CCCCCC");
    EXPECT_EQ(ChartPalette2[0], "#003399");
}

// The opening (+1) and closing (-1) tags of one element, in order, in any
// letter case.
std::vector<int> TagsOf(const std::string& html, const std::string& element) {
    std::vector<int> tags;
    for (size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
        const bool closing = html.compare(at + 1, 1, "/") == 0;
        const size_t name = at + 1 + closing;
        if (name + element.size() >= html.size()) break;
        bool same = true;
        for (size_t i = 0; i < element.size(); ++i) same &= std::tolower(html[name + i]) == element[i];
        const char after = html[name + element.size()];
        if (same && (after == ' ' || after == '>')) tags.push_back(closing ? -1 : 1);
    }
    return tags;
}

// The three parts of the form box, around a title and a form, open and close
// every element they use, in order.
TEST(UiTables, FormBoxPartsBalance) {
    const std::string box = std::string(FormBoxOpen) + "For group:" + std::string(FormBoxBody) +
                            "<form></form>" + std::string(FormBoxClose);
    for (const char* element : {"table", "tr", "td", "p"}) {
        int depth = 0;
        const std::vector<int> tags = TagsOf(box, element);
        for (int step : tags) {
            depth += step;
            EXPECT_GE(depth, 0) << element;
        }
        EXPECT_EQ(depth, 0) << element;
        EXPECT_GE(tags.size(), 2u) << element;
    }
    EXPECT_TRUE(box.starts_with("<br>"));
    EXPECT_TRUE(box.ends_with("<br>"));
    for (const char* colour : {"#D7E1FF", "#CBD8FF", "#FFFFFF", "#0172CF", "#F3F9FF"})
        EXPECT_NE(box.find(colour), std::string::npos) << colour;
    EXPECT_EQ(TagsOf(std::string(VersionBanner), "table"), (std::vector<int>{1, -1}));
    EXPECT_EQ(SummaryWideTable, "<table border=0 width=100% cellspacing=0 cellpadding=0>");
    EXPECT_EQ(MainWideTable, SummaryWideTable);
}

}  // namespace
}  // namespace tlvx
