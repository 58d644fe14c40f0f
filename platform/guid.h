// GUIDs: 16 bytes in the platform's binary layout (u32, u16, u16, 8 bytes,
// the integers little-endian on disk) and the 38-character registry text form.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tlvx {

struct TGUID {
    uint32_t D1 = 0;
    uint16_t D2 = 0;
    uint16_t D3 = 0;
    std::array<uint8_t, 8> D4{};

    friend bool operator==(const TGUID&, const TGUID&) = default;
    bool IsNull() const { return *this == TGUID{}; }

    // The 16 bytes as stored in files: D1, D2, D3 little-endian, then D4.
    std::array<uint8_t, 16> ToBytes() const;
    static TGUID FromBytes(const uint8_t* bytes);
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case hexadecimal digits.
std::string GuidToStr(const TGUID& g);

// Strict parse of the braced text form (either letter case); nothing else is
// accepted: no missing braces, no spaces, no extra characters.
std::optional<TGUID> StrToGuid(std::string_view text);

// A new random (version 4) GUID from the process-wide GUID source.
TGUID NewGuid();

// Where new GUIDs come from; tests install a fixed sequence.
class IGuidSource {
public:
    virtual ~IGuidSource() = default;
    virtual TGUID Next() = 0;
};

// Installs a source for this process (nullptr restores the system one).
// The caller keeps ownership.
void SetGuidSource(IGuidSource* source);

}  // namespace tlvx
