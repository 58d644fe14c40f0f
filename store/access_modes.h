// Access-mode bits of open atoms and transactions, and the open modes of a
// storage.
#pragma once

#include <cstdint>

namespace tlvx {

// Bits of an atom's access mode and of a storage's or transaction's access
// mask. Writing implies reading the same part.
inline constexpr uint8_t amReadData = 1;
inline constexpr uint8_t amReadLinks = 2;
inline constexpr uint8_t amWriteData = 4;
inline constexpr uint8_t amWriteLinks = 8;
// In an access mask: atoms may be created. In an image's combined mode: the
// atom is open at this level.
inline constexpr uint8_t amOpen = 16;
inline constexpr uint8_t amCreateAtoms = amOpen;

inline constexpr uint8_t amRead = amReadData | amReadLinks;     // 3
inline constexpr uint8_t amReadWrite = 15;                       // all four
inline constexpr uint8_t amFullMask = 31;                        // mask of a writable storage

// How a storage file is opened.
enum TOpenMode : uint8_t {
    omReadOnly = 0,
    omOpen = 1,
    omOpenOrCreate = 2,
    omCreate = 3,
};

}  // namespace tlvx
