// A file system in memory for tests and fuzz targets: no disk traffic, no locks,
// and every input starts from an empty (or freshly seeded) set of files.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/file.h"

namespace tlvx {

class TMemoryFileSystem : public IFileSystem {
public:
    std::unique_ptr<IFile> Open(const std::string& path, TFileAccess access,
                                TDisposition disposition,
                                const TFileOptions& options = {}) override;
    bool Exists(const std::string& path) override;
    bool Remove(const std::string& path) override;
    void SyncDirectoryOf(const std::string&) override {}

    // The file's bytes ("" when there is none).
    std::string Contents(const std::string& path) const;
    void SetContents(const std::string& path, const std::string& bytes);
    void Clear() { files_.clear(); }

private:
    std::map<std::string, std::shared_ptr<std::string>> files_;
};

// Installs a memory file system for the life of the object.
class TMemoryFileSystemScope {
public:
    TMemoryFileSystemScope() { SetFileSystem(&fs_); }
    ~TMemoryFileSystemScope() { SetFileSystem(nullptr); }
    TMemoryFileSystemScope(const TMemoryFileSystemScope&) = delete;
    TMemoryFileSystemScope& operator=(const TMemoryFileSystemScope&) = delete;
    TMemoryFileSystem& Files() { return fs_; }

private:
    TMemoryFileSystem fs_;
};

}  // namespace tlvx
