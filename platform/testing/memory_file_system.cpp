#include "platform/testing/memory_file_system.h"

#include <cerrno>
#include <cstring>

namespace tlvx {

namespace {

// Files bigger than this are refused, as a full disk would: a fuzz input
// must not make the store grow a file without bound unnoticed.
constexpr uint64_t kMaxMemoryFile = uint64_t(256) << 20;

class TMemoryFile : public IFile {
public:
    TMemoryFile(std::string path, std::shared_ptr<std::string> bytes, bool writable)
        : path_(std::move(path)), bytes_(std::move(bytes)), writable_(writable) {}

    size_t ReadAt(void* buffer, size_t count, uint64_t position) override {
        if (position >= bytes_->size()) return 0;
        size_t n = std::min<uint64_t>(count, bytes_->size() - position);
        std::memcpy(buffer, bytes_->data() + position, n);
        return n;
    }
    void WriteAt(const void* buffer, size_t count, uint64_t position) override {
        if (!writable_) throw EPlatformError("write " + path_, EBADF);
        if (position + count > kMaxMemoryFile || position + count < position)
            throw EPlatformError("write " + path_, ENOSPC);
        if (bytes_->size() < position + count) bytes_->resize(position + count, '\0');
        std::memcpy(bytes_->data() + position, buffer, count);
    }
    void SetSize(uint64_t size) override {
        if (!writable_) throw EPlatformError("truncate " + path_, EBADF);
        if (size > kMaxMemoryFile) throw EPlatformError("truncate " + path_, ENOSPC);
        bytes_->resize(size, '\0');
    }
    uint64_t Size() override { return bytes_->size(); }
    void Sync() override {}
    const std::string& Path() const override { return path_; }

private:
    std::string path_;
    std::shared_ptr<std::string> bytes_;
    bool writable_;
};

}  // namespace

std::unique_ptr<IFile> TMemoryFileSystem::Open(const std::string& path, TFileAccess access,
                                               TDisposition disposition, const TFileOptions&) {
    auto it = files_.find(path);
    bool exists = it != files_.end();
    switch (disposition) {
    case TDisposition::CreateNew:
        if (exists) throw EPlatformError("open " + path, EEXIST);
        break;
    case TDisposition::OpenExisting:
        if (!exists) throw EPlatformError("open " + path, ENOENT);
        break;
    case TDisposition::OpenAlways:
        break;
    case TDisposition::CreateAlways:
        if (exists) it->second->clear();
        break;
    }
    if (!exists) it = files_.emplace(path, std::make_shared<std::string>()).first;
    return std::make_unique<TMemoryFile>(path, it->second, access == TFileAccess::ReadWrite);
}

bool TMemoryFileSystem::Exists(const std::string& path) { return files_.count(path) != 0; }

bool TMemoryFileSystem::Remove(const std::string& path) { return files_.erase(path) != 0; }

std::string TMemoryFileSystem::Contents(const std::string& path) const {
    auto it = files_.find(path);
    return it == files_.end() ? std::string() : *it->second;
}

void TMemoryFileSystem::SetContents(const std::string& path, const std::string& bytes) {
    files_[path] = std::make_shared<std::string>(bytes);
}

}  // namespace tlvx
