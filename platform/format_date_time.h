// Dates as the report pages print them, by a pattern: "dd.mm.yy",
// "dd.mm", "dd.mm.yyyy", "dd-mm-yyyy", "dd.mm.yy:hh.nn.ss", "hh.nn.ss".
//
// The value is a day count since 1899-12-30 in local time (platform/clock.h)
// and is taken to the nearest millisecond first, so 23:59:59.9996 prints as
// the next day's 00:00:00. Fields: "d"/"dd" day, "m"/"mm" month (always the
// month; minutes are "n"/"nn"), "yy" two-digit and "yyyy" four-digit year,
// "h"/"hh" hour 0-23, "n"/"nn" minute, "s"/"ss" second; the doubled forms
// have two digits. Every other character is copied as it stands.
#pragma once

#include <string>
#include <string_view>

namespace tlvx {

// Raises std::invalid_argument for a field outside that list (such as
// "ddd" or "yyy") and for a value outside the years 1 to 9999.
std::string FormatDateTime(std::string_view pattern, double dateTime);

}  // namespace tlvx
