// The real file system: POSIX files with flock share locks.
//
// The share rule (readers beside readers, a writer alone) is an flock taken
// right after open(2) and before a byte is read or written. flock locks
// belong to the open file description, so two opens in one process conflict
// just as two processes do, and the kernel drops them when the holder dies.
// POSIX fcntl record locks would do neither, and are never used here. An
// open with TFileOptions::gate takes the lock through the file's gate
// (platform/share_gate.h).
//
// Only regular files are opened (platform/regular_open.h): a named pipe in
// place of a database or a journal would otherwise block the process in
// open(2) or read(2) for ever.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <filesystem>

#include "platform/file.h"
#include "platform/lock_wait.h"
#include "platform/regular_open.h"
#include "platform/share_gate.h"

namespace tlvx {
namespace {

class TPosixFile : public IFile {
public:
    TPosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~TPosixFile() override { ::close(fd_); }  // also releases the flock
    TPosixFile(const TPosixFile&) = delete;
    TPosixFile& operator=(const TPosixFile&) = delete;

    size_t ReadAt(void* buffer, size_t count, uint64_t position) override {
        auto* p = static_cast<uint8_t*>(buffer);
        size_t done = 0;
        while (done < count) {
            ssize_t n = ::pread(fd_, p + done, count - done, Offset(position, done));
            if (n < 0) {
                if (errno == EINTR) continue;
                throw EPlatformError("Error reading \"" + path_ + "\"", errno, path_);
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        return done;
    }

    void WriteAt(const void* buffer, size_t count, uint64_t position) override {
        const auto* p = static_cast<const uint8_t*>(buffer);
        size_t done = 0;
        while (done < count) {
            ssize_t n = ::pwrite(fd_, p + done, count - done, Offset(position, done));
            if (n < 0) {
                if (errno == EINTR) continue;
                throw EPlatformError("Error writing \"" + path_ + "\"", errno, path_);
            }
            if (n == 0) throw EPlatformError("Error writing \"" + path_ + "\"", EIO, path_);
            done += static_cast<size_t>(n);
        }
    }

    void SetSize(uint64_t size) override {
        while (::ftruncate(fd_, Offset(size, 0)) != 0) {
            if (errno != EINTR) throw EPlatformError("Error resizing \"" + path_ + "\"", errno, path_);
        }
    }

    uint64_t Size() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) throw EPlatformError("Error sizing \"" + path_ + "\"", errno, path_);
        return static_cast<uint64_t>(st.st_size);
    }

    void Sync() override {
        while (::fdatasync(fd_) != 0) {
            if (errno != EINTR) throw EPlatformError("Error flushing \"" + path_ + "\"", errno, path_);
        }
    }

    const std::string& Path() const override { return path_; }

private:
    off_t Offset(uint64_t position, size_t done) const {
        if (position > static_cast<uint64_t>(LLONG_MAX) - done)
            throw EPlatformError("Position out of range in \"" + path_ + "\"", EINVAL, path_);
        return static_cast<off_t>(position + done);
    }

    int fd_;
    std::string path_;
};

// Closes the descriptor unless released: the open path has several exits.
class TFdHolder {
public:
    explicit TFdHolder(int fd) : fd_(fd) {}
    ~TFdHolder() { if (fd_ >= 0) ::close(fd_); }
    TFdHolder(const TFdHolder&) = delete;
    TFdHolder& operator=(const TFdHolder&) = delete;
    int get() const { return fd_; }
    int release() { int fd = fd_; fd_ = -1; return fd; }

private:
    int fd_;
};

int OpenDirectory(const std::string& path) {
    for (;;) {
        int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

// Never opens with O_TRUNC: CreateAlways truncates only once the exclusive
// lock is held, so a refused open cannot empty another holder's file.
int OpenByDisposition(const std::string& path, int flags, TDisposition disposition) {
    switch (disposition) {
        case TDisposition::CreateNew: return OpenRegularFile(path, flags | O_CREAT | O_EXCL);
        case TDisposition::OpenExisting: return OpenRegularFile(path, flags);
        case TDisposition::OpenAlways:
        case TDisposition::CreateAlways: return OpenRegularFile(path, flags | O_CREAT);
    }
    errno = EINVAL;
    return -1;
}

// Takes the share lock, waiting in line behind conflicting holders; through
// the file's gate when asked to. The gate and the lock share the ceiling.
void TakeShareLock(int fd, TFileAccess access, const TFileOptions& options, const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    const TLockPatience patience{options.lockWaitMs, options.lockCeilingMs};
    TShareGatePass gate;
    if (options.gate) gate = EnterShareGate(path, access == TFileAccess::ReadWrite, patience, fd);
    const auto spent = std::chrono::steady_clock::now() - start;
    TLockPatience rest = patience;
    rest.ceilingMs = std::max(1, patience.ceilingMs - int(std::chrono::duration_cast<std::chrono::milliseconds>(spent).count()));
    const int op = access == TFileAccess::Read ? LOCK_SH : LOCK_EX;
    RaiseUnlessHeld(WaitForShareLock(fd, op, rest, fd), patience, path, path);
}

class TPosixFileSystem : public IFileSystem {
public:
    // A failed open never removes the file, even one this call created: once
    // it exists another process may have opened it (that is why our lock
    // failed) and may be filling it.
    std::unique_ptr<IFile> Open(const std::string& path, TFileAccess access,
                                TDisposition disposition, const TFileOptions& options) override {
        if (access == TFileAccess::Read && disposition == TDisposition::CreateAlways)
            throw EPlatformError("Cannot truncate \"" + path + "\" opened for reading", EINVAL, path);
        int flags = O_CLOEXEC | (access == TFileAccess::Read ? O_RDONLY : O_RDWR);
        if (options.writeThrough) flags |= O_DSYNC;
        TFdHolder fd(OpenByDisposition(path, flags, disposition));
        if (fd.get() < 0) throw EPlatformError("Error opening file \"" + path + "\"", errno, path);
        if (options.lock) TakeShareLock(fd.get(), access, options, path);
        if (options.randomAccess) {
            // Only a hint: a file system that ignores it is no failure.
            (void)::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_RANDOM);
        }
        auto file = std::make_unique<TPosixFile>(fd.release(), path);
        if (disposition == TDisposition::CreateAlways) file->SetSize(0);
        return file;
    }

    // Only "no such file" (or a file where a directory should be) is "no":
    // a directory that may not be searched, or a loop of links, would
    // otherwise pass for a missing file, and the caller would go on as if
    // there were none.
    bool Exists(const std::string& path) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) return true;
        if (errno == ENOENT || errno == ENOTDIR) return false;
        throw EPlatformError("Error checking \"" + path + "\"", errno, path);
    }

    bool Remove(const std::string& path) override {
        if (::unlink(path.c_str()) == 0) return true;
        if (errno == ENOENT) return false;
        throw EPlatformError("Error removing \"" + path + "\"", errno, path);
    }

    void SyncDirectoryOf(const std::string& path) override {
        std::string dir = std::filesystem::path(ExpandFileName(path)).parent_path().string();
        TFdHolder fd(OpenDirectory(dir));
        if (fd.get() < 0) throw EPlatformError("Error opening directory \"" + dir + "\"", errno, dir);
        while (::fsync(fd.get()) != 0) {
            if (errno != EINTR) throw EPlatformError("Error flushing directory \"" + dir + "\"", errno, dir);
        }
    }
};

}  // namespace

IFileSystem& RealFileSystem() {
    static TPosixFileSystem real;
    return real;
}

}  // namespace tlvx
