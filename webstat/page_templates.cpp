#include "webstat/page_templates.h"

#include <array>

#include "webstat/page_table.h"

namespace tlvx {

const std::string_view kHeadTemplate =
    "<html>\r\n"
    "<head>\r\n"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\r\n"
    "<meta http-equiv=\"Content-Language\" content=\"ru\">\r\n"
    "<style type=\"text/css\">\r\n"
    "<#instyle>\r\n"
    "</style>\r\n"
    "<script language=\"JavaScript\">\r\n"
    "<!--\r\n"
    "<#inscript>\r\n"
    "//-->\r\n"
    "</script>\r\n"
    "<title>Tallyvex2 web interface: <#titlestring></title>\r\n"
    "</head>\r\n";

const std::string_view kBodyTemplate =
    "<body>\r\n"
    "<table align=center width=100% cellspacing=0 cellpadding=0 border=0>\r\n"
    "<tr><td><img src=\"\" width=800 height=1></td></tr>\r\n"
    "<tr><td width=100% bgcolor=<#headerbgcolor>><#header></td></tr>\r\n"
    "<tr><td width=100% bgcolor=<#importantbgcolor>><#important></td></tr>\r\n"
    "<tr><td width=100% bgcolor=<#contentbgcolor>><#contentandmenu></td></tr>\r\n"
    "<tr><td width=100% bgcolor=<#footerbgcolor>><#footer><#headfooter></td></tr>\r\n"
    "</table>\r\n"
    "</body>\r\n"
    "</html>\r\n";

// The header bar and its copy under the footer differ only in the
// background; both are answered by one handler.
#define TLVX_HEADER_BAR(background)                                                            \
    "<table width=100% cellspacing=0 cellpadding=0 border=0 bgcolor=" background ">\r\n"       \
    "<tr>\r\n"                                                                                 \
    "<td width=10 valign=top><table width=10 cellspacing=0 cellpadding=0 border=0>"            \
    "<tr><td height=1 bgcolor=<#threaddark>></td></tr>"                                        \
    "<tr><td height=1 bgcolor=<#light>></td></tr>"                                             \
    "<tr><td height=1 bgcolor=<#threadlight>></td></tr></table></td>\r\n"                      \
    "<td width=150 align=center valign=middle><img src=\"<#logo>\" alt=\"LOGO\"></td>\r\n"     \
    "<td valign=middle><img src=\"<#name>\" alt=\"Tallyvex2\">\r\n"                            \
    "<div class=\"copyright\"><#version></div></td>\r\n"                                       \
    "</tr>\r\n"                                                                                \
    "<tr><td colspan=3 height=1 bgcolor=<#threaddark>></td></tr>\r\n"                          \
    "<tr><td colspan=3 height=1 bgcolor=<#light>></td></tr>\r\n"                               \
    "<tr><td colspan=3 height=1 bgcolor=<#threadlight>></td></tr>\r\n"                         \
    "<tr><td colspan=3 height=4></td></tr>\r\n"                                                \
    "<tr><td colspan=3 height=1 bgcolor=<#threadlight>></td></tr>\r\n"                         \
    "</table>\r\n"

const std::string_view kHeaderTemplate = TLVX_HEADER_BAR("<#headerbgcolor>");

const std::string_view kHeadFooterTemplate =
    TLVX_HEADER_BAR("#FFFFFF")
    "<img src=\"\" width=1 height=1 border=0>\r\n";

#undef TLVX_HEADER_BAR

const std::string_view kImportantTemplate =
    "<table width=100% cellspacing=0 cellpadding=0 border=0>\r\n"
    "<tr><td colspan=6 height=1 bgcolor=<#threaddark>></td></tr>\r\n"
    "<tr><td colspan=6 height=1 bgcolor=<#threadlight>></td></tr>\r\n"
    "<tr>\r\n"
    "<td width=150 height=80 valign=middle><#links></td>\r\n"
    "<td width=1 bgcolor=<#threaddark>></td>\r\n"
    "<td width=1></td>\r\n"
    "<td width=1 bgcolor=<#threadlight>></td>\r\n"
    "<td width=10></td>\r\n"
    "<td valign=middle><#important></td>\r\n"
    "</tr>\r\n"
    "<tr><td colspan=6 height=1 bgcolor=<#threaddark>></td></tr>\r\n"
    "<tr><td colspan=6 height=1 bgcolor=<#threadlight>></td></tr>\r\n"
    "</table>\r\n";

const std::string_view kContentAndMenuTemplate =
    "<table width=100% cellspacing=0 cellpadding=0 border=0>\r\n"
    "<tr>\r\n"
    "<td width=150 valign=top>\r\n"
    "<#menu>\r\n"
    "<br><br>\r\n"
    "<table width=150 cellspacing=0 cellpadding=0 border=0>\r\n"
    "<#timestring>\r\n"
    "</table>\r\n"
    "</td>\r\n"
    "<td valign=top bgcolor=#FFFFFF style=\"border-top: 1px solid <#threaddark>; "
    "border-bottom: 1px solid <#threaddark>; border-left: 1px solid <#threadlight>; "
    "padding: 8px;\">\r\n"
    "<#content>\r\n"
    "</td>\r\n"
    "</tr>\r\n"
    "</table>\r\n";

const std::string_view kContentTemplate = "<#contentmain>";

const std::string_view kFooterTemplate =
    "<table width=100% cellspacing=0 cellpadding=0 border=0>\r\n"
    "<tr><td height=30></td></tr>\r\n"
    "<tr><td height=1 bgcolor=<#threaddark>></td></tr>\r\n"
    "<tr><td height=1 bgcolor=<#light>></td></tr>\r\n"
    "<tr><td height=1 bgcolor=<#threadlight>></td></tr>\r\n"
    "</table>\r\n";

std::string MenuTemplate() {
    std::string text = "<table width=150 cellspacing=0 cellpadding=0 border=0>\r\n";
    for (const TReportPage& page : ReportPages()) {
        if (!page.HasMenuEntry()) continue;
        const TMenuEntry& entry = page.Menu;
        text.append("<tr><td width=15 valign=middle align=center><#").append(entry.MarkerTag);
        text.append("></td><td><p class=\"navig1\"><a class=\"navig1\" href=\"<#").append(entry.LinkTag);
        text.append(">\"><#").append(entry.CaptionTag).append("></a></p></td></tr>\r\n");
        if (entry.SpacerAfter) text.append("<tr><td colspan=2 height=10></td></tr>\r\n");
    }
    return text.append("</table>\r\n");
}

namespace {

const std::array<TStyleRule, 41> kStyleRules{{
    {"BODY, P, TABLE, DIV, BR, FORM", "margin: 0px 0px 0px 0px; font-family: sans-serif, Verdana, Arial, Tahoma; font-weight: normal; font-size: 12px; font-style: normal"},
    {"IMG", "border-width: 0"},
    {"A, A:link, A:visited", "text-decoration: none; color: navy; font-weight: bold"},
    {"A:active, A:hover", "text-decoration: underline; color: maroon"},
    {"P.mainvalue", "font-size: 12px"},
    {"P.compactvalue", "font-size: 10px"},
    {"H1", "margin: 18px 0px 12px 0px; font-family: Tahoma, Verdana, Arial, sans-serif; font-size: 14pt; font-weight: bold; color: #3F66AD; text-align: center"},
    {"H2, H3", "margin: 4px 0px 4px 0px; font-family: Arial, sans-serif, Verdana, Tahoma; font-size: 11pt; font-weight: bold; color: navy; align: center"},
    {"P.title1", "margin: 4px 0px 4px 0px; font-family: Arial, sans-serif, Verdana, Tahoma; font-size: 12px; font-weight: bold; color: navy"},
    {"P.title2", "font-family: Arial, sans-serif, Verdana, Tahoma; font-size: 12px; font-weight: bold"},
    {"P.navig1, P.navig2", "margin: 0px 4px 0px 4px; font-family: Arial, sans-serif, Verdana, Tahoma; font-size: 11px"},
    {"SPAN.navig1, SPAN.navig2", "font-family: Arial, sans-serif, Verdana, Tahoma; font-size: 11px"},
    {"A.navig1, A.navig1:link, A.navig1:visited", "font-family: sans-serif, Verdana, Arial, Tahoma; font-weight: normal; color: #016706"},
    {"A.navig1c, A.navig1c:link, A.navig1c:visited", "font-family: sans-serif, Verdana, Arial, Tahoma; font-weight: normal; color: #1F4384"},
    {"A.navig2, A.navig2:link, A.navig2:visited", "font-weight: normal; color: #098B49; font-weight: bold"},
    {"A.navig1:active, A.navig1:hover, A.navig1c:active, A.navig1c:hover", "color: #B91510"},
    {"A.navig2:active, A.navig2:hover", "color: #A80F0A"},
    {"P.links", "margin: 0px 8px 2px 8px; font-family: Tahoma, Arial, sans-serif, Verdana; font-size: 11px; font-weight: bold; color: #000000"},
    {"A.links, A.links:link, A.links:visited", "color: #6570CD"},
    {"A.navig2:active, A.navig2:hover", "color: #6570CD; text-decoration: underline"},
    {"P.prodversion", "margin: 0px 6px 4px 6px; font-family: Arial, sans-serif, Verdana, Tahoma; font-size: 12px; color: #000000"},
    {"P.TableHead", "margin: 2px 4px 2px 4px; font-size: 11px; font-weight: bold; text-align: center"},
    {"P.TableText", "margin: 0px 2px 0px 2px; font-size: 12px"},
    {"P.TableLeft", "margin: 0px 4px 0px 4px; color: navy"},
    {"P.TableHead2", "margin: 0px 0px 0px 0px; font-weight: bold; font-family: Verdana, Tahoma, Arial, sans-serif; font-size: 9px; text-align: center"},
    {"P.TableText2", "font-size: 10px; margin: 0px 2px 0px 2px; text-align: center"},
    {"SPAN.Special", "font-weight: bold; color: navy"},
    {"P.MiniTableHead", "font-weight: bold; font-size: 11px"},
    {"P.MiniTableText", "font-size: 11px"},
    {"P.Field", "font-family: Verdana, Arial, sans-serif, Tahoma; font-size: 11px; font-weight: bold; color: navy"},
    {"P.FormValue", "font-family: Verdana, Arial, sans-serif, Tahoma; font-size: 11px"},
    {"P.FormName", "margin: 3px 10px 2px 10px; font-family: Verdana, Arial, sans-serif, Tahoma; font-size: 11px; font-weight: bold; color: navy"},
    {"P.Copyright", ""},
    {"A.Copyright, A.Copyright:link, A.Copyright:visited", "text-decoration: none; color: navy; font-weight: normal"},
    {"A.Copyright:active, A.Copyright:hover", "text-decoration: underline; color: maroon"},
    {"SPAN.Smaller", "font-size: 11px"},
    {"SPAN.Attention", "color: maroon; font-weight: bold"},
    {"SPAN.Remark", "color: navy; font-weight: bold"},
    {"SPAN.InGrow", "font-size: 10px; color: #3B8A5E"},
    {"SPAN.InFall", "font-size: 10px; color: #A93432"},
    {"SPAN.Beta", "color: red"},
}};

}  // namespace

std::span<const TStyleRule> StyleRules() { return kStyleRules; }

std::string BuiltInStyleSheet() {
    std::string text;
    for (const TStyleRule& rule : kStyleRules) {
        if (!text.empty()) text += "\r\n";
        text.append(rule.Selector).append(" { ").append(rule.Properties).append(" }");
    }
    return text;
}

}  // namespace tlvx
