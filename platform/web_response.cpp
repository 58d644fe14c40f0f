#include "platform/web_response.h"

#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "platform/clock.h"
#include "platform/web_fields.h"

namespace tlvx {
namespace {

// Header text made from program values: control bytes removed, so no value
// can end a header line early.
std::string HeaderText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F) out += c;
    }
    return out;
}

bool IsAttributeText(const std::string& text) {
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F || c == ';' || c == ',') return false;
    }
    return true;
}

std::string ReadRest(TStream& stream) {
    std::string bytes;
    char buffer[16384];
    for (;;) {
        size_t n = stream.Read(buffer, sizeof buffer);
        if (n == 0) break;
        bytes.append(buffer, n);
    }
    return bytes;
}

}  // namespace

TWebResponse::TWebResponse(std::ostream& out) : out_(out) {}

void TWebResponse::SetStatus(int code, std::string reason) {
    status_ = code;
    reason_ = reason.empty() ? StatusReason(code) : std::move(reason);
}

void TWebResponse::SetContent(std::string bytes) {
    content_ = std::move(bytes);
    stream_.reset();
}

void TWebResponse::SetContentStream(std::unique_ptr<TStream> stream) {
    stream_ = std::move(stream);
    content_.clear();
}

void TWebResponse::AddCookie(std::string name, std::string value, double expires,
                             std::string path, std::string domain) {
    cookies_.push_back({std::move(name), std::move(value), std::move(path), std::move(domain),
                        expires});
}

void TWebResponse::Reset() {
    if (sent_) return;
    status_ = 200;
    reason_ = "OK";
    contentType_ = "text/html";
    content_.clear();
    stream_.reset();
    cookies_.clear();
}

void TWebResponse::SendResponse() {
    if (sent_) return;
    sent_ = true;
    // Everything is gathered first, so a failing content stream or clock
    // leaves the output untouched.
    const std::string body = stream_ ? ReadRest(*stream_) : content_;
    const int32_t bias = Clock().BiasMinutes();
    std::string head = "Status: " + std::to_string(status_) + " " + HeaderText(reason_) + "\r\n";
    head += "Content-Type: " + HeaderText(contentType_) + "\r\n";
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    for (const TWebCookie& cookie : cookies_) {
        if (auto value = FormatSetCookie(cookie, bias))
            head += "Set-Cookie: " + *value + "\r\n";
        else
            std::cerr << "warning: cookie not sent: its name, path, domain or date is unsafe\n";
    }
    head += "\r\n";
    out_.write(head.data(), static_cast<std::streamsize>(head.size()));
    out_.write(body.data(), static_cast<std::streamsize>(body.size()));
    out_.flush();
}

std::string FormatCookieExpires(double localDate, int32_t biasMinutes) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    TDateParts p = DecodeDateTime(localDate + biasMinutes / 1440.0);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[p.dayOfWeek - 1],
                  p.day, kMonths[p.month - 1], p.year, p.hour, p.minute, p.second);
    return text;
}

std::optional<std::string> FormatSetCookie(const TWebCookie& cookie, int32_t biasMinutes) {
    if (!IsHttpToken(cookie.Name) || !IsAttributeText(cookie.Path) ||
        !IsAttributeText(cookie.Domain))
        return std::nullopt;
    std::string text = cookie.Name + "=" + EncodeCookieValue(cookie.Value);
    if (!cookie.Domain.empty()) text += "; domain=" + cookie.Domain;
    if (!cookie.Path.empty()) text += "; path=" + cookie.Path;
    if (cookie.Expires != 0) {
        try {
            text += "; expires=" + FormatCookieExpires(cookie.Expires, biasMinutes);
        } catch (const std::invalid_argument&) {
            return std::nullopt;
        }
    }
    return text;
}

std::string StatusReason(int code) {
    switch (code) {
        case 200: return "OK";
        case 204: return "No Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 304: return "Not Modified";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 413: return "Content Too Large";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

}  // namespace tlvx
