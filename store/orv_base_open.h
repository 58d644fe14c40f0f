// Opening the atom store over a storage file on disk.
//
// A writable open runs every change of the file through the rollback journal
// (TJournaledFile): each durable commit of the store is atomic, and an open
// that finds a journal left by a crash first brings the file to the last
// complete commit (a read-only open takes the exclusive lock briefly for
// that). The modification stamp is set by each durable commit, so a store
// closed after its commit has nothing left to write.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/guid.h"
#include "store/orv_base.h"

namespace tlvx {

class TOrvFile;

// The file is opened as TOrvFile opens it. A
// read-only store over a file of at most snapshotBytes takes a copy of it
// once it has read a good part, and lets its share lock go
// (store/snapshot_file.h).
std::unique_ptr<TOrvBase> OpenOrvBase(const std::string& fileName, bool writeThrough,
                                      const std::vector<TGUID>& classes, TOpenMode mode,
                                      int lockWaitMs = 3000, uint64_t snapshotBytes = 0);

// The storage file below an atom store opened by OpenOrvBase (header fields,
// stamps, data class, identity).
TOrvFile& OrvFileOf(TOrvBase& base);

// File and directory syncs done by the journal of a writable store so far.
uint64_t JournalSyncCount(TOrvBase& base);

}  // namespace tlvx
