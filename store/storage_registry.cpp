#include "store/storage_registry.h"

#include "store/warning.h"

#include <algorithm>
#include <string>
#include <vector>

namespace tlvx {

namespace {

// Made on first use and never destroyed, so that storages freed during
// static destruction still find it.
std::vector<TRegisteredStorage*>& Registry() {
    static auto* list = new std::vector<TRegisteredStorage*>();
    return *list;
}

}  // namespace

void RegisterStorage(TRegisteredStorage* storage) { Registry().push_back(storage); }

void UnregisterStorage(TRegisteredStorage* storage) noexcept {
    auto& list = Registry();
    list.erase(std::remove(list.begin(), list.end(), storage), list.end());
}

size_t RegisteredStorageCount() noexcept { return Registry().size(); }

void ShutdownStorages() noexcept {
    auto& list = Registry();
    if (list.empty()) return;
    try {
        ShowWarning("TOrvStorage: " + std::to_string(list.size()) + " object(s) not destroyed",
                    "Orv-Error");
    } catch (...) {
    }
    // The storages stay alive (their holders still reference them); they
    // only lose their atoms, transactions and file.
    std::vector<TRegisteredStorage*> left;
    left.swap(list);
    for (auto* s : left) s->ForceClose();
}

}  // namespace tlvx
