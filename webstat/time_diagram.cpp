#include "webstat/time_diagram.h"

#include <algorithm>

#include "platform/html_builder.h"
#include "platform/integer_ratio.h"

namespace tlvx {

TSpanWidths SpanWidths(int64_t start, int64_t first, int64_t last, int64_t today, int64_t days,
                       int64_t width) {
    TSpanWidths w;
    if (days <= 0) return w;
    const auto cell = [&](int64_t count, int64_t room) {
        return std::clamp<int64_t>(RoundShare(count, days, width), 0, std::max<int64_t>(room, 0));
    };
    w.Before = cell(first - start, width);
    w.Span = cell(last - first + 1, width - w.Before);
    w.After = cell(today - last, width - w.Before - w.Span);
    return w;
}

std::string BuildDateRuler(double startTime, int32_t days) {
    THtmlBuilder html;
    html.Add("<table width=100% cellspacing=0 cellpadding=0 border=0 style=\"font-size:11px;\"><tr>");
    if (days < 5) {
        // One column a day: the first 12 % wide, the others share 88 %.
        const int64_t w = days > 1 ? RoundRatio(88, days - 1) : 0;
        html.Line("<td width=12%>|</td>");
        for (int32_t k = 1; k < days; ++k) html.Line("<td width=").Int(w).Add("% align=right>|</td>");
        html.Line("</tr>");
        html.Line("<tr><td width=12%>").Date("dd.mm", startTime).Add("</td>");
        for (int32_t k = 1; k < days; ++k)
            html.Line("<td width=").Int(w).Add("% align=right>").Date("dd.mm", startTime + k).Add("</td>");
        html.Line("</td></tr></table>");
        return html.Take();
    }
    const int64_t q = RoundRatio(days, 4);
    const auto label = [&](int64_t offset) -> THtmlBuilder& {
        return days >= 366 ? html.Date("dd.mm.yy", startTime + double(offset))
                           : html.Date("dd.mm", startTime + double(offset));
    };
    html.Line("<td width=12%>|</td><td width=25% align=center>|</td><td width=25% align=center>|</td>"
              "<td width=25% align=center>|</td><td width=12% align=right>|</td></tr>");
    html.Line("<tr><td width=12%>");
    label(0).Add("</td>");
    for (int64_t k = 1; k <= 3; ++k) {
        html.Line("<td width=25% align=center>");
        label(k * q).Add("</td>");
    }
    html.Line("<td width=12% align=right>");
    label(int64_t(days) - 1).Add("</td></tr></table>");
    return html.Take();
}

}  // namespace tlvx
