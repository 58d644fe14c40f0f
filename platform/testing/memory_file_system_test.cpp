#include "platform/testing/memory_file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

namespace tlvx {
namespace {

int ErrnoOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EPlatformError& e) {
        return e.Errno();
    }
    return 0;
}

// The dispositions and access rules the store relies on, as the real file
// system keeps them; every open of one path shares its bytes (these opens
// take no share locks, so that they can stand side by side).
TEST(MemoryFileSystem, DispositionsAccessAndSharedBytes) {
    TMemoryFileSystem fs;
    TFileOptions unlocked;
    unlocked.lock = false;
    EXPECT_EQ(ErrnoOf([&] { fs.Open("/a", TFileAccess::Read, TDisposition::OpenExisting); }), ENOENT);
    EXPECT_FALSE(fs.Exists("/a"));

    auto w = fs.Open("/a", TFileAccess::ReadWrite, TDisposition::CreateNew, unlocked);
    w->WriteAt("hello", 5, 2);
    EXPECT_EQ(fs.Contents("/a"), std::string("\0\0hello", 7));
    EXPECT_EQ(ErrnoOf([&] { fs.Open("/a", TFileAccess::ReadWrite, TDisposition::CreateNew); }), EEXIST);

    auto r = fs.Open("/a", TFileAccess::Read, TDisposition::OpenExisting, unlocked);
    char buf[16] = {};
    EXPECT_EQ(r->ReadAt(buf, sizeof buf, 4), 3u);
    EXPECT_EQ(std::string(buf, 3), "llo");
    EXPECT_EQ(r->ReadAt(buf, sizeof buf, 99), 0u);
    EXPECT_EQ(ErrnoOf([&] { r->WriteAt("x", 1, 0); }), EBADF);
    EXPECT_EQ(ErrnoOf([&] { r->SetSize(0); }), EBADF);

    w->SetSize(3);
    EXPECT_EQ(r->Size(), 3u) << "a second open sees the first one's changes";
    fs.Open("/a", TFileAccess::ReadWrite, TDisposition::CreateAlways, unlocked);
    EXPECT_EQ(r->Size(), 0u);

    EXPECT_TRUE(fs.Remove("/a"));
    EXPECT_FALSE(fs.Remove("/a"));
    EXPECT_EQ(fs.Contents("/a"), "");
    fs.Open("/b", TFileAccess::ReadWrite, TDisposition::OpenAlways);
    EXPECT_TRUE(fs.Exists("/b"));
}

TEST(MemoryFileSystem, RefusesToGrowWithoutBoundLikeAFullDisk) {
    TMemoryFileSystem fs;
    auto f = fs.Open("/big", TFileAccess::ReadWrite, TDisposition::CreateNew);
    EXPECT_EQ(ErrnoOf([&] { f->WriteAt("x", 1, uint64_t(1) << 40); }), ENOSPC);
    EXPECT_EQ(ErrnoOf([&] { f->WriteAt("x", 1, ~uint64_t(0)); }), ENOSPC) << "position overflow";
    EXPECT_EQ(ErrnoOf([&] { f->SetSize(uint64_t(1) << 40); }), ENOSPC);
    EXPECT_EQ(f->Size(), 0u);
}

// The share rule of the real file system: readers beside readers only, the
// lock held by the open (not the name) until it is destroyed. Nobody else
// could release it, so a conflicting open fails at once.
TEST(MemoryFileSystem, OpensTakeTheShareLocks) {
    TMemoryFileSystem fs;
    auto locked = [&](TFileAccess access, bool lock = true) {
        TFileOptions o;
        o.lock = lock;
        try {
            fs.Open("/db", access, TDisposition::OpenAlways, o);
        } catch (const EFileLocked&) {
            return true;
        }
        return false;
    };
    {
        auto writer = fs.Open("/db", TFileAccess::ReadWrite, TDisposition::CreateNew);
        writer->WriteAt("kept", 4, 0);
        EXPECT_TRUE(locked(TFileAccess::Read));
        EXPECT_TRUE(locked(TFileAccess::ReadWrite));
        EXPECT_FALSE(locked(TFileAccess::ReadWrite, false));
        // A refused CreateAlways leaves the holder's bytes alone.
        EXPECT_THROW(fs.Open("/db", TFileAccess::ReadWrite, TDisposition::CreateAlways),
                     EFileLocked);
        EXPECT_EQ(fs.Contents("/db"), "kept");
    }
    auto r1 = fs.Open("/db", TFileAccess::Read, TDisposition::OpenExisting);
    EXPECT_FALSE(locked(TFileAccess::Read));
    EXPECT_TRUE(locked(TFileAccess::ReadWrite));
    // A removed file keeps its lock with its opens; the name is free.
    EXPECT_TRUE(fs.Remove("/db"));
    EXPECT_FALSE(locked(TFileAccess::ReadWrite));
    r1.reset();
    EXPECT_FALSE(locked(TFileAccess::ReadWrite));
}

TEST(MemoryFileSystem, RelativeNamesAreTheirFullPaths) {
    TMemoryFileSystem fs;
    fs.Open("rel.orv", TFileAccess::ReadWrite, TDisposition::CreateNew)->WriteAt("x", 1, 0);
    const std::string full = ExpandFileName("rel.orv");
    EXPECT_TRUE(fs.Exists(full));
    EXPECT_EQ(fs.Contents(full), "x");
    EXPECT_EQ(fs.Open(full, TFileAccess::Read, TDisposition::OpenExisting)->Path(), full);
    EXPECT_TRUE(fs.Remove("./rel.orv"));
}

TEST(MemoryFileSystem, ScopesNestAndPutBackTheOuterOne) {
    TMemoryFileSystemScope outer;
    {
        TMemoryFileSystemScope inner;
        EXPECT_EQ(&FileSystem(), &inner.Files());
    }
    EXPECT_EQ(&FileSystem(), &outer.Files());
}

}  // namespace
}  // namespace tlvx
