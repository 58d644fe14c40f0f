// The access list: which authenticated web users may see the reports of
// which counter. It lives in the hand-edited text file ".tlvx2access" in the
// program's directory; nothing writes it.
//
// File format, one rule a line (CR LF or LF): the line is trimmed of bytes up
// to 0x20; empty lines, lines starting with "#" and lines without a blank are
// skipped; otherwise the counter id is the text before the first blank and
// the rest, trimmed, is split at every "," into user names. The names are
// not trimmed one by one: in "7 ann, bob" the second name is " bob", which
// matches nobody; a trailing comma adds an empty name, which matches nobody
// either. Every line stays an entry of its own, in file order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tlvx {

// The file's name in the program's directory.
inline constexpr std::string_view kAccessListFileName = ".tlvx2access";

struct TAccessEntry {
    std::string Key;  // a counter id
    std::vector<std::string> Users;
    friend bool operator==(const TAccessEntry&, const TAccessEntry&) = default;
};

struct TAccessList {
    std::vector<TAccessEntry> Entries;
    // The file exists but could not be read (no permission, a directory,
    // a read error, larger than kMaxAccessListSize): every request is
    // refused rather than every counter opened to everyone.
    bool Unreadable = false;
};

inline constexpr size_t kMaxAccessListSize = 1024 * 1024;

// The pieces of text between delimiters, in order; a text without the
// delimiter is one piece (the whole text, also when empty): "a,b," gives
// "a", "b", "".
std::vector<std::string> SplitByDelimiter(std::string_view text, char delimiter);

// Reads the file as described above, through the platform's file system. A
// missing file is an empty list.
TAccessList LoadAccessList(const std::string& fileName);

// The rules of the text of a file.
TAccessList ParseAccessList(std::string_view text);

// May user see the reports of counter id?
//  - an unreadable list refuses everyone;
//  - an empty list, or an empty id, allows everyone;
//  - otherwise the first entry whose key equals id exactly (case-sensitive)
//    and which names at least one user decides: allowed when one of its
//    names equals user exactly, refused otherwise, and refused for an empty
//    user (a request without authentication gets no more than a user the
//    entry does not name); later lines for the same id never widen it;
//  - no such entry: allowed.
bool CanUserSeeCounter(std::string_view user, std::string_view id, const TAccessList& list);

}  // namespace tlvx
