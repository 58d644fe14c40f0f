#include "store/warning.h"

#include <cstdio>

namespace tlvx {

void ShowWarning(const std::string& text, const std::string& caption) {
    std::string line = caption.empty() ? text : caption + ": " + text;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace tlvx
