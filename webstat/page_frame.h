// The frame of every report page: the templates of page_templates.h with
// their tags answered from the values prepared for the request. Producing
// the frame reads only these values, never the database.
#pragma once

#include <cstdint>
#include <string>

namespace tlvx {

struct TFrameValues {
    std::string ScriptName;  // SCRIPT_NAME, escaped where written
    std::string Id;          // the query's id, escaped where written
    int32_t PageCode = 0;    // GetPageNumber of the request
    std::string StyleSheet;  // the styles text: built in, or "test.css"
    // HTML made by the preparation and the page builder, placed as is.
    std::string LinksBlock;
    std::string ImportantPanel;
    std::string TimePanel;
    std::string PageContent;
};

// The generated Head followed by the generated Body.
std::string GenerateReportPage(const TFrameValues& values);

// The 9 x 9 menu marker: a 3 x 3 grid whose cells (1,1), (1,3), (2,2) and
// (3,3) carry the colour of the current page or of the others.
std::string MenuMarker(bool current);

}  // namespace tlvx
