#include "platform/share_gate.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"
#include "platform/lock_wait.h"
#include "platform/regular_open.h"

namespace tlvx {

std::string GatePathOf(const std::string& path) { return path + "-gate"; }

TShareGatePass& TShareGatePass::operator=(TShareGatePass&& other) noexcept {
    if (this != &other) {
        LeaveShareGate();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void TShareGatePass::LeaveShareGate() noexcept {
    if (fd_ >= 0) ::close(fd_);  // closing drops the flock
    fd_ = -1;
}

TShareGatePass EnterShareGate(const std::string& path, bool writer, const TLockPatience& patience, int fileFd) {
    const std::string gate = GatePathOf(path);
    // Read-only either way: flock does not care, and the gate is never written.
    int fd = OpenRegularFile(gate, O_RDONLY | (writer ? O_CREAT : 0));
    if (fd < 0 && writer && (errno == EACCES || errno == EPERM || errno == EROFS))
        fd = OpenRegularFile(gate, O_RDONLY);  // a folder we may not add to
    if (fd < 0) {
        if (errno == ENOENT) return {};
        throw EPlatformError("Error opening file \"" + gate + "\"", errno, gate);
    }
    TShareGatePass pass(fd);
    RaiseUnlessHeld(WaitForShareLock(fd, LOCK_EX, patience, fileFd), patience, path, gate);
    return pass;
}

}  // namespace tlvx
