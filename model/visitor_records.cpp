#include "model/visitor_records.h"

#include <bit>

#include "store/byte_codec.h"

namespace tlvx {

namespace {

void PutI32(uint8_t* p, int32_t v) { PutU32(p, uint32_t(v)); }
int32_t GetI32(const uint8_t* p) { return int32_t(GetU32(p)); }
void PutF64(uint8_t* p, double v) { PutU64(p, std::bit_cast<uint64_t>(v)); }
double GetF64(const uint8_t* p) { return std::bit_cast<double>(GetU64(p)); }

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
    PutI32(&b[0], r.Within1Hour);
    PutI32(&b[4], r.Within1Day);
    PutI32(&b[8], r.Within7Days);
    PutI32(&b[12], r.Within30Days);
    return b;
}

TReturnCounters DecodeReturnCounters(const uint8_t* b) {
    return {GetI32(b), GetI32(b + 4), GetI32(b + 8), GetI32(b + 12)};
}

std::array<uint8_t, kVisitHistogramSize> EncodeVisitHistogram(const TVisitHistogram& h) {
    std::array<uint8_t, kVisitHistogramSize> b{};
    for (size_t i = 0; i < h.Visitors.size(); ++i) PutI32(&b[4 * i], h.Visitors[i]);
    return b;
}

TVisitHistogram DecodeVisitHistogram(const uint8_t* b) {
    TVisitHistogram h;
    for (size_t i = 0; i < h.Visitors.size(); ++i) h.Visitors[i] = GetI32(b + 4 * i);
    return h;
}

std::array<uint8_t, kVisitorRecordSize> EncodeVisitorRecord(const TVisitorRecord& r) {
    std::array<uint8_t, kVisitorRecordSize> b{};
    PutF64(&b[0], r.LastHit);
    PutI32(&b[8], r.Visits);
    PutF64(&b[12], r.FirstVisit);
    PutI32(&b[20], r.Hits);
    return b;
}

TVisitorRecord DecodeVisitorRecord(const uint8_t* b) {
    return {GetF64(b), GetI32(b + 8), GetF64(b + 12), GetI32(b + 20)};
}

std::array<uint8_t, kVisitorKeyRecordSize> EncodeVisitorKeyRecord(const TVisitorKeyRecord& r) {
    std::array<uint8_t, kVisitorKeyRecordSize> b{};
    PutI32(&b[0], r.Hits);
    PutI32(&b[4], r.Visits);
    PutF64(&b[8], r.LastTime);
    PutF64(&b[16], r.FirstTime);
    return b;
}

TVisitorKeyRecord DecodeVisitorKeyRecord(const uint8_t* b) {
    return {GetI32(b), GetI32(b + 4), GetF64(b + 8), GetF64(b + 16)};
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

double ReadDateTimeAtom(IVirtualAtom& atom) { return GetF64(ReadHead<8>(atom).data()); }
void WriteDateTimeAtom(IVirtualAtom& atom, double value) {
    std::array<uint8_t, 8> b{};
    PutF64(b.data(), value);
    WriteHead(atom, b);
}

}  // namespace tlvx
