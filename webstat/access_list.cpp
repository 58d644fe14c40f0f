#include "webstat/access_list.h"

#include <algorithm>
#include <iostream>

#include "platform/file.h"
#include "platform/text.h"

namespace tlvx {

std::vector<std::string> SplitByDelimiter(std::string_view text, char delimiter) {
    std::vector<std::string> pieces;
    for (;;) {
        const size_t at = text.find(delimiter);
        pieces.emplace_back(text.substr(0, at));
        if (at == std::string_view::npos) return pieces;
        text.remove_prefix(at + 1);
    }
}

TAccessList ParseAccessList(std::string_view text) {
    TAccessList list;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = TrimBlanks(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;

        if (line.empty() || line.front() == '#') continue;
        const size_t blank = line.find(' ');
        if (blank == std::string_view::npos) continue;
        TAccessEntry entry;
        entry.Key = std::string(TrimBlanks(line.substr(0, blank)));
        entry.Users = SplitByDelimiter(TrimBlanks(line.substr(blank + 1)), ',');
        list.Entries.push_back(std::move(entry));
    }
    return list;
}

TAccessList LoadAccessList(const std::string& fileName) {
    IFileSystem& fs = FileSystem();
    try {
        // A list that cannot even be checked for is as unreadable as one
        // that cannot be read.
        if (!fs.Exists(fileName)) return {};
        TFileOptions options;
        options.lock = false;
        auto file = fs.Open(fileName, TFileAccess::Read, TDisposition::OpenExisting, options);
        const uint64_t size = file->Size();
        if (size > kMaxAccessListSize) throw std::runtime_error("larger than the limit");
        std::string text(static_cast<size_t>(size), '\0');
        text.resize(file->ReadAt(text.data(), text.size(), 0));
        return ParseAccessList(text);
    } catch (const std::exception& e) {
        // The owner meant to restrict access: a list we cannot read refuses
        // everyone, and says why where the server keeps its errors.
        std::cerr << "access list " << fileName << " unreadable, every request refused: " << e.what()
                  << "\n";
        TAccessList refused;
        refused.Unreadable = true;
        return refused;
    }
}

bool CanUserSeeCounter(std::string_view user, std::string_view id, const TAccessList& list) {
    if (list.Unreadable) return false;
    if (list.Entries.empty() || id.empty()) return true;
    const auto entry = std::find_if(list.Entries.begin(), list.Entries.end(), [&](const TAccessEntry& e) {
        return e.Key == id && !e.Users.empty();
    });
    if (entry == list.Entries.end()) return true;
    if (user.empty()) return false;
    return std::find(entry->Users.begin(), entry->Users.end(), user) != entry->Users.end();
}

}  // namespace tlvx
