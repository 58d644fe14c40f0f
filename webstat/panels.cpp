#include "webstat/panels.h"

#include <array>
#include <cmath>

#include "model/host.h"
#include "model/time_split.h"
#include "platform/html_builder.h"
#include "webstat/report_queries.h"
#include "webstat/ui_tables.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {
namespace {

// ---- links block ----

// A pair of the configuration with its caption, the address when it has
// none.
TStringPair WithCaption(TStringPair pair) {
    if (pair.Second.empty()) pair.Second = pair.First;
    return pair;
}

void ConfiguredSiteLink(THtmlBuilder& html, const TStringPair& pair) {
    html.Line("<p class=\"links\"><a target=_blank class=\"links\" href=\"http://")
        .ConfiguredMarkup(pair.First).Add("\">").ConfiguredMarkup(pair.Second).Add("</a></p>");
}

void ConfiguredMailLink(THtmlBuilder& html, const TStringPair& pair) {
    html.Line("<p class=\"links\"><a class=\"links\" href=\"mailto:")
        .ConfiguredMarkup(pair.First).Add("\">").ConfiguredMarkup(pair.Second).Add("</a></p>");
}

void RequestSiteLink(THtmlBuilder& html, std::string_view address, std::string_view caption) {
    html.Line("<p class=\"links\"><a target=_blank class=\"links\" href=\"http://")
        .Attr(address).Add("\">").Text(caption).Add("</a></p>");
}

// ---- summary panel ----

struct TFigures {
    int64_t Total = 0, Yesterday = 0, Today = 0;
    double Growth = 0;
};

// The mean day-to-day change of a root figure over the seven days ending
// yesterday.
double WeekGrowth(INodeInfo& root, int32_t (INodeInfo::*dayFigure)(double, double), double today) {
    std::array<int32_t, 7> days{};
    for (int i = 0; i < 7; ++i) {
        const double day = today - 7 + i;
        days[size_t(i)] = (root.*dayFigure)(day, day);
    }
    return AverageIncrease(days);
}

// A figure cell up to its value; FigureCellClose writes the rest and the
// separator after it.
THtmlBuilder& FigureCellOpen(THtmlBuilder& html, THtmlLiteral colour, bool lastRow, bool head, bool wide) {
    html.Line("<td align=center width=");
    if (wide) html.Add("120");
    else html.Add("80");
    html.Add(" bgcolor=").Trusted(colour).Add(" style=\"border-top: 1px solid ").Trusted(TableBorderColor)
        .Add("; border-left: 1px solid ").Trusted(TableBorderColor)
        .Add("; border-right: 1px solid ").Trusted(TableBorderColor);
    if (lastRow) html.Add("; border-bottom: 1px solid ").Trusted(TableBorderColor);
    html.Add(";\">");
    if (head) html.Add("<p class=\"minitablehead\">");
    else html.Add("<p class=\"minitabletext\">");
    return html;
}

void FigureCellClose(THtmlBuilder& html) {
    html.Add("</p></td>");
    html.Line("<td width=1></td>");
}

void FigureCell(THtmlBuilder& html, THtmlLiteral colour, bool lastRow, bool head, bool wide, THtmlLiteral text) {
    FigureCellOpen(html, colour, lastRow, head, wide).Trusted(text);
    FigureCellClose(html);
}

void FigureRow(THtmlBuilder& html, THtmlLiteral label, THtmlLiteral colour, bool lastRow, const TFigures& f) {
    html.Line("<tr><td width=1></td>");
    FigureCell(html, colour, lastRow, false, false, label);
    for (int64_t count : {f.Total, f.Yesterday, f.Today}) {
        FigureCellOpen(html, colour, lastRow, false, false).Int(count);
        FigureCellClose(html);
    }
    FigureCellOpen(html, colour, lastRow, false, true).Float("+0.0;-0.0;0.0", f.Growth);
    FigureCellClose(html);
    html.Line("</tr>");
}

void FiguresTable(THtmlBuilder& html, ICounter2& counter, double today) {
    const TCounterSettings settings = counter.GetSettings();
    Ref<INodeInfo> root = counter.GetNodes()->GetRoot()->GetInfo();
    const TFigures hits{settings.TotalHits, PeriodHits(counter, TPeriod::Yesterday, "", false, today),
                        PeriodHits(counter, TPeriod::Today, "", false, today),
                        WeekGrowth(*root, &INodeInfo::GetDayHits, today)};
    const TFigures views{settings.TotalVisits, PeriodVisits(counter, TPeriod::Yesterday, "", false, today),
                         PeriodVisits(counter, TPeriod::Today, "", false, today),
                         WeekGrowth(*root, &INodeInfo::GetDayVisits, today)};
    const TFigures visitors{settings.TotalVisitors, PeriodVisitors(counter, TPeriod::Yesterday, "", false, today),
                            PeriodVisitors(counter, TPeriod::Today, "", false, today),
                            WeekGrowth(*root, &INodeInfo::GetDayVisitors, today)};

    html.Line("<table cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr><td width=1></td>");
    html.Line("<td width=90>&nbsp;</td>");
    html.Line("<td width=1></td>");
    FigureCell(html, TableHeadColor, false, true, false, UiText("Total"));
    FigureCell(html, TableHeadColor, false, true, false, UiText("Yesterday"));
    FigureCell(html, TableHeadColor, false, true, false, UiText("Today"));
    FigureCell(html, TableHeadColor, false, true, true, UiText("Week growth"));
    html.Line("</tr>");
    FigureRow(html, UiText("Hits"), LightRowColor, false, hits);
    FigureRow(html, UiText("Site&nbsp;views"), GreenRowColor, false, views);
    FigureRow(html, UiText("Visitors"), LightRowColor, true, visitors);
    html.Line("</table>");
}

// One row of the hot-page table: two cells of 150 pixels with a 1-pixel
// gap, each written by cell(html, 0) and cell(html, 1) after its opening.
template <typename TCell>
void HotRow(THtmlBuilder& html, THtmlLiteral colour, bool head, const TCell& cell) {
    html.Line("<tr><td width=10></td>");
    for (int side = 0; side < 2; ++side) {
        if (side == 1) html.Line("<td width=1></td>");
        html.Line("<td width=150 align=center bgcolor=").Trusted(colour)
            .Add(" style=\"border: 1px solid ").Trusted(TableBorderColor).Add(";\">");
        if (head) html.Add("<p class=\"minitablehead\">");
        else html.Add("<p class=\"minitabletext\">");
        cell(html, side);
        html.Add("</p></td>");
    }
    html.Line("</tr>");
}

// Today's page with the most hits and referrer host with the most
// transitions, with their counts.
void HotTable(THtmlBuilder& html, ICounter2& counter, std::string_view host, double today) {
    const THotItem page = HotPage(counter, today);
    const THotItem referral = HotReferral(counter, host, today);
    html.Line("<table border=0 width=100% cellspacing=0 cellpadding=0>");
    HotRow(html, TableHeadColor, true, [](THtmlBuilder& h, int side) {
        h.Trusted(side == 0 ? UiText("Today's hot page") : UiText("Today's hot referral"));
    });
    HotRow(html, LightRowColor, false, [&](THtmlBuilder& h, int side) {
        h.TextOr(side == 0 ? page.Name : referral.Name, "&nbsp;");
    });
    HotRow(html, GreenRowColor, false,
           [&](THtmlBuilder& h, int side) { h.Int(side == 0 ? page.Count : referral.Count); });
    html.Line("<tr>");
    html.Line("<td></td>");
    html.Line("<td colspan=4><p class=title2>");
    html.Line("</p>");
    html.Line("</td></tr>");
    html.Line("</table>");
}

}  // namespace

