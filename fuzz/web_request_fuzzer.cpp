// One CGI request made of the input: NUL-separated QUERY_STRING,
// HTTP_COOKIE, REQUEST_METHOD, CONTENT_TYPE, CONTENT_LENGTH, then the body.
// Checks the field parsers' promises on what they produced.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_guard.h"
#include "platform/web_request.h"

using namespace tlvx;

namespace {

void CheckFields(const TWebFields& fields, std::string_view source) {
    size_t pieces = 1;
    for (char c : source) pieces += (c == '&' || c == ';');
    FuzzCheck(fields.Count() <= pieces, "more fields than pieces");
    for (size_t i = 0; i < fields.Count(); ++i) {
        FuzzCheck(fields.Has(fields.Name(i)), "a field's own name is not found");
        FuzzCheck(fields.Name(i).size() + fields.ValueAt(i).size() <= source.size(),
                  "a field longer than its source");
    }
}

void CheckCookieRoundTrip(const std::string& value) {
    std::string encoded = EncodeCookieValue(value);
    for (unsigned char c : encoded)
        FuzzCheck(c > ' ' && c < 0x7F && c != ';' && c != ',' && c != '"' && c != '\\',
                  "an encoded cookie value holds a byte outside the cookie octets");
    TWebFields back = ParseCookieFields("n=" + encoded);
    FuzzCheck(back.Count() == 1 && back.Value("n") == value, "a cookie value does not round-trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    auto parts = SplitFuzzInput(input, 6);
    RunGuarded([&] {
        TMapEnvironment env;
        env.Set("GATEWAY_INTERFACE", "CGI/1.1");
        env.Set("QUERY_STRING", parts[0]);
        env.Set("HTTP_COOKIE", parts[1]);
        env.Set("REQUEST_METHOD", parts[2]);
        env.Set("CONTENT_TYPE", parts[3]);
        if (!parts[4].empty()) env.Set("CONTENT_LENGTH", parts[4]);
        env.Set("REMOTE_ADDR", "10.0.0.1");
        std::istringstream body(parts[5]);
        TWebRequest request(env, &body);
        FuzzCheck(request.Query() == parts[0], "the query string changed");
        FuzzCheck(request.Content().size() <= parts[5].size(), "more body than was sent");
        FuzzCheck(request.Content().size() <= kMaxRequestBody, "a body over the limit was read");
        CheckFields(request.QueryFields(), parts[0]);
        CheckFields(request.CookieFields(), parts[1]);
        CheckFields(request.ContentFields(), request.Content());
        for (size_t i = 0; i < request.CookieFields().Count(); ++i)
            CheckCookieRoundTrip(request.CookieFields().ValueAt(i));
        for (size_t i = 0; i < request.QueryFields().Count(); ++i)
            CheckCookieRoundTrip(request.QueryFields().ValueAt(i));
        IsHttpToken(parts[0]);
        FuzzCheck(PercentDecode(input, true).size() <= input.size(), "decoding grew the text");
    });
    return 0;
}
