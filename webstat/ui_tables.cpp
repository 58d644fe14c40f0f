#include "webstat/ui_tables.h"

namespace tlvx {

const std::array<std::string_view, 9> ChartPalette1 = {
    "#7387C1", "#E6DEAB", "#E26655", "#68B0D4", "#0D099C", "#DFD385", "#33892D", "#ED978B", "#CCCCCC"};
const std::array<uint32_t, 9> ChartPalette1Colors = {
    0xC18773, 0xABDEE6, 0x5566E2, 0xD4B068, 0x9C090D, 0x85D3DF, 0x2D8933, 0x8B97ED, 0xCCCCCC};
const std::array<std::string_view, 9> ChartPalette2 = {
    "#003399", "#D3B52C", "#BA3624", "#68B0D4", "#0D099C", "#DFD385", "#33892D", "#ED978B", "#CCCCCC"};

const std::string_view HeaderBgColor = "#CCE3F6";
const std::string_view ImportantBgColor = "#F2F9FF";
const std::string_view ContentBgColor = "#F7FBFF";
const std::string_view FooterBgColor = "#F7FBFF";
const std::string_view TableBorderColor = "#144E7D";
const std::string_view TableHeadColor = "#D6EBFF";
const std::string_view LightRowColor = "#FFF8F2";
const std::string_view GreenRowColor = "#F6FBF8";
const std::string_view ThreadLightColor = "#CBD8FF";
const std::string_view ThreadDarkColor = "#0172CF";
const std::string_view LightColor = "#FFFFFF";
const std::string_view SparePageColor = "#F7FBFF";
const std::string_view PlainMarkerColor = "#5A6175";
const std::string_view CurrentMarkerColor = "#B91510";

// Title: a small table with one tinted cell above the box.
const std::string_view FormBoxOpen =
    "<br><table cellspacing=0 cellpadding=0 border=0><tr><td>"
    "<table cellspacing=0 cellpadding=0 border=0><tr><td bgcolor=#D7E1FF><p class=\"FormName\">";

// Three nested one-cell tables draw the box's border: light, white, dark.
// Inside, a spacer row of 20 pixels and a 20-pixel spacer column on each
// side of the content cell.
const std::string_view FormBoxBody =
    "</p></td></tr></table></td></tr><tr><td>"
    "<table cellspacing=0 cellpadding=0 border=0 style=\"border:1px solid #CBD8FF;\"><tr><td>"
    "<table cellspacing=0 cellpadding=0 border=0 style=\"border:1px solid #FFFFFF;\"><tr><td>"
    "<table cellspacing=0 cellpadding=0 border=0 style=\"border:1px solid #0172CF;\" bgcolor=#F3F9FF>"
    "<tr><td>"
    "<table width=100% cellspacing=0 cellpadding=0 border=0>"
    "<tr><td colspan=3 height=20></td></tr>"
    "<tr><td width=20><img width=20 height=1 src=\"\"></td><td>";

const std::string_view FormBoxClose =
    "</td><td width=20><img width=20 height=1 src=\"\"></td></tr>"
    "<tr><td colspan=3 height=10></td></tr></table>"
    "</td></tr></table>"
    "</td></tr></table>"
    "</td></tr></table>"
    "</td></tr></table><br>";

const std::string_view VersionBanner =
    "<table width=100% cellspacing=0 cellpadding=0 border=0><tr>"
    "<td><p class=\"prodversion\">Tallyvex2 web interface, version 2.0</p></td>"
    "<td align=right><p class=\"Copyright\">Tallyvex2 hit counter and statistics</p></td>"
    "</tr></table>";

const std::string_view SummaryWideTable = "<table border=0 width=100% cellspacing=0 cellpadding=0>";
const std::string_view MainWideTable = "<table border=0 width=100% cellspacing=0 cellpadding=0>";
const std::string_view HalfTable = "<table border=0 width=50% cellspacing=0 cellpadding=0>";
const std::string_view BorderedTable = "<table border=1 width=100% cellspacing=0 cellpadding=0>";

}  // namespace tlvx
