#include "counter/tlvx_log.h"

#include <functional>
#include <limits>

#include "counter/tlvx_log_codes.h"
#include "model/time_split.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace tlvx {
namespace {

// The largest page the writer can make: 255 records of the longest texts.
constexpr uint64_t kMaxPageBytes =
    kPageHeaderSize + kMaxPageRecords * (2 + 2 + 4 + 4 + 16 + 1 + kMaxSpareText + 2 +
                                         3 * (1 + 2 + kMaxLogText) + 3);

using TSplitFn = TTextSplit (*)(std::string_view);

// A text field of a new record: a back-reference to the first earlier
// record whose own text was stored whole and has the same non-empty key
// (upper-cased), else the whole text.
void SetTextField(TLogRecord& rec, const std::vector<TLogRecord>& earlier, uint16_t bit,
                  TLogIndex slot, std::string TLogRecord::*field, std::string_view text,
                  TSplitFn split) {
    if (text.empty()) return;
    text = text.substr(0, kMaxLogText);
    rec.Flags |= bit;
    TTextSplit own = split(text);
    if (!own.Key.empty()) {
        const std::string key = UpperAscii(own.Key);
        for (size_t i = 0; i < earlier.size(); ++i) {
            const TLogRecord& e = earlier[i];
            if (!(e.Flags & bit) || (e.Mask & bit)) continue;
            if (UpperAscii(split(e.*field).Key) != key) continue;
            rec.Mask |= bit;
            rec.Index[slot] = static_cast<uint8_t>(i);
            rec.*field = own.Rest;
            return;
        }
    }
    rec.*field = std::string(text);
}

// The last earlier record for which same() holds, as a back-reference.
template <class Same>
bool LastSame(const std::vector<TLogRecord>& earlier, Same same, uint8_t& index) {
    for (size_t i = earlier.size(); i-- > 0;) {
        if (same(earlier[i])) {
            index = static_cast<uint8_t>(i);
            return true;
        }
    }
    return false;
}

}  // namespace

TTlvxLog::TTlvxLog(const std::string& fileName) {
    try {
        TFileOptions options;
        options.randomAccess = true;
        file_ = FileSystem().Open(fileName, TFileAccess::ReadWrite, TDisposition::OpenAlways,
                                  options);
    } catch (const std::exception& e) {
        throw ETlvxLogError("Cann't open file!", e.what());
    }
    if (file_->Size() < kLogHeaderSize) {
        header_ = TLogFileHeader{};
        WriteHeader();
        return;
    }
    std::string bytes(kLogHeaderSize, '\0');
    file_->ReadAt(bytes.data(), bytes.size(), 0);
    header_ = DecodeLogHeader(bytes);
}

TTlvxLog::~TTlvxLog() {
    try {
        Close();
    } catch (...) {
    }
}

void TTlvxLog::Close() {
    if (!file_) return;
    std::unique_ptr<IFile> file = std::move(file_);
    file->Sync();
}

void TTlvxLog::WriteHeader() {
    std::string bytes = EncodeLogHeader(header_);
    file_->WriteAt(bytes.data(), bytes.size(), 0);
}

TTlvxLog::TBlock TTlvxLog::InitPage(uint64_t offset, uint16_t day) const {
    TBlock page;
    page.Offset = offset;
    page.Header.Day = day;
    page.End = offset + kPageHeaderSize;
    return page;
}

bool TTlvxLog::LoadLastPage(TBlock& page) {
    if (header_.PageCount <= 0 || header_.LastPage == 0) {
        page = InitPage(kLogHeaderSize, 0);
        page.End = kLogHeaderSize;  // no page: the first goes right after the header
        return false;
    }
    if (header_.LastPage < kLogHeaderSize) throw ETlvxLogError("Damaged hit log page");
    page.Offset = header_.LastPage;
    ReadPage(page);
    return true;
}

void TTlvxLog::ReadPage(TBlock& page) {
    const uint64_t size = file_->Size();
    if (page.Offset >= size) throw ETlvxLogError("Damaged hit log page");
    std::string bytes(static_cast<size_t>(std::min(size - page.Offset, kMaxPageBytes)), '\0');
    bytes.resize(file_->ReadAt(bytes.data(), bytes.size(), page.Offset));
    page.Header = DecodePageHeader(bytes);
    size_t pos = kPageHeaderSize;
    page.Records.clear();
    page.RecordOffsets.clear();
    for (size_t i = 0; i < page.Header.RecordCount; ++i) {
        page.RecordOffsets.push_back(page.Offset + pos);
        page.Records.push_back(DecodeLogRecord(bytes, pos, page.Records));
    }
    page.End = page.Offset + pos;
}

