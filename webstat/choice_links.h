// The selectors of the report pages: a row of choices (a sort order, the
// figure to compare, a view, a period, a page size, a month) in which the
// current choice stands as plain text and every other one is a link
// <a class="navig2" href="...">label</a>.
#pragma once

#include <functional>
#include <vector>
#include <string_view>

#include "platform/html_builder.h"

namespace tlvx {

struct TChoice {
    bool Current = false;
    THtmlLiteral Label;  // a fixed text of the program's tables
    // Writes the href of the choice's link; not called for the current one.
    std::function<void(THtmlBuilder&)> Href;
};

// Where the choices stand in spans of class "navig2".
enum class TChoiceSpans {
    None,
    AroundLinks,  // each link in a span of its own
    AroundEach,   // every choice, the current one too
};

// The choices in order, separator between each two.
void WriteChoices(THtmlBuilder& html, const std::vector<TChoice>& choices, THtmlLiteral separator,
                  TChoiceSpans spans);

}  // namespace tlvx
