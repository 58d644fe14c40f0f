// The template texts of the report pages' frame, as data. Tags are written
// <#name>; page_frame.cpp answers them. Lines end in CR LF, as every page
// text of the program does.
//
//   Head            html head: charset, style sheet (instyle), script
//                   (inscript, answered by nobody), title (titlestring)
//   Body            a centred full-width table: spacer row, then the header,
//                   important, content and footer areas with their colours
//   Header          the header bar: rules, logo, product name, version
//   HeadFooter      the header bar again on white, under the footer
//   important       site links, dividers and the summary panel
//   contentandmenu  menu and server time on the left, the content right
//   content         the page builder's HTML (contentmain)
//   menu            generated from the page table (MenuTemplate)
//   footer          a blank row and three rules
//   styles          the style sheet, unless "test.css" replaces it
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tlvx {

extern const std::string_view kHeadTemplate;
extern const std::string_view kBodyTemplate;
extern const std::string_view kHeaderTemplate;
extern const std::string_view kHeadFooterTemplate;
extern const std::string_view kImportantTemplate;
extern const std::string_view kContentAndMenuTemplate;
extern const std::string_view kContentTemplate;
extern const std::string_view kFooterTemplate;

// One row per menu entry of the page table, in its order: the marker tag,
// then a link whose href is the link tag and whose text is the caption
// tag; a blank row of height 10 after entries flagged for it.
std::string MenuTemplate();

// One rule of the built-in style sheet. A later rule for the same selector
// overrides an earlier one (the sheet holds one such pair on purpose).
struct TStyleRule {
    std::string_view Selector;
    std::string_view Properties;
};
// The 41 rules, in order.
std::span<const TStyleRule> StyleRules();
// The rules as the text of the style element, one rule a line.
std::string BuiltInStyleSheet();

}  // namespace tlvx
