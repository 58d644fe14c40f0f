#include "store/storage_factory.h"

#include "store/errors.h"
#include "store/orv_storage.h"
#include "store/storage_registry.h"

namespace tlvx {

namespace {

// Storage files until someone installs another hook.
TStorageCreator& Creator() {
    static TStorageCreator creator = OrvStorageCreator();
    return creator;
}

int32_t& AtomSizeAlign() {
    static int32_t align = 1;
    return align;
}

Ref<IStorageFactory>& FactoryRef() {
    static Ref<IStorageFactory> factory;
    return factory;
}

}  // namespace

void SetStorageCreator(TStorageCreator creator) { Creator() = std::move(creator); }

int32_t NewFileAtomSizeAlign() { return AtomSizeAlign(); }
void SetNewFileAtomSizeAlign(int32_t align) { AtomSizeAlign() = align; }

Ref<IVirtualStorage> TStorageFactory::OpenStorage(uint16_t serverType, uint32_t /*reserved*/,
                                                  const std::string& location,
                                                  const std::string& requiredCaps,
                                                  const std::string& params) {
    if (serverType != 0 && serverType % 2 == 0)
        throw EQmzError(ecServerTypeNotSupported, kServerTypeNotSupported);
    TStorageOpenParams parsed = ParseStorageParams(params);
    SetNewFileAtomSizeAlign(parsed.AtomSizeAlign);
    std::string path = StripFileScheme(location);
    if (!Creator()) throw EQmzError(ecNotImplemented, TQmzMessage::NotImplemented);
    return Creator()(path, parsed, requiredCaps);
}

IStorageFactory& StorageFactory() {
    auto& f = FactoryRef();
    if (!f) f = MakeRef<TStorageFactory>();
    return *f;
}

void StoreShutdown() noexcept {
    FactoryRef().reset();
    ShutdownStorages();
}

}  // namespace tlvx
