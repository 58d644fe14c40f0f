// One CGI request: its query, form and cookie fields and the CGI variables
// the programs use, read once from an environment and a body stream.
#pragma once

#include <cstddef>
#include <istream>
#include <string>

#include "platform/cgi_environment.h"
#include "platform/web_fields.h"

namespace tlvx {

// A request body larger than this is not read: its form fields are empty and
// ContentTooLarge() is true.
inline constexpr size_t kMaxRequestBody = 64 * 1024;

class TWebRequest {
public:
    // Reads the variables from env and, for a CONTENT_LENGTH that is a plain
    // decimal number not above kMaxRequestBody, that many bytes (or fewer,
    // when the stream ends) from body. Form fields come from the body only
    // for a POST of type application/x-www-form-urlencoded. body may be
    // nullptr (no body). Keeps no reference to env or body.
    TWebRequest(const ICgiEnvironment& env, std::istream* body);

    // Fields of QUERY_STRING, whatever the method.
    const TWebFields& QueryFields() const { return queryFields_; }
    // Fields of the x-www-form-urlencoded body.
    const TWebFields& ContentFields() const { return contentFields_; }
    // Pairs of the Cookie header.
    const TWebFields& CookieFields() const { return cookieFields_; }

    // The raw query string and body.
    const std::string& Query() const { return query_; }
    const std::string& Content() const { return content_; }
    // CONTENT_LENGTH asked for more than kMaxRequestBody; the body was left
    // unread.
    bool ContentTooLarge() const { return contentTooLarge_; }

    const std::string& Method() const { return method_; }            // REQUEST_METHOD
    const std::string& PathInfo() const { return pathInfo_; }        // PATH_INFO
    const std::string& ScriptName() const { return scriptName_; }    // SCRIPT_NAME
    const std::string& Host() const { return host_; }                // HTTP_HOST
    const std::string& URL() const { return url_; }                  // URL
    const std::string& RemoteAddr() const { return remoteAddr_; }    // REMOTE_ADDR
    const std::string& Referer() const { return referer_; }          // HTTP_REFERER
    const std::string& UserAgent() const { return userAgent_; }      // HTTP_USER_AGENT
    const std::string& AcceptLanguage() const { return acceptLanguage_; }  // HTTP_ACCEPT_LANGUAGE
    const std::string& ContentType() const { return contentType_; }  // CONTENT_TYPE
    // HTTP_X_FORWARDED_FOR, or the lower-case name some servers on other
    // platforms used.
    const std::string& ForwardedFor() const { return forwardedFor_; }
    // AUTH_USER, or REMOTE_USER (the CGI/1.1 name) when that is unset.
    const std::string& AuthUser() const { return authUser_; }

private:
    void ReadBody(const ICgiEnvironment& env, std::istream* body);

    TWebFields queryFields_, contentFields_, cookieFields_;
    std::string query_, content_;
    bool contentTooLarge_ = false;
    std::string method_, pathInfo_, scriptName_, host_, url_, remoteAddr_, referer_, userAgent_,
        acceptLanguage_, contentType_, forwardedFor_, authUser_;
};

}  // namespace tlvx
