// The table chains of a storage file read straight from its bytes, for the
// tests' whole-file checks: the chains as an open that checks them in full
// walks them, and the chain summary the header points to.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "store/chain_summary.h"

namespace tlvx::test {

TChainSummary WalkedChains(const std::vector<uint8_t>& file);
// The summary and where it lies; nothing when the header names none or it
// fails its checks.
struct TStoredSummary {
    TChainSummary chains;
    uint64_t position = 0;
    uint32_t size = 0;
};
std::optional<TStoredSummary> StoredChainSummary(const std::vector<uint8_t>& file);

}  // namespace tlvx::test
