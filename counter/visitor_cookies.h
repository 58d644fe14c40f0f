// The five cookies that follow a visitor from hit to hit.
//
// G is the counter database's GUID text without braces, S the session id
// without braces:
//
//   name            value                         expires
//   G               S                             now + 5 minutes
//   G_lastdate      hit time "dd.mm.yyyy hh.nn.ss" hit time + 365 days
//   S_lastvisit     node of the hit               now + 5 minutes
//   G_userid        user id                       hit time + 365 days
//   S_outref        the session's outside referrer now + 5 minutes
//
// Values travel %XX-encoded (the response encodes, the request decodes), so
// a node or referrer holding CR, LF or ';' round-trips instead of breaking
// the header.
#pragma once

#include <string>
#include <string_view>

#include "platform/web_fields.h"
#include "platform/web_response.h"

namespace tlvx {

// Lifetimes as day fractions.
constexpr double kSessionCookieLife = 5.0 / 1440;
constexpr double kVisitorCookieLife = 365;

struct TVisitorCookies {
    // The previous hit's time; 0 when the cookie is missing or unreadable.
    double LastDate = 0;
    // Braced GUID texts. SessionId is a new GUID unless a session cookie
    // held one; UserId is empty unless the user cookie held one.
    std::string SessionId;
    std::string UserId;
    // From the session's cookies; empty for a new session.
    std::string LastVisitedNode;
    std::string OutsideReferrer;
};

// "dd.mm.yyyy hh.nn.ss" of a local day count; the time part is left out
// when the time is exactly midnight.
std::string FormatLastDate(double when);
// The forms FormatLastDate writes, with one- or two-digit day, month, hour,
// minute and second and an optional seconds part; false for anything else
// or an impossible date.
bool ParseLastDate(std::string_view text, double& when);

// A braced GUID text without its braces (the text itself when it has none).
std::string WithoutBraces(std::string_view guidText);

// Reads the cookies of databaseGuid (braced or not). A last-date cookie
// that is missing or unreadable notes "Error2!" (which leaves the failure
// flag alone). A session or user cookie that is not GUID text counts as
// missing, so one garbled cookie costs a new id, not the visitor's hits; so
// does a last visited node that no hit records (model/node_path.h).
TVisitorCookies ReadCookies(std::string_view databaseGuid, const TWebFields& cookies);

// Adds a cookie that expires at expires, or 5 minutes from now when expires
// is 0 or less.
void AddCookie(const std::string& name, const std::string& value, TWebResponse& response,
               double expires);

// Replaces the response's cookies with the five of a hit, in the order of
// the table above.
void WriteCookies(TWebResponse& response, std::string_view databaseGuid,
                  std::string_view sessionId, double hitTime, std::string_view userId,
                  std::string_view outsideReferrer, std::string_view node);

}  // namespace tlvx
