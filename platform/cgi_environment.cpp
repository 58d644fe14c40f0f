#include "platform/cgi_environment.h"

#include <cstdlib>

#include "platform/text.h"

namespace tlvx {

std::optional<std::string> TProcessEnvironment::Find(const std::string& name) const {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

std::optional<std::string> TMapEnvironment::Find(const std::string& name) const {
    auto it = vars_.find(name);
    if (it == vars_.end()) return std::nullopt;
    return it->second;
}

bool RunningUnderCgi(const ICgiEnvironment& env) {
    return env.Find("GATEWAY_INTERFACE").has_value() || env.Find("REQUEST_METHOD").has_value();
}

bool IsConsoleInstall(const std::vector<std::string>& args, const ICgiEnvironment& env) {
    return args.size() > 1 && SameText(args[1], "-INSTALL") && !RunningUnderCgi(env);
}

}  // namespace tlvx
