// Storage files in memory: tests of what is built on the storage interfaces
// run on the file storage itself, over an in-memory file system, with no
// disk traffic and nothing left behind.
#pragma once

#include <string>

#include "platform/guid.h"
#include "platform/testing/memory_file_system.h"
#include "store/orv_storage.h"

namespace tlvx::test {

// Installs an in-memory file system for its lifetime (and puts back the one
// before); the storages it opens are file storages over files in it. Every
// storage must be released before this object ends. A file is held open by
// its storage with the share lock a real file takes: a writer alone, or
// readers beside readers.
class TMemoryVolumes {
public:
    static constexpr const char* kName = "/memory/volume.orv";

    // A new storage file of that data class, open for writing; an old file
    // of the name is replaced.
    Ref<TOrvStorage> Create(const std::string& name = kName, const TGUID& dataClass = TGUID{});
    // The storage file as it was last released, opened again (for writing,
    // the file must be of that data class).
    Ref<TOrvStorage> Open(bool readOnly, const std::string& name = kName,
                          const TGUID& dataClass = TGUID{});
    // The file's bytes: what a reopen will read.
    std::string Bytes(const std::string& name = kName) { return Files().Contents(name); }
    TMemoryFileSystem& Files() { return scope_.Files(); }

private:
    TMemoryFileSystemScope scope_;
};

}  // namespace tlvx::test
