// The share rule between processes (fork) and between opens of one process.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/file.h"
#include "platform/share_gate.h"
#include "platform/testing/proc_locks.h"
#include "platform/testing/temp_dir.h"

namespace tlvx {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

TFileOptions Wait(int ms) {
    TFileOptions o;
    o.lockWaitMs = ms;
    return o;
}

std::unique_ptr<IFile> Open(const std::string& path, TFileAccess access, int waitMs = 300,
                            TDisposition d = TDisposition::OpenAlways) {
    return RealFileSystem().Open(path, access, d, Wait(waitMs));
}

// A child process that opens the file, reports that it holds the lock, then
// either holds it until killed or closes it after holdMs and lingers.
class TLockHolder {
public:
    TLockHolder(const std::string& path, TFileAccess access, int holdMs = -1) {
        int fds[2];
        if (pipe(fds) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ < 0) throw std::runtime_error("fork");
        if (pid_ == 0) {
            close(fds[0]);
            char ok = 'n';
            try {
                auto f = Open(path, access, 0);
                ok = 'y';
                if (write(fds[1], &ok, 1) != 1) _exit(2);
                if (holdMs < 0) pause();
                usleep(static_cast<useconds_t>(holdMs) * 1000);
            } catch (...) {
                if (write(fds[1], &ok, 1) != 1) _exit(2);
                _exit(1);
            }
            pause();  // lock released, stay alive until killed
            _exit(0);
        }
        close(fds[1]);
        char ok = 0;
        ssize_t n = read(fds[0], &ok, 1);
        close(fds[0]);
        held_ = n == 1 && ok == 'y';
    }
    ~TLockHolder() { Kill(); }

    bool Held() const { return held_; }
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};

// Opens and reports how long the refusal took; -1 when the open succeeded.
long RefusedAfterMs(const std::string& path, TFileAccess access, int waitMs,
                    TDisposition d = TDisposition::OpenAlways) {
    auto start = steady_clock::now();
    try {
        Open(path, access, waitMs, d);
    } catch (const EFileLocked& e) {
        EXPECT_EQ(e.Errno(), EWOULDBLOCK);
        return std::chrono::duration_cast<milliseconds>(steady_clock::now() - start).count();
    }
    return -1;
}

TEST(ShareLock, WriterExcludesWritersAndReadersAfterBoundedWait) {
    TTestTempDir dir;
    const std::string path = dir.File("db.orv");
    TLockHolder writer(path, TFileAccess::ReadWrite);
    ASSERT_TRUE(writer.Held());
    EXPECT_GE(RefusedAfterMs(path, TFileAccess::ReadWrite, 300), 300);
    EXPECT_GE(RefusedAfterMs(path, TFileAccess::Read, 300), 300);
    EXPECT_GE(RefusedAfterMs(path, TFileAccess::Read, 0), 0);  // no wait: one try
}

TEST(ShareLock, ReaderExcludesWriterButAdmitsReaders) {
    TTestTempDir dir;
    const std::string path = dir.File("db.orv");
    TLockHolder reader(path, TFileAccess::Read);
    ASSERT_TRUE(reader.Held());
    EXPECT_GE(RefusedAfterMs(path, TFileAccess::ReadWrite, 300), 300);
    auto a = Open(path, TFileAccess::Read);
    auto b = Open(path, TFileAccess::Read);
    EXPECT_EQ(a->Size(), 0u);
}

TEST(ShareLock, LockHeldShorterThanTheBoundIsWaitedOut) {
    TTestTempDir dir;
    const std::string path = dir.File("db.orv");
    TLockHolder writer(path, TFileAccess::ReadWrite, 150);
    ASSERT_TRUE(writer.Held());
    auto f = Open(path, TFileAccess::ReadWrite, 20000);
    EXPECT_EQ(f->Size(), 0u);
}

TEST(ShareLock, DeadHoldersLockIsReleased) {
    TTestTempDir dir;
    const std::string path = dir.File("db.orv");
    TLockHolder writer(path, TFileAccess::ReadWrite);
    ASSERT_TRUE(writer.Held());
    writer.Kill();
    EXPECT_NO_THROW(Open(path, TFileAccess::ReadWrite, 0));
}

TEST(ShareLock, RefusedCreateAlwaysLeavesTheHoldersBytes) {
    TTestTempDir dir;
    const std::string path = dir.File("db.orv");
    Open(path, TFileAccess::ReadWrite)->WriteAt("keep", 4, 0);
    {
        TLockHolder writer(path, TFileAccess::Read);
        ASSERT_TRUE(writer.Held());
        EXPECT_GE(RefusedAfterMs(path, TFileAccess::ReadWrite, 50, TDisposition::CreateAlways), 50);
    }
    EXPECT_EQ(Open(path, TFileAccess::Read)->Size(), 4u);
}

TEST(ShareLock, OpensInOneProcessConflictToo) {
    TTestTempDir dir;
    const std::string path = dir.File("db.orv");
    {
        auto w = Open(path, TFileAccess::ReadWrite);
        EXPECT_GE(RefusedAfterMs(path, TFileAccess::ReadWrite, 30), 30);
        EXPECT_GE(RefusedAfterMs(path, TFileAccess::Read, 30), 30);
    }
    {
        auto r1 = Open(path, TFileAccess::Read);
        auto r2 = Open(path, TFileAccess::Read);
        EXPECT_GE(RefusedAfterMs(path, TFileAccess::ReadWrite, 30), 30);
    }
    EXPECT_NO_THROW(Open(path, TFileAccess::ReadWrite, 0));  // closing released them
    // Without the share rule nothing conflicts.
    TFileOptions unlocked;
    unlocked.lock = false;
    auto w = Open(path, TFileAccess::ReadWrite);
    EXPECT_NO_THROW(RealFileSystem().Open(path, TFileAccess::ReadWrite, TDisposition::OpenExisting,
                                          unlocked));
}

// A child that waits for the exclusive lock, then writes its number to the
// pipe and holds the lock a moment (holdMs).
pid_t StartWaiter(const std::string& path, char mark, int pipeOut,
                  TFileAccess access = TFileAccess::ReadWrite, bool gate = false, int holdMs = 5) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    try {
        TFileOptions options = Wait(20000);
        options.gate = gate;
        auto f = RealFileSystem().Open(path, access, TDisposition::OpenAlways, options);
        char c = mark;
        if (write(pipeOut, &c, 1) != 1) _exit(2);
        usleep(useconds_t(holdMs) * 1000);
    } catch (...) {
        _exit(1);
    }
    _exit(0);
}

