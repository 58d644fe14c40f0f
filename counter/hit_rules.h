// Small rules of the hit roads that need no database: skip networks,
// configured intervals, the visit-interval test and the request's
// language.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/base_conf.h"
#include "model/time_split.h"
#include "platform/web_request.h"

namespace tlvx {

// True when an entry of the configuration's SkipNetworks matches ip (the
// first match ends the test). An entry matches only when written as its
// network address: 10.1.2.3/24 matches nothing, 0.0.0.0/0 everything.
bool IsInSkipNetworks(uint32_t ip, const TBaseConf& conf);

// The minutes of the last NodeInterval entry named exactly node; -1 when
// none is.
int32_t GetConfiguredInterval(std::string_view node, const TBaseConf& conf);

// An interval in minutes, a negative one replaced by fallback.
inline int32_t OrDefaultInterval(int32_t minutes, int32_t fallback) {
    return minutes < 0 ? fallback : minutes;
}

// True when lastTime + minutes / 1440 < now: a last time of 0 is always
// older.
inline bool OlderThan(double lastTime, int32_t minutes, double now) {
    return lastTime + minutes / 1440.0 < now;
}

// True when lastTime lies before the start of now's day: no hit since
// today began (a last time of 0 or -1, none ever, is before too).
inline bool BeforeToday(double lastTime, double now) { return lastTime < double(DayNumber(now)); }

// The first entry of the request's Accept-Language (the text before its
// first ","), of at most 254 bytes.
std::string GetFirstAcceptLanguage(const TWebRequest& request);

}  // namespace tlvx
