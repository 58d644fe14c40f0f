// The pictures of the image road, by their number "imgind".
//
//   1 lang.gif   2 brw.gif      3 calendar.gif  4 georeg.gif  5 geocount.gif
//   6 entries.gif 7 exits.gif   8 enex.gif      9 pitrefs.gif 10 up.gif
//   11 down.gif  12 logo.gif   13 name.gif
//
// 1 and 2 are the pie charts of the MAIN page, drawn from the requested
// counter's database (the files of those names are never read); the others
// are static files placed in the images directory when the program is
// installed.
#pragma once

#include <cstdint>
#include <string_view>

namespace tlvx {

inline constexpr int32_t kFirstImageNumber = 1;
inline constexpr int32_t kLastImageNumber = 13;

// The file name of a picture number; "" outside 1-13.
std::string_view ImageFileName(int32_t number);

// The number of a query's imgind: its decimal value, 0 when it is none.
int32_t ImageNumberOf(std::string_view imgind);

// Whether the picture of a number is drawn from the database.
bool IsPieImage(int32_t number);

}  // namespace tlvx
