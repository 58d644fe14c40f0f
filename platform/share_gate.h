// The gate in front of a file's share lock: a writer that waits for the
// readers of a file is served before the readers that come after it.
//
// The share lock alone (an flock, shared for readers, exclusive for a
// writer) lets a new reader in beside the readers that hold the file however
// long a writer has waited: the kernel checks a request against the locks
// held, not against the ones waited for. Readers whose pages overlap kept a
// database shared without a gap, and the hits queued behind them ran out of
// their wait and were lost (1,850 of 1,857 under 64 parallel hits beside 8
// looping readers of a long page).
//
// So an open that takes the share lock through the gate does, in order:
//   1. EnterShareGate: open "<file>-gate" and take its flock exclusively,
//      waiting in line;
//   2. take the file's own share lock, waiting in line;
//   3. LeaveShareGate (or the pass's destructor): close the gate.
// Everybody holds the gate only while waiting for the file. A writer that
// waits for readers therefore holds it, and a reader that arrives meanwhile
// queues at the gate, behind the writer; the kernel hands an exclusive
// flock on in the order the waiters asked for it, so the order of arrival
// is the order of service. A reader that finds the file shared by readers
// gets its lock at once and opens the gate for the next. Both waits share
// one ceiling, the open's lockCeilingMs; each gives up once the line of
// the file itself stops moving (platform/lock_wait.h).
//
// The gate file is empty and stays so: nobody writes, reads or truncates it,
// so no crash can leave anything in it for recovery to misread, and a file
// system that loses it loses nothing. A writer creates it beside the file
// when it is missing (a writer creates files beside the database anyway: the
// journal); a reader never creates a file. Without a gate file (a database
// that no writer has opened since the gate came, or one in a folder that
// the writer may not add to) an open goes straight to the share lock, and
// the order is the kernel's alone. The flock belongs to the open file
// description and the kernel drops it when the process dies: a killed
// process never leaves the gate shut. A gate that is there but is no
// regular file, or cannot be opened, fails the open with an error that
// names the gate.
#pragma once

#include <string>

#include "platform/lock_wait.h"

namespace tlvx {

// "<path>-gate".
std::string GatePathOf(const std::string& path);

// A pass through the gate of one file: holds the gate from EnterShareGate
// until LeaveShareGate or the pass goes. An empty pass holds nothing.
class TShareGatePass {
public:
    TShareGatePass() = default;
    explicit TShareGatePass(int fd) : fd_(fd) {}
    TShareGatePass(TShareGatePass&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    TShareGatePass& operator=(TShareGatePass&& other) noexcept;
    TShareGatePass(const TShareGatePass&) = delete;
    TShareGatePass& operator=(const TShareGatePass&) = delete;
    ~TShareGatePass() { LeaveShareGate(); }

    bool Held() const { return fd_ >= 0; }
    // Opens the gate for the next in line.
    void LeaveShareGate() noexcept;

private:
    int fd_ = -1;
};

// Takes the gate of the file at path, waiting in line while the line of
// the file (open as fileFd) moves, within patience. A writer creates the
// gate file when it is missing and it may; without one the pass is empty.
// Raises EFileLocked (of path) when the wait gives up and EPlatformError
// naming the gate when it cannot be opened or locked.
TShareGatePass EnterShareGate(const std::string& path, bool writer, const TLockPatience& patience, int fileFd);

}  // namespace tlvx