std::string BuildLinksBlock(bool confLoaded, const TBaseConf& conf, std::string_view host,
                            std::string_view requestUrl) {
    THtmlBuilder html;
    if (!confLoaded) {
        const std::string urlHost = NormaliseHost(requestUrl);
        html.Line("<p class=\"links\">").Text(urlHost).Add("</p>");
        RequestSiteLink(html, host, urlHost);
        return html.Take();
    }
    const TStringPair site = WithCaption(conf.SiteURL);
    const TStringPair webMaster = WithCaption(conf.WebMasterMail);
    const TStringPair admin = WithCaption(conf.SiteAdminMail);
    html.Line("<p class=\"links\">").ConfiguredMarkup(conf.SiteName).Add("</p>");
    if (!site.Second.empty()) ConfiguredSiteLink(html, site);
    else RequestSiteLink(html, host, host);
    if (!webMaster.Second.empty()) ConfiguredMailLink(html, webMaster);
    if (!admin.Second.empty()) ConfiguredMailLink(html, admin);
    return html.Take();
}

std::string BuildImportantPanel(ICounter2& counter, std::string_view host, double now) {
    const double today = DayNumber(now);
    THtmlBuilder html;
    html.Line("<table cellspacing=0 cellpadding=0 border=0>");
    html.Line("<tr><td valign=top>");
    FiguresTable(html, counter, today);
    html.Line("</td>");
    html.Line("<td valign=top>");
    HotTable(html, counter, host, today);
    html.Line("</td>");
    html.Line("</tr>");
    html.Line("</table>");
    return html.Take();
}

std::string BuildTimePanel(double now, const TGmtOffset& offset) {
    THtmlBuilder html;
    const auto rules = [&html] {
        for (THtmlLiteral colour : {ThreadDarkColor, ThreadLightColor}) {
            html.Line("<tr>");
            html.Line("<td colspan=2 style=\"border-bottom: 1px solid ").Trusted(colour)
                .Add(";\"><img src=\"\" width=1 height=1></td>");
            html.Line("</tr>");
        }
    };
    rules();
    html.Line("<tr>");
    html.Line("<td><img src=\"\" width=10 height=1></td>");
    html.Line("<td width=100%>");
    html.Line("<p style=\"margin-top:5px; margin-bottom:5px;\"><span class=\"smaller\">")
        .Trusted(UiText("Now at server")).Add(": ").Date("dd.mm.yyyy", now).Add(", ")
        .Trusted(EnglishText.WeekdayNames[size_t(IsoDayOfWeek(now) - 1)]).Add(",<br> ")
        .Date("hh.nn.ss", now).Add("(GMT ").Text(GmtOffsetText(offset)).Add(")</span></p>");
    html.Line("</td>");
    html.Line("</tr>");
    rules();
    return html.Take();
}

}  // namespace tlvx
