// Absent objects as exceptions. Opening an empty link or finding a missing
// key yields no object without an error; code that goes on to use the
// object checks it here first, so that the guard round the operation sees an
// exception instead of the process crashing on a null reference.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/ref.h"

namespace tlvx {

class ENilObject : public std::runtime_error {
public:
    explicit ENilObject(std::string_view what)
        : std::runtime_error("Absent object: " + std::string(what)) {}
};

template <class T>
T& Need(const Ref<T>& object, std::string_view what) {
    if (!object) throw ENilObject(what);
    return *object;
}

template <class T>
T& Need(T* object, std::string_view what) {
    if (!object) throw ENilObject(what);
    return *object;
}

}  // namespace tlvx
