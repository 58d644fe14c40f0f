#include "model/visitor_records.h"

#include "platform/byte_codec.h"

namespace tlvx {

namespace {

// The first N bytes of the atom, zeros where it is shorter.
template <int32_t N>
std::array<uint8_t, N> ReadHead(IVirtualAtom& atom) {
    std::array<uint8_t, N> bytes{};
    atom.Read(0, bytes.data(), N);
    return bytes;
}

template <size_t N>
void WriteHead(IVirtualAtom& atom, const std::array<uint8_t, N>& bytes) {
    atom.Write(0, bytes.data(), int32_t(N));
}

}  // namespace

std::array<uint8_t, kReturnCountersSize> EncodeReturnCounters(const TReturnCounters& r) {
    std::array<uint8_t, kReturnCountersSize> b{};
    PutInt32(&b[0], r.Within1Hour);
    PutInt32(&b[4], r.Within1Day);
    PutInt32(&b[8], r.Within7Days);
    PutInt32(&b[12], r.Within30Days);
    return b;
}

TReturnCounters DecodeReturnCounters(const uint8_t* b) {
    return {GetInt32(b), GetInt32(b + 4), GetInt32(b + 8), GetInt32(b + 12)};
}

std::array<uint8_t, kVisitHistogramSize> EncodeVisitHistogram(const TVisitHistogram& h) {
    std::array<uint8_t, kVisitHistogramSize> b{};
    for (size_t i = 0; i < h.Visitors.size(); ++i) PutInt32(&b[4 * i], h.Visitors[i]);
    return b;
}

TVisitHistogram DecodeVisitHistogram(const uint8_t* b) {
    TVisitHistogram h;
    for (size_t i = 0; i < h.Visitors.size(); ++i) h.Visitors[i] = GetInt32(b + 4 * i);
    return h;
}

std::array<uint8_t, kVisitorRecordSize> EncodeVisitorRecord(const TVisitorRecord& r) {
    std::array<uint8_t, kVisitorRecordSize> b{};
    PutDouble(&b[0], r.LastHit);
    PutInt32(&b[8], r.Visits);
    PutDouble(&b[12], r.FirstVisit);
    PutInt32(&b[20], r.Hits);
    return b;
}

TVisitorRecord DecodeVisitorRecord(const uint8_t* b) {
    return {GetDouble(b), GetInt32(b + 8), GetDouble(b + 12), GetInt32(b + 20)};
}

std::array<uint8_t, kVisitorKeyRecordSize> EncodeVisitorKeyRecord(const TVisitorKeyRecord& r) {
    std::array<uint8_t, kVisitorKeyRecordSize> b{};
    PutInt32(&b[0], r.Hits);
    PutInt32(&b[4], r.Visits);
    PutDouble(&b[8], r.LastTime);
    PutDouble(&b[16], r.FirstTime);
    return b;
}

TVisitorKeyRecord DecodeVisitorKeyRecord(const uint8_t* b) {
    return {GetInt32(b), GetInt32(b + 4), GetDouble(b + 8), GetDouble(b + 16)};
}

TReturnCounters ReadReturnCounters(IVirtualAtom& atom) {
    return DecodeReturnCounters(ReadHead<kReturnCountersSize>(atom).data());
}
void WriteReturnCounters(IVirtualAtom& atom, const TReturnCounters& r) { WriteHead(atom, EncodeReturnCounters(r)); }

TVisitHistogram ReadVisitHistogram(IVirtualAtom& atom) {
    return DecodeVisitHistogram(ReadHead<kVisitHistogramSize>(atom).data());
}
void WriteVisitHistogram(IVirtualAtom& atom, const TVisitHistogram& h) { WriteHead(atom, EncodeVisitHistogram(h)); }

TVisitorRecord ReadVisitorRecord(IVirtualAtom& atom) {
    return DecodeVisitorRecord(ReadHead<kVisitorRecordSize>(atom).data());
}
void WriteVisitorRecord(IVirtualAtom& atom, const TVisitorRecord& r) { WriteHead(atom, EncodeVisitorRecord(r)); }

TVisitorKeyRecord ReadVisitorKeyRecord(IVirtualAtom& atom) {
    return DecodeVisitorKeyRecord(ReadHead<kVisitorKeyRecordSize>(atom).data());
}
void WriteVisitorKeyRecord(IVirtualAtom& atom, const TVisitorKeyRecord& r) {
    WriteHead(atom, EncodeVisitorKeyRecord(r));
}

double ReadDateTimeAtom(IVirtualAtom& atom) { return GetDouble(ReadHead<8>(atom).data()); }
void WriteDateTimeAtom(IVirtualAtom& atom, double value) {
    std::array<uint8_t, 8> b{};
    PutDouble(b.data(), value);
    WriteHead(atom, b);
}

}  // namespace tlvx
