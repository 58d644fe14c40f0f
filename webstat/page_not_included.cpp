// The pages of the menu and the forms whose reports this version does not
// make (entry and exit points, geography, returns, regions, browsers,
// languages): one line that says so, and the way back.
#include "platform/html_builder.h"
#include "webstat/page_builders.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {

std::string BuildNotIncludedPage(const TReportContext& context) {
    THtmlBuilder html;
    html.Line("<p class=\"navig2\">This report is not part of this version of Tallyvex2. Back to the "
              "<a class=\"navig2\" href=\"");
    PageHref(html, context, "page=main").Add("\">").Trusted(UiText("General")).Add("</a> page.</p>");
    return html.Take();
}

}  // namespace tlvx
