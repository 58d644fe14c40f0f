// The reference-counted base of the store's objects.
//
// TUnknown keeps the object alive while it is being built: the count is held
// at one from the constructor until CreateObject hands out the first
// reference, so code that passes `this` around during construction (and drops
// its references again) does not free the half-built object. Initialize is
// the virtual initialisation hook, run by CreateObject once the object is
// complete; the finalisation hook is the derived class's destructor.
//
// Querying for another interface is RefCast (dynamic_cast). Objects that the
// original aggregated into an owner are plain members of the owner here.
#pragma once

#include <utility>

#include "platform/ref.h"

namespace tlvx {

class TUnknown : public virtual RefCounted {
public:
    TUnknown() { AddRef(); }

protected:
    // Runs after construction, with virtual dispatch to the final class.
    virtual void Initialize() {}

    template <class T, class... Args>
    friend Ref<T> CreateObject(Args&&... args);
};

// Makes a TUnknown descendant, runs its Initialize hook and hands out the
// first reference. A failing Initialize frees the object and rethrows.
template <class T, class... Args>
Ref<T> CreateObject(Args&&... args) {
    T* object = new T(std::forward<Args>(args)...);
    Ref<T> ref(object);       // count 2: the construction hold and this one
    object->Release();        // drops the construction hold, never frees here
    static_cast<TUnknown*>(object)->Initialize();
    return ref;
}

}  // namespace tlvx
