// The colours and recurring HTML fragments of the report pages: fixed
// markup, written with THtmlBuilder::Trusted.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/html_builder.h"

namespace tlvx {

// Slice colours of the general page's pie charts and their legends; the
// last (grey) is the pooled "other" slice.
inline constexpr std::array<THtmlLiteral, 9> ChartPalette1 = {
    "#7387C1", "#E6DEAB", "#E26655", "#68B0D4", "#0D099C", "#DFD385", "#33892D", "#ED978B", "#CCCCCC"};
// The same colours as colour numbers in blue-green-red order (0x00BBGGRR,
// the order raster/ converts from), for drawing the pies.
inline constexpr std::array<uint32_t, 9> ChartPalette1Colors = {
    0xC18773, 0xABDEE6, 0x5566E2, 0xD4B068, 0x9C090D, 0x85D3DF, 0x2D8933, 0x8B97ED, 0xCCCCCC};
// A second palette nothing reads.
inline constexpr std::array<THtmlLiteral, 9> ChartPalette2 = {
    "#003399", "#D3B52C", "#BA3624", "#68B0D4", "#0D099C", "#DFD385", "#33892D", "#ED978B", "#CCCCCC"};

// Page areas.
inline constexpr THtmlLiteral HeaderBgColor = "#CCE3F6";
inline constexpr THtmlLiteral ImportantBgColor = "#F2F9FF";
inline constexpr THtmlLiteral ContentBgColor = "#F7FBFF";
inline constexpr THtmlLiteral FooterBgColor = "#F7FBFF";
// The summary tables.
inline constexpr THtmlLiteral TableBorderColor = "#144E7D";
inline constexpr THtmlLiteral TableHeadColor = "#D6EBFF";
inline constexpr THtmlLiteral LightRowColor = "#FFF8F2";  // odd rows
inline constexpr THtmlLiteral GreenRowColor = "#F6FBF8";  // even rows
// The 1-pixel rules of the frame.
inline constexpr THtmlLiteral ThreadLightColor = "#CBD8FF";
inline constexpr THtmlLiteral ThreadDarkColor = "#0172CF";
inline constexpr THtmlLiteral LightColor = "#FFFFFF";
inline constexpr THtmlLiteral SparePageColor = "#F7FBFF";
// Menu markers: of the other pages, of the current one.
inline constexpr THtmlLiteral PlainMarkerColor = "#5A6175";
inline constexpr THtmlLiteral CurrentMarkerColor = "#B91510";

// The framed box around a selection form, in three parts written around the
// form's title and body:
//   FormBoxOpen + title + FormBoxBody + form + FormBoxClose
// Together they open and close every element they use.
// Title: a small table with one tinted cell above the box.
inline constexpr THtmlLiteral FormBoxOpen =
    "<br><table cellspacing=0 cellpadding=0 border=0><tr><td>"
    "<table cellspacing=0 cellpadding=0 border=0><tr><td bgcolor=#D7E1FF><p class=\"FormName\">";
// Three nested one-cell tables draw the box's border: light, white, dark.
// Inside, a spacer row of 20 pixels and a 20-pixel spacer column on each
// side of the content cell.
inline constexpr THtmlLiteral FormBoxBody =
    "</p></td></tr></table></td></tr><tr><td>"
    "<table cellspacing=0 cellpadding=0 border=0 style=\"border:1px solid #CBD8FF;\"><tr><td>"
    "<table cellspacing=0 cellpadding=0 border=0 style=\"border:1px solid #FFFFFF;\"><tr><td>"
    "<table cellspacing=0 cellpadding=0 border=0 style=\"border:1px solid #0172CF;\" bgcolor=#F3F9FF>"
    "<tr><td>"
    "<table width=100% cellspacing=0 cellpadding=0 border=0>"
    "<tr><td colspan=3 height=20></td></tr>"
    "<tr><td width=20><img width=20 height=1 src=\"\"></td><td>";
inline constexpr THtmlLiteral FormBoxClose =
    "</td><td width=20><img width=20 height=1 src=\"\"></td></tr>"
    "<tr><td colspan=3 height=10></td></tr></table>"
    "</td></tr></table>"
    "</td></tr></table>"
    "</td></tr></table>"
    "</td></tr></table><br>";

// The product version line of the header bar.
inline constexpr THtmlLiteral VersionBanner =
    "<table width=100% cellspacing=0 cellpadding=0 border=0><tr>"
    "<td><p class=\"prodversion\">Tallyvex2 web interface, version 2.0</p></td>"
    "<td align=right><p class=\"Copyright\">Tallyvex2 hit counter and statistics</p></td>"
    "</tr></table>";

// Table openings: full width (the summary panel, the general page), half
// width and bordered (no reader).
inline constexpr THtmlLiteral SummaryWideTable = "<table border=0 width=100% cellspacing=0 cellpadding=0>";
inline constexpr THtmlLiteral MainWideTable = "<table border=0 width=100% cellspacing=0 cellpadding=0>";
inline constexpr THtmlLiteral HalfTable = "<table border=0 width=50% cellspacing=0 cellpadding=0>";
inline constexpr THtmlLiteral BorderedTable = "<table border=1 width=100% cellspacing=0 cellpadding=0>";

}  // namespace tlvx