TLogRecord TTlvxLog::BuildRecord(const TBlock& page, const TGUID& userGUID,
                                 const TGUID& sessionGUID, double when, int64_t clientIP,
                                 int64_t forwardedIP, std::string_view spareText,
                                 std::string_view referrer, std::string_view pageURL,
                                 std::string_view node, std::string_view userAgent,
                                 int32_t width, int32_t height, uint8_t screenExtra) const {
    const auto& earlier = page.Records;
    TLogRecord rec;  // cleared
    // The time counts 1/100000 days (864 ms) into the half day, from the
    // time rounded to the millisecond as every split of a time is.
    constexpr int32_t kHalfDay = 43'200'000, kMsPerUnit = 864;
    const int32_t ms = RoundToMillisecond(when).millisecond;
    if (ms > kHalfDay) {
        rec.Flags |= kLogAfternoon;
        rec.Time = static_cast<uint16_t>((ms - kHalfDay) / kMsPerUnit);
    } else {
        rec.Time = static_cast<uint16_t>(ms / kMsPerUnit);
    }
    rec.SystemBrowser = static_cast<uint8_t>(GetOSCode(userAgent) | GetBrowserCode(userAgent));
    rec.Screen = static_cast<uint8_t>(GetScreenCode(width, height) | screenExtra);

    SetTextField(rec, earlier, kLogPageURL, liPageURL, &TLogRecord::PageURL, pageURL,
                 SplitUrlDirectory);
    SetTextField(rec, earlier, kLogNode, liNode, &TLogRecord::Node, node, SplitNodeParent);
    SetTextField(rec, earlier, kLogReferrer, liReferrer, &TLogRecord::Referrer, referrer,
                 SplitReferrer);

    rec.ClientIP = static_cast<uint32_t>(clientIP);
    if (LastSame(earlier, [&](const TLogRecord& e) { return e.ClientIP == rec.ClientIP; },
                 rec.Index[liClient]))
        rec.Mask |= kLogClientIP;

    if (forwardedIP > 0) {
        rec.Flags |= kLogForwardedIP;
        rec.ForwardedIP = static_cast<uint32_t>(forwardedIP);
        if (LastSame(earlier,
                     [&](const TLogRecord& e) {
                         return (e.Flags & kLogForwardedIP) && e.ForwardedIP == rec.ForwardedIP;
                     },
                     rec.Index[liForwarded]))
            rec.Mask |= kLogForwardedIP;
    }
    if (!userGUID.IsNull()) {
        rec.Flags |= kLogUserGUID;
        rec.UserGUID = userGUID;
        if (LastSame(earlier, [&](const TLogRecord& e) { return e.UserGUID == userGUID; },
                     rec.Index[liUser]))
            rec.Mask |= kLogUserGUID;
    }
    if (!sessionGUID.IsNull()) {
        // Session GUIDs are not stored, so read records never match one.
        rec.Flags |= kLogSessionGUID;
        rec.SessionGUID = sessionGUID;
        if (LastSame(earlier, [&](const TLogRecord& e) { return e.SessionGUID == sessionGUID; },
                     rec.Index[liSession]))
            rec.Mask |= kLogSessionGUID;
    }
    if (!spareText.empty()) {
        rec.Flags |= kLogSpareText;
        rec.SpareText = std::string(spareText.substr(0, kMaxSpareText));
        for (size_t i = 0; i < earlier.size(); ++i) {
            if ((earlier[i].Flags & kLogSpareText) && earlier[i].SpareText == rec.SpareText) {
                rec.Mask |= kLogSpareText;
                rec.Index[liSpare] = static_cast<uint8_t>(i);
                break;
            }
        }
    }
    return rec;
}

void TTlvxLog::AddHit(const TGUID& userGUID, const TGUID& sessionGUID, double when,
                      int64_t clientIP, int64_t forwardedIP, std::string_view spareText,
                      std::string_view referrer, std::string_view pageURL,
                      std::string_view node, std::string_view userAgent, int32_t width,
                      int32_t height, uint8_t screenExtra) {
    if (!file_) throw ETlvxLogError("Hit log is closed");
    const uint16_t today = static_cast<uint16_t>(DayNumber(when));
    TBlock page;
    const bool hasPage = LoadLastPage(page);
    const bool sameDay = hasPage && page.Header.Day == today &&
                         page.Records.size() < kMaxPageRecords;
    if (!sameDay) {
        // A page the header cannot count is not written at all.
        if (header_.PageCount == std::numeric_limits<int32_t>::max())
            throw ETlvxLogError("Hit log is full");
        page = InitPage(page.End, today);
    }

    TLogRecord rec = BuildRecord(page, userGUID, sessionGUID, when, clientIP, forwardedIP,
                                 spareText, referrer, pageURL, node, userAgent, width, height,
                                 screenExtra);
    const std::string bytes = EncodeLogRecord(rec);
    if (page.End + bytes.size() > std::numeric_limits<uint32_t>::max())
        throw ETlvxLogError("Hit log is full");
    page.Records.push_back(std::move(rec));
    page.RecordOffsets.push_back(page.End);
    StorePage(page, bytes);

    if (!sameDay) {
        // The page is on disk before the header counts it.
        if (header_.PageCount <= 0 || header_.LastPage == 0) {
            header_.PageCount = 0;
            header_.FirstPage = static_cast<uint32_t>(kLogHeaderSize);
        }
        header_.LastPage = static_cast<uint32_t>(page.Offset);
        header_.PageCount += 1;
        WriteHeader();
    }
    // Bytes of an earlier torn write beyond the pages would look like a page.
    if (file_->Size() > page.End) file_->SetSize(page.End);
}

void TTlvxLog::StorePage(TBlock& page, const std::string& record) {
    file_->WriteAt(record.data(), record.size(), page.End);
    page.End += record.size();
    file_->Sync();
    TPageHeader& h = page.Header;
    h.RecordCount = static_cast<uint8_t>(page.Records.size());
    h.FirstRecord = static_cast<uint16_t>(page.Offset + kPageHeaderSize);
    h.LastRecord = static_cast<uint16_t>(page.RecordOffsets.back());
    h.Length = static_cast<uint16_t>(page.End - page.Offset);
    const std::string head = EncodePageHeader(h);
    file_->WriteAt(head.data(), head.size(), page.Offset);
    if (page.Records.size() == 1) file_->Sync();  // a new page before the file header
}

}  // namespace tlvx
