#include "platform/html_escape.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/html_builder.h"
#include "platform/web_fields.h"

namespace tlvx {
namespace {

// Decodes the references the escaping writes (named and decimal).
std::string UnescapeHtml(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        if (s[i] != '&') {
            out += s[i++];
            continue;
        }
        const size_t semi = s.find(';', i);
        const std::string_view ref = s.substr(i + 1, semi - i - 1);
        if (ref == "amp") out += '&';
        else if (ref == "lt") out += '<';
        else if (ref == "gt") out += '>';
        else if (ref == "quot") out += '"';
        else if (ref.starts_with("#")) out += char(std::stoi(std::string(ref.substr(1))));
        else ADD_FAILURE() << "unknown reference " << ref;
        i = semi + 1;
    }
    return out;
}

// Markup is only what the program holds when it compiles: no runtime string
// becomes a THtmlLiteral. A runtime std::string_view is refused too, by the
// consteval conversion at each call, which a requires-expression cannot see.
template <typename T>
concept WritableAsMarkup = requires(THtmlBuilder& html, const T& value) { html.Trusted(value); };
static_assert(WritableAsMarkup<THtmlLiteral>);
static_assert(!WritableAsMarkup<std::string>);
static_assert(!WritableAsMarkup<const char*>);

const std::string kCyrillic = "\xCF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0";  // "Привет мир" in 1251

TEST(HtmlEscape, PlainValuesComeOutByteIdentical) {
    for (const std::string& v : {std::string("7"), std::string("main"), std::string("news.sport.day1"),
                                 std::string("-12.5"), std::string("a_b-c~d"), std::string("\xC0\xFF")}) {
        EXPECT_EQ(HtmlText(v), v);
        EXPECT_EQ(HtmlAttr(v), v);
        EXPECT_EQ(UrlArg(v), v);
    }
    EXPECT_EQ(HtmlText(kCyrillic), kCyrillic);  // the blank is fine in text
}

TEST(HtmlEscape, DangerousBytesInEachContext) {
    EXPECT_EQ(HtmlText("<script>a&b \"c\" 'd'</script>"),
              "&lt;script&gt;a&amp;b &quot;c&quot; &#39;d&#39;&lt;/script&gt;");
    EXPECT_EQ(HtmlAttr("a b=c\t\r\n`x>\"'&"), "a&#32;b&#61;c&#9;&#13;&#10;&#96;x&gt;&quot;&#39;&amp;");
    EXPECT_EQ(HtmlAttr(std::string("\0\x7F", 2)), "&#0;&#127;");
    EXPECT_EQ(UrlArg("a b&c=d/e?f#g%h+i\"j<"), "a%20b%26c%3Dd%2Fe%3Ff%23g%25h%2Bi%22j%3C");
    EXPECT_EQ(UrlArg(std::string("\r\n\0", 3)), "%0D%0A%00");
    EXPECT_EQ(UrlArg(kCyrillic), "\xCF\xF0\xE8\xE2\xE5\xF2%20\xEC\xE8\xF0");
}

// Random bytes: each escaped form holds nothing that could end its context,
// and decoding it (as a browser or our own query parser does) gives the
// original back.
TEST(HtmlEscape, RandomBytesStayInsideTheirContextAndRoundTrip) {
    std::mt19937 random(17);
    for (int round = 0; round < 2000; ++round) {
        std::string value(random() % 24, '\0');
        for (char& c : value) c = char(random() % 256);

        const std::string text = HtmlText(value);
        EXPECT_EQ(text.find_first_of("<>\"'"), std::string::npos);
        EXPECT_EQ(UnescapeHtml(text), value);

        const std::string attr = HtmlAttr(value);
        for (char c : attr) {
            const unsigned char u = static_cast<unsigned char>(c);
            EXPECT_TRUE(u > 0x20 && u != 0x7F && std::string_view("<>\"'=`").find(c) == std::string_view::npos)
                << int(u);
        }
        EXPECT_EQ(UnescapeHtml(attr), value);

        const std::string url = UrlArg(value);
        EXPECT_EQ(HtmlAttr(url), url);  // needs nothing more inside an attribute
        TWebFields fields = ParseUrlEncodedFields("x=" + url + "&y=1");
        EXPECT_EQ(fields.Value("x"), value);
        EXPECT_EQ(fields.Value("y"), "1");
    }
}

TEST(HtmlBuilder, LinesDirectPiecesAndEscapedValues) {
    THtmlBuilder html;
    const std::string node = "<#header>";
    html.Add("<h1>").Trusted("Page:&nbsp").Text(node).Add("</h1>");
    html.Line("<a href=\"?id=").Url("a b").Add("&n=").Url("x.y").Add("\">").Int(-42).Add("</a>");
    html.Line().Add("<input value=").Attr("1 onclick=x").Add(">");
    html.Line("<td>").TextOr("", "&nbsp;").TextOr("&", "&nbsp;").Add("</td>");
    html.Line("<td>").Float("+0.0;-0.0;0.0", -0.04).Add(" ").Date("dd.mm.yyyy", 46364.5).Add("</td>");
    THtmlBuilder outer;
    outer.Add("[").Append(html).Add("]");
    EXPECT_EQ(outer.Html(),
              "[<h1>Page:&nbsp&lt;#header&gt;</h1>"
              "\r\n<a href=\"?id=a%20b&n=x.y\">-42</a>"
              "\r\n<input value=1&#32;onclick&#61;x>"
              "\r\n<td>&nbsp;&amp;</td>"
              "\r\n<td>0.0 08.12.2026</td>]");
    const std::string taken = outer.Take();
    EXPECT_EQ(taken.substr(0, 5), "[<h1>");
    EXPECT_TRUE(outer.Empty());
}

}  // namespace
}  // namespace tlvx
