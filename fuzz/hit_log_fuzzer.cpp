// Reads the input as a binary hit log: every page through the record
// decoder, then one hit appended through the log writer (which reads the
// last page). A refused hit must leave the file as it was; an accepted one
// must leave a log that takes the next hit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "counter/tlvx_log.h"
#include "fuzz/fuzz_guard.h"
#include "platform/testing/memory_file_system.h"

using namespace tlvx;

namespace {

const std::string kPath = "/fuzz/stattostat.bin";
constexpr double kDay = 46364;  // 2026-12-08

TGUID Guid(uint8_t seed) {
    uint8_t b[16];
    for (int i = 0; i < 16; ++i) b[i] = uint8_t(seed + i);
    return TGUID::FromBytes(b);
}

// Follows the pages one after the other from the first, as a report reads
// them, up to the header's page count.
void ReadPages(std::string_view file) {
    if (file.size() < kLogHeaderSize) return;
    TLogFileHeader header = DecodeLogHeader(file.substr(0, kLogHeaderSize));
    size_t offset = header.FirstPage;
    for (int32_t n = 0; n < header.PageCount && offset < file.size(); ++n) {
        std::string_view page = file.substr(offset);
        TPageHeader ph = DecodePageHeader(page.substr(0, kPageHeaderSize));
        std::vector<TLogRecord> records;
        size_t pos = kPageHeaderSize;
        for (size_t i = 0; i < ph.RecordCount; ++i) records.push_back(DecodeLogRecord(page, pos, records));
        FuzzCheck(pos <= page.size(), "a record read past the page");
        offset += pos;
    }
}

void AddHit(TTlvxLog& log, double when, const std::string& text) {
    log.AddHit(Guid(1), Guid(40), when, 0x0A000001, when > kDay + 1 ? 0x0A000002 : 0, text,
               "http://yandex.ru/yandsearch?text=" + text, "http://site/news/a.html",
               "news." + text, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)", 1024, 768,
               0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMemoryFileSystemScope* files = new TMemoryFileSystemScope;
    const std::string input(reinterpret_cast<const char*>(data), size);
    RunGuarded([&] { ReadPages(input); });

    files->Files().Clear();
    files->Files().SetContents(kPath, input);
    // The hit's day and text come from the input's last bytes, so pages of
    // the same day and of a new day are both reached.
    const double when = kDay + (size && (data[size - 1] & 1) ? 1.25 : 0.75);
    const std::string text = size >= 2 ? std::string(1, char('a' + data[size - 2] % 26)) : "x";

    bool added = false;
    RunGuarded([&] {
        TTlvxLog log(kPath);
        try {
            AddHit(log, when, text);
        } catch (const ETlvxLogError&) {
            FuzzCheck(files->Files().Contents(kPath) == input, "a refused hit changed the log");
            throw;
        }
        log.Close();
        added = true;
    });
    if (!added) return 0;
    RunGuarded([&] {
        TTlvxLog log(kPath);
        AddHit(log, when, text);
        added = false;
    });
    FuzzCheck(!added, "a log that took a hit refuses the next one");
    return 0;
}
