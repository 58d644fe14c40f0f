// REFS: the referral sources of one page or of the whole site, with their
// transitions, a chosen audience figure, shares, a bar and a time diagram
// of each source's first and latest transition; or, for one source named
// in the request, that source's row of both tables.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "model/cobject.h"
#include "model/time_split.h"
#include "platform/html_builder.h"
#include "platform/integer_ratio.h"
#include "webstat/choice_links.h"
#include "webstat/page_builders.h"
#include "webstat/page_rows.h"
#include "webstat/report_math.h"
#include "webstat/report_queries.h"
#include "webstat/time_diagram.h"
#include "webstat/ui_tables.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {
namespace {

// What "compare" selects: the figure of the bars and the order of the list.
enum class TCompare { Transitions, PerDay, Visitors, Hits, Visits };

TCompare CompareOf(const std::string& compare) {
    if (compare.empty() || compare == "1") return TCompare::Transitions;
    if (compare == "2") return TCompare::PerDay;
    if (compare == "4") return TCompare::Hits;
    if (compare == "5") return TCompare::Visits;
    return TCompare::Visitors;  // "3" and every other value
}

struct TRefsRequest {
    std::string Node;     // as asked ("node", else "nodename"), before lookup
    std::string Compare;  // as asked
    std::string TimeSort;
    std::string RefName;  // the one source of a detail report, else ""
    bool Detail = false;
    TCompare Figure = TCompare::Transitions;
};

// Both lists of the page and what their rows are measured against.
struct TRefsData {
    bool NodeFound = false;
    // Lines: source names. Hits transitions, Visits transitions a day in
    // thousandths, Visitors the compared figure, Time the first transition.
    TCObjectList Main;
    // Lines: source names. Hits the first day, Visits transitions,
    // Visitors the latest day.
    TCObjectList Time;
    int64_t TotalTransitions = 0;
    int64_t FigureTotal = 0;  // the node's own hits, site views or visitors
    int64_t MaxTransitions = 0, MaxPerDay1000 = 0, MaxFigure = 0;
    double StartTime = 0;
    double Now = 0;
};

int32_t ClampToInt32(int64_t value) {
    return int32_t(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

// Every source's record, read once.
TRefsData CollectSources(ICounter2& counter, const TRefsRequest& request, double now) {
    TRefsData data;
    data.Now = now;
    data.StartTime = counter.GetSettings().StartTime;
    Ref<INodeCollection> nodes = counter.GetNodes();
    Ref<INode> node = request.Node.empty() ? nullptr : nodes->FindNode(request.Node, false);
    data.NodeFound = node != nullptr;
    if (!node) node = nodes->GetRoot();
    Ref<INodeInfo> info = node ? node->GetInfo() : nullptr;
    if (!info) return data;
    switch (request.Figure) {
        case TCompare::Hits: data.FigureTotal = info->GetHits(); break;
        case TCompare::Visits: data.FigureTotal = info->GetVisits(); break;
        default: data.FigureTotal = info->GetVisitors(); break;
    }
    for (const std::string& name : info->GetSourceNames()) {
        int32_t hits = 0, visits = 0, visitors = 0, transitions = 0;
        double lastTime = 0, firstTime = 0;
        info->GetSourceStats(name, hits, visits, visitors, transitions, lastTime, firstTime);
        const int32_t firstDay = DayNumber(firstTime), lastDay = DayNumber(lastTime);
        // A latest transition before the first one (the clock went back)
        // counts as one day.
        const int64_t days = std::max<int64_t>(1, int64_t(lastDay) - firstDay + 1);
        const int32_t perDay1000 = ClampToInt32(RoundShare(transitions, days, 1000));
        const int32_t figure = request.Figure == TCompare::Hits ? hits
                               : request.Figure == TCompare::Visits ? visits
                                                                    : visitors;
        data.Main.push_back({name, TCObject(transitions, perDay1000, figure, firstTime)});
        data.Time.push_back({name, TCObject(firstDay, transitions, lastDay)});
        data.TotalTransitions += transitions;
        data.MaxTransitions = std::max<int64_t>(data.MaxTransitions, transitions);
        data.MaxPerDay1000 = std::max<int64_t>(data.MaxPerDay1000, perDay1000);
        data.MaxFigure = std::max<int64_t>(data.MaxFigure, figure);
    }
    SortCObjects(data.Main, request.Figure == TCompare::Transitions ? TListOrder::Hits
                            : request.Figure == TCompare::PerDay    ? TListOrder::Visits
                                                                    : TListOrder::Visitors);
    SortCObjects(data.Time, request.TimeSort == "first"  ? TListOrder::HitsAscending
                            : request.TimeSort == "last" ? TListOrder::Visitors
                                                         : TListOrder::Text);
    return data;
}

void Title(THtmlBuilder& html, const TReportContext& ctx, const TRefsRequest& request, const TRefsData& data) {
    if (request.Detail) {
        html.Add("<h1>").Trusted(UiText("Referral detailed statistics")).Add("<br>").Text(request.RefName);
        html.Add("</h1>");
        html.Line("<p class=\"navig2\">");
        if (data.NodeFound) html.Trusted(UiText("For page")).Add(": ").Text(request.Node);
        else html.Trusted(UiText("For whole site"));
        html.Add("</p>");
        html.Line("<p class=\"navig2\"><a class=\"navig2\" href=\"");
        PageHref(html, ctx, "page=refs&compare=").Url(request.Compare).Add("&node=").Url(request.Node);
        html.Add("\">").Trusted(UiText("All referrals")).Add("</a></p>");
        return;
    }
    html.Add("<h1>").Trusted(UiText("Statistics of transitions")).Add("<br>");
    if (data.NodeFound) html.Trusted(UiText("For page")).Add(": ").Text(request.Node);
    else html.Trusted(UiText("For whole site"));
    html.Add("</h1>");
    if (!request.Node.empty()) {
        html.Line("<p class=\"navig2\"><a class=\"navig2\" href=\"");
        PageHref(html, ctx, "page=refs&compare=").Url(request.Compare);
        html.Add("\">").Trusted(UiText("For whole site")).Add("</a></p>");
    }
}

void MainTableHead(THtmlBuilder& html, const TReportContext& ctx, const TRefsRequest& request) {
    html.Line("<table width=100% cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr bgcolor=#BDCFE3>");
    html.Line("<td bgcolor=white>&nbsp;</td>");
    for (THtmlLiteral letter : {UiText("D"), UiText("C")})
        html.Line("<td  style=\"border-left:1px solid white;border-bottom:1px solid white;\" rowspan=2>"
                  "<p class=\"tablehead\">")
            .Trusted(letter)
            .Add("</p></td>");
    html.Line("<td align=center colspan=2 style=\"border-left:1px solid white;border-bottom:1px solid white;\">"
              "<p class=\"tablehead\">")
        .Trusted(UiText("Transitions"))
        .Add("</p></td>");
    html.Line("<td rowspan=2 align=center style=\"border-left:1px solid white;border-bottom:1px solid white;\">"
              "<p class=\"tablehead\">%</p></td>");
    const THtmlLiteral caption = request.Figure == TCompare::Hits     ? UiText("Hits")
                                     : request.Figure == TCompare::Visits ? UiText("Site&nbsp;views")
                                                                          : UiText("Visitors");
    for (THtmlLiteral head : {caption, THtmlLiteral("%")})
        html.Line("<td  rowspan=2 align=center style=\"border-left:1px solid white;border-bottom:1px solid white;\">"
                  "<p class=\"tablehead\">")
            .Trusted(head)
            .Add("</p></td>");
    html.Line("<td style=\"border-left:1px solid white;border-bottom:1px solid white;\" rowspan=2 width=200>"
              "<p class=\"tablehead\">")
        .Trusted(UiText("Diagram"));
    if (!request.Detail) {
        // The choices of the full list; a detail report has one row only.
        const std::string& c = request.Compare;
        const auto compare = [&](THtmlLiteral number) {
            return [&ctx, &request, number](THtmlBuilder& h) {
                PageHref(h, ctx, "page=refs&compare=").Add(number).Add("&node=").Url(request.Node);
            };
        };
        html.Add(" (");
        WriteChoices(html,
                     {{c.empty() || c == "1", UiText("Transitions"), compare("1")},
                      {c == "2", UiText("Transitions &nbspper&nbsp day"), compare("2")},
                      {c == "3", UiText("Audience"), compare("3")},
                      {c == "4", UiText("Hits"), compare("4")},
                      {c == "5", UiText("Site&nbsp;views"), compare("5")}},
                     " : ", TChoiceSpans::AroundLinks);
        html.Add(" : )");
    }
    html.Add("</p></td>");
    html.Line("</tr>");
    html.Line("<tr bgcolor=#BDCFE3><td bgcolor=white>&nbsp;</td>");
    html.Line("<td align=center style=\"border-top:1px solid white;border-left:1px solid white;border-bottom:1px solid white;\">"
              "<p class=\"tablehead\">")
        .Trusted(UiText("total"))
        .Add("</p></td>");
    html.Line("<td align=center style=\"border-left:1px solid white;border-bottom:1px solid white;border-top:1px solid white;\">"
              "<p class=\"tablehead\">")
        .Trusted(UiText("per day"))
        .Add("</p></td>");
}

// A link cell of a row: D (the source's detail report) or C (its calendar).
void LinkCell(THtmlBuilder& html, const TReportContext& ctx, const TRefsRequest& request, const std::string& name,
              size_t k, bool last, bool calendar) {
    html.Line("<td style=\"border-top:1px solid #");
    TopBorder(html, k).Add("; border-left:1px solid #CFCFCF;");
    BottomBorder(html, last).Add("\"><p class=\"navig2\"><a title=\"");
    calendar ? html.Trusted(UiText("Referral calendar statistics")) : html.Trusted(UiText("Referral detailed statistics"));
    html.Add(" ").Attr(name).Add("\" class=\"navig2\" href=\"");
    if (calendar) PageHref(html, ctx, "page=calendar&kind=ref&ref=");
    else PageHref(html, ctx, "page=refs&podr=1&refname=");
    html.Url(name).Add("&node=").Url(request.Node).Add("\">&nbsp;&raquo&nbsp;</a></p></td>");
}

THtmlBuilder& BarColour(THtmlBuilder& html, const std::string& compare) {
    if (compare.empty() || compare == "1") return html.Add("A45080");
    if (compare == "2") return html.Add("9A66B5");
    if (compare == "3") return html.Add("E2908C");
    if (compare == "4") return html.Add("63A795");
    if (compare == "5") return html.Add("556F8E");
    return html;
}

// The bar's width of 200 pixels at the list's largest value; 0 when that
// is below 1 (per-day figures of sources used less than daily).
int64_t BarWidth(const TCObject& o, const TRefsRequest& request, const TRefsData& data) {
    switch (request.Figure) {
        case TCompare::Transitions:
            return data.MaxTransitions >= 1 ? RoundShare(o.Hits, data.MaxTransitions, 200) : 0;
        case TCompare::PerDay:
            return data.MaxPerDay1000 >= 1000 ? RoundShare(o.Visits, data.MaxPerDay1000, 200) : 0;
        default: return data.MaxFigure >= 1 ? RoundShare(o.Visitors, data.MaxFigure, 200) : 0;
    }
}

void MainRow(THtmlBuilder& html, const TReportContext& ctx, const TRefsRequest& request, const TRefsData& data,
             const TCObjectLine& item, size_t k, bool last) {
    const TCObject& o = item.Object;
    k % 2 == 0 ? html.Line("<tr>") : html.Line("<tr bgcolor=#F7FBFF>");
    html.Line("<td style=\"border-top:1px solid #");
    TopBorder(html, k).Add("; border-left:1px solid #CFCFCF;");
    BottomBorder(html, last).Add("\"><p class=\"tableleft\">").Text(item.Text).Add("</p></td>");
    LinkCell(html, ctx, request, item.Text, k, last, false);
    LinkCell(html, ctx, request, item.Text, k, last, true);
    const auto open = [&]() -> THtmlBuilder& {
        html.Line("<td style=\"border-top:1px solid #");
        TopBorder(html, k).Add("; border-left:1px solid #F1F1F1;");
        return BottomBorder(html, last).Add("\" align=center>");
    };
    open().Add("<p class=\"tabletext\">").Int(o.Hits).Add("</p></td>");
    // Nothing a day for a source first used after today.
    if (DayNumber(data.Now) - int64_t(DayNumber(o.Time)) + 1 > 0)
        open().Add("<p class=\"tabletext\">").Float("0.00", o.Visits / 1000.0).Add("</p></td>");
    else
        open().Add("&nbsp;</td>");
    if (data.TotalTransitions > 0)
        open().Add("<p class=\"tabletext\">").Float("0.00", SharePercent(o.Hits, data.TotalTransitions)).Add("</p></td>");
    else
        open().Add("&nbsp;</td>");
    open().Add("<p class=\"tabletext\">").Int(o.Visitors).Add("</p></td>");
    html.Line("<td style=\"border-top:1px solid #");
    TopBorder(html, k).Add("; border-left:1px solid #F1F1F1;border-right:1px solid #CFCFCF;");
    BottomBorder(html, last).Add("\" align=center>");
    if (data.FigureTotal > 0)
        html.Add("<p class=\"tabletext\">").Float("0.00", SharePercent(o.Visitors, data.FigureTotal)).Add("</p></td>");
    else
        html.Add("&nbsp;</td>");
    html.Line("<td bgcolor=white valign=middle align=left>");
    html.Line("<table height=10 width=").Int(BarWidth(o, request, data)).Add(" cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr height=10>");
    html.Line("<td height=10 width=100% bgcolor=#");
    BarColour(html, request.Compare).Add("></td>");
    html.Line("</tr>");
    html.Line("</table>");
    html.Line("</td>");
    html.Line("</tr>");
}

void MainTable(THtmlBuilder& html, const TReportContext& ctx, const TRefsRequest& request, const TRefsData& data,
               const TCObjectList& rows) {
    MainTableHead(html, ctx, request);
    for (size_t k = 0; k < rows.size(); ++k) MainRow(html, ctx, request, data, rows[k], k, k + 1 == rows.size());
    html.Line("</table>");
}

void SelectionForm(THtmlBuilder& html, const TReportContext& ctx) {
    html.Line().Trusted(FormBoxOpen).Trusted(UiText("Transitions to page")).Add(":").Trusted(FormBoxBody);
    html.Line("<form action=\"").Attr(ctx.ScriptName).Add("\">");
    html.Line("<input type=hidden name=page value=refs>");
    html.Line("<input type=hidden name=id value=\"").Attr(ctx.Id).Add("\">");
    html.Line("<select name=\"nodename\" style=\"width:200px;\">");
    for (const std::string& path : ListAllNodePaths(*ctx.Counter))
        html.Line("<option value=\"").Attr(path).Add("\">").Text(path);
    html.Line("</select>");
    html.Line("<input type=submit value=\"").Trusted(UiText("Show"))
        .Add("\" style=\"width:100px; border:1px solid black; background-color:white;\">");
    html.Line().Trusted(FormBoxClose).Add("<br>");
}

// The state of a source: useless (one transition at most), used yesterday
// or today, within two weeks, earlier.
THtmlBuilder& StateColour(THtmlBuilder& html, const TCObject& o, int64_t today) {
    if (o.Visits <= 1) return html.Add("FFFFFF");
    if (o.Visitors >= today - 1) return html.Add("5AA27A");
    if (o.Visitors > today - 14) return html.Add("EFE5A3");
    return html.Add("C7593B");
}

void TimeRow(THtmlBuilder& html, const TCObjectLine& item, size_t k, bool last, int64_t start, int64_t today,
             int64_t days) {
    const TCObject& o = item.Object;
    k % 2 == 0 ? html.Line("<tr>") : html.Line("<tr bgcolor=#F7FBFF>");
    html.Line("<td style=\"border-left:1px solid #CFCFCF; border-top:1px solid #");
    TopBorder(html, k).Add(";");
    BottomBorder(html, last).Add("\"><p class=\"tableleft\">").Text(item.Text).Add("</p></td>");
    html.Line("<td style=\"border-left:1px solid #F1F1F1; border-top:1px solid #");
    TopBorder(html, k).Add(";");
    BottomBorder(html, last).Add("\"  align=center><p class=\"tabletext\">").Date("dd.mm.yy", o.Hits).Add("</p></td>");
    html.Line("<td vaslign=middle align=left bgcolor=white style=\"border-left:1px solid black;\">");
    if (days <= 0) {
        html.Line("&nbsp;");
    } else {
        const TSpanWidths w = SpanWidths(start, o.Hits, o.Visitors, today, days, 400);
        html.Line("<table width=100% cellspacing=0 cellpadding=0 border=0 height=13>");
        html.Line("<tr>");
        html.Line("<td height=13 width=").Int(w.Before).Add("></td>");
        html.Line("<td height=13 bgcolor=#B2D5ED width=").Int(w.Span).Add("></td>");
        html.Line("<td height=13 width=").Int(w.After).Add("></td>");
        html.Line("</tr>");
        html.Line("</table>");
    }
    html.Line("</td><td bgcolor=white  valign=middle align=center width=20 style=\"border-right:1px solid black;\">");
    html.Line("<table width=13 height=13 cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr><td width=13 height=13 bgcolor=#");
    StateColour(html, o, today).Add("></td></tr>");
    html.Line("</table>");
    html.Line("</td>");
    html.Line("<td style=\"border-right:1px solid #CFCFCF;border-left:1px solid #F1F1F1; border-top:1px solid #");
    TopBorder(html, k).Add(";");
    BottomBorder(html, last).Add("\"  align=center><p class=\"tabletext\">").Date("dd.mm.yy", o.Visitors).Add("</p></td>");
    html.Line("</tr>");
}

void TimeDiagram(THtmlBuilder& html, const TReportContext& ctx, const TRefsRequest& request, const TRefsData& data,
                 const TCObjectList& rows) {
    const int64_t today = DayNumber(data.Now), start = DayNumber(data.StartTime);
    const int64_t days = today - start + 1;
    html.Line("<h2>").Trusted(UiText("Referral time diagram")).Add(":</h2><table width=100% cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr bgcolor=#BDCFE3>");
    html.Line("<td bgcolor=white>&nbsp;</td>");
    html.Line("<td width=80 style=\"border-bottom:1px solid white; border-left:1px solid white;\"><p class=\"tablehead\">")
        .Trusted(UiText("The first"))
        .Add("</p></td>");
    html.Line("<td width=400 style=\"border-bottom:1px solid white; border-left:1px solid white;\"><p class=\"tablehead\">")
        .Trusted(UiText("Diagram"));
    if (!request.Detail) {
        const std::string& t = request.TimeSort;
        const auto order = [&](THtmlLiteral args) {
            return [&ctx, &request, args](THtmlBuilder& h) {
                PageHref(h, ctx, args).Url(request.Node).Add("&compare=").Url(request.Compare);
            };
        };
        html.Add(" ( ");
        WriteChoices(html,
                     {{t == "first", UiText("The first"), order("page=refs&timesort=first&node=")},
                      {t == "last", UiText("The last"), order("page=refs&timesort=last&node=")},
                      {t.empty(), UiText("Alphabet"), order("page=refs&node=")}},
                     " : ", TChoiceSpans::AroundLinks);
        html.Add(")");
    }
    html.Add("</p></td>");
    html.Line("<td width=20 style=\"border-bottom:1px solid white;\">&nbsp;</td>");
    html.Line("<td width=80 style=\"border-bottom:1px solid white; border-left:1px solid white;\"><p class=\"tablehead\">")
        .Trusted(UiText("The last"))
        .Add("</p></td>");
    html.Line("</tr>");
    for (size_t k = 0; k < rows.size(); ++k) TimeRow(html, rows[k], k, k + 1 == rows.size(), start, today, days);

    const int32_t rulerDays = int32_t(std::clamp<int64_t>(days, 0, std::numeric_limits<int32_t>::max()));
    WriteTimeDiagramTail(
        html, data.StartTime, rulerDays,
        {{UiText("There has been a transition yesterday or today"), "5AA27A"},
         {UiText("There has been a transition in last 2 weeks"), "EFE5A3"},
         {UiText("Other useful referrals"), "C7593B"},
         {UiText("Useless referrals (less than 2 transitions)")}});
}

TCObjectList OnlyThe(const TCObjectList& list, const std::string& name) {
    TCObjectList one;
    for (const TCObjectLine& line : list)
        if (line.Text == name) one.push_back(line);
    return one;
}

// One source's rows, measured against the whole list as there; a source
// the node has no record of gets a short notice instead.
void DetailReport(THtmlBuilder& html, const TReportContext& ctx, const TRefsRequest& request,
                  const TRefsData& data) {
    const TCObjectList main = OnlyThe(data.Main, request.RefName);
    if (main.empty()) {
        html.Line("<p class=\"tabletext\">No transitions from this source have been recorded here.</p>");
        return;
    }
    MainTable(html, ctx, request, data, main);
    html.Line("<br>");
    TimeDiagram(html, ctx, request, data, OnlyThe(data.Time, request.RefName));
}

}  // namespace

std::string BuildRefsPage(const TReportContext& context) {
    TRefsRequest request;
    request.Node = context.Query("node");
    if (request.Node.empty()) request.Node = context.Query("nodename");
    request.Compare = context.Query("compare");
    request.TimeSort = context.Query("timesort");
    request.RefName = context.Query("refname");
    request.Detail = !context.Query("podr").empty() && !request.RefName.empty();
    request.Figure = CompareOf(request.Compare);
    const TRefsData data = CollectSources(*context.Counter, request, context.Now);

    THtmlBuilder html;
    Title(html, context, request, data);
    if (request.Detail) {
        DetailReport(html, context, request, data);
        return html.Take();
    }
    MainTable(html, context, request, data, data.Main);
    SelectionForm(html, context);
    TimeDiagram(html, context, request, data, data.Time);
    return html.Take();
}

}  // namespace tlvx
