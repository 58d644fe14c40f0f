#include "platform/web_request.h"

#include <cstdint>

namespace tlvx {
namespace {

std::string FirstSet(const ICgiEnvironment& env, const char* name, const char* fallback) {
    if (auto v = env.Find(name)) return *v;
    return env.Get(fallback);
}

// A plain decimal count; false for signs, blanks, other characters or a
// value beyond limit.
bool ParseLength(const std::string& text, size_t limit, size_t& length, bool& tooLarge) {
    tooLarge = false;
    if (text.empty()) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > limit) {
            tooLarge = true;
            return false;
        }
    }
    length = static_cast<size_t>(v);
    return true;
}

// The media type before any parameters, e.g. "; charset=...".
bool IsFormContent(const std::string& contentType) {
    std::string_view type(contentType);
    type = type.substr(0, type.find(';'));
    while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
    while (!type.empty() && type.front() == ' ') type.remove_prefix(1);
    return SameText(type, "application/x-www-form-urlencoded");
}

}  // namespace

TWebRequest::TWebRequest(const ICgiEnvironment& env, std::istream* body) {
    query_ = env.Get("QUERY_STRING");
    queryFields_ = ParseUrlEncodedFields(query_);
    cookieFields_ = ParseCookieFields(env.Get("HTTP_COOKIE"));
    method_ = env.Get("REQUEST_METHOD");
    pathInfo_ = env.Get("PATH_INFO");
    scriptName_ = env.Get("SCRIPT_NAME");
    host_ = env.Get("HTTP_HOST");
    url_ = env.Get("URL");
    remoteAddr_ = env.Get("REMOTE_ADDR");
    referer_ = env.Get("HTTP_REFERER");
    userAgent_ = env.Get("HTTP_USER_AGENT");
    acceptLanguage_ = env.Get("HTTP_ACCEPT_LANGUAGE");
    contentType_ = env.Get("CONTENT_TYPE");
    forwardedFor_ = FirstSet(env, "HTTP_X_FORWARDED_FOR", "http_x_forwarded_for");
    authUser_ = FirstSet(env, "AUTH_USER", "REMOTE_USER");
    ReadBody(env, body);
}

void TWebRequest::ReadBody(const ICgiEnvironment& env, std::istream* body) {
    size_t length = 0;
    if (!ParseLength(env.Get("CONTENT_LENGTH"), kMaxRequestBody, length, contentTooLarge_))
        return;
    if (!body || length == 0) return;
    content_.resize(length);
    body->read(content_.data(), static_cast<std::streamsize>(length));
    content_.resize(static_cast<size_t>(body->gcount()));
    if (SameText(method_, "POST") && IsFormContent(contentType_))
        contentFields_ = ParseUrlEncodedFields(content_);
}

}  // namespace tlvx
