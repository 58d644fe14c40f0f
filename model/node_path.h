// Dotted node paths: names joined by ".", such as news.sport.day1.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tlvx {

// Blanks and control bytes are removed at both ends, then the dots at either
// end; the rest is split at every "." and empty names are dropped. Names
// keep their inner blanks and their case.
std::vector<std::string> SplitNodePath(std::string_view path);

// Removes every leading "." and a trailing "." that is the only one left.
std::string TrimNodePathDots(std::string_view path);

}  // namespace tlvx
