#include "webstat/access_list.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/file.h"
#include "platform/testing/temp_dir.h"

namespace tlvx {
namespace {

TEST(AccessList, SplitByDelimiter) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitByDelimiter("", ','), V{""});
    EXPECT_EQ(SplitByDelimiter("ann", ','), V{"ann"});
    EXPECT_EQ(SplitByDelimiter("a,b,", ','), (V{"a", "b", ""}));
    EXPECT_EQ(SplitByDelimiter(",", ','), (V{"", ""}));
    EXPECT_EQ(SplitByDelimiter("ann, bob", ','), (V{"ann", " bob"}));
}

// The file's lines: trimming by unsigned bytes keeps Cyrillic names whole.
TEST(AccessList, ParsingLines) {
    const std::string cyr = "\xC8\xE2\xE0\xED";  // a Windows-1251 name
    const TAccessList list = ParseAccessList(
        "# comment\r\n"
        "\r\n"
        "   7 ann,bob  \r\n"
        "7\n"
        "8   \n"
        "9\tann\n"
        "10 ann, bob,\n"
        "\t 11   " + cyr + "," + cyr + "\xFF\x01\n"
        "#12 carol\n"
        "13 x\r"
        "14 y");
    const std::vector<TAccessEntry> expected = {
        {"7", {"ann", "bob"}},
        {"10", {"ann", " bob", ""}},
        {"11", {cyr, cyr + "\xFF"}},
        {"13", {"x"}},
        {"14", {"y"}},
    };
    EXPECT_EQ(list.Entries, expected);
    EXPECT_FALSE(list.Unreadable);
}

// One decision table: the rules of the file, then (user, id, allowed).
TEST(AccessList, Decisions) {
    struct TRow {
        const char* File;
        const char* User;
        const char* Id;
        bool Allowed;
    };
    const TRow rows[] = {
        // No rules at all.
        {"", "ann", "7", true},
        {"# only a comment\n", "ann", "7", true},
        {"# only a comment\n", "", "7", true},
        // The first line for an id decides; later lines do not widen it.
        {"7 ann,bob\n7 carol\n", "ann", "7", true},
        {"7 ann,bob\n7 carol\n", "bob", "7", true},
        {"7 ann,bob\n7 carol\n", "carol", "7", false},
        {"7 ann,bob\n7 carol\n", "carol", "8", true},
        {"5 bob\n7 ann\n", "bob", "7", false},
        {"5 bob\n7 ann\n", "bob", "5", true},
        // Exact, case-sensitive comparisons.
        {"07 ann\n", "bob", "7", true},
        {"7 ann\n", "Ann", "7", false},
        {"7 ann, bob\n", "bob", "7", false},
        {"7 ann, bob\n", " bob", "7", true},
        // A trailing comma's empty name matches nobody.
        {"7 ann,\n", "", "7", false},
        // Lines without users are ignored.
        {"7\n7   \n", "ann", "7", true},
        // No id in the request: allowed whatever the file says.
        {"7 ann\n", "bob", "", true},
        {"7 ann\n", "", "", true},
        // No authenticated user where the id is guarded: refused.
        {"7 ann\n", "", "7", false},
        {"7 ann\n", "", "8", true},
    };
    for (const TRow& r : rows)
        EXPECT_EQ(CanUserSeeCounter(r.User, r.Id, ParseAccessList(r.File)), r.Allowed)
            << "file \"" << r.File << "\" user \"" << r.User << "\" id \"" << r.Id << "\"";
}

// A file system whose every open is refused, as for a file the server's user
// may not read.
class TNoReadFileSystem : public IFileSystem {
public:
    std::unique_ptr<IFile> Open(const std::string& path, TFileAccess, TDisposition, const TFileOptions&) override {
        throw EPlatformError("Cannot open \"" + path + "\"", EACCES);
    }
    bool Exists(const std::string&) override { return true; }
    bool Remove(const std::string&) override { return false; }
    void SyncDirectoryOf(const std::string&) override {}
};

TEST(AccessList, LoadingFiles) {
    TTestTempDir dir;
    const std::string file = dir.File(".tlvx2access");
    // Missing: everything allowed.
    TAccessList list = LoadAccessList(file);
    EXPECT_FALSE(list.Unreadable);
    EXPECT_TRUE(CanUserSeeCounter("", "7", list));

    std::ofstream(file, std::ios::binary) << "7 ann,bob\r\n7 carol\r\n";
    list = LoadAccessList(file);
    EXPECT_EQ(list.Entries.size(), 2u);
    EXPECT_TRUE(CanUserSeeCounter("bob", "7", list));
    EXPECT_FALSE(CanUserSeeCounter("carol", "7", list));

    // Present but unreadable: nobody gets in.
    TNoReadFileSystem noRead;
    SetFileSystem(&noRead);
    list = LoadAccessList(file);
    SetFileSystem(nullptr);
    EXPECT_TRUE(list.Unreadable);
    EXPECT_FALSE(CanUserSeeCounter("bob", "7", list));
    EXPECT_FALSE(CanUserSeeCounter("bob", "", list));

    const std::string directory = dir.File("as-directory");
    std::filesystem::create_directory(directory);
    EXPECT_TRUE(LoadAccessList(directory).Unreadable);

    std::ofstream(file, std::ios::binary | std::ios::trunc) << std::string(kMaxAccessListSize + 1, '#');
    EXPECT_TRUE(LoadAccessList(file).Unreadable);
}

}  // namespace
}  // namespace tlvx
