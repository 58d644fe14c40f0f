#include "counter/tlvx_log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "counter/tlvx_log_codes.h"
#include "platform/clock.h"
#include "platform/testing/fault_file_system.h"
#include "platform/testing/temp_dir.h"

namespace tlvx {
namespace {

std::string U16(uint16_t v) { return {char(v & 0xFF), char(v >> 8)}; }
std::string U32(uint32_t v) { return U16(uint16_t(v)) + U16(uint16_t(v >> 16)); }
std::string U8(uint8_t v) { return std::string(1, char(v)); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TGUID Guid(uint8_t seed) {
    uint8_t b[16];
    for (int i = 0; i < 16; ++i) b[i] = uint8_t(seed + i);
    return TGUID::FromBytes(b);
}
std::string GuidBytes(uint8_t seed) {
    auto a = Guid(seed).ToBytes();
    return std::string(a.begin(), a.end());
}

const char* const kIE6 = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
// 2026-12-08, day 46364 = 0xB51C. A literal: the date helpers' own
// constants are not ready during static initialisation.
constexpr double kDay = 46364;

struct THit {
    double When = kDay + 0.75;
    int64_t Client = 0x0A000001;
    int64_t Forwarded = -1;
    std::string Referrer = "yandex.ru";
    std::string URL = "http://site/news/a.html";
    std::string Node = "news.a";
    std::string Spare;
    uint8_t User = 1;
};

void Log(const std::string& path, const THit& h) {
    TTlvxLog log(path);
    log.AddHit(Guid(h.User), Guid(200), h.When, h.Client, h.Forwarded, h.Spare, h.Referrer, h.URL,
               h.Node, kIE6, 0, 0, 0);
    log.Close();
}

std::string FileHeader(int32_t pages, uint32_t first, uint32_t last) {
    return "TLVX2-BINARY-LOG" + U8(1) + U8(0) + U32(uint32_t(pages)) + U32(first) + U32(last) +
           std::string(16, '\0');
}
std::string PageHeader(uint16_t day, uint8_t count, uint32_t offset, uint32_t last,
                       uint32_t length) {
    return "TLVX2PAGE" + U16(day) + U16(1) + U8(count) + U16(uint16_t(offset + 20)) +
           U16(uint16_t(last)) + U16(uint16_t(length));
}

TEST(TlvxLog, GoldenBytesOfTwoHitsWithBackReferences) {
    TTestTempDir dir;
    const std::string path = dir.File("hits.log");
    Log(path, THit{});
    THit second;
    second.When = kDay + 0.25;  // 06:00
    second.URL = "HTTP://SITE/NEWS/b.html";
    second.Node = "NEWS.b";
    second.Forwarded = 0x01020304;
    Log(path, second);

    const std::string rec0 = U16(0x01EC) + U16(0) + U32(0x0A000001) + U32(0) + GuidBytes(1) +
                             U16(25000) + U8(255) + U16(9) + "yandex.ru" + U8(255) + U16(6) +
                             "news.a" + U8(255) + U16(23) + "http://site/news/a.html" + U8(0) +
                             U8(0x53) + U8(0);
    // Same client and user: indexes; same directory and parent: index and
    // rest; a bare host as referrer has no key, so no back-reference.
    const std::string rec1 = U16(0x00EE) + U16(0x00C5) + U8(0) + U32(0x01020304) + U8(0) +
                             U16(25000) + U8(255) + U16(9) + "yandex.ru" + U8(0) + U16(1) + "b" +
                             U8(0) + U16(6) + "b.html" + U8(0) + U8(0x53) + U8(0);
    ASSERT_EQ(rec0.size(), 80u);
    const uint32_t length = uint32_t(20 + rec0.size() + rec1.size());
    EXPECT_EQ(ReadFile(path), FileHeader(1, 46, 46) +
                                  PageHeader(0xB51C, 2, 46, uint32_t(66 + rec0.size()), length) +
                                  rec0 + rec1);
}

TEST(TlvxLog, PagesTurnAtTheRecordLimitAndAtANewDay) {
    TTestTempDir dir;
    const std::string path = dir.File("hits.log");
    THit h;
    h.URL = h.Node = h.Referrer = "";
    for (int i = 0; i < 255; ++i) {
        h.Client = 0x0A000000 + i % 3;
        Log(path, h);
    }
    std::string one = ReadFile(path);
    ASSERT_EQ(one.substr(0, 46), FileHeader(1, 46, 46));
    EXPECT_EQ(uint8_t(one[46 + 13]), 255);
    const uint32_t end1 = uint32_t(one.size());

    Log(path, h);  // the 256th of the day
    std::string two = ReadFile(path);
    EXPECT_EQ(two.substr(0, 46), FileHeader(2, 46, end1));
    EXPECT_EQ(two.substr(0, end1).substr(46), one.substr(46));  // first page untouched
    EXPECT_EQ(two.substr(end1, 20), PageHeader(0xB51C, 1, end1, end1 + 20, two.size() - end1));

    h.When = kDay + 1.1;  // next day, although the page has room
    Log(path, h);
    std::string three = ReadFile(path);
    EXPECT_EQ(three.substr(0, 46), FileHeader(3, 46, uint32_t(two.size())));
    EXPECT_EQ(three.substr(two.size() + 9, 2), U16(0xB51D));
    EXPECT_EQ(three.substr(two.size() + 13, 1), U8(1));
    // The client address refers back only inside its own page.
    EXPECT_EQ(three.substr(two.size() + 20 + 2, 2), U16(0));
}

TEST(TlvxLog, ShortFileIsNewDamagedOrForeignFilesAreLeftAlone) {
    TTestTempDir dir;
    const std::string path = dir.File("hits.log");
    WriteFile(path, "TLVX2");  // a creation cut short
    Log(path, THit{});
    EXPECT_EQ(ReadFile(path).substr(0, 46), FileHeader(1, 46, 46));

    const std::string foreign = std::string(100, 'x');
    WriteFile(path, foreign);
    try {
        TTlvxLog log(path);
        FAIL() << "opened a foreign file";
    } catch (const ETlvxLogError& e) {
        EXPECT_STREQ(e.what(), "Not a hit log file");
    }
    EXPECT_EQ(ReadFile(path), foreign);

    // A header whose last page lies beyond the end, and a page that ends early.
    for (const std::string& damaged :
         {FileHeader(1, 46, 4000), FileHeader(1, 46, 20),
          FileHeader(1, 46, 46) + PageHeader(0xB51C, 3, 46, 66, 90) + std::string(10, '\0'),
          FileHeader(1, 46, 46) + PageHeader(0xB51C, 1, 46, 66, 90) + U16(1) + U16(1) + U8(5) +
              std::string(40, '\0')}) {
        WriteFile(path, damaged);
        TTlvxLog log(path);
        EXPECT_THROW(log.AddHit(Guid(1), Guid(2), kDay, 1, 0, "", "", "", "", "", 0, 0, 0),
                     ETlvxLogError);
        log.Close();
        EXPECT_EQ(ReadFile(path), damaged);
    }

    try {
        TTlvxLog log(dir.File("no/such/dir/hits.log"));
        FAIL();
    } catch (const ETlvxLogError& e) {
        EXPECT_STREQ(e.what(), "Cann't open file!");
        EXPECT_FALSE(e.Detail().empty());
    }
}

TEST(TlvxLog, EmptyKeysAndSpareTextsAndLongTexts) {
    TTestTempDir dir;
    const std::string path = dir.File("hits.log");
    THit a;
    a.Node = "weather";
    a.URL = "page.html";
    a.Spare = std::string(300, 's');
    Log(path, a);
    THit b = a;
    b.Node = "sport";  // no parent: never a back-reference on an empty key
    b.URL = std::string(70000, 'u');
    Log(path, b);
    std::string bytes = ReadFile(path);
    size_t rec1 = 66 + 2 + 2 + 4 + 4 + 16 + 1 + 255 + 2 + 3 + 9 + 3 + 7 + 3 + 9 + 3;
    // flags with spare text; mask: client, user, spare text.
    EXPECT_EQ(bytes.substr(rec1, 4), U16(0x01FC) + U16(0x0015));
    EXPECT_EQ(bytes.substr(rec1 + 4 + 1 + 4 + 1 + 1 + 2, 1), U8(255));  // referrer: whole
    EXPECT_EQ(bytes.substr(rec1 + 4 + 1 + 4 + 1 + 1 + 2 + 12, 3), U8(255) + U16(5));
    EXPECT_EQ(bytes.size(), rec1 + 4 + 1 + 4 + 1 + 1 + 2 + 12 + 8 + 3 + 65535 + 3);
}

TEST(TlvxLogCodes, BrowserSystemScreenAndSplits) {
    EXPECT_EQ(GetBrowserCode("Opera/7 (MSIE 6.0)"), 12);
    EXPECT_EQ(GetBrowserCode(kIE6), 3);
    EXPECT_EQ(GetBrowserCode("Mozilla/5.0"), 8);
    EXPECT_EQ(GetBrowserCode("mozilla"), 0);
    EXPECT_EQ(GetOSCode(kIE6), 0x50);
    EXPECT_EQ(GetOSCode("X11; Linux i686"), 0xA0);
    EXPECT_EQ(GetScreenCode(1024, 768), 3);
    EXPECT_EQ(GetScreenCode(768, 1024), 0);
    EXPECT_EQ(SplitUrlDirectory("http://a/b/c.html").Key, "http://a/b/");
    EXPECT_EQ(SplitNodeParent("a.b.c").Key, "a.b");
    EXPECT_EQ(SplitNodeParent("a.b.c").Rest, "c");
    EXPECT_EQ(SplitReferrer("Ftp://host/x/y").Key, "host/");
    EXPECT_EQ(SplitReferrer("Ftp://host/x/y").Rest, "x/y");
    EXPECT_EQ(SplitReferrer("host").Key, "");
}

// A crash at every write and sync of a hit leaves a log that takes the
// next hit, with the last page holding either the old or the new records.
TEST(TlvxLog, CrashAtEveryWriteAndSyncLeavesAReadableLog) {
    TTestTempDir dir;
    const std::string path = dir.File("hits.log");
    int crashes = 0;
    for (const bool newPage : {false, true}) {
        for (const TFaultOp op : {TFaultOp::Write, TFaultOp::Sync}) {
            for (const TCrashMode mode : {TCrashMode::Drop, TCrashMode::Tear, TCrashMode::Apply}) {
                for (uint64_t n = 1;; ++n) {
                    std::remove(path.c_str());
                    Log(path, THit{});
                    Log(path, THit{});
                    THit hit;
                    if (newPage) hit.When += 1;
                    TFaultFileSystem fs;
                    SetFileSystem(&fs);
                    fs.CrashAt(op, n, mode, uint32_t(n));
                    bool crashed = false;
                    try {
                        Log(path, hit);
                    } catch (const ESimulatedCrash&) {
                        crashed = true;
                    }
                    crashed = crashed || fs.Crashed();
                    fs.Reset();
                    SetFileSystem(nullptr);
                    Log(path, hit);  // must read the last page
                    TTlvxLog log(path);
                    EXPECT_GE(log.Header().PageCount, 1);
                    log.Close();
                    if (!crashed) break;
                    ++crashes;
                }
            }
        }
    }
    EXPECT_GE(crashes, 2 * 3 * 3);  // at least 3 writes and 1 sync per hit
}

}  // namespace
}  // namespace tlvx
