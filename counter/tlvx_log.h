// The optional binary log of hits (format in counter/tlvx_log_format.h).
//
// Each hit opens the log, appends one record to the day's page (a new page
// when the day changed or the page holds 255 records) and closes it. The
// open holds the file's exclusive lock, so two processes never write at
// once. The writes are ordered so that a crash at any point leaves a log
// whose header and pages read back: new bytes are synced before the page or
// file header that counts them is rewritten.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "counter/tlvx_log_format.h"
#include "platform/file.h"
#include "platform/guid.h"

namespace tlvx {

class TTlvxLog {
public:
    // Opens or creates the file (never truncating it) through the platform
    // file system, waiting a bounded time for another writer's lock. A file
    // shorter than the header is taken as new and gets a fresh header.
    // Raises ETlvxLogError "Cann't open file!" when the file cannot be
    // opened, and "Not a hit log file" for a longer file without the magic
    // (nothing is written to it then).
    explicit TTlvxLog(const std::string& fileName);
    // Flushes and closes; errors are dropped (call Close to see them).
    ~TTlvxLog();
    TTlvxLog(const TTlvxLog&) = delete;
    TTlvxLog& operator=(const TTlvxLog&) = delete;

    // Appends one record. Only the low 32 bits of clientIP are used; a
    // forwardedIP of 0 or below means none. Raises ETlvxLogError for a
    // damaged last page (leaving the file as it was) and the platform's
    // error for a failed write.
    void AddHit(const TGUID& userGUID, const TGUID& sessionGUID, double when, int64_t clientIP,
                int64_t forwardedIP, std::string_view spareText, std::string_view referrer,
                std::string_view pageURL, std::string_view node, std::string_view userAgent,
                int32_t width, int32_t height, uint8_t screenExtra);

    // Flushes the file buffers and closes the file.
    void Close();

    const TLogFileHeader& Header() const { return header_; }

private:
    // A page as read: its offset, header, records and the offsets of the
    // records.
    struct TBlock {
        uint64_t Offset = 0;
        TPageHeader Header;
        std::vector<TLogRecord> Records;
        std::vector<uint64_t> RecordOffsets;
        uint64_t End = 0;  // just past the last record
    };

    void WriteHeader();
    TBlock InitPage(uint64_t offset, uint16_t day) const;
    // The last page, or nothing (End at the header) when there is none.
    bool LoadLastPage(TBlock& page);
    void ReadPage(TBlock& page);
    TLogRecord BuildRecord(const TBlock& page, const TGUID& userGUID, const TGUID& sessionGUID,
                           double when, int64_t clientIP, int64_t forwardedIP,
                           std::string_view spareText, std::string_view referrer,
                           std::string_view pageURL, std::string_view node,
                           std::string_view userAgent, int32_t width, int32_t height,
                           uint8_t screenExtra) const;
    // Writes the page's newest record, syncs, then the page header.
    void StorePage(TBlock& page, const std::string& record);

    std::unique_ptr<IFile> file_;
    TLogFileHeader header_;
};

}  // namespace tlvx
