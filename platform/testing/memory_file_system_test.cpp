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
// system keeps them; every open of one path shares its bytes.
TEST(MemoryFileSystem, DispositionsAccessAndSharedBytes) {
    TMemoryFileSystem fs;
    EXPECT_EQ(ErrnoOf([&] { fs.Open("/a", TFileAccess::Read, TDisposition::OpenExisting); }), ENOENT);
    EXPECT_FALSE(fs.Exists("/a"));

    auto w = fs.Open("/a", TFileAccess::ReadWrite, TDisposition::CreateNew);
    w->WriteAt("hello", 5, 2);
    EXPECT_EQ(fs.Contents("/a"), std::string("\0\0hello", 7));
    EXPECT_EQ(ErrnoOf([&] { fs.Open("/a", TFileAccess::ReadWrite, TDisposition::CreateNew); }), EEXIST);

    auto r = fs.Open("/a", TFileAccess::Read, TDisposition::OpenExisting);
    char buf[16] = {};
    EXPECT_EQ(r->ReadAt(buf, sizeof buf, 4), 3u);
    EXPECT_EQ(std::string(buf, 3), "llo");
    EXPECT_EQ(r->ReadAt(buf, sizeof buf, 99), 0u);
    EXPECT_EQ(ErrnoOf([&] { r->WriteAt("x", 1, 0); }), EBADF);
    EXPECT_EQ(ErrnoOf([&] { r->SetSize(0); }), EBADF);

    w->SetSize(3);
    EXPECT_EQ(r->Size(), 3u) << "a second open sees the first one's changes";
    fs.Open("/a", TFileAccess::ReadWrite, TDisposition::CreateAlways);
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

}  // namespace
}  // namespace tlvx
