#include "platform/testing/memory_file_system.h"

#include <cerrno>
#include <cstring>

namespace tlvx {

// A file apart from its name: its bytes and the share locks its opens hold.
struct TMemoryInode {
    std::string bytes;
    int readers = 0;
    bool writer = false;
};

namespace {

// Files bigger than this are refused, as a full disk would: a fuzz input
// must not make the store grow a file without bound unnoticed.
constexpr uint64_t kMaxMemoryFile = uint64_t(256) << 20;

enum class TShareLock { None, Shared, Exclusive };

class TMemoryFile : public IFile {
public:
    TMemoryFile(std::string path, std::shared_ptr<TMemoryInode> inode, bool writable,
                TShareLock lock)
        : path_(std::move(path)), inode_(std::move(inode)), writable_(writable), lock_(lock) {
        if (lock_ == TShareLock::Shared) ++inode_->readers;
        if (lock_ == TShareLock::Exclusive) inode_->writer = true;
    }
    ~TMemoryFile() override {
        if (lock_ == TShareLock::Shared) --inode_->readers;
        if (lock_ == TShareLock::Exclusive) inode_->writer = false;
    }
    TMemoryFile(const TMemoryFile&) = delete;
    TMemoryFile& operator=(const TMemoryFile&) = delete;

    size_t ReadAt(void* buffer, size_t count, uint64_t position) override {
        const std::string& bytes = inode_->bytes;
        if (position >= bytes.size()) return 0;
        size_t n = std::min<uint64_t>(count, bytes.size() - position);
        std::memcpy(buffer, bytes.data() + position, n);
        return n;
    }
    void WriteAt(const void* buffer, size_t count, uint64_t position) override {
        if (!writable_) throw EPlatformError("write " + path_, EBADF);
        if (position + count > kMaxMemoryFile || position + count < position)
            throw EPlatformError("write " + path_, ENOSPC);
        std::string& bytes = inode_->bytes;
        if (bytes.size() < position + count) bytes.resize(position + count, '\0');
        std::memcpy(bytes.data() + position, buffer, count);
    }
    void SetSize(uint64_t size) override {
        if (!writable_) throw EPlatformError("truncate " + path_, EBADF);
        if (size > kMaxMemoryFile) throw EPlatformError("truncate " + path_, ENOSPC);
        inode_->bytes.resize(size, '\0');
    }
    uint64_t Size() override { return inode_->bytes.size(); }
    void Sync() override {}
    const std::string& Path() const override { return path_; }

private:
    std::string path_;
    std::shared_ptr<TMemoryInode> inode_;
    bool writable_;
    TShareLock lock_;
};

bool LockConflicts(const TMemoryInode& inode, TShareLock wanted) {
    if (wanted == TShareLock::None) return false;
    return inode.writer || (wanted == TShareLock::Exclusive && inode.readers > 0);
}

}  // namespace

std::unique_ptr<IFile> TMemoryFileSystem::Open(const std::string& path, TFileAccess access,
                                               TDisposition disposition,
                                               const TFileOptions& options) {
    if (access == TFileAccess::Read && disposition == TDisposition::CreateAlways)
        throw EPlatformError("Cannot truncate \"" + path + "\" opened for reading", EINVAL);
    const std::string key = ExpandFileName(path);
    auto it = files_.find(key);
    const bool exists = it != files_.end();
    switch (disposition) {
    case TDisposition::CreateNew:
        if (exists) throw EPlatformError("Error opening file \"" + path + "\"", EEXIST);
        break;
    case TDisposition::OpenExisting:
        if (!exists) throw EPlatformError("Error opening file \"" + path + "\"", ENOENT);
        break;
    case TDisposition::OpenAlways:
    case TDisposition::CreateAlways:
        break;
    }
    if (!exists) it = files_.emplace(key, std::make_shared<TMemoryInode>()).first;
    const TShareLock lock = !options.lock                ? TShareLock::None
                            : access == TFileAccess::Read ? TShareLock::Shared
                                                          : TShareLock::Exclusive;
    if (LockConflicts(*it->second, lock)) throw EFileLocked(path);
    // As on disk, CreateAlways cuts the file only once the lock is held.
    if (disposition == TDisposition::CreateAlways) it->second->bytes.clear();
    return std::make_unique<TMemoryFile>(path, it->second, access == TFileAccess::ReadWrite, lock);
}

bool TMemoryFileSystem::Exists(const std::string& path) {
    return files_.count(ExpandFileName(path)) != 0;
}

bool TMemoryFileSystem::Remove(const std::string& path) {
    return files_.erase(ExpandFileName(path)) != 0;
}

std::string TMemoryFileSystem::Contents(const std::string& path) const {
    auto it = files_.find(ExpandFileName(path));
    return it == files_.end() ? std::string() : it->second->bytes;
}

void TMemoryFileSystem::SetContents(const std::string& path, const std::string& bytes) {
    auto inode = std::make_shared<TMemoryInode>();
    inode->bytes = bytes;
    files_[ExpandFileName(path)] = std::move(inode);
}

TMemoryFileSystemScope::TMemoryFileSystemScope() : previous_(&FileSystem()) {
    SetFileSystem(&fs_);
}

TMemoryFileSystemScope::~TMemoryFileSystemScope() {
    SetFileSystem(previous_ == &RealFileSystem() ? nullptr : previous_);
}

}  // namespace tlvx
