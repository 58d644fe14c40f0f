// The platform's exception types (declared in platform/file.h).
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/file.h"

namespace tlvx {
namespace {

// strerror_r comes in two flavours (GNU returns the text, XSI fills the
// buffer); these overloads accept either.
[[maybe_unused]] const char* ErrorText(int result, const char* buffer) {
    return result == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char* ErrorText(const char* result, const char*) { return result; }

std::string SystemMessage(int err) {
    char buffer[256] = {};
    return ErrorText(strerror_r(err, buffer, sizeof buffer), buffer);
}

std::string KindOf(unsigned mode) {
    switch (mode & S_IFMT) {
        case S_IFDIR: return "a directory";
        case S_IFIFO: return "a named pipe";
        case S_IFSOCK: return "a socket";
        case S_IFCHR: return "a character device";
        case S_IFBLK: return "a block device";
        default: return "of another kind";
    }
}

}  // namespace

EPlatformError::EPlatformError(const std::string& what, int err, std::string path)
    : EPlatformError(what, err, std::move(path), SystemMessage(err)) {}

EPlatformError::EPlatformError(const std::string& what, int err, std::string path, std::string reason)
    : std::runtime_error(what + ": " + reason), err_(err), text_(std::move(reason)), path_(std::move(path)) {}

EFileLocked::EFileLocked(const std::string& path, std::string reason)
    : EPlatformError("Error locking \"" + path + "\"", EWOULDBLOCK, path, std::move(reason)) {}

ENotRegularFile::ENotRegularFile(const std::string& path, unsigned mode)
    : EPlatformError("Error opening file \"" + path + "\"", (mode & S_IFMT) == S_IFDIR ? EISDIR : EINVAL,
                     path, "not a regular file but " + KindOf(mode)) {}

}  // namespace tlvx
