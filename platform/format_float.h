// Numbers as the report pages print them, by a pattern of the usual kind:
// "0.0", "0.00", "0.0%", "0.00%", "+0.0;-0.0;0.0", "+0;-0;0", "+00;-00",
// "00".
//
// A pattern has up to three sections separated by ";": for positive values,
// for negative values, for zero. In a section, "0" is a digit that is always
// printed and "#" one printed only when needed; the first "." separates the
// integer digits from the decimals; text before the first and after the last
// digit is copied as it stands (quoted with ' or " when it holds pattern
// characters). "%" is such text: it does not scale the value.
//
// Rounding, the one rule for printed numbers: the value is first taken to 15
// significant decimal digits (so 0.15 counts as 0.15, not as the binary
// 0.1499999...), then rounded to the section's decimals with halves away
// from zero: 0.25 -> "0.3", -0.25 -> "-0.3", 1.005 -> "1.01" with "0.00".
// (Whole-number shares, bar widths and degrees round halves to even instead:
// platform/integer_ratio.h.)
//
// A value that rounds to zero prints the zero section (the first when there
// is none), never "-0.0". With no negative section a negative value prints
// the first section after a "-"; with one, the absolute value in that
// section, whose text supplies the sign. NaN and infinities print as zero:
// a page shows a number, never "nan".
#pragma once

#include <string>
#include <string_view>

namespace tlvx {

// Raises std::invalid_argument for a pattern outside the subset above (an
// exponent, a thousands separator, text between digits, four sections).
std::string FormatFloat(std::string_view pattern, double value);

}  // namespace tlvx
