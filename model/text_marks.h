// Substring extraction between two marks and replacement of every
// occurrence, the workhorses of the configuration parser and cookie code.
// Case-insensitive searches fold ASCII letters only, so the result always
// keeps the letters of the text as they were.
#pragma once

#include <string>
#include <string_view>

namespace tlvx {

// The text after the first startMark up to the first endMark after it.
// Empty when any argument is empty or startMark is absent. When endMark is
// absent: the whole rest if allowNoEnd, else empty.
std::string Between(std::string_view text, std::string_view startMark, std::string_view endMark,
                    bool caseSensitive, bool allowNoEnd);

// Replaces every occurrence of find by replace; empty when find is empty.
// Single pass (repeated false): left to right, replaced text is never
// searched again. Repeated: the first occurrence is replaced until none is
// left; empty when replace itself contains find (ignoring case), which would
// never end, and empty as well when the text keeps growing past a bound.
std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replace,
                       bool caseSensitive, bool repeated);

}  // namespace tlvx
