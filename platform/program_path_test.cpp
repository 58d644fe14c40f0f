#include "platform/program_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

namespace tlvx {
namespace {

TEST(ProgramPath, FromArgumentOrRunningFile) {
    EXPECT_EQ(ProgramPath("/usr/lib/cgi-bin/./tlvxcount"), "/usr/lib/cgi-bin/tlvxcount");
    EXPECT_EQ(ProgramDirectory("/usr/lib/cgi-bin/tlvxcount"), "/usr/lib/cgi-bin/");

    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(ProgramDirectory("./bin/prog"), std::string(cwd) + "/bin/");

    // A bare name: the file this process runs.
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    std::string self(exe, static_cast<size_t>(n));
    EXPECT_EQ(ProgramPath("tlvxcount"), self);
    EXPECT_EQ(ProgramDirectory("tlvxcount"), self.substr(0, self.rfind('/') + 1));
}

TEST(ProgramPath, BaseNameDropsDirectoryAndLastExtension) {
    EXPECT_EQ("tlvxstat", ProgramBaseName("/srv/cgi-bin/tlvxstat"));
    EXPECT_EQ("stat", ProgramBaseName("/w/stat.exe"));
    EXPECT_EQ("a.b", ProgramBaseName("a.b.cgi"));
    EXPECT_EQ(".hidden", ProgramBaseName("/x/.hidden"));
    EXPECT_EQ("", ProgramBaseName("/x/"));
}

}  // namespace
}  // namespace tlvx
