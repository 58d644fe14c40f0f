#include "platform/format_date_time.h"

#include <charconv>
#include <stdexcept>

#include "platform/clock.h"

namespace tlvx {
namespace {

bool IsFieldLetter(char c) {
    return c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 'n' || c == 's';
}

// Without a string of its own: a long report formats two dates a row.
void AppendNumber(std::string& out, int value, size_t width) {
    char digits[16];
    const size_t length = size_t(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
    if (length < width) out.append(width - length, '0');
    out.append(digits, length);
}

}  // namespace

std::string FormatDateTime(std::string_view pattern, double dateTime) {
    const TDateParts p = DecodeDateTime(dateTime);
    std::string out;
    for (size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (!IsFieldLetter(c)) {
            out += c;
            ++i;
            continue;
        }
        size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c) ++run;
        i += run;
        if (c == 'y') {
            if (run == 2) AppendNumber(out, p.year % 100, 2);
            else if (run == 4) AppendNumber(out, p.year, 4);
            else throw std::invalid_argument("Unsupported date pattern: " + std::string(pattern));
            continue;
        }
        if (run > 2) throw std::invalid_argument("Unsupported date pattern: " + std::string(pattern));
        int value = 0;
        switch (c) {
            case 'd': value = p.day; break;
            case 'm': value = p.month; break;
            case 'h': value = p.hour; break;
            case 'n': value = p.minute; break;
            default: value = p.second; break;
        }
        AppendNumber(out, value, run);
    }
    return out;
}

}  // namespace tlvx
