#include "model/host.h"

#include "platform/text.h"

namespace tlvx {

std::string NormaliseHost(std::string_view url) {
    if (url.find('.') == std::string_view::npos) return {};
    std::string host = UpperAscii(TrimBytes(url));
    // Both schemes go: keeping "HTTPS://" would leave every secure referrer
    // as the host "HTTPS" once the port cut below runs.
    if (host.size() > 6 && host.starts_with("HTTP://"))
        host.erase(0, 7);
    else if (host.size() > 7 && host.starts_with("HTTPS://"))
        host.erase(0, 8);
    if (size_t slash = host.find('/'); slash != std::string::npos) host.resize(slash);
    if (host.starts_with("WWW.")) host.erase(0, 4);
    if (host.find('@') != std::string::npos) return {};
    if (size_t dot = host.find('.'); dot != std::string::npos && dot + 1 == host.size())
        host.pop_back();
    if (host.starts_with('.')) return {};
    if (host.find(';') != std::string::npos) return {};
    if (size_t colon = host.find(':'); colon != std::string::npos) host.resize(colon);
    return host;
}

}  // namespace tlvx
