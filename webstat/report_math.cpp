#include "webstat/report_math.h"

#include <algorithm>
#include <cmath>

#include "model/ipv4.h"
#include "model/time_split.h"
#include "platform/clock.h"
#include "platform/integer_ratio.h"
#include "platform/text.h"
#include "webstat/ui_text_eng.h"

namespace tlvx {

std::string IpToStr(int64_t address) {
    if (address < 0 || address > int64_t(UINT32_MAX)) return "";
    return IPv4ToText(uint32_t(address));
}

uint32_t AddressOfVisitorKey(int32_t key) {
    const uint32_t k = uint32_t(key);
    return (k >> 24) | ((k >> 8) & 0xFF00u) | ((k << 8) & 0xFF0000u) | (k << 24);
}

int32_t MaxIndex(std::span<const int32_t> values, size_t& index) {
    int32_t best = 0;
    index = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i] > best) {
            best = values[i];
            index = i;
        }
    }
    return best;
}

double AverageIncrease(std::span<const int32_t> values) {
    if (values.size() < 2) return 0;
    return double(int64_t(values.back()) - int64_t(values.front())) / double(values.size() - 1);
}

double AverageIncreaseF(std::span<const double> values) {
    if (values.size() < 2) return 0;
    return (values.back() - values.front()) / double(values.size() - 1);
}

int64_t RoundChartScale(int64_t maximum) {
    using U128 = unsigned __int128;
    if (maximum < 10) return 10;
    const U128 value = U128(maximum);
    U128 power = 1;  // 10^k, k the digits after the leading one
    while (value / power >= 10) power *= 10;
    const U128 lead = value / power + 1;
    const U128 scale = lead >= 5 ? power * 10 : lead * power;
    return scale > U128(INT64_MAX) ? INT64_MAX : int64_t(scale);
}

THtmlLiteral DayNoun(int32_t n) {
    constexpr TNounForms forms = DayNounForms();
    if (n < 5 || n > 20) {
        const int32_t last = n % 10;
        if (last == 1) return forms.One;
        if (last >= 2 && last <= 4) return forms.Few;
    }
    return forms.Many;
}

std::string NumberWithNoun(int32_t n) {
    std::string text = std::to_string(n);
    text += ' ';
    text += DayNoun(n);
    return text;
}

int64_t FoldSmallShares(TNameCounts& list) {
    int64_t sum = 0;
    for (const TNameCount& e : list) sum += e.Count;
    if (sum == 0) return 0;
    int64_t removed = 0;
    std::erase_if(list, [&](const TNameCount& e) {
        const int64_t share = RoundShare(e.Count, sum, 100);
        if (share != 0 && share != 1) return false;
        removed += e.Count;
        return true;
    });
    return removed;
}

TReferrerShares ReferrerShares(std::string_view ownHost, const TCObjectList& sources) {
    constexpr std::string_view kUnknown = "UNKNOWN";
    const std::string own = UpperAscii(ownHost);
    TReferrerShares r;
    int64_t total = 0, unknown = 0, top = 0;
    for (const TCObjectLine& line : sources) {
        const int64_t count = line.Object.Hits;
        if (count > 1) ++r.Useful;
        total += count;
        if (line.Text != kUnknown && line.Text != own && count > top) {
            top = count;
            r.TopName = line.Text;
        } else if (line.Text == kUnknown) {
            unknown = count;
        }
    }
    r.TopPercent = int32_t(RoundShare(top, total, 100));
    r.UnknownPercent = int32_t(RoundShare(unknown, total, 100));
    r.UsefulPercent = int32_t(RoundShare(r.Useful, int64_t(sources.size()), 100));
    return r;
}

double SharePercent(int64_t part, int64_t whole) {
    return whole > 0 ? double(part) * 100 / double(whole) : 0.0;
}

int32_t GrowthImageIndex(double change) { return change >= 0 ? 11 : 10; }

TGmtOffset GmtOffsetOf(int32_t biasMinutes) {
    const int64_t offset = -int64_t(biasMinutes);
    const int64_t magnitude = offset < 0 ? -offset : offset;
    TGmtOffset r;
    r.West = offset < 0;
    r.Hours = int32_t(magnitude / 60) * (r.West ? -1 : 1);
    r.Minutes = int32_t(magnitude % 60);
    return r;
}

std::string GmtOffsetText(const TGmtOffset& offset) {
    auto appendTwoDigits = [](std::string& out, int32_t v) {
        v = v < 0 ? -v : v;
        if (v < 10) out += '0';
        out += std::to_string(v);
    };
    std::string text(1, offset.West ? '-' : '+');
    appendTwoDigits(text, offset.Hours);
    text += ':';
    appendTwoDigits(text, offset.Minutes);
    return text;
}

std::string NetworkNameOf(uint32_t address, const TBaseConf& conf) {
    const TDescribedNetWork* best = nullptr;
    for (const TDescribedNetWork& net : conf.VIPNetworks) {
        const uint32_t mask = NetworkMask(net.Bits);
        if ((address & mask) != (net.Address & mask)) continue;
        if (!best || net.Bits >= best->Bits) best = &net;
    }
    return best ? best->Description : "?";
}

std::optional<TDayRange> PeriodRange(TPeriod period, double now) {
    const double today = WholeDay(now);
    switch (period) {
        case TPeriod::Today: return TDayRange{today, today};
        case TPeriod::Yesterday: return TDayRange{today - 1, today - 1};
        case TPeriod::ThisWeek: return TDayRange{today - (DecodeDateTime(today).dayOfWeek - 1), today};
        case TPeriod::ThisMonth: {
            const TDateParts p = DecodeDateTime(today);
            return TDayRange{EncodeDateTime(p.year, p.month, 1), today};
        }
        case TPeriod::SinceWeekAgo: return TDayRange{today - 7, today};
        case TPeriod::Since30DaysAgo: return TDayRange{today - 30, today};
        default: return std::nullopt;
    }
}

int32_t HistoryDays(double now, double startTime) {
    const double days = WholeDay(now) - WholeDay(startTime) + 1;
    // NaN fails the comparison and gives 1 as well.
    if (!(days >= 1)) return 1;
    return days > INT32_MAX ? INT32_MAX : int32_t(days);
}

}  // namespace tlvx
