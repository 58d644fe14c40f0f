// Small files read whole: the pictures the report program serves as they
// are and the style sheet a site owner may put beside it. They are not
// locked, so they do not go through the store's file system
// (platform/file.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tlvx {

// The bytes of a regular file of at most maxBytes; nothing for a missing
// file, a directory, a pipe or device, a larger file or a read error. A pipe
// is never waited on.
std::optional<std::string> ReadRegularFile(const std::string& path, size_t maxBytes);

}  // namespace tlvx
