// A file system for tests that fails chosen operations and simulates crashes:
// a process that dies, and a machine that loses its power.
//
// It wraps a base file system (the real one unless another is given) and
// keeps no bytes of its own: install it with SetFileSystem(&fs) and every
// operation passes through to the base, whose files still take its share
// locks. Over the real one, files are real files in a real directory; over a
// TMemoryFileSystem the same simulation runs without disk traffic. The base's
// files play the page cache: they show every change at once. What the disk
// holds is kept here: per file, the changes no sync has covered yet; per
// directory, the entries created or removed since the directory was last
// synced. Syncs are not passed on to the base: the simulation alone decides
// what a power loss keeps.
//
// Counting. Every write (IFile::WriteAt), sync (IFile::Sync), truncate
// (IFile::SetSize) and directory sync (SyncDirectoryOf) of a live process is
// counted per kind, including the ones that are then failed or crashed.
// Count(kind) after a clean run of a scenario tells a test how many crash
// points of that kind there are; "the Nth from now" below means the Nth such
// operation after the call.
//
// Failures. FailAt(kind, n) makes the Nth operation of that kind from now
// raise EPlatformError with EIO without touching the file (with andAfter, every
// later one too, until Reset). Nothing else changes: the code under test is
// expected to report the error and keep the file usable.
//
// Pending changes. A write or truncate is pending until a sync of its own file
// (by any process, through any open of it: the page cache is shared) or a
// write through a write-through open of it. Opening with CreateAlways cuts an
// existing file to nothing: that is pending too. A file's creation or removal
// is pending until a directory sync of its directory. Pending changes outlive
// the closing of the file and the end of the process that made them.
//
// Crashes. A crash, at a chosen operation (CrashAt) or now (Crash), ends the
// "process": every file opened through this file system is closed (its locks
// released) and stays dead: writes, truncates and syncs are silent no-ops,
// reads return nothing and sizes are 0; Open throws ESimulatedCrash until
// Restart or Reset. The operation at the crash point is not carried out and
// throws ESimulatedCrash. What the disk keeps depends on the mode:
//   - Kill:  the process dies, the machine runs on. Every pending change
//            stays visible and stays pending: a later power loss, after
//            Restart, can still lose it.
//   - Apply: as Kill, and then every pending change reaches the disk.
//   - Drop:  the power fails. Every pending change is lost: each file gets the
//            bytes and size of its last sync, each directory the entries of its
//            last directory sync (a file created since is gone, a file
//            removed since is back with the bytes of its last sync).
//   - Tear:  the power fails and a seeded random subset of the pending
//            changes had reached the disk: every directory entry change and
//            every write or truncate (whole operations, in their order) either
//            landed or not; a write that is the crash point lands with its
//            first half only.
// A test catches ESimulatedCrash at top level (or checks Crashed(), since code
// under test may swallow it, e.g. in a destructor), destroys its objects, and
// calls Restart() to run the next process on the same machine or Reset() to
// start afresh; then it reopens the files to check what survived.
//
// Simplifications: a file written after its own removal keeps only the bytes
// it had at the removal, should a power loss bring its name back. There is no
// rename. All access to the files must go through this object between Resets.
// Single-threaded.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/file.h"

namespace tlvx {

enum class TFaultOp { Write, Sync, Truncate, DirectorySync };
constexpr int kFaultOpKinds = 4;
enum class TCrashMode { Apply, Drop, Tear, Kill };

// Deliberately not a std::exception: handlers for real errors must not take it.
class ESimulatedCrash {
public:
    const char* what() const noexcept { return "Simulated crash"; }
};

struct TFaultCore;

class TFaultFileSystem : public IFileSystem {
public:
    // base must outlive this object.
    explicit TFaultFileSystem(IFileSystem& base = RealFileSystem());
    ~TFaultFileSystem() override;
    TFaultFileSystem(const TFaultFileSystem&) = delete;
    TFaultFileSystem& operator=(const TFaultFileSystem&) = delete;

    std::unique_ptr<IFile> Open(const std::string& path, TFileAccess access,
                                TDisposition disposition,
                                const TFileOptions& options = {}) override;
    bool Exists(const std::string& path) override;
    bool Remove(const std::string& path) override;
    void SyncDirectoryOf(const std::string& path) override;

    // Operations of this kind since the last Restart or Reset.
    uint64_t Count(TFaultOp op) const;
    // n >= 1; the Nth operation of this kind from now fails with EIO.
    void FailAt(TFaultOp op, uint64_t n, bool andAfter = false);
    // n >= 1; the Nth operation of this kind from now is the crash point.
    void CrashAt(TFaultOp op, uint64_t n, TCrashMode mode, uint32_t seed = 0);
    // Crashes now (throws nothing); does nothing once crashed.
    void Crash(TCrashMode mode, uint32_t seed = 0);
    bool Crashed() const;
    // The next process on the same machine: ends the crashed state, closes
    // (and kills) every file still open, clears counts and plans. Pending
    // changes stay pending.
    void Restart();
    // As Restart, and everything on disk now counts as synced: the next
    // opens start afresh.
    void Reset();

private:
    std::shared_ptr<TFaultCore> core_;
};

}  // namespace tlvx
