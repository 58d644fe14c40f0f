#include "platform/whole_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/testing/temp_dir.h"

namespace tlvx {
namespace {

size_t FilesIn(const std::string& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

TEST(ReplaceFileAtomically, CreatesAndReplacesLeavingNothingElse) {
    TTestTempDir dir;
    const std::string path = dir.File("lang.gif");
    ASSERT_TRUE(ReplaceFileAtomically(path, "first"));
    EXPECT_EQ(ReadRegularFile(path, 100), "first");
    ASSERT_TRUE(ReplaceFileAtomically(path, std::string(100000, 'x')));
    EXPECT_EQ(ReadRegularFile(path, 200000), std::string(100000, 'x'));
    ASSERT_TRUE(ReplaceFileAtomically(path, ""));
    EXPECT_EQ(ReadRegularFile(path, 100), "");
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(ReplaceFileAtomically, FailureLeavesTheOldFileAndNoTemporary) {
    TTestTempDir dir;
    EXPECT_FALSE(ReplaceFileAtomically(dir.File("missing/lang.gif"), "x"));
    // The target is a directory: the rename fails after the write.
    const std::string target = dir.File("brw.gif");
    std::filesystem::create_directories(target + "/inside");
    EXPECT_FALSE(ReplaceFileAtomically(target, "x"));
    EXPECT_TRUE(std::filesystem::is_directory(target));
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

// Readers beside a writer that keeps replacing the file see one of the two
// contents whole, every time.
TEST(ReplaceFileAtomically, ReadersNeverSeeAMissingOrPartFile) {
    TTestTempDir dir;
    const std::string path = dir.File("lang.gif");
    const std::string a(30000, 'a'), b(50000, 'b');
    ASSERT_TRUE(ReplaceFileAtomically(path, a));
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        while (!stop) {
            const auto bytes = ReadRegularFile(path, 100000);
            if (!bytes || (*bytes != a && *bytes != b)) ++bad;
        }
    });
    for (int i = 0; i < 150; ++i) ASSERT_TRUE(ReplaceFileAtomically(path, i % 2 ? a : b));
    stop = true;
    reader.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

}  // namespace
}  // namespace tlvx
