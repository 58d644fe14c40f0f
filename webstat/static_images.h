// The static pictures of the image road (numbers 3 to 13 of
// image_action.h), drawn by the program's own raster code: the product's
// logo and name, the rising and falling arrows beside averages, and small
// icons for the sections that name a picture. They are written once into
// the images directory when the program is installed
// (tlvx_report_images DIR); the pie charts 1 and 2 are drawn by the MAIN
// page itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tlvx {

inline constexpr int32_t kFirstStaticImage = 3;

// The GIF of a static picture number 3..13; raises std::out_of_range for
// any other number.
std::vector<uint8_t> StaticImageGIF(int32_t number);

// Writes every static picture into directory (which must exist) under its
// file name; raises std::runtime_error naming the file that failed.
void WriteStaticImages(const std::string& directory);

}  // namespace tlvx
