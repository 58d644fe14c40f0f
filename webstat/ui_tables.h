// The colours and recurring HTML fragments of the report pages. Values are
// trusted markup, written with THtmlBuilder::Trusted.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tlvx {

// Slice colours of the general page's pie charts and their legends; the
// last (grey) is the pooled "other" slice.
extern const std::array<std::string_view, 9> ChartPalette1;
// The same colours as colour numbers in blue-green-red order (0x00BBGGRR,
// the order raster/ converts from), for drawing the pies.
extern const std::array<uint32_t, 9> ChartPalette1Colors;
// A second palette nothing reads.
extern const std::array<std::string_view, 9> ChartPalette2;

// Page areas.
extern const std::string_view HeaderBgColor;
extern const std::string_view ImportantBgColor;
extern const std::string_view ContentBgColor;
extern const std::string_view FooterBgColor;
// The summary tables.
extern const std::string_view TableBorderColor;
extern const std::string_view TableHeadColor;
extern const std::string_view LightRowColor;  // odd rows
extern const std::string_view GreenRowColor;  // even rows
// The 1-pixel rules of the frame.
extern const std::string_view ThreadLightColor;
extern const std::string_view ThreadDarkColor;
extern const std::string_view LightColor;
extern const std::string_view SparePageColor;
// Menu markers: of the other pages, of the current one.
extern const std::string_view PlainMarkerColor;
extern const std::string_view CurrentMarkerColor;

// The framed box around a selection form, in three parts written around the
// form's title and body:
//   FormBoxOpen + title + FormBoxBody + form + FormBoxClose
// Together they open and close every element they use.
extern const std::string_view FormBoxOpen;
extern const std::string_view FormBoxBody;
extern const std::string_view FormBoxClose;

// The product version line of the header bar.
extern const std::string_view VersionBanner;

// Table openings: full width (the summary panel, the general page), half
// width and bordered (no reader).
extern const std::string_view SummaryWideTable;
extern const std::string_view MainWideTable;
extern const std::string_view HalfTable;
extern const std::string_view BorderedTable;

}  // namespace tlvx
