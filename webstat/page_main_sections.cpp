// The site sections of the general page.
#include "webstat/page_main_sections.h"

#include <algorithm>
#include <array>

#include "model/visitor_collection.h"
#include "platform/integer_ratio.h"
#include "webstat/pie_charts.h"
#include "webstat/report_math.h"
#include "webstat/report_queries.h"
#include "webstat/ui_tables.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {
namespace {

constexpr THtmlLiteral kHeadColour = "#BDCFE3";

// ---- returns ----

void ReturnCells(THtmlBuilder& html, const std::array<int64_t, 3>& values, const std::array<bool, 3>& shown,
                 bool percent, bool lastRow) {
    const size_t last = shown[2] ? 2 : shown[1] ? 1 : 0;
    for (size_t i = 0; i < 3; ++i) {
        if (!shown[i]) continue;
        html.Line("<td align=center style=\"border-top:1px solid #6493C1;border-left:1px solid #6493C1;");
        if (i == last) html.Add("border-right:1px solid #6493C1;");
        if (lastRow) html.Add("border-bottom:1px solid #6493C1;");
        html.Add("\"><p class=\"tabletext\">").Int(values[i]);
        if (percent) html.Add("%");
        html.Add("</p></td>");
    }
}

void ReturnsSection(THtmlBuilder& html, ICounter2& counter, int32_t periodDays, const TCounterSettings& settings) {
    html.Line("<br><br><h2>").Trusted(UiText("NUMBER of RETURNS ON SITE:")).Add("</h2><br><br>");
    const TReturnCounters returns = counter.GetVisitors()->GetReturnCounters();
    const std::array<int64_t, 3> counts{returns.Within1Day, returns.Within7Days, returns.Within30Days};
    std::array<int64_t, 3> percents{};
    if (settings.TotalVisits > 0)
        for (size_t i = 0; i < 3; ++i) percents[i] = std::min<int64_t>(100, RoundShare(counts[i], settings.TotalVisits, 100));
    const std::array<bool, 3> shown{true, periodDays > 7, periodDays > 30};

    const std::array<int32_t, 3> asInt{int32_t(percents[0]), int32_t(percents[1]), int32_t(percents[2])};
    size_t at = 0;
    const int64_t max = MaxIndex(asInt, at);
    const int64_t scale = max == 100 ? 100 : RoundChartScale(max);
    // Each segment ends where its percentage lies on the scale.
    std::array<int64_t, 3> segments{};
    int64_t drawn = 0;
    for (size_t i = 0; i < 3; ++i) {
        segments[i] = std::max<int64_t>(0, RoundShare(percents[i], scale, 100) - drawn);
        drawn += segments[i];
    }

    html.Line().Trusted(MainWideTable);
    html.Line("<tr><td width=90>&nbsp;</td>");
    constexpr std::array<THtmlLiteral, 3> kHeads{UiText("daily"), UiText("weekly"), UiText("monthly")};
    for (size_t i = 0; i < 3; ++i)
        if (shown[i])
            html.Line("<td width=90 bgcolor=").Trusted(kHeadColour).Add("><p class=\"tablehead\">")
                .Trusted(kHeads[i]).Add("</p></td>");
    html.Line("<td width=2></td><td></td><td width=2></td><td></td></tr>");

    html.Line("<tr><td><p class=\"tableleft\">").Trusted(UiText("Percent")).Add("</p></td>");
    ReturnCells(html, percents, shown, true, false);
    html.Line("<td width=2></td><td style=\"border-bottom:1px solid #AE6563;\">");
    if (segments[0] > 0 || segments[1] > 0 || segments[2] > 0) {
        constexpr std::array<THtmlLiteral, 3> kColours{"#E8C4C4", "#DB8686", "#C07170"};
        html.Line("<taBLE WIDTH=100% cellspacing=0 cellpadding=0 border=0>");
        html.Line("<tr height=1>");
        for (size_t i = 0; i < 3; ++i)
            if (shown[i]) html.Add("<td width=").Int(segments[i]).Add("%></td>");
        html.Add("<td></td></tr>");
        html.Line("<tr height=100%>");
        for (size_t i = 0; i < 3; ++i)
            if (shown[i])
                html.Add("<td bgcolor=").Trusted(kColours[i]).Add(" style=\"border-right:1px solid white;\"></td>");
        html.Add("<td>&nbsp;</td></tr>");
        html.Line("<tr height=1><td colspan=");
        if (shown[2]) html.Add("5");
        else if (shown[1]) html.Add("4");
        else html.Add("3");
        html.Add(" bgcolor=white></td></tr>");
        html.Line("</table>");
    }
    html.Line("</td><td width=2></td>");
    if (max > 0)
        html.Line("<td width=20 style=\"border-bottom:1px solid #6493C1;border-left:1px solid #6493C1;\">&nbsp;")
            .Int(scale).Add("%</td></tr>");

    html.Line("<tr><td><p class=\"tableleft\">").Trusted(UiText("Total")).Add("</p></td>");
    ReturnCells(html, counts, shown, false, true);
    html.Line("<td width=2></td><td style=\"border-bottom:#AE6563 1px solid\">");
    html.Line("</tr>");
    html.Line("</table>");
}

// ---- transitions ----

void LabelValueRow(THtmlBuilder& html, bool tinted) {
    if (tinted) html.Line("<tr bgcolor=#F7FBFF>");
    else html.Line("<tr>");
    html.Add("<td width=70%><p class=\"tableleft\">");
}

void TransitionsSection(THtmlBuilder& html, const TReportContext& context, INodeInfo& root) {
    html.Line("<br><br><h2>").Trusted(UiText("STATISTICS of TRANSITIONS:")).Add("</h2><BR><br>");
    TCObjectList sources;
    for (const std::string& name : root.GetSourceNames()) {
        int32_t hits = 0, visits = 0, visitors = 0, transitions = 0;
        double last = 0, first = 0;
        root.GetSourceStats(name, hits, visits, visitors, transitions, last, first);
        sources.push_back({name, TCObject(transitions, 0, 0)});
    }
    const TReferrerShares shares = ReferrerShares(context.Host, sources);

    html.Line("<table width=50% cellspacing=0 cellpadding=0 border=0>");
    LabelValueRow(html, true);
    html.Trusted(UiText("Total different sources:")).Add("</p></td><td align=right><p class=\"tabletext\">")
        .Int(int64_t(sources.size())).Add("</p></td></tr>");
    LabelValueRow(html, false);
    html.Trusted(UiText("From them - useful:")).Add("</p></td><td align=right><p class=\"tabletext\">")
        .Int(shares.Useful).Add("(").Int(shares.UsefulPercent).Add("%)</p></td></tr>");
    LabelValueRow(html, true);
    html.Trusted(UiText("Visits from nowhere:")).Add("</p></td><td align=right><p class=\"tabletext\">")
        .Int(shares.UnknownPercent).Add("%</p></td></tr>");
    LabelValueRow(html, false);
    html.Trusted(UiText("Source ")).Add("\"").Text(shares.TopName).Add("\"").Trusted(UiText(" has been used:"))
        .Add("</p></td><td align=right><p class=\"tabletext\">").Int(shares.TopPercent).Add("%</p></td></tr>");
    html.Line("</table><br><br>");
    html.Line("<p class=\"navig2\"><a class=\"navig2\" href=\"");
    PageHref(html, context, "page=refs&nodename=")
        .Add("\">").Trusted(UiText("Statistics of transitions in detail...")).Add("</a></p><br><br>");
}

// ---- entry and exit points ----

void EntryExitRow(THtmlBuilder& html, THtmlLiteral label, const std::string& page, int32_t count,
                  int32_t share) {
    html.Line("<tr><td width=200><p class=\"tableleft\">").Trusted(label)
        .Add("</p></td><td><p class=\"tabletext\">").Text(page)
        .Add("</p></td><td align=center><p class=\"tabletext\">").Int(count)
        .Add("</p></td><td align=center><p class=\"tabletext\">").Int(share).Add("%</p></td></tr>");
}

void EntryExitSection(THtmlBuilder& html, ICounter2& counter) {
    html.Line("<h2>").Trusted(UiText("STATISTICS of ENTRY/EXIT POINTS:")).Add("</h2><br><br>");
    TEntryExitPages best;
    BestEntryExitPages(counter, best);
    html.Line("<table cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr><td bgcolor=#BDCFE3>&nbsp;</td><td bgcolor=#BDCFE3><p class=\"tablehead\">")
        .Trusted(UiText("Page")).Add("</p></td><td bgcolor=#BDCFE3><p class=\"tablehead\">")
        .Trusted(UiText("Total")).Add("</p></td><td bgcolor=#BDCFE3><p class=\"tablehead\">%</p></td></tr>");
    EntryExitRow(html, UiText("Most popular entry point"), best.EntryPage, best.EntryCount, best.EntryShare);
    EntryExitRow(html, UiText("Most populsr exit point"), best.ExitPage, best.ExitCount, best.ExitShare);
    html.Line("</table>");
    html.Line("<br><br>");
}

// ---- languages and browsers ----

// One row of the language or browser table: a swatch of the slice's colour,
// the name, the count and the share.
void ShareRow(THtmlBuilder& html, size_t index, THtmlLiteral rowColour, const THtmlBuilder& name,
              int64_t count, int64_t total, bool last, THtmlLiteral shareOfNothing) {
    const THtmlLiteral cellStyle = last ? THtmlLiteral(" style=\"border-bottom:1px solid #6493C1;\"") : "";
    html.Line("<tr bgcolor=").Trusted(rowColour).Add("><td width=20 align=center").Trusted(cellStyle)
        .Add("><table width=10 height=10 cellspacing=0 cellpadding=0 border=0><tr><td bgcolor=")
        .Trusted(ChartPalette1[index]).Add("></td></tr></table></td>");
    html.Add("<td").Trusted(cellStyle).Add("><p class=\"tableleft\">").Append(name).Add("</p></td>");
    html.Add("<td align=center").Trusted(cellStyle).Add("><p class=\"tabletext\">").Int(count).Add("</p></td>");
    html.Add("<td align=center").Trusted(cellStyle).Add("><p class=\"tabletext\">");
    if (total > 0) html.Float("0.0%", double(count) * 100 / double(total));
    else html.Add(shareOfNothing);
    html.Add("</p></td></tr>");
}

void ShareTableHead(THtmlBuilder& html, THtmlLiteral caption) {
    html.Line("<tr><td colspan=2 bgcolor=#BDCFE3><p class=\"tablehead\">").Trusted(caption)
        .Add("</p></td><td width=30% bgcolor=#BDCFE3><p class=\"tablehead\">").Trusted(UiText("Hits"))
        .Add("</p></td><td width=30% bgcolor=#BDCFE3><p class=\"tablehead\">%</p></td></tr>");
}

void LanguageTable(THtmlBuilder& html, INode& root) {
    const TLanguagePie pie = LanguagePie(LanguageCounts(root));
    html.Line("<table cellspacing=0 cellpadding=0 border=0>");
    ShareTableHead(html, UiText("Main browser language"));
    for (size_t i = 0; i < pie.Rows.size(); ++i) {
        THtmlBuilder name;
        name.Text(pie.Rows[i].Name);
        ShareRow(html, i, i % 2 ? THtmlLiteral("#F7FBFF") : THtmlLiteral("#FFFFFF"), name, pie.Rows[i].Count, pie.Total,
                 i + 1 == pie.Rows.size(), "&nbsp;");
    }
    html.Line("</table></td>");
}

void BrowserTable(THtmlBuilder& html, INodeInfo& root) {
    const std::array<int64_t, 7> counts = BrowserCounts(root);
    int64_t total = 0;
    for (int64_t count : counts) total += count;
    html.Line("<table border=0 cellspacing=0 cellpadding=0>");
    ShareTableHead(html, UiText("Type of browser"));
    for (size_t i = 0; i < kBrowserRows.size(); ++i) {
        THtmlBuilder name;
        name.Trusted(kBrowserRows[i].Label);
        ShareRow(html, i, i % 2 ? THtmlLiteral("#F7FBFF") : THtmlLiteral("#ffffff"), name, counts[i], total, i + 1 == kBrowserRows.size(),
                 "0.0%");
    }
}

void PiesSection(THtmlBuilder& html, const TReportContext& context, INode& root, INodeInfo& rootInfo) {
    html.Line().Trusted(MainWideTable);
    html.Line("<tr><td align=center><h2>").Trusted(UiText("REGIONAL PARAMETERS of THE VISITORS:"))
        .Add("</h2></td><td align=center><h2>").Trusted(UiText("USED BROWSERS:")).Add("</h2></td></tr>");
    html.Line("<tr><td width=50% align=center><img src=\"");
    PageHref(html, context, "img=1&imgind=1").Add("\" alt=\"").Trusted(UiText("Diagram of used languages"))
        .Add("\"></td><td width=50% align=center><img src=\"");
    PageHref(html, context, "img=1&imgind=2").Add("\" alt=\"").Trusted(UiText("Diagram of used browsers"))
        .Add("\"></td></tr>");
    html.Line("<tr><td valign=top align=center>");
    LanguageTable(html, root);
    html.Line("<td width=50% valign=top align=center>");
    BrowserTable(html, rootInfo);
    html.Line("</table>");
    html.Line("</td></tr>");
    html.Line("</table>");
    html.Line("<br><br>");
}

}  // namespace

void WriteMainSiteSections(THtmlBuilder& html, const TReportContext& context, int32_t periodDays,
                           const TCounterSettings& settings) {
    ICounter2& counter = *context.Counter;
    ReturnsSection(html, counter, periodDays, settings);
    Ref<INode> root = counter.GetNodes()->GetRoot();
    Ref<INodeInfo> rootInfo = root ? root->GetInfo() : nullptr;
    if (rootInfo) TransitionsSection(html, context, *rootInfo);
    EntryExitSection(html, counter);
    if (rootInfo) PiesSection(html, context, *root, *rootInfo);
}

}  // namespace tlvx
