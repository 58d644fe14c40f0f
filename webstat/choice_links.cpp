#include "webstat/choice_links.h"

namespace tlvx {

void WriteChoices(THtmlBuilder& html, const std::vector<TChoice>& choices, THtmlLiteral separator,
                  TChoiceSpans spans) {
    bool first = true;
    for (const TChoice& choice : choices) {
        if (!first) html.Add(separator);
        first = false;
        const bool span = spans == TChoiceSpans::AroundEach || (spans == TChoiceSpans::AroundLinks && !choice.Current);
        if (span) html.Add("<span class=\"navig2\">");
        if (choice.Current) {
            html.Trusted(choice.Label);
        } else {
            html.Add("<a class=\"navig2\" href=\"");
            choice.Href(html);
            html.Add("\">").Trusted(choice.Label).Add("</a>");
        }
        if (span) html.Add("</span>");
    }
}

}  // namespace tlvx
