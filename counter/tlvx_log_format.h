// The binary hit log's stored format. All numbers little-endian.
//
// File header, 46 bytes at 0: magic "TLVX2-BINARY-LOG" (16), version u8 1,
// reserved u8 0, page count i32, first page offset u32 (46 once a page
// exists), last page offset u32, 16 reserved bytes (kept as read).
//
// Page: a 20-byte header, then 1..255 records. Header: magic "TLVX2PAGE"
// (9), day u16 (low 16 bits of the day number), version u16 1, record count
// u8, first record u16, last record u16 and page length u16 (each the low 16
// bits of an absolute offset or of the length with the header).
//
// Record: flags u16, back-reference mask u16; client address (u8 index when
// mask 0x0001, else u32); forwarded address (u8 index when mask 0x0002, else
// u32, 0 for none); when flag 0x0004 the user GUID (u8 index or 16 bytes);
// when flag 0x0010 the spare text (u8 index, or u8 length and bytes); time of
// day u16; for flags 0x0020 referrer, 0x0040 node, 0x0080 page URL each a u8
// index (255 for none) and a u16 length with the bytes; then u8 0, u8 system
// and browser code, u8 screen code. The session GUID is flagged only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/guid.h"

namespace tlvx {

inline constexpr std::string_view kLogMagic = "TLVX2-BINARY-LOG";
inline constexpr std::string_view kPageMagic = "TLVX2PAGE";
inline constexpr size_t kLogHeaderSize = 46;
inline constexpr size_t kPageHeaderSize = 20;
inline constexpr size_t kMaxPageRecords = 255;
inline constexpr uint8_t kNoRecord = 255;
inline constexpr size_t kMaxSpareText = 255;
inline constexpr size_t kMaxLogText = 65535;

// Flag bits; the same bits in the mask mean "given as an earlier record's
// index".
enum : uint16_t {
    kLogClientIP = 0x0001,
    kLogForwardedIP = 0x0002,
    kLogUserGUID = 0x0004,
    kLogSessionGUID = 0x0008,
    kLogSpareText = 0x0010,
    kLogReferrer = 0x0020,
    kLogNode = 0x0040,
    kLogPageURL = 0x0080,
    kLogAfternoon = 0x0100,
};

// Positions in TLogRecord::Index.
enum TLogIndex { liClient, liForwarded, liUser, liSession, liSpare, liReferrer, liNode, liPageURL };

// Raised for a log file or page that is not what the writer makes.
class ETlvxLogError : public std::runtime_error {
public:
    explicit ETlvxLogError(const std::string& what, std::string detail = "")
        : std::runtime_error(what), detail_(std::move(detail)) {}
    // The cause behind the fixed text, e.g. the system's error message.
    const std::string& Detail() const { return detail_; }

private:
    std::string detail_;
};

struct TLogFileHeader {
    uint8_t Version = 1;
    uint8_t Reserved1 = 0;
    int32_t PageCount = 0;
    uint32_t FirstPage = 0;
    uint32_t LastPage = 0;
    std::array<uint8_t, 16> Reserved2{};
};

struct TPageHeader {
    uint16_t Day = 0;
    uint16_t Version = 1;
    uint8_t RecordCount = 0;
    uint16_t FirstRecord = 0;
    uint16_t LastRecord = 0;
    uint16_t Length = kPageHeaderSize;
};

// A record as in memory. Fields given by index are filled in from the
// referenced record when read (the session GUID is never stored, so it reads
// as zero); texts hold what is stored: the whole text, or only the rest
// after the referenced record's key.
struct TLogRecord {
    uint16_t Flags = 0;
    uint16_t Mask = 0;
    uint32_t ClientIP = 0;
    uint32_t ForwardedIP = 0;
    TGUID UserGUID;
    TGUID SessionGUID;
    std::string SpareText;
    uint16_t Time = 0;
    std::string Referrer, Node, PageURL;
    uint8_t Zero = 0, SystemBrowser = 0, Screen = 0;
    std::array<uint8_t, 8> Index{};
};

std::string EncodeLogHeader(const TLogFileHeader& header);
// Raises ETlvxLogError unless bytes is 46 bytes beginning with the magic.
TLogFileHeader DecodeLogHeader(std::string_view bytes);

std::string EncodePageHeader(const TPageHeader& header);
// Raises ETlvxLogError for a wrong magic or a record count of 0.
TPageHeader DecodePageHeader(std::string_view bytes);

std::string EncodeLogRecord(const TLogRecord& record);
// Reads the record at pos (advanced past it) as record number `self` of a
// page whose earlier records are `earlier`; raises ETlvxLogError when the
// bytes end early or an index does not name an earlier record.
TLogRecord DecodeLogRecord(std::string_view bytes, size_t& pos,
                           const std::vector<TLogRecord>& earlier);

}  // namespace tlvx
