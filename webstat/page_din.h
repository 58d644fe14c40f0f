// DIN: the dynamics of a page, a group or the whole site. It stands as a
// page of its own (page=din, with the selection forms) and closes the
// general page of a page or group (embedded, without them).
#pragma once

#include <cstdint>
#include <string>

#include "model/node_interfaces.h"
#include "webstat/report_context.h"

namespace tlvx {

// The full height of a dynamics bar in pixels.
inline constexpr int32_t kDinBarHeight = 150;

// The two parts of a dynamics bar, top to bottom.
enum class TBarPart : int32_t {
    Empty = 1,   // (max - value) / max * 150, or max itself when max is not above 0
    Filled = 2,  // value / max * 150, or 0 when max is not above 0
};

// A part of a bar of value against the page's largest figure max, in whole
// pixels (halves to even); 0 for a value outside TBarPart.
int32_t BarLength(int32_t max, int32_t value, TBarPart part);

// The dynamics block of the request's "nodename" and "group"; the
// selection forms follow unless embedded.
void WriteDinPage(THtmlBuilder& html, const TReportContext& context, bool embedded);

// The two selection forms of the stand-alone page: by group (groups, with
// group=1) and by page (pages), each path an option in the order given.
void WriteDinForms(THtmlBuilder& html, const StringArray& groups, const StringArray& pages,
                   const TReportContext& context);
std::string BuildDinForms(const StringArray& groups, const StringArray& pages,
                          const TReportContext& context);

}  // namespace tlvx
