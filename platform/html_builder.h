// THtmlBuilder: how page code writes HTML.
//
// A page is a string of pieces. A line is CR LF followed by its text; a piece
// added directly has no CR LF. Markup is written only as string literals,
// checked when the code compiles (THtmlLiteral accepts nothing else), so a
// request or database value can never be passed as markup by mistake: it
// goes through Text, Attr or Url, which escape it (platform/html_escape.h).
// Fixed texts and fragments held in tables (captions with an intended
// "&nbsp;", colours, framed form boxes) go in through Trusted, the one call
// that writes a runtime string as it stands; grep for it to audit every
// unescaped write.
//
//   html.Add("<h1>").Trusted(kTitle).Text(nodeName).Add("</h1>");
//   html.Line("<a href=\"").Attr(scriptName).Add("?id=").Url(id).Add("\">").Text(name).Add("</a>");
//
// A link's path (the script name) goes through Attr, which keeps "/"; each
// value of its query string through Url.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace tlvx {

// A piece of markup written in the source as a string literal.
class THtmlLiteral {
public:
    template <size_t N>
    consteval THtmlLiteral(const char (&text)[N]) : text_(text, N - 1) {}
    constexpr std::string_view View() const { return text_; }

private:
    std::string_view text_;
};

class THtmlBuilder {
public:
    THtmlBuilder() = default;

    // CR LF, then the markup.
    THtmlBuilder& Line(THtmlLiteral html = "") {
        html_ += "\r\n";
        html_ += html.View();
        return *this;
    }
    // The markup, directly.
    THtmlBuilder& Add(THtmlLiteral html) {
        html_ += html.View();
        return *this;
    }
    // A value as the text of an element.
    THtmlBuilder& Text(std::string_view value);
    // A value inside an attribute, quoted or not.
    THtmlBuilder& Attr(std::string_view value);
    // A value inside a query string of a link (also safe in an attribute).
    THtmlBuilder& Url(std::string_view value);
    // The value as Text, or the markup when the value is empty (such as
    // "&nbsp;" in a table cell).
    THtmlBuilder& TextOr(std::string_view value, THtmlLiteral whenEmpty);
    // A whole number in decimal.
    THtmlBuilder& Int(int64_t value);
    // A number by a FormatFloat pattern (platform/format_float.h).
    THtmlBuilder& Float(THtmlLiteral pattern, double value);
    // A date by a FormatDateTime pattern (platform/format_date_time.h).
    THtmlBuilder& Date(THtmlLiteral pattern, double dateTime);
    // A fixed text or fragment of the program's own tables, written as it
    // stands. Never a request or database value.
    THtmlBuilder& Trusted(std::string_view html) {
        html_ += html;
        return *this;
    }
    // The HTML of another builder, directly.
    THtmlBuilder& Append(const THtmlBuilder& other) {
        html_ += other.html_;
        return *this;
    }

    const std::string& Html() const { return html_; }
    // The HTML; the builder is empty afterwards.
    std::string Take() {
        std::string out = std::move(html_);
        html_.clear();
        return out;
    }
    bool Empty() const { return html_.empty(); }

private:
    std::string html_;
};

}  // namespace tlvx
