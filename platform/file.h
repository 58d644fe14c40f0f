// Files as the store and the hit log use them: positioned reads and writes
// with 64-bit positions, explicit creation dispositions, a share rule that
// lets readers in beside readers only, write-through, set end of file and
// flush. Every file operation goes through the process-wide IFileSystem so
// that tests can inject write failures and simulated crashes.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace tlvx {

enum class TFileAccess { Read, ReadWrite };

enum class TDisposition {
    CreateNew,     // fails when the file exists
    OpenExisting,  // fails when it does not
    OpenAlways,    // opens, or creates an empty file
    CreateAlways,  // creates, or truncates an existing file to 0
};

struct TFileOptions {
    bool writeThrough = false;  // every write reaches the disk before it returns
    bool randomAccess = true;   // access pattern hint
    // Share rule: a Read open takes a shared lock, a ReadWrite open an
    // exclusive one. Behind a conflicting lock the open waits in line, in
    // the order of arrival, for as long as the line moves: it fails with
    // EFileLocked once no request for the file has been served for
    // lockWaitMs (0: one try), or after lockCeilingMs in all
    // (platform/lock_wait.h).
    bool lock = true;
    int lockWaitMs = 3000;
    int lockCeilingMs = 30000;
    // The lock is taken through the file's gate (platform/share_gate.h), so
    // that a writer waiting for readers is served before the readers that
    // come after it. The ceiling covers the gate and the lock together.
    bool gate = false;
};

// A platform failure: what was being done, the errno and the system's text,
// and the file it concerns when there is one.
class EPlatformError : public std::runtime_error {
public:
    EPlatformError(const std::string& what, int err, std::string path = {});
    int Errno() const { return err_; }
    // The system's message text for err (strerror), or the reason given.
    const std::string& SystemText() const { return text_; }
    // The file the failure concerns as it was named; empty when unknown.
    const std::string& Path() const { return path_; }

protected:
    EPlatformError(const std::string& what, int err, std::string path, std::string reason);

private:
    int err_;
    std::string text_;
    std::string path_;
};

// The open failed because another open of the file holds a conflicting lock
// (and the bounded wait ran out). The reason (SystemText) says how the wait
// ended, in words for a site owner's error log.
class EFileLocked : public EPlatformError {
public:
    explicit EFileLocked(const std::string& path, std::string reason = "still locked by another open");
};

// The name was there but is no regular file (a directory, a named pipe, a
// device, a socket): nothing of ours. It is turned away before a byte is
// read, so that a named pipe never blocks the process.
class ENotRegularFile : public EPlatformError {
public:
    ENotRegularFile(const std::string& path, unsigned mode);
};

class IFile {
public:
    virtual ~IFile() = default;
    // Reads up to count bytes at position, looping over short reads; returns
    // fewer than count only at the end of the file.
    virtual size_t ReadAt(void* buffer, size_t count, uint64_t position) = 0;
    // Writes all count bytes at position (looping), or raises EPlatformError.
    virtual void WriteAt(const void* buffer, size_t count, uint64_t position) = 0;
    // Sets the end of the file (grows with zeros or shrinks).
    virtual void SetSize(uint64_t size) = 0;
    virtual uint64_t Size() = 0;
    // Flushes data to the disk (fdatasync).
    virtual void Sync() = 0;
    virtual const std::string& Path() const = 0;
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    // Opens a regular file only: anything else raises ENotRegularFile.
    virtual std::unique_ptr<IFile> Open(const std::string& path, TFileAccess access,
                                        TDisposition disposition,
                                        const TFileOptions& options = {}) = 0;
    // Whether something is there under the name. A check that cannot tell
    // (a directory on the way that may not be searched, a loop of symbolic
    // links) raises EPlatformError rather than answer "no".
    virtual bool Exists(const std::string& path) = 0;
    // Removes a file; false when it did not exist.
    virtual bool Remove(const std::string& path) = 0;
    // Makes a directory entry durable (fsync of the directory holding path).
    virtual void SyncDirectoryOf(const std::string& path) = 0;
};

// The process-wide file system (the real one unless a test installed another).
IFileSystem& FileSystem();
// Installs a file system (nullptr restores the real one); the caller keeps
// ownership.
void SetFileSystem(IFileSystem* fs);
// The real file system, for wrappers that pass operations through.
IFileSystem& RealFileSystem();

// The full path of a name: absolute and lexically normalised.
std::string ExpandFileName(const std::string& name);

}  // namespace tlvx
