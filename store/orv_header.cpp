#include "store/orv_header.h"

#include <cmath>
#include <cstring>

#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "store/crc32.h"

namespace tlvx {

TStamp StampFromDateTime(double dateTime) {
    TDateParts p = DecodeDateTime(dateTime);
    TStamp s;
    s.seconds = static_cast<uint32_t>(p.hour * 3600 + p.minute * 60 + p.second);
    s.day = static_cast<uint32_t>(static_cast<int32_t>(std::trunc(dateTime)));
    return s;
}

double StampToDateTime(const TStamp& stamp) {
    const int32_t day = static_cast<int32_t>(stamp.day);
    const uint32_t h = stamp.seconds / 3600 % 24, m = stamp.seconds / 60 % 60,
                   s = stamp.seconds % 60;
    const double time = (h * 3600.0 + m * 60.0 + s) / 86400.0;
    return day >= 0 ? day + time : day - time;
}

std::array<uint8_t, kHeaderSize> TOrvHeader::Encode() const {
    std::array<uint8_t, kHeaderSize> b = raw;
    size_t len = 0;
    while (len < 16 && b[len] != 0) ++len;
    if (std::string(reinterpret_cast<const char*>(b.data()), len) != signature) {
        std::memset(b.data(), 0, 16);
        std::memcpy(b.data(), signature.data(), std::min<size_t>(signature.size(), 16));
    }
    PutU64(&b[16], holeTablePos);
    PutU64(&b[24], atomTablePos);
    auto dc = dataClass.ToBytes();
    std::memcpy(&b[32], dc.data(), 16);
    auto id = storageId.ToBytes();
    std::memcpy(&b[48], id.data(), 16);
    PutU32(&b[64], created.seconds);
    PutU32(&b[68], created.day);
    PutU32(&b[72], modified.seconds);
    PutU32(&b[76], modified.day);
    PutU16(&b[80], flags);
    PutU16(&b[82], maxVersion);
    PutU16(&b[84], minVersion);
    b[87] = atomSizeAlign;
    PutU64(&b[88], logicalSize);
    PutU64(&b[96], summaryPos);
    PutU32(&b[104], summarySize);
    PutU32(&b[124], Crc32(b.data(), 124));
    return b;
}

TOrvHeader TOrvHeader::Decode(const uint8_t* b) {
    TOrvHeader h;
    size_t len = 0;
    while (len < 16 && b[len] != 0) ++len;
    h.signature.assign(reinterpret_cast<const char*>(b), len);
    h.holeTablePos = GetU64(b + 16);
    h.atomTablePos = GetU64(b + 24);
    h.dataClass = TGUID::FromBytes(b + 32);
    h.storageId = TGUID::FromBytes(b + 48);
    h.created = {GetU32(b + 64), GetU32(b + 68)};
    h.modified = {GetU32(b + 72), GetU32(b + 76)};
    h.flags = GetU16(b + 80);
    h.maxVersion = GetU16(b + 82);
    h.minVersion = GetU16(b + 84);
    h.atomSizeAlign = b[87];
    h.logicalSize = GetU64(b + 88);
    h.summaryPos = GetU64(b + 96);
    h.summarySize = GetU32(b + 104);
    h.crc = GetU32(b + 124);
    std::memcpy(h.raw.data(), b, kHeaderSize);
    return h;
}

uint32_t TOrvHeader::ComputeCrc() const { return GetU32(&Encode()[124]); }

}  // namespace tlvx
