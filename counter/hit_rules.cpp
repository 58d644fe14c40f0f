#include "counter/hit_rules.h"

namespace tlvx {

bool IsInSkipNetworks(uint32_t ip, const TBaseConf& conf) {
    for (const TNetWork& network : conf.SkipNetworks)
        if (InNetwork(ip, network)) return true;
    return false;
}

int32_t GetConfiguredInterval(std::string_view node, const TBaseConf& conf) {
    int32_t interval = -1;
    for (const TNodeInterval& entry : conf.NodeIntervals)
        if (entry.NodeName == node) interval = entry.Interval;
    return interval;
}

std::string GetFirstAcceptLanguage(const TWebRequest& request) {
    std::string text = request.AcceptLanguage().substr(0, 254);
    size_t comma = text.find(',');
    if (comma != std::string::npos) text.resize(comma);
    return text;
}

}  // namespace tlvx
