#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tlvx {

std::optional<std::string> ReadRegularFile(const std::string& path, size_t maxBytes) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer; the stat below turns it away before any read.
    int fd;
    do fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) <= maxBytes) {
        std::string data;
        char buffer[16384];
        bool failed = false;
        for (;;) {
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) failed = true;
            if (n <= 0) break;
            data.append(buffer, size_t(n));
            // A file that grew while being read is as unusable as a large one.
            if (data.size() > maxBytes) failed = true;
            if (failed) break;
        }
        if (!failed) bytes = std::move(data);
    }
    ::close(fd);
    return bytes;
}

}  // namespace tlvx
