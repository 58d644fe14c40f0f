// A file system for tests that may only read, as a process without write
// permission on a database and its folder: every open that could write and
// every removal fails with EACCES before it touches anything; reads pass
// through to the base.
#pragma once

#include <cerrno>
#include <memory>
#include <string>

#include "platform/file.h"

namespace tlvx::test {

class TReadOnlyFileSystem : public IFileSystem {
public:
    explicit TReadOnlyFileSystem(IFileSystem& base) : base_(base) {}

    std::unique_ptr<IFile> Open(const std::string& path, TFileAccess access, TDisposition disposition,
                                const TFileOptions& options = {}) override {
        if (access != TFileAccess::Read || disposition != TDisposition::OpenExisting) Refuse("opening file", path);
        return base_.Open(path, access, disposition, options);
    }
    bool Exists(const std::string& path) override { return base_.Exists(path); }
    bool Remove(const std::string& path) override { Refuse("removing", path); }
    void SyncDirectoryOf(const std::string& path) override { base_.SyncDirectoryOf(path); }

    // Attempts to write that were refused.
    int Refused() const { return refused_; }

private:
    [[noreturn]] void Refuse(const std::string& what, const std::string& path) {
        ++refused_;
        throw EPlatformError("Error " + what + " \"" + path + "\"", EACCES, path);
    }

    IFileSystem& base_;
    int refused_ = 0;
};

}  // namespace tlvx::test
