#include "platform/html_builder.h"

#include "platform/format_date_time.h"
#include "platform/format_float.h"
#include "platform/html_escape.h"

namespace tlvx {

THtmlBuilder& THtmlBuilder::Text(std::string_view value) {
    html_ += HtmlText(value);
    return *this;
}

THtmlBuilder& THtmlBuilder::Attr(std::string_view value) {
    html_ += HtmlAttr(value);
    return *this;
}

THtmlBuilder& THtmlBuilder::Url(std::string_view value) {
    html_ += UrlArg(value);
    return *this;
}

THtmlBuilder& THtmlBuilder::TextOr(std::string_view value, THtmlLiteral whenEmpty) {
    if (value.empty()) html_ += whenEmpty.View();
    else html_ += HtmlText(value);
    return *this;
}

THtmlBuilder& THtmlBuilder::Int(int64_t value) {
    html_ += std::to_string(value);
    return *this;
}

THtmlBuilder& THtmlBuilder::Float(THtmlLiteral pattern, double value) {
    html_ += FormatFloat(pattern.View(), value);
    return *this;
}

THtmlBuilder& THtmlBuilder::Date(THtmlLiteral pattern, double dateTime) {
    html_ += FormatDateTime(pattern.View(), dateTime);
    return *this;
}

}  // namespace tlvx
