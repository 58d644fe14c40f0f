// Small files read and written whole: the pictures the report program
// serves as they are, the charts it draws for them and the style sheet a
// site owner may put beside it. They are not locked, so they do not go
// through the store's file system (platform/file.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tlvx {

// The bytes of a regular file of at most maxBytes; nothing for a missing
// file, a directory, a pipe or device, a larger file or a read error. A pipe
// is never waited on.
std::optional<std::string> ReadRegularFile(const std::string& path, size_t maxBytes);

// Creates the directory path (one level, mode 0777 less the umask); false
// when it could not be made, also because it exists already.
bool MakeDirectory(const std::string& path);

// Puts bytes at path as one step: they are written to a new temporary file
// in the same directory, which is then renamed over path. A reader opening
// path at any moment gets the old file or the new one, whole, never a
// missing or half-written one; when two writers race, the later rename
// wins. The data is not synced: a chart redrawn on every view does not pay
// for a disk flush. False when anything failed; path is then untouched and
// no temporary file is left.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace tlvx
