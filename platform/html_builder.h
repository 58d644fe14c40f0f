// THtmlBuilder: how page code writes HTML.
//
// A page is a string of pieces. A line is CR LF followed by its text; a piece
// added directly has no CR LF. Markup is written only as THtmlLiteral, which
// is made only while the code compiles: a string literal, or a constant of
// the program's own tables (captions with an intended "&nbsp;", colours,
// framed form boxes). A request or database value can therefore never be
// passed as markup by mistake: it goes through Text, Attr or Url, which
// escape it (platform/html_escape.h); a number through Int, Float or Date.
// Two calls write runtime HTML as it stands, and grep finds each of them:
// Append, another builder's HTML, and ConfiguredMarkup, the site owner's
// own texts from the configuration.
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

// A piece of markup fixed when the program compiles: every constructor is
// consteval, so a value of this type was a literal or a constant of the
// program's tables. Copies may be kept in tables and passed on; read as a
// string_view it is what it holds.
// Clang 14 (the fuzzing build's compiler) crashes generating code for
// consteval functions that make a class value passed on by value; there the
// check is left to the product build's compiler.
#if defined(__clang__) && __clang_major__ < 15
#define TLVX_CONSTEVAL constexpr
#else
#define TLVX_CONSTEVAL consteval
#endif

class THtmlLiteral : public std::string_view {
public:
    template <size_t N>
    TLVX_CONSTEVAL THtmlLiteral(const char (&text)[N]) : std::string_view(text, N - 1) {}
    TLVX_CONSTEVAL THtmlLiteral(std::string_view constant) : std::string_view(constant) {}
    constexpr std::string_view View() const { return *this; }
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
    // A fixed text or fragment of the program's own tables (which may hold
    // entities and tags), written as it stands.
    THtmlBuilder& Trusted(THtmlLiteral html) {
        html_ += html.View();
        return *this;
    }
    // A text of the site owner's configuration (site name, link captions
    // and addresses), written as it stands: the owner may put HTML in it.
    // Never a request or database value.
    THtmlBuilder& ConfiguredMarkup(std::string_view html) {
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
