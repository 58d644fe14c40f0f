// A file system in memory for tests and fuzz targets: no disk traffic, and
// every input starts from an empty (or freshly seeded) set of files.
//
// It keeps the rules of the real one that the store relies on: names are
// full paths (a relative name and its expansion are one file), every open of
// a file shares its bytes, a removed file lives on in the opens that still
// hold it, and opens take the share locks (a Read open shared, a ReadWrite
// open exclusive, released when the open is destroyed). Single-threaded:
// nobody could release a conflicting lock while an open waits, so the open
// fails with EFileLocked at once, whatever its lockWaitMs. Syncs do nothing;
// wrap it in a TFaultFileSystem to simulate what a crash keeps.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/file.h"

namespace tlvx {

struct TMemoryInode;

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
    // Replaces the file's bytes (creating it); opens of the old file keep it.
    void SetContents(const std::string& path, const std::string& bytes);
    void Clear() { files_.clear(); }

private:
    std::map<std::string, std::shared_ptr<TMemoryInode>> files_;  // by full path
};

// Installs a memory file system for the life of the object, then puts back
// the one installed before.
class TMemoryFileSystemScope {
public:
    TMemoryFileSystemScope();
    ~TMemoryFileSystemScope();
    TMemoryFileSystemScope(const TMemoryFileSystemScope&) = delete;
    TMemoryFileSystemScope& operator=(const TMemoryFileSystemScope&) = delete;
    TMemoryFileSystem& Files() { return fs_; }

private:
    TMemoryFileSystem fs_;
    IFileSystem* previous_;
};

}  // namespace tlvx
