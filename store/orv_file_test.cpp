#include "store/orv_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "platform/byte_codec.h"
#include "platform/testing/fault_file_system.h"
#include "store/crc32.h"
#include "store/errors.h"
#include "store/testing/store_env.h"

namespace tlvx {
namespace {

using test::kClassA;
using test::kClassB;
using test::ReadFileBytes;
using test::WriteFileBytes;

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// Runs f and returns the code of the EQmzError it raised (0 if none).
template <class F>
int32_t ErrorCodeOf(F f, std::string* message = nullptr) {
    try {
        f();
    } catch (const EQmzError& e) {
        if (message) *message = e.what();
        return e.ErrorCode();
    }
    return 0;
}

class OrvFileTest : public ::testing::Test {
protected:
    test::TStoreTestEnv env;
    std::string path = env.dir.File("s.orv");

    void CreateStore() { TOrvFile f(path, false, {kClassA}, omCreate); }

    // Changes header bytes of the store at path; with fixCrc the CRC matches.
    void Patch(size_t offset, std::vector<uint8_t> bytes, bool fixCrc = true) {
        auto file = ReadFileBytes(path);
        std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<ptrdiff_t>(offset));
        if (fixCrc) PutU32(&file[124], Crc32(file.data(), 124));
        WriteFileBytes(path, file);
    }

