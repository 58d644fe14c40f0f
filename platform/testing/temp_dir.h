// A fresh directory for one test, removed with everything in it afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace tlvx {

class TTestTempDir {
public:
    TTestTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tlvx-XXXXXX").string();
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

}  // namespace tlvx
