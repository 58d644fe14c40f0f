// A file system for tests that fails chosen operations and simulates crashes.
//
// Install it with SetFileSystem(&fs); every operation passes through to
// RealFileSystem(), so files are real files in a real directory and still take
// the real flock share locks.
//
// Counting. Every write (IFile::WriteAt), sync (IFile::Sync) and truncate
// (IFile::SetSize) that reaches a live file is counted per kind, including the
// ones that are then failed or crashed. Count(kind) after a clean run of a
// scenario tells a test how many crash points of that kind there are; "the
// Nth from now" below means the Nth such operation after the call.
//
// Failures. FailAt(kind, n) makes the Nth operation of that kind from now
// raise EPlatformError with EIO without touching the file (with andAfter, every
// later one too, until Reset). Nothing else changes: the code under test is
// expected to report the error and keep the file usable.
//
// Crashes. Per file (by full path, across closes and reopens, as a page cache
// would), the writes and truncates since the last Sync of that file are
// pending. A crash, either at a chosen operation (CrashAt) or now (Crash),
// settles every pending change of every file opened since the last Reset:
//   - Apply: all pending changes stay, as if everything had reached the disk;
//   - Drop:  the file's bytes and size are put back to what they were at its
//            last Sync (or at its open, when never synced);
//   - Tear:  back to the last Sync, then a random subset (seeded, whole
//            operations, in their original order) applied again; a write that
//            is the crash point itself lands with its first half only.
// The operation at the crash point is not carried out (except that half
// write) and throws ESimulatedCrash. From then on the "process" is gone: all
// files opened through this file system are closed (their locks released),
// their writes, truncates and syncs are silent no-ops, reads return nothing and
// sizes are 0, for good; Open throws ESimulatedCrash until Reset. A test
// catches ESimulatedCrash at top level (or checks Crashed(), since code under
// test may swallow it, e.g. in a destructor), calls Reset(), destroys its
// objects and reopens the files to check what survived.
//
// Simplifications: opening (creation, and the truncation of CreateAlways) and
// directory operations (Remove) are durable at once; a write through a
// write-through file makes that file's pending changes durable, as a Sync
// would. All access to the files must go through this object between Resets.
// Single-threaded.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/file.h"

namespace tlvx {

enum class TFaultOp { Write, Sync, Truncate };
enum class TCrashMode { Apply, Drop, Tear };

// Deliberately not a std::exception: handlers for real errors must not take it.
class ESimulatedCrash {
public:
    const char* what() const noexcept { return "Simulated crash"; }
};

struct TFaultCore;

class TFaultFileSystem : public IFileSystem {
public:
    TFaultFileSystem();
    ~TFaultFileSystem() override;
    TFaultFileSystem(const TFaultFileSystem&) = delete;
    TFaultFileSystem& operator=(const TFaultFileSystem&) = delete;

    std::unique_ptr<IFile> Open(const std::string& path, TFileAccess access,
                                TDisposition disposition,
                                const TFileOptions& options = {}) override;
    bool Exists(const std::string& path) override;
    bool Remove(const std::string& path) override;
    void SyncDirectoryOf(const std::string& path) override;

    // Operations of this kind that reached a live file since the last Reset.
    uint64_t Count(TFaultOp op) const;
    // n >= 1; the Nth operation of this kind from now fails with EIO.
    void FailAt(TFaultOp op, uint64_t n, bool andAfter = false);
    // n >= 1; the Nth operation of this kind from now is the crash point.
    void CrashAt(TFaultOp op, uint64_t n, TCrashMode mode, uint32_t seed = 0);
    // Crashes now (throws nothing).
    void Crash(TCrashMode mode, uint32_t seed = 0);
    bool Crashed() const;
    // Ends the crashed state, closes (and kills) every file still open, and
    // clears counts, plans and pending changes: the next opens start afresh.
    void Reset();

private:
    std::shared_ptr<TFaultCore> core_;
};

}  // namespace tlvx
