#include "store/testing/chain_walk.h"

#include <algorithm>

#include "platform/byte_codec.h"

namespace tlvx::test {

TChainSummary WalkedChains(const std::vector<uint8_t>& file) {
    TChainSummary chains;
    // A damaged chain ends the walk where it leaves the file or loops.
    auto walk = [&](uint64_t position, std::vector<uint64_t>& out) {
        while (position != 0 && position + 16 <= file.size() && out.size() < 100000 &&
               std::find(out.begin(), out.end(), position) == out.end()) {
            out.push_back(position);
            position = GetU64(&file[position]);
        }
    };
    if (file.size() < 128) return chains;
    walk(GetU64(&file[16]), chains.holeTables);
    walk(GetU64(&file[24]), chains.atomTables);
    return chains;
}

std::optional<TStoredSummary> StoredChainSummary(const std::vector<uint8_t>& file) {
    if (file.size() < 128) return std::nullopt;
    const uint64_t position = GetU64(&file[96]);
    const uint32_t size = GetU32(&file[104]);
    if (position == 0 || position > file.size() || size > file.size() - position) return std::nullopt;
    auto chains = DecodeChainSummary(&file[position], size);
    if (!chains) return std::nullopt;
    return TStoredSummary{*chains, position, size};
}

}  // namespace tlvx::test
