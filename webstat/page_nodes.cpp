// NODES: every page of the site with its hits and visitors, the forms that
// lead to one group's or one page's reports, and the time diagram of the
// pages from their first to their latest day.
#include <cmath>
#include <string>
#include <vector>

#include "model/cobject.h"
#include "model/time_split.h"
#include "platform/html_builder.h"
#include "platform/integer_ratio.h"
#include "webstat/choice_links.h"
#include "webstat/page_builders.h"
#include "webstat/page_rows.h"
#include "webstat/report_math.h"
#include "webstat/time_diagram.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {
namespace {

// One node path with what both tables show of it.
struct TPageFigures {
    std::string Path;
    int32_t Hits = 0;
    int32_t Visitors = 0;
    int32_t First = 0;  // day of creation
    int32_t Last = 0;   // latest day with a record, never after today
};

struct TNodesData {
    std::vector<TPageFigures> Pages;  // in the order of the node paths
    StringArray GroupPaths;           // the paths of nodes with children
    TCounterSettings Settings;
    double Now = 0;
};

// Every figure of the page in one walk over the node paths: each node is
// found and read once.
TNodesData CollectNodes(ICounter2& counter, double now) {
    TNodesData data;
    data.Now = now;
    data.Settings = counter.GetSettings();
    Ref<INodeCollection> nodes = counter.GetNodes();
    for (const std::string& path : nodes->GetAllLinkPaths()) {
        Ref<INode> node = nodes->FindNode(path, false);
        if (!node) continue;
        if (HasEntries(*node)) data.GroupPaths.push_back(path);
        Ref<INodeInfo> info = node->GetInfo();
        if (!info) continue;
        TPageFigures page;
        page.Path = path;
        page.Hits = info->GetHits();
        page.Visitors = info->GetVisitors();
        page.First = DayNumber(info->GetCreated());
        page.Last = DayNumber(info->GetLastDay());
        // A latest day after now (the clock went back) shows the creation
        // day; so does one before the creation.
        if (page.Last > data.Now) page.Last = page.First;
        if (page.First > page.Last) page.Last = page.First;
        data.Pages.push_back(std::move(page));
    }
    return data;
}

void PagesTableHead(THtmlBuilder& html, const TReportContext& ctx, const std::string& kind) {
    html.Line("<h2>").Trusted(UiText("Pages")).Add(":</h2><br>");
    html.Line("<table  cellspacing=0 cellpadding=0 border=0 width=100% name=\"nodes_pages\" id=\"nodes_pages\">");
    html.Line("<tr><td>&nbsp;</td>");
    const auto head = [&](THtmlLiteral caption) {
        html.Line("<td bgcolor=#BDCFE3 align=center style=\"border-bottom:1px solid white; border-left:1px solid white;\">"
                  "<p class=\"tablehead\">")
            .Trusted(caption)
            .Add("</p></td>");
    };
    head(UiText("Hits"));
    head("%");
    html.Line("<td align=center bgcolor=#BDCFE3 style=\"border-bottom:1px solid white; border-left:1px solid white;\">"
              "<p class=\"tablehead\">")
        .Trusted(UiText("Visitors"))
        .Add("</p></td>");
    head("%");
    html.Line("<td bgcolor=#BDCFE3 style=\"border-bottom:1px solid white; border-left:1px solid white;\"><p class=\"tablehead\">")
        .Trusted(UiText("Diagram"))
        .Add(":&nbsp;<span class=\"navig2\">(");
    WriteChoices(html,
                 {{kind == "hits", UiText("Hits"), [&](THtmlBuilder& h) { PageHref(h, ctx, "page=nodes&kind=hits"); }},
                  {kind == "visitors", UiText("Visitors"),
                   [&](THtmlBuilder& h) { PageHref(h, ctx, "page=nodes&kind=visitors"); }},
                  {kind.empty(), UiText("Alphabet"), [&](THtmlBuilder& h) { PageHref(h, ctx, "page=nodes"); }}},
                 "&nbsp;:&nbsp;", TChoiceSpans::None);
    html.Add(")</span></p><td>");
}

void PagesTable(THtmlBuilder& html, const TReportContext& ctx, const TNodesData& data) {
    const std::string kind = ctx.Query("kind");
    PagesTableHead(html, ctx, kind);
    const bool byVisitors = kind == "visitors";
    TCObjectList items;
    std::vector<int32_t> hits, visitors;
    for (const TPageFigures& page : data.Pages) {
        items.push_back({page.Path, TCObject(page.Hits, 0, page.Visitors)});
        hits.push_back(page.Hits);
        visitors.push_back(page.Visitors);
    }
    size_t at = 0;
    const int64_t maximum = byVisitors ? MaxIndex(visitors, at) : MaxIndex(hits, at);
    SortCObjects(items, byVisitors ? TListOrder::Visitors : kind == "hits" ? TListOrder::Hits : TListOrder::Text);
    // Pages nobody has opened yet are not listed.
    std::erase_if(items, [](const TCObjectLine& item) { return item.Object.Hits == 0; });

    const TCounterSettings& s = data.Settings;
    for (size_t k = 0; k < items.size(); ++k) {
        const TCObject& o = items[k].Object;
        const bool last = k + 1 == items.size();
        k % 2 == 0 ? html.Line("<tr>") : html.Line("<tr bgcolor=#F3F9FF>");
        html.Line("<td style=\"border-top:1px solid #");
        TopBorder(html, k).Add(";border-left:1px solid #CFCFCF;");
        BottomBorder(html, last).Add("\"><p class=\"tableleft\">").Text(items[k].Text).Add("</p></td>");
        const auto cell = [&]() -> THtmlBuilder& {
            html.Line("<td align=center style=\"border-top:1px solid #");
            TopBorder(html, k).Add(";border-left:1px solid #F1F1F1;");
            return BottomBorder(html, last).Add("\"><p class=\"tabletext\">");
        };
        cell().Int(o.Hits).Add("</p></td>");
        cell().Float("0.0", SharePercent(o.Hits, s.TotalHits)).Add("</p></td>");
        cell().Int(o.Visitors).Add("</p></td>");
        html.Line("<td align=center style=\"border-top:1px solid #");
        TopBorder(html, k).Add(";border-left:1px solid #F1F1F1;border-right:1px solid #CFCFCF;");
        BottomBorder(html, last)
            .Add("\"><p class=\"tabletext\">")
            .Float("0.0", SharePercent(o.Visitors, s.TotalVisitors))
            .Add("</p></td>");
        html.Line("<td valign=middle align=left width=310 bgcolor=white>");
        html.Line("<table cellspacing=0 cellpadding=0 border=0 height=10>");
        if (maximum > 0) {
            html.Line("<tr><td width=10><img width=10 height=1 src=\"\"></td><td width=")
                .Int(RoundShare(byVisitors ? o.Visitors : o.Hits, maximum, 300));
            byVisitors ? html.Add(" bgcolor=#E2908C") : html.Add(" bgcolor=#63A795");
            html.Add("></td><td></td></tr>");
        } else {
            html.Line("<tr><td width=10><img width=10 height=1 src=\"\"></td><td></td><td></td></tr>");
        }
        html.Line("</table>");
        html.Line("</td>");
        html.Line("</tr>");
    }
    html.Line("</table><br><br>");
}

// A box with a caption above a framed body: the body's three-column table
// is opened here and closed by the form's last row.
void FormBoxTop(THtmlBuilder& html, THtmlLiteral caption) {
    html.Line("<table cellspacing=0 cellpadding=0 border=0><tr><td bgcolor=#D7E1FF><p class=\"formname\">")
        .Trusted(caption)
        .Add(":</p></td></tr></table>");
    html.Line("<table cellspacing=0 cellpadding=0 border=0 style=\"border:1px solid #CBD8FF;\"><tr><td>");
    html.Line("<table cellspacing=0 cellpadding=0 border=0 style=\"border:1px solid white;\"><tr><td>");
    html.Line("<table cellspacing=0 cellpadding=0 border=0 style=\"border:1px solid #0172CF;\" bgcolor=#F3F9FF>");
    html.Line("<tr><td colspan=3 height=20><img width=1 height=20 src=\"\"></td></tr>");
    html.Line("<tr><td width=20><img width=20 height=1 src=\"\"></td><td>");
    html.Line("<table cellspacing=0 cellpadding=0 border=0>");
}

void FormBoxBottom(THtmlBuilder& html) {
    html.Line("</td><td width=20><img width=20 height=1 src=\"\"></td></tr>");
    html.Line("<tr><td colspan=3 height=10><img width=1 height=10 src=\"\"></td></tr>");
    html.Line("</table></td></tr></table></td></tr></table>");
}

void SpacerRow(THtmlBuilder& html) {
    html.Line("<tr><td colspan=3 height=20><img width=1 height=20 src=\"\"></td></tr>");
}

void Radio(THtmlBuilder& html, THtmlLiteral page, THtmlLiteral label) {
    html.Line("<p class=\"formvalue\"><input type=radio name=\"page\" value=\"").Add(page).Add("\">").Trusted(label).Add("</p>");
}

void PathOptions(THtmlBuilder& html, const StringArray& paths) {
    for (const std::string& path : paths)
        html.Line("<option value=\"").Attr(path).Add("\">").Text(path);
}

// The last row of a form: the id twice, as the form always sent it.
void SubmitRow(THtmlBuilder& html, const TReportContext& ctx) {
    html.Line("<td>&nbsp;</td><td align=right>");
    html.Line("<input name=id type=hidden value=\"").Attr(ctx.Id).Add("\">");
    html.Line("<input type=submit value=\"").Trusted(UiText("Show"))
        .Add("\" style=\"border:1px solid black; background-color:white; width:150px;\">");
    html.Line("<input name=id value=\"").Attr(ctx.Id).Add("\" type=hidden>");
    html.Line("</form></td><td>&nbsp;</td></tr></table>");
}

void GroupForm(THtmlBuilder& html, const TReportContext& ctx, const TNodesData& data) {
    FormBoxTop(html, UiText("Group detailed statistics"));
    html.Line("<form name=\"f2\" id=\"f2\" action=").Attr(ctx.ScriptName).Add(">");
    html.Line("<tr><td valign=top><p class=\"field\">").Trusted(UiText("Group")).Add("</p></td>");
    html.Line("<td><select name=\"nodename\" style=\"width:200px;\">");
    PathOptions(html, data.GroupPaths);
    html.Line("</select></td>");
    html.Line("<td>&nbsp;</td></tr>");
    SpacerRow(html);
    html.Line("<tr><td valign=top><p class=\"field\">").Trusted(UiText("Statistics")).Add("</p></td>");
    html.Line("<td><input type=hidden name=group value=\"1\">");
    html.Line("<input type=hidden name=kind value=\"GROUP\">");
    Radio(html, "main", UiText("Detailed general"));
    Radio(html, "calendar", UiText("Calendar"));
    Radio(html, "geo", UiText("Geography of the page group"));
    html.Line("</td>");
    html.Line("<td valign=bottom align=right>");
    html.Line("<td>&nbsp;</td></tr>");
    SpacerRow(html);
    SubmitRow(html, ctx);
    FormBoxBottom(html);
}

void PageForm(THtmlBuilder& html, const TReportContext& ctx, const TNodesData& data) {
    FormBoxTop(html, UiText("Page detailed statistics"));
    html.Line("<form name=\"f1\" id=\"f1\" action=").Attr(ctx.ScriptName).Add(">");
    html.Line("<tr><td valign=top><p class=\"field\">").Trusted(UiText("Page")).Add("</p></td>");
    html.Line("<td><select name=\"nodename\" style=\"width:200px;\">");
    StringArray paths;
    for (const TPageFigures& page : data.Pages) paths.push_back(page.Path);
    PathOptions(html, paths);
    html.Line("</select></td>");
    html.Line("<td>&nbsp;</td></tr>");
    SpacerRow(html);
    html.Line("<tr><td valign=top><p class=\"field\">").Trusted(UiText("Statistics")).Add("</p></td>");
    html.Line("<td>");
    Radio(html, "main", UiText("Detailed general"));
    Radio(html, "calendar", UiText("Calendar"));
    html.Line("<input type=hidden name=\"kind\" value=\"page\">");
    Radio(html, "refs", UiText("Transitions to page"));
    Radio(html, "geo", UiText("Geography of page"));
    html.Line("</td>");
    html.Line("<td valign=bottom align=right>");
    html.Line("<td>&nbsp;</td></tr>");
    SpacerRow(html);
    SubmitRow(html, ctx);
    FormBoxBottom(html);
}

void SelectionForms(THtmlBuilder& html, const TReportContext& ctx, const TNodesData& data) {
    html.Line("<table width=100% cellspacing=0 cellpadding=0 border=0><tr>");
    html.Line("<td align=right valign=top>");
    GroupForm(html, ctx, data);
    html.Line("</p></td>");
    html.Line("<td width=10%>&nbsp;</td>");
    html.Line("<td width=45% align=left>");
    PageForm(html, ctx, data);
    html.Line("</p></td>");
    html.Line("</tr></table>");
}

// The state of a page by its latest day: today, within a week, earlier.
THtmlBuilder& StateColour(THtmlBuilder& html, int64_t last, int64_t today) {
    if (last == today) return html.Add("5AA27A");
    if (today - 7 <= last) return html.Add("EFE5A3");
    return html.Add("C7593B");
}

void TimeDiagramRow(THtmlBuilder& html, const TCObjectLine& item, size_t k, bool last, int64_t start,
                    int64_t today, int32_t days) {
    const int32_t first = item.Object.Hits, latest = item.Object.Visitors;
    k % 2 == 0 ? html.Line("<tr>") : html.Line("<tr bgcolor=#F3F9FF>");
    html.Line("<td style=\"border-top:1px solid #");
    TopBorder(html, k).Add("; border-left:1px solid #CFCFCF;");
    BottomBorder(html, last).Add("\"><p class=\"tableleft\">").Text(item.Text).Add("</p></td>");
    html.Line("<td style=\"border-top:1px solid #");
    TopBorder(html, k).Add("; border-left:1px solid #F1F1F1;");
    BottomBorder(html, last)
        .Add(" border-right:1px solid black;\" align=center><p class=\"tabletext\">&nbsp;")
        .Date("dd.mm.yy", first)
        .Add("&nbsp;</p></td>");
    html.Line("<td width=400 valign=middle bgcolor=white>");
    html.Line("<table cellspacing=0 cellpadding=0 border=0 width=100% heignt=12><tr height=10>");
    if (days <= 0) {
        for (int i = 0; i < 3; ++i) html.Line("<td>&nbsp;</td>");
    } else {
        const TSpanWidths w = SpanWidths(start, first, latest, today, days, 400);
        html.Line("<td height=12 width=").Int(w.Before).Add("></td>");
        html.Line("<td height=12 width=").Int(w.Span).Add(" bgcolor=#B2D5ED></td>");
        html.Line("<td height=4 width=").Int(w.After).Add("></td>");
    }
    html.Line("</tr></table>");
    html.Line("</td>");
    html.Line("<td width=20 style=\"border-right:1px solid black;\" align=center valign=middle bgcolor=white>");
    html.Line("<table width=12 height=12 cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr><td bgcolor=#");
    StateColour(html, latest, today).Add(">");
    html.Line("</td></tr>");
    html.Line("</table>");
    html.Line("</td>");
    html.Line("<td style=\"border-top:1px solid #");
    TopBorder(html, k).Add("; border-right:1px solid #CFCFCF;");
    BottomBorder(html, last)
        .Add("\" align=center><p class=\"tabletext\">&nbsp;")
        .Date("dd.mm.yy", latest)
        .Add("&nbsp;</p></td></tr>");
}

void TimeDiagram(THtmlBuilder& html, const TReportContext& ctx, const TNodesData& data) {
    const std::string dates = ctx.Query("dates");
    const double start = data.Settings.StartTime;
    // The calendar days of the history, as the Referrals page counts them,
    // so that the ruler's last label is today whatever the start's time of
    // day.
    const double span = WholeDay(data.Now) - WholeDay(start) + 1;
    const int32_t days = std::isfinite(span) && std::fabs(span) < 1e9 ? int32_t(span) : 0;
    html.Line("<h2>").Trusted(UiText("Time diagram of pages")).Add(":</h2><br><br>");
    html.Line("<table cellspacing=0 cellpadding=0 border=0 width=100%>");
    html.Line("<tr bgcolor=#BDCFE3><td bgcolor=white>&nbsp;</td><td width=80 align=center "
              "style=\"border-left:1px solid white; border-bottom:1px solid white;\"><p class=\"tablehead\">")
        .Trusted(UiText("The first"))
        .Add("</p></td>");
    html.Line("<td  style=\"border-left:1px solid white; border-bottom:1px solid white;\" width=400><p class=\"tablehead\">")
        .Trusted(UiText("Diagram"))
        .Add(": (");
    WriteChoices(html,
                 {{dates == "first", UiText("The first"),
                   [&](THtmlBuilder& h) { PageHref(h, ctx, "page=nodes&dates=first"); }},
                  {dates == "last", UiText("The last"), [&](THtmlBuilder& h) { PageHref(h, ctx, "page=nodes&dates=last"); }},
                  {dates.empty(), UiText("Alphabet"), [&](THtmlBuilder& h) { PageHref(h, ctx, "page=nodes"); }}},
                 "&nbsp;:&nbsp;", TChoiceSpans::AroundEach);
    html.Add(")</p></td>");
    html.Line("<td style=\"border-bottom:1px solid white;\" width=20>&nbsp;</td><td width=80 align=center "
              "style=\"border-left:1px solid white; border-bottom:1px solid white;\"><p class=\"tablehead\">")
        .Trusted(UiText("The last"))
        .Add("</p></td></tr>");

    TCObjectList items;
    for (const TPageFigures& page : data.Pages) items.push_back({page.Path, TCObject(page.First, 0, page.Last)});
    SortCObjects(items, dates == "first"  ? TListOrder::HitsAscending
                        : dates == "last" ? TListOrder::Visitors
                                          : TListOrder::Text);
    const int64_t today = DayNumber(data.Now);
    for (size_t k = 0; k < items.size(); ++k)
        TimeDiagramRow(html, items[k], k, k + 1 == items.size(), DayNumber(start), today, days);

    WriteTimeDiagramTail(html, start, days,
                         {{UiText("The page has been visited today"), "5AA27A"},
                          {UiText("The page has been visited within one week"), "EFE5A3"},
                          {UiText("Other pages"), "C7593B"}});
}

}  // namespace

bool HasEntries(INode& node) { return node.GetChildCount() > 0; }

std::string BuildNodesPage(const TReportContext& context) {
    const TNodesData data = CollectNodes(*context.Counter, context.Now);
    THtmlBuilder html;
    html.Add("<h1>").Trusted(UiText("Statistics of pages")).Add("</h1><br>");
    PagesTable(html, context, data);
    SelectionForms(html, context, data);
    TimeDiagram(html, context, data);
    return html.Take();
}

}  // namespace tlvx
