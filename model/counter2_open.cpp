// Opening and creating a counter database file.
//
// A new database is made in one transaction that is committed before
// OpenCounter2 returns. While it is being made an install marker
// "<database>-install" stands beside it: the marker is durable before the
// database file is created and removed only once the creation is committed,
// so a database found together with its marker is the remains of a creation
// that never finished (a crash, a killed process). Such remains are no
// database: a read-only open leaves them alone, a writable one removes them
// (when no other process holds the file) and goes on as if the file were
// missing.
#include "model/counter2_object.h"
#include "model/error_notes.h"
#include "platform/file.h"
#include "platform/share_gate.h"
#include "store/atom_cache.h"
#include "store/journaled_file.h"
#include "store/snapshot_file.h"
#include "store/storage_factory.h"

namespace tlvx {

namespace {

std::string InstallMarkerOf(const std::string& path) { return path + "-install"; }

// A read-only open is the report program's: a page reads the same records
// many times over (every node's days of a period, the summary panel on every
// page), so its atom cache gets the reader's budget. A writer touches a few
// hundred atoms per hit and keeps the store's small default. The reader also
// takes its copy of a database of moderate size and lets the lock go, so
// that no hit waits while a long page is read.
Ref<IVirtualStorage> OpenCounterStorage(const std::string& path, const char* mode) {
    std::string params = std::string("mode=") + mode + "; class=" + std::string(StorageClassGUID);
    if (std::string_view(mode) == "readonly")
        params += "; CacheBytes=" + std::to_string(kReaderCacheBudget) +
                  "; SnapshotBytes=" + std::to_string(kReaderSnapshotBytes);
    return StorageFactory().OpenStorage(0, 0, path, "", params);
}

void WriteInstallMarker(const std::string& path) {
    IFileSystem& fs = FileSystem();
    TFileOptions options;
    options.randomAccess = false;
    auto marker = fs.Open(InstallMarkerOf(path), TFileAccess::ReadWrite, TDisposition::CreateAlways,
                          options);
    marker->Sync();
    marker.reset();
    fs.SyncDirectoryOf(path);
}

void RemoveInstallMarker(const std::string& path) {
    FileSystem().Remove(InstallMarkerOf(path));
    FileSystem().SyncDirectoryOf(path);
}

// Whether the install marker stands beside the database. Only a regular
// file is a marker: anything else there raises, as a check that cannot tell.
bool HasInstallMarker(const std::string& path) {
    IFileSystem& fs = FileSystem();
    if (!fs.Exists(InstallMarkerOf(path))) return false;
    TFileOptions options;
    options.lock = false;
    fs.Open(InstallMarkerOf(path), TFileAccess::Read, TDisposition::OpenExisting, options);
    return true;
}

// Removes the database, its journal and its gate, then the marker (last, so
// that a crash in between leaves the remains recognisable). Never throws.
void RemoveDatabaseFiles(const std::string& path) noexcept {
    try {
        IFileSystem& fs = FileSystem();
        fs.Remove(path);
        fs.Remove(JournalPathOf(ExpandFileName(path)));
        fs.Remove(GatePathOf(path));
        fs.SyncDirectoryOf(path);
        RemoveInstallMarker(path);
    } catch (...) {
    }
}

// The remains of an unfinished creation, removed unless a live process holds
// the database open (it may be creating it right now). True when the
// database file is gone afterwards.
bool ClearUnfinishedCreation(const std::string& path) {
    IFileSystem& fs = FileSystem();
    std::unique_ptr<IFile> claim;
    if (fs.Exists(path)) {
        TFileOptions options;
        options.lockWaitMs = 0;
        try {
            claim = fs.Open(path, TFileAccess::ReadWrite, TDisposition::OpenExisting, options);
        } catch (const EFileLocked&) {
            return false;
        }
    }
    RemoveDatabaseFiles(path);
    return !fs.Exists(path);
}

Ref<ICounter2> OpenExisting(const std::string& path, bool readOnly) {
    Ref<IVirtualStorage> storage = OpenCounterStorage(path, readOnly ? "readonly" : "open");
    if (!storage) return nullptr;
    return TCounter2::Open(storage->StartTransaction());
}

Ref<ICounter2> CreateNew(const std::string& path, const TSkinStreams& skins) {
    if (!IsCompleteSkin(skins)) throw ECounterStorageError("Non-complete default skin.");
    WriteInstallMarker(path);
    Ref<ICounter2> counter;
    try {
        Ref<IVirtualStorage> storage = OpenCounterStorage(path, "openorcreate");
        if (storage) {
            Ref<IStorageTransaction> tr = storage->StartTransaction();
            try {
                CreateCounterDatabase(tr, skins);
                tr->Commit();
            } catch (...) {
                try {
                    tr->Abort();
                } catch (...) {
                }
                throw;
            }
            counter = TCounter2::Open(storage->StartTransaction());
        }
    } catch (...) {
        counter = nullptr;  // closes the storage before its files go
        RemoveDatabaseFiles(path);
        throw;
    }
    if (!counter) {
        RemoveDatabaseFiles(path);
        return nullptr;
    }
    RemoveInstallMarker(path);
    return counter;
}

}  // namespace

bool CounterDatabaseExists(const std::string& fileName) {
    return FileSystem().Exists(fileName) && !HasInstallMarker(fileName);
}

std::string TryOpenCounter2(const std::string& fileName, Ref<ICounter2>& counter, const TSkinStreams& skins,
                            bool readOnly) {
    counter = nullptr;
    try {
        if (fileName.empty()) throw ECounterStorageError("Invalid Storage.");
        IFileSystem& fs = FileSystem();
        bool unfinished = HasInstallMarker(fileName);
        if (unfinished && (readOnly || !ClearUnfinishedCreation(fileName)))
            throw ECounterStorageError("its creation never finished (" + InstallMarkerOf(fileName) +
                                       " is there)");
        if (!unfinished && fs.Exists(fileName)) {
            counter = OpenExisting(fileName, readOnly);
        } else {
            // A missing database is never made by a read-only open: the
            // reader would find a hollow file that a later install takes for
            // a database.
            if (readOnly) throw ECounterStorageError("Invalid Storage.");
            counter = CreateNew(fileName, skins);
        }
        return counter ? "" : "the storage was not opened";
    } catch (const std::exception& e) {
        counter = nullptr;
        NoteError(kNoteOpenCounter);
        return e.what();
    } catch (...) {
        counter = nullptr;
        NoteError(kNoteOpenCounter);
        return "unknown error";
    }
}

void OpenCounter2(const std::string& fileName, Ref<ICounter2>& counter, const TSkinStreams& skins,
                  bool readOnly, const std::string& /*queryText*/) {
    TryOpenCounter2(fileName, counter, skins, readOnly);
}

}  // namespace tlvx
