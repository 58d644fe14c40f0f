#include "store/chain_summary.h"

#include <cstring>

#include "platform/byte_codec.h"
#include "store/crc32.h"

namespace tlvx {
namespace {

constexpr char kMagic[8] = {'T', 'L', 'V', 'X', 'C', 'H', 'N', '1'};

uint32_t SummaryCrc(const uint8_t* bytes, size_t positions) {
    uint32_t crc = 0;
    UpdateCrc32(crc, bytes, 20);
    UpdateCrc32(crc, bytes + kChainSummaryHeaderBytes, 8 * positions);
    return crc;
}

}  // namespace

std::vector<uint8_t> EncodeChainSummary(const TChainSummary& summary, uint32_t capacity) {
    const size_t count = summary.TableCount();
    if (capacity < count) capacity = uint32_t(count);
    std::vector<uint8_t> out(size_t(ChainSummaryBytes(capacity)), 0);
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    PutU32(&out[8], capacity);
    PutU32(&out[12], uint32_t(summary.holeTables.size()));
    PutU32(&out[16], uint32_t(summary.atomTables.size()));
    size_t at = kChainSummaryHeaderBytes;
    for (const auto* chain : {&summary.holeTables, &summary.atomTables})
        for (uint64_t position : *chain) {
            PutU64(&out[at], position);
            at += 8;
        }
    PutU32(&out[20], SummaryCrc(out.data(), count));
    return out;
}

std::optional<TChainSummary> DecodeChainSummary(const uint8_t* bytes, size_t size) {
    if (size < kChainSummaryHeaderBytes || std::memcmp(bytes, kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    const uint32_t capacity = GetU32(bytes + 8);
    const uint64_t holes = GetU32(bytes + 12), atoms = GetU32(bytes + 16);
    if (ChainSummaryBytes(capacity) != size || holes + atoms > capacity) return std::nullopt;
    if (SummaryCrc(bytes, size_t(holes + atoms)) != GetU32(bytes + 20)) return std::nullopt;
    TChainSummary summary;
    const uint8_t* p = bytes + kChainSummaryHeaderBytes;
    for (uint64_t i = 0; i < holes; ++i, p += 8) summary.holeTables.push_back(GetU64(p));
    for (uint64_t i = 0; i < atoms; ++i, p += 8) summary.atomTables.push_back(GetU64(p));
    return summary;
}

}  // namespace tlvx