// What the waiters wrote to the pipe, once every one has ended well.
std::string OrderOfService(int fds[2], const std::vector<pid_t>& waiters) {
    close(fds[1]);
    std::string order;
    char c;
    while (read(fds[0], &c, 1) == 1) order += c;
    close(fds[0]);
    for (pid_t pid : waiters) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    return order;
}

// A file, and a pipe on which waiters report that they got its lock.
class ShareLockQueue : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0, pipe(fds_)); }
    void TearDown() override {
        for (int fd : fds_)
            if (fd >= 0) close(fd);
    }
    pid_t Waiter(char mark, TFileAccess access = TFileAccess::ReadWrite, bool gate = false, int holdMs = 5) {
        waiters_.push_back(StartWaiter(path_, mark, fds_[1], access, gate, holdMs));
        return waiters_.back();
    }
    std::string Order() {
        const std::string order = OrderOfService(fds_, waiters_);
        fds_[0] = fds_[1] = -1;
        return order;
    }
    // The mark of the first waiter to get the lock, once it has it.
    std::string FirstServed() {
        pollfd ready{fds_[0], POLLIN, 0};
        char mark;
        if (::poll(&ready, 1, 20000) != 1 || ::read(fds_[0], &mark, 1) != 1) return "";
        return std::string(1, mark);
    }
    static TFileOptions Gated() {
        TFileOptions options = Wait(0);
        options.gate = true;
        return options;
    }

    TTestTempDir dir_;
    const std::string path_ = dir_.File("db.orv");
    int fds_[2] = {-1, -1};
    std::vector<pid_t> waiters_;
};

TEST_F(ShareLockQueue, WaitersGetTheLockInTheOrderTheyArrived) {
    TLockHolder holder(path_, TFileAccess::ReadWrite);
    ASSERT_TRUE(holder.Held());
    constexpr int kWaiters = 6;
    for (int i = 0; i < kWaiters; ++i) {
        // The next one arrives only once this one is in the queue (a busy
        // machine may take a while to start it).
        ASSERT_TRUE(test::WaitUntilInLine(path_, Waiter(char('0' + i))));
    }
    holder.Kill();
    EXPECT_EQ("012345", Order());
}

