#include "platform/program_path.h"

#include <unistd.h>

#include <climits>

#include "platform/file.h"

namespace tlvx {

std::string ProgramPath(const std::string& argv0) {
    if (argv0.find('/') != std::string::npos) return ExpandFileName(argv0);
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) return std::string(buffer, static_cast<size_t>(n));
    return ExpandFileName(argv0.empty() ? std::string("./") : argv0);
}

std::string ProgramDirectory(const std::string& argv0) {
    std::string path = ProgramPath(argv0);
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string ProgramFileName(const std::string& programPath) {
    const size_t slash = programPath.rfind('/');
    return slash == std::string::npos ? programPath : programPath.substr(slash + 1);
}

std::string ProgramBaseName(const std::string& programPath) {
    std::string name = ProgramFileName(programPath);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

}  // namespace tlvx
