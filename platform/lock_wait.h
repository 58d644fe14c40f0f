// Waiting for a file's share lock: in arrival order, for as long as the
// line moves.
#pragma once

#include <string>

namespace tlvx {

// How long a wait may last. It gives up once no request has been served
// for stallMs (the holder is stuck, or slower than any page should be), and
// after ceilingMs in all however the line moves, so that waiting processes
// cannot pile up without end. stallMs <= 0: one try, no wait.
struct TLockPatience {
    int stallMs = 3000;
    int ceilingMs = 30000;
};

// How a wait ended.
enum class TLockWaitEnd { Held, OneTry, Stalled, Ceiling, Failed };

struct TLockWaitResult {
    TLockWaitEnd end = TLockWaitEnd::Failed;
    int error = 0;  // errno of flock(2) when Failed
};

// Takes the flock share lock of fd (LOCK_SH or LOCK_EX in op). While it
// waits, the requests for the file of watchFd (the same file, or the file
// whose line a gate orders) tell whether the line moves
// (platform/lock_activity.h).
//
// The wait blocks in the kernel, which queues conflicting flock waiters
// behind one another and wakes them in the order they asked for the lock.
// It wakes the next one but does not hand the lock over: a request that
// comes before the woken one runs finds the lock free and takes it, and
// the woken one queues again.
// A signal to the waiting thread would end its place in that line (the
// kernel drops an interrupted waiter, and a new call queues at the end), so
// the line is watched from a second thread, which interrupts the wait only
// to give up. Polling with LOCK_NB instead (as this code once did, every
// 2 ms) let each release go to whichever poller woke first: under 32
// parallel hits 84 % of waiters were overtaken by later arrivals, the
// slowest ran out of their time and their hits were lost, and the pollers
// took CPU from the holder.
TLockWaitResult WaitForShareLock(int fd, int op, const TLockPatience& patience, int watchFd);

// Nothing once the lock is held. Otherwise raises EFileLocked of path
// (the file whose lock was wanted) with how the wait ended, or
// EPlatformError of lockPath (the file locked: path or its gate) for a
// failure of flock itself.
void RaiseUnlessHeld(const TLockWaitResult& result, const TLockPatience& patience, const std::string& path,
                     const std::string& lockPath);

}  // namespace tlvx
