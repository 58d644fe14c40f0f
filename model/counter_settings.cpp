#include "model/counter_settings.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_codec.h"

namespace tlvx {

void TCounterSettings::ToBytes(uint8_t out[kSize]) const {
    PutU32(out + 0, uint32_t(TotalVisits));
    PutU32(out + 4, uint32_t(TotalHits));
    PutU32(out + 8, uint32_t(TotalVisitors));
    PutU32(out + 12, uint32_t(DefaultInterval));
    out[16] = CanAddNode;
    PutDouble(out + 17, StartTime);
    PutU32(out + 25, uint32_t(Unused25));
    out[29] = Unused29;
    out[30] = Unused30;
    std::memcpy(out + 31, Unused31.data(), Unused31.size());
    PutDouble(out + 47, CreationTime);
    out[55] = Unused55;
}

TCounterSettings TCounterSettings::FromBytes(const uint8_t* bytes, size_t size) {
    uint8_t in[kSize] = {};
    if (bytes) std::memcpy(in, bytes, std::min(size, kSize));
    TCounterSettings s;
    s.TotalVisits = int32_t(GetU32(in + 0));
    s.TotalHits = int32_t(GetU32(in + 4));
    s.TotalVisitors = int32_t(GetU32(in + 8));
    s.DefaultInterval = int32_t(GetU32(in + 12));
    s.CanAddNode = in[16];
    s.StartTime = GetDouble(in + 17);
    s.Unused25 = int32_t(GetU32(in + 25));
    s.Unused29 = in[29];
    s.Unused30 = in[30];
    std::memcpy(s.Unused31.data(), in + 31, s.Unused31.size());
    s.CreationTime = GetDouble(in + 47);
    s.Unused55 = in[55];
    return s;
}

TCounterSettings NewCounterSettings(double now) {
    TCounterSettings s;
    s.StartTime = now;
    s.CreationTime = now;
    return s;
}

}  // namespace tlvx
