// Escaping of values written into HTML pages.
//
// Every value that comes from a request or from a database (node paths,
// referrer hosts, language codes: texts anyone on the web can put there)
// reaches a page through one of these. Plain ids, numbers and dotted node
// names come out byte-identical, and bytes from 0x80 up (Windows-1251 text)
// pass untouched, so ordinary output is exactly what it would be unescaped.
#pragma once

#include <string>
#include <string_view>

namespace tlvx {

// Text of an element: & < > " ' as character references.
std::string HtmlText(std::string_view text);

// An attribute value, safe inside double quotes, single quotes and without
// quotes: what HtmlText escapes, and also every byte up to 0x20 (blank, TAB,
// CR, LF, ...), DEL, "=" and "`" as numeric references, so the value can
// neither end the attribute nor start another.
std::string HtmlAttr(std::string_view text);

// A value inside a query string: every ASCII byte other than A-Z a-z 0-9
// "-" "." "_" "~" as %XX (upper-case hex); bytes from 0x80 up unchanged.
// The result holds nothing that needs escaping in an attribute either.
std::string UrlArg(std::string_view text);

}  // namespace tlvx