    int32_t OpenCode(std::vector<TGUID> classes, TOpenMode mode, std::string* message = nullptr) {
        return ErrorCodeOf([&] { TOrvFile f(path, false, classes, mode); }, message);
    }
};

TEST_F(OrvFileTest, NewStoreHasGoldenHeaderAndReopenLeavesItUntouched) {
    {
        TOrvFile f(path, false, {kClassA}, omCreate);
        EXPECT_TRUE(f.IsNew());
        EXPECT_EQ(f.PhysicalSize(), 128u);
        EXPECT_DOUBLE_EQ(f.GetCreated(), EncodeDateTime(2026, 12, 8, 13, 45, 30));
        EXPECT_EQ(f.GetCreated(), f.GetModified());
        EXPECT_EQ(f.FullPath(), path);
    }
    const auto golden = FromHex(
        "514d5a2d53544f52414745000000000000000000000000000000000000000000"
        "443322116655887799aabbccddeeff00a4a3a2a1b2b1c2c1d1d2e1e2e3e4e5e6"
        "7ac100001cb500007ac100001cb5000000000402040200018000000000000000"
        "0000000000000000000000000000000000000000000000000000000095bdaee5");
    EXPECT_EQ(ReadFileBytes(path), golden);

    env.clock.now += 3;  // a later close must not restamp an unchanged file
    for (TOpenMode mode : {omReadOnly, omOpen, omOpenOrCreate}) {
        TOrvFile f(path, false, {kClassA}, mode);
        EXPECT_FALSE(f.IsNew());
        uint8_t buf[16];
        f.ReadAt(buf, 16, 0);
    }
    EXPECT_EQ(ReadFileBytes(path), golden);
}

TEST_F(OrvFileTest, ModificationStampIsWrittenOnCloseAfterAChange) {
    CreateStore();
    env.clock.now = EncodeDateTime(2027, 1, 2, 3, 4, 5, 999);
    {
        TOrvFile f(path, false, {kClassA}, omOpen);
        f.SetSize(5000);
        EXPECT_EQ(f.PhysicalSize(), 8192u);
        f.WriteAt("abc", 3, 4000);
        f.SetSize(4096);
        EXPECT_EQ(f.PhysicalSize(), 4096u);
    }
    TOrvFile f(path, false, {}, omReadOnly);
    EXPECT_DOUBLE_EQ(f.GetModified(), EncodeDateTime(2027, 1, 2, 3, 4, 5));
    EXPECT_DOUBLE_EQ(f.GetCreated(), EncodeDateTime(2026, 12, 8, 13, 45, 30));
    EXPECT_EQ(f.LogicalSize(), 4096u);
    char buf[3];
    f.ReadAt(buf, 3, 4000);
    EXPECT_EQ(std::string(buf, 3), "abc");
    EXPECT_EQ(ErrorCodeOf([&] { f.WriteAt("x", 1, 200); }), ecAccessDenied);
    EXPECT_EQ(ErrorCodeOf([&] { f.Fill(10, 0, 200); }), ecAccessDenied);
    EXPECT_EQ(ErrorCodeOf([&] { f.ReadAt(buf, 3, 4095); }), ecFileIO);
}

TEST_F(OrvFileTest, CreationDispositionsAndClassCountChecks) {
    // omOpenOrCreate creates a missing file and an empty one; it opens a non-empty one.
    { TOrvFile f(path, false, {kClassA}, omOpenOrCreate); EXPECT_TRUE(f.IsNew()); }
    { TOrvFile f(path, false, {kClassA}, omOpenOrCreate); EXPECT_FALSE(f.IsNew()); }
    const std::string empty = env.dir.File("empty.orv");
    WriteFileBytes(empty, {});
    { TOrvFile f(empty, false, {kClassA}, omOpenOrCreate); EXPECT_TRUE(f.IsNew()); }
    EXPECT_EQ(ReadFileBytes(empty).size(), 128u);

    // Creation modes need exactly one class, checked before the file is touched.
    const std::string fresh = env.dir.File("fresh.orv");
    for (TOpenMode mode : {omOpenOrCreate, omCreate}) {
        EXPECT_EQ(ErrorCodeOf([&] { TOrvFile f(fresh, false, {kClassA, kClassB}, mode); }),
                  ecUnmatchedClass);
        EXPECT_EQ(ErrorCodeOf([&] { TOrvFile f(fresh, false, {}, mode); }), ecUnmatchedClass);
    }
    EXPECT_FALSE(FileSystem().Exists(fresh));

    std::string message;
    EXPECT_EQ(ErrorCodeOf([&] { TOrvFile f(fresh, false, {kClassA}, omOpen); }, &message), ecOpenFile);
    EXPECT_EQ(message, "Error opening file \"" + fresh + "\": No such file or directory");
    EXPECT_EQ(OpenCode({kClassA}, omCreate), ecOpenFile);  // create-new on an existing file
    EXPECT_EQ(OpenCode({kClassA}, TOpenMode(7)), ecOpenFile);  // other modes act as omCreate
}

TEST_F(OrvFileTest, OpenErrorMatrixInCheckOrder) {
    CreateStore();
    const auto good = ReadFileBytes(path);
    auto restore = [&] { WriteFileBytes(path, good); };

    EXPECT_EQ(OpenCode({}, omReadOnly), 0);  // read-only accepts any class
    EXPECT_EQ(OpenCode({}, omOpen), ecUnmatchedClass);
    EXPECT_EQ(OpenCode({kClassB}, omOpen), ecUnmatchedClass);
    EXPECT_EQ(OpenCode({kClassB, kClassA}, omOpen), 0);

    std::string message;
    WriteFileBytes(path, std::vector<uint8_t>(good.begin(), good.begin() + 100));
    EXPECT_EQ(OpenCode({kClassA}, omOpen, &message), ecInvalidFormat);
    EXPECT_EQ(message, "Invalid file format: \"" + path + "\" is not a valid Orv file");
    restore();
    Patch(0, {'q'});
    EXPECT_EQ(OpenCode({kClassA}, omReadOnly), ecInvalidFormat);
    restore();
    Patch(11, {'X'});  // signature longer than ours
    EXPECT_EQ(OpenCode({kClassA}, omReadOnly), ecInvalidFormat);

    restore();
    Patch(84, {0x05, 0x02});  // MinVersion 517
    EXPECT_EQ(OpenCode({kClassA}, omOpen, &message), ecUnsupportedVersion);
    EXPECT_EQ(message, path + ": Unsupported version of Orv file format");
    restore();
    Patch(82, {0x03, 0x02});  // MaxVersion 515
    EXPECT_EQ(OpenCode({kClassA}, omOpen), ecUnsupportedVersion);

    restore();
    Patch(100, {1}, false);
    EXPECT_EQ(OpenCode({kClassA}, omOpen, &message), ecHeaderCRC);
    EXPECT_EQ(message, path + ": File header CRC check has failed");
    // Class and version are checked before the CRC.
    EXPECT_EQ(OpenCode({kClassB}, omOpen), ecUnmatchedClass);
    Patch(84, {0x05, 0x02}, false);
    EXPECT_EQ(OpenCode({kClassA}, omOpen), ecUnsupportedVersion);

    restore();
    Patch(88, {0x00, 0x20});  // logical size 8192 in a 128-byte file
    EXPECT_EQ(OpenCode({kClassA}, omReadOnly, &message), ecFileDamaged);
    EXPECT_EQ(message, path + ": File damaged");
    Patch(80, {1});  // damage is found before the read-only mark
    EXPECT_EQ(OpenCode({kClassA}, omOpen), ecFileDamaged);
    restore();
    Patch(88, {0x40});  // logical size inside the header
    EXPECT_EQ(OpenCode({kClassA}, omOpen), ecFileDamaged);

    restore();
    Patch(80, {1});
    EXPECT_EQ(OpenCode({kClassA}, omOpen, &message), ecReadOnlyMarked);
    EXPECT_EQ(message, "\"" + path + "\" is marked for read access only");
    EXPECT_EQ(OpenCode({kClassA}, omReadOnly), 0);

    // A refused file is left exactly as it was.
    auto before = ReadFileBytes(path);
    OpenCode({kClassA}, omOpenOrCreate);
    EXPECT_EQ(ReadFileBytes(path), before);
}

TEST_F(OrvFileTest, AtomSizeAlignSettingAndManagerHook) {
    SetAtomSizeAlign(16);
    int made = 0;
    struct TManager : IDisconnectInternalObject {
        bool* connected;
        explicit TManager(bool* c) : connected(c) {}
        void Disconnect() override { *connected = false; }
    };
    bool connected = false;
    {
        TOrvFileOptions options;
        options.atomManagerFactory = [&](TOrvFile& file) {
            ++made;
            EXPECT_NE(file.SpaceAllocator(), nullptr);  // the allocator comes first
            connected = true;
            return MakeRef<TManager>(&connected);
        };
        TOrvFile f(path, false, {kClassA}, omCreate, options);
        EXPECT_EQ(f.AtomSizeAlign(), 16);
        EXPECT_TRUE(connected);
    }
    SetAtomSizeAlign(1);
    EXPECT_EQ(made, 1);
    EXPECT_FALSE(connected);
    Patch(87, {0});
    TOrvFile f(path, false, {kClassA}, omOpen);
    EXPECT_EQ(f.AtomSizeAlign(), 1);  // 0 on disk counts as 1
}

// Opens the store in a child process and keeps it open until told to close.
class TChildOpener {
public:
    TChildOpener(const std::string& path, TOpenMode mode) {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release[1]);  // else the child never sees the parent let go
            char c = 0;
            int rc = 0;
            try {
                TOrvFile f(path, false, {kClassA}, mode);
                c = 1;
                if (write(ready[1], &c, 1) != 1) rc = 2;
                if (read(release[0], &c, 1) != 1) rc = 3;
            } catch (...) {
                c = 0;
                rc = write(ready[1], &c, 1) == 1 ? 1 : 4;
            }
            _exit(rc);
        }
        close(ready[1]);
        close(release[0]);
        release_ = release[1];
        char c = 0;
        opened_ = read(ready[0], &c, 1) == 1 && c == 1;
        close(ready[0]);
    }
    ~TChildOpener() {
        close(release_);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    bool Opened() const { return opened_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool opened_ = false;
};

TEST_F(OrvFileTest, ShareRulesBetweenProcesses) {
    CreateStore();
    TOrvFileOptions quick;
    quick.lockWaitMs = 50;
    auto open = [&](TOpenMode mode) {
        return ErrorCodeOf([&] { TOrvFile f(path, false, {kClassA}, mode, quick); });
    };
    {
        TChildOpener writer(path, omOpen);
        ASSERT_TRUE(writer.Opened());
        EXPECT_EQ(open(omOpen), ecOpenFile);
        EXPECT_EQ(open(omReadOnly), ecOpenFile);
    }
    {
        TChildOpener reader(path, omReadOnly);
        ASSERT_TRUE(reader.Opened());
        EXPECT_EQ(open(omReadOnly), 0);
        std::string message;
        EXPECT_EQ(ErrorCodeOf([&] { TOrvFile f(path, false, {kClassA}, omOpenOrCreate, quick); }, &message),
                  ecOpenFile);
        EXPECT_EQ(message.rfind("Error opening file \"" + path + "\": ", 0), 0u) << message;
    }
    EXPECT_EQ(open(omOpen), 0);  // the children's locks went with them
}

TEST_F(OrvFileTest, FailedWritesSurfaceAsFileErrors) {
    CreateStore();
    TFaultFileSystem faults;
    SetFileSystem(&faults);
    {
        TOrvFile f(path, false, {kClassA}, omOpen);
        faults.FailAt(TFaultOp::Write, 1);
        std::string message;
        EXPECT_EQ(ErrorCodeOf([&] { f.WriteAt("abc", 3, 10); }, &message), ecFileIO);
        EXPECT_EQ(message, "File write error");
        faults.FailAt(TFaultOp::Write, 2);  // the second 1024-byte block of a fill
        EXPECT_EQ(ErrorCodeOf([&] { f.Fill(3000, 7, 128); }), ecFileIO);
        f.SetSize(200);
        f.WriteAt("xyz", 3, 150);
    }
    SetFileSystem(nullptr);
    TOrvFile f(path, false, {kClassA}, omReadOnly);
    char buf[3];
    f.ReadAt(buf, 3, 150);
    EXPECT_EQ(std::string(buf, 3), "xyz");
}

}  // namespace
}  // namespace tlvx
