// The open parameters of a storage and the location text.
//
// Entries (names in any letter case; a later entry overrides an earlier
// one, except Class, which accumulates):
//   Mode           READONLY | OPEN | OPENORCREATE | CREATE (any case)
//   Class          a braced GUID: an accepted data class
//   Cache          integer: atom cache capacity in atoms (0 keeps the default)
//   CacheBytes     integer >= 0: atom cache budget in bytes (0 keeps the
//                  default); without Cache beside it, the budget alone bounds
//                  the cache (see atom_cache.h)
//   WriteThrough   boolean word
//   AtomSizeAlign  integer 1..255: size alignment of atoms in a new file
//   SnapshotBytes  integer >= 0: a read-only store over a file of at most
//                  this many bytes takes a copy of it once it has read a good
//                  part, and lets its lock go (0: never; snapshot_file.h)
// Every error is EQmzError 19 with the message of its entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/guid.h"
#include "store/access_modes.h"

namespace tlvx {

struct TStorageOpenParams {
    TOpenMode Mode = omOpenOrCreate;
    std::vector<TGUID> Classes;
    bool WriteThrough = false;
    int32_t Cache = 0;
    int32_t CacheBytes = 0;
    int32_t AtomSizeAlign = 1;
    int64_t SnapshotBytes = 0;
};

TStorageOpenParams ParseStorageParams(std::string_view text);

// Location without a leading "file://" (any letter case).
std::string StripFileScheme(std::string_view location);

}  // namespace tlvx
