// Dotted node paths: names joined by ".", such as news.sport.day1.
#pragma once

#include <cstddef>
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

// The largest node path a hit records: every name of a path is a node with
// the path of its parent as a key, and a hit visits each parent, so the
// bytes a path adds to a database and the work of its hit grow with the
// square of its length. 16 names are deeper than any site's tree, and 255
// bytes longer than any of its page names.
inline constexpr size_t kMaxNodePathParts = 16;
inline constexpr size_t kMaxNodePathBytes = 255;

// Whether a hit may record path: at most kMaxNodePathBytes bytes as it
// arrived and at most kMaxNodePathParts names.
bool IsRecordableNodePath(std::string_view path);

}  // namespace tlvx
