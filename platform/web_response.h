// One CGI reply: status, content type, content (text, bytes or a stream) and
// cookies, written once to the output as CGI headers with CR LF line ends:
//
//   Status: 200 OK
//   Content-Type: image/gif
//   Content-Length: 799
//   Set-Cookie: name=value; path=/; expires=Tue, 08 Dec 2026 12:05:00 GMT
//   (blank line, then the content)
//
// Request values reach these headers only through cookie values, which are
// %XX-encoded; every other header text has its control bytes removed, and a
// cookie whose name is no token or whose path or domain holds anything but
// visible characters other than ';' and ',' is not sent at all.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/stream.h"

namespace tlvx {

struct TWebCookie {
    std::string Name;
    std::string Value;
    std::string Path;    // "" for none
    std::string Domain;  // "" for none
    // Local date and time as a day count; 0 for none (the browser keeps the
    // cookie for its session only).
    double Expires = 0;
};

class TWebResponse {
public:
    // The reply goes to out (stdout in the programs), which must outlive
    // this object.
    explicit TWebResponse(std::ostream& out);
    TWebResponse(const TWebResponse&) = delete;
    TWebResponse& operator=(const TWebResponse&) = delete;

    // reason "" takes the usual text of the code.
    void SetStatus(int code, std::string reason = "");
    int StatusCode() const { return status_; }
    const std::string& ReasonString() const { return reason_; }

    // "text/html" unless set.
    void SetContentType(std::string type) { contentType_ = std::move(type); }
    const std::string& ContentType() const { return contentType_; }

    // Text or bytes; replaces a content stream.
    void SetContent(std::string bytes);
    const std::string& Content() const { return content_; }
    // Sent from its position to its end; the response owns it from now on.
    // Replaces the content.
    void SetContentStream(std::unique_ptr<TStream> stream);
    TStream* ContentStream() const { return stream_.get(); }

    std::vector<TWebCookie>& Cookies() { return cookies_; }
    const std::vector<TWebCookie>& Cookies() const { return cookies_; }
    void AddCookie(std::string name, std::string value, double expires = 0,
                   std::string path = "", std::string domain = "");

    // Writes the reply and flushes the output; every later call does nothing.
    // Expiry dates are converted to GMT with the clock's time-zone bias.
    void SendResponse();
    bool Sent() const { return sent_; }

    // Back to a fresh reply (200, text/html, no content, no cookies); does
    // nothing once sent.
    void Reset();

private:
    std::ostream& out_;
    bool sent_ = false;
    int status_ = 200;
    std::string reason_ = "OK";
    std::string contentType_ = "text/html";
    std::string content_;
    std::unique_ptr<TStream> stream_;
    std::vector<TWebCookie> cookies_;
};

// "Wdy, DD Mon YYYY HH:MM:SS GMT" of a local day-count date, given the
// minutes to add to local time for UTC. Raises std::invalid_argument for a
// date out of range.
std::string FormatCookieExpires(double localDate, int32_t biasMinutes);

// The value of a Set-Cookie header, or nothing when the cookie cannot be
// sent safely (see above).
std::optional<std::string> FormatSetCookie(const TWebCookie& cookie, int32_t biasMinutes);

// The usual reason phrase of a status code ("OK", "Not Found", ...).
std::string StatusReason(int code);

}  // namespace tlvx
