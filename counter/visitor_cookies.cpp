#include "counter/visitor_cookies.h"

#include <cstdio>
#include <stdexcept>

#include "model/error_notes.h"
#include "model/node_path.h"
#include "platform/clock.h"
#include "platform/guid.h"

namespace tlvx {
namespace {

// Reads 1 to maxDigits decimal digits at pos.
bool ReadNumber(std::string_view text, size_t& pos, int maxDigits, int& value) {
    int digits = 0;
    value = 0;
    while (pos < text.size() && digits < maxDigits && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    return digits > 0;
}

bool Expect(std::string_view text, size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

bool IsGuidText(std::string_view braced) { return StrToGuid(braced).has_value(); }

}  // namespace

std::string FormatLastDate(double when) {
    TDateParts p = DecodeDateTime(when);
    char text[32];
    if (p.hour == 0 && p.minute == 0 && p.second == 0 && p.millisecond == 0)
        std::snprintf(text, sizeof text, "%02d.%02d.%04d", p.day, p.month, p.year);
    else
        std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d.%02d.%02d", p.day, p.month, p.year,
                      p.hour, p.minute, p.second);
    return text;
}

bool ParseLastDate(std::string_view text, double& when) {
    size_t pos = 0;
    int day, month, year, hour = 0, minute = 0, second = 0;
    if (!ReadNumber(text, pos, 2, day) || !Expect(text, pos, '.') ||
        !ReadNumber(text, pos, 2, month) || !Expect(text, pos, '.') ||
        !ReadNumber(text, pos, 4, year))
        return false;
    if (pos < text.size()) {
        if (!Expect(text, pos, ' ') || !ReadNumber(text, pos, 2, hour) ||
            !Expect(text, pos, '.') || !ReadNumber(text, pos, 2, minute))
            return false;
        if (pos < text.size() && (!Expect(text, pos, '.') || !ReadNumber(text, pos, 2, second)))
            return false;
        if (pos != text.size()) return false;
    }
    if (hour > 23 || minute > 59 || second > 59) return false;
    try {
        when = EncodeDateTime(year, month, day, hour, minute, second);
    } catch (const std::invalid_argument&) {
        return false;
    }
    return true;
}

std::string WithoutBraces(std::string_view guidText) {
    if (guidText.size() >= 2 && guidText.front() == '{' && guidText.back() == '}')
        guidText = guidText.substr(1, guidText.size() - 2);
    return std::string(guidText);
}

TVisitorCookies ReadCookies(std::string_view databaseGuid, const TWebFields& cookies) {
    const std::string g = WithoutBraces(databaseGuid);
    TVisitorCookies read;
    if (!ParseLastDate(cookies.Value(g + "_lastdate"), read.LastDate)) {
        read.LastDate = 0;
        NoteError(kNoteLastDateCookie);
    }
    const std::string session = cookies.Value(g);
    const std::string user = cookies.Value(g + "_userid");
    if (!user.empty() && IsGuidText("{" + user + "}")) read.UserId = "{" + user + "}";
    if (!session.empty() && IsGuidText("{" + session + "}")) {
        read.SessionId = "{" + session + "}";
        // Only a node this counter could have written: a longer one is a
        // forged cookie, and would become a key of the previous pages.
        read.LastVisitedNode = cookies.Value(session + "_lastvisit");
        if (!IsRecordableNodePath(read.LastVisitedNode)) read.LastVisitedNode.clear();
        read.OutsideReferrer = cookies.Value(session + "_outref");
    } else {
        read.SessionId = GuidToStr(NewGuid());
    }
    return read;
}

void AddCookie(const std::string& name, const std::string& value, TWebResponse& response,
               double expires) {
    response.AddCookie(name, value, expires > 0 ? expires : Clock().Now() + kSessionCookieLife);
}

void WriteCookies(TWebResponse& response, std::string_view databaseGuid,
                  std::string_view sessionId, double hitTime, std::string_view userId,
                  std::string_view outsideReferrer, std::string_view node) {
    const std::string g = WithoutBraces(databaseGuid);
    const std::string s = WithoutBraces(sessionId);
    response.Cookies().clear();
    AddCookie(g, s, response, 0);
    AddCookie(g + "_lastdate", FormatLastDate(hitTime), response, hitTime + kVisitorCookieLife);
    AddCookie(s + "_lastvisit", std::string(node), response, 0);
    AddCookie(g + "_userid", WithoutBraces(userId), response, hitTime + kVisitorCookieLife);
    AddCookie(s + "_outref", std::string(outsideReferrer), response, 0);
}

}  // namespace tlvx
