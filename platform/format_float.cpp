#include "platform/format_float.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace tlvx {
namespace {

struct TSection {
    std::string Prefix, Suffix;
    int MinInteger = 0;   // "0" before the point
    int MinDecimals = 0;  // "0" after the point
    int MaxDecimals = 0;  // "0" and "#" after the point
    bool Empty = true;    // the section's text is empty
};

[[noreturn]] void BadPattern(std::string_view pattern) {
    throw std::invalid_argument("Unsupported number pattern: " + std::string(pattern));
}

std::vector<std::string_view> SplitSections(std::string_view pattern) {
    std::vector<std::string_view> sections;
    size_t start = 0;
    char quote = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            sections.push_back(pattern.substr(start, i - start));
            start = i + 1;
        }
    }
    sections.push_back(pattern.substr(start));
    if (sections.size() > 3 || quote) BadPattern(pattern);
    return sections;
}

TSection ParseSection(std::string_view text, std::string_view pattern) {
    TSection s;
    s.Empty = text.empty();
    bool digitsSeen = false, digitsDone = false, point = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '0' || c == '#' || (c == '.' && !point)) {
            if (digitsDone) BadPattern(pattern);  // text between digits
            digitsSeen = true;
            if (c == '.') {
                point = true;
            } else if (point) {
                s.MaxDecimals++;
                if (c == '0') s.MinDecimals = s.MaxDecimals;
            } else if (c == '0') {
                s.MinInteger++;
            }
            continue;
        }
        if (c == ',' || c == 'E' || c == 'e') BadPattern(pattern);
        std::string literal;
        if (c == '\'' || c == '"') {
            const size_t close = text.find(c, i + 1);
            literal = std::string(text.substr(i + 1, close - i - 1));
            i = close;
        } else {
            literal = std::string(1, c);
        }
        if (digitsSeen) {
            digitsDone = true;
            s.Suffix += literal;
        } else {
            s.Prefix += literal;
        }
    }
    return s;
}

// The decimal digits of |value| with decimals digits after the point,
// rounded as the header says: integer part (no leading zeros, maybe empty)
// and fraction (exactly decimals digits).
void RoundedDigits(double value, int decimals, std::string& integer, std::string& fraction) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));  // d.dddddddddddddde+XX
    std::string mantissa;
    mantissa += buf[0];
    mantissa.append(buf + 2, 14);
    const int pointAt = std::atoi(std::strchr(buf, 'e') + 1) + 1;  // digits before the point

    std::string digits;  // integer digits followed by fraction digits
    int integerDigits;
    if (pointAt <= 0) {
        digits = std::string(size_t(-pointAt), '0') + mantissa;
        integerDigits = 0;
    } else {
        digits = mantissa;
        if (digits.size() < size_t(pointAt)) digits.append(size_t(pointAt) - digits.size(), '0');
        integerDigits = pointAt;
    }
    const size_t keep = size_t(integerDigits + decimals);
    bool up = false;
    if (digits.size() > keep) {
        up = digits[keep] >= '5';
        digits.resize(keep);
    } else {
        digits.append(keep - digits.size(), '0');
    }
    if (up) {
        size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
        if (i == 0) {
            digits.insert(digits.begin(), '1');
            ++integerDigits;
        } else {
            ++digits[i - 1];
        }
    }
    integer = digits.substr(0, size_t(integerDigits));
    fraction = digits.substr(size_t(integerDigits));
    const size_t lead = integer.find_first_not_of('0');
    integer.erase(0, lead == std::string::npos ? integer.size() : lead);
}

std::string Render(const TSection& s, const std::string& integerDigits, std::string fraction) {
    while (int(fraction.size()) > s.MinDecimals && fraction.back() == '0') fraction.pop_back();
    std::string integer = integerDigits;
    if (int(integer.size()) < s.MinInteger) integer.insert(0, size_t(s.MinInteger) - integer.size(), '0');
    std::string out = s.Prefix + integer;
    if (!fraction.empty()) out += "." + fraction;
    return out + s.Suffix;
}

}  // namespace

std::string FormatFloat(std::string_view pattern, double value) {
    const std::vector<std::string_view> texts = SplitSections(pattern);
    std::vector<TSection> sections;
    for (std::string_view t : texts) sections.push_back(ParseSection(t, pattern));
    const TSection& positive = sections[0];
    const bool hasNegative = sections.size() > 1 && !sections[1].Empty;
    const bool hasZero = sections.size() > 2 && !sections[2].Empty;
    if (!std::isfinite(value)) value = 0;

    const bool negative = value < 0;
    const TSection& chosen = negative && hasNegative ? sections[1] : positive;
    std::string integer, fraction;
    RoundedDigits(value, chosen.MaxDecimals, integer, fraction);
    const bool zero = integer.empty() && fraction.find_first_not_of('0') == std::string::npos;
    if (zero) {
        const TSection& z = hasZero ? sections[2] : positive;
        RoundedDigits(0, z.MaxDecimals, integer, fraction);
        return Render(z, integer, fraction);
    }
    std::string out = Render(chosen, integer, fraction);
    return negative && !hasNegative ? "-" + out : out;
}

}  // namespace tlvx
