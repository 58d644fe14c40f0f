// Reading a report page the way a browser's tokenizer reads it, to find
// what a hostile value could have put there: an element or attribute of its
// own, a javascript: link, or a number that went wrong.
//
// The probes: hostile values carry the element name "xssprobe" and the
// attribute name "xssattr" (in any letter case). Escaped as it must be, a
// probe stays text or part of an attribute value; written raw, it becomes
// an element or attribute of the page, which ScanTags reports.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tlvx::test {

struct THtmlTag {
    std::string Name;  // lower-cased
    std::vector<std::pair<std::string, std::string>> Attributes;  // names lower-cased
};

// The start tags of a page in order. Comments, end tags and the text of
// script, style, title and textarea elements hold no tags.
std::vector<THtmlTag> ScanTags(std::string_view html);

// What is wrong with a page, one line each; empty for a sound page:
//  - an element "xssprobe" or an attribute whose name holds "xssattr";
//  - an href, src or action attribute whose value begins "javascript:";
//  - "nan" or "inf" standing as a word (a number printed from NaN or an
//    infinity), "-0.0", or "width=-" (a negative width).
std::vector<std::string> PageFaults(std::string_view html);

}  // namespace tlvx::test
