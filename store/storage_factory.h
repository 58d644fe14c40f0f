// The process-wide entry point through which storages are opened.
//
// The factory parses the open parameters and hands the open to a creation
// hook: the file storage's is the default (tests keep its files in memory by
// installing an in-memory file system). Every storage it opens joins the
// registry of open storages (storage_registry.h) while it lives.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/ref.h"
#include "store/storage_params.h"
#include "store/virtual_storage.h"

namespace tlvx {

class IStorageFactory : public virtual RefCounted {
public:
    // A non-zero even server type raises EQmzError 16 "Server type not
    // supported"; 0 and odd types are accepted. reserved is not read.
    // Bad parameters raise code 19; the storage's own errors (open errors
    // 201-207, code 2 for unmet capabilities) pass through unchanged.
    virtual Ref<IVirtualStorage> OpenStorage(uint16_t serverType, uint32_t reserved,
                                             const std::string& location,
                                             const std::string& requiredCaps,
                                             const std::string& params) = 0;
    // Always null.
    virtual Ref<IVirtualStorage> GetNilStorage(uint16_t serverType, uint32_t reserved,
                                               const std::string& location,
                                               const std::string& requiredCaps,
                                               const std::string& params) = 0;
};

// Opens or creates the storage at location (scheme already stripped).
using TStorageCreator = std::function<Ref<IVirtualStorage>(
    const std::string& location, const TStorageOpenParams& params, const std::string& requiredCaps)>;

// Installs the creation hook (an empty one makes OpenStorage raise code 1
// "Not implemented").
void SetStorageCreator(TStorageCreator creator);

// The alignment of atom sizes in files created from now on; OpenStorage sets
// it from the parameters before every open, also of existing files.
int32_t NewFileAtomSizeAlign();
void SetNewFileAtomSizeAlign(int32_t align);

class TStorageFactory : public IStorageFactory {
public:
    Ref<IVirtualStorage> OpenStorage(uint16_t serverType, uint32_t reserved,
                                     const std::string& location, const std::string& requiredCaps,
                                     const std::string& params) override;
    Ref<IVirtualStorage> GetNilStorage(uint16_t, uint32_t, const std::string&, const std::string&,
                                       const std::string&) override {
        return nullptr;
    }
};

// The process-wide factory, made on first use.
IStorageFactory& StorageFactory();

// The end of the store's life in a process: releases the factory, reports
// storages never destroyed on stderr and closes them. Never throws.
void StoreShutdown() noexcept;

}  // namespace tlvx
