// The crash matrix of two processes and a power loss, over TFaultFileSystem.
//
// A process (first) is killed at each of its writes, syncs, truncates and
// directory syncs in turn: what it wrote stays in the page cache, visible but
// not on disk. Then one of the processes that may come next runs on the same
// machine over those files, and the power fails at each of its writes, syncs,
// truncates and directory syncs in turn, and once more after it has ended;
// each power loss drops the pending changes, or tears them. After every case
// the files are checked as the following process would find them.
//
// Every case starts from the same files (restore) and must run the same way
// each time: fix the clock, the GUID source and anything else that could
// differ between runs, so that the Nth write is always the same write.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/testing/fault_file_system.h"

namespace tlvx {

// Where a matrix best keeps its files: a memory file system when there is
// one (the simulation never needs the real disk, and a matrix rewrites its
// files thousands of times), else "" for the system's temporary directory.
std::string CrashMatrixScratchBase();

struct TCrashCase {
    TFaultOp killOp = TFaultOp::Write;
    uint64_t killAt = 0;  // the first process was killed at its Nth operation of kind killOp
    std::string next;     // the process that came next
    TFaultOp op = TFaultOp::Write;
    uint64_t at = 0;      // the power failed at next's Nth operation of kind op; 0: after it ended
    TCrashMode mode = TCrashMode::Drop;
    uint32_t seed = 0;
    // The next process ran to its end, and what escaped it (empty: nothing).
    bool nextEnded = false;
    std::string nextError;

    std::string Describe() const;
};

class TCrashMatrix {
public:
    explicit TCrashMatrix(TFaultFileSystem& fs) : fs_(fs) {}

    // Puts the files back as they were before the first process. Runs with
    // the real file system installed.
    std::function<void()> restore;
    // The process that is killed; runs over the fault file system. What it
    // throws once killed is ignored.
    std::function<void()> first;
    // A process that may come next; each is tried on its own.
    void AddNext(std::string name, std::function<void()> run);
    // After each power loss, with the real file system installed: reopens
    // and checks. Returning false stops the matrix.
    std::function<bool(const TCrashCase&)> check;

    // Where the first process is killed.
    std::vector<TFaultOp> killPoints = {TFaultOp::Write, TFaultOp::Sync, TFaultOp::Truncate,
                                        TFaultOp::DirectorySync};
    // Where the power fails in the next process, by mode. A drop leaves the
    // same disk at every write and truncate between two syncs, so it is tried
    // at the syncs alone (for files opened write-through, add the writes).
    std::vector<TFaultOp> dropPoints = {TFaultOp::Sync, TFaultOp::DirectorySync};
    std::vector<TFaultOp> tearPoints = {TFaultOp::Write, TFaultOp::Sync, TFaultOp::Truncate,
                                        TFaultOp::DirectorySync};
    // Of a longer run of one kind, this many points are tried, evenly spread
    // and shifted with each kill point, so that the matrix as a whole still
    // reaches every one (0: all).
    uint64_t maxPointsPerKind = 0;

    struct TStats {
        uint64_t killPoints = 0;  // of the kinds in killPoints
        uint64_t cases = 0;
        bool stopped = false;  // check returned false, or a kill point was never reached
    };
    TStats Run();

private:
    // One case; the next process's operation counts when it ran to its end.
    bool RunCase(TCrashCase c, const std::function<void()>& next, uint64_t* counts);
    // The cases after one kill point with one next process.
    bool RunAfterKill(TFaultOp killOp, uint64_t killAt, uint64_t shift, const std::string& name,
                      const std::function<void()>& next, TStats& stats);

    TFaultFileSystem& fs_;
    std::vector<std::pair<std::string, std::function<void()>>> nexts_;
};

}  // namespace tlvx
