// What shows, without taking a lock and without writing a byte, that the
// requests for a file are being served: who holds its share lock now, and
// its size and modification time.
//
// A waiter compares two readings taken a while apart. The holders come from
// the kernel's table of file locks (/proc/locks): a reader that finished and
// a writer that let go both leave it, and the next in line appears, so any
// request served in between changes the reading, a reader's too, which
// writes nothing anywhere. Every commit changes the size or the
// modification time, which covers a table that names holders by process
// numbers this process cannot tell apart (another process namespace) or a
// system without the table.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tlvx {

struct TLockActivity {
    // "pid kind" of every lock granted on the file (waiters left out),
    // sorted.
    std::vector<std::string> holders;
    int64_t size = -1;
    int64_t modifiedNs = -1;

    bool operator==(const TLockActivity&) const = default;
};

// The file of the open descriptor fd as it stands now; fields that cannot
// be read stay at their defaults.
TLockActivity ReadLockActivity(int fd);

// The kernel's table of file locks, "" when it cannot be read.
std::string ReadLockTable();

// The locks on the file (device, inode) in the text of a lock table, each as
// "pid kind", granted ones and waiters apart, both sorted. A line reads
//   "1: FLOCK  ADVISORY  WRITE 2443 fd:01:131090 0 EOF"
// and a waiter's "1: -> FLOCK  ADVISORY  WRITE 2444 fd:01:131090 0 EOF".
struct TFileLocks {
    std::vector<std::string> holders;
    std::vector<std::string> waiters;

    bool operator==(const TFileLocks&) const = default;
};
TFileLocks LocksIn(std::string_view table, dev_t device, ino_t inode);

// The locks on the file (device, inode) once two readings of the table in a
// row agree on them. The kernel hands the table out a page at a time, each
// page found afresh by its position, so locks taken or let go elsewhere in
// between show an entry twice or hide one; a busy server's table runs to
// many pages.
TFileLocks ReadLocksOf(dev_t device, ino_t inode);

}  // namespace tlvx
