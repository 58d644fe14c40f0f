// The platform's exception types (declared in platform/file.h).
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

}  // namespace

EPlatformError::EPlatformError(const std::string& what, int err)
    : std::runtime_error(what + ": " + SystemMessage(err)), err_(err), text_(SystemMessage(err)) {}

EFileLocked::EFileLocked(const std::string& path)
    : EPlatformError("\"" + path + "\" is locked by another open", EWOULDBLOCK) {}

}  // namespace tlvx
