// Files read and written as text, for the tests of the file layers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file.h"

namespace tlvx::test {

// Every byte of the file.
inline std::string ReadAll(IFile& f) {
    std::string s(f.Size(), '\0');
    s.resize(f.ReadAt(s.data(), s.size(), 0));
    return s;
}

inline void WriteText(IFile& f, const std::string& text, uint64_t pos = 0) {
    f.WriteAt(text.data(), text.size(), pos);
}

}  // namespace tlvx::test
