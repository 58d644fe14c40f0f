#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/testing/file_text.h"
#include "platform/testing/temp_dir.h"

namespace tlvx {
namespace {

using test::ReadAll;
using test::WriteText;

std::unique_ptr<IFile> OpenRW(const std::string& path, TDisposition d) {
    return RealFileSystem().Open(path, TFileAccess::ReadWrite, d);
}

int OpenErrno(const std::string& path, TFileAccess a, TDisposition d) {
    try {
        RealFileSystem().Open(path, a, d);
    } catch (const EPlatformError& e) {
        return e.Errno();
    }
    return 0;
}

TEST(PosixFile, Dispositions) {
    TTestTempDir dir;
    const std::string path = dir.File("a.bin");
    EXPECT_EQ(OpenErrno(path, TFileAccess::ReadWrite, TDisposition::OpenExisting), ENOENT);
    EXPECT_EQ(OpenErrno(path, TFileAccess::Read, TDisposition::OpenExisting), ENOENT);
    EXPECT_FALSE(RealFileSystem().Exists(path));

    WriteText(*OpenRW(path, TDisposition::CreateNew), "hello");
    EXPECT_EQ(OpenErrno(path, TFileAccess::ReadWrite, TDisposition::CreateNew), EEXIST);
    {
        auto f = OpenRW(path, TDisposition::OpenAlways);  // keeps the content
        EXPECT_EQ(ReadAll(*f), "hello");
        WriteText(*f, "J", 0);
    }
    EXPECT_EQ(ReadAll(*RealFileSystem().Open(path, TFileAccess::Read, TDisposition::OpenExisting)),
              "Jello");
    EXPECT_EQ(OpenRW(path, TDisposition::CreateAlways)->Size(), 0u);  // truncates

    const std::string other = dir.File("b.bin");
    EXPECT_EQ(OpenRW(other, TDisposition::OpenAlways)->Size(), 0u);  // creates
    EXPECT_TRUE(RealFileSystem().Exists(other));
    EXPECT_EQ(OpenRW(dir.File("c.bin"), TDisposition::CreateAlways)->Size(), 0u);
    EXPECT_EQ(OpenErrno(dir.File("none/x"), TFileAccess::ReadWrite, TDisposition::OpenAlways),
              ENOENT);
    EXPECT_EQ(OpenErrno(path, TFileAccess::Read, TDisposition::CreateAlways), EINVAL);
}

TEST(PosixFile, PositionedIoSizeAndSync) {
    TTestTempDir dir;
    auto f = OpenRW(dir.File("io.bin"), TDisposition::CreateNew);
    WriteText(*f, "abc", 10);  // a gap reads back as zeros
    EXPECT_EQ(f->Size(), 13u);
    EXPECT_EQ(ReadAll(*f), std::string(10, '\0') + "abc");
    char buf[8];
    EXPECT_EQ(f->ReadAt(buf, 8, 11), 2u);  // short only at the end
    EXPECT_EQ(f->ReadAt(buf, 8, 100), 0u);
    f->SetSize(5000);
    EXPECT_EQ(f->Size(), 5000u);
    f->SetSize(11);
    EXPECT_EQ(ReadAll(*f), std::string(10, '\0') + "a");
    f->Sync();

    std::vector<uint8_t> big(3 << 20);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    f->WriteAt(big.data(), big.size(), 1);
    std::vector<uint8_t> back(big.size());
    ASSERT_EQ(f->ReadAt(back.data(), back.size(), 1), big.size());
    EXPECT_EQ(back, big);
}

TEST(PosixFile, ErrorsCarryErrnoAndSystemText) {
    TTestTempDir dir;
    const std::string path = dir.File("ro.bin");
    WriteText(*OpenRW(path, TDisposition::CreateNew), "x");
    auto f = RealFileSystem().Open(path, TFileAccess::Read, TDisposition::OpenExisting);
    try {
        WriteText(*f, "y");
        FAIL() << "write on a read-only open succeeded";
    } catch (const EPlatformError& e) {
        EXPECT_EQ(e.Errno(), EBADF);
        EXPECT_EQ(e.SystemText(), "Bad file descriptor");
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    }
    EXPECT_THROW(f->SetSize(0), EPlatformError);
    EXPECT_EQ(ReadAll(*f), "x");
}

// Only regular files open, and a named pipe is turned away without a wait
// for a writer (the test would hang); every refusal names the file.
TEST(PosixFile, OnlyRegularFilesOpenAndChecksThatCannotTellRaise) {
    TTestTempDir dir;
    const std::string pipe = dir.File("pipe"), folder = dir.File("folder");
    ASSERT_EQ(0, ::mkfifo(pipe.c_str(), 0666));
    ASSERT_EQ(0, ::mkdir(folder.c_str(), 0777));
    for (const std::string& path : {pipe, folder})
        for (TFileAccess access : {TFileAccess::Read, TFileAccess::ReadWrite}) {
            try {
                RealFileSystem().Open(path, access, TDisposition::OpenAlways);
                ADD_FAILURE() << path << " opened";
            } catch (const ENotRegularFile& e) {
                EXPECT_EQ(path, e.Path());
            } catch (const EPlatformError& e) {
                EXPECT_EQ(path, folder);  // a directory may refuse O_RDWR itself
                EXPECT_EQ(EISDIR, e.Errno());
            }
        }
    EXPECT_THROW(RealFileSystem().Open(pipe, TFileAccess::Read, TDisposition::OpenExisting), ENotRegularFile);

    // Missing, also under a file, is "no"; a loop of links is no answer.
    EXPECT_FALSE(RealFileSystem().Exists(dir.File("none")));
    EXPECT_FALSE(RealFileSystem().Exists(pipe + "/below"));
    ASSERT_EQ(0, ::symlink("loop-b", dir.File("loop-a").c_str()));
    ASSERT_EQ(0, ::symlink("loop-a", dir.File("loop-b").c_str()));
    try {
        RealFileSystem().Exists(dir.File("loop-a"));
        ADD_FAILURE() << "a loop of links was answered";
    } catch (const EPlatformError& e) {
        EXPECT_EQ(ELOOP, e.Errno());
        EXPECT_EQ(dir.File("loop-a"), e.Path());
    }
}

TEST(PosixFile, WriteThroughAndNoHintStillWork) {
    TTestTempDir dir;
    TFileOptions options;
    options.writeThrough = true;
    options.randomAccess = false;
    auto f = RealFileSystem().Open(dir.File("wt.bin"), TFileAccess::ReadWrite,
                                   TDisposition::CreateNew, options);
    WriteText(*f, "durable");
    EXPECT_EQ(ReadAll(*f), "durable");
}

TEST(FileSystemSeam, ExistsRemoveAndDirectorySync) {
    TTestTempDir dir;
    const std::string path = dir.File("r.bin");
    EXPECT_FALSE(FileSystem().Remove(path));
    OpenRW(path, TDisposition::CreateNew);
    EXPECT_TRUE(FileSystem().Exists(path));
    FileSystem().SyncDirectoryOf(path);
    EXPECT_TRUE(FileSystem().Remove(path));
    EXPECT_FALSE(FileSystem().Exists(path));
    EXPECT_THROW(FileSystem().SyncDirectoryOf(dir.File("missing/x")), EPlatformError);
    EXPECT_EQ(&FileSystem(), &RealFileSystem());
}

TEST(FileSystemSeam, ExpandFileNameIsLexical) {
    EXPECT_EQ(ExpandFileName("/a/b/../c/./d"), "/a/c/d");
    EXPECT_EQ(ExpandFileName("/a//b/"), "/a/b/");
    const std::string cwd = std::filesystem::current_path().string();
    EXPECT_EQ(ExpandFileName("x/../y.orv"), cwd + "/y.orv");
    EXPECT_EQ(ExpandFileName("not-there/z.orv"), cwd + "/not-there/z.orv");
}

}  // namespace
}  // namespace tlvx
