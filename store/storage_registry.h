// The process-wide registry of open storages and the shutdown report of
// storages that were never destroyed.
#pragma once

#include <cstddef>

namespace tlvx {

// A storage that can be closed by force at shutdown: every open atom closed,
// every active top-level transaction aborted, the file closed. Must not
// throw.
class TRegisteredStorage {
public:
    virtual void ForceClose() noexcept = 0;

protected:
    ~TRegisteredStorage() = default;
};

// A storage joins the registry when constructed and leaves it when
// destroyed (raw pointers: the registry owns nothing).
void RegisterStorage(TRegisteredStorage* storage);
void UnregisterStorage(TRegisteredStorage* storage) noexcept;
size_t RegisteredStorageCount() noexcept;

// When storages are left: the warning "TOrvStorage: N object(s) not
// destroyed" captioned "Orv-Error" (one line on stderr), then each is
// force-closed and the registry emptied. Never throws.
void ShutdownStorages() noexcept;

}  // namespace tlvx
