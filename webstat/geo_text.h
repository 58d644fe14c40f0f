// The two text formats of the geo database, and the file reads and writes
// under them.
//
// Network lines, one entry each:
//   "10.1.0.0 net 255.255.0.0" TAB "*COUNTRY:DE" TAB "*AREA:Bavaria"
//   TAB "*POINT:Munich" TAB "*MEMO:office"
// The line is trimmed; the network is the dotted address before its first
// blank, the mask the one between "net " and the next TAB. Each text runs
// from its tag, at the start of a TAB-separated field, to the next TAB or
// the end of the line, and is trimmed; a missing tag gives an empty text
// and fields may come in any order (the first of a repeated tag counts).
// The last field needs no closing TAB, so a written file reads back to the
// same entries.
//
// Country lines: KEY TAB first-name [TAB second-name ...]. The line is
// trimmed; the key is trimmed and upper-cased; the names are stored joined
// by "=".
//
// Lines end with LF, CR LF or CR; files are written with CR LF. Text bytes
// are never transcoded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "webstat/geo_collection.h"

namespace tlvx {

// The lines of a text; a final line break adds no empty line.
std::vector<std::string_view> SplitTextLines(std::string_view text);

// False when the network or the mask is no dotted address (an empty line
// included); entry is then unchanged.
bool ParseNetworkLine(std::string_view line, TNetDescription& entry);

// The line of an entry, without line break. A TAB, CR or LF inside a text
// is written as a blank, so that every entry stays one line of its fields.
std::string FormatNetworkLine(const TNetDescription& entry);

// False for a line without a TAB or with an empty key.
bool ParseCountryLine(std::string_view line, std::string& key, std::string& names);

// A stored name text split at its first "="; without one the first name is
// empty and the second the whole text.
TNetCountry SplitCountryNames(std::string_view names);

// The whole file through the platform's file system; false when it does
// not exist. Read errors raise EPlatformError.
bool ReadGeoTextFile(const std::string& fileName, std::string& text);

// Creates or replaces the file with text.
void WriteGeoTextFile(const std::string& fileName, std::string_view text);

}  // namespace tlvx
