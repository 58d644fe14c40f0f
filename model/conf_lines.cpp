#include "model/conf_lines.h"

#include <span>

#include "model/text_marks.h"
#include "platform/text.h"

namespace tlvx {

namespace {

using Handler = void (*)(std::string_view value, TBaseConf& conf);

struct Key {
    std::string_view Name;  // with its "="
    Handler Apply;
};

bool ReadCount(std::string_view text, int32_t& value) {
    int32_t v = 0;
    if (!TryStrToInt(text, v) || v < 0) return false;
    value = v;
    return true;
}

void ReadFlag(std::string_view text, bool& flag) {
    int32_t v = 0;
    if (TryStrToInt(text, v) && (v == 0 || v == 1)) flag = v == 1;
}

void ReadPair(std::string_view text, TStringPair& pair) {
    size_t comma = text.find(',');
    if (comma == std::string_view::npos) return;
    std::string first = TrimBytes(text.substr(0, comma));
    std::string second = TrimBytes(text.substr(comma + 1));
    if (first.empty() || second.empty()) return;
    pair = {std::move(first), std::move(second)};
}

void SkipAddress(std::string_view v, TBaseConf& c) {
    int64_t a = ParseIPv4(v);
    if (a >= 0) c.SkipNetworks.push_back({static_cast<uint32_t>(a), 32});
}

void SkipNetwork(std::string_view v, TBaseConf& c) {
    TNetWork n;
    if (ParseNetwork(v, n)) c.SkipNetworks.push_back(n);
}

void HostInterval(std::string_view v, TBaseConf& c) { ReadCount(v, c.HostInterval); }
void JavaDirectory(std::string_view v, TBaseConf& c) { c.JavaDirectory = v; }
void JavaURL(std::string_view v, TBaseConf& c) { c.JavaURL = v; }
void ImagesDirectory(std::string_view v, TBaseConf& c) { c.ImagesDirectory = v; }
void ImagesURL(std::string_view v, TBaseConf& c) { c.ImagesURL = v; }
void CanAddNode(std::string_view v, TBaseConf& c) { ReadFlag(v, c.CanAddNode); }
void GeoDataBaseName(std::string_view v, TBaseConf& c) { c.GeoDataBaseName = v; }

void NodeInterval(std::string_view v, TBaseConf& c) {
    size_t comma = v.find(',');
    if (comma == std::string_view::npos) return;
    std::string name = TrimBytes(v.substr(0, comma));
    int32_t minutes = 0;
    if (name.empty() || !ReadCount(v.substr(comma + 1), minutes)) return;
    c.NodeIntervals.push_back({std::move(name), minutes});
}

void CanCreateDataBase(std::string_view v, TBaseConf& c) { ReadFlag(v, c.CanCreateDataBase); }
void MainNodeName(std::string_view v, TBaseConf& c) { c.MainNodeName = v; }
void DataBaseName(std::string_view v, TBaseConf& c) { c.DataBaseName = v; }
void SiteURL(std::string_view v, TBaseConf& c) { ReadPair(v, c.SiteURL); }
void SiteAdminMail(std::string_view v, TBaseConf& c) { ReadPair(v, c.SiteAdminMail); }
void WebMasterMail(std::string_view v, TBaseConf& c) { ReadPair(v, c.WebMasterMail); }
void SiteName(std::string_view v, TBaseConf& c) { c.SiteName = v; }

std::string Description(std::string_view afterComma) { return UpperAscii(TrimBytes(afterComma)); }

// The address is the text before the first comma, whatever the spelling of
// the description after it.
void VIPAddress(std::string_view v, TBaseConf& c) {
    size_t comma = v.find(',');
    std::string desc = comma == std::string_view::npos ? std::string() : Description(v.substr(comma + 1));
    int64_t a = ParseIPv4(v.substr(0, comma));
    if (a >= 0) c.VIPNetworks.push_back({static_cast<uint32_t>(a), 32, std::move(desc)});
}

void VIPNetwork(std::string_view v, TBaseConf& c) {
    size_t slash = v.find('/');
    if (slash == std::string_view::npos) return;
    size_t comma = v.find(',', slash + 1);
    if (comma == std::string_view::npos) return;
    TNetWork n;
    if (!ParseNetwork(v.substr(0, comma), n)) return;
    c.VIPNetworks.push_back({n.Address, n.Bits, Description(v.substr(comma + 1))});
}

void OwnURL(std::string_view v, TBaseConf& c) { c.OwnURLs.push_back(UpperAscii(TrimBytes(v))); }

void ShowServerTime(std::string_view v, TBaseConf& c) { ReadFlag(v, c.ShowServerTime); }

void BinaryLog(std::string_view v, TBaseConf& c) {
    std::string name = TrimBytes(v);
    if (!name.empty()) c.BinaryLog = std::move(name);
}

constexpr Key kGlobalKeys[] = {
    {"SkipAddress=", SkipAddress},     {"SkipNetwork=", SkipNetwork},
    {"HostInterval=", HostInterval},   {"JavaDirectory=", JavaDirectory},
    {"JavaURL=", JavaURL},             {"ImagesDirectory=", ImagesDirectory},
    {"ImagesURL=", ImagesURL},         {"CanAddNode=", CanAddNode},
    {"GeoDataBaseName=", GeoDataBaseName},
};

// GeoDataBaseName (global) comes before DataBaseName, which it contains.
// BinaryLog comes before the StatToStat rule, so that a log path holding the
// word "stattostat" still names the log.
constexpr Key kBlockKeys[] = {
    {"NodeInterval=", NodeInterval},   {"CanCreateDataBase=", CanCreateDataBase},
    {"MainNodeName=", MainNodeName},   {"DataBaseName=", DataBaseName},
    {"SiteURL=", SiteURL},             {"SiteAdminMail=", SiteAdminMail},
    {"WebMasterMail=", WebMasterMail}, {"SiteName=", SiteName},
    {"VIPAddress=", VIPAddress},       {"VIPNetwork=", VIPNetwork},
    {"OwnURL=", OwnURL},               {"ShowServerTime=", ShowServerTime},
    {"BinaryLog=", BinaryLog},
};

enum class Found { No, Applied };

Found TryKeys(std::string_view line, std::span<const Key> keys, TBaseConf& conf) {
    for (const Key& key : keys) {
        std::string value = Between(line, key.Name, "#", false, true);
        if (value.empty()) continue;
        if (value.size() <= kMaxConfValue) key.Apply(value, conf);
        return Found::Applied;
    }
    return Found::No;
}

// Any line with the word StatToStat sets the field from its key's value,
// which clears it when the line has the word but no value.
void StatToStatRule(std::string_view line, TBaseConf& conf) {
    if (!ContainsText(line, "STATTOSTAT", false)) return;
    std::string value = TrimBytes(Between(line, "StatToStat=", "#", false, true));
    if (value.size() <= kMaxConfValue) conf.StatToStat = std::move(value);
}

}  // namespace

bool BaseNameOfLine(std::string_view line, std::string& name) {
    std::string v = Between(line, "<Base:", ">", false, false);
    if (v.empty() || v.size() > kMaxConfValue) return false;
    name = std::move(v);
    return true;
}

void ApplyGlobalConfLine(std::string_view line, TBaseConf& conf) {
    TryKeys(line, kGlobalKeys, conf);
}

void ApplyBlockConfLine(std::string_view line, TBaseConf& conf) {
    if (!Between(line, "<Base:", ">", false, false).empty()) {
        BaseNameOfLine(line, conf.BaseName);
        return;
    }
    if (TryKeys(line, kGlobalKeys, conf) == Found::Applied) return;
    if (TryKeys(line, kBlockKeys, conf) == Found::Applied) return;
    StatToStatRule(line, conf);
}

}  // namespace tlvx
