// TPageProducer: a template text whose tags, written <#name> or
// <#name param=value param="a value">, are replaced by what a handler
// returns for them.
//
// The tag name runs from "<#" to the first blank or ">"; parameters follow,
// separated by blanks, each name=value, name="value" or a bare name (a ">"
// inside quotes does not end the tag). Text outside tags is copied as it
// stands. A tag the handler does not know is replaced by its "" result. A
// replacement is never scanned again, so a node named "<#header>" in a page
// stays literal text. A "<#" without its closing ">" is copied as it stands,
// with the rest of the text. Producers nest by a handler returning another
// producer's Content().
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tlvx {

struct TTagParam {
    std::string Name;
    std::string Value;
    friend bool operator==(const TTagParam&, const TTagParam&) = default;
};
using TTagParams = std::vector<TTagParam>;

// The replacement of one tag: tag names are compared exactly by the
// handlers, case-sensitively.
using TTagHandler = std::function<std::string(std::string_view tag, const TTagParams& params)>;

// The template with every tag replaced through handler (a null handler
// replaces every tag by "").
std::string ExpandTags(std::string_view templateText, const TTagHandler& handler);

class TPageProducer {
public:
    TPageProducer() = default;
    TPageProducer(std::string templateText, TTagHandler handler)
        : template_(std::move(templateText)), handler_(std::move(handler)) {}

    const std::string& Template() const { return template_; }
    void SetTemplate(std::string templateText) { template_ = std::move(templateText); }
    void SetHandler(TTagHandler handler) { handler_ = std::move(handler); }

    // The generated text: the template with its tags replaced.
    std::string Content() const { return ExpandTags(template_, handler_); }

private:
    std::string template_;
    TTagHandler handler_;
};

}  // namespace tlvx
