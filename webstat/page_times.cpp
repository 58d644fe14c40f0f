// TIMES: how the hits of a page, a group or the whole site spread over the
// hours of the day: summed over every day (24 rows), or by weekday with the
// hours inside each day ("days": 7 blocks of 24 rows), or by hour with the
// weekdays inside each hour ("hours": 24 blocks of 7 rows). Every bar is
// measured against the busiest hour of all days.
#include <algorithm>

#include "model/node_records.h"
#include "webstat/choice_links.h"
#include "webstat/distribution_frame.h"
#include "webstat/page_builders.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {
namespace {

enum class TTimesView { Hours, Days, Ungrouped };

// "kind" exactly as written: "DAYS" is no view of its own.
TTimesView ViewOf(const std::string& kind) {
    if (kind == "hours") return TTimesView::Hours;
    if (kind == "days") return TTimesView::Days;
    return TTimesView::Ungrouped;
}

// The counts one page shows, read once.
struct THourFigures {
    TWeekHourBlock Block;
    int64_t GrandTotal = 0;
    int64_t Busiest = 0;  // the largest hour of all days

    int64_t DayHour(int32_t isoWeekday, int32_t hour) const {
        return Block.Days[size_t(isoWeekday - 1)].Hours[size_t(hour)];
    }
};

THourFigures ReadFigures(const TDistributionNode& choice) {
    THourFigures f;
    if (choice.Node) f.Block = choice.Node->GetWeekHourBlock(choice.Subtree);
    f.GrandTotal = f.Block.AllDays.Total;
    for (int32_t count : f.Block.AllDays.Hours) f.Busiest = std::max<int64_t>(f.Busiest, count);
    return f;
}

// "Group by:" and the three views; the current one as plain text, the
// others as links that keep the node.
void WriteViewSelector(THtmlBuilder& html, const TReportContext& context, TTimesView view) {
    const std::string nodename = context.Query("nodename");
    const std::string group = context.Query("group");
    const auto kindLink = [&](THtmlLiteral kindArg) {
        return [&context, &nodename, &group, kindArg](THtmlBuilder& h) {
            PageHref(h, context, "page=times&nodename=").Url(nodename).Add("&group=").Url(group).Add(kindArg);
        };
    };
    html.Line("<p class=\"navig2\"><span class=\"navig2\">").Trusted(UiText("Group by:")).Add("</span> ");
    WriteChoices(html,
                 {{view == TTimesView::Days, UiText("day of week"), kindLink("&kind=days")},
                  {view == TTimesView::Hours, UiText("hours"), kindLink("&kind=hours")},
                  {view == TTimesView::Ungrouped, UiText("don't group"), kindLink("")}},
                 "&nbsp;|&nbsp;", TChoiceSpans::None);
    html.Add("</p>");
    html.Line("<br>");
}

// A block's label cell, spanning its rows; the block's first row opens here.
void WriteBlockLabel(THtmlBuilder& html, THtmlLiteral rowspan, const THtmlBuilder& label) {
    html.Line("<tr>");
    html.Line("<td ").Add(rowspan).Add(
        " style=\"border-left:1px solid #CFCFCF; border-top:1px solid #CFCFCF;border-bottom:1px solid #CFCFCF;\">"
        "<p class=\"tableleft\">");
    html.Append(label).Add("</td>");
}

void WriteBlockLabel(THtmlBuilder& html, THtmlLiteral rowspan, THtmlLiteral label) {
    THtmlBuilder text;
    text.Trusted(label);
    WriteBlockLabel(html, rowspan, text);
}

void WriteUngrouped(THtmlBuilder& html, const THourFigures& f) {
    WriteDistributionTableHead(html, {UiText("Hour"), UiText("Hits"), "%", UiText("Diagram")});
    for (int32_t hour = 0; hour < 24; ++hour) {
        const TRunPlace place{hour == 0, hour == 23};
        if (hour % 2 == 0) html.Line("<tr bgcolor=#F7FBFF>");
        else html.Line("<tr bgcolor=#FFFFFF>");
        WriteLabelCell(html, HourLabel(hour), place);
        WriteCountCells(html, f.Block.AllDays.Hours[size_t(hour)], f.GrandTotal, f.Busiest, place);
        html.Line("</tr>");
    }
}

void WriteByDays(THtmlBuilder& html, const THourFigures& f) {
    WriteDistributionTableHead(html, {UiText("Day of week"), UiText("Hour"), UiText("Hits"), "%", UiText("Diagram")});
    for (int32_t day = 1; day <= 7; ++day) {
        WriteBlockLabel(html, "rowspan=24", EnglishText.WeekdayNames[size_t(day - 1)]);
        for (int32_t hour = 0; hour < 24; ++hour) {
            const TRunPlace place{hour == 0, hour == 23};
            if (hour > 0 && hour % 2 == 1) html.Line("<tr bgcolor=#FFFFFF>");
            else if (hour > 0) html.Line("<tr bgcolor=#F7FBFF>");
            WriteLabelCell(html, HourLabel(hour), place);
            WriteCountCells(html, f.DayHour(day, hour), f.GrandTotal, f.Busiest, place);
            html.Line("</tr>");
        }
    }
}

void WriteByHours(THtmlBuilder& html, const THourFigures& f) {
    WriteDistributionTableHead(html, {UiText("Hour"), UiText("Day of week"), UiText("Hits"), "%", UiText("Diagram")});
    for (int32_t hour = 0; hour < 24; ++hour) {
        WriteBlockLabel(html, "rowspan=7", HourLabel(hour));
        for (int32_t day = 1; day <= 7; ++day) {
            const TRunPlace place{day == 1, day == 7};
            // Tuesday, Thursday and Saturday tinted.
            if (day > 1 && day % 2 == 0) html.Line("<tr bgcolor=#F7FBFF>");
            else if (day > 1) html.Line("<tr bgcolor=#FFFFFF>");
            WriteLabelCell(html, EnglishText.WeekdayNames[size_t(day - 1)], place);
            WriteCountCells(html, f.DayHour(day, hour), f.GrandTotal, f.Busiest, place);
            html.Line("</tr>");
        }
    }
}

}  // namespace

std::string BuildTimesPage(const TReportContext& context) {
    THtmlBuilder html;
    const std::string kind = context.Query("kind");
    const TTimesView view = ViewOf(kind);
    const TDistributionNode choice = ChooseDistributionNode(context);
    WriteDistributionHeading(html, choice,
                             {UiText("Hourly statistics for group "), UiText("Hourly statistics for page "),
                              UiText("Hourly statistics for all site")});
    if (view == TTimesView::Hours)
        html.Line("<p class=\"title1\">").Trusted(UiText("by day of week, compose by hours")).Add("</p>");
    if (view == TTimesView::Days)
        html.Line("<p class=\"title1\">").Trusted(UiText("by day of week, compose by days")).Add("</p>");
    WriteNodeChoice(html, context, "times", &kind);

    const THourFigures figures = ReadFigures(choice);
    WriteViewSelector(html, context, view);
    switch (view) {
        case TTimesView::Ungrouped: WriteUngrouped(html, figures); break;
        case TTimesView::Days: WriteByDays(html, figures); break;
        case TTimesView::Hours: WriteByHours(html, figures); break;
    }
    html.Line("</table><br><br>");
    return html.Take();
}

}  // namespace tlvx
