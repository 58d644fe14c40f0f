// ABOUT: a few lines on what the report program shows.
#include "platform/html_builder.h"
#include "webstat/page_builders.h"

namespace tlvx {

std::string BuildAboutPage(const TReportContext&) {
    THtmlBuilder html;
    html.Line("<center><h1>About Tallyvex2</h1></center>");
    html.Line("<p>Tallyvex2 counts the visits of a web site and shows them here. Each page of the "
              "site that carries the counter is a node; nodes named with dots (news.sport) form "
              "groups, and the root node stands for the whole site.</p>");
    html.Line("<p>The panel at the top gives the hits, site views and visitors of the whole site "
              "since counting began, yesterday and today, their average change over the last "
              "week, and today's most visited page and most frequent referring site.</p>");
    html.Line("<p>The pages of the menu break the figures down: the general statistics of the "
              "site, a page or a group; their dynamics; every page; the referring sites; the "
              "visitors; the calendar, day by day and month by month; and the distribution over "
              "the days of the week and the hours of the day.</p>");
    html.Line("<p>A visit is a series of hits of one visitor with no pause longer than the visit "
              "interval (12 hours unless the configuration sets another). Visitors are told apart "
              "by a cookie, or by their address where cookies are not used. The statistics are "
              "read from the counter's database and never changed by these pages.</p>");
    return html.Take();
}

}  // namespace tlvx
