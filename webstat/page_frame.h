// The frame of every report page: the templates of page_templates.h with
// their tags answered from the values prepared for the request. Producing
// the frame reads only these values, never the database.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "webstat/report_context.h"

namespace tlvx {

// What the frame takes from the page besides the prepared request.
struct TFramePage {
    int32_t PageCode = 0;          // GetPageNumber of the request
    std::string_view StyleSheet;   // the styles text: built in, or "test.css"
    std::string_view Content;      // the builder's HTML, placed as is
};

// The generated Head followed by the generated Body. From the request: the
// script name and id (escaped where written), and the links block and the
// two panels the preparation made (placed as they are).
std::string GenerateReportPage(const TReportContext& request, const TFramePage& page);

// The 9 x 9 menu marker: a 3 x 3 grid whose cells (1,1), (1,3), (2,2) and
// (3,3) carry the colour of the current page or of the others.
std::string MenuMarker(bool current);

}  // namespace tlvx
