// Reduction of a URL to its upper-cased host name, the key under which
// referrer sources are counted.
#pragma once

#include <string>
#include <string_view>

namespace tlvx {

// "http://www.Example.com:8080/page" and "https://example.com/" both give
// "EXAMPLE.COM". Empty for a text without "." and for texts that hold "@"
// or ";" or begin with "." once the scheme, path and "WWW." are gone.
std::string NormaliseHost(std::string_view url);

}  // namespace tlvx
