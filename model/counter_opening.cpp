#include "model/counter_opening.h"

#include "model/counter_install.h"
#include "platform/file.h"
#include "platform/program_path.h"

namespace tlvx {
namespace {

// An id longer than this is cut in the line: a request may send kilobytes.
constexpr size_t kMaxIdInLine = 40;

// text as one line of a log may carry it: a control byte as \xNN and the
// backslash doubled, so that no request can end the line or steer a
// terminal, and the escapes read back unambiguously. Past maxBytes of
// output the text is cut, and the cut says how long the text was.
std::string LogText(std::string_view text, size_t maxBytes = std::string::npos) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char byte : text) {
        const unsigned char c = static_cast<unsigned char>(byte);
        const bool control = c < 0x20 || c == 0x7f;
        const size_t width = control ? 4 : c == '\\' ? 2 : 1;
        if (out.size() + width > maxBytes) return out + "...[cut, " + std::to_string(text.size()) + " bytes]";
        if (control) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            if (c == '\\') out += '\\';
            out += byte;
        }
    }
    return out;
}

// Why the file is missing and the console command that creates it.
std::string MissingReason(const TCounterOpening& opening, std::string_view installSwitch) {
    const std::string id = LogText(opening.Id, kMaxIdInLine);
    std::string command = LogText(opening.ProgramFile) + " " + std::string(installSwitch);
    if (!opening.Id.empty()) command += " " + id;
    std::string why = "does not exist";
    if (opening.Id.empty())
        why += " (the request names no counter id, so the file beside the program is used)";
    else if (opening.Lookup != TConfLookup::Loaded)
        why += " (the configuration has no block for this id, so the file beside the program is used)";
    return why + "; to create it run: " + command;
}

}  // namespace

TCounterOpening OpenCounterDatabase(const TProgramStart& start, TConfLookup lookup, const TBaseConf& conf,
                                    std::string_view id, bool readOnly) {
    TCounterOpening opening;
    opening.Lookup = lookup;
    opening.Id = std::string(id);
    const std::string programPath = start.ProgramPath();
    opening.ProgramFile = ProgramFileName(programPath);
    opening.FileName = CounterDatabasePath(programPath, lookup == TConfLookup::Loaded, conf, id);
    if (opening.FileName.empty()) return opening;
    try {
        opening.Creating = start.IsConsoleInstall() && !CounterDatabaseExists(opening.FileName);
        // Only the install road creates a database: a request for a counter
        // that is not there yet leaves no file behind.
        if (!opening.Creating && !FileSystem().Exists(opening.FileName)) return opening;
    } catch (const EPlatformError& e) {
        // Neither there nor missing as far as we can tell (a directory that
        // may not be searched, a loop of links).
        opening.State = TCounterOpenState::Unchecked;
        opening.Failure = e.what();
        return opening;
    }
    opening.Failure = opening.Creating
                          ? CreateCounterDatabase(opening.FileName, start.DefSkin(), opening.Counter)
                          : TryOpenCounter2(opening.FileName, opening.Counter, TSkinStreams{}, readOnly);
    opening.State = opening.Counter ? TCounterOpenState::Opened : TCounterOpenState::Unopened;
    return opening;
}

std::string NoDatabaseLine(std::string_view prefix, const TCounterOpening& opening,
                           std::string_view installSwitch) {
    std::string why;
    switch (opening.State) {
        case TCounterOpenState::Opened:
            return "";
        case TCounterOpenState::Missing:
            if (opening.Lookup == TConfLookup::Unusable) return "";
            if (opening.FileName.empty())
                return std::string(prefix) + "the configuration block of id " + LogText(opening.Id, kMaxIdInLine) +
                       " names no counter database (its DataBaseName is empty)\n";
            why = MissingReason(opening, installSwitch);
            break;
        case TCounterOpenState::Unchecked:
            why = "could not be checked: " + LogText(opening.Failure);
            break;
        case TCounterOpenState::Unopened:
            why = "could not be opened: " + LogText(opening.Failure);
            break;
    }
    return std::string(prefix) + "the counter database " + LogText(opening.FileName) + " " + why + "\n";
}

}  // namespace tlvx
