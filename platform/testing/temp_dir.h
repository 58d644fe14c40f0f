// A fresh directory for one test, removed with everything in it afterwards.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace tlvx {

class TTestTempDir {
public:
    // Under base, or the system's temporary directory when base is empty.
    explicit TTestTempDir(const std::string& base = {}) {
        const std::filesystem::path under =
            base.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(base);
        std::string pattern = (under / "tlvx-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TTestTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TTestTempDir(const TTestTempDir&) = delete;
    TTestTempDir& operator=(const TTestTempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A directory in memory (/dev/shm) for files whose syncs a test does not
// measure: on a busy disk one sync costs more than a whole request. ""
// (the usual temporary directory) where there is none.
inline std::string MemoryTempBase() {
    return ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "";
}

}  // namespace tlvx
