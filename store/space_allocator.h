// The free-space allocator of a storage file, as its users see it.
#pragma once

#include <cstdint>

#include "platform/ref.h"

namespace tlvx {

class ISpaceAllocator : public virtual RefCounted {
public:
    // The position of size fresh bytes (best fit among the holes, else
    // appended at the end of the file).
    virtual uint64_t Alloc(uint32_t size) = 0;
    // Gives a range back; size 0 does nothing.
    virtual void Free(uint32_t size, uint64_t position) = 0;
};

}  // namespace tlvx
