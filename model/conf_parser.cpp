#include "model/conf_parser.h"

#include <iostream>

#include "model/conf_lines.h"
#include "platform/file.h"
#include "platform/text.h"

namespace tlvx {

namespace {

std::string ReadConfFile(const std::string& fileName) {
    TFileOptions options;
    options.lock = false;
    auto file = FileSystem().Open(fileName, TFileAccess::Read, TDisposition::OpenExisting, options);
    uint64_t size = file->Size();
    if (size > kMaxConfFileSize)
        throw EConfError("Configuration file too large: " + fileName);
    std::string text(static_cast<size_t>(size), '\0');
    text.resize(file->ReadAt(text.data(), text.size(), 0));
    return text;
}

bool ClosesBlock(const std::string& line) { return line.starts_with("</"); }

}  // namespace

std::vector<std::string> PrepareConfLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string line = TrimBytes(text.substr(pos, end - pos));
        if (size_t hash = line.find('#'); hash != std::string::npos)
            line = TrimBytes(std::string_view(line).substr(0, hash));
        if (!line.empty()) lines.push_back(std::move(line));
        pos = end;
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    return lines;
}

TConfLookup LoadConfBlock(const std::string& fileName, std::string_view id, TBaseConf& conf) {
    try {
        // A file that cannot be checked, or is no regular file, is no
        // missing file: it is said so below.
        if (!FileSystem().Exists(fileName)) return TConfLookup::NoFile;
        TConfParser parser(fileName);
        TBaseConf block;
        if (!parser.GetBase(id, block)) return TConfLookup::NoBlock;
        conf = std::move(block);
        return TConfLookup::Loaded;
    } catch (const std::exception& e) {
        std::cerr << "warning: configuration " << fileName << ": " << e.what() << "\n";
        return TConfLookup::Unusable;
    }
}

TConfParser::TConfParser(const std::string& fileName) {
    if (!FileSystem().Exists(fileName)) {
        warnings_.push_back({0, "Configuration file not found: " + fileName, ""});
        return;
    }
    Parse(ReadConfFile(fileName));
}

TConfParser TConfParser::FromText(std::string_view text) {
    TConfParser parser;
    parser.Parse(text);
    return parser;
}

void TConfParser::Parse(std::string_view text) {
    std::vector<std::string> lines = PrepareConfLines(text);
    std::vector<std::string> globals;
    for (size_t i = 0; i < lines.size();) {
        if (lines[i][0] != '<') {
            globals.push_back(std::move(lines[i++]));
            continue;
        }
        // Only a line after the opening one closes it, so a stray "</..."
        // opens a block of its own.
        size_t close = i + 1;
        while (close < lines.size() && !ClosesBlock(lines[close])) ++close;
        if (close == lines.size())
            throw EConfError("Configuration block not closed: " + lines[i].substr(0, 80));
        Block block;
        for (size_t j = i; j <= close; ++j) {
            BaseNameOfLine(lines[j], block.Name);
            block.Lines.push_back(std::move(lines[j]));
        }
        blocks_.push_back(std::move(block));
        i = close + 1;
    }
    global_ = TBaseConf::Defaults();
    for (const std::string& line : globals) ApplyGlobalConfLine(line, global_);
}

bool TConfParser::GetBase(std::string_view name, TBaseConf& conf) const {
    if (name.empty()) {
        conf = global_;
        return true;
    }
    for (const Block& block : blocks_) {
        if (block.Name != name) continue;
        TBaseConf record = global_;
        for (const std::string& line : block.Lines) ApplyBlockConfLine(line, record);
        conf = std::move(record);
        return true;
    }
    return false;
}

}  // namespace tlvx
