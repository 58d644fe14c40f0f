// The configuration file "tlvx2.conf": global lines and one block per
// counter database, from a line beginning with "<" ("<Base:" name ">") to
// the next line beginning with "</".
//
// Global lines apply wherever they stand, before, between or after blocks;
// each block starts from the complete global record and applies its own
// lines in order. Comments run from any "#" to the end of the line.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/base_conf.h"

namespace tlvx {

// The file cannot be used: a block without its closing line, or a file too
// large to be a configuration.
class EConfError : public std::runtime_error {
public:
    explicit EConfError(const std::string& what) : std::runtime_error(what) {}
};

inline constexpr size_t kMaxConfFileSize = size_t(1) << 20;

class TConfParser {
public:
    // Reads and parses the file through the platform file system. A missing
    // file gives one warning and an all-zero global record (not the
    // defaults) with no blocks. Raises EConfError (or the file system's
    // error) when the file cannot be used.
    explicit TConfParser(const std::string& fileName);

    // Parses text as the content of a configuration file.
    static TConfParser FromText(std::string_view text);

    // Empty name: the global record, true. Otherwise the record of the first
    // block whose name equals name exactly (case-sensitive), true; false
    // with conf untouched when there is none.
    bool GetBase(std::string_view name, TBaseConf& conf) const;

    const TBaseConf& Global() const { return global_; }
    const TWarnArray& Warnings() const { return warnings_; }
    size_t BlockCount() const { return blocks_.size(); }

private:
    TConfParser() = default;
    void Parse(std::string_view text);

    // A block keeps its lines; its record is built when asked for, so the
    // memory used stays in proportion to the file however many blocks
    // inherit a long global list.
    struct Block {
        std::string Name;
        std::vector<std::string> Lines;
    };

    TBaseConf global_;
    std::vector<Block> blocks_;
    TWarnArray warnings_;
};

// What LoadConfBlock found.
enum class TConfLookup {
    NoFile,    // no configuration file: conf untouched
    NoBlock,   // the file has no block of that id: conf untouched
    Loaded,    // conf is the id's block (the global record for an empty id)
    Unusable,  // the file could not be read or parsed: conf untouched
};

// How both programs read their configuration: the block of id from the file
// fileName, if it exists. An unusable file is described on standard error
// (the web server's error log) and left for the caller to judge.
TConfLookup LoadConfBlock(const std::string& fileName, std::string_view id, TBaseConf& conf);

// The lines of a configuration text that carry something: split at CR, LF or
// CR LF, trimmed, cut at the first "#", trimmed again, empty ones dropped.
std::vector<std::string> PrepareConfLines(std::string_view text);

}  // namespace tlvx
