// The managers that live inside a storage file (the space allocator, the
// atom manager) keep a plain pointer to their TOrvFile; the file tells them
// to forget it before it goes away.
#pragma once

#include "platform/ref.h"

namespace tlvx {

class IDisconnectInternalObject : public virtual RefCounted {
public:
    virtual void Disconnect() = 0;
};

}  // namespace tlvx
