#include <array>

#include "counter/hit_roads.h"
#include "counter/tlvx_log.h"
#include "platform/text.h"

namespace tlvx {

void SetDefaultMainNode(std::string_view node, ICounter2& counter) {
    static constexpr std::array<std::string_view, 7> kStartPages = {
        "MAIN", "DEFAULT", "START", "GLAVNAYA", "GLAVNAJA", "INDEX", "GLAVN"};
    if (!counter.GetMainNodeName().empty()) return;
    const std::string upper = UpperAscii(node);
    for (std::string_view name : kStartPages)
        if (upper == name) {
            counter.SetMainNodeName(node);
            return;
        }
}

void LogHit(const TBaseConf& conf, const TGUID& userGUID, const TGUID& sessionGUID, double when,
            uint32_t clientIP, int64_t forwardedIP, std::string_view referrer,
            std::string_view pageURL, std::string_view node, std::string_view userAgent) {
    if (conf.BinaryLog.empty()) return;
    TTlvxLog log(conf.BinaryLog);
    log.AddHit(userGUID, sessionGUID, when, clientIP, forwardedIP, "", referrer, pageURL,
               node, userAgent, 0, 0, 0);
    log.Close();
}

}  // namespace tlvx
