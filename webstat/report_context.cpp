#include "webstat/report_context.h"

namespace tlvx {

THtmlBuilder& PageHref(THtmlBuilder& html, std::string_view scriptName, std::string_view id,
                       THtmlLiteral args) {
    return html.Attr(scriptName).Add("?id=").Url(id).Add("&").Add(args);
}

THtmlBuilder& PageHref(THtmlBuilder& html, const TReportContext& context, THtmlLiteral args) {
    return PageHref(html, context.ScriptName, context.Id, args);
}

}  // namespace tlvx
