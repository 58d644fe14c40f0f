// What the two time diagrams of the report pages share (pages and referral
// sources): a row's bar from its first to its latest day across a history
// of N days, and the date ruler under the diagram.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/html_builder.h"

namespace tlvx {

// The three cells of a diagram row, in pixels: the gap from the start of
// the history to the first day, the bar over the days from first to last,
// both counted, and the rest up to today.
struct TSpanWidths {
    int64_t Before = 0;
    int64_t Span = 0;
    int64_t After = 0;
};

// The cells of a row for a diagram `width` pixels wide covering `days`
// days that begin on day `start`. Each cell is its days / days x width,
// rounded (halves to even), never below 0, and the three never add up to
// more than width: a first day before the start or a latest day after
// today only shortens the cells that follow. All three are 0 when days is
// not above 0.
TSpanWidths SpanWidths(int64_t start, int64_t first, int64_t last, int64_t today, int64_t days,
                       int64_t width);

// Two table rows (in a table of their own) of tick marks and date labels
// for a diagram of days days from startTime: below 5 days a tick and a
// "dd.mm" label for every day; from 5 on, five ticks at the start, a
// quarter, half, three quarters and the last day, labelled "dd.mm" below
// 366 days and "dd.mm.yy" from 366 on.
void WriteDateRuler(THtmlBuilder& html, double startTime, int32_t days);
std::string BuildDateRuler(double startTime, int32_t days);

// One state of a diagram's legend: its text (of the program's tables) and
// the colour of its 13 x 13 swatch ("5AA27A"); without a colour the swatch
// is white with a black border.
struct TLegendEntry {
    THtmlLiteral Text;
    THtmlLiteral Colour = "";
};

// What follows a time diagram's rows in its table of five columns (name,
// first day, diagram, state, latest day): the date ruler under the diagram
// and state columns, the legend below it aligned right, and the table's end.
void WriteTimeDiagramTail(THtmlBuilder& html, double startTime, int32_t days,
                          std::initializer_list<TLegendEntry> legend);

}  // namespace tlvx
