#include "store/virtual_atom.h"

#include <limits>

#include "store/access_modes.h"
#include "store/errors.h"

namespace tlvx {

namespace {
constexpr int64_t kMaxAtomSize = std::numeric_limits<int32_t>::max();
}

void CheckAtomRange(int64_t offset, int64_t count) {
    if (offset < 0 || count < 0 || offset > kMaxAtomSize || count > kMaxAtomSize - offset)
        throw EQmzError(ecAccessDenied, TQmzMessage::AccessDenied);
}

int32_t IVirtualAtom::ReadLinkData(int32_t index, int32_t offset, void* buffer, int32_t count) {
    Ref<IVirtualAtom> target = OpenLinkWithMode(index, amReadData);
    if (!target) return -1;
    return target->Read(offset, buffer, count);
}

bool IsSkippableAtomError(int32_t code) {
    return code == ecAccessDenied || code == ecShareViolation || code == ecInvalidAtomAddress ||
           code == ecBrokenLink;
}

}  // namespace tlvx
