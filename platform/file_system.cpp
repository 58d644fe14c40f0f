// The process-wide file system seam and full-path expansion.
#include <atomic>
#include <filesystem>
#include <system_error>

#include "platform/file.h"

namespace tlvx {
namespace {

std::atomic<IFileSystem*> installedFileSystem{nullptr};

}  // namespace

IFileSystem& FileSystem() {
    IFileSystem* fs = installedFileSystem.load();
    return fs ? *fs : RealFileSystem();
}

void SetFileSystem(IFileSystem* fs) { installedFileSystem.store(fs); }

// Lexical on purpose: the file need not exist yet, and symbolic links are kept
// as named. An empty name stays empty.
std::string ExpandFileName(const std::string& name) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(name, ec);
    if (ec) return name;
    return full.lexically_normal().string();
}

}  // namespace tlvx
