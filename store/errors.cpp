#include "store/errors.h"

#include <algorithm>
#include <iterator>

#include "platform/file.h"

namespace tlvx {
namespace {

struct TMessageEntry {
    uint16_t id;
    const char* text;
};

// The English message table, sorted by identifier.
constexpr TMessageEntry kMessages[] = {
    {0xFF10, "Cannot commit transaction"},
    {0xFF11, "Cannot abort transaction: some atoms are still opened"},
    {0xFF12, "Cannot commit transaction: some atoms are still opened"},
    {0xFF13, "File read error"},
    {0xFF14, "File write error"},
    {0xFF15, "Broken link (atom does not exist)"},
    {0xFF16, "%s: Atom table entry ($%.8x) CRC check failed"},
    {0xFF17, "%s: Atom ($%.8x) body CRC check failed"},
    {0xFF18, "%s: Invalid MODE value"},
    {0xFF19, "%s: Invalid CLASS value"},
    {0xFF1A, "%s: Invalid CACHE value"},
    {0xFF1B, "%s: Invalid WRITETHROUGH value"},
    {0xFF1C, "%s: Invalid AtomSizeAlign value"},
    {0xFF1D, "%s: Unknown parameter"},
    {0xFF20, "Invalid dynamic array index"},
    {0xFF21, "Invalid transaction ID"},
    {0xFF22, "Error opening file \"%s\": %s"},
    {0xFF23, "Invalid file format: \"%s\" is not a valid Orv file"},
    {0xFF24, "%s: Unmatched file data class"},
    {0xFF25, "%s: Unsupported version of Orv file format"},
    {0xFF26, "\"%s\" is marked for read access only"},
    {0xFF27, "%s: File header CRC check has failed"},
    {0xFF28, "%s: File damaged"},
    {0xFF29, "Not implemented"},
    {0xFF2A, "Capability is not supported"},
    {0xFF2B, "Access is denied"},
    {0xFF2C, "Atom access is denied"},
    {0xFF2D, "Atom share violation"},
    {0xFF2E, "Invalid atom address"},
    {0xFF2F, "Cannot abort transaction"},
};

void AppendNumber(std::string& out, int64_t value, char conversion, int precision) {
    std::string digits;
    if (conversion == 'd') {
        uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        do {
            digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
            magnitude /= 10;
        } while (magnitude != 0);
        while (static_cast<int>(digits.size()) < precision) digits.insert(digits.begin(), '0');
        if (value < 0) digits.insert(digits.begin(), '-');
    } else {
        const char* hex = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
        // Handles are 32-bit; a negative value prints as its 32-bit pattern.
        uint64_t bits = static_cast<uint64_t>(value);
        if (value < 0 && value >= INT32_MIN) bits &= 0xFFFFFFFFu;
        do {
            digits.insert(digits.begin(), hex[bits & 0xF]);
            bits >>= 4;
        } while (bits != 0);
        while (static_cast<int>(digits.size()) < precision) digits.insert(digits.begin(), '0');
    }
    out += digits;
}

}  // namespace

std::string_view MessageText(uint16_t id) {
    auto it = std::lower_bound(std::begin(kMessages), std::end(kMessages), id,
                               [](const TMessageEntry& e, uint16_t key) { return e.id < key; });
    if (it == std::end(kMessages) || it->id != id) return {};
    return it->text;
}

std::string_view MessageText(TQmzMessage id) { return MessageText(static_cast<uint16_t>(id)); }

std::string FormatText(std::string_view format, const std::vector<TFormatArg>& args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (++i >= format.size()) throw std::invalid_argument("Invalid format string");
        if (format[i] == '%') {
            out += '%';
            continue;
        }
        int precision = -1;
        if (format[i] == '.') {
            precision = 0;
            while (++i < format.size() && format[i] >= '0' && format[i] <= '9')
                precision = precision * 10 + (format[i] - '0');
            if (i >= format.size()) throw std::invalid_argument("Invalid format string");
        }
        char conversion = format[i];
        if (next >= args.size()) throw std::invalid_argument("Missing format argument");
        const TFormatArg& arg = args[next++];
        if (conversion == 's') {
            if (!arg.isText) throw std::invalid_argument("Format argument is not text");
            out += precision >= 0 ? arg.text.substr(0, static_cast<size_t>(precision)) : arg.text;
        } else if (conversion == 'd' || conversion == 'x' || conversion == 'X') {
            if (arg.isText) throw std::invalid_argument("Format argument is not a number");
            AppendNumber(out, arg.number, conversion, precision);
        } else {
            throw std::invalid_argument("Invalid format string");
        }
    }
    return out;
}

namespace {

std::string AssertionText(const char* file, int line) {
    std::string_view path(file ? file : "");
    size_t slash = path.find_last_of('/');
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    return FormatText("Assertion failure (%s, line %d)", {path, line});
}

}  // namespace

EAssertionFailed::EAssertionFailed(const char* file, int line)
    : std::logic_error(AssertionText(file, line)) {}

void AssertionFailure(const char* file, int line) { throw EAssertionFailed(file, line); }

std::string OpenErrorFileName(const std::string& failedPath, const std::string& fileName) {
    if (failedPath.empty() || ExpandFileName(failedPath) == ExpandFileName(fileName)) return fileName;
    return failedPath;
}

}  // namespace tlvx
