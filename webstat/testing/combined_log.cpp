#include "webstat/testing/combined_log.h"

#include <array>
#include <cstdlib>
#include <stdexcept>

#include "platform/clock.h"
#include "platform/text.h"

namespace tlvx::test {
namespace {

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// "17/May/2015:10:05:03 +0000" as a GMT day count.
std::optional<double> ParseLogTime(std::string_view text) {
    if (text.size() != 26 || text[2] != '/' || text[6] != '/' || text[11] != ':' || text[20] != ' ') return std::nullopt;
    auto number = [&](size_t at, size_t n) { return std::atoi(std::string(text.substr(at, n)).c_str()); };
    int month = 0;
    while (month < 12 && kMonths[size_t(month)] != text.substr(3, 3)) ++month;
    if (month == 12) return std::nullopt;
    try {
        const double local = EncodeDateTime(number(7, 4), month + 1, number(0, 2), number(12, 2), number(15, 2),
                                            number(18, 2));
        const int offset = (text[21] == '-' ? -1 : 1) * (number(22, 2) * 60 + number(24, 2));
        return local - offset / 1440.0;
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
}

std::string Dashless(std::string_view text) { return text == "-" ? "" : std::string(text); }

}  // namespace

std::optional<TLogLine> ParseCombinedLogLine(std::string_view line) {
    TLogLine out;
    const size_t client = line.find(' ');
    const size_t open = line.find(" [");
    const size_t close = line.find("] \"", open == std::string_view::npos ? 0 : open);
    if (client == std::string_view::npos || open == std::string_view::npos || close == std::string_view::npos)
        return std::nullopt;
    out.Client = std::string(line.substr(0, client));
    const std::optional<double> when = ParseLogTime(line.substr(open + 2, close - open - 2));
    if (!when) return std::nullopt;
    out.When = *when;
    // The request ends at the quote before the status.
    const size_t request = close + 3;
    size_t end = line.find("\" ", request);
    while (end != std::string_view::npos && !(end + 2 < line.size() && line[end + 2] >= '0' && line[end + 2] <= '9'))
        end = line.find("\" ", end + 1);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view requestLine = line.substr(request, end - request);
    const size_t space = requestLine.find(' ');
    out.Method = std::string(requestLine.substr(0, space));
    if (space != std::string_view::npos) {
        std::string_view target = requestLine.substr(space + 1);
        target = target.substr(0, target.rfind(' '));
        const size_t question = target.find('?');
        out.Path = std::string(target.substr(0, question));
        if (question != std::string_view::npos) out.Query = std::string(target.substr(question + 1));
    }
    out.Status = std::atoi(std::string(line.substr(end + 2, 3)).c_str());
    const size_t referrer = line.find(" \"", end + 2);
    if (referrer == std::string_view::npos) return out;
    const size_t referrerEnd = line.find("\" ", referrer + 2);
    if (referrerEnd == std::string_view::npos) return out;
    out.Referrer = Dashless(line.substr(referrer + 2, referrerEnd - referrer - 2));
    std::string_view agent = line.substr(referrerEnd + 2);
    if (agent.starts_with('"')) agent.remove_prefix(1);
    if (agent.ends_with('"')) agent.remove_suffix(1);
    out.Agent = Dashless(agent);
    return out;
}

std::vector<TLogLine> ParseCombinedLog(std::string_view text) {
    std::vector<TLogLine> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        if (auto line = ParseCombinedLogLine(text.substr(at, end - at))) lines.push_back(std::move(*line));
        at = end + 1;
    }
    return lines;
}

std::string PageViewNode(const TLogLine& line) {
    static constexpr std::string_view kNoPage[] = {
        "png", "jpg", "jpeg", "gif", "ico", "svg", "css", "js",  "ttf", "woff", "xml", "rss",
        "atom", "txt", "pdf", "jar", "py",  "log", "conf", "exe", "xsl", "gz", "tgz", "zip",
        "bz2", "tar", "deb", "rpm", "swf", "mp3", "php", "pl", "sh", "c", "h", "diff", "patch"};
    if (line.Method != "GET" || line.Status != 200 || line.Path.empty() || line.Path[0] != '/' ||
        line.Query.find("flav=") != std::string::npos)
        return "";
    const std::string_view path = line.Path;
    const std::string_view last = path.substr(path.rfind('/') + 1);
    if (const size_t dot = last.rfind('.'); dot != std::string_view::npos) {
        const std::string extension = LowerAscii(last.substr(dot + 1));
        for (const std::string_view skip : kNoPage)
            if (extension == skip) return "";
    }
    std::string node;
    for (size_t at = 1; at <= path.size();) {
        size_t end = path.find('/', at);
        if (end == std::string_view::npos) end = path.size();
        std::string name(path.substr(at, end - at));
        for (char& c : name)
            if (c == '.') c = '_';
        if (!name.empty()) node += (node.empty() ? "" : ".") + name;
        at = end + 1;
    }
    return node.empty() ? "index" : node;
}

}  // namespace tlvx::test