// A line of six holds of 500 ms: an open that waits in it gives up at its
// ceiling, however the line moves; one with no ceiling to speak of waits
// twice its bound of 1.5 s without a change, because the line never stands
// still that long.
TEST_F(ShareLockQueue, AWaitLastsWhileTheLineMovesUpToItsCeiling) {
    TLockHolder holder(path_, TFileAccess::ReadWrite);
    ASSERT_TRUE(holder.Held());
    constexpr int kWaiters = 6;
    for (int i = 0; i < kWaiters; ++i) {
        ASSERT_TRUE(test::WaitUntilInLine(path_, Waiter(char('0' + i), TFileAccess::ReadWrite, false, 500)));
    }
    // Both opens join before the line moves: one that came at a handoff,
    // between a holder's release and the next one's waking, could find the
    // lock free and take it ahead of the line.
    struct TWait {
        std::string reason;
        steady_clock::duration after{};
    };
    auto wait = [&](TWait& result, int ceilingMs) {
        TFileOptions options = Wait(1500);
        options.lockCeilingMs = ceilingMs;
        const auto start = steady_clock::now();
        try {
            RealFileSystem().Open(path_, TFileAccess::ReadWrite, TDisposition::OpenExisting, options);
        } catch (const EFileLocked& e) {
            result.reason = e.SystemText();
        }
        result.after = steady_clock::now() - start;
    };
    TWait patient, hasty;
    std::thread patientThread(wait, std::ref(patient), 60000);
    EXPECT_TRUE(test::WaitUntilInLine(path_, ::getpid()));  // the threads must be joined either way
    std::thread hastyThread(wait, std::ref(hasty), 1000);
    EXPECT_TRUE(test::WaitUntilInLine(path_, ::getpid(), 2));
    holder.Kill();  // the line starts to move
    hastyThread.join();
    patientThread.join();
    EXPECT_NE(hasty.reason.find("after 1000 ms"), std::string::npos) << hasty.reason;
    EXPECT_GE(hasty.after, milliseconds(1000));
    EXPECT_EQ(patient.reason, "");
    EXPECT_GE(patient.after, milliseconds(3000));
    EXPECT_EQ("012345", Order());
}

TEST_F(ShareLockQueue, GateLetsAWaitingWriterInBeforeALaterReader) {
    Open(path_, TFileAccess::ReadWrite);
    // A reader makes no file; a writer makes the gate.
    RealFileSystem().Open(path_, TFileAccess::Read, TDisposition::OpenExisting, Gated());
    EXPECT_FALSE(std::filesystem::exists(GatePathOf(path_)));
    RealFileSystem().Open(path_, TFileAccess::ReadWrite, TDisposition::OpenExisting, Gated());
    EXPECT_TRUE(std::filesystem::exists(GatePathOf(path_)));

    TLockHolder reader(path_, TFileAccess::Read);
    ASSERT_TRUE(reader.Held());
    // The writer waits for the reader, holding the gate; a reader that comes
    // now waits at the gate, where it would have joined the first reader.
    ASSERT_TRUE(test::WaitUntilInLine(path_, Waiter('W', TFileAccess::ReadWrite, true)));
    ASSERT_TRUE(test::WaitUntilInLine(GatePathOf(path_), Waiter('R', TFileAccess::Read, true)));
    reader.Kill();
    EXPECT_EQ("WR", Order());
}

TEST_F(ShareLockQueue, AGateHolderThatDiesLeavesTheGateOpen) {
    TLockHolder reader(path_, TFileAccess::Read);
    ASSERT_TRUE(reader.Held());
    const pid_t writer = Waiter('W', TFileAccess::ReadWrite, true);
    ASSERT_TRUE(test::WaitUntilInLine(path_, writer));
    EXPECT_THROW(RealFileSystem().Open(path_, TFileAccess::Read, TDisposition::OpenExisting, Gated()),
                 EFileLocked);
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    waiters_.clear();
    EXPECT_NO_THROW(RealFileSystem().Open(path_, TFileAccess::Read, TDisposition::OpenExisting, Gated()));
}

TEST(ShareLock, WaitInLineEndsAtTheDeadline) {
    TTestTempDir dir;
    const std::string path = dir.File("db.orv");
    TLockHolder holder(path, TFileAccess::ReadWrite);
    ASSERT_TRUE(holder.Held());
    // Several waiters of one process, each on its own thread and deadline.
    std::vector<long> refused(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < refused.size(); ++i)
        threads.emplace_back([&, i] {
            refused[i] = RefusedAfterMs(path, TFileAccess::ReadWrite, int(50 + 50 * i));
        });
    for (auto& t : threads) t.join();
    for (size_t i = 0; i < refused.size(); ++i) {
        EXPECT_GE(refused[i], long(50 + 50 * i));
        EXPECT_LT(refused[i], long(50 + 50 * i) + 1500);  // not stuck in the kernel
    }
}

TEST(ShareLock, DefaultBoundIsThreeSecondsWithoutProgressAndThirtyInAll) {
    EXPECT_EQ(TFileOptions{}.lockWaitMs, 3000);
    EXPECT_EQ(TFileOptions{}.lockCeilingMs, 30000);
    EXPECT_TRUE(TFileOptions{}.lock);
}

}  // namespace
}  // namespace tlvx
