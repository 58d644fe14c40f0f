// WEEKS: how the hits of a page, a group or the whole site spread over the
// days of the week, one row a day with its share and a bar against the
// busiest day.
#include <algorithm>

#include "webstat/distribution_frame.h"
#include "webstat/page_builders.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {

std::string BuildWeeksPage(const TReportContext& context) {
    THtmlBuilder html;
    const TDistributionNode choice = ChooseDistributionNode(context);
    WriteDistributionHeading(html, choice,
                             {UiText("Daily statistics for group "), UiText("Daily statistics for page "),
                              UiText("Daily statistics for all site")});
    WriteNodeChoice(html, context, "weeks", nullptr);

    // [0] the hits counted by hour of week, [1..7] Monday to Sunday.
    const TWeekdayTotals totals = choice.Node ? choice.Node->GetWeekdayTotals(choice.Subtree) : TWeekdayTotals{};
    const int64_t busiest = std::max<int64_t>(0, *std::max_element(totals.begin() + 1, totals.end()));

    WriteDistributionTableHead(html, {UiText("Day of week"), UiText("Hits"), "%", UiText("Diagram")});
    for (int32_t day = 1; day <= 7; ++day) {
        const TRunPlace place{day == 1, day == 7};
        if (day % 2 == 1) html.Line("<tr bgcolor=#FFFFFF>");
        else html.Line("<tr bgcolor=#F7FBFF>");
        WriteLabelCell(html, EnglishText.WeekdayNames[size_t(day - 1)], place);
        WriteCountCells(html, totals[size_t(day)], totals[0], busiest, place);
        html.Line("</tr>");
    }
    html.Line("</table><br><br>");
    return html.Take();
}

}  // namespace tlvx
