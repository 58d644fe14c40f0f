// Waiting for a file's share lock: in arrival order, up to a deadline.
#pragma once

namespace tlvx {

// Takes the flock share lock of fd (LOCK_SH or LOCK_EX in op), waiting at
// most waitMs for a conflicting holder to let go. Returns 0 once it is held,
// EWOULDBLOCK when the wait ran out, or another errno of flock(2).
//
// The wait blocks in the kernel, which queues conflicting flock waiters
// behind one another and hands the lock on in the order they asked for it;
// a one-shot timer interrupts the wait at the deadline. Polling with
// LOCK_NB instead (as this code once did, every 2 ms) let each release go to
// whichever poller woke first: under 32 parallel hits 84 % of waiters were
// overtaken by later arrivals, the slowest ran out of their 3 s and their
// hits were lost, and the pollers took CPU from the holder.
int WaitForShareLock(int fd, int op, int waitMs);

}  // namespace tlvx
