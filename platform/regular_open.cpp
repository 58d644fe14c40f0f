#include "platform/regular_open.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"

namespace tlvx {

int OpenRegularFile(const std::string& path, int flags, mode_t mode) {
    int fd;
    do fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, mode);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw EPlatformError("Error opening file \"" + path + "\"", err, path);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw ENotRegularFile(path, st.st_mode);
    }
    if (!(flags & O_NONBLOCK)) {
        const int status = ::fcntl(fd, F_GETFL);
        if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
            const int err = errno;
            ::close(fd);
            throw EPlatformError("Error opening file \"" + path + "\"", err, path);
        }
    }
    return fd;
}

}  // namespace tlvx
