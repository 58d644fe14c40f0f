#include "webstat/time_diagram.h"

#include <algorithm>

#include "platform/html_builder.h"
#include "platform/integer_ratio.h"

namespace tlvx {
namespace {

void LegendRow(THtmlBuilder& html, const TLegendEntry& entry) {
    html.Line("<tr>");
    html.Line("<td align=right valign=middle><span class=\"smaller\">").Trusted(entry.Text).Add(":&nbsp;</span></td>");
    html.Line("<td valign=middle align=center width=20>");
    html.Line("<table width=13 height=13 cellspacing=0 cellpadding=0 border=0>");
    if (entry.Colour.View().empty())
        html.Line("<tr><td width=13 height=13 bgcolor=white style=\"border:1px solid black;\">"
                  "<img width=1 height=1 src=\"\"></td></tr>");
    else
        html.Line("<tr><td width=13 height=13 bgcolor=#").Add(entry.Colour).Add("></td></tr>");
    html.Line("</table>");
    html.Line("</td>");
    html.Line("</tr>");
}

}  // namespace

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

void WriteDateRuler(THtmlBuilder& html, double startTime, int32_t days) {
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
        return;
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
}

std::string BuildDateRuler(double startTime, int32_t days) {
    THtmlBuilder html;
    WriteDateRuler(html, startTime, days);
    return html.Take();
}

void WriteTimeDiagramTail(THtmlBuilder& html, double startTime, int32_t days,
                          std::initializer_list<TLegendEntry> legend) {
    html.Line("<tr><td>&nbsp;</td><td>&nbsp;</td><td style=\"border-top:1px solid black;\" width=400>");
    WriteDateRuler(html, startTime, days);
    html.Add("</td><td style=\"border-top:1px solid black;\" width=20>&nbsp;</td><td>&nbsp;</td></tr>");
    html.Line("<tr><td>&nbsp;</td>");
    html.Line("<td>&nbsp;</td>");
    html.Line("<td colspan=2><br><br>");
    html.Line("<table align=right width=100% cellspacing=0 cellpadding=0 border=0>");
    bool first = true;
    for (const TLegendEntry& entry : legend) {
        if (!first) html.Line("<tr><td height=5 colspan=2><img height=5 width=1 src=\"\"></td></tr>");
        first = false;
        LegendRow(html, entry);
    }
    html.Line("</table>");
    html.Line("</td><td>&nbsp;</td>");
    html.Line("</tr>");
    html.Line("</table><br><br>");
}

}  // namespace tlvx
