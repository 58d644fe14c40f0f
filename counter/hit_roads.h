// The two ways one request becomes a hit in the counter database.
//
// HitWithCookies follows the visitor through the cookies of
// visitor_cookies.h: new visitors and visits, reloads, entries and exits,
// the session's path, group visits of dotted parents, the hit log and the
// renewed cookies. HitWithoutCookies ("nocookies" in the query) knows the
// visitor only by the client address.
//
// Both run in the request's one transaction and drop every collection they
// took before they return, so the release can commit. A failure in the
// database work notes the road's own error, which rolls the whole hit back
// at release; the answer (picture, cookies) still goes out.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/base_conf.h"
#include "model/counter2.h"
#include "platform/guid.h"
#include "platform/web_request.h"
#include "platform/web_response.h"

namespace tlvx {

void HitWithCookies(const TWebRequest& request, TWebResponse& response, ICounter2& counter,
                    bool confLoaded, const TBaseConf& conf);
void HitWithoutCookies(const TWebRequest& request, TWebResponse& response, ICounter2& counter,
                       bool confLoaded, const TBaseConf& conf);

// Names a main node when the database has none and node is one of the
// usual names of a start page (MAIN, DEFAULT, START, GLAVNAYA, GLAVNAJA,
// INDEX, GLAVN, any letter case); node is stored as it arrived.
void SetDefaultMainNode(std::string_view node, ICounter2& counter);

// Appends the hit of time when to the configuration's BinaryLog; nothing
// when it names none. Raises what the log raises.
void LogHit(const TBaseConf& conf, const TGUID& userGUID, const TGUID& sessionGUID, double when,
            uint32_t clientIP, int64_t forwardedIP, std::string_view referrer,
            std::string_view pageURL, std::string_view node, std::string_view userAgent);

}  // namespace tlvx
