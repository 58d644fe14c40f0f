// Hit logs the fuzz targets under fuzz/ aimed at: each is refused with a
// clear error and left as it was, never overflowed.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <limits>

#include "counter/tlvx_log.h"
#include "platform/testing/temp_dir.h"

namespace tlvx {
namespace {

constexpr double kDay = 46364;  // 2026-12-08

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void Hit(const std::string& path, double when) {
    TTlvxLog log(path);
    log.AddHit(TGUID{}, TGUID{}, when, 0x0A000001, 0, "", "yandex.ru", "http://site/a.html", "a",
               "Opera/7.0", 1024, 768, 0);
    log.Close();
}

// Page count (bytes 18..21) at its limit: the next page cannot be counted,
// so the hit that needs it is refused before anything is written; hits that
// still fit the last page are taken.
TEST(TlvxLogLimits, PageCountAtItsLimitRefusesANewPage) {
    TTestTempDir dir;
    const std::string path = dir.File("hits.bin");
    Hit(path, kDay + 0.5);
    std::string bytes = ReadFile(path);
    ASSERT_GT(bytes.size(), 22u);
    for (int i = 0; i < 4; ++i) bytes[size_t(18 + i)] = char(i == 3 ? 0x7F : 0xFF);
    WriteFile(path, bytes);

    try {
        Hit(path, kDay + 1.5);
        ADD_FAILURE() << "a page beyond the count's limit was added";
    } catch (const ETlvxLogError& e) {
        EXPECT_STREQ(e.what(), "Hit log is full");
    }
    EXPECT_EQ(ReadFile(path), bytes);

    Hit(path, kDay + 0.75);  // the same day: the last page takes it
    TTlvxLog log(path);
    EXPECT_EQ(log.Header().PageCount, std::numeric_limits<int32_t>::max());
}

}  // namespace
}  // namespace tlvx
