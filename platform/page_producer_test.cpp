#include "platform/page_producer.h"

#include <gtest/gtest.h>

namespace tlvx {
namespace {

TEST(PageProducer, TagsUnknownTagsAndParameters) {
    std::vector<std::string> seen;
    TTagParams lastParams;
    TPageProducer p("<p><#title></p><#inscript><#x a=1 b=\"two > three\" c='4' flag>!",
                    [&](std::string_view tag, const TTagParams& params) -> std::string {
                        seen.emplace_back(tag);
                        lastParams = params;
                        return tag == "title" ? "General" : "";
                    });
    EXPECT_EQ(p.Content(), "<p>General</p>!");
    EXPECT_EQ(seen, (std::vector<std::string>{"title", "inscript", "x"}));
    EXPECT_EQ(lastParams, (TTagParams{{"a", "1"}, {"b", "two > three"}, {"c", "4"}, {"flag", ""}}));
    // Tag names are passed as written: the handler decides on case.
    EXPECT_EQ(ExpandTags("<#Title>",
                         [](std::string_view t, const TTagParams&) {
                             return t == "title" ? std::string("x") : std::string();
                         }),
              "");
    EXPECT_EQ(ExpandTags("a<#b>c", nullptr), "ac");
}

TEST(PageProducer, ReplacementsAreNeverScannedAgain) {
    const TTagHandler handler = [](std::string_view tag, const TTagParams&) -> std::string {
        if (tag == "content") return "node <#header> and <#content>";
        if (tag == "header") return "HEADER";
        return "";
    };
    EXPECT_EQ(ExpandTags("<#header>|<#content>", handler), "HEADER|node <#header> and <#content>");
}

TEST(PageProducer, UnterminatedTagsAreCopiedAsTheyStand) {
    const TTagHandler handler = [](std::string_view, const TTagParams&) { return std::string("X"); };
    EXPECT_EQ(ExpandTags("a<#b>c<#d", handler), "aXc<#d");
    EXPECT_EQ(ExpandTags("<#", handler), "<#");
    EXPECT_EQ(ExpandTags("a<#b c=\"no end> <#e>", handler), "a<#b c=\"no end> <#e>");
    EXPECT_EQ(ExpandTags("<#>", handler), "X");
    EXPECT_EQ(ExpandTags("< #a> <a#> #>", handler), "< #a> <a#> #>");
    const std::string high = "\xC0\xE1<#\xE2>";
    EXPECT_EQ(ExpandTags(high, handler), "\xC0\xE1X");
}

TEST(PageProducer, ProducersNest) {
    TPageProducer menu("<ul><#item></ul>", [](std::string_view tag, const TTagParams&) {
        return tag == "item" ? std::string("<li><#not-a-tag-here>") : std::string();
    });
    TPageProducer body("<body><#menu><#content></body>",
                       [&](std::string_view tag, const TTagParams&) -> std::string {
                           if (tag == "menu") return menu.Content();
                           if (tag == "content") return "text";
                           return "";
                       });
    TPageProducer page("<html><#body></html>", [&](std::string_view tag, const TTagParams&) {
        return tag == "body" ? body.Content() : std::string();
    });
    EXPECT_EQ(page.Content(), "<html><body><ul><li><#not-a-tag-here></ul>text</body></html>");
    body.SetTemplate("<#content>");
    EXPECT_EQ(page.Content(), "<html>text</html>");
}

}  // namespace
}  // namespace tlvx
