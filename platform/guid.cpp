// GUID byte layout, text form and the process-wide GUID source.
#include "platform/guid.h"

#include <sys/random.h>

#include <atomic>
#include <cerrno>

#include "platform/byte_codec.h"
#include "platform/file.h"

namespace tlvx {

std::array<uint8_t, 16> TGUID::ToBytes() const {
    std::array<uint8_t, 16> b{};
    PutU32(&b[0], D1);
    PutU16(&b[4], D2);
    PutU16(&b[6], D3);
    for (int i = 0; i < 8; ++i) b[8 + i] = D4[i];
    return b;
}

TGUID TGUID::FromBytes(const uint8_t* bytes) {
    TGUID g;
    g.D1 = GetU32(bytes);
    g.D2 = GetU16(bytes + 4);
    g.D3 = GetU16(bytes + 6);
    for (int i = 0; i < 8; ++i) g.D4[i] = bytes[8 + i];
    return g;
}

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

void PutHex(std::string& out, uint64_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) out += kHexDigits[(value >> (4 * i)) & 0xF];
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos]; false on any other character.
bool GetHex(std::string_view text, size_t pos, int digits, uint64_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        int v = HexValue(text[pos + i]);
        if (v < 0) return false;
        value = (value << 4) | static_cast<uint64_t>(v);
    }
    return true;
}

class TSystemGuidSource : public IGuidSource {
public:
    TGUID Next() override {
        uint8_t bytes[16];
        size_t got = 0;
        while (got < sizeof bytes) {
            ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
            if (n < 0) {
                if (errno == EINTR) continue;
                throw EPlatformError("getrandom", errno);
            }
            got += static_cast<size_t>(n);
        }
        TGUID g = TGUID::FromBytes(bytes);
        g.D3 = static_cast<uint16_t>((g.D3 & 0x0FFF) | 0x4000);      // version 4
        g.D4[0] = static_cast<uint8_t>((g.D4[0] & 0x3F) | 0x80);     // RFC 4122 variant
        return g;
    }
};

TSystemGuidSource systemSource;
std::atomic<IGuidSource*> installedSource{nullptr};

}  // namespace

std::string GuidToStr(const TGUID& g) {
    std::string s;
    s.reserve(38);
    s += '{';
    PutHex(s, g.D1, 8);
    s += '-';
    PutHex(s, g.D2, 4);
    s += '-';
    PutHex(s, g.D3, 4);
    s += '-';
    PutHex(s, g.D4[0], 2);
    PutHex(s, g.D4[1], 2);
    s += '-';
    for (int i = 2; i < 8; ++i) PutHex(s, g.D4[i], 2);
    s += '}';
    return s;
}

std::optional<TGUID> StrToGuid(std::string_view text) {
    if (text.size() != 38 || text[0] != '{' || text[37] != '}') return std::nullopt;
    if (text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-')
        return std::nullopt;
    TGUID g;
    uint64_t v;
    if (!GetHex(text, 1, 8, v)) return std::nullopt;
    g.D1 = static_cast<uint32_t>(v);
    if (!GetHex(text, 10, 4, v)) return std::nullopt;
    g.D2 = static_cast<uint16_t>(v);
    if (!GetHex(text, 15, 4, v)) return std::nullopt;
    g.D3 = static_cast<uint16_t>(v);
    const size_t d4pos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!GetHex(text, d4pos[i], 2, v)) return std::nullopt;
        g.D4[i] = static_cast<uint8_t>(v);
    }
    return g;
}

TGUID NewGuid() {
    IGuidSource* source = installedSource.load();
    return source ? source->Next() : systemSource.Next();
}

void SetGuidSource(IGuidSource* source) { installedSource.store(source); }

}  // namespace tlvx
