#include "counter/tlvx_log_format.h"

namespace tlvx {
namespace {

void PutU8(std::string& out, uint8_t v) { out += static_cast<char>(v); }
void PutU16(std::string& out, uint16_t v) {
    PutU8(out, static_cast<uint8_t>(v));
    PutU8(out, static_cast<uint8_t>(v >> 8));
}
void PutU32(std::string& out, uint32_t v) {
    PutU16(out, static_cast<uint16_t>(v));
    PutU16(out, static_cast<uint16_t>(v >> 16));
}

// Reads little-endian fields, raising on a short input.
class TByteReader {
public:
    TByteReader(std::string_view bytes, size_t& pos) : bytes_(bytes), pos_(pos) {}
    uint8_t U8() { return static_cast<uint8_t>(Take(1)[0]); }
    uint16_t U16() {
        std::string_view b = Take(2);
        return static_cast<uint16_t>(uint8_t(b[0]) | uint8_t(b[1]) << 8);
    }
    uint32_t U32() {
        uint32_t lo = U16();
        return lo | uint32_t(U16()) << 16;
    }
    std::string_view Take(size_t n) {
        if (bytes_.size() - pos_ < n) throw ETlvxLogError("Damaged hit log page");
        std::string_view b = bytes_.substr(pos_, n);
        pos_ += n;
        return b;
    }

private:
    std::string_view bytes_;
    size_t& pos_;
};

}  // namespace

std::string EncodeLogHeader(const TLogFileHeader& h) {
    std::string out(kLogMagic);
    PutU8(out, h.Version);
    PutU8(out, h.Reserved1);
    PutU32(out, static_cast<uint32_t>(h.PageCount));
    PutU32(out, h.FirstPage);
    PutU32(out, h.LastPage);
    out.append(reinterpret_cast<const char*>(h.Reserved2.data()), h.Reserved2.size());
    return out;
}

TLogFileHeader DecodeLogHeader(std::string_view bytes) {
    if (bytes.size() != kLogHeaderSize || bytes.substr(0, kLogMagic.size()) != kLogMagic)
        throw ETlvxLogError("Not a hit log file");
    size_t pos = kLogMagic.size();
    TByteReader r(bytes, pos);
    TLogFileHeader h;
    h.Version = r.U8();
    h.Reserved1 = r.U8();
    h.PageCount = static_cast<int32_t>(r.U32());
    h.FirstPage = r.U32();
    h.LastPage = r.U32();
    std::string_view rest = r.Take(16);
    for (size_t i = 0; i < 16; ++i) h.Reserved2[i] = static_cast<uint8_t>(rest[i]);
    return h;
}

std::string EncodePageHeader(const TPageHeader& h) {
    std::string out(kPageMagic);
    PutU16(out, h.Day);
    PutU16(out, h.Version);
    PutU8(out, h.RecordCount);
    PutU16(out, h.FirstRecord);
    PutU16(out, h.LastRecord);
    PutU16(out, h.Length);
    return out;
}

TPageHeader DecodePageHeader(std::string_view bytes) {
    if (bytes.size() < kPageHeaderSize || bytes.substr(0, kPageMagic.size()) != kPageMagic)
        throw ETlvxLogError("Damaged hit log page");
    size_t pos = kPageMagic.size();
    TByteReader r(bytes, pos);
    TPageHeader h;
    h.Day = r.U16();
    h.Version = r.U16();
    h.RecordCount = r.U8();
    h.FirstRecord = r.U16();
    h.LastRecord = r.U16();
    h.Length = r.U16();
    if (h.RecordCount == 0) throw ETlvxLogError("Damaged hit log page");
    return h;
}

std::string EncodeLogRecord(const TLogRecord& rec) {
    std::string out;
    auto byIndex = [&](uint16_t bit) { return (rec.Mask & bit) != 0; };
    PutU16(out, rec.Flags);
    PutU16(out, rec.Mask);
    if (byIndex(kLogClientIP)) PutU8(out, rec.Index[liClient]);
    else PutU32(out, rec.ClientIP);
    if (byIndex(kLogForwardedIP)) PutU8(out, rec.Index[liForwarded]);
    else PutU32(out, rec.ForwardedIP);
    if (rec.Flags & kLogUserGUID) {
        if (byIndex(kLogUserGUID)) {
            PutU8(out, rec.Index[liUser]);
        } else {
            auto bytes = rec.UserGUID.ToBytes();
            out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
    }
    if (rec.Flags & kLogSpareText) {
        if (byIndex(kLogSpareText)) {
            PutU8(out, rec.Index[liSpare]);
        } else {
            std::string_view t = std::string_view(rec.SpareText).substr(0, kMaxSpareText);
            PutU8(out, static_cast<uint8_t>(t.size()));
            out += t;
        }
    }
    PutU16(out, rec.Time);
    const std::pair<uint16_t, std::pair<int, const std::string*>> texts[] = {
        {kLogReferrer, {liReferrer, &rec.Referrer}},
        {kLogNode, {liNode, &rec.Node}},
        {kLogPageURL, {liPageURL, &rec.PageURL}}};
    for (const auto& [bit, field] : texts) {
        if (!(rec.Flags & bit)) continue;
        PutU8(out, byIndex(bit) ? rec.Index[field.first] : kNoRecord);
        std::string_view t = std::string_view(*field.second).substr(0, kMaxLogText);
        PutU16(out, static_cast<uint16_t>(t.size()));
        out += t;
    }
    PutU8(out, rec.Zero);
    PutU8(out, rec.SystemBrowser);
    PutU8(out, rec.Screen);
    return out;
}

TLogRecord DecodeLogRecord(std::string_view bytes, size_t& pos,
                           const std::vector<TLogRecord>& earlier) {
    TByteReader r(bytes, pos);
    TLogRecord rec;
    auto ref = [&](TLogIndex slot) -> const TLogRecord& {
        uint8_t i = r.U8();
        if (i >= earlier.size()) throw ETlvxLogError("Damaged hit log page");
        rec.Index[slot] = i;
        return earlier[i];
    };
    rec.Flags = r.U16();
    rec.Mask = r.U16();
    rec.ClientIP = (rec.Mask & kLogClientIP) ? ref(liClient).ClientIP : r.U32();
    rec.ForwardedIP = (rec.Mask & kLogForwardedIP) ? ref(liForwarded).ForwardedIP : r.U32();
    if (rec.Flags & kLogUserGUID) {
        if (rec.Mask & kLogUserGUID) {
            rec.UserGUID = ref(liUser).UserGUID;
        } else {
            std::string_view b = r.Take(16);
            rec.UserGUID = TGUID::FromBytes(reinterpret_cast<const uint8_t*>(b.data()));
        }
    }
    if (rec.Flags & kLogSpareText) {
        if (rec.Mask & kLogSpareText) rec.SpareText = ref(liSpare).SpareText;
        else rec.SpareText = std::string(r.Take(r.U8()));
    }
    rec.Time = r.U16();
    const std::pair<uint16_t, std::pair<TLogIndex, std::string*>> texts[] = {
        {kLogReferrer, {liReferrer, &rec.Referrer}},
        {kLogNode, {liNode, &rec.Node}},
        {kLogPageURL, {liPageURL, &rec.PageURL}}};
    for (const auto& [bit, field] : texts) {
        if (!(rec.Flags & bit)) continue;
        uint8_t i = r.U8();
        if (i != kNoRecord && i >= earlier.size()) throw ETlvxLogError("Damaged hit log page");
        rec.Index[field.first] = i;
        *field.second = std::string(r.Take(r.U16()));
    }
    rec.Zero = r.U8();
    rec.SystemBrowser = r.U8();
    rec.Screen = r.U8();
    return rec;
}

}  // namespace tlvx
