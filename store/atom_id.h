// The identity of an atom: which storage, which atom.
//
// Stored by the data model (24 bytes, little-endian):
//   0  16  StorageID   GUID in its binary layout (u32, u16, u16, 8 bytes)
//  16   4  AtomNumber  u32
//  20   4  Reserved    u32, always 0
#pragma once

#include <array>
#include <cstdint>

#include "platform/guid.h"

namespace tlvx {

inline constexpr uint32_t kRootAtomNumber = 1;
inline constexpr uint32_t kSecondRootAtomNumber = 2;

struct TAtomID {
    static constexpr size_t kSize = 24;

    TGUID StorageID;
    uint32_t AtomNumber = 0;
    uint32_t Reserved = 0;

    friend bool operator==(const TAtomID&, const TAtomID&) = default;

    std::array<uint8_t, kSize> ToBytes() const;
    // Reads kSize bytes.
    static TAtomID FromBytes(const uint8_t* bytes);
};

}  // namespace tlvx
