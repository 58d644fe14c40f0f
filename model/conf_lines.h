// The keys of "tlvx2.conf" and how one line of the file changes a record.
//
// A line is prepared before it gets here: trimmed, cut at its first "#",
// trimmed again, not empty. A key is found when key + "=" occurs anywhere in
// the line, in any letter case, with a non-empty text after it; the keys
// are tried in a fixed order and the first found decides the line. A value
// that does not convert (or is longer than kMaxConfValue) leaves the record
// as it was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "model/base_conf.h"

namespace tlvx {

inline constexpr size_t kMaxConfValue = 4096;

// Global lines know: SkipAddress, SkipNetwork, HostInterval, JavaDirectory,
// JavaURL, ImagesDirectory, ImagesURL, CanAddNode, GeoDataBaseName.
void ApplyGlobalConfLine(std::string_view line, TBaseConf& conf);

// Block lines know the block's name ("<Base:" name ">"), the global keys and
// NodeInterval, CanCreateDataBase, MainNodeName, DataBaseName, SiteURL,
// SiteAdminMail, WebMasterMail, SiteName, VIPAddress, VIPNetwork, OwnURL,
// ShowServerTime, BinaryLog and StatToStat.
void ApplyBlockConfLine(std::string_view line, TBaseConf& conf);

// The name a block line gives its block: the text between "<Base:" and the
// next ">", untrimmed; false when the line names no block.
bool BaseNameOfLine(std::string_view line, std::string& name);

}  // namespace tlvx
