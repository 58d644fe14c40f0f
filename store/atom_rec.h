// The parts of one stored atom as the atom manager loads and saves them and
// the atom cache keeps them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "store/shared_array.h"

namespace tlvx {

// Parts of an atom.
inline constexpr uint8_t kPartCounters = 1;
inline constexpr uint8_t kPartLinks = 2;
inline constexpr uint8_t kPartData = 4;
inline constexpr uint8_t kAllParts = 7;

using TByteArray = std::vector<uint8_t>;
using TAtomHandleArray = std::vector<uint32_t>;
using TEntryBytes = std::array<uint8_t, 32>;

// Data and links are shared with the images that read them (shared_array.h).
struct TAtomRec {
    TSharedBytes data;
    uint32_t handle = 0;
    TSharedLinks links;  // 0 = empty link
    TEntryBytes entry{};     // copy of the stored entry
    bool entryLoaded = false;
    uint8_t linkWidth = 1;    // 1 to 4 bytes per stored link
    uint32_t linkCount = 0;   // links of other atoms to this one, plus pins
    uint32_t externalCount = 0;
    uint8_t loaded = 0;       // kPart* bits
};

// Bytes a stored link needs for handle h.
inline uint8_t LinkWidthFor(uint32_t h) {
    return h < 0x100 ? 1 : h < 0x10000 ? 2 : h <= 0xFFFFFF ? 3 : 4;
}

}  // namespace tlvx
