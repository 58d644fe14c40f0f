#include "counter/tlvx_log_format.h"

#include "platform/byte_codec.h"

namespace tlvx {
namespace {

// Every short read of a hit log page is the same fault.
void DamagedPage() { throw ETlvxLogError("Damaged hit log page"); }

}  // namespace

std::string EncodeLogHeader(const TLogFileHeader& h) {
    std::string out(kLogMagic);
    AppendU8(out, h.Version);
    AppendU8(out, h.Reserved1);
    AppendU32(out, static_cast<uint32_t>(h.PageCount));
    AppendU32(out, h.FirstPage);
    AppendU32(out, h.LastPage);
    out.append(reinterpret_cast<const char*>(h.Reserved2.data()), h.Reserved2.size());
    return out;
}

TLogFileHeader DecodeLogHeader(std::string_view bytes) {
    if (bytes.size() != kLogHeaderSize || bytes.substr(0, kLogMagic.size()) != kLogMagic)
        throw ETlvxLogError("Not a hit log file");
    size_t pos = kLogMagic.size();
    TByteReader r(bytes, pos, DamagedPage);
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
    AppendU16(out, h.Day);
    AppendU16(out, h.Version);
    AppendU8(out, h.RecordCount);
    AppendU16(out, h.FirstRecord);
    AppendU16(out, h.LastRecord);
    AppendU16(out, h.Length);
    return out;
}

TPageHeader DecodePageHeader(std::string_view bytes) {
    if (bytes.size() < kPageHeaderSize || bytes.substr(0, kPageMagic.size()) != kPageMagic)
        throw ETlvxLogError("Damaged hit log page");
    size_t pos = kPageMagic.size();
    TByteReader r(bytes, pos, DamagedPage);
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
    AppendU16(out, rec.Flags);
    AppendU16(out, rec.Mask);
    if (byIndex(kLogClientIP)) AppendU8(out, rec.Index[liClient]);
    else AppendU32(out, rec.ClientIP);
    if (byIndex(kLogForwardedIP)) AppendU8(out, rec.Index[liForwarded]);
    else AppendU32(out, rec.ForwardedIP);
    if (rec.Flags & kLogUserGUID) {
        if (byIndex(kLogUserGUID)) {
            AppendU8(out, rec.Index[liUser]);
        } else {
            auto bytes = rec.UserGUID.ToBytes();
            out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
    }
    if (rec.Flags & kLogSpareText) {
        if (byIndex(kLogSpareText)) {
            AppendU8(out, rec.Index[liSpare]);
        } else {
            std::string_view t = std::string_view(rec.SpareText).substr(0, kMaxSpareText);
            AppendU8(out, static_cast<uint8_t>(t.size()));
            out += t;
        }
    }
    AppendU16(out, rec.Time);
    const std::pair<uint16_t, std::pair<int, const std::string*>> texts[] = {
        {kLogReferrer, {liReferrer, &rec.Referrer}},
        {kLogNode, {liNode, &rec.Node}},
        {kLogPageURL, {liPageURL, &rec.PageURL}}};
    for (const auto& [bit, field] : texts) {
        if (!(rec.Flags & bit)) continue;
        AppendU8(out, byIndex(bit) ? rec.Index[field.first] : kNoRecord);
        std::string_view t = std::string_view(*field.second).substr(0, kMaxLogText);
        AppendU16(out, static_cast<uint16_t>(t.size()));
        out += t;
    }
    AppendU8(out, rec.Zero);
    AppendU8(out, rec.SystemBrowser);
    AppendU8(out, rec.Screen);
    return out;
}

TLogRecord DecodeLogRecord(std::string_view bytes, size_t& pos,
                           const std::vector<TLogRecord>& earlier) {
    TByteReader r(bytes, pos, DamagedPage);
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
