// The configuration record of one counter database, as the configuration
// file "tlvx2.conf" gives it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/ipv4.h"

namespace tlvx {

struct TNodeInterval {
    std::string NodeName;
    int32_t Interval = 0;  // minutes
    friend bool operator==(const TNodeInterval&, const TNodeInterval&) = default;
};
using TNodeIntervals = std::vector<TNodeInterval>;

// The two comma-separated parts of a value (an address and its caption).
struct TStringPair {
    std::string First;
    std::string Second;
    friend bool operator==(const TStringPair&, const TStringPair&) = default;
};

using StringArray = std::vector<std::string>;

// A value-initialised record is all zero and empty; Defaults() is what the
// global lines of a file are applied to.
struct TBaseConf {
    TNetWorks SkipNetworks;
    int32_t HostInterval = 0;  // minutes
    TNodeIntervals NodeIntervals;
    bool CanAddNode = false;
    bool CanCreateDataBase = false;
    std::string BaseName;
    std::string MainNodeName;
    std::string GeoDataBaseName;
    std::string DataBaseName;
    std::string JavaDirectory;
    std::string JavaURL;
    std::string ImagesDirectory;
    std::string ImagesURL;
    TDescribedNetWorks VIPNetworks;
    StringArray OwnURLs;  // upper-cased
    TStringPair SiteURL;
    std::string SiteName;
    TStringPair SiteAdminMail;
    TStringPair WebMasterMail;
    bool ShowServerTime = false;
    std::string StatToStat;
    std::string BinaryLog;

    static TBaseConf Defaults();
    friend bool operator==(const TBaseConf&, const TBaseConf&) = default;
};
using TBaseArray = std::vector<TBaseConf>;

struct TWarnRec {
    int32_t Code = 0;
    std::string Text;
    std::string Detail;
};
using TWarnArray = std::vector<TWarnRec>;

}  // namespace tlvx
